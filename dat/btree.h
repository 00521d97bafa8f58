// The directory held in memory for editing: a B-tree of minimum degree 31 over
// the archive's entries, edited copy-on-write.
//
// Nodes live in one pool and are addressed by index. Every node that existed
// when the batch began (loaded or committed) is frozen: an edit that changes
// one copies it to a new index first and points the parent at the copy, so
// the committed tree stays whole in the pool until the batch is committed or
// abandoned. Only the copies (and new nodes from splits) are written at commit;
// every untouched subtree keeps its disk offset.
//
// Insert and delete are the textbook ones (splits of full nodes on the way
// down; borrowing from or merging with a sibling before descending into a node
// at the minimum), so a tree kept by these edits holds 30 to 61 entries in
// every node but the root. A less full tree, or one with leaves at different
// depths, as other writers leave them, is edited correctly all the same: a
// node is only merged with or borrows from a sibling of its own kind.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/dat/huge_page_array.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

inline constexpr std::uint32_t kMinDegree = 31;
static_assert(2 * kMinDegree - 1 == kMaxEntriesPerNode);

class DirectoryTree {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  struct Node {
    std::uint32_t disk_offset = 0;  // first block as committed; 0 for a node of the pending batch
    std::uint32_t first_entry = 0;  // into the entry pool
    std::uint32_t count = 0;
    std::uint32_t first_child = kNone;  // into the child pool; kNone for a leaf
    bool leaf() const { return first_child == kNone; }
  };

  // Loading: nodes are added in any order, their children linked afterwards.
  // `entries` are the node's stored slots (count of them, ascending ids).
  std::uint32_t add_loaded_node(std::uint32_t disk_offset, const void* entries, std::uint32_t count, bool leaf);
  void set_loaded_child(std::uint32_t node, std::uint32_t index, std::uint32_t child);
  // Ends loading: `root` (kNone for an empty directory) and what it holds
  // become the committed state.
  void finish_loading(std::uint32_t root, std::uint64_t entry_count);
  void reserve(std::size_t entries, std::size_t nodes);

  std::uint32_t root() const { return root_; }
  std::uint64_t size() const { return size_; }
  const Node& node(std::uint32_t index) const { return nodes_[index]; }
  std::span<const DatFileEntry> entries(std::uint32_t index) const;
  std::uint32_t child(std::uint32_t index, std::uint32_t i) const { return children_[nodes_[index].first_child + i]; }
  std::size_t node_pool_size() const { return nodes_.size(); }

  const DatFileEntry* find(std::uint32_t id) const;
  // The entry for `id` when it sits in a node of the pending batch (so it may
  // be changed in place before the node is written), else nullptr.
  DatFileEntry* find_pending(std::uint32_t id);
  // Adds `entry`, or replaces the entry with its id; the replaced entry.
  std::optional<DatFileEntry> put(const DatFileEntry& entry);
  // Removes the entry for `id`; the removed entry, nothing when absent (the
  // tree is then unchanged).
  std::optional<DatFileEntry> remove(std::uint32_t id);

  // Whether the batch changed the tree.
  bool changed() const { return root_ != committed_root_ || nodes_.size() > frozen_nodes_; }
  // Nodes of the batch reachable from the root, children before parents: the
  // order in which they can be given offsets and written.
  std::vector<std::uint32_t> pending_nodes_post_order() const;
  void set_disk_offset(std::uint32_t node, std::uint32_t offset) { nodes_[node].disk_offset = offset; }
  // Disk offsets of committed nodes the batch replaced or dropped: their
  // blocks are free once the batch is committed.
  const std::vector<std::uint32_t>& replaced_offsets() const { return replaced_; }
  // The batch becomes the committed state (every pending node must have its
  // disk offset by now).
  void commit_batch();
  // Back to the committed state.
  void abandon_batch();

 private:
  bool frozen(std::uint32_t n) const { return n < frozen_nodes_; }
  DatFileEntry* slots(std::uint32_t n) { return entries_.data() + nodes_[n].first_entry; }
  std::uint32_t* kids(std::uint32_t n) { return children_.data() + nodes_[n].first_child; }
  std::uint32_t new_node(bool leaf);
  // The node itself when it belongs to the batch, else a copy that does (the
  // original's offset joins replaced_). The caller points the parent at it.
  std::uint32_t own(std::uint32_t n);
  std::uint32_t own_child(std::uint32_t parent, std::uint32_t i);
  void drop(std::uint32_t n);
  void drop_subtree(std::uint32_t n);
  void insert_entry(std::uint32_t n, std::uint32_t at, const DatFileEntry& entry);
  void erase_entry(std::uint32_t n, std::uint32_t at);
  void insert_child(std::uint32_t n, std::uint32_t at, std::uint32_t child);
  void erase_child(std::uint32_t n, std::uint32_t at);
  void split_child(std::uint32_t parent, std::uint32_t i);
  std::uint32_t merge_children(std::uint32_t parent, std::uint32_t i);
  std::uint32_t fill_child(std::uint32_t parent, std::uint32_t i);
  DatFileEntry remove_from(std::uint32_t n, std::uint32_t id);
  std::optional<DatFileEntry> extreme(std::uint32_t n, bool largest) const;

  HugePageArray<DatFileEntry> entries_;
  std::vector<std::uint32_t> children_;
  std::vector<Node> nodes_;
  std::uint32_t root_ = kNone;
  std::uint64_t size_ = 0;
  // The committed state: the pools up to these sizes, and its root.
  std::size_t frozen_nodes_ = 0;
  std::size_t frozen_entries_ = 0;
  std::size_t frozen_children_ = 0;
  std::uint32_t committed_root_ = kNone;
  std::uint64_t committed_size_ = 0;
  std::vector<std::uint32_t> replaced_;
};

}  // namespace ravelin::dat
