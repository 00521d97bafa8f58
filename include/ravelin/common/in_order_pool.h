// Work items run on a pool of threads and handed back on the calling thread
// in item order, with a bounded number of finished items waiting, so that a
// single writer (a database, an index) sees them in a fixed order while the
// work itself runs in parallel.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ravelin::common {

struct InOrderPoolOptions {
  std::size_t jobs = 1;     // worker threads
  std::size_t window = 64;  // items finished or running ahead of the next one taken
  std::chrono::milliseconds tick{200};
};

// Runs work(i) for i = 0, 1, ... count - 1 on `options.jobs` threads and calls
// take(i, result) on the calling thread for each i in ascending order. tick() is
// called on the calling thread about every `options.tick`. Once stop() holds, no
// further item is started (stop() is asked from every thread, so it must be
// safe to call from any); the items already started are finished and taken. Returns
// the number of items taken: they are always the first ones.
template <class Result, class Work, class Take, class Tick, class Stop>
std::size_t run_in_order(std::size_t count, const InOrderPoolOptions& options, Work&& work, Take&& take, Tick&& tick,
                         Stop&& stop) {
  const std::size_t window = std::max<std::size_t>(1, options.window);
  std::vector<std::optional<Result>> ring(window);
  std::mutex mutex;
  std::condition_variable item_done;   // the writer waits on it
  std::condition_variable room_freed;  // workers wait on it
  std::size_t next = 0;                // first item not started
  std::size_t taken = 0;               // first item not taken
  std::size_t running = 0;
  bool stopped = false;

  auto worker = [&] {
    std::unique_lock lock(mutex);
    while (true) {
      room_freed.wait(lock, [&] { return stopped || next >= count || next < taken + window; });
      if (stopped || next >= count || stop()) return;
      const std::size_t i = next++;
      ++running;
      lock.unlock();
      Result result = work(i);
      lock.lock();
      ring[i % window] = std::move(result);
      --running;
      item_done.notify_all();
    }
  };
  std::vector<std::jthread> workers;
  const std::size_t jobs = std::clamp<std::size_t>(options.jobs, 1, std::max<std::size_t>(1, count));
  for (std::size_t j = 0; j < jobs; ++j) workers.emplace_back(worker);

  using Clock = std::chrono::steady_clock;
  auto last_tick = Clock::now();
  auto tick_when_due = [&](std::unique_lock<std::mutex>& held) {
    if (Clock::now() - last_tick < options.tick) return;
    held.unlock();
    tick();
    held.lock();
    last_tick = Clock::now();
  };

  std::unique_lock lock(mutex);
  while (taken < count) {
    tick_when_due(lock);
    if (!stopped && stop()) {
      stopped = true;
      room_freed.notify_all();
    }
    if (!ring[taken % window]) {
      // Stopped with nothing left running or waiting: the rest never starts.
      if (stopped && running == 0 && taken >= next) break;
      if (!item_done.wait_for(lock, options.tick, [&] { return ring[taken % window].has_value(); })) continue;
    }
    Result result = std::move(*ring[taken % window]);
    ring[taken % window].reset();
    const std::size_t i = taken++;
    room_freed.notify_all();
    lock.unlock();
    take(i, std::move(result));
    lock.lock();
  }
  stopped = true;
  room_freed.notify_all();
  lock.unlock();
  workers.clear();  // joins
  return taken;
}

}  // namespace ravelin::common
