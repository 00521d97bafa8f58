#include "tools/bake_all/land_sink.h"

#include "tools/draw/atlas_terrain.h"

namespace ravelin::tools {

common::SinkResult LandSink::prepare(LandblockOutcome& outcome) {
  outcome.land = draw::read_landblock_terrain(cell_, outcome.landblock_id);
  return {};
}

}  // namespace ravelin::tools
