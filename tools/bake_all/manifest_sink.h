// bake-all's manifest directory: each landblock's manifest written by the
// worker that baked it (renamed into place without a sync of its own), and
// index.jsonl listing every landblock in bake order. At the end the whole
// directory is synced once, then the index is written and synced: an index
// never lists a manifest that a power cut could lose. A failed landblock
// leaves no manifest of an earlier run beside its index line.
#pragma once

#include <string>

#include "tools/bake_all/outcome.h"
#include "tools/bake_all/output_directory.h"

namespace ravelin::tools {

class ManifestSink final : public BakeAllSink {
 public:
  explicit ManifestSink(OutputDirectory& dir) : dir_(dir) {}

  common::SinkResult open() override;
  common::SinkResult prepare(LandblockOutcome& outcome) override;
  common::SinkResult add(const LandblockOutcome& outcome) override;
  // Also when interrupted: the index then lists what was baked and ends with
  // the interruption's line. Stale files of earlier runs are removed last.
  common::SinkResult finish(const common::JobEnd& end) override;
  std::string note(const common::JobEnd& end) const override;

 private:
  OutputDirectory& dir_;
  std::string index_;
};

}  // namespace ravelin::tools
