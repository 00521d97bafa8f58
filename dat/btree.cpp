#include "dat/btree.h"

#include <algorithm>
#include <array>

namespace ravelin::dat {
namespace {

constexpr std::uint32_t kT = kMinDegree;
constexpr std::uint32_t kSlots = kMaxEntriesPerNode;
constexpr std::array<DatFileEntry, kSlots> kEmptySlots{};

std::uint32_t lower_bound(std::span<const DatFileEntry> entries, std::uint32_t id) {
  const auto it =
      std::lower_bound(entries.begin(), entries.end(), id, [](const DatFileEntry& e, std::uint32_t v) { return e.id < v; });
  return static_cast<std::uint32_t>(it - entries.begin());
}

}  // namespace

void DirectoryTree::reserve(std::size_t entries, std::size_t nodes) {
  entries_.reserve(entries);
  nodes_.reserve(nodes);
}

std::uint32_t DirectoryTree::add_loaded_node(std::uint32_t disk_offset, const void* entries, std::uint32_t count,
                                             bool leaf) {
  Node n;
  n.disk_offset = disk_offset;
  n.first_entry = static_cast<std::uint32_t>(entries_.size());
  n.count = count;
  entries_.append_bytes(entries, count);
  if (!leaf) {
    n.first_child = static_cast<std::uint32_t>(children_.size());
    children_.resize(children_.size() + count + 1, kNone);
  }
  nodes_.push_back(n);
  return static_cast<std::uint32_t>(nodes_.size() - 1);
}

void DirectoryTree::set_loaded_child(std::uint32_t node, std::uint32_t index, std::uint32_t child) {
  kids(node)[index] = child;
}

void DirectoryTree::finish_loading(std::uint32_t root, std::uint64_t entry_count) {
  root_ = root;
  size_ = entry_count;
  commit_batch();
}

std::span<const DatFileEntry> DirectoryTree::entries(std::uint32_t index) const {
  const Node& n = nodes_[index];
  return {entries_.data() + n.first_entry, n.count};
}

const DatFileEntry* DirectoryTree::find(std::uint32_t id) const {
  for (std::uint32_t n = root_; n != kNone;) {
    const auto slots = entries(n);
    const std::uint32_t i = lower_bound(slots, id);
    if (i < slots.size() && slots[i].id == id) return &slots[i];
    if (nodes_[n].leaf()) return nullptr;
    n = child(n, i);
  }
  return nullptr;
}

DatFileEntry* DirectoryTree::find_pending(std::uint32_t id) {
  const DatFileEntry* found = find(id);
  if (found == nullptr) return nullptr;
  const auto at = static_cast<std::size_t>(found - entries_.data());
  // Pending nodes own slots at or past the committed pool's end.
  return at >= frozen_entries_ ? entries_.data() + at : nullptr;
}

std::uint32_t DirectoryTree::new_node(bool leaf) {
  Node n;
  n.first_entry = static_cast<std::uint32_t>(entries_.size());
  entries_.append_bytes(kEmptySlots.data(), kSlots);
  if (!leaf) {
    n.first_child = static_cast<std::uint32_t>(children_.size());
    children_.resize(children_.size() + kSlots + 1, kNone);
  }
  nodes_.push_back(n);
  return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::uint32_t DirectoryTree::own(std::uint32_t n) {
  if (!frozen(n)) return n;
  const Node original = nodes_[n];
  const std::uint32_t copy = new_node(original.leaf());
  std::copy_n(entries_.data() + original.first_entry, original.count, slots(copy));
  if (!original.leaf()) std::copy_n(children_.data() + original.first_child, original.count + 1, kids(copy));
  nodes_[copy].count = original.count;
  if (original.disk_offset != 0) replaced_.push_back(original.disk_offset);
  return copy;
}

std::uint32_t DirectoryTree::own_child(std::uint32_t parent, std::uint32_t i) {
  const std::uint32_t c = own(child(parent, i));
  kids(parent)[i] = c;
  return c;
}

void DirectoryTree::drop(std::uint32_t n) {
  if (frozen(n) && nodes_[n].disk_offset != 0) replaced_.push_back(nodes_[n].disk_offset);
}

void DirectoryTree::drop_subtree(std::uint32_t n) {
  std::vector<std::uint32_t> stack{n};
  while (!stack.empty()) {
    const std::uint32_t at = stack.back();
    stack.pop_back();
    drop(at);
    if (!nodes_[at].leaf())
      for (std::uint32_t i = 0; i <= nodes_[at].count; ++i) stack.push_back(child(at, i));
  }
}

void DirectoryTree::insert_entry(std::uint32_t n, std::uint32_t at, const DatFileEntry& entry) {
  DatFileEntry* s = slots(n);
  std::copy_backward(s + at, s + nodes_[n].count, s + nodes_[n].count + 1);
  s[at] = entry;
  ++nodes_[n].count;
}

void DirectoryTree::erase_entry(std::uint32_t n, std::uint32_t at) {
  DatFileEntry* s = slots(n);
  std::copy(s + at + 1, s + nodes_[n].count, s + at);
  --nodes_[n].count;
}

// The child lists below are count + 1 long, so a child is inserted before its
// entry (and erased before it) while the count still describes them.
void DirectoryTree::insert_child(std::uint32_t n, std::uint32_t at, std::uint32_t child) {
  std::uint32_t* k = kids(n);
  const std::uint32_t length = nodes_[n].count + 1;
  std::copy_backward(k + at, k + length, k + length + 1);
  k[at] = child;
}

void DirectoryTree::erase_child(std::uint32_t n, std::uint32_t at) {
  std::uint32_t* k = kids(n);
  std::copy(k + at + 1, k + nodes_[n].count + 1, k + at);
}

// Child i of `parent` is full: its upper 30 entries (and 31 children) move to a
// new sibling and its median rises into the parent.
void DirectoryTree::split_child(std::uint32_t parent, std::uint32_t i) {
  const std::uint32_t full = child(parent, i);
  const std::uint32_t sibling = new_node(nodes_[full].leaf());
  std::copy_n(slots(full) + kT, kT - 1, slots(sibling));
  if (!nodes_[full].leaf()) std::copy_n(kids(full) + kT, kT, kids(sibling));
  nodes_[sibling].count = kT - 1;
  nodes_[full].count = kT - 1;
  const DatFileEntry median = slots(full)[kT - 1];
  insert_child(parent, i + 1, sibling);
  insert_entry(parent, i, median);
}

// Children i and i + 1 of `parent` and the entry between them become one node;
// the merged node.
std::uint32_t DirectoryTree::merge_children(std::uint32_t parent, std::uint32_t i) {
  const std::uint32_t left = own_child(parent, i);
  const std::uint32_t right = child(parent, i + 1);
  const std::uint32_t at = nodes_[left].count;
  const std::uint32_t right_count = nodes_[right].count;
  slots(left)[at] = slots(parent)[i];
  std::copy_n(entries_.data() + nodes_[right].first_entry, right_count, slots(left) + at + 1);
  if (!nodes_[left].leaf())
    std::copy_n(children_.data() + nodes_[right].first_child, right_count + 1, kids(left) + at + 1);
  nodes_[left].count = at + 1 + right_count;
  erase_child(parent, i + 1);
  erase_entry(parent, i);
  drop(right);
  return left;
}

// Before descending into child i: when it holds fewer than t entries, it
// borrows one through the parent from a sibling that has t or more, or else
// merges with a sibling. Only siblings of its own kind (leaf or not) qualify.
// The (owned) node to descend into.
std::uint32_t DirectoryTree::fill_child(std::uint32_t parent, std::uint32_t i) {
  const std::uint32_t c = child(parent, i);
  if (nodes_[c].count >= kT) return own_child(parent, i);
  const bool leaf = nodes_[c].leaf();
  const std::uint32_t left = i > 0 ? child(parent, i - 1) : kNone;
  const std::uint32_t right = i < nodes_[parent].count ? child(parent, i + 1) : kNone;
  const auto alike = [&](std::uint32_t s) { return s != kNone && nodes_[s].leaf() == leaf; };
  if (alike(left) && nodes_[left].count >= kT) {
    const std::uint32_t to = own_child(parent, i);
    const std::uint32_t from = own_child(parent, i - 1);
    const std::uint32_t last = nodes_[from].count - 1;
    if (!leaf) insert_child(to, 0, kids(from)[last + 1]);
    insert_entry(to, 0, slots(parent)[i - 1]);
    slots(parent)[i - 1] = slots(from)[last];
    --nodes_[from].count;
    return to;
  }
  if (alike(right) && nodes_[right].count >= kT) {
    const std::uint32_t to = own_child(parent, i);
    const std::uint32_t from = own_child(parent, i + 1);
    if (!leaf) kids(to)[nodes_[to].count + 1] = kids(from)[0];
    slots(to)[nodes_[to].count] = slots(parent)[i];
    ++nodes_[to].count;
    slots(parent)[i] = slots(from)[0];
    if (!leaf) erase_child(from, 0);
    erase_entry(from, 0);
    return to;
  }
  if (alike(left)) return merge_children(parent, i - 1);
  if (alike(right)) return merge_children(parent, i);
  return own_child(parent, i);
}

std::optional<DatFileEntry> DirectoryTree::extreme(std::uint32_t n, bool largest) const {
  const Node& node = nodes_[n];
  if (largest) {
    if (!node.leaf())
      if (auto below = extreme(child(n, node.count), true)) return below;
    if (node.count > 0) return entries(n)[node.count - 1];
  } else {
    if (!node.leaf())
      if (auto below = extreme(child(n, 0), false)) return below;
    if (node.count > 0) return entries(n)[0];
  }
  return std::nullopt;
}

// Removes `id` from the subtree of the owned node `n`, which holds it.
DatFileEntry DirectoryTree::remove_from(std::uint32_t n, std::uint32_t id) {
  for (;;) {
    const std::uint32_t i = lower_bound(entries(n), id);
    const bool here = i < nodes_[n].count && slots(n)[i].id == id;
    if (nodes_[n].leaf()) {
      // The search-tree order checked at load puts `id` here.
      const DatFileEntry removed = slots(n)[i];
      erase_entry(n, i);
      return removed;
    }
    if (!here) {
      n = fill_child(n, i);
      continue;
    }
    const DatFileEntry removed = slots(n)[i];
    const std::uint32_t before = child(n, i);
    const std::uint32_t after = child(n, i + 1);
    // The entry is replaced by its neighbour in order from a child that can
    // spare one, or the two children merge around it and the search goes on.
    std::optional<DatFileEntry> neighbour;
    std::uint32_t from = kNone;
    if (nodes_[before].count >= kT) {
      from = i;
      neighbour = extreme(before, true);
    } else if (nodes_[after].count >= kT) {
      from = i + 1;
      neighbour = extreme(after, false);
    } else if (nodes_[before].leaf() == nodes_[after].leaf()) {
      n = merge_children(n, i);
      continue;
    } else if ((neighbour = extreme(before, true))) {
      from = i;
    } else if ((neighbour = extreme(after, false))) {
      from = i + 1;
    } else {
      // Both sides hold nothing (only in trees from other writers): the empty
      // side goes with the entry.
      drop_subtree(before);
      erase_child(n, i);
      erase_entry(n, i);
      return removed;
    }
    remove_from(own_child(n, from), neighbour->id);
    slots(n)[i] = *neighbour;
    return removed;
  }
}

std::optional<DatFileEntry> DirectoryTree::put(const DatFileEntry& entry) {
  if (root_ == kNone) {
    root_ = new_node(true);
    insert_entry(root_, 0, entry);
    ++size_;
    return std::nullopt;
  }
  root_ = own(root_);
  if (const DatFileEntry* old = find(entry.id)) {
    const DatFileEntry replaced = *old;
    for (std::uint32_t n = root_;;) {
      const std::uint32_t i = lower_bound(entries(n), entry.id);
      if (i < nodes_[n].count && slots(n)[i].id == entry.id) {
        slots(n)[i] = entry;
        return replaced;
      }
      n = own_child(n, i);
    }
  }
  if (nodes_[root_].count == kSlots) {
    const std::uint32_t top = new_node(false);
    kids(top)[0] = root_;
    split_child(top, 0);
    root_ = top;
  }
  for (std::uint32_t n = root_;;) {
    std::uint32_t i = lower_bound(entries(n), entry.id);
    if (nodes_[n].leaf()) {
      insert_entry(n, i, entry);
      break;
    }
    std::uint32_t c = own_child(n, i);
    if (nodes_[c].count == kSlots) {
      split_child(n, i);
      if (entry.id > slots(n)[i].id) ++i;
      c = child(n, i);
    }
    n = c;
  }
  ++size_;
  return std::nullopt;
}

std::optional<DatFileEntry> DirectoryTree::remove(std::uint32_t id) {
  if (find(id) == nullptr) return std::nullopt;
  root_ = own(root_);
  const DatFileEntry removed = remove_from(root_, id);
  // A root left empty gives way to its only child (or to nothing).
  while (root_ != kNone && nodes_[root_].count == 0) {
    const std::uint32_t old = root_;
    root_ = nodes_[old].leaf() ? kNone : child(old, 0);
    drop(old);
  }
  --size_;
  return removed;
}

std::vector<std::uint32_t> DirectoryTree::pending_nodes_post_order() const {
  std::vector<std::uint32_t> order;
  if (root_ == kNone || frozen(root_)) return order;
  // (node, next child to visit)
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{root_, 0}};
  while (!stack.empty()) {
    auto& [n, next] = stack.back();
    const Node& node = nodes_[n];
    if (!node.leaf() && next <= node.count) {
      const std::uint32_t c = child(n, next++);
      if (!frozen(c)) stack.emplace_back(c, 0);
      continue;
    }
    order.push_back(n);
    stack.pop_back();
  }
  return order;
}

void DirectoryTree::commit_batch() {
  frozen_nodes_ = nodes_.size();
  frozen_entries_ = entries_.size();
  frozen_children_ = children_.size();
  committed_root_ = root_;
  committed_size_ = size_;
  replaced_.clear();
}

void DirectoryTree::abandon_batch() {
  nodes_.resize(frozen_nodes_);
  entries_.truncate(frozen_entries_);
  children_.resize(frozen_children_);
  root_ = committed_root_;
  size_ = committed_size_;
  replaced_.clear();
}

}  // namespace ravelin::dat
