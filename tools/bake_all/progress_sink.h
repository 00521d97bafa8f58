// bake-all's progress on standard error, and the tallies of the closing
// summary: a bar redrawn in place on a terminal
// ("\r[########------]  1234/65025  5210/s  0:12 left"), otherwise a plain
// line every few seconds, for logs.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "tools/bake_all/outcome.h"

namespace ravelin::tools {

class ProgressSink final : public BakeAllSink {
 public:
  using Clock = std::chrono::steady_clock;
  ProgressSink(std::size_t total, Clock::time_point started);

  common::SinkResult add(const LandblockOutcome& outcome) override;
  void tick() override { draw(); }
  // Ends the bar's line, so that what follows starts on a line of its own.
  common::SinkResult finish(const common::JobEnd& end) override;
  void abandon() override { end_line(); }

  std::size_t failed() const { return failed_; }
  const std::string& first_failure() const { return first_failure_; }

 private:
  void draw();
  void end_line();

  static constexpr std::chrono::seconds kLineInterval{5};
  std::size_t total_;
  std::size_t done_ = 0;
  std::size_t failed_ = 0;
  std::string first_failure_;
  Clock::time_point started_;
  bool terminal_;
  bool drawn_ = false;
  bool ended_ = false;
  Clock::time_point last_line_;
};

}  // namespace ravelin::tools
