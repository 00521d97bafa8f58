// What the editor's tests (and the kill driver) look at in an archive: its
// whole content as the reader sees it, the shape of its directory, and the
// walk of every block.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dat/archive_editor_load.h"
#include "ravelin/common/file_system.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat::test_support {

using Bytes = std::vector<std::uint8_t>;

// One file as a reader sees it: the entry's fields but its offset, and the
// bytes get_file returns.
struct FileState {
  std::uint32_t bit_flags = 0;
  std::uint32_t size = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;
  Bytes content;
  bool operator==(const FileState&) const = default;
};
using ArchiveState = std::map<std::uint32_t, FileState>;

// The archive's whole content through DatDatabase, or what went wrong.
inline std::optional<ArchiveState> read_state(common::FileSystem& fs, const common::Path& path, std::string& why) {
  auto db = DatDatabase::open(path, fs);
  if (!db) {
    why = db.error().to_string();
    return std::nullopt;
  }
  ArchiveState state;
  for (const DatFileEntry& e : db->sorted_entries()) {
    auto bytes = db->get_file(e.id);
    if (!bytes) {
      why = bytes.error().to_string();
      return std::nullopt;
    }
    state[e.id] = FileState{e.bit_flags, e.size, e.timestamp, e.version, std::move(*bytes)};
  }
  return state;
}

// A directory measured against a search tree and a B-tree of minimum degree 31.
struct Shape {
  bool ordered = true;         // in-order ids strictly increase
  bool within_61 = true;       // no node above 61 entries
  bool children_whole = true;  // an internal node has count + 1 children
  bool filled = true;          // every node but the root holds 30 or more
  bool one_depth = true;       // all leaves at one depth
  std::uint64_t entries = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> ids;  // in order
};

inline Shape shape_of(const DirectoryTree& tree) {
  Shape s;
  if (tree.root() == DirectoryTree::kNone) return s;
  std::optional<std::uint32_t> leaf_depth;
  struct Frame {
    std::uint32_t n, next, depth;
  };
  std::vector<Frame> stack{{tree.root(), 0, 1}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    const auto& node = tree.node(f.n);
    if (f.next == 0) {
      if (node.count > kMaxEntriesPerNode) s.within_61 = false;
      if (f.n != tree.root() && node.count < kMinDegree - 1) s.filled = false;
      if (!node.leaf())
        for (std::uint32_t i = 0; i <= node.count; ++i)
          if (tree.child(f.n, i) == DirectoryTree::kNone) s.children_whole = false;
      if (node.leaf()) {
        if (leaf_depth && *leaf_depth != f.depth) s.one_depth = false;
        leaf_depth = f.depth;
        s.height = std::max(s.height, f.depth);
      }
    }
    if (f.next > node.count) {
      stack.pop_back();
      continue;
    }
    ++stack.back().next;
    if (f.next > 0) {
      const std::uint32_t id = tree.entries(f.n)[f.next - 1].id;
      if (!s.ids.empty() && s.ids.back() >= id) s.ordered = false;
      s.ids.push_back(id);
      ++s.entries;
    }
    if (!node.leaf() && tree.child(f.n, f.next) != DirectoryTree::kNone)
      stack.push_back({tree.child(f.n, f.next), 0, f.depth + 1});
  }
  return s;
}

// The editor's load of the archive and the walk of every chain, node and free
// block: `problem` says why it could not be loaded, `faults` what the walk met
// (a block in two items, a broken chain), `leaked` the blocks nothing uses.
struct BlockReport {
  std::string problem;
  std::vector<std::string> faults;
  std::size_t leaked = 0;
  std::size_t free = 0;
  bool size_is_length = false;  // file_size is the file's length, as a commit leaves it
  std::optional<Shape> shape;
  bool sound() const { return problem.empty() && faults.empty(); }
  std::string text() const {
    std::string out = problem;
    for (const std::string& f : faults) out += (out.empty() ? "" : "; ") + f;
    return out;
  }
};

inline BlockReport walk_blocks(common::FileSystem& fs, const common::Path& path) {
  BlockReport report;
  auto file = fs.open_read_only(path);
  if (!file) {
    report.problem = file.error().message;
    return report;
  }
  auto loaded = load_archive(**file);
  if (!loaded) {
    const LoadProblem& p = loaded.error();
    report.problem = p.kind == LoadProblem::Kind::Refused ? p.finding
                     : p.io                               ? p.io->message
                                                          : p.archive->to_string();
    return report;
  }
  auto use = map_block_use(**file, loaded->file_length, loaded->grid, loaded->tree, loaded->free_list);
  if (!use) {
    report.problem = use.error().message;
    return report;
  }
  report.faults = use->faults;
  report.leaked = use->leaked.size();
  report.free = loaded->free_list.size();
  // Bytes past file_size (an append never committed) are leaked blocks, not a
  // fault; a file_size past the file's end is.
  if (loaded->header.file_size > loaded->file_length)
    report.faults.push_back("file_size " + std::to_string(loaded->header.file_size) + " is past the file's length " +
                            std::to_string(loaded->file_length));
  report.size_is_length = loaded->header.file_size == loaded->file_length;
  report.shape = shape_of(loaded->tree);
  return report;
}

}  // namespace ravelin::dat::test_support
