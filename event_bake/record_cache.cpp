#include "ravelin/event_bake/record_cache.h"

namespace ravelin::event_bake {
namespace {

// Decodes a whole file with a cursor-based decoder; nothing on failure.
template <class Record>
std::optional<Record> decode_whole(std::span<const std::uint8_t> bytes,
                                   common::ReadResult<Record> (*decode)(common::Reader&)) {
  common::Reader reader(bytes);
  auto record = decode(reader);
  if (!record) return std::nullopt;
  return std::move(*record);
}

// Fetches and decodes a whole file; nothing on any failure.
template <class Record>
std::optional<Record> fetch_and_decode(const dat::DatDatabase& archive, std::uint32_t id,
                                       common::ReadResult<Record> (*decode)(common::Reader&)) {
  auto bytes = archive.get_file(id);
  if (!bytes) return std::nullopt;
  return decode_whole(*bytes, decode);
}

// The cached entry of `id`, loading it on first use.
template <class Record, class Load>
const Record* cached(common::IdMap<std::uint32_t, std::optional<Record>>& map, std::uint32_t id, Load load) {
  const std::optional<Record>* entry = map.find(id);
  if (entry == nullptr) {
    map.insert_or_assign(id, load());
    entry = map.find(id);
  }
  return entry->has_value() ? &**entry : nullptr;
}

}  // namespace

std::optional<dat::file_type::SetupModel> load_setup_model(const dat::DatDatabase& portal, std::uint32_t id) {
  return fetch_and_decode<dat::file_type::SetupModel>(portal, id, &dat::file_type::SetupModel::unpack);
}

std::optional<dat::file_type::SetupModel> decode_setup_model(std::span<const std::uint8_t> bytes) {
  return decode_whole<dat::file_type::SetupModel>(bytes, &dat::file_type::SetupModel::unpack);
}

std::optional<dat::file_type::PhysicsScript> load_physics_script(const dat::DatDatabase& portal,
                                                                 std::uint32_t id) {
  return fetch_and_decode<dat::file_type::PhysicsScript>(portal, id, &dat::file_type::PhysicsScript::read);
}

std::optional<dat::file_type::MotionTable> load_motion_table(const dat::DatDatabase& portal, std::uint32_t id) {
  return fetch_and_decode<dat::file_type::MotionTable>(portal, id, &dat::file_type::MotionTable::read);
}

std::optional<dat::file_type::Animation> load_animation(const dat::DatDatabase& portal, std::uint32_t id) {
  return fetch_and_decode<dat::file_type::Animation>(portal, id, &dat::file_type::Animation::read);
}

const dat::file_type::MotionTable* RecordCache::motion_table(std::uint32_t id, InputRecorder recorder) {
  recorder.portal(id);
  return cached(motion_tables_, id, [&] { return load_motion_table(*portal_, id); });
}

const dat::file_type::PhysicsScript* RecordCache::physics_script(std::uint32_t id, InputRecorder recorder) {
  recorder.portal(id);
  return cached(scripts_, id, [&] { return load_physics_script(*portal_, id); });
}

const dat::file_type::SetupModel* RecordCache::setup_model(std::uint32_t id, InputRecorder recorder) {
  recorder.portal(id);
  return cached(setups_, id, [&] { return load_setup_model(*portal_, id); });
}

void RecordCache::load_animations(std::span<const std::uint32_t> ids, InputRecorder recorder) {
  for (const std::uint32_t id : ids) {
    recorder.portal(id);
    if (animations_.contains(id)) continue;
    animations_.insert_or_assign(id, load_animation(*portal_, id));
  }
}

}  // namespace ravelin::event_bake
