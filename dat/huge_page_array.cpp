#include "ravelin/dat/huge_page_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace ravelin::dat {

void advise_huge_pages(void* buffer, std::size_t bytes) noexcept {
  const auto start = reinterpret_cast<std::uintptr_t>(buffer);
  const std::uintptr_t mask = kHugePageSize - 1;
  const std::uintptr_t first = (start + mask) & ~mask;
  const std::uintptr_t end = (start + bytes) & ~mask;
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace ravelin::dat
