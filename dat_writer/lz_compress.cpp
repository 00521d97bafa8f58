#include "dat_writer/lz_compress.h"

#include <algorithm>

#include "dat_writer/byte_writer.h"

namespace ravelin::dat_writer {
namespace {

constexpr std::size_t kMinMatch = 3;  // a 2-byte match saves nothing
constexpr std::size_t kHashBits = 14;
constexpr std::size_t kMaxChain = 32;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::uint32_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Appends tokens under flag bytes, patching each flag byte once its group is known.
class TokenSink {
 public:
  explicit TokenSink(std::vector<std::uint8_t>& out) : out_(out) {}
  void literal(std::uint8_t byte) {
    open_group();
    out_.push_back(byte);
    ++used_;
  }
  void reference(std::size_t distance, std::size_t length) {
    open_group();
    out_[flag_at_] |= static_cast<std::uint8_t>(0x80u >> used_);
    out_.push_back(static_cast<std::uint8_t>(distance & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(((distance >> 8) << 4) | (length - 2)));
    ++used_;
  }

 private:
  void open_group() {
    if (used_ < 8) return;
    flag_at_ = out_.size();
    out_.push_back(0);
    used_ = 0;
  }
  std::vector<std::uint8_t>& out_;
  std::size_t flag_at_ = 0;
  unsigned used_ = 8;
};

}  // namespace

std::vector<std::uint8_t> lz_compress(std::span<const std::uint8_t> input) {
  ByteWriter header;
  header.u32(static_cast<std::uint32_t>(input.size()));
  std::vector<std::uint8_t> out = header.take();
  out.reserve(4 + input.size() + input.size() / 8 + 1);
  TokenSink sink(out);

  std::vector<std::uint32_t> head(std::size_t{1} << kHashBits, kNone);
  std::vector<std::uint32_t> prev(input.size(), kNone);
  const std::uint8_t* data = input.data();
  const std::size_t size = input.size();
  auto remember = [&](std::size_t pos) {
    if (pos + kMinMatch > size) return;
    const std::uint32_t h = hash3(data + pos);
    prev[pos] = head[h];
    head[h] = static_cast<std::uint32_t>(pos);
  };

  std::size_t pos = 0;
  while (pos < size) {
    std::size_t best_length = 0;
    std::size_t best_distance = 0;
    if (pos + kMinMatch <= size) {
      const std::size_t longest = std::min(kLzMaxMatch, size - pos);
      std::uint32_t candidate = head[hash3(data + pos)];
      for (std::size_t chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
        const std::size_t distance = pos - candidate;
        if (distance > kLzMaxDistance) break;
        std::size_t length = 0;
        // Matches may run into the bytes being produced (distance < length).
        while (length < longest && data[candidate + length] == data[pos + length]) ++length;
        if (length > best_length) {
          best_length = length;
          best_distance = distance;
          if (length == longest) break;
        }
        candidate = prev[candidate];
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
  return out;
}

}  // namespace ravelin::dat_writer
