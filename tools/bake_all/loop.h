// bake-all's one loop: every landblock baked through one session by a pool of
// worker threads, each outcome prepared by every sink on its worker and added
// to every sink in bake order. Ctrl-C or SIGTERM stops it between landblocks;
// a sink's failure stops it at once (the bakes in flight are dropped) and
// abandons every sink.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "ravelin/common/sink.h"
#include "ravelin/event_bake/session.h"
#include "tools/bake_all/outcome.h"

namespace ravelin::tools {

struct BakeLoopOptions {
  std::size_t jobs = 1;
  // Keep each bake until it is added (a sink reads it in add), instead of
  // freeing it on its worker once prepared.
  bool keep_bakes = false;
};

// How the run ended (every landblock, or interrupted), after every sink
// finished; or the first sink's error, after every sink was abandoned.
std::expected<common::JobEnd, std::string> run_bake_loop(const event_bake::BakeSession& session,
                                                         std::span<const std::uint32_t> ids,
                                                         std::span<BakeAllSink* const> sinks,
                                                         const BakeLoopOptions& options);

}  // namespace ravelin::tools
