#include "ravelin/dat/file_type/setup_model.h"

#include <string>

#include "common/debug_format.h"
#include "ravelin/common/id_text.h"
#include "dat/file_type/setup_model_frames.h"

namespace ravelin::dat::file_type {

namespace frames = setup_model_frames;

common::ReadResult<CylSphere> CylSphere::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kCylSphere);
  CylSphere c;
  RAVELIN_FIELD(rec, c.origin, frames::kCylSphereOrigin, common::Vector3::read(reader));
  RAVELIN_FIELD(rec, c.radius, frames::kCylSphereRadius, reader.read_u32());
  RAVELIN_FIELD(rec, c.height, frames::kCylSphereHeight, reader.read_u32());
  return c;
}

common::ReadResult<LocationType> LocationType::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kLocationType);
  LocationType l;
  RAVELIN_FIELD(rec, l.part_id, frames::kLocationTypePartId, reader.read_u32());
  RAVELIN_FIELD(rec, l.frame, frames::kLocationTypeFrame, Frame::read(reader));
  return l;
}

common::ReadResult<LightInfo> LightInfo::read(common::Reader& reader) {
  common::RecordScope rec(reader, frames::kLightInfo);
  LightInfo i;
  RAVELIN_FIELD(rec, i.viewer_space_location, frames::kLightInfoViewerSpaceLocation, Frame::read(reader));
  RAVELIN_FIELD(rec, i.color, frames::kLightInfoColor, reader.read_u32());
  RAVELIN_FIELD(rec, i.intensity, frames::kLightInfoIntensity, reader.read_u32());
  RAVELIN_FIELD(rec, i.falloff, frames::kLightInfoFalloff, reader.read_u32());
  RAVELIN_FIELD(rec, i.cone_angle, frames::kLightInfoConeAngle, reader.read_u32());
  return i;
}

namespace {

// Stored payload length by hook type, before padding; type 5 is variable (-1).
constexpr int kPayloadSize[kMaxAnimationHookType + 1] = {
    0,   // 0
    4,   // 1 sound
    4,   // 2
    28,  // 3
    0,   // 4
    -1,  // 5 replace object
    4,   // 6
    16,  // 7
    12,  // 8
    16,  // 9
    12,  // 10
    16,  // 11
    8,   // 12
    40,  // 13 particle emitter
    4,   // 14
    4,   // 15
    4,   // 16
    0,   // 17
    4,   // 18
    8,   // 19
    12,  // 20
    16,  // 21 sound table
    12,  // 22
    8,   // 23
    12,  // 24
    4,   // 25
    40,  // 26 blocking particle emitter
};

std::optional<std::uint32_t> optional_id(std::uint32_t word) {
  if (word == 0) return std::nullopt;
  return word;
}

// Reads a u32 key then a record into `map`; a repeated key keeps the later value.
template <class Key, class Value>
common::ReadResult<void> read_keyed(common::Reader& reader, std::uint32_t count,
                                    common::IdMap<Key, Value>& map) {
  for (std::uint32_t n = 0; n < count; ++n) {
    std::uint32_t key = 0;
    RAVELIN_TRY(key, reader.read_u32());
    Value value;
    RAVELIN_TRY(value, Value::read(reader));
    map.insert_or_assign(static_cast<Key>(key), std::move(value));
  }
  return {};
}

// Items of types that read themselves: T::read(reader).
template <class T>
common::ReadResult<std::vector<T>> read_records(common::Reader& reader, std::uint32_t count,
                                                std::uint64_t item_size) {
  return common::read_list<T>(reader, count, item_size, [](common::Reader& r) { return T::read(r); });
}

common::ReadResult<std::vector<std::uint32_t>> read_words(common::Reader& reader,
                                                          std::uint32_t count) {
  return common::read_list<std::uint32_t>(reader, count, 4, [](common::Reader& r) { return r.read_u32(); });
}

}  // namespace

common::ReadResult<std::vector<std::uint8_t>> read_exact_payload(common::Reader& reader,
                                                                 std::uint64_t length) {
  std::span<const std::uint8_t> bytes;
  RAVELIN_TRY(bytes, reader.read_exact(length));
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

common::ReadResult<std::vector<std::uint8_t>> read_replace_object_payload(common::Reader& reader) {
  std::vector<std::uint8_t> out;
  std::uint8_t first = 0;
  RAVELIN_TRY(first, reader.read_u8());
  std::uint16_t word = 0;
  RAVELIN_TRY(word, reader.read_u16());
  out = {first, static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
  if (word & 0x8000) {
    std::uint16_t extra = 0;
    RAVELIN_TRY(extra, reader.read_u16());
    out.push_back(static_cast<std::uint8_t>(extra));
    out.push_back(static_cast<std::uint8_t>(extra >> 8));
  }
  return out;
}

common::ReadResult<AnimationHook> AnimationHook::read(common::Reader& reader) {
  const std::uint64_t start = reader.position();
  AnimationHook hook;
  RAVELIN_TRY(hook.hook_type, reader.read_u32());
  RAVELIN_TRY(hook.hook_word, reader.read_u32());
  if (hook.hook_type > kMaxAnimationHookType)
    return std::unexpected(common::ReadError::custom(
        reader.position(), "Unsupported AnimationHook type: 0x" + common::hex8(hook.hook_type)));
  const int size = kPayloadSize[hook.hook_type];
  if (size < 0) {
    RAVELIN_TRY(hook.payload, read_replace_object_payload(reader));
  } else {
    RAVELIN_TRY(hook.payload, read_exact_payload(reader, static_cast<std::uint64_t>(size)));
  }
  // Padding counts from the hook's own first byte, not from the file's.
  const std::uint64_t consumed = reader.position() - start;
  if (consumed % 4 != 0) {
    std::vector<std::uint8_t> padding;
    RAVELIN_TRY(padding, read_exact_payload(reader, 4 - consumed % 4));
    hook.payload.insert(hook.payload.end(), padding.begin(), padding.end());
  }
  return hook;
}

common::ReadResult<AnimationFrame> AnimationFrame::read(common::Reader& reader,
                                                       std::uint32_t part_count) {
  AnimationFrame frame;
  RAVELIN_TRY(frame.part_frames, read_records<Frame>(reader, part_count, 28));
  std::uint32_t hook_count = 0;
  RAVELIN_TRY(hook_count, reader.read_u32());
  RAVELIN_TRY(frame.hooks, read_records<AnimationHook>(reader, hook_count, 8));
  return frame;
}

common::ReadResult<SetupModel> SetupModel::unpack(common::Reader& reader) {
  SetupModel m;
  RAVELIN_TRY(m.id, reader.read_u32());
  RAVELIN_TRY(m.flags, reader.read_u32());
  std::uint32_t part_count = 0;
  RAVELIN_TRY(part_count, reader.read_u32());
  RAVELIN_TRY(m.parts, read_words(reader, part_count));
  if (m.flags & kHasPartRefs) RAVELIN_TRY(m.part_refs, read_words(reader, part_count));
  if (m.flags & kHasPartVectors)
    RAVELIN_TRY(m.part_vectors, read_records<common::Vector3>(reader, part_count, 12));

  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY_VOID(read_keyed(reader, count, m.locations_1));
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY_VOID(read_keyed(reader, count, m.locations_2));

  // The only signed count of the format.
  std::int32_t placement_count = 0;
  RAVELIN_TRY(placement_count, reader.read_i32());
  if (placement_count < 0)
    return std::unexpected(common::ReadError::custom(
        reader.position(), "SetupModel 0x" + common::hex8(m.id) + " declared negative placement count " +
                                std::to_string(placement_count)));
  for (std::int32_t n = 0; n < placement_count; ++n) {
    std::int32_t key = 0;
    RAVELIN_TRY(key, reader.read_i32());
    PlacementType placement;
    RAVELIN_TRY(placement.anim_frame, AnimationFrame::read(reader, part_count));
    m.placements.insert_or_assign(key, std::move(placement));
  }

  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(m.cyl_spheres, read_records<CylSphere>(reader, count, 20));
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(m.spheres, read_records<common::Sphere>(reader, count, 16));
  for (auto& scalar : m.scalars) RAVELIN_TRY(scalar, reader.read_u32());
  RAVELIN_TRY(m.sphere_1, common::Sphere::read(reader));
  RAVELIN_TRY(m.sphere_2, common::Sphere::read(reader));
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY_VOID(read_keyed(reader, count, m.lights));

  std::optional<std::uint32_t>* ids[] = {&m.default_id_1, &m.default_script_id,
                                         &m.motion_table_id, &m.default_id_4, &m.default_id_5};
  for (auto* id : ids) {
    std::uint32_t word = 0;
    RAVELIN_TRY(word, reader.read_u32());
    *id = optional_id(word);
  }
  return m;
}

}  // namespace ravelin::dat::file_type
