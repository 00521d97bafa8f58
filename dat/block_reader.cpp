#include "dat/block_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ravelin/common/id_text.h"

namespace ravelin::dat {

BlockReader::BlockReader(const common::File& file, std::uint64_t file_length, std::size_t window)
    : file_(file), file_length_(file_length), window_(std::max<std::size_t>(window, 64)) {}

common::IoResult<void> BlockReader::read(std::uint64_t offset, std::span<std::uint8_t> out) {
  const std::uint64_t n = out.size();
  if (n == 0) return {};
  if (offset >= file_length_ || file_length_ - offset < n)
    return std::unexpected(common::IoError::failed_to_fill_whole_buffer());
  if (offset >= start_ && offset - start_ < length_ && n <= length_ - (offset - start_)) {
    std::memcpy(out.data(), buffer_.data() + (offset - start_), n);
    return {};
  }
  // A piece as large as the window gains nothing from it: read it straight.
  if (n >= window_) return file_.read_exact_at(offset, out);
  const std::uint64_t length = std::min<std::uint64_t>(window_, file_length_ - offset);
  buffer_.resize(window_);
  // Invalidate first: a failed refill must not leave stale bytes addressable.
  length_ = 0;
  if (auto r = file_.read_exact_at(offset, std::span(buffer_.data(), length)); !r) return r;
  start_ = offset;
  length_ = length;
  std::memcpy(out.data(), buffer_.data(), n);
  return {};
}

common::IoResult<std::uint32_t> BlockReader::read_u32(std::uint64_t offset) {
  std::uint8_t bytes[4];
  if (auto r = read(offset, bytes); !r) return std::unexpected(std::move(r).error());
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

DatResult<void> read_block_chain(BlockReader& reader, std::uint32_t block_size, std::uint32_t offset,
                                 std::span<std::uint8_t> out) {
  if (out.empty()) return {};
  auto at = [offset] { return "0x" + common::hex8(offset); };
  if (block_size < 5)
    return std::unexpected(DatError::corruption("block size " + std::to_string(block_size) +
                                                " cannot hold the block chain at offset " + at()));
  const std::uint32_t payload = block_size - 4;
  const std::uint64_t max_blocks = reader.file_length() / block_size + 1;
  std::size_t position = 0;
  std::uint32_t current = offset;
  for (std::uint64_t blocks = 1;; ++blocks) {
    if (blocks > max_blocks)
      return std::unexpected(
          DatError::corruption("block chain at offset " + at() + " visits more blocks than the archive holds"));
    auto link = reader.read_u32(current);
    if (!link) return std::unexpected(DatError::io(link.error()));
    // 32-bit offsets: current + 4 wraps as the format's own arithmetic does.
    const std::uint32_t data_at = current + 4;
    const std::size_t remaining = out.size() - position;
    const std::size_t chunk = *link == 0 ? remaining : std::min<std::size_t>(remaining, payload);
    if (auto r = reader.read(data_at, out.subspan(position, chunk)); !r) return std::unexpected(DatError::io(r.error()));
    position += chunk;
    if (position == out.size()) return {};
    current = *link;
  }
}

}  // namespace ravelin::dat
