// The archive's LZ scheme: a u32 declared length, then tokens in groups of eight
// under a flag byte (most significant bit first). A clear bit is one literal byte;
// a set bit is a 2-byte back-reference: distance = lo | (hi >> 4) << 8 (0 ends the
// stream), count = (hi & 0x0F) + 2. Bytes are copied one at a time in the format's
// definition, so a copy may overlap what it produces, and a distance beyond the
// output so far reads from position 0 until the output catches up.
//
// Two points the format leaves open stop quietly here and return the output so
// far: a back-reference while the output is still empty, and a literal announced
// by a flag byte that is the last byte of the stream.
#include <algorithm>
#include <cstring>

#include "ravelin/dat/utils.h"

namespace ravelin::dat::utils {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> body) {
  if (body.size() < 4) return std::vector<std::uint8_t>(body.begin(), body.end());
  std::uint32_t declared;
  std::memcpy(&declared, body.data(), 4);
  const std::uint8_t* stream = body.data() + 4;
  const std::size_t length = body.size() - 4;
  if (declared == 0 || length == 0) return {};

  // The stream can produce at most 17 bytes per 2-byte back-reference, so a huge
  // declared length over a short stream reserves only what could be filled.
  // Reaching this bound means the stream has nothing more to give, so stopping
  // there is the same as stopping at the declared length.
  const std::uint64_t producible = (std::uint64_t{length} / 2 + 1) * 17;
  const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(declared, producible));
  std::vector<std::uint8_t> out(limit);
  std::uint8_t* const o = out.data();
  std::size_t n = 0;
  std::size_t i = 0;

  while (i < length) {
    const unsigned flags = stream[i++];
    // Eight literals with room to spare in both buffers: one copy.
    if (flags == 0 && length - i >= 8 && limit - n >= 8) {
      std::memcpy(o + n, stream + i, 8);
      n += 8;
      i += 8;
      if (n == limit) break;
      continue;
    }
    bool stop = false;
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
      if ((flags & mask) != 0) {
        if (i + 1 >= length) { stop = true; break; }
        const std::size_t lo = stream[i];
        const std::size_t hi = stream[i + 1];
        const std::size_t distance = lo | ((hi >> 4) << 8);
        std::size_t count = (hi & 0x0F) + 2;
        if (distance == 0 || n == 0) { stop = true; break; }
        i += 2;
        count = std::min(count, limit - n);
        if (distance > n) {
          // Source clamps to 0 while the output is shorter than the distance.
          for (std::size_t k = 0; k < count; ++k, ++n) o[n] = o[n - std::min(n, distance)];
        } else if (distance >= count) {
          std::memcpy(o + n, o + n - distance, count);
          n += count;
        } else {
          for (std::size_t k = 0; k < count; ++k, ++n) o[n] = o[n - distance];
        }
      } else {
        if (i >= length) { stop = true; break; }
        o[n++] = stream[i++];
      }
      if (n == limit || i >= length) { stop = true; break; }
    }
    if (stop) break;
  }
  out.resize(n);
  return out;
}

}  // namespace ravelin::dat::utils
