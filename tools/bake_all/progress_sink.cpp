#include "tools/bake_all/progress_sink.h"

#include <unistd.h>

#include <cstdio>

namespace ravelin::tools {

ProgressSink::ProgressSink(std::size_t total, Clock::time_point started)
    : total_(total), started_(started), terminal_(::isatty(STDERR_FILENO) == 1), last_line_(started) {}

common::SinkResult ProgressSink::add(const LandblockOutcome& outcome) {
  ++done_;
  if (outcome.failed() && failed_++ == 0) first_failure_ = outcome.error;
  return {};
}

void ProgressSink::draw() {
  const auto now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double rate = seconds > 0 ? done_ / seconds : 0;
  const long left = rate > 0 ? static_cast<long>((total_ - done_) / rate + 0.5) : 0;
  if (terminal_) {
    constexpr int kWidth = 30;
    const int filled = total_ == 0 ? kWidth : static_cast<int>(kWidth * done_ / total_);
    std::string bar(filled, '#');
    bar.append(kWidth - filled, '-');
    std::fprintf(stderr, "\r[%s] %zu/%zu  %.0f/s  %ld:%02ld left ", bar.c_str(), done_, total_, rate, left / 60,
                 left % 60);
    drawn_ = true;
  } else {
    if (now - last_line_ < kLineInterval) return;
    last_line_ = now;
    std::fprintf(stderr, "bake-all: %zu/%zu landblocks, %.0f/s, %ld:%02ld left\n", done_, total_, rate, left / 60,
                 left % 60);
  }
  std::fflush(stderr);
}

void ProgressSink::end_line() {
  if (!terminal_ || ended_) return;
  ended_ = true;
  draw();
  if (drawn_) std::fputc('\n', stderr);
}

common::SinkResult ProgressSink::finish(const common::JobEnd& /*end*/) {
  end_line();
  return {};
}

}  // namespace ravelin::tools
