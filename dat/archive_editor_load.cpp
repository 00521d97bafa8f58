#include "dat/archive_editor_load.h"

#include <cstring>
#include <utility>

#include "ravelin/common/id_text.h"
#include "ravelin/common/reader.h"

namespace ravelin::dat {
namespace {

// Nodes written together are read together.
constexpr std::size_t kDirectoryWindow = std::size_t{1} << 16;
// Offsets are 32-bit: a file longer than this has bytes no block can reach.
constexpr std::uint64_t kLargestArchive = 0xFFFFFFFFull;

std::string at_text(std::uint64_t offset) { return "0x" + common::hex8(static_cast<std::uint32_t>(offset)); }

std::unexpected<LoadProblem> refused(std::string finding) {
  return std::unexpected(LoadProblem{LoadProblem::Kind::Refused, std::move(finding), std::nullopt, std::nullopt});
}

std::unexpected<LoadProblem> io_problem(common::IoError error) {
  return std::unexpected(LoadProblem{LoadProblem::Kind::Io, {}, std::move(error), std::nullopt});
}

void put_u32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, 4); }

// Reads the directory below the header's root into `a.tree`, refusing what
// is not a search tree an edit can keep. `node_blocks` gets the grid blocks
// of every node. Returns the blocks the directory's items need.
std::expected<std::uint64_t, LoadProblem> load_directory(const common::OpenFile& file, LoadedArchive& a,
                                                         std::vector<bool>& node_blocks) {
  const BlockGrid& grid = a.grid;
  a.tree.reserve(static_cast<std::size_t>(a.file_length / grid.block_size) + 1, 0);
  if (a.header.root_offset == 0) {
    a.tree.finish_loading(DirectoryTree::kNone, 0);
    return 0;
  }
  FileWindow window(file, a.file_length, kDirectoryWindow);
  std::vector<std::uint8_t> node(kNodeSize);
  struct Pending {
    std::uint32_t offset;
    std::uint32_t parent;
    std::uint32_t slot;
    std::uint64_t low;   // the ids the subtree may hold: [low, high)
    std::uint64_t high;
  };
  std::vector<Pending> pending{{a.header.root_offset, DirectoryTree::kNone, 0, 0, std::uint64_t{1} << 32}};
  std::uint32_t root = DirectoryTree::kNone;
  std::uint64_t entry_count = 0;
  std::uint64_t body_blocks = 0;
  std::uint64_t nodes = 0;
  ChainWalk walk;
  while (!pending.empty()) {
    const Pending at = pending.back();
    pending.pop_back();
    const auto where = [&] { return "directory node at " + at_text(at.offset); };
    if (at.offset >= grid.end) return refused(where() + " lies outside the file");
    if (!grid.on_grid(at.offset)) return refused(where() + " is off the block grid");
    if (node_blocks[grid.index(at.offset)]) return refused(where() + " is reached twice (a cycle)");
    if (auto r = walk_chain(window, grid, at.offset, kNodeSize, walk, node); !r) return io_problem(r.error());
    if (!walk.fault.empty()) return refused(where() + ": " + walk.fault);
    for (const std::uint32_t block : walk.blocks) {
      if (node_blocks[grid.index(block)])
        return refused(where() + " shares block " + at_text(block) + " with another node");
      node_blocks[grid.index(block)] = true;
    }
    ++nodes;

    std::uint32_t branches[kBranchCount];
    std::memcpy(branches, node.data(), sizeof branches);
    std::uint32_t count;
    std::memcpy(&count, node.data() + sizeof branches, 4);
    if (count > kMaxEntriesPerNode)
      return refused(where() + " holds " + std::to_string(count) + " entries (at most 61)");
    const bool leaf = branches[0] == 0;
    const auto* slots = reinterpret_cast<const DatFileEntry*>(node.data() + kEntriesOffsetInNode);
    std::uint64_t low = at.low;
    for (std::uint32_t i = 0; i < count; ++i) {
      DatFileEntry e;
      std::memcpy(&e, slots + i, sizeof e);
      if (e.id < low || e.id >= at.high)
        return refused("the directory is not a search tree: file " + common::hex8(e.id) + " in the " + where() +
                       " is out of order");
      low = std::uint64_t{e.id} + 1;
      body_blocks += grid.blocks_for(e.size);
    }
    entry_count += count;
    const std::uint32_t index = a.tree.add_loaded_node(at.offset, node.data() + kEntriesOffsetInNode, count, leaf);
    if (at.parent == DirectoryTree::kNone)
      root = index;
    else
      a.tree.set_loaded_child(at.parent, at.slot, index);
    if (leaf) continue;
    for (std::uint32_t i = count + 1; i-- > 0;) {
      if (branches[i] == 0) return refused(where() + " lacks its child " + std::to_string(i));
      std::uint32_t entry_id_before = 0, entry_id_after = 0;
      if (i > 0) std::memcpy(&entry_id_before, node.data() + kEntriesOffsetInNode + (i - 1) * kEntrySize + 4, 4);
      if (i < count) std::memcpy(&entry_id_after, node.data() + kEntriesOffsetInNode + i * kEntrySize + 4, 4);
      pending.push_back({branches[i], index, i, i == 0 ? at.low : std::uint64_t{entry_id_before} + 1,
                         i == count ? at.high : entry_id_after});
    }
  }
  a.tree.finish_loading(root, entry_count);
  return body_blocks + nodes * grid.blocks_per_node();
}

// Follows the free list from free_head for free_count blocks; it must stay
// on the grid, outside the directory, visit no block twice and end at
// free_tail. A count of 0 is an empty list, whatever head and tail hold.
std::expected<void, LoadProblem> load_free_list(const common::OpenFile& file, LoadedArchive& a,
                                                const std::vector<bool>& node_blocks) {
  const DatHeader& h = a.header;
  if (h.free_count == 0) return {};
  const BlockGrid& grid = a.grid;
  if (h.free_count > grid.block_count())
    return refused("free_count " + std::to_string(h.free_count) + " is more than the archive's " +
                   std::to_string(grid.block_count()) + " blocks");
  FileWindow window(file, a.file_length, kDirectoryWindow);
  std::vector<bool> seen(grid.block_count(), false);
  a.free_list.reserve(h.free_count);
  std::uint32_t current = h.free_head;
  for (std::uint32_t k = 0; k < h.free_count; ++k) {
    const std::string where = "free block at " + at_text(current);
    if (current >= grid.end || current + 4ull > a.file_length) return refused(where + " lies outside the file");
    if (!grid.on_grid(current)) return refused(where + " is off the block grid");
    const std::uint64_t index = grid.index(current);
    if (seen[index]) return refused("the free list runs in a cycle at " + at_text(current));
    if (node_blocks[index]) return refused(where + " lies inside a directory node");
    seen[index] = true;
    a.free_list.push_back(current);
    if (k + 1 == h.free_count) break;
    auto link = window.read_u32(current);
    if (!link) return io_problem(link.error());
    if (*link == 0)
      return refused("the free list ends after " + std::to_string(k + 1) + " of its free_count " +
                     std::to_string(h.free_count) + " blocks");
    current = *link;
  }
  if (current != h.free_tail)
    return refused("the free list ends at " + at_text(current) + ", not at free_tail " + at_text(h.free_tail));
  return {};
}

}  // namespace

std::vector<std::uint8_t> encode_header(const DatHeader& h) {
  std::vector<std::uint8_t> out(kHeaderSize);
  const std::uint32_t words[] = {h.magic,     h.block_size, h.file_size,   h.dataset,     h.subset,
                                 h.free_head, h.free_tail,  h.free_count,  h.root_offset, h.new_lru,
                                 h.old_lru,   h.use_lru,    h.master_map_id, h.engine_version, h.game_version};
  for (std::size_t i = 0; i < std::size(words); ++i) put_u32(out.data() + 4 * i, words[i]);
  std::memcpy(out.data() + 60, h.version_string.data(), 16);
  put_u32(out.data() + 76, h.version_minor);
  return out;
}

std::expected<LoadedArchive, LoadProblem> load_archive(const common::OpenFile& file) {
  LoadedArchive a;
  auto length = file.size();
  if (!length) return io_problem(length.error());
  a.file_length = *length;

  std::vector<std::uint8_t> header_bytes(
      a.file_length > kHeaderOffset ? std::min(kHeaderSize, a.file_length - kHeaderOffset) : 0);
  if (!header_bytes.empty()) {
    auto got = file.read_at(kHeaderOffset, header_bytes);
    if (!got) return io_problem(got.error());
    header_bytes.resize(*got);
  }
  common::Reader reader(header_bytes);
  auto header = DatHeader::read(reader);
  if (!header)
    return std::unexpected(
        LoadProblem{LoadProblem::Kind::Archive, {}, std::nullopt, DatError::bin_read(std::move(header).error())});
  a.header = *header;
  const std::uint32_t block_size = a.header.block_size;
  if (block_size < 5) return refused("block size " + std::to_string(block_size) + " cannot hold a block chain");
  const std::uint64_t real_end = std::max<std::uint64_t>(a.header.file_size, a.file_length);
  if (real_end > kLargestArchive) return refused("the file is longer than block offsets reach (4 GiB)");
  a.grid = BlockGrid(block_size, real_end);

  std::vector<bool> node_blocks(a.grid.block_count(), false);
  auto needed = load_directory(file, a, node_blocks);
  if (!needed) return std::unexpected(std::move(needed).error());
  if (auto r = load_free_list(file, a, node_blocks); !r) return std::unexpected(std::move(r).error());

  // The cheap count: when the items' blocks and the free list fill the grid
  // exactly, nothing is leaked and no chain needs walking.
  if (*needed + a.free_list.size() != a.grid.block_count()) {
    auto use = map_block_use(file, a.file_length, a.grid, a.tree, a.free_list);
    if (!use) return io_problem(use.error());
    a.walked = true;
    a.walk_faults = std::move(use->faults);
    if (a.walk_faults.empty()) a.leaked = std::move(use->leaked);
  }
  return a;
}

}  // namespace ravelin::dat
