#include "dat/block_map.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <utility>

#include "dat/block_reader.h"
#include "ravelin/common/id_text.h"

namespace ravelin::dat {
namespace {

constexpr std::uint32_t kFreeOwner = 0xFFFFFFFFu;
// Messages kept per finding code; the rest are counted in one last line.
constexpr std::size_t kMessagesPerCode = 16;
constexpr std::size_t kCodeCount = static_cast<std::size_t>(MapFinding::FileSizePastEnd) + 1;
// Offsets are 32-bit: nothing past 4 GiB is reachable, so the grid stops there.
constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 32;
constexpr std::size_t kWindow = 1 << 18;

std::string hex(std::uint64_t value) { return "0x" + common::hex8(static_cast<std::uint32_t>(value)); }

std::uint32_t u32_at(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

std::uint64_t first_grid_offset(std::uint32_t block_size) {
  const std::uint64_t b = std::max<std::uint32_t>(block_size, 1);
  return (kHeaderEnd + b - 1) / b * b;
}

std::string_view finding_code_text(MapFinding code) {
  switch (code) {
    case MapFinding::BlockSize: return "block-size";
    case MapFinding::OffsetOutsideFile: return "offset-outside-file";
    case MapFinding::Cycle: return "cycle";
    case MapFinding::BlockInTwoChains: return "block-in-two-chains";
    case MapFinding::ChainShorterThanEntry: return "chain-shorter-than-entry";
    case MapFinding::EntryCount: return "entry-count";
    case MapFinding::NotASearchTree: return "not-a-search-tree";
    case MapFinding::FreeListCount: return "free-list-count";
    case MapFinding::FreeListTail: return "free-list-tail";
    case MapFinding::BlockInHeader: return "block-overlaps-header";
    case MapFinding::WalkLimit: return "walk-limit";
    case MapFinding::OffGrid: return "off-grid";
    case MapFinding::UnderFullNode: return "under-full-node";
    case MapFinding::LeavesAtDifferentDepths: return "leaves-at-different-depths";
    case MapFinding::OversizedLastBlock: return "oversized-last-block";
    case MapFinding::LeakedBlocks: return "leaked-blocks";
    case MapFinding::BytesPastFileSize: return "bytes-past-file-size";
    case MapFinding::FileSizePastEnd: return "file-size-past-end";
  }
  return "unknown";
}

bool is_fault(MapFinding code) { return code < MapFinding::OffGrid; }

BlockUse BlockMap::use(std::uint64_t index) const {
  const std::uint32_t o = owners_[index];
  if (o == 0) return BlockUse::Unused;
  if (o == kFreeOwner) return BlockUse::Free;
  return items_[o - 1].use;
}

std::uint32_t BlockMap::owner(std::uint64_t index) const {
  const std::uint32_t o = owners_[index];
  return o == 0 || o == kFreeOwner ? 0 : items_[o - 1].id;
}

std::vector<std::uint32_t> BlockMap::leaked() const {
  std::vector<std::uint32_t> out;
  out.reserve(leaked_count_);
  for (std::uint64_t k = 0; k < owners_.size(); ++k)
    if (owners_[k] == 0 && (off_grid_touched_.empty() || !off_grid_touched_[k]))
      out.push_back(static_cast<std::uint32_t>(block_offset(k)));
  return out;
}

bool BlockMap::has_faults() const {
  return std::any_of(findings_.begin(), findings_.end(), [](const BlockFinding& f) { return is_fault(f.code); });
}

// The walk that fills a BlockMap: the directory first (nodes claim their
// blocks), then every entry's chain in offset order, then the free list.
class BlockMapper {
 public:
  BlockMapper(const common::File& file, const DatHeader& header, std::uint64_t file_length)
      : header_(header),
        length_(file_length),
        limit_(std::min(file_length, kOffsetLimit)),
        reader_(file, file_length, kWindow) {
    map_.block_size_ = header.block_size;
    map_.first_block_ = first_grid_offset(header.block_size);
  }

  DatResult<BlockMap> run() {
    const std::uint32_t bs = header_.block_size;
    if (bs < 5) {
      add(MapFinding::BlockSize, "block size " + std::to_string(bs) + " leaves no room for a link and a payload");
    } else {
      const std::uint64_t grid_end = limit_;
      if (grid_end > map_.first_block_) map_.owners_.assign((grid_end - map_.first_block_ + bs - 1) / bs, 0);
      // Every step of an off-grid walk covers block_size bytes of the file:
      // more steps than that, plus slack for cut-short ends, means overlap.
      off_grid_budget_ = length_ / bs + 64;
      walk_directory();
      walk_entries();
      walk_free_list();
      if (map_.off_grid_) sweep_off_grid();
    }
    if (io_error_) return std::unexpected(DatError::io(*io_error_));
    count_leaked();
    add_notes();
    finish_findings();
    return std::move(map_);
  }

 private:
  struct EntryRef {
    std::uint32_t id;
    std::uint32_t offset;
    std::uint32_t size;
  };
  struct Interval {
    std::uint64_t start;
    std::uint64_t end;
    std::uint32_t owner;
  };

  // Records a finding; false when its code has used up its messages (the
  // caller then need not build the text).
  bool wants(MapFinding code) {
    return ++counts_[static_cast<std::size_t>(code)] <= kMessagesPerCode;
  }
  void add(MapFinding code, std::string message) {
    if (wants(code)) map_.findings_.push_back({code, std::move(message)});
  }
  void finish_findings() {
    for (std::size_t c = 0; c < kCodeCount; ++c)
      if (counts_[c] > kMessagesPerCode)
        map_.findings_.push_back({static_cast<MapFinding>(c), "and " + std::to_string(counts_[c] - kMessagesPerCode) +
                                                                   " more of the same kind"});
  }

  std::uint32_t new_item(BlockUse use, std::uint32_t id) {
    map_.items_.push_back({use, id});
    return static_cast<std::uint32_t>(map_.items_.size());
  }
  std::string describe(std::uint32_t owner) const {
    if (owner == kFreeOwner) return "the free list";
    const BlockMap::Item& item = map_.items_[owner - 1];
    return (item.use == BlockUse::Node ? "directory node " : "file ") + hex(item.id);
  }

  // Marks [start, start + extent) as used by `owner`. False, with a finding,
  // when a block is used already or reaches into the header.
  bool claim(std::uint32_t owner, std::uint64_t start, std::uint64_t extent) {
    const std::uint64_t end = start + extent;
    if (start < kHeaderEnd && end > kHeaderOffset) {
      add(MapFinding::BlockInHeader, "block " + hex(start) + " of " + describe(owner) + " overlaps the header");
      return false;
    }
    const std::uint64_t bs = map_.block_size_;
    const std::uint64_t first = map_.first_block_;
    const std::uint64_t grid_end = first + map_.owners_.size() * bs;
    if (start >= first && (start - first) % bs == 0 && start < grid_end) {
      const std::uint64_t k0 = (start - first) / bs;
      const std::uint64_t k1 = (std::min(end, grid_end) - first + bs - 1) / bs;
      for (std::uint64_t k = k0; k < k1; ++k) {
        const std::uint32_t other = map_.owners_[k];
        if (other == 0) continue;
        if (other == owner) {
          add(MapFinding::Cycle, describe(owner) + " runs into itself at block " + hex(map_.block_offset(k)));
        } else {
          add(MapFinding::BlockInTwoChains,
              "block " + hex(map_.block_offset(k)) + " is used by " + describe(other) + " and by " + describe(owner));
        }
        return false;
      }
      std::fill(map_.owners_.begin() + k0, map_.owners_.begin() + k1, owner);
      return true;
    }
    // Off the grid: kept as a byte range, checked for overlaps at the end.
    map_.off_grid_ = true;
    if (off_grid_stopped_) return false;
    if (off_grid_.size() >= off_grid_budget_) {
      off_grid_stopped_ = true;
      add(MapFinding::WalkLimit, "the walk stopped after " + std::to_string(off_grid_.size()) +
                                     " blocks off the grid, more than the file can hold apart");
      return false;
    }
    off_grid_.push_back({start, end, owner});
    return true;
  }

  // Walks the chain of an item of `size` bytes at `offset`, claiming its
  // blocks and copying its bytes into `out` unless that is null. False, with
  // a finding, when the chain cannot be read whole or meets another.
  bool walk_chain(std::uint32_t owner, std::uint32_t offset, std::uint32_t size, std::uint8_t* out) {
    const std::uint32_t bs = map_.block_size_;
    const std::uint32_t payload = bs - 4;
    std::uint64_t position = 0;
    std::uint64_t current = offset;
    for (bool first = true;; first = false) {
      const std::uint64_t remaining = size - position;
      if (current + 4 > limit_) {
        add(MapFinding::OffsetOutsideFile,
            describe(owner) + (first ? " starts at " : " has a link to ") + hex(current) +
                ", outside the file (" + std::to_string(length_) + " bytes)");
        return false;
      }
      auto link = reader_.read_u32(current);
      if (!link) return io_failed(link.error());
      if (*link == 0) {
        // The last block gives all the rest, however much that is.
        if (current + 4 + remaining > limit_) {
          // The block is the item's all the same: nothing else may take it.
          claim(owner, current, bs);
          add(MapFinding::ChainShorterThanEntry,
              describe(owner) + " ends at block " + hex(current) + " with " +
                  std::to_string(limit_ - current - 4) + " of the " + std::to_string(remaining) +
                  " bytes it still needs before the end of the file");
          return false;
        }
        if (remaining > payload) ++oversized_;
        if (!claim(owner, current, std::max<std::uint64_t>(bs, 4 + remaining))) return false;
        return copy(current + 4, remaining, out, position);
      }
      const std::uint64_t chunk = std::min<std::uint64_t>(remaining, payload);
      if (current + 4 + chunk > limit_) {
        claim(owner, current, bs);
        add(MapFinding::OffsetOutsideFile, "block " + hex(current) + " of " + describe(owner) +
                                               " runs past the end of the file (" + std::to_string(length_) +
                                               " bytes)");
        return false;
      }
      if (!claim(owner, current, bs)) return false;
      if (!copy(current + 4, chunk, out, position)) return false;
      position += chunk;
      // A non-zero link after the last needed block is ignored, as reading does.
      if (position == size) return true;
      current = *link;
    }
  }
  // Reads `n` bytes at `from` into out[at..] (nothing when out is null).
  bool copy(std::uint64_t from, std::uint64_t n, std::uint8_t* out, std::uint64_t at) {
    if (out == nullptr || n == 0) return true;
    if (auto r = reader_.read(from, {out + at, static_cast<std::size_t>(n)}); !r) return io_failed(r.error());
    return true;
  }
  bool io_failed(const common::IoError& error) {
    if (!io_error_) io_error_ = error;
    stop_ = true;
    return false;
  }

  void walk_directory() {
    if (header_.root_offset == 0) return;
    struct Pending {
      std::uint32_t offset;
      std::uint32_t depth;
      std::uint64_t low;  // the subtree's ids lie in [low, high)
      std::uint64_t high;
    };
    std::vector<Pending> pending{{header_.root_offset, 1, 0, kOffsetLimit}};
    std::unordered_set<std::uint32_t> visited;
    std::array<std::uint8_t, kNodeSize> node{};
    TreeShape& tree = map_.tree_;
    while (!pending.empty() && !stop_) {
      const Pending at = pending.back();
      pending.pop_back();
      if (!visited.insert(at.offset).second) {
        add(MapFinding::Cycle, "directory node " + hex(at.offset) + " is reached twice");
        continue;
      }
      const std::uint32_t owner = new_item(BlockUse::Node, at.offset);
      if (!walk_chain(owner, at.offset, kNodeSize, node.data())) continue;
      ++tree.nodes;
      tree.depth = std::max(tree.depth, at.depth);
      std::uint32_t branches[kBranchCount];
      std::memcpy(branches, node.data(), sizeof branches);
      std::uint32_t count = u32_at(node.data() + 248);
      if (count > kMaxEntriesPerNode) {
        add(MapFinding::EntryCount, "directory node " + hex(at.offset) + " claims " + std::to_string(count) +
                                        " entries, more than " + std::to_string(kMaxEntriesPerNode));
        count = kMaxEntriesPerNode;
      }
      tree.entries += count;
      const bool root = at.depth == 1;
      if ((!root && count < kMinEntriesPerNode) || (root && count == 0)) ++tree.under_full_nodes;
      std::uint64_t low = at.low;
      bool ordered = true;
      std::uint32_t ids[kMaxEntriesPerNode];
      for (std::uint32_t i = 0; i < count; ++i) {
        DatFileEntry e;
        std::memcpy(&e, node.data() + kEntriesOffsetInNode + i * kEntrySize, kEntrySize);
        ids[i] = e.id;
        if (e.id < low || e.id >= at.high) ordered = false;
        low = std::uint64_t{e.id} + 1;
        if (e.size > 0) entries_.push_back({e.id, e.offset, e.size});
      }
      if (!ordered)
        add(MapFinding::NotASearchTree, "directory node " + hex(at.offset) +
                                            " holds ids out of order or outside the range its parent gives it");
      if (branches[0] == 0) {
        leaf_depths_min_ = std::min(leaf_depths_min_, at.depth);
        leaf_depths_max_ = std::max(leaf_depths_max_, at.depth);
        continue;
      }
      // Children pushed last first, so they are walked lowest index first.
      for (std::uint32_t i = count + 1; i-- > 0;) {
        if (branches[i] == 0) {
          add(MapFinding::NotASearchTree, "directory node " + hex(at.offset) + " has " + std::to_string(count) +
                                              " entries but no child at branch " + std::to_string(i));
          continue;
        }
        const std::uint64_t child_low = i == 0 ? at.low : std::uint64_t{ids[i - 1]} + 1;
        const std::uint64_t child_high = i == count ? at.high : ids[i];
        pending.push_back({branches[i], at.depth + 1, child_low, child_high});
      }
    }
    tree.min_leaf_depth = leaf_depths_min_ == UINT32_MAX ? 0 : leaf_depths_min_;
  }

  void walk_entries() {
    // In file order, so the reads go forward through the window.
    std::sort(entries_.begin(), entries_.end(),
              [](const EntryRef& a, const EntryRef& b) { return a.offset < b.offset || (a.offset == b.offset && a.id < b.id); });
    for (const EntryRef& e : entries_) {
      if (stop_) return;
      walk_chain(new_item(BlockUse::Body, e.id), e.offset, e.size, nullptr);
    }
  }

  void walk_free_list() {
    const std::uint32_t head = header_.free_head;
    const std::uint32_t count = header_.free_count;
    if (head == 0) {
      if (count != 0)
        add(MapFinding::FreeListCount, "free_count is " + std::to_string(count) + " but the free list is empty");
      if (header_.free_tail != 0)
        add(MapFinding::FreeListTail, "free_tail is " + hex(header_.free_tail) + " but the free list is empty");
      return;
    }
    std::uint64_t current = head;
    std::uint64_t last = 0;
    std::uint64_t walked = 0;
    for (;;) {
      if (walked == count) {
        add(MapFinding::FreeListCount, "the free list goes on past its free_count of " + std::to_string(count) +
                                           " blocks (to " + hex(current) + ")");
        return;
      }
      if (current + 4 > length_) {
        add(MapFinding::OffsetOutsideFile, "the free list has a block at " + hex(current) + ", outside the file (" +
                                               std::to_string(length_) + " bytes)");
        return;
      }
      if (!claim(kFreeOwner, current, map_.block_size_)) return;
      ++walked;
      map_.free_blocks_ = walked;
      last = current;
      auto link = reader_.read_u32(current);
      if (!link) {
        io_failed(link.error());
        return;
      }
      if (*link == 0) break;
      current = *link;
    }
    if (walked != count)
      add(MapFinding::FreeListCount, "the free list holds " + std::to_string(walked) + " blocks, free_count says " +
                                         std::to_string(count));
    if (last != header_.free_tail)
      add(MapFinding::FreeListTail, "the free list ends at " + hex(last) + ", free_tail says " + hex(header_.free_tail));
  }

  // Overlaps among the off-grid ranges, and between them and grid blocks.
  void sweep_off_grid() {
    std::sort(off_grid_.begin(), off_grid_.end(),
              [](const Interval& a, const Interval& b) { return a.start < b.start; });
    const std::uint64_t bs = map_.block_size_;
    const std::uint64_t first = map_.first_block_;
    const std::uint64_t grid_end = first + map_.owners_.size() * bs;
    map_.off_grid_touched_.assign(map_.owners_.size(), false);
    const Interval* reach = nullptr;  // the range seen so far that ends last
    for (const Interval& r : off_grid_) {
      if (reach != nullptr && r.start < reach->end) {
        if (reach->owner == r.owner) add(MapFinding::Cycle, describe(r.owner) + " runs into itself at " + hex(r.start));
        else
          add(MapFinding::BlockInTwoChains, "the bytes at " + hex(r.start) + " are used by " + describe(reach->owner) +
                                                " and by " + describe(r.owner));
      }
      if (reach == nullptr || r.end > reach->end) reach = &r;
      if (r.end <= first || r.start >= grid_end) continue;
      const std::uint64_t k0 = r.start > first ? (r.start - first) / bs : 0;
      const std::uint64_t k1 = (std::min(r.end, grid_end) - first + bs - 1) / bs;
      for (std::uint64_t k = k0; k < k1; ++k) {
        map_.off_grid_touched_[k] = true;
        if (map_.owners_[k] != 0)
          add(MapFinding::BlockInTwoChains, "block " + hex(map_.block_offset(k)) + " is used by " +
                                                describe(map_.owners_[k]) + " and by " + describe(r.owner));
      }
    }
  }

  void count_leaked() {
    const std::uint64_t bs = map_.block_size_;
    for (std::uint64_t k = 0; k < map_.owners_.size(); ++k) {
      if (map_.owners_[k] != 0 || (!map_.off_grid_touched_.empty() && map_.off_grid_touched_[k])) continue;
      ++map_.leaked_count_;
      const std::uint64_t at = map_.block_offset(k);
      map_.leaked_bytes_ += std::min(bs, length_ - at);
    }
  }

  void add_notes() {
    const TreeShape& tree = map_.tree_;
    if (map_.off_grid_)
      add(MapFinding::OffGrid, std::to_string(off_grid_.size()) + " blocks lie off the grid of " +
                                   std::to_string(map_.block_size_) + "-byte blocks from " + hex(map_.first_block_) +
                                   ": leaked blocks are not reclaimed");
    if (tree.under_full_nodes > 0)
      add(MapFinding::UnderFullNode, std::to_string(tree.under_full_nodes) + " of " + std::to_string(tree.nodes) +
                                         " directory nodes hold fewer than " + std::to_string(kMinEntriesPerNode) +
                                         " entries");
    if (leaf_depths_max_ != 0 && leaf_depths_min_ != leaf_depths_max_)
      add(MapFinding::LeavesAtDifferentDepths, "the directory's leaves lie at depths " +
                                                   std::to_string(leaf_depths_min_) + " to " +
                                                   std::to_string(leaf_depths_max_));
    if (oversized_ > 0)
      add(MapFinding::OversizedLastBlock, std::to_string(oversized_) +
                                              " chains end in a block that carries more than one block's payload");
    if (map_.leaked_count_ > 0)
      add(MapFinding::LeakedBlocks, std::to_string(map_.leaked_count_) + " blocks (" +
                                        std::to_string(map_.leaked_bytes_) + " bytes) are used by nothing: reclaimable");
    if (length_ > header_.file_size)
      add(MapFinding::BytesPastFileSize, "the file holds " + std::to_string(length_ - header_.file_size) +
                                             " bytes past its file_size of " + std::to_string(header_.file_size));
    if (length_ < header_.file_size)
      add(MapFinding::FileSizePastEnd, "file_size is " + std::to_string(header_.file_size) +
                                           " but the file holds " + std::to_string(length_) + " bytes");
  }

  const DatHeader& header_;
  std::uint64_t length_;
  std::uint64_t limit_;  // what offsets reach: the file, up to 4 GiB
  BlockReader reader_;
  BlockMap map_;
  std::vector<EntryRef> entries_;
  std::vector<Interval> off_grid_;
  std::uint64_t off_grid_budget_ = 0;
  bool off_grid_stopped_ = false;
  std::uint64_t oversized_ = 0;
  std::uint32_t leaf_depths_min_ = UINT32_MAX;
  std::uint32_t leaf_depths_max_ = 0;
  std::array<std::uint64_t, kCodeCount> counts_{};
  std::optional<common::IoError> io_error_;
  bool stop_ = false;
};

DatResult<BlockMap> map_blocks(const common::File& file, const DatHeader& header, std::uint64_t file_length) {
  return BlockMapper(file, header, file_length).run();
}

}  // namespace ravelin::dat
