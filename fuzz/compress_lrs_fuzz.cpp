// The body compressor: whatever the input, its output stays within the bound
// of one flag byte per eight literals and decompresses to exactly the input.
#include <algorithm>
#include <vector>

#include "ravelin/dat/compress.h"
#include "ravelin/dat/utils.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(compress_lrs) {
  const std::span<const std::uint8_t> input(data, size);
  auto body = ravelin::dat::compress_lrs(input);
  RAVELIN_FUZZ_CHECK("compress_lrs", body.has_value());
  RAVELIN_FUZZ_CHECK("compress_lrs", body->size() <= 4 + size + (size + 7) / 8);
  const std::vector<std::uint8_t> back = ravelin::dat::utils::decompress_lrs(*body);
  RAVELIN_FUZZ_CHECK("compress_lrs", back.size() == size);
  RAVELIN_FUZZ_CHECK("compress_lrs", std::equal(back.begin(), back.end(), input.begin()));
  return 0;
}
