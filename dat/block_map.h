// The block map of an archive: every directory node, every entry's chain and
// the free list walked, and each block of the grid marked with what uses it.
// The check reports its findings; the editor takes the blocks nothing uses
// (leaked by a crash or by a commit beside readers) back into the free list.
//
// The grid: blocks of block_size bytes from first_grid_offset() (the first
// multiple of block_size at or past the header's end) up to the end of the
// file, the last one possibly cut short by it. An item whose blocks start
// elsewhere is mapped by the bytes it covers and makes the map off-grid, and
// an off-grid map is never reclaimed from.
//
// Never crashes, hangs or allocates beyond a bound on a damaged archive: each
// step of a walk claims a block nothing claimed before or stops that walk,
// and the map is one u32 per grid block.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/dat/error.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

// End of the header: no block may reach into [kHeaderOffset, kHeaderEnd).
inline constexpr std::uint64_t kHeaderEnd = kHeaderOffset + kHeaderSize;
// Entries a node other than the root holds at least in a B-tree of minimum
// degree 31 (and 61 at most).
inline constexpr std::uint32_t kMinEntriesPerNode = 30;

// Offset of the first grid block for `block_size` (at least 1).
std::uint64_t first_grid_offset(std::uint32_t block_size);

// What a finding is about; its code text is stable (finding_code_text).
enum class MapFinding : std::uint8_t {
  // Faults: a read or an edit would go wrong.
  BlockSize,              // block-size: below 5, no room for a link and a payload
  OffsetOutsideFile,      // offset-outside-file
  Cycle,                  // cycle: a node reached twice, a chain or the free list into itself
  BlockInTwoChains,       // block-in-two-chains
  ChainShorterThanEntry,  // chain-shorter-than-entry: the last block's bytes run past the file
  EntryCount,             // entry-count: a node claims more than 61 entries
  NotASearchTree,         // not-a-search-tree
  FreeListCount,          // free-list-count
  FreeListTail,           // free-list-tail
  BlockInHeader,          // block-overlaps-header
  WalkLimit,              // walk-limit: more blocks off the grid than the file can hold
  // Notes: other writers leave these; reads and edits go right.
  OffGrid,                 // off-grid
  UnderFullNode,           // under-full-node
  LeavesAtDifferentDepths, // leaves-at-different-depths
  OversizedLastBlock,      // oversized-last-block
  LeakedBlocks,            // leaked-blocks (reclaimable)
  BytesPastFileSize,       // bytes-past-file-size
  FileSizePastEnd,         // file-size-past-end
};

std::string_view finding_code_text(MapFinding code);
bool is_fault(MapFinding code);

struct BlockFinding {
  MapFinding code;
  std::string message;
  bool operator==(const BlockFinding&) const = default;
};

enum class BlockUse : std::uint8_t { Unused, Node, Body, Free };

// The directory as walked.
struct TreeShape {
  std::uint64_t nodes = 0;
  std::uint64_t entries = 0;    // entries in the nodes read
  std::uint32_t depth = 0;      // levels of the deepest node; 0 for an empty directory
  std::uint32_t min_leaf_depth = 0;
  std::uint64_t under_full_nodes = 0;  // non-root nodes under 30 entries, and an empty root
};

class BlockMap {
 public:
  std::uint32_t block_size() const { return block_size_; }
  std::uint64_t first_block() const { return first_block_; }
  std::uint64_t block_count() const { return owners_.size(); }
  std::uint64_t block_offset(std::uint64_t index) const { return first_block_ + index * block_size_; }
  BlockUse use(std::uint64_t index) const;
  // The file id of a body's block, the offset of a node's; 0 otherwise.
  std::uint32_t owner(std::uint64_t index) const;

  // Offsets of the grid blocks nothing uses, ascending (blocks covered by an
  // off-grid item count as used).
  std::vector<std::uint32_t> leaked() const;
  std::uint64_t leaked_count() const { return leaked_count_; }
  // Bytes of the file in leaked blocks (the last block may be cut short).
  std::uint64_t leaked_bytes() const { return leaked_bytes_; }
  // Blocks of the free list walked from free_head.
  std::uint64_t free_blocks() const { return free_blocks_; }
  bool off_grid() const { return off_grid_; }
  bool has_faults() const;
  const std::vector<BlockFinding>& findings() const { return findings_; }
  const TreeShape& tree() const { return tree_; }

 private:
  friend class BlockMapper;
  struct Item {
    BlockUse use;
    std::uint32_t id;  // file id or node offset
  };

  std::uint32_t block_size_ = 0;
  std::uint64_t first_block_ = 0;
  // Per grid block: 0 unused, kFreeOwner, or an index into items_ plus one.
  std::vector<std::uint32_t> owners_;
  std::vector<Item> items_;
  std::vector<bool> off_grid_touched_;  // grid blocks an off-grid item covers (empty when none)
  std::vector<BlockFinding> findings_;
  TreeShape tree_;
  std::uint64_t leaked_count_ = 0;
  std::uint64_t leaked_bytes_ = 0;
  std::uint64_t free_blocks_ = 0;
  bool off_grid_ = false;
};

// Walks the archive open as `file`, `file_length` bytes long, whose header is
// `header`. Damage is a finding; only a failing read of bytes inside the file
// is an error (Io).
DatResult<BlockMap> map_blocks(const common::File& file, const DatHeader& header, std::uint64_t file_length);

}  // namespace ravelin::dat
