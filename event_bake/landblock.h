// The result of a landblock bake and its JSON Lines serialisation.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/ambient.h"
#include "ravelin/event_bake/anim_sound.h"
#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/particle.h"
#include "ravelin/event_bake/sky_chain.h"
#include "ravelin/event_bake/spawns.h"

namespace ravelin::event_bake {

// Every presentation event one landblock can trigger, each list in the order
// the bake fixed for it.
struct LandblockEventBake {
  std::uint32_t landblock_id = 0;
  std::uint32_t region_did = 0;
  std::vector<AmbientTrigger> ambient_terrain_events;
  std::vector<AnimSoundTrigger> anim_hook_events;
  std::vector<PhysicsScriptParticleTrigger> physics_particle_events;
  std::vector<SkyParticleTrigger> sky_particle_events;

  // Field by field, lists element by element in order.
  bool operator==(const LandblockEventBake&) const = default;

  // One line per event, each ending in "\n": all ambient events, then animation
  // sound, physics particle and sky events, each list in its order. The ids of
  // the bake itself are not written; a bake without events gives "". Equal
  // records give equal bytes.
  std::string to_jsonl_bytes() const;

  // LandblockEventBake { landblock_id: 2847145984, region_did: 318767104,
  // ambient_terrain_events: [...], anim_hook_events: [...], ... }
  std::string debug_string() const;
};

// File names of the two archives inside the DAT directory.
inline constexpr std::string_view kPortalArchiveName = "client_portal.dat";
inline constexpr std::string_view kCellArchiveName = "client_cell_1.dat";
// The region the simple entry bakes with.
inline constexpr std::uint32_t kDefaultRegionDid = 0x13000000;

// The whole bake: opens both archives in `inputs.dat_dir`, decodes the region
// and the landblock's terrain, collects the placed setup models from the
// entity source and runs the four event families. Errors, in the order tested:
// DatOpen (portal, then cell), FileMissing/Parse for the region, then for the
// CellLandblock, then SetupTable (spawns manifest) or Parse of the
// LandblockInfo. Files of single objects that fail only shrink the result.
// Everything opened is released when the call returns.
BakeResult<LandblockEventBake> bake_landblock_events(const BakeInputs& inputs);

// bake_landblock_events with region 0x13000000, the LandblockInfo source and
// the sky family on.
BakeResult<LandblockEventBake> bake_landblock_events_simple(std::uint32_t landblock_id,
                                                            const std::filesystem::path& dat_dir);

// The setup model `id` of the portal archive, or nothing when it cannot be
// fetched or decoded (the reason is dropped).
std::optional<dat::file_type::SetupModel> load_setup_model(const dat::DatDatabase& portal, std::uint32_t id);

// The physics script `id` of the portal archive, or nothing on any failure.
std::optional<dat::file_type::PhysicsScript> load_physics_script(const dat::DatDatabase& portal,
                                                                 std::uint32_t id);

// --- The bake's steps, usable on their own by callers that keep archives open.

struct BakeArchives {
  dat::DatDatabase portal;
  dat::DatDatabase cell;
};

// Opens "client_portal.dat" and then "client_cell_1.dat" in `dat_dir`; the first
// failure is DatOpen naming that archive and its full path.
BakeResult<BakeArchives> open_bake_archives(const std::filesystem::path& dat_dir);

// Fetches and decodes the region: FileMissing "Region" when the fetch fails for
// any reason, Parse "Region" with the decoder's display text.
BakeResult<dat::file_type::Region> load_region(const dat::DatDatabase& portal, std::uint32_t region_did);

// Fetches and decodes the CellLandblock (landblock id OR 0xFFFF): FileMissing or
// Parse "CellLandblock" with that id.
BakeResult<dat::CellLandblock> load_cell_landblock(const dat::DatDatabase& cell, std::uint32_t landblock_id);

// Reads the setup table file; SetupTable errors carry `path` and the message
// "read: ...", "parse json: ..." or "top-level is not an object".
BakeResult<SetupTable> load_setup_table(const std::filesystem::path& path);

// The setup ids of the landblock's spawns file in `spawns_dir`, in line order,
// mapped through `table`; a missing or unreadable file gives none.
std::vector<std::uint32_t> spawns_setup_ids(const SetupTable& table, const std::filesystem::path& spawns_dir,
                                            std::uint32_t landblock_id);

// The ids of the LandblockInfo's placed objects that are setup model ids
// (0x02000000 to 0x02FFFFFF) fetchable from the portal archive, in list order.
// A LandblockInfo missing from the cell archive gives none; one that does not
// decode is Parse "LandblockInfo".
BakeResult<std::vector<std::uint32_t>> landblock_info_setup_ids(const dat::DatDatabase& portal,
                                                                const dat::DatDatabase& cell,
                                                                std::uint32_t landblock_id);

// The same with the portal look-up given: `is_fetchable(id)` must say whether
// the portal archive's get_file(id) succeeds. It is asked once per distinct id.
BakeResult<std::vector<std::uint32_t>> landblock_info_setup_ids(
    const dat::DatDatabase& cell, std::uint32_t landblock_id,
    const std::function<bool(std::uint32_t)>& is_fetchable);

// The animation sound and physics particle events of the given setups, each
// list in its fixed order with repeated records removed.
struct SetupEvents {
  std::vector<AnimSoundTrigger> anim_hook_events;
  std::vector<PhysicsScriptParticleTrigger> physics_particle_events;
};

// Decoded records a run of setups shares, each fetched at most once; an entry
// holding nothing records a fetch or decode that failed, so it is not retried.
struct SetupRecordCache {
  anim_sound::AnimationCache animations;
  common::IdMap<std::uint32_t, std::optional<dat::file_type::MotionTable>> motion_tables;
  common::IdMap<std::uint32_t, std::optional<dat::file_type::PhysicsScript>> scripts;
};

// Appends the events of the one setup `setup_id`, unordered: its animation
// sounds through its motion table, its default script's particles. A setup
// that cannot be fetched or decoded adds nothing.
void append_setup_events(const dat::DatDatabase& portal, std::uint32_t setup_id, SetupRecordCache& cache,
                         SetupEvents& out);

// Runs both per-object families over `setup_ids` (ascending, without repeats),
// sharing one animation cache, so each animation file is fetched at most once.
SetupEvents bake_setup_events(const dat::DatDatabase& portal, std::span<const std::uint32_t> setup_ids);

// The setup ids in ascending order without repeats: the order the per-object
// families run in.
std::vector<std::uint32_t> sorted_unique_setup_ids(std::vector<std::uint32_t> ids);

// The bake's last step: the ambient family from the terrain record, then the
// given per-object events (already in their fixed order) and sky events.
LandblockEventBake assemble_landblock_bake(std::uint32_t landblock_id, std::uint32_t region_did,
                                           const dat::file_type::Region& region, const dat::CellLandblock& terrain,
                                           SetupEvents setup_events, std::vector<SkyParticleTrigger> sky_events);

// Everything after the region: the terrain record, the entity source, the
// families and the ordering. `region` must be the decoded `inputs.region_did`.
BakeResult<LandblockEventBake> bake_landblock_with_archives(const dat::DatDatabase& portal,
                                                            const dat::DatDatabase& cell,
                                                            const dat::file_type::Region& region,
                                                            const BakeInputs& inputs);

}  // namespace ravelin::event_bake
