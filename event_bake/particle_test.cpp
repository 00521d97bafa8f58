#include "ravelin/event_bake/particle.h"

#include <gtest/gtest.h>

namespace ravelin::event_bake {
namespace {

using dat::file_type::AnimationHook;
using dat::file_type::PhysicsScript;

AnimationHook hook(std::uint32_t type, std::vector<std::uint8_t> payload) { return {type, 0, std::move(payload)}; }

std::vector<std::uint8_t> particle_payload(std::uint32_t emitter, std::uint32_t part, std::size_t size = 40) {
  std::vector<std::uint8_t> p(size, 0xAA);
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::uint8_t>(emitter >> (8 * i));
    p[4 + i] = static_cast<std::uint8_t>(part >> (8 * i));
  }
  return p;
}

TEST(ParticleManifest, OnlyParticleHooksWithEightPayloadBytesInScriptOrder) {
  PhysicsScript script;
  script.id = 0x33FFFFFF;  // the script's own id is not used
  script.script_data = {
      {1.5, hook(13, particle_payload(0x32000010, 2))},
      {0.25, hook(5, particle_payload(0x32000020, 3))},
      {-0.0, hook(26, particle_payload(0x32000030, 0x01020304, 8))},
      {2.0, hook(13, std::vector<std::uint8_t>(7, 0))},
      {3.0, hook(1, particle_payload(0x32000040, 4))},
  };
  const auto triggers = particle::bake_particle_manifest(0x33000005, script);
  const std::vector<PhysicsScriptParticleTrigger> expected = {
      {0x33000005, 1.5, 0x32000010, 2, false},
      {0x33000005, -0.0, 0x32000030, 0x01020304, true},
  };
  EXPECT_EQ(triggers, expected);
}

}  // namespace
}  // namespace ravelin::event_bake
