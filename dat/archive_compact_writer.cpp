// The fresh-archive writer: plans every offset first (the tree's shape and
// each chain's length are known from the entries alone), then streams the
// header region, the nodes and the bodies in that order.
#include <algorithm>
#include <cstring>
#include <limits>

#include "dat/block_map.h"
#include "dat/tree_layout.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/output_file.h"
#include "ravelin/dat/archive_compact.h"

namespace ravelin::dat {
namespace {

// Bytes gathered before each write: large enough that a big archive is few
// writes, small enough to stay out of the way.
constexpr std::size_t kChunk = std::size_t{1} << 20;
// Bytes written between two calls that start the device on them, so that the
// sync at the end finds most of a large archive on the disk already.
constexpr std::size_t kWritebackStep = std::size_t{8} << 20;

void put_u32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Block `j` of the `blocks` that hold `item` as a chain from `offset`, whose
// blocks follow each other: the link names the next block (0 in the last), the
// payload is the item's share, the last block zero-padded.
void lay_out_block(std::uint8_t* block, std::uint32_t block_size, std::uint64_t offset, std::uint64_t j,
                   std::uint64_t blocks, std::span<const std::uint8_t> item) {
  const std::uint64_t payload = block_size - 4;
  put_u32(block, j + 1 < blocks ? static_cast<std::uint32_t>(offset + (j + 1) * block_size) : 0);
  const std::uint64_t done = j * payload;
  const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(payload, item.size() - done));
  std::memcpy(block + 4, item.data() + done, chunk);
  std::memset(block + 4 + chunk, 0, payload - chunk);
}

std::uint32_t get_u32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint64_t blocks_for(std::uint64_t size, std::uint32_t payload) { return (size + payload - 1) / payload; }

CompactError io_error(const common::FileError& error) { return {CompactError::Kind::Io, error.to_string()}; }

// Appends items as contiguous chains of whole blocks, written a buffer of
// about 1 MiB at a time. (A writing thread beside the one laying out blocks
// was tried: on a busy machine it made compact slower, not faster.)
class ChainWriter {
 public:
  ChainWriter(common::OutputFile& out, std::uint32_t block_size)
      : out_(out), block_size_(block_size), capacity_(std::max<std::size_t>(kChunk, block_size)) {}

  // Bytes written as they are (the header region).
  CompactResult<void> raw(std::span<const std::uint8_t> bytes) {
    if (auto r = flush(); !r) return r;
    if (auto r = out_.write_through(bytes); !r) return std::unexpected(io_error(r.error()));
    return {};
  }

  // `item` as a chain whose blocks follow each other from `offset` (see
  // lay_out_block).
  CompactResult<void> chain(std::uint64_t offset, std::span<const std::uint8_t> item) {
    const std::uint64_t blocks = blocks_for(item.size(), block_size_ - 4);
    for (std::uint64_t j = 0; j < blocks; ++j) {
      if (used_ + block_size_ > capacity_)
        if (auto r = flush(); !r) return r;
      if (buffer_.empty()) buffer_.resize(capacity_);
      lay_out_block(buffer_.data() + used_, block_size_, offset, j, blocks, item);
      used_ += block_size_;
    }
    return {};
  }

  // The most one piece of room() can hold.
  std::size_t capacity() const { return capacity_; }

  // `bytes` of the buffer to fill in place (flushing first when they do not
  // fit after what it holds); take() then counts what was filled.
  CompactResult<std::span<std::uint8_t>> room(std::size_t bytes) {
    if (used_ + bytes > capacity_)
      if (auto r = flush(); !r) return std::unexpected(std::move(r).error());
    if (buffer_.empty()) buffer_.resize(capacity_);
    return std::span<std::uint8_t>(buffer_.data() + used_, bytes);
  }
  void take(std::size_t bytes) { used_ += bytes; }

  CompactResult<void> flush() {
    if (used_ == 0) return {};
    const std::span<const std::uint8_t> bytes(buffer_.data(), used_);
    used_ = 0;
    if (auto r = out_.write_through(bytes); !r) return std::unexpected(io_error(r.error()));
    unstarted_ += bytes.size();
    if (unstarted_ >= kWritebackStep) {
      out_.start_writeback();
      unstarted_ = 0;
    }
    return {};
  }

 private:
  common::OutputFile& out_;
  std::uint32_t block_size_;
  std::size_t capacity_;
  std::vector<std::uint8_t> buffer_;  // filled up to used_
  std::size_t used_ = 0;
  std::size_t unstarted_ = 0;  // written since the device was last started
};

// Where the bodies go: the new archive's block size, each entry's chain
// offset in it, and the bodies in the order they are written.
struct BodyPlan {
  std::uint32_t block_size;
  std::span<const DatFileEntry> entries;
  std::span<const std::uint32_t> offsets;
  std::span<const std::uint32_t> order;
};

CompactError body_error(const DatFileEntry& entry, const DatError& error) {
  return {CompactError::Kind::Archive, "file 0x" + common::hex8(entry.id) + ": " + error.to_string()};
}

// Copies bodies order[k], order[k + 1], ... whose chains start where the one
// before ended in the source with one read straight into the writer's buffer,
// then rewrites their links for the new offsets and zeroes each last block's
// padding: the same bytes as reading each chain and laying it out again,
// without the copies. A chain among them whose links do not run block after
// block is read through its links into its place. Returns how many bodies it
// wrote; 0 leaves order[k] to the one-at-a-time path.
CompactResult<std::size_t> copy_chain_run(ChainWriter& writer, StoredBodySource& bodies, const BodyPlan& plan,
                                          std::size_t k, std::vector<std::uint8_t>& body) {
  const std::uint64_t bs = plan.block_size;
  const std::uint64_t payload = bs - 4;
  const std::optional<std::uint64_t> first = bodies.chain_offset(plan.order[k]);
  if (!first) return 0;
  std::size_t count = 0;
  std::uint64_t bytes = 0;
  for (std::uint64_t next = *first; k + count < plan.order.size(); ++count) {
    const std::uint32_t i = plan.order[k + count];
    const std::uint64_t chain = blocks_for(plan.entries[i].size, static_cast<std::uint32_t>(payload)) * bs;
    if (bodies.chain_offset(i) != next || bytes + chain > writer.capacity()) break;
    bytes += chain;
    next += chain;
  }
  if (count == 0) return 0;
  auto room = writer.room(bytes);
  if (!room) return std::unexpected(std::move(room).error());
  if (!bodies.read_chains(*first, *room)) return 0;

  std::uint8_t* block = room->data();
  for (std::size_t n = 0; n < count; ++n) {
    const std::uint32_t i = plan.order[k + n];
    const std::uint64_t source = *first + static_cast<std::uint64_t>(block - room->data());
    const std::uint64_t size = plan.entries[i].size;
    const std::uint64_t blocks = blocks_for(size, static_cast<std::uint32_t>(payload));
    bool linked = true;
    for (std::uint64_t j = 0; j + 1 < blocks && linked; ++j) linked = get_u32(block + j * bs) == source + (j + 1) * bs;
    if (linked) {
      for (std::uint64_t j = 0; j < blocks; ++j)
        put_u32(block + j * bs, j + 1 < blocks ? static_cast<std::uint32_t>(plan.offsets[i] + (j + 1) * bs) : 0);
      const std::uint64_t last = size - (blocks - 1) * payload;
      std::memset(block + (blocks - 1) * bs + 4 + last, 0, payload - last);
    } else {
      body.resize(size);
      if (auto r = bodies.read(i, body); !r) return std::unexpected(body_error(plan.entries[i], r.error()));
      for (std::uint64_t j = 0; j < blocks; ++j)
        lay_out_block(block + j * bs, plan.block_size, plan.offsets[i], j, blocks, body);
    }
    block += blocks * bs;
  }
  writer.take(bytes);
  return count;
}

// The header as stored at 0x140.
void put_header(std::uint8_t* at, const DatHeader& h) {
  const std::uint32_t words[] = {h.magic,     h.block_size, h.file_size, h.dataset,      h.subset,
                                 h.free_head, h.free_tail,  h.free_count, h.root_offset, h.new_lru,
                                 h.old_lru,   h.use_lru,    h.master_map_id, h.engine_version, h.game_version};
  for (std::size_t i = 0; i < std::size(words); ++i) put_u32(at + 4 * i, words[i]);
  std::memcpy(at + 60, h.version_string.data(), 16);
  put_u32(at + 76, h.version_minor);
}

CompactError bad_input(std::string text) { return {CompactError::Kind::BadInput, std::move(text)}; }

// The body order to write: as given (checked to name every non-empty entry
// once), or ascending by id (made in `made`).
CompactResult<std::span<const std::uint32_t>> body_order(const FreshArchive& archive,
                                                         std::vector<std::uint32_t>& made) {
  const std::span<const DatFileEntry> entries = archive.entries;
  if (archive.body_order.empty()) {
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].size > 0) made.push_back(static_cast<std::uint32_t>(i));
    return made;
  }
  std::vector<bool> seen(entries.size(), false);
  for (const std::uint32_t i : archive.body_order) {
    if (i >= entries.size() || entries[i].size == 0 || seen[i])
      return std::unexpected(bad_input("the body order names entry " + std::to_string(i) +
                                       " twice, out of range or without a body"));
    seen[i] = true;
  }
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].size > 0 && !seen[i])
      return std::unexpected(bad_input("the body order leaves out entry " + std::to_string(i)));
  return archive.body_order;
}

}  // namespace

DatResult<void> MemoryBodySource::read(std::size_t index, std::span<std::uint8_t> out) {
  const std::span<const std::uint8_t> body = bodies_[index];
  if (body.size() != out.size())
    return std::unexpected(DatError::other("body " + std::to_string(index) + " holds " + std::to_string(body.size()) +
                                           " bytes, its entry says " + std::to_string(out.size())));
  std::copy(body.begin(), body.end(), out.begin());
  return {};
}

CompactResult<FreshArchiveStats> write_fresh_archive(const common::Path& path, const FreshArchive& archive,
                                                     StoredBodySource& bodies, common::FileSystem& fs) {
  const std::span<const DatFileEntry> entries = archive.entries;
  const std::uint32_t bs = archive.header.block_size;
  if (bs < 5)
    return std::unexpected(bad_input("block size " + std::to_string(bs) + " leaves no room for a link and a payload"));
  for (std::size_t i = 1; i < entries.size(); ++i)
    if (entries[i].id <= entries[i - 1].id)
      return std::unexpected(bad_input("the entries are not in ascending id order at file 0x" +
                                       common::hex8(entries[i].id)));
  std::vector<std::uint32_t> made_order;
  auto order = body_order(archive, made_order);
  if (!order) return std::unexpected(std::move(order).error());

  // Every offset, before a byte is written.
  const TreeLayout tree = TreeLayout::plan(entries.size());
  const std::uint32_t payload = bs - 4;
  const std::uint64_t first = first_grid_offset(bs);
  const std::uint64_t node_stride = blocks_for(kNodeSize, payload) * bs;
  auto node_offset = [&](std::size_t node) { return first + node * node_stride; };
  std::vector<std::uint32_t> body_offsets(entries.size(), 0);
  std::uint64_t end = node_offset(tree.node_count());
  FreshArchiveStats stats{.nodes = tree.node_count(), .depth = tree.depth()};
  for (const std::uint32_t i : *order) {
    if (end > std::numeric_limits<std::uint32_t>::max()) break;
    body_offsets[i] = static_cast<std::uint32_t>(end);
    const std::uint64_t blocks = blocks_for(entries[i].size, payload);
    stats.body_blocks += blocks;
    end += blocks * bs;
  }
  if (end > std::numeric_limits<std::uint32_t>::max())
    return std::unexpected(CompactError{CompactError::Kind::TooLarge,
                                        "the archive would pass 4 GiB, the most that 32-bit offsets reach"});
  stats.length = end;

  DatHeader header = archive.header;
  header.file_size = static_cast<std::uint32_t>(end);
  header.free_head = header.free_tail = header.free_count = 0;
  header.root_offset = tree.node_count() == 0 ? 0 : static_cast<std::uint32_t>(node_offset(0));

  auto out = common::OutputFile::create(path, common::Durability::Synced, fs);
  if (!out) return std::unexpected(io_error(out.error()));
  ChainWriter writer(*out, bs);

  std::vector<std::uint8_t> head(first, 0);
  std::copy_n(archive.prefix.begin(), std::min<std::size_t>(archive.prefix.size(), kHeaderOffset), head.begin());
  put_header(head.data() + kHeaderOffset, header);
  if (auto r = writer.raw(head); !r) return std::unexpected(std::move(r).error());

  std::vector<std::uint8_t> node(kNodeSize);
  for (std::size_t n = 0; n < tree.node_count(); ++n) {
    std::fill(node.begin(), node.end(), 0);
    const auto children = tree.children(n);
    for (std::size_t c = 0; c < children.size(); ++c)
      put_u32(node.data() + 4 * c, static_cast<std::uint32_t>(node_offset(children[c])));
    const auto keys = tree.entries(n);
    put_u32(node.data() + 248, static_cast<std::uint32_t>(keys.size()));
    for (std::size_t k = 0; k < keys.size(); ++k) {
      DatFileEntry e = entries[keys[k]];
      e.offset = body_offsets[keys[k]];
      std::memcpy(node.data() + kEntriesOffsetInNode + k * kEntrySize, &e, kEntrySize);
    }
    if (auto r = writer.chain(node_offset(n), node); !r) return std::unexpected(std::move(r).error());
  }

  const BodyPlan plan{.block_size = bs, .entries = entries, .offsets = body_offsets, .order = *order};
  std::vector<std::uint8_t> body;
  for (std::size_t k = 0; k < order->size();) {
    auto copied = copy_chain_run(writer, bodies, plan, k, body);
    if (!copied) return std::unexpected(std::move(copied).error());
    if (*copied > 0) {
      k += *copied;
      continue;
    }
    const std::uint32_t i = (*order)[k++];
    body.resize(entries[i].size);
    if (auto r = bodies.read(i, body); !r) return std::unexpected(body_error(entries[i], r.error()));
    if (auto r = writer.chain(body_offsets[i], body); !r) return std::unexpected(std::move(r).error());
  }
  if (auto r = writer.flush(); !r) return std::unexpected(std::move(r).error());
  if (auto r = out->commit(); !r) return std::unexpected(io_error(r.error()));
  return stats;
}

}  // namespace ravelin::dat
