// The commit, in the order that keeps every crash at "before" or "after":
//   1. the new tree is worked out in memory (DirectoryTree: copies of the
//      changed nodes, untouched subtrees keep their offsets);
//   2. blocks are found for the new bodies and node copies: leaked blocks and
//      free-list blocks while no reader has the archive open, else appended
//      after the file's real end;
//   3. free-list blocks are first taken off the list by a header write of their
//      own, synced (a crash after it leaves them leaked, never used twice);
//   4. the bodies and node copies are written and synced;
//   5. the header naming the new root is written (inside the first 512-byte
//      sector, so whole or not at all) and synced: the commit;
//   6. only then do the blocks the old state used join the free list (links
//      written and synced, then the header); with readers open they are left
//      leaked instead, since a reader of the old state may still follow them.
#include <algorithm>
#include <cstring>

#include "dat/archive_editor_state.h"
#include "ravelin/dat/archive_editor.h"

namespace ravelin::dat {
namespace {

// Offsets are 32-bit: no block may start at or end past this.
constexpr std::uint64_t kLargestArchive = 0xFFFFFFFFull;
// Block runs are written in pieces of about this size.
constexpr std::size_t kWritePiece = std::size_t{1} << 20;

void put_u32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, 4); }

// Whole blocks collected in ascending offset order and written as few
// contiguous runs.
class BlockWrites {
 public:
  BlockWrites(common::OpenFile& file, std::uint32_t block_size) : file_(file), block_size_(block_size) {}

  // A block's bytes: the link, then up to block_size - 4 payload bytes
  // (zero-filled past `payload`).
  common::IoResult<void> add(std::uint32_t offset, std::uint32_t link, std::span<const std::uint8_t> payload) {
    if (run_.empty() || run_start_ + run_.size() != offset || run_.size() >= kWritePiece) {
      if (auto r = flush(); !r) return r;
      run_start_ = offset;
    }
    const std::size_t at = run_.size();
    run_.resize(at + block_size_, 0);
    put_u32(run_.data() + at, link);
    if (!payload.empty()) std::memcpy(run_.data() + at + 4, payload.data(), payload.size());
    return {};
  }

  common::IoResult<void> flush() {
    if (run_.empty()) return {};
    auto r = file_.write_at(run_start_, run_);
    run_.clear();
    return r;
  }

 private:
  common::OpenFile& file_;
  std::uint32_t block_size_;
  std::vector<std::uint8_t> run_;
  std::uint64_t run_start_ = 0;
};

// Hands out the blocks of a commit in ascending order, so that items laid out
// one after another get neighbouring blocks.
class BlockSupply {
 public:
  explicit BlockSupply(std::vector<std::uint32_t> blocks) : blocks_(std::move(blocks)) {}
  std::span<const std::uint32_t> take(std::uint64_t count) {
    const std::span<const std::uint32_t> out(blocks_.data() + next_, count);
    next_ += count;
    return out;
  }

 private:
  std::vector<std::uint32_t> blocks_;
  std::size_t next_ = 0;
};

// Writes `item` into the chain `blocks`: each block links to the next, the
// last to 0.
common::IoResult<void> write_item(BlockWrites& writes, std::span<const std::uint32_t> blocks,
                                  std::span<const std::uint8_t> item, std::uint32_t payload) {
  std::size_t done = 0;
  for (std::size_t j = 0; j < blocks.size(); ++j) {
    const std::size_t chunk = std::min<std::size_t>(payload, item.size() - done);
    const std::uint32_t link = j + 1 < blocks.size() ? blocks[j + 1] : 0;
    if (auto r = writes.add(blocks[j], link, item.subspan(done, chunk)); !r) return r;
    done += chunk;
  }
  return {};
}

// A directory node's 1716 bytes.
std::vector<std::uint8_t> encode_node(const DirectoryTree& tree, std::uint32_t n) {
  std::vector<std::uint8_t> out(kNodeSize, 0);
  const auto& node = tree.node(n);
  if (!node.leaf())
    for (std::uint32_t i = 0; i <= node.count; ++i) put_u32(out.data() + 4 * i, tree.node(tree.child(n, i)).disk_offset);
  put_u32(out.data() + 4 * kBranchCount, node.count);
  const auto entries = tree.entries(n);
  std::memcpy(out.data() + kEntriesOffsetInNode, entries.data(), entries.size_bytes());
  return out;
}

}  // namespace

EditResult<CommitStats> ArchiveEditor::commit() {
  EditorState& s = *state_;
  if (s.broken) return std::unexpected(*s.broken);
  if (!has_changes()) return CommitStats{};
  // Reuse needs the readers' byte: nobody may be reading the old state.
  bool reuse = false;
  if (s.locks) {
    auto held = s.file->lock(kReaderLockByte, 1, common::LockKind::Exclusive, common::LockWait::NoWait);
    reuse = held && *held == common::LockResult::Taken;
  }
  auto result = s.run_commit(reuse);
  if (reuse) (void)s.file->unlock(kReaderLockByte, 1);
  if (!result) {
    // Whatever reached the file, the committed header says what holds: read
    // it back (the batch is gone either way).
    if (result.error().kind() == EditError::Kind::TooLarge)
      s.drop_batch();
    else
      s.reload();
  }
  return result;
}

EditResult<CommitStats> EditorState::run_commit(bool reuse) {
  CommitStats stats;
  stats.reuse = reuse;
  LoadedArchive& a = archive;
  DirectoryTree& tree = a.tree;
  const BlockGrid grid = a.grid;
  const auto failed = [&](const char* action, common::IoError error) {
    return std::unexpected(file_error(action, std::move(error)));
  };

  // What the batch writes: bodies in id order, then the node copies children
  // first (a parent's branches name its children's new offsets).
  std::vector<std::uint32_t> ids;
  std::uint64_t needed = 0;
  for (const auto& [id, body] : bodies) {
    ids.push_back(id);
    needed += grid.blocks_for(body.size());
  }
  std::sort(ids.begin(), ids.end());
  const std::vector<std::uint32_t> nodes = tree.pending_nodes_post_order();
  needed += nodes.size() * grid.blocks_per_node();

  // The blocks the old state used and the new one does not. A chain that
  // cannot be walked whole is left alone: its blocks stay where they are.
  std::vector<std::uint32_t> freed;
  {
    FileWindow window(*file, a.file_length, std::size_t{1} << 16);
    ChainWalk walk;
    const auto release = [&](std::uint32_t offset, std::uint32_t size) -> common::IoResult<void> {
      if (auto r = walk_chain(window, grid, offset, size, walk); !r) return r;
      if (walk.fault.empty()) freed.insert(freed.end(), walk.blocks.begin(), walk.blocks.end());
      return {};
    };
    for (const auto& [offset, size] : released)
      if (auto r = release(offset, size); !r) return failed("read", r.error());
    for (const std::uint32_t offset : tree.replaced_offsets())
      if (auto r = release(offset, kNodeSize); !r) return failed("read", r.error());
  }

  const std::uint64_t from_leaked = reuse ? std::min<std::uint64_t>(needed, a.leaked.size()) : 0;
  const std::uint64_t from_free = reuse ? std::min<std::uint64_t>(needed - from_leaked, a.free_list.size()) : 0;
  const std::uint64_t appended = needed - from_leaked - from_free;
  const std::uint64_t new_end = grid.end + appended * grid.block_size;
  if (new_end > kLargestArchive) return std::unexpected(EditError::too_large(path));
  stats.blocks_written = needed;
  stats.blocks_reused = from_leaked + from_free;
  stats.blocks_appended = appended;

  std::vector<std::uint32_t> blocks(a.leaked.begin(), a.leaked.begin() + static_cast<std::ptrdiff_t>(from_leaked));
  blocks.insert(blocks.end(), a.free_list.begin(), a.free_list.begin() + static_cast<std::ptrdiff_t>(from_free));
  std::sort(blocks.begin(), blocks.end());
  for (std::uint64_t k = 0; k < appended; ++k) blocks.push_back(static_cast<std::uint32_t>(grid.end + k * grid.block_size));
  a.leaked.erase(a.leaked.begin(), a.leaked.begin() + static_cast<std::ptrdiff_t>(from_leaked));

  const auto write_header = [&](const DatHeader& h) -> common::IoResult<void> {
    if (auto r = file->write_at(kHeaderOffset, encode_header(h)); !r) return r;
    return file->sync();
  };

  // Step 3: free-list blocks leave the list before anything is written into them.
  if (from_free > 0) {
    DatHeader h = a.header;
    h.free_count -= static_cast<std::uint32_t>(from_free);
    h.free_head = from_free < a.free_list.size() ? a.free_list[from_free] : 0;
    if (h.free_count == 0) h.free_tail = 0;
    if (auto r = write_header(h); !r) return failed("write", r.error());
    a.header = h;
    a.free_list.erase(a.free_list.begin(), a.free_list.begin() + static_cast<std::ptrdiff_t>(from_free));
  }

  // Step 4: bodies and node copies. Nothing committed reaches past the file's
  // old end, so when this step fails what it appended there is cut off again:
  // a full disk gets its room back and the file its old length.
  const auto failed_writing = [&](const char* action, common::IoError error) {
    if (appended > 0) (void)file->truncate(a.file_length);
    return failed(action, std::move(error));
  };
  BlockSupply supply(std::move(blocks));
  BlockWrites writes(*file, grid.block_size);
  for (const std::uint32_t id : ids) {
    const std::vector<std::uint8_t>& body = bodies.at(id);
    const auto chain = supply.take(grid.blocks_for(body.size()));
    tree.find_pending(id)->offset = chain.empty() ? 0 : chain.front();
    if (auto r = write_item(writes, chain, body, grid.payload()); !r) return failed_writing("write", r.error());
  }
  for (const std::uint32_t n : nodes) {
    const auto chain = supply.take(grid.blocks_per_node());
    tree.set_disk_offset(n, chain.front());
    if (auto r = write_item(writes, chain, encode_node(tree, n), grid.payload()); !r)
      return failed_writing("write", r.error());
  }
  if (auto r = writes.flush(); !r) return failed_writing("write", r.error());
  // A file cut short inside its last block is filled out, so that file_size
  // is its length.
  auto length = file->size();
  if (!length) return failed_writing("read", length.error());
  if (*length < new_end)
    if (auto r = file->truncate(new_end); !r) return failed_writing("write", r.error());
  if (auto r = file->sync(); !r) return failed_writing("sync", r.error());

  // Step 5: the commit.
  DatHeader committed = pending_header;
  committed.block_size = grid.block_size;
  committed.file_size = static_cast<std::uint32_t>(new_end);
  committed.free_head = a.header.free_head;
  committed.free_tail = a.header.free_tail;
  committed.free_count = a.header.free_count;
  committed.root_offset = tree.root() == DirectoryTree::kNone ? 0 : tree.node(tree.root()).disk_offset;
  if (auto r = write_header(committed); !r) {
    // A failed write or sync leaves it unknown whether the new header will
    // last: put the old one back, so that the error means "not committed".
    (void)write_header(a.header);
    return failed("write", r.error());
  }
  tree.commit_batch();
  a.header = committed;
  pending_header = committed;
  a.grid.end = new_end;
  a.file_length = std::max(a.file_length, new_end);
  bodies.clear();
  released.clear();

  // Step 6: the old state's blocks (and any leaked ones) join the free list.
  if (!reuse) {
    a.leaked.insert(a.leaked.end(), freed.begin(), freed.end());
    stats.blocks_left_leaked = freed.size();
    stats.blocks_reclaimed = from_leaked;
    return stats;
  }
  std::vector<std::uint32_t> joining = std::move(freed);
  stats.blocks_freed = joining.size();
  stats.blocks_reclaimed = from_leaked + a.leaked.size();
  joining.insert(joining.end(), a.leaked.begin(), a.leaked.end());
  if (joining.empty()) return stats;
  std::sort(joining.begin(), joining.end());
  DatHeader h = a.header;
  const std::uint32_t tail_link = h.free_count > 0 ? h.free_head : 0;
  const auto chain_up = [&]() -> common::IoResult<void> {
    BlockWrites links(*file, grid.block_size);
    for (std::size_t i = 0; i < joining.size(); ++i)
      if (auto r = links.add(joining[i], i + 1 < joining.size() ? joining[i + 1] : tail_link, {}); !r) return r;
    if (auto r = links.flush(); !r) return r;
    return file->sync();
  };
  h.free_tail = h.free_count > 0 ? h.free_tail : joining.back();
  h.free_head = joining.front();
  h.free_count += static_cast<std::uint32_t>(joining.size());
  if (auto r = chain_up(); !r) {
    // The commit stands; the blocks are merely leaked. Read the state back.
    reload();
    return stats;
  }
  if (auto r = write_header(h); !r) {
    reload();
    return stats;
  }
  a.header = h;
  pending_header = h;
  a.free_list.insert(a.free_list.begin(), joining.begin(), joining.end());
  a.leaked.clear();
  return stats;
}

}  // namespace ravelin::dat
