#include "dat/tree_layout.h"

namespace ravelin::dat {
namespace {

constexpr std::uint64_t kMaxChildren = 62;

// Most entries a subtree of `height` levels holds: 62^height - 1.
std::uint64_t capacity(std::uint32_t height) {
  std::uint64_t c = 1;
  for (std::uint32_t h = 0; h < height; ++h) c *= kMaxChildren;
  return c - 1;
}

}  // namespace

TreeLayout TreeLayout::plan(std::uint64_t entry_count) {
  TreeLayout layout;
  if (entry_count == 0) return layout;
  std::uint32_t height = 1;
  while (capacity(height) < entry_count) ++height;
  layout.depth_ = height;
  layout.keys_.reserve(entry_count);
  layout.build(0, entry_count, height);
  return layout;
}

// A subtree of h levels over k entries: c children, each over (k + 1) / c - 1
// entries give or take one, c - 1 separators between them, c the least that
// keeps every child within 62^(h-1) - 1 entries. Every subtree below the root
// then holds at least half its capacity, (k + 1) >= 62^h / 2: true of the
// root's children, as h is the least height that holds n (so c - 1 <
// (n + 1) / 62^(h-1) and each child gets more than 62^(h-1) (c-1)/c >=
// 62^(h-1) / 2); and passed on, since half a capacity needs c >= 31 children,
// each then given more than 62^(h-2) * 30/31 >= 62^(h-2) / 2. So every node
// but the root holds 30 to 61 entries, and every leaf lies at depth h.
std::uint32_t TreeLayout::build(std::uint64_t first, std::uint64_t count, std::uint32_t height) {
  const auto index = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({keys_.size(), 0, children_.size(), 0});
  if (height == 1) {
    for (std::uint64_t i = 0; i < count; ++i) keys_.push_back(first + i);
    nodes_[index].key_count = static_cast<std::uint32_t>(count);
    return index;
  }
  const std::uint64_t child_capacity = capacity(height - 1) + 1;
  const std::uint64_t c = (count + 1 + child_capacity - 1) / child_capacity;
  const std::uint64_t in_children = count - (c - 1);
  // Where each child starts; the separators sit between them.
  std::vector<std::uint64_t> starts(c);
  std::uint64_t at = first;
  for (std::uint64_t i = 0; i < c; ++i) {
    starts[i] = at;
    at += in_children / c + (i < in_children % c ? 1 : 0);
    if (i + 1 < c) keys_.push_back(at++);
  }
  nodes_[index].key_count = static_cast<std::uint32_t>(c - 1);
  nodes_[index].child_count = static_cast<std::uint32_t>(c);
  const std::uint64_t first_child = children_.size();
  children_.resize(children_.size() + c);
  for (std::uint64_t i = 0; i < c; ++i) {
    const std::uint64_t end = i + 1 < c ? starts[i + 1] - 1 : first + count;
    const std::uint32_t child = build(starts[i], end - starts[i], height - 1);
    children_[first_child + i] = child;
  }
  return index;
}

std::span<const std::uint64_t> TreeLayout::entries(std::size_t node) const {
  const Node& n = nodes_[node];
  return {keys_.data() + n.first_key, n.key_count};
}

std::span<const std::uint32_t> TreeLayout::children(std::size_t node) const {
  const Node& n = nodes_[node];
  return {children_.data() + n.first_child, n.child_count};
}

}  // namespace ravelin::dat
