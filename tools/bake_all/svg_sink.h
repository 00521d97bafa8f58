// bake-all --svg: each landblock's picture, as `render` draws it, written by
// the worker that baked it beside its manifest.
#pragma once

#include <string>
#include <vector>

#include "ravelin/event_bake/session.h"
#include "tools/bake_all/outcome.h"
#include "tools/bake_all/output_directory.h"

namespace ravelin::tools {

class SvgSink final : public BakeAllSink {
 public:
  SvgSink(const event_bake::BakeSession& session, OutputDirectory& dir);

  // Needs the outcome's land (the land sink before it).
  common::SinkResult prepare(LandblockOutcome& outcome) override;
  common::SinkResult add(const LandblockOutcome&) override { return {}; }

 private:
  const event_bake::BakeSession& session_;
  OutputDirectory& dir_;
  std::vector<std::string> terrain_names_;  // the region's, for the legend
};

}  // namespace ravelin::tools
