#include "ravelin/event_bake/landblock.h"

#include <algorithm>
#include <iterator>

#include "ravelin/event_bake/debug_render.h"
#include "ravelin/event_bake/event_order.h"
#include "ravelin/event_bake/sky_arm.h"
#include "ravelin/event_bake/number_format.h"

namespace ravelin::event_bake {
namespace {

// "[1,2,3]" without blanks.
void append_integer_array(std::string& out, const std::vector<std::uint32_t>& values) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ',';
    append_decimal(out, values[i]);
  }
  out += ']';
}

void append_bool(std::string& out, bool value) { out += value ? "true" : "false"; }

void append_ambient_line(std::string& line, const AmbientTrigger& e) {
  line += R"({"source":"ambient","trigger":"terrain","terrain_type":)";
  append_decimal(line, e.terrain_type);
  line += R"(,"scene_type":)";
  append_decimal(line, e.scene_type);
  line += R"(,"scene_info_idx":)";
  append_decimal(line, e.scene_info_idx);
  line += R"(,"stb_index":)";
  append_decimal(line, e.stb_index);
  line += R"(,"stb_id":")";
  append_hex_id(line, e.stb_id);
  line += R"(","vertex_indices":)";
  append_integer_array(line, e.vertex_indices);
  line += R"(,"ambient_sounds":[)";
  for (std::size_t i = 0; i < e.ambient_sounds.size(); ++i) {
    const AmbientSoundRecord& s = e.ambient_sounds[i];
    if (i != 0) line += ',';
    line += R"({"s_type":)";
    append_decimal(line, s.s_type);
    line += R"(,"volume":)";
    append_fixed6(line, s.volume);
    line += R"(,"base_chance":)";
    append_fixed6(line, s.base_chance);
    line += R"(,"min_rate":)";
    append_fixed6(line, s.min_rate);
    line += R"(,"max_rate":)";
    append_fixed6(line, s.max_rate);
    line += R"(,"continuous":)";
    append_bool(line, s.continuous);
    line += '}';
  }
  line += "]}\n";
}

void append_anim_sound_line(std::string& line, const AnimSoundTrigger& e) {
  line += R"({"source":"animation_sound","trigger":"animation_sound","csetup_id":")";
  append_hex_id(line, e.csetup_id);
  line += R"(","motion_table_id":")";
  append_hex_id(line, e.motion_table_id);
  line += R"(","motion_key":")";
  append_hex_id(line, e.motion_key);
  line += R"(","motion_kind":)";
  append_decimal(line, e.motion_kind);
  line += R"(,"link_outer_key":)";
  if (e.link_outer_key) {
    append_decimal(line, *e.link_outer_key);
  } else {
    line += "null";
  }
  line += R"(,"is_default_stance":)";
  append_bool(line, e.is_default_stance);
  line += R"(,"animation_did":")";
  append_hex_id(line, e.animation_did);
  line += R"(","hook_frame":)";
  append_decimal(line, e.hook_frame);
  line += R"(,"hook_type":)";
  append_decimal(line, e.hook_type);
  line += R"(,"sound_id":)";
  append_decimal(line, e.sound_id);
  line += R"(,"priority":)";
  append_fixed6(line, e.priority);
  line += R"(,"probability":)";
  append_fixed6(line, e.probability);
  line += R"(,"volume":)";
  append_fixed6(line, e.volume);
  line += "}\n";
}

void append_particle_line(std::string& line, const PhysicsScriptParticleTrigger& e) {
  line += R"({"source":"physics_script_particle","trigger":"physics_script_particle","default_script_id":")";
  append_hex_id(line, e.default_script_id);
  line += R"(","start_time_s":)";
  append_fixed6(line, e.start_time_s);
  line += R"(,"emitter_id":")";
  append_hex_id(line, e.emitter_id);
  line += R"(","part_index":)";
  append_decimal(line, e.part_index);
  line += R"(,"blocking":)";
  append_bool(line, e.blocking);
  line += R"(,"anchor":"entity_origin"})";
  line += '\n';
}

void append_sky_line(std::string& line, const SkyParticleTrigger& e) {
  line += R"({"source":"sky_chain","trigger":"time_of_day","day_group_idx":)";
  append_decimal(line, e.day_group_idx);
  line += R"(,"day_group_name":")";
  append_json_string_content(line, e.day_group_name);
  line += R"(","day_group_chance":)";
  append_fixed6(line, e.day_group_chance);
  line += R"(,"active_fraction_start":)";
  append_fixed6(line, e.active_fraction_start);
  line += R"(,"active_fraction_end":)";
  append_fixed6(line, e.active_fraction_end);
  line += R"(,"sky_object_idx":)";
  append_decimal(line, e.sky_object_idx);
  line += R"(,"sky_object_id":")";
  append_hex_id(line, e.sky_object_id);
  line += R"(","physics_script_id":")";
  append_hex_id(line, e.physics_script_id);
  line += R"(","physics_script_source":")";
  line += jsonl_name(e.physics_script_source);
  line += R"(","hook_idx":)";
  append_decimal(line, e.hook_idx);
  line += R"(,"start_time_s":)";
  append_fixed6(line, e.start_time_s);
  line += R"(,"emitter_id":")";
  append_hex_id(line, e.emitter_id);
  line += R"(","blocking":)";
  append_bool(line, e.blocking);
  line += R"(,"anchor":"sky_cell_origin"})";
  line += '\n';
}

// Builds each line completely in `line` (reused) before it joins `out`.
template <class Record, class Build>
void append_lines(std::string& out, std::string& line, const std::vector<Record>& records,
                  Build build) {
  for (const Record& record : records) {
    line.clear();
    build(line, record);
    out += line;
  }
}

template <class Record>
void append_record_list(std::string& out, const std::vector<Record>& records) {
  append_debug_list(out, records, [](std::string& o, const Record& r) { o += r.debug_string(); });
}

}  // namespace

std::string LandblockEventBake::to_jsonl_bytes() const {
  std::string out;
  std::string line;
  append_lines(out, line, ambient_terrain_events, append_ambient_line);
  append_lines(out, line, anim_hook_events, append_anim_sound_line);
  append_lines(out, line, physics_particle_events, append_particle_line);
  append_lines(out, line, sky_particle_events, append_sky_line);
  return out;
}

std::string LandblockEventBake::debug_string() const {
  std::string out = "LandblockEventBake { landblock_id: ";
  append_decimal(out, landblock_id);
  out += ", region_did: ";
  append_decimal(out, region_did);
  out += ", ambient_terrain_events: ";
  append_record_list(out, ambient_terrain_events);
  out += ", anim_hook_events: ";
  append_record_list(out, anim_hook_events);
  out += ", physics_particle_events: ";
  append_record_list(out, physics_particle_events);
  out += ", sky_particle_events: ";
  append_record_list(out, sky_particle_events);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

// ---------------------------------------------------------------------------
// The bake driver.

namespace ravelin::event_bake {
namespace {

using dat::file_type::Animation;
using dat::file_type::MotionTable;

constexpr std::string_view kRegionKind = "Region";
constexpr std::string_view kCellLandblockKind = "CellLandblock";
constexpr std::string_view kLandblockInfoKind = "LandblockInfo";

constexpr std::uint32_t cell_landblock_id(std::uint32_t landblock_id) { return landblock_id | 0x0000FFFFu; }
constexpr std::uint32_t landblock_info_id(std::uint32_t landblock_id) {
  return (landblock_id & 0xFFFF0000u) | 0x0000FFFEu;
}
// Unsigned wrap-around makes ids below 0x02000000 land far above the range.
constexpr bool is_setup_model_range(std::uint32_t id) { return id - 0x02000000u < 0x01000000u; }

// Decodes a whole file with a cursor-based decoder; nothing on any failure.
template <class Record>
std::optional<Record> fetch_and_decode(const dat::DatDatabase& archive, std::uint32_t id,
                                       common::ReadResult<Record> (*decode)(common::Reader&)) {
  auto bytes = archive.get_file(id);
  if (!bytes) return std::nullopt;
  common::Reader reader(*bytes);
  auto record = decode(reader);
  if (!record) return std::nullopt;
  return std::move(*record);
}

// Makes sure the cache holds every animation the table refers to; failures
// are cached as absent so that no later setup of the bake retries them.
void fill_animation_cache(const dat::DatDatabase& portal, const MotionTable& table,
                          anim_sound::AnimationCache& cache) {
  for (const std::uint32_t id : anim_sound::referenced_animation_ids(table)) {
    if (cache.contains(id)) continue;
    cache.insert_or_assign(id, fetch_and_decode<Animation>(portal, id, &Animation::read));
  }
}

void append_all(auto& to, auto&& from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

std::vector<std::uint32_t> sorted_unique(std::vector<std::uint32_t> ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

BakeResult<std::vector<std::uint32_t>> entity_setup_ids(const dat::DatDatabase& portal,
                                                        const dat::DatDatabase& cell,
                                                        const EntitySource& source,
                                                        std::uint32_t landblock_id) {
  if (source.is_landblock_info()) return landblock_info_setup_ids(portal, cell, landblock_id);
  auto table = load_setup_table(source.spawns_manifest->setup_table);
  if (!table) return std::unexpected(std::move(table.error()));
  return spawns_setup_ids(*table, source.spawns_manifest->spawns_dir, landblock_id);
}

}  // namespace

std::optional<dat::file_type::SetupModel> load_setup_model(const dat::DatDatabase& portal, std::uint32_t id) {
  return fetch_and_decode<dat::file_type::SetupModel>(portal, id, &dat::file_type::SetupModel::unpack);
}

std::optional<dat::file_type::PhysicsScript> load_physics_script(const dat::DatDatabase& portal,
                                                                 std::uint32_t id) {
  return fetch_and_decode<dat::file_type::PhysicsScript>(portal, id, &dat::file_type::PhysicsScript::read);
}

BakeResult<BakeArchives> open_bake_archives(const std::filesystem::path& dat_dir) {
  const std::filesystem::path portal_path = dat_dir / kPortalArchiveName;
  const std::filesystem::path cell_path = dat_dir / kCellArchiveName;
  auto portal = dat::DatDatabase::open(portal_path);
  if (!portal) return std::unexpected(BakeError::dat_open(kPortalArchiveName, portal_path, portal.error()));
  auto cell = dat::DatDatabase::open(cell_path);
  if (!cell) return std::unexpected(BakeError::dat_open(kCellArchiveName, cell_path, cell.error()));
  return BakeArchives{std::move(*portal), std::move(*cell)};
}

BakeResult<dat::file_type::Region> load_region(const dat::DatDatabase& portal, std::uint32_t region_did) {
  auto bytes = portal.get_file(region_did);
  if (!bytes) return std::unexpected(BakeError::file_missing(kRegionKind, region_did));
  common::Reader reader(*bytes);
  auto region = dat::file_type::Region::unpack(reader);
  if (!region) return std::unexpected(BakeError::parse(kRegionKind, region_did, region.error().to_string()));
  return std::move(*region);
}

BakeResult<dat::CellLandblock> load_cell_landblock(const dat::DatDatabase& cell, std::uint32_t landblock_id) {
  const std::uint32_t id = cell_landblock_id(landblock_id);
  auto bytes = cell.get_file(id);
  if (!bytes) return std::unexpected(BakeError::file_missing(kCellLandblockKind, id));
  auto record = dat::CellLandblock::unpack(*bytes);
  if (!record) return std::unexpected(BakeError::parse(kCellLandblockKind, id, record.error().to_string()));
  return std::move(*record);
}

BakeResult<SetupTable> load_setup_table(const std::filesystem::path& path) {
  auto table = read_setup_table(path);
  if (!table) return std::unexpected(BakeError::setup_table(path, std::move(table.error())));
  return std::move(*table);
}

std::vector<std::uint32_t> spawns_setup_ids(const SetupTable& table, const std::filesystem::path& spawns_dir,
                                            std::uint32_t landblock_id) {
  const auto text = read_spawns_text(spawns_dir / spawns_file_name(landblock_id));
  if (!text) return {};
  return spawn_setup_ids(*text, table);
}

BakeResult<std::vector<std::uint32_t>> landblock_info_setup_ids(const dat::DatDatabase& portal,
                                                                const dat::DatDatabase& cell,
                                                                std::uint32_t landblock_id) {
  common::IdMap<std::uint32_t, bool> fetchable;  // one fetch per distinct id
  return landblock_info_setup_ids(cell, landblock_id, [&](std::uint32_t id) {
    const bool* known = fetchable.find(id);
    if (known != nullptr) return *known;
    const bool present = portal.get_file(id).has_value();
    fetchable.insert_or_assign(id, present);
    return present;
  });
}

BakeResult<std::vector<std::uint32_t>> landblock_info_setup_ids(
    const dat::DatDatabase& cell, std::uint32_t landblock_id,
    const std::function<bool(std::uint32_t)>& is_fetchable) {
  const std::uint32_t id = landblock_info_id(landblock_id);
  auto bytes = cell.get_file(id);
  if (!bytes) return std::vector<std::uint32_t>{};
  auto info = dat::LandblockInfo::unpack(*bytes);
  if (!info) return std::unexpected(BakeError::parse(kLandblockInfoKind, id, info.error().to_string()));
  std::vector<std::uint32_t> ids;
  for (const dat::Stab& stab : info->objects) {
    if (is_setup_model_range(stab.id) && is_fetchable(stab.id)) ids.push_back(stab.id);
  }
  return ids;
}

void append_setup_events(const dat::DatDatabase& portal, std::uint32_t setup_id, SetupRecordCache& cache,
                         SetupEvents& out) {
  const auto setup = load_setup_model(portal, setup_id);
  if (!setup) return;
  if (setup->motion_table_id) {
    const std::uint32_t table_id = *setup->motion_table_id;
    if (!cache.motion_tables.contains(table_id))
      cache.motion_tables.insert_or_assign(table_id, fetch_and_decode<MotionTable>(portal, table_id, &MotionTable::read));
    if (const auto& table = *cache.motion_tables.find(table_id)) {
      fill_animation_cache(portal, *table, cache.animations);
      append_all(out.anim_hook_events,
                 anim_sound::bake_anim_sound_manifest(setup_id, *setup, *table, cache.animations));
    }
  }
  if (setup->default_script_id) {
    const std::uint32_t script_id = *setup->default_script_id;
    if (!cache.scripts.contains(script_id)) cache.scripts.insert_or_assign(script_id, load_physics_script(portal, script_id));
    if (const auto& script = *cache.scripts.find(script_id))
      append_all(out.physics_particle_events, particle::bake_particle_manifest(script_id, *script));
  }
}

SetupEvents bake_setup_events(const dat::DatDatabase& portal, std::span<const std::uint32_t> setup_ids) {
  SetupEvents events;
  SetupRecordCache cache;
  for (const std::uint32_t setup_id : setup_ids) append_setup_events(portal, setup_id, cache, events);
  order_anim_sound_events(events.anim_hook_events);
  order_particle_events(events.physics_particle_events);
  return events;
}

BakeResult<LandblockEventBake> bake_landblock_with_archives(const dat::DatDatabase& portal,
                                                            const dat::DatDatabase& cell,
                                                            const dat::file_type::Region& region,
                                                            const BakeInputs& inputs) {
  auto terrain = load_cell_landblock(cell, inputs.landblock_id);
  if (!terrain) return std::unexpected(std::move(terrain.error()));
  auto setup_ids = entity_setup_ids(portal, cell, inputs.entity_source, inputs.landblock_id);
  if (!setup_ids) return std::unexpected(std::move(setup_ids.error()));
  const std::vector<std::uint32_t> setups = sorted_unique(std::move(*setup_ids));
  return assemble_landblock_bake(inputs.landblock_id, inputs.region_did, region, *terrain,
                                 bake_setup_events(portal, setups),
                                 inputs.bake_sky ? bake_sky_arm(portal, region) : std::vector<SkyParticleTrigger>{});
}

LandblockEventBake assemble_landblock_bake(std::uint32_t landblock_id, std::uint32_t region_did,
                                           const dat::file_type::Region& region, const dat::CellLandblock& terrain,
                                           SetupEvents setup_events, std::vector<SkyParticleTrigger> sky_events) {
  LandblockEventBake bake;
  bake.landblock_id = landblock_id;
  bake.region_did = region_did;
  bake.ambient_terrain_events = ambient::bake_ambient_manifest(region, terrain, landblock_id);
  bake.anim_hook_events = std::move(setup_events.anim_hook_events);
  bake.physics_particle_events = std::move(setup_events.physics_particle_events);
  bake.sky_particle_events = std::move(sky_events);
  return bake;
}

std::vector<std::uint32_t> sorted_unique_setup_ids(std::vector<std::uint32_t> ids) {
  return sorted_unique(std::move(ids));
}

BakeResult<LandblockEventBake> bake_landblock_events(const BakeInputs& inputs) {
  auto archives = open_bake_archives(inputs.dat_dir);
  if (!archives) return std::unexpected(std::move(archives.error()));
  auto region = load_region(archives->portal, inputs.region_did);
  if (!region) return std::unexpected(std::move(region.error()));
  return bake_landblock_with_archives(archives->portal, archives->cell, *region, inputs);
}

BakeResult<LandblockEventBake> bake_landblock_events_simple(std::uint32_t landblock_id,
                                                            const std::filesystem::path& dat_dir) {
  BakeInputs inputs;
  inputs.dat_dir = dat_dir;
  inputs.entity_source = EntitySource::landblock_info();
  inputs.landblock_id = landblock_id;
  inputs.region_did = kDefaultRegionDid;
  inputs.bake_sky = true;
  return bake_landblock_events(inputs);
}

}  // namespace ravelin::event_bake
