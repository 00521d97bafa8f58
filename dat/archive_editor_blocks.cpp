#include "dat/archive_editor_blocks.h"

#include <algorithm>
#include <cstring>

#include "dat/btree.h"
#include "ravelin/common/id_text.h"

namespace ravelin::dat {
namespace {

std::string at_text(std::uint64_t offset) { return "0x" + common::hex8(static_cast<std::uint32_t>(offset)); }

}  // namespace

BlockGrid::BlockGrid(std::uint32_t block_size_, std::uint64_t real_end) : block_size(block_size_) {
  const std::uint64_t header_end = kHeaderOffset + kHeaderSize;
  first = (header_end + block_size - 1) / block_size * block_size;
  end = std::max(first, (real_end + block_size - 1) / block_size * block_size);
}

common::IoResult<void> FileWindow::read(std::uint64_t offset, std::span<std::uint8_t> out) {
  const std::uint64_t n = out.size();
  if (offset >= start_ && offset - start_ <= filled_ && n <= filled_ - (offset - start_)) {
    if (n > 0) std::memcpy(out.data(), buffer_.data() + (offset - start_), n);
    return {};
  }
  if (offset > length_ || length_ - offset < n) return std::unexpected(common::IoError::failed_to_fill_whole_buffer());
  if (n >= window_) {
    auto got = file_.read_at(offset, out);
    if (!got) return std::unexpected(got.error());
    if (*got != n) return std::unexpected(common::IoError::failed_to_fill_whole_buffer());
    return {};
  }
  const std::uint64_t length = std::min<std::uint64_t>(window_, length_ - offset);
  buffer_.resize(window_);
  filled_ = 0;
  auto got = file_.read_at(offset, std::span(buffer_.data(), length));
  if (!got) return std::unexpected(got.error());
  if (*got < n) return std::unexpected(common::IoError::failed_to_fill_whole_buffer());
  start_ = offset;
  filled_ = *got;
  if (n > 0) std::memcpy(out.data(), buffer_.data(), n);
  return {};
}

common::IoResult<std::uint32_t> FileWindow::read_u32(std::uint64_t offset) {
  std::uint8_t bytes[4];
  if (auto r = read(offset, bytes); !r) return std::unexpected(r.error());
  std::uint32_t value;
  std::memcpy(&value, bytes, 4);
  return value;
}

common::IoResult<void> walk_chain(FileWindow& window, const BlockGrid& grid, std::uint32_t offset, std::uint32_t size,
                                  ChainWalk& walk, std::span<std::uint8_t> out) {
  walk.blocks.clear();
  walk.fault.clear();
  if (size == 0) return {};
  const std::uint64_t length = window.length();
  const std::uint64_t most = grid.block_count() + 1;
  std::uint64_t remaining = size;
  std::size_t position = 0;
  std::uint64_t current = offset;
  const auto fail = [&](std::string why) -> common::IoResult<void> {
    walk.fault = "the chain at " + at_text(offset) + " " + std::move(why);
    return {};
  };
  for (;;) {
    if (current >= grid.end || current + 4 > length) return fail("leaves the file at " + at_text(current));
    if (!grid.on_grid(current)) return fail("has a block off the block grid at " + at_text(current));
    if (walk.blocks.size() >= most) return fail("runs in a cycle");
    auto link = window.read_u32(current);
    if (!link) return std::unexpected(link.error());
    if (*link == 0) {
      // The last block gives every byte still missing, however many.
      if (current + 4 + remaining > length) return fail("runs past the end of the file at " + at_text(current));
      if (!out.empty())
        if (auto r = window.read(current + 4, out.subspan(position, remaining)); !r) return std::unexpected(r.error());
      const std::uint64_t covered = (4 + remaining + grid.block_size - 1) / grid.block_size;
      for (std::uint64_t k = 0; k < covered; ++k)
        walk.blocks.push_back(static_cast<std::uint32_t>(current + k * grid.block_size));
      return {};
    }
    const std::uint64_t chunk = std::min<std::uint64_t>(remaining, grid.payload());
    if (current + 4 + chunk > length) return fail("runs past the end of the file at " + at_text(current));
    if (!out.empty())
      if (auto r = window.read(current + 4, out.subspan(position, chunk)); !r) return std::unexpected(r.error());
    walk.blocks.push_back(static_cast<std::uint32_t>(current));
    position += chunk;
    remaining -= chunk;
    if (remaining == 0) return {};
    current = *link;
  }
}

common::IoResult<BlockUse> map_block_use(const common::OpenFile& file, std::uint64_t length, const BlockGrid& grid,
                                         const DirectoryTree& tree, std::span<const std::uint32_t> free_blocks) {
  enum : std::uint8_t { kUnused, kNode, kBody, kFree };
  std::vector<std::uint8_t> use(grid.block_count(), kUnused);
  BlockUse result;
  std::uint64_t shared = 0;
  const auto mark = [&](std::uint32_t block, std::uint8_t as) {
    std::uint8_t& slot = use[grid.index(block)];
    if (slot != kUnused && ++shared <= 8)
      result.faults.push_back("block " + at_text(block) + " belongs to two items");
    slot = as;
  };
  FileWindow window(file, length, std::size_t{1} << 18);
  ChainWalk chain;
  const auto walk = [&](std::uint32_t offset, std::uint32_t size, std::uint8_t as, const std::string& what)
      -> common::IoResult<void> {
    if (auto r = walk_chain(window, grid, offset, size, chain); !r) return r;
    if (!chain.fault.empty()) result.faults.push_back(what + ": " + chain.fault);
    for (const std::uint32_t block : chain.blocks) mark(block, as);
    return {};
  };
  std::vector<std::uint32_t> stack;
  if (tree.root() != DirectoryTree::kNone) stack.push_back(tree.root());
  while (!stack.empty()) {
    const std::uint32_t n = stack.back();
    stack.pop_back();
    const auto& node = tree.node(n);
    if (auto r = walk(node.disk_offset, kNodeSize, kNode, "directory node"); !r) return std::unexpected(r.error());
    for (const DatFileEntry& entry : tree.entries(n))
      if (auto r = walk(entry.offset, entry.size, kBody, "file " + common::hex8(entry.id)); !r)
        return std::unexpected(r.error());
    if (!node.leaf())
      for (std::uint32_t i = 0; i <= node.count; ++i) stack.push_back(tree.child(n, i));
  }
  for (const std::uint32_t block : free_blocks) mark(block, kFree);
  if (shared > 8) result.faults.push_back(std::to_string(shared) + " blocks in all belong to two items");
  for (std::uint64_t i = 0; i < use.size(); ++i)
    if (use[i] == kUnused) result.leaked.push_back(static_cast<std::uint32_t>(grid.first + i * grid.block_size));
  return result;
}

}  // namespace ravelin::dat
