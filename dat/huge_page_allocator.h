// Allocator for the directory's large tables (a million entries is 24 MB).
// Buffers of 2 MiB and more are mapped on their own, 2 MiB aligned, and marked
// for transparent huge pages, so filling one costs a dozen page faults instead
// of thousands; where the kernel does not offer huge pages they are ordinary
// zero pages. Smaller buffers come from the ordinary heap.
#pragma once

#include <cstddef>
#include <new>

namespace ravelin::dat {

// Size from which a buffer gets its own huge-page-backed mapping.
inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

// `bytes` (at least kHugePageSize) of zeroed, 2 MiB aligned memory; throws
// std::bad_alloc when the mapping fails, as operator new would.
void* map_huge_page_buffer(std::size_t bytes);
// Releases a buffer from map_huge_page_buffer with the same `bytes`.
void unmap_huge_page_buffer(void* buffer, std::size_t bytes) noexcept;

template <class T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kHugePageSize) return static_cast<T*>(map_huge_page_buffer(bytes));
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kHugePageSize) return unmap_huge_page_buffer(p, bytes);
    ::operator delete(p, bytes);
  }

  template <class U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace ravelin::dat
