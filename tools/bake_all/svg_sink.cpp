#include "tools/bake_all/svg_sink.h"

#include "tools/draw/atlas_terrain.h"
#include "draw/landblock_svg.h"

namespace ravelin::tools {

SvgSink::SvgSink(const event_bake::BakeSession& session, OutputDirectory& dir)
    : session_(session),
      dir_(dir),
      terrain_names_(draw::terrain_names(session.portal(), session.options().region_did)
                         .value_or(std::vector<std::string>{})) {}

common::SinkResult SvgSink::prepare(LandblockOutcome& outcome) {
  const std::string name = svg_name(outcome.landblock_id);
  if (outcome.failed()) {
    dir_.remove(name);
    return {};
  }
  const draw::LandblockTerrain* land = outcome.land ? &*outcome.land : nullptr;
  const std::string svg = draw::render_session_bake(session_, *outcome.bake, {.landblock = land, .names = terrain_names_});
  if (auto r = dir_.write_deferred(name, svg); !r) return std::unexpected(r.error().to_string());
  return {};
}

}  // namespace ravelin::tools
