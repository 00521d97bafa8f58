// Growable array of plain records for the directory's large tables (a million
// entries is 24 MB). The buffer comes from the ordinary heap, so a process
// that opens archives again and again reuses pages already faulted in; the
// 2 MiB-aligned part of a large buffer is marked for transparent huge pages, so
// a fresh buffer costs a dozen page faults instead of thousands where the
// kernel offers them. Records are copied in as bytes, never constructed one by
// one, so appending a node's entries is one memcpy.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

namespace ravelin::dat {

// Size of a transparent huge page; smaller buffers are left alone.
inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

// Marks the whole 2 MiB pages inside [buffer, buffer + bytes) for transparent
// huge pages. Only advice: without them (a kernel that offers none, a platform
// without such pages, as WebAssembly's linear memory) the buffer keeps
// ordinary pages.
void advise_huge_pages(void* buffer, std::size_t bytes) noexcept;

template <class T>
  requires std::is_trivially_copyable_v<T>
class HugePageArray {
 public:
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  HugePageArray() = default;
  HugePageArray(HugePageArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  HugePageArray& operator=(HugePageArray&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  ~HugePageArray() { release(); }

  // Room for `capacity` records in all, contents kept.
  void reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    T* bigger = allocate(capacity);
    if (size_ > 0) std::memcpy(bigger, data_, size_ * sizeof(T));
    deallocate(data_, capacity_);
    data_ = bigger;
    capacity_ = capacity;
  }
  // Appends `count` records stored as raw bytes at `bytes`.
  void append_bytes(const void* bytes, std::size_t count) {
    if (count == 0) return;
    if (size_ + count > capacity_) reserve(std::max(size_ + count, capacity_ * 2));
    std::memcpy(data_ + size_, bytes, count * sizeof(T));
    size_ += count;
  }
  void push_back(const T& value) { append_bytes(&value, 1); }
  // `count` records of zero bytes replace the contents.
  void assign_zeroed(std::size_t count) {
    size_ = 0;
    reserve(count);
    if (count > 0) std::memset(static_cast<void*>(data_), 0, count * sizeof(T));
    size_ = count;
  }
  // Keeps the first `count` records.
  void truncate(std::size_t count) { size_ = std::min(size_, count); }
  void clear() { size_ = 0; }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  std::span<const T> span() const { return {data_, size_}; }

 private:
  // The standard allocator fails a count whose bytes overflow as it fails any
  // request too large; records are copied in, never constructed.
  static T* allocate(std::size_t count) {
    T* buffer = std::allocator<T>().allocate(count);
    if (count * sizeof(T) >= 2 * kHugePageSize) advise_huge_pages(buffer, count * sizeof(T));
    return buffer;
  }
  static void deallocate(T* buffer, std::size_t count) noexcept {
    if (buffer != nullptr) std::allocator<T>().deallocate(buffer, count);
  }
  void release() noexcept {
    deallocate(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace ravelin::dat
