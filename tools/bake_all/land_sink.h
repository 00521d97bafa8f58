// The land under each landblock, for the pictures and the atlas: its
// CellLandblock read once more from the session's cell archive (a 252-byte
// fetch beside a whole bake) on the worker that baked it.
#pragma once

#include "ravelin/dat/lib.h"
#include "tools/bake_all/outcome.h"

namespace ravelin::tools {

class LandSink final : public BakeAllSink {
 public:
  explicit LandSink(const dat::DatDatabase& cell) : cell_(cell) {}

  // Sets the outcome's land; one whose CellLandblock is missing or does not
  // decode has none.
  common::SinkResult prepare(LandblockOutcome& outcome) override;
  common::SinkResult add(const LandblockOutcome&) override { return {}; }

 private:
  const dat::DatDatabase& cell_;
};

}  // namespace ravelin::tools
