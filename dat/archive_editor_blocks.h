// The block grid of an archive as the editor sees it, and the walks over it:
// one item's chain, and every chain, node and free block at once to find the
// blocks nothing uses (leaked by a crash or by a commit beside readers).
//
// Blocks sit on a grid: multiples of block_size, from the first multiple past
// the header up to the file's real end (the larger of the header's file_size
// and the file's length, rounded up). A block off that grid is never freed or
// reused.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

class DirectoryTree;

struct BlockGrid {
  std::uint32_t block_size = 0;
  std::uint64_t first = 0;  // first grid block
  std::uint64_t end = 0;    // the real end, on the grid

  BlockGrid() = default;
  BlockGrid(std::uint32_t block_size, std::uint64_t real_end);
  std::uint32_t payload() const { return block_size - 4; }
  std::uint64_t block_count() const { return end > first ? (end - first) / block_size : 0; }
  bool on_grid(std::uint64_t offset) const {
    return offset >= first && offset < end && (offset - first) % block_size == 0;
  }
  std::uint64_t index(std::uint64_t offset) const { return (offset - first) / block_size; }
  // Blocks a chain of `size` bytes takes when every block but the last is full.
  std::uint64_t blocks_for(std::uint32_t size) const {
    // Most bodies fit one block; spare them the division.
    if (size <= payload()) return size == 0 ? 0 : 1;
    return (std::uint64_t{size} + payload() - 1) / payload();
  }
  std::uint64_t blocks_per_node() const { return blocks_for(kNodeSize); }
};

// Positioned reads through a cached window, so walking a chain of neighbouring
// blocks costs one system read rather than one per block.
class FileWindow {
 public:
  FileWindow(const common::OpenFile& file, std::uint64_t length, std::size_t window)
      : file_(file), length_(length), window_(window) {}
  // Fails with "failed to fill whole buffer" past the file's end.
  common::IoResult<void> read(std::uint64_t offset, std::span<std::uint8_t> out);
  common::IoResult<std::uint32_t> read_u32(std::uint64_t offset);
  std::uint64_t length() const { return length_; }

 private:
  const common::OpenFile& file_;
  std::uint64_t length_;
  std::size_t window_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t start_ = 0;
  std::uint64_t filled_ = 0;
};

// An item's chain: the grid blocks it covers in chain order (an oversized last
// block covers the grid blocks its bytes reach), or what is wrong with it.
struct ChainWalk {
  std::vector<std::uint32_t> blocks;
  std::string fault;  // empty when the chain is whole
};

// Walks the chain of an item of `size` bytes at `offset` into `walk` (its
// storage reused from one call to the next); with `out`, also reads the bytes
// (out.size() == size).
common::IoResult<void> walk_chain(FileWindow& window, const BlockGrid& grid, std::uint32_t offset, std::uint32_t size,
                                  ChainWalk& walk, std::span<std::uint8_t> out = {});

// Every grid block mapped to what uses it: the blocks nothing uses, and the
// faults met (a block in two items, a chain off the grid). Leaked blocks are
// only trusted when there is no fault.
struct BlockUse {
  std::vector<std::uint32_t> leaked;
  std::vector<std::string> faults;
};

common::IoResult<BlockUse> map_block_use(const common::OpenFile& file, std::uint64_t length, const BlockGrid& grid,
                                         const DirectoryTree& tree, std::span<const std::uint32_t> free_blocks);

}  // namespace ravelin::dat
