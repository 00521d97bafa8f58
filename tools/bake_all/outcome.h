// What bake-all hands its sinks: one landblock's outcome. The loop fills the
// bake; sinks fill in, on the worker, what later sinks need (the land, the
// manifest's size, the objects for the database).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ravelin/common/sink.h"
#include "ravelin/event_bake/event_family.h"
#include "ravelin/event_bake/manifest.h"
#include "ravelin/event_bake/session.h"
#include "draw/terrain_map.h"

namespace ravelin::tools {

struct LandblockOutcome {
  std::uint32_t landblock_id = 0;
  bool baked = false;
  std::string error;  // the bake's error text when it failed
  // The bake itself, while a sink needs it; the loop drops it after the
  // sinks' prepare unless one needs it in add.
  std::optional<event_bake::LandblockEventBake> bake;
  event_bake::EventCounts counts{};
  std::optional<std::size_t> bytes;  // the manifest's length, once a sink has measured it
  std::optional<draw::LandblockTerrain> land;
  std::vector<event_bake::BakeSession::PlacedObject> placed_objects;
  std::vector<event_bake::BakeSession::SpawnedSetup> spawned_setups;

  bool failed() const { return !baked; }
};

// A sink of bake-all, which also says what it wrote for the closing summary.
class BakeAllSink : public common::Sink<LandblockOutcome> {
 public:
  // "; index: OUT/index.jsonl", or nothing.
  virtual std::string note(const common::JobEnd& /*end*/) const { return {}; }
};

}  // namespace ravelin::tools
