#include "ravelin/dat/compress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace ravelin::dat {
namespace {

// A 2-byte reference saves nothing over two literals.
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kHashBits = 14;
// Candidates tried per position: bounds the work on long runs, where every
// position hashes alike.
constexpr std::size_t kMaxChain = 32;
// The chain links of the last 4096 positions: a match is never farther than
// kLrsMaxDistance, so a link older than that is never followed (the distance
// test ends the walk first) and its slot may be reused.
constexpr std::size_t kWindow = 4096;
static_assert(kWindow > kLrsMaxDistance && (kWindow & (kWindow - 1)) == 0);
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// The latest position of each hash, kept per thread from call to call so
// that a small body does not pay for clearing 16384 slots: a slot holds
// `base + position`, and each call starts its base past every value an
// earlier call stored, so older values read as empty.
struct HashHeads {
  std::array<std::uint64_t, std::size_t{1} << kHashBits> slots{};
  std::uint64_t base = 1;
};

HashHeads& hash_heads() {
  thread_local std::unique_ptr<HashHeads> heads;
  if (!heads) heads = std::make_unique<HashHeads>();
  return *heads;
}

std::uint32_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Appends tokens under flag bytes, setting each flag bit as its token goes in.
class TokenSink {
 public:
  explicit TokenSink(std::uint8_t* out) : out_(out) {}
  void literal(std::uint8_t byte) {
    open_group();
    out_[size_++] = byte;
    ++used_;
  }
  void reference(std::size_t distance, std::size_t length) {
    open_group();
    out_[flag_at_] |= static_cast<std::uint8_t>(0x80u >> used_);
    out_[size_++] = static_cast<std::uint8_t>(distance & 0xFF);
    out_[size_++] = static_cast<std::uint8_t>(((distance >> 8) << 4) | (length - 2));
    ++used_;
  }
  std::size_t size() const { return size_; }

 private:
  void open_group() {
    if (used_ < 8) return;
    flag_at_ = size_;
    out_[size_++] = 0;
    used_ = 0;
  }
  std::uint8_t* out_;
  std::size_t size_ = 0;
  std::size_t flag_at_ = 0;
  unsigned used_ = 8;
};

}  // namespace

DatResult<std::vector<std::uint8_t>> compress_lrs(std::span<const std::uint8_t> input) {
  const std::size_t size = input.size();
  if (size > std::numeric_limits<std::uint32_t>::max())
    return std::unexpected(DatError::other("a body of " + std::to_string(size) +
                                           " bytes is too large to compress: its length must fit 32 bits"));
  // Worst case, all literals: one flag byte per eight of them. Written through
  // a raw pointer into a buffer of that size, trimmed at the end.
  std::vector<std::uint8_t> out(4 + size + (size + 7) / 8);
  const auto declared = static_cast<std::uint32_t>(size);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(declared >> (8 * i));
  TokenSink sink(out.data() + 4);

  HashHeads& heads = hash_heads();
  const std::uint64_t base = heads.base;
  heads.base += size + 1;
  auto head = [&](std::uint32_t h) -> std::uint32_t {
    const std::uint64_t v = heads.slots[h];
    return v >= base ? static_cast<std::uint32_t>(v - base) : kNone;
  };
  // prev[p % kWindow]: the position before p in p's chain, written before it
  // is ever read.
  std::array<std::uint32_t, kWindow> prev;
  const std::uint8_t* data = input.data();
  auto remember = [&](std::size_t p) {
    if (p + kMinMatch > size) return;
    const std::uint32_t h = hash3(data + p);
    prev[p & (kWindow - 1)] = head(h);
    heads.slots[h] = base + p;
  };

  std::size_t pos = 0;
  while (pos < size) {
    std::size_t best_length = 0;
    std::size_t best_distance = 0;
    if (pos + kMinMatch <= size) {
      const std::size_t longest = std::min(kLrsMaxMatch, size - pos);
      const std::uint8_t* here = data + pos;
      std::uint32_t candidate = head(hash3(here));
      for (std::size_t chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
        const std::size_t distance = pos - candidate;
        if (distance > kLrsMaxDistance) break;
        const std::uint8_t* there = data + candidate;
        // Only a longer match replaces the best, and a longer one agrees at
        // index best_length: test that byte first (most candidates fail it).
        if (there[best_length] == here[best_length]) {
          // Matches may run into the bytes being produced (distance < length).
          std::size_t length = 0;
          while (length < longest && there[length] == here[length]) ++length;
          if (length > best_length) {
            best_length = length;
            best_distance = distance;
            if (length == longest) break;
          }
        }
        candidate = prev[candidate & (kWindow - 1)];
      }
    }
    if (best_length >= kMinMatch) {
      sink.reference(best_distance, best_length);
      for (std::size_t k = 0; k < best_length; ++k) remember(pos + k);
      pos += best_length;
    } else {
      sink.literal(data[pos]);
      remember(pos);
      ++pos;
    }
  }
  out.resize(4 + sink.size());
  return out;
}

}  // namespace ravelin::dat
