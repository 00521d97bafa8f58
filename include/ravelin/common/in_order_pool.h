// Work items run on a pool of threads and handed back on the calling thread
// in item order, with a bounded number of finished items waiting, so that a
// single writer (a database, an index) sees them in a fixed order while the
// work itself runs in parallel. Without threads (concurrency.h) the same
// contract is kept on the calling thread alone.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <utility>

#include "ravelin/common/concurrency.h"

#if RAVELIN_THREADS
#include <pthread.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#endif

namespace ravelin::common {

struct InOrderPoolOptions {
  std::size_t jobs = 1;     // worker threads
  std::size_t window = 64;  // items finished or running ahead of the next one taken
  // Items a worker claims at once: more than one where an item is so small that
  // handing it over would cost as much as the work.
  std::size_t grain = 1;
  std::chrono::milliseconds tick{200};
};

// run_in_order with no thread but the calling one: work(i) and take(i, result)
// one after the other, stop() asked before each item, tick() after any item
// that ends a period of `options.tick`. What a build without threads runs.
template <class Result, class Work, class Take, class Tick, class Stop>
std::size_t run_in_order_on_caller(std::size_t count, const InOrderPoolOptions& options, Work&& work, Take&& take,
                                   Tick&& tick, Stop&& stop) {
  using Clock = std::chrono::steady_clock;
  auto last_tick = Clock::now();
  std::size_t taken = 0;
  while (taken < count && !stop()) {
    Result result = work(taken);
    take(taken, std::move(result));
    ++taken;
    if (Clock::now() - last_tick >= options.tick) {
      tick();
      last_tick = Clock::now();
    }
  }
  return taken;
}

// Runs work(i) for i = 0, 1, ... count - 1 on `options.jobs` threads and calls
// take(i, result) on the calling thread for each i in ascending order. tick() is
// called on the calling thread about every `options.tick`. Once stop() holds, no
// further item is started (stop() is asked from every thread, so it must be
// safe to call from any); the items already started (a worker's whole claim)
// are finished and taken. Returns the number of items taken: they are always
// the first ones.
template <class Result, class Work, class Take, class Tick, class Stop>
std::size_t run_in_order(std::size_t count, const InOrderPoolOptions& options, Work&& work, Take&& take, Tick&& tick,
                         Stop&& stop) {
#if !RAVELIN_THREADS
  return run_in_order_on_caller<Result>(count, options, std::forward<Work>(work), std::forward<Take>(take),
                                        std::forward<Tick>(tick), std::forward<Stop>(stop));
#else
  const std::size_t window = std::max<std::size_t>(1, options.window);
  const std::size_t grain = std::clamp<std::size_t>(options.grain, 1, window);
  std::vector<std::optional<Result>> ring(window);
  std::mutex mutex;
  std::condition_variable item_done;   // the writer waits on it
  std::condition_variable room_freed;  // workers wait on it
  std::size_t next = 0;                // first item not started
  std::size_t taken = 0;               // first item not taken
  std::size_t running = 0;             // claims being worked on
  std::size_t waiting_for_room = 0;    // workers waiting on room_freed
  bool stopped = false;

  auto worker = [&] {
    // Signals sent to the process (Ctrl-C) go to the calling thread, which
    // waits in short ticks and so sees them at once; a worker may be blocked
    // in a read for a long time.
    sigset_t blocked;
    sigfillset(&blocked);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    std::vector<Result> results;  // of the current claim, handed over together
    std::unique_lock lock(mutex);
    while (true) {
      ++waiting_for_room;
      room_freed.wait(lock, [&] { return stopped || next >= count || next < taken + window; });
      --waiting_for_room;
      if (stopped || next >= count || stop()) return;
      const std::size_t first = next;
      const std::size_t end = std::min({count, first + grain, taken + window});
      next = end;
      ++running;
      lock.unlock();
      results.clear();
      for (std::size_t i = first; i < end; ++i) results.push_back(work(i));
      lock.lock();
      for (std::size_t i = first; i < end; ++i) ring[i % window] = std::move(results[i - first]);
      --running;
      // The writer has taken everything before this claim only if it waits
      // for its first item: otherwise there is nothing to wake it for.
      if (taken == first || stopped || next >= count) item_done.notify_one();
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
    if (waiting_for_room != 0) room_freed.notify_all();
    lock.unlock();
    take(i, std::move(result));
    lock.lock();
  }
  stopped = true;
  room_freed.notify_all();
  lock.unlock();
  workers.clear();  // joins
  return taken;
#endif
}

}  // namespace ravelin::common
