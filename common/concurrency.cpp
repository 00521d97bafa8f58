#include "ravelin/common/concurrency.h"

#if RAVELIN_THREADS
#include <algorithm>
#include <thread>
#endif

namespace ravelin::common {

unsigned hardware_threads() noexcept {
#if RAVELIN_THREADS
  return std::max(1u, std::thread::hardware_concurrency());
#else
  return 1;
#endif
}

}  // namespace ravelin::common
