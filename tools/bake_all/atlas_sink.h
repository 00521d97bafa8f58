// bake-all --atlas: the page mapping every landblock of the run, drawn once
// the run is complete from the index lines and the land of each landblock. An
// interrupted run draws none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/event_bake/session.h"
#include "tools/bake_all/outcome.h"
#include "tools/bake_all/output_directory.h"
#include "draw/terrain_map.h"

namespace ravelin::tools {

class AtlasSink final : public BakeAllSink {
 public:
  AtlasSink(const event_bake::BakeSession& session, OutputDirectory& dir, bool with_pictures)
      : session_(session), dir_(dir), with_pictures_(with_pictures) {}

  // Needs the outcome's land and manifest size (the land and manifest sinks before it).
  common::SinkResult add(const LandblockOutcome& outcome) override;
  common::SinkResult finish(const common::JobEnd& end) override;
  std::string note(const common::JobEnd& end) const override;

 private:
  const event_bake::BakeSession& session_;
  OutputDirectory& dir_;
  bool with_pictures_;
  std::string index_;
  std::vector<std::uint32_t> ids_;
  std::vector<draw::LandblockTerrain> land_;
};

}  // namespace ravelin::tools
