#include "ravelin/dat/huge_page_array.h"

#include <cstdint>

// Transparent huge pages are Linux's; elsewhere (WebAssembly's linear memory
// has no pages to choose) a buffer is plain heap memory and there is nothing
// to advise.
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ravelin::dat {

void advise_huge_pages(void* buffer, std::size_t bytes) noexcept {
#if defined(MADV_HUGEPAGE)
  const auto start = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uintptr_t mask = kHugePageSize - 1;
  const std::uintptr_t first = (start + mask) & ~mask;
  const std::uintptr_t end = (start + bytes) & ~mask;
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)bytes;
#endif
}

}  // namespace ravelin::dat
