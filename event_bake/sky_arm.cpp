#include "ravelin/event_bake/sky_arm.h"

#include "ravelin/event_bake/landblock.h"

namespace ravelin::event_bake {
namespace {

void cache_script(const dat::DatDatabase& portal, std::uint32_t id, sky_chain::ScriptCache& scripts) {
  if (scripts.contains(id)) return;
  scripts.insert_or_assign(id, load_physics_script(portal, id));
}

// A sky object without a script of its own may show a setup model whose
// default script runs instead.
void cache_setup_and_its_script(const dat::DatDatabase& portal, std::uint32_t setup_id,
                                sky_chain::SetupCache& setups, sky_chain::ScriptCache& scripts) {
  if (!sky_chain::is_setup_model_id(setup_id) || setups.contains(setup_id)) return;
  auto setup = load_setup_model(portal, setup_id);
  if (setup && setup->default_script_id && sky_chain::is_physics_script_id(*setup->default_script_id))
    cache_script(portal, *setup->default_script_id, scripts);
  setups.insert_or_assign(setup_id, std::move(setup));
}

}  // namespace

std::vector<SkyParticleTrigger> bake_sky_arm(const dat::DatDatabase& portal,
                                             const dat::file_type::Region& region) {
  sky_chain::ScriptCache scripts;
  sky_chain::SetupCache setups;
  if (region.sky) {
    for (const auto& group : region.sky->day_groups) {
      for (const auto& object : group.sky_objects) {
        if (object.script_id != 0) {
          cache_script(portal, object.script_id, scripts);
        } else {
          cache_setup_and_its_script(portal, object.object_id, setups, scripts);
        }
      }
    }
  }
  return sky_chain::enumerate_sky_particle_chain(region, scripts, setups);
}

}  // namespace ravelin::event_bake
