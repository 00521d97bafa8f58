#include "dat/archive_editor_compress.h"

#include <limits>

namespace ravelin::dat {

// Stand-in until the library's own compressor (compress_lrs) joins this
// branch: every byte a literal, eight to a flag byte of 0. Exact, if not
// small; put() calls nothing else, so swapping it in is this one function.
DatResult<std::vector<std::uint8_t>> compress_body(std::span<const std::uint8_t> input) {
  if (input.size() > std::numeric_limits<std::uint32_t>::max())
    return std::unexpected(DatError::other("a body longer than 4 GiB cannot be compressed"));
  std::vector<std::uint8_t> out;
  out.reserve(4 + input.size() + (input.size() + 7) / 8);
  const auto n = static_cast<std::uint32_t>(input.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  for (std::size_t at = 0; at < input.size(); ++at) {
    if (at % 8 == 0) out.push_back(0);
    out.push_back(input[at]);
  }
  return out;
}

}  // namespace ravelin::dat
