// The result of a landblock bake and its JSON Lines serialisation.
#pragma once

#include <cstdint>
#include <filesystem>
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
#include "ravelin/event_bake/record_cache.h"
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

// load_setup_model and load_physics_script (fetch and decode one per-object
// record of the portal archive, nothing on any failure) come with
// record_cache.h; the steps the bake is made of are in bake_core.h.

}  // namespace ravelin::event_bake
