#include "event_bake/bake_core.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "ravelin/common/file_system.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/ambient.h"
#include "event_bake/event_order.h"

namespace ravelin::event_bake {
namespace {

constexpr std::string_view kRegionKind = "Region";
constexpr std::string_view kCellLandblockKind = "CellLandblock";
constexpr std::string_view kLandblockInfoKind = "LandblockInfo";

template <class Record>
void append_all(std::vector<Record>& to, std::vector<Record>&& from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace

BakeResult<BakeArchives> open_bake_archives(const std::filesystem::path& dat_dir,
                                            dat::DatDatabase::EntryFilter keep_cell) {
  const std::filesystem::path portal_path = dat_dir / dat::kPortalArchiveName;
  const std::filesystem::path cell_path = dat_dir / dat::kCellArchiveName;
  auto portal = dat::DatDatabase::open(portal_path);
  if (!portal) return std::unexpected(BakeError::dat_open(dat::kPortalArchiveName, portal_path, portal.error()));
  auto cell = dat::DatDatabase::open(cell_path, common::default_file_system(), keep_cell);
  if (!cell) return std::unexpected(BakeError::dat_open(dat::kCellArchiveName, cell_path, cell.error()));
  return BakeArchives{std::move(*portal), std::move(*cell)};
}

BakeResult<dat::file_type::Region> load_region(const dat::DatDatabase& portal, std::uint32_t region_did,
                                               InputRecorder recorder) {
  recorder.portal(region_did);
  auto bytes = portal.get_file(region_did);
  if (!bytes) return std::unexpected(BakeError::file_missing(kRegionKind, region_did));
  common::Reader reader(*bytes);
  auto region = dat::file_type::Region::unpack(reader);
  if (!region) return std::unexpected(BakeError::parse(kRegionKind, region_did, region.error().to_string()));
  return std::move(*region);
}

BakeResult<dat::CellLandblock> load_cell_landblock(const dat::DatDatabase& cell, std::uint32_t landblock_id,
                                                   InputRecorder recorder) {
  const std::uint32_t id = dat::cell_landblock_file_id(landblock_id);
  recorder.cell(id);
  auto bytes = cell.get_file(id);
  if (!bytes) return std::unexpected(BakeError::file_missing(kCellLandblockKind, id));
  auto record = dat::CellLandblock::unpack(*bytes);
  if (!record) return std::unexpected(BakeError::parse(kCellLandblockKind, id, record.error().to_string()));
  return std::move(*record);
}

void append_setup_events(RecordCache& cache, std::uint32_t setup_id, SetupEvents& out, InputRecorder recorder) {
  // Each setup is baked once per bake, so the setup itself is not kept.
  recorder.portal(setup_id);
  if (const auto setup = load_setup_model(cache.portal(), setup_id))
    append_setup_events(cache, setup_id, *setup, out, recorder);
}

void append_setup_events(RecordCache& cache, std::uint32_t setup_id, const dat::file_type::SetupModel& setup,
                         SetupEvents& out, InputRecorder recorder) {
  if (setup.motion_table_id) {
    if (const auto* table = cache.motion_table(*setup.motion_table_id, recorder)) {
      cache.load_animations(anim_sound::referenced_animation_ids(*table), recorder);
      append_all(out.anim_hook_events,
                 anim_sound::bake_anim_sound_manifest(setup_id, setup, *table, cache.animations()));
    }
  }
  if (setup.default_script_id) {
    const std::uint32_t script_id = *setup.default_script_id;
    if (const auto* script = cache.physics_script(script_id, recorder))
      append_all(out.physics_particle_events, particle::bake_particle_manifest(script_id, *script));
  }
}

void order_setup_events(SetupEvents& events) {
  order_anim_sound_events(events.anim_hook_events);
  order_particle_events(events.physics_particle_events);
}

PlacedSetups PlacedSetups::choose(const EntitySource& source) {
  if (source.is_landblock_info()) return PlacedSetups(std::nullopt);
  const SpawnsManifest& manifest = *source.spawns_manifest;
  auto table = read_setup_table(manifest.setup_table);
  if (!table)
    return PlacedSetups(Manifest{manifest.spawns_dir,
                                 std::unexpected(BakeError::setup_table(manifest.setup_table, table.error().to_string()))});
  return PlacedSetups(Manifest{manifest.spawns_dir, std::move(*table)});
}

BakeResult<std::optional<dat::LandblockInfo>> load_landblock_info(const dat::DatDatabase& cell,
                                                                  std::uint32_t landblock_id,
                                                                  InputRecorder recorder) {
  const std::uint32_t id = dat::landblock_info_file_id(landblock_id);
  recorder.cell(id);
  auto bytes = cell.get_file(id);
  if (!bytes) return std::optional<dat::LandblockInfo>{};
  auto info = dat::LandblockInfo::unpack(*bytes);
  if (!info) return std::unexpected(BakeError::parse(kLandblockInfoKind, id, info.error().to_string()));
  return std::optional<dat::LandblockInfo>(std::move(*info));
}

BakeResult<void> PlacedSetups::landblock_info_object_ids(const dat::DatDatabase& cell, std::uint32_t landblock_id,
                                                         std::vector<std::uint32_t>& ids, InputRecorder recorder) {
  auto info = load_landblock_info(cell, landblock_id, recorder);
  if (!info) return std::unexpected(std::move(info.error()));
  if (!*info) return {};
  for (const dat::Stab& stab : (*info)->objects)
    if (dat::is_setup_model_id(stab.id)) ids.push_back(stab.id);
  ids = common::sorted_unique_ids(std::move(ids));
  return {};
}

BakeResult<std::vector<std::uint32_t>> PlacedSetups::spawns_setup_ids(std::uint32_t landblock_id) const {
  if (!manifest_->table) return std::unexpected(manifest_->table.error());
  const auto text = read_spawns_text(manifest_->spawns_dir / spawns_file_name(landblock_id));
  if (!text) return std::vector<std::uint32_t>{};
  return common::sorted_unique_ids(spawn_setup_ids(*text, *manifest_->table));
}

BakeResult<std::vector<std::pair<std::uint32_t, std::uint32_t>>> PlacedSetups::spawn_lines(
    std::uint32_t landblock_id) const {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lines;
  if (!manifest_) return lines;
  if (!manifest_->table) return std::unexpected(manifest_->table.error());
  const auto text = read_spawns_text(manifest_->spawns_dir / spawns_file_name(landblock_id));
  if (!text) return lines;
  for (const std::uint32_t wcid : spawn_wcids(*text))
    if (const std::uint32_t* setup_id = manifest_->table->find(wcid)) lines.emplace_back(wcid, *setup_id);
  return lines;
}

BakeResult<LandblockEventBake> bake_open_landblock(const OpenBake& open, std::uint32_t landblock_id,
                                                   BakeResources& resources, InputRecorder recorder) {
  auto terrain = load_cell_landblock(open.cell, landblock_id, recorder);
  if (!terrain) return std::unexpected(std::move(terrain.error()));
  auto setup_ids = open.placed.setup_ids(
      open.cell, landblock_id, [&resources](std::uint32_t id) { return resources.portal_has_file(id); }, recorder);
  if (!setup_ids) return std::unexpected(std::move(setup_ids.error()));

  SetupEvents events;
  for (const std::uint32_t setup_id : *setup_ids) resources.append_setup_events(setup_id, events, recorder);
  order_setup_events(events);

  LandblockEventBake bake;
  bake.landblock_id = landblock_id;
  bake.region_did = open.region_did;
  bake.ambient_terrain_events = ambient::bake_ambient_manifest(open.region, *terrain, landblock_id);
  bake.anim_hook_events = std::move(events.anim_hook_events);
  bake.physics_particle_events = std::move(events.physics_particle_events);
  if (open.bake_sky) bake.sky_particle_events = resources.sky_events(recorder);
  return bake;
}

}  // namespace ravelin::event_bake
