#include "event_bake/sky_arm.h"

namespace ravelin::event_bake {

std::vector<SkyParticleTrigger> bake_sky_arm(const dat::DatDatabase& portal,
                                             const dat::file_type::Region& region) {
  RecordCache cache(portal);
  return bake_sky_arm(region, cache, InputRecorder{});
}

std::vector<SkyParticleTrigger> bake_sky_arm(const dat::file_type::Region& region, RecordCache& cache,
                                             InputRecorder recorder) {
  if (region.sky) {
    for (const auto& group : region.sky->day_groups) {
      for (const auto& object : group.sky_objects) {
        if (object.script_id != 0) {
          cache.physics_script(object.script_id, recorder);
          continue;
        }
        // A sky object without a script of its own may show a setup model
        // whose default script runs instead.
        if (!sky_chain::is_setup_model_id(object.object_id)) continue;
        const auto* setup = cache.setup_model(object.object_id, recorder);
        if (setup && setup->default_script_id && sky_chain::is_physics_script_id(*setup->default_script_id))
          cache.physics_script(*setup->default_script_id, recorder);
      }
    }
  }
  return sky_chain::enumerate_sky_particle_chain(region, cache.physics_scripts(), cache.setup_models());
}

}  // namespace ravelin::event_bake
