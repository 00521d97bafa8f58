#include "ravelin/dat/huge_page_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace ravelin::dat {
namespace {

std::size_t round_up(std::size_t bytes) { return (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1); }

}  // namespace

void* map_huge_page_buffer(std::size_t bytes) {
  const std::size_t length = round_up(bytes);
  if (length < bytes) throw std::bad_alloc();
  // Map one huge page more than needed and cut the ends off, so the buffer
  // starts on a 2 MiB boundary: only aligned 2 MiB extents get huge pages.
  const std::size_t mapped = length + kHugePageSize;
  void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePageSize - 1) & ~std::uintptr_t{kHugePageSize - 1};
  if (aligned > start) ::munmap(raw, aligned - start);
  if (const std::uintptr_t end = start + mapped; end > aligned + length)
    ::munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  // Only advice: a kernel without huge pages leaves the buffer as it is.
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void unmap_huge_page_buffer(void* buffer, std::size_t bytes) noexcept { ::munmap(buffer, round_up(bytes)); }

}  // namespace ravelin::dat
