#include "tools/bake_all/atlas_sink.h"

#include "tools/bake_all/index_lines.h"
#include "tools/draw/atlas.h"

namespace ravelin::tools {

common::SinkResult AtlasSink::add(const LandblockOutcome& outcome) {
  append_index_line(index_, outcome);
  ids_.push_back(outcome.landblock_id);
  if (outcome.land) land_.push_back(*outcome.land);
  return {};
}

common::SinkResult AtlasSink::finish(const common::JobEnd& end) {
  if (!end.complete()) return {};
  auto atlas = draw::events_atlas(index_, ids_, land_, session_.portal(), session_.options().region_did, with_pictures_);
  if (!atlas) return std::unexpected(atlas.error());
  // The picture first: the page shows it.
  if (auto r = dir_.write_synced(kTerrainName, atlas->png); !r) return std::unexpected(r.error().to_string());
  if (auto r = dir_.write_synced(kAtlasName, atlas->html); !r) return std::unexpected(r.error().to_string());
  return {};
}

std::string AtlasSink::note(const common::JobEnd& end) const {
  if (!end.complete()) return {};
  return "; atlas: " + common::display_path(dir_.file(kAtlasName));
}

}  // namespace ravelin::tools
