#include "tools/bake_all/loop.h"

#include <atomic>
#include <mutex>

#include "ravelin/common/in_order_pool.h"
#include "tools/interrupt.h"

namespace ravelin::tools {
namespace {

// The first failure of any sink, from any thread.
class FirstFailure {
 public:
  bool failed() const { return failed_.load(); }
  void set(std::string text) {
    std::lock_guard lock(mutex_);
    if (failed_) return;
    text_ = std::move(text);
    failed_ = true;
  }
  std::string take() {
    std::lock_guard lock(mutex_);
    return std::move(text_);
  }

 private:
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::string text_;
};

LandblockOutcome bake_outcome(const event_bake::BakeSession& session, std::uint32_t landblock_id) {
  LandblockOutcome outcome;
  outcome.landblock_id = landblock_id;
  auto bake = session.bake(landblock_id);
  if (!bake) {
    outcome.error = bake.error().to_string();
    return outcome;
  }
  outcome.baked = true;
  outcome.counts = bake->counts();
  outcome.bake = std::move(*bake);
  return outcome;
}

// Abandons sinks [0, count) in reverse order.
void abandon(std::span<BakeAllSink* const> sinks, std::size_t count) {
  while (count > 0) sinks[--count]->abandon();
}

}  // namespace

std::expected<common::JobEnd, std::string> run_bake_loop(const event_bake::BakeSession& session,
                                                         std::span<const std::uint32_t> ids,
                                                         std::span<BakeAllSink* const> sinks,
                                                         const BakeLoopOptions& options) {
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    if (auto r = sinks[i]->open(); !r) {
      abandon(sinks, i + 1);
      return std::unexpected(std::move(r.error()));
    }
  }

  const InterruptCatcher interrupts;
  FirstFailure failure;
  common::InOrderPoolOptions pool;
  pool.jobs = options.jobs;
  pool.window = 16 * options.jobs;
  const std::size_t done = common::run_in_order<LandblockOutcome>(
      ids.size(), pool,
      [&](std::size_t i) {
        LandblockOutcome outcome = bake_outcome(session, ids[i]);
        for (BakeAllSink* sink : sinks) {
          if (failure.failed()) break;
          if (auto r = sink->prepare(outcome); !r) failure.set(std::move(r.error()));
        }
        if (!options.keep_bakes) outcome.bake.reset();
        return outcome;
      },
      [&](std::size_t, LandblockOutcome&& outcome) {
        for (BakeAllSink* sink : sinks) {
          if (failure.failed()) return;
          if (auto r = sink->add(outcome); !r) failure.set(std::move(r.error()));
        }
      },
      [&] {
        for (BakeAllSink* sink : sinks) sink->tick();
      },
      [&] { return failure.failed() || InterruptCatcher::caught() != 0; });
  if (failure.failed()) {
    abandon(sinks, sinks.size());
    return std::unexpected(failure.take());
  }

  const int signal = InterruptCatcher::caught();
  const common::JobEnd end{done, ids.size(), signal != 0 ? InterruptCatcher::name(signal) : ""};
  for (std::size_t i = sinks.size(); i-- > 0;) {
    if (auto r = sinks[i]->finish(end); !r) {
      abandon(sinks, i);
      return std::unexpected(std::move(r.error()));
    }
  }
  return end;
}

}  // namespace ravelin::tools
