// The archive side of the sky particle chain: loads every physics script and
// setup model the region's sky objects name, once each, then enumerates.
#pragma once

#include <vector>

#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/record_cache.h"
#include "ravelin/event_bake/sky_chain.h"

namespace ravelin::event_bake {

// The sky particle triggers of `region`, in day group, sky object, hook order.
// Scripts and setups that cannot be fetched or decoded contribute nothing; none
// is fetched twice. Without a sky description nothing is read.
std::vector<SkyParticleTrigger> bake_sky_arm(const dat::DatDatabase& portal,
                                             const dat::file_type::Region& region);

// The same, loading through (and leaving in) `cache`, whose archive must be the
// portal archive the region came from; each script and setup asked for goes to
// `recorder`.
std::vector<SkyParticleTrigger> bake_sky_arm(const dat::file_type::Region& region, RecordCache& cache,
                                             InputRecorder recorder);

}  // namespace ravelin::event_bake
