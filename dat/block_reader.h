// Positioned reads of an archive through a window of its bytes, so that a walk
// over neighbouring blocks costs one system read per window instead of one or
// two per block; and the walk of one block chain as the reader does it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/dat/error.h"

namespace ravelin::dat {

class BlockReader {
 public:
  // `file_length` bounds every read; `window` is the most read ahead at once.
  BlockReader(const common::File& file, std::uint64_t file_length, std::size_t window);

  std::uint64_t file_length() const { return file_length_; }

  // Fills `out` with the bytes at `offset`. Bytes past the end of the file fail
  // with "failed to fill whole buffer", as an exact read would.
  common::IoResult<void> read(std::uint64_t offset, std::span<std::uint8_t> out);
  // The little-endian u32 at `offset` (a block's link).
  common::IoResult<std::uint32_t> read_u32(std::uint64_t offset);

 private:
  const common::File& file_;
  std::uint64_t file_length_;
  std::size_t window_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t start_ = 0;
  std::uint64_t length_ = 0;
};

// Fills all of `out` from the block chain at `offset`, exactly as the reader's
// read_file_data does: a block with a non-zero link gives at most one payload,
// the block with link 0 gives everything still missing. Corruption for a block
// size below 5 or a chain that visits more blocks than the file has room for;
// Io "failed to fill whole buffer" for a chain that leaves the file.
DatResult<void> read_block_chain(BlockReader& reader, std::uint32_t block_size, std::uint32_t offset,
                                 std::span<std::uint8_t> out);

}  // namespace ravelin::dat
