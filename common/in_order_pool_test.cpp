// The in-order pool and its form without threads (what the WebAssembly build
// runs) keep one contract: results taken on the calling thread in item order,
// the first ones only once stop() holds, tick() on the calling thread.
#include "ravelin/common/in_order_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>


namespace ravelin::common {
namespace {

struct Outcome {
  std::vector<std::size_t> taken;
  std::size_t returned = 0;
};

// Squares of 0, 1, ... taken in order; stop() holds once `stop_after` items
// are taken (it is asked from every thread, so the count is atomic).
template <bool kOnCaller>
Outcome run(std::size_t count, const InOrderPoolOptions& options, std::size_t stop_after) {
  const std::thread::id caller = std::this_thread::get_id();
  Outcome out;
  std::atomic<std::size_t> taken{0};
  auto work = [](std::size_t i) { return i * i; };
  auto take = [&](std::size_t i, std::size_t square) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_EQ(square, i * i);
    out.taken.push_back(i);
    ++taken;
  };
  auto tick = [&] { EXPECT_EQ(std::this_thread::get_id(), caller); };
  auto stop = [&] { return taken.load() >= stop_after; };
  if constexpr (kOnCaller) {
    out.returned = run_in_order_on_caller<std::size_t>(count, options, work, take, tick, stop);
  } else {
    out.returned = run_in_order<std::size_t>(count, options, work, take, tick, stop);
  }
  return out;
}

TEST(InOrderPool, TakesEveryItemInOrderOrTheFirstOnesWhenStopped) {
  const struct {
    std::size_t count, jobs, window, grain;
    std::size_t stop_after;  // past count: never stopped
  } cases[] = {
      {0, 2, 4, 1, 1}, {1, 4, 4, 1, 2}, {100, 1, 1, 1, 101}, {100, 3, 8, 4, 101}, {1000, 2, 64, 16, 1001},
      {100, 2, 8, 1, 10}, {100, 1, 4, 2, 0},
  };
  for (const auto& c : cases) {
    const InOrderPoolOptions options{.jobs = c.jobs, .window = c.window, .grain = c.grain,
                                     .tick = std::chrono::milliseconds(0)};
    const std::string label = "count " + std::to_string(c.count) + ", jobs " + std::to_string(c.jobs) +
                              ", stop after " + std::to_string(c.stop_after);
    const Outcome pool = run<false>(c.count, options, c.stop_after);
    const Outcome caller = run<true>(c.count, options, c.stop_after);
    for (const Outcome* r : {&pool, &caller}) {
      EXPECT_EQ(r->returned, r->taken.size()) << label;
      for (std::size_t i = 0; i < r->taken.size(); ++i) ASSERT_EQ(r->taken[i], i) << label;
    }
    // The caller starts nothing once stopped; the pool finishes what its workers claimed.
    EXPECT_EQ(caller.returned, std::min(c.count, c.stop_after)) << label;
    EXPECT_GE(pool.returned, std::min(c.count, c.stop_after)) << label;
    if (c.stop_after > c.count) {
      EXPECT_EQ(pool.returned, c.count) << label;
    }
  }
}

TEST(InOrderPool, OnTheCallerStopsBeforeTheNextItemAndTicksBetweenItems) {
  for (const std::size_t stop_after : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
    std::size_t taken = 0, ticks = 0, asked = 0;
    const std::size_t n = run_in_order_on_caller<int>(
        20, {.tick = std::chrono::milliseconds(0)}, [](std::size_t i) { return static_cast<int>(i); },
        [&](std::size_t, int) { ++taken; }, [&] { ++ticks; },
        [&] { return asked++ >= stop_after; });
    EXPECT_EQ(n, stop_after);
    EXPECT_EQ(taken, stop_after);
    EXPECT_EQ(ticks, stop_after) << "a period of 0 ends with every item";
  }
}

}  // namespace
}  // namespace ravelin::common
