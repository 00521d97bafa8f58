// The bake driver: one landblock baked from a DAT directory, everything opened
// for the call and released when it returns.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/bake_inputs.h"
#include "ravelin/event_bake/input_records.h"
#include "ravelin/event_bake/manifest.h"

namespace ravelin::event_bake {

// File names of the two archives inside the DAT directory.
using dat::kCellArchiveName;
using dat::kPortalArchiveName;
// The region the simple entry bakes with.
inline constexpr std::uint32_t kDefaultRegionDid = dat::kDefaultRegionId;

// The whole bake: opens both archives in `inputs.dat_dir`, decodes the region
// and the landblock's terrain, collects the placed setup models from the
// entity source and runs the four event families. Errors, in the order tested:
// DatOpen (portal, then cell), FileMissing/Parse for the region, then for the
// CellLandblock, then SetupTable (spawns manifest) or Parse of the
// LandblockInfo. Files of single objects that fail only shrink the result.
// Everything opened is released when the call returns.
BakeResult<LandblockEventBake> bake_landblock_events(const BakeInputs& inputs);

// bake_landblock_events, and the records it fetched or tried to fetch on the
// way: the region, the CellLandblock, the LandblockInfo, each placed id of the
// setup range it looked up, each setup, motion table, animation and default
// script of the placed setups, and what the sky chain loads; up to where the
// bake ended.
RecordedBake bake_landblock_events_with_inputs(const BakeInputs& inputs);

// bake_landblock_events with region 0x13000000, the LandblockInfo source and
// the sky family on.
BakeResult<LandblockEventBake> bake_landblock_events_simple(std::uint32_t landblock_id,
                                                            const std::filesystem::path& dat_dir);

// load_setup_model and load_physics_script (fetch and decode one per-object
// record of the portal archive, nothing on any failure) are in record_cache.h.

}  // namespace ravelin::event_bake
