#include "tools/bake_all/manifest_sink.h"

#include "tools/bake_all/index_lines.h"

namespace ravelin::tools {

common::SinkResult ManifestSink::open() {
  if (auto r = dir_.create(); !r) return std::unexpected(r.error().to_string());
  return {};
}

common::SinkResult ManifestSink::prepare(LandblockOutcome& outcome) {
  const std::string name = manifest_name(outcome.landblock_id);
  if (outcome.failed()) {
    dir_.remove(name);
    return {};
  }
  const std::string text = outcome.bake->to_jsonl_bytes();
  outcome.bytes = text.size();
  if (auto r = dir_.write_deferred(name, text); !r) return std::unexpected(r.error().to_string());
  return {};
}

common::SinkResult ManifestSink::add(const LandblockOutcome& outcome) {
  append_index_line(index_, outcome);
  return {};
}

common::SinkResult ManifestSink::finish(const common::JobEnd& end) {
  if (!end.complete()) append_interrupted_line(index_, end);
  if (auto r = dir_.sync(); !r) return std::unexpected(r.error().to_string());
  if (auto r = dir_.write_synced(kIndexName, index_); !r) return std::unexpected(r.error().to_string());
  dir_.remove_stale();
  return {};
}

std::string ManifestSink::note(const common::JobEnd& /*end*/) const {
  return "; index: " + common::display_path(dir_.file(kIndexName));
}

}  // namespace ravelin::tools
