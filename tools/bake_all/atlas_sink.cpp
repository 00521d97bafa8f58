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
  if (auto drawn = draw::write_events_atlas(dir_.path(), index_, ids_, land_, session_.portal(),
                                            session_.options().region_did, with_pictures_);
      !drawn)
    return std::unexpected(drawn.error());
  dir_.note_written(kAtlasName);
  dir_.note_written(kTerrainName);
  return {};
}

std::string AtlasSink::note(const common::JobEnd& end) const {
  if (!end.complete()) return {};
  return "; atlas: " + common::display_path(dir_.file(kAtlasName));
}

}  // namespace ravelin::tools
