// The shape of a directory built bottom-up over sorted entries: a B-tree of
// minimum degree 31 with every node but the root holding 30 to 61 entries,
// all leaves at one depth, as full as those bounds allow. Nodes are numbered
// in depth-first pre-order (a node, then its children from the lowest), the
// order a reader visits them and the order they are written.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ravelin::dat {

class TreeLayout {
 public:
  // The tree over entries 0..entry_count-1 (ascending ids); none for 0.
  static TreeLayout plan(std::uint64_t entry_count);

  std::size_t node_count() const { return nodes_.size(); }
  // Levels: 0 for no entries, 1 for a lone leaf.
  std::uint32_t depth() const { return depth_; }
  // Indexes of the entries node `node` holds, ascending.
  std::span<const std::uint64_t> entries(std::size_t node) const;
  // The node numbers of its children (empty for a leaf), lowest ids first.
  std::span<const std::uint32_t> children(std::size_t node) const;

 private:
  struct Node {
    std::uint64_t first_key;  // into keys_
    std::uint32_t key_count;
    std::uint64_t first_child;  // into children_
    std::uint32_t child_count;
  };
  // Lays out entries [first, first + count) as a subtree of `height` levels;
  // returns its node number.
  std::uint32_t build(std::uint64_t first, std::uint64_t count, std::uint32_t height);

  std::vector<Node> nodes_;
  std::vector<std::uint64_t> keys_;
  std::vector<std::uint32_t> children_;
  std::uint32_t depth_ = 0;
};

}  // namespace ravelin::dat
