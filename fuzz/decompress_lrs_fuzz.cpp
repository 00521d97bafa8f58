// LZ decompression. With the first byte even the rest is a stored body, which
// must never decode to more than its declared length; with it odd the rest is
// plain data that must survive a round trip through the compressor.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ravelin/dat/utils.h"
#include "fuzz/fuzz_entry.h"
#include "ravelin/dat/compress.h"

RAVELIN_FUZZ_ENTRY(decompress_lrs) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    const std::vector<std::uint8_t> out = ravelin::dat::utils::decompress_lrs(rest);
    if (rest.size() >= 4) {
      std::uint32_t declared = 0;
      std::memcpy(&declared, rest.data(), 4);  // little-endian host
      RAVELIN_FUZZ_CHECK("decompress_lrs", out.size() <= declared);
    } else {
      RAVELIN_FUZZ_CHECK("decompress_lrs", out.size() == rest.size());
    }
    return 0;
  }
  const std::vector<std::uint8_t> body = ravelin::dat::compress_lrs(rest).value();
  const std::vector<std::uint8_t> back = ravelin::dat::utils::decompress_lrs(body);
  RAVELIN_FUZZ_CHECK("decompress_lrs", back.size() == rest.size());
  RAVELIN_FUZZ_CHECK("decompress_lrs", std::equal(back.begin(), back.end(), rest.begin()));
  return 0;
}
