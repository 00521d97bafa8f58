#include "dat/tree_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace ravelin::dat {
namespace {

// Walks the layout in order and checks the B-tree's form: the entries come out
// 0..n-1 in order, each node holds 1..61 (the root) or 30..61 entries, an
// internal node one child more than entries, every leaf at depth().
void expect_btree(const TreeLayout& tree, std::uint64_t n) {
  if (n == 0) {
    EXPECT_EQ(tree.node_count(), 0u);
    EXPECT_EQ(tree.depth(), 0u);
    return;
  }
  std::uint64_t next = 0;
  std::size_t visited = 0;
  std::size_t expected_number = 0;
  struct Walk {
    const TreeLayout& tree;
    std::uint64_t& next;
    std::size_t& visited;
    std::size_t& expected_number;
    void operator()(std::size_t node, std::uint32_t depth) {
      // Numbered in depth-first pre-order.
      EXPECT_EQ(node, expected_number++);
      ++visited;
      const auto keys = tree.entries(node);
      const auto children = tree.children(node);
      const bool root = depth == 1;
      EXPECT_LE(keys.size(), 61u);
      EXPECT_GE(keys.size(), root ? 1u : 30u) << "node " << node << " at depth " << depth;
      if (children.empty()) {
        EXPECT_EQ(depth, tree.depth()) << "leaf " << node;
        for (const std::uint64_t k : keys) {
          EXPECT_EQ(k, next++);
        }
        return;
      }
      ASSERT_EQ(children.size(), keys.size() + 1) << "node " << node;
      for (std::size_t i = 0; i < children.size(); ++i) {
        (*this)(children[i], depth + 1);
        if (i < keys.size()) {
          EXPECT_EQ(keys[i], next++);
        }
      }
    }
  };
  Walk{tree, next, visited, expected_number}(0, 1);
  EXPECT_EQ(next, n);
  EXPECT_EQ(visited, tree.node_count());
  // The fewest levels that hold n: 62^depth - 1 >= n > 62^(depth-1) - 1.
  std::uint64_t below = 1;
  for (std::uint32_t d = 1; d < tree.depth(); ++d) below *= 62;
  EXPECT_GT(n, below - 1);
  EXPECT_LE(n, below * 62 - 1);
}

TEST(TreeLayout, BuildsAFullBTreeOfMinimumDegree31) {
  // The edges of each height (62^h - 1 and one more), the least a subtree may
  // hold below the root (31^h - 1), and sizes in between.
  for (const std::uint64_t n : {0ull, 1ull, 2ull, 30ull, 61ull, 62ull, 63ull, 100ull, 960ull, 961ull, 1921ull,
                                3843ull, 3844ull, 3845ull, 10000ull, 29790ull, 100000ull, 238327ull, 238328ull,
                                1000000ull}) {
    SCOPED_TRACE(std::to_string(n) + " entries");
    expect_btree(TreeLayout::plan(n), n);
  }
}

// Nearly every node is full: a million entries take about a sixtieth as many nodes.
TEST(TreeLayout, NodesComeOutNearlyFull) {
  const TreeLayout tree = TreeLayout::plan(1000000);
  EXPECT_EQ(tree.depth(), 4u);
  EXPECT_LT(tree.node_count(), 1000000u / 59);
}

}  // namespace
}  // namespace ravelin::dat
