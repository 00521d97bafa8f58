// The one place the libraries take their locks and threads from.
//
// The native build has threads: Mutex is std::mutex, and run_in_order
// (in_order_pool.h) runs its work on a pool. Some C++ libraries are built
// without threads (the WebAssembly one): there is only ever one thread, so
// Mutex is a lock nobody can contend and run_in_order does its work on the
// calling thread, with the same order, ticks and stop. Parallel work there is
// several module instances, each on its own worker.
#pragma once

#include <version>

#if defined(_LIBCPP_HAS_NO_THREADS) || (defined(_LIBCPP_HAS_THREADS) && !_LIBCPP_HAS_THREADS)
#define RAVELIN_THREADS 0
#else
#define RAVELIN_THREADS 1
#endif

// std::lock_guard is there with or without threads.
#include <mutex>

namespace ravelin::common {

inline constexpr bool kThreads = RAVELIN_THREADS != 0;

#if RAVELIN_THREADS
using Mutex = std::mutex;
#else
// With one thread a lock is always free: taking it does nothing.
class Mutex {
 public:
  void lock() noexcept {}
  bool try_lock() noexcept { return true; }
  void unlock() noexcept {}
};
#endif

using LockGuard = std::lock_guard<Mutex>;

// How many threads run at once on this machine: at least 1, and 1 without threads.
unsigned hardware_threads() noexcept;

}  // namespace ravelin::common
