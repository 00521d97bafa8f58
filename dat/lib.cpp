#include "ravelin/dat/lib.h"

// Archive layout, as this reader sees it:
//   0x000..0x13F  never read
//   0x140         DatHeader, 80 bytes (block_size and root_offset steer reading)
//   anywhere      blocks: a u32 link to the next block (0 ends), then payload
// A stored item (file body or directory node) starts in the block at its offset
// and runs through the chain; its length always comes from outside the chain.
// A directory node is a 1716-byte item: 62 u32 branches, a u32 entry count and
// 61 slots of 24-byte DatFileEntry. A node whose first branch is 0 is a leaf;
// otherwise branches 0..entry_count (never past 61) lead to its children; the
// walk is depth first: a node's entries, then its children.

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "common/debug_format.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/file_ids.h"
#include "dat/lib_frames.h"
#include "ravelin/dat/utils.h"

namespace ravelin::dat {
namespace {

using common::IoError;

// Reads through a cached span of the file so that a chain of neighbouring blocks
// costs one system read instead of two per block. The cache is a snapshot of an
// archive that is never written while open, so serving from it is exact.
class BlockWindow {
 public:
  BlockWindow(const common::File& file, std::uint64_t file_length, std::size_t window_size)
      : file_(file), file_length_(file_length), window_size_(window_size) {}

  // Fills `out` with the bytes at `offset`. Bytes beyond the end of the archive
  // fail with Io "failed to fill whole buffer", as an exact read would.
  DatResult<void> read(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t n = out.size();
    if (offset >= start_ && offset - start_ <= length_ && n <= length_ - (offset - start_)) {
      if (n > 0) std::memcpy(out.data(), buffer_.data() + (offset - start_), n);
      return {};
    }
    if (n >= window_size_) return read_direct(offset, out);
    if (offset >= file_length_ || file_length_ - offset < n)
      return std::unexpected(DatError::io(IoError::failed_to_fill_whole_buffer()));
    const std::uint64_t length = std::min<std::uint64_t>(window_size_, file_length_ - offset);
    buffer_.resize(window_size_);
    // Invalidate first: a failed refill must not leave stale bytes addressable.
    length_ = 0;
    if (auto r = file_.read_exact_at(offset, std::span(buffer_.data(), length)); !r)
      return std::unexpected(DatError::io(r.error()));
    start_ = offset;
    length_ = length;
    std::memcpy(out.data(), buffer_.data(), n);
    return {};
  }

 private:
  DatResult<void> read_direct(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (auto r = file_.read_exact_at(offset, out); !r) return std::unexpected(DatError::io(r.error()));
    return {};
  }

  const common::File& file_;
  std::uint64_t file_length_;
  std::size_t window_size_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t start_ = 0;
  std::uint64_t length_ = 0;
};

std::string offset_text(std::uint32_t offset) { return "0x" + common::hex8(offset); }

// Walks the block chain at `offset` and fills all of `out` from it.
//
// Each block is a u32 link then block_size - 4 payload bytes. A block with a
// non-zero link gives at most one payload; the block with link 0 ends the chain
// and gives everything still missing, read in one piece from its payload start.
// File offsets are 32-bit, so `current + 4` wraps as the format's own arithmetic.
//
// Guards: a block size below 5 leaves no payload and would make a linked chain
// spin forever, so any non-empty read under it is Corruption; a chain that
// visits more blocks than the archive has room for (a cycle) is Corruption.
DatResult<void> read_chain(BlockWindow& window, std::uint32_t block_size, std::uint64_t file_length,
                           std::uint32_t offset, std::span<std::uint8_t> out) {
  if (out.empty()) return {};
  if (block_size < 5)
    return std::unexpected(DatError::corruption("block size " + std::to_string(block_size) +
                                                " cannot hold the block chain at offset " +
                                                offset_text(offset)));
  const std::uint32_t payload = block_size - 4;
  const std::uint64_t max_blocks = file_length / block_size + 1;
  std::uint64_t blocks = 0;
  std::size_t position = 0;
  std::size_t remaining = out.size();
  std::uint32_t current = offset;
  for (;;) {
    if (++blocks > max_blocks)
      return std::unexpected(DatError::corruption("block chain at offset " + offset_text(offset) +
                                                  " visits more blocks than the archive holds"));
    std::uint8_t link_bytes[4];
    if (auto r = window.read(current, link_bytes); !r) return r;
    std::uint32_t link;
    std::memcpy(&link, link_bytes, 4);
    const std::uint32_t data_at = current + 4;
    if (link == 0) return window.read(data_at, out.subspan(position, remaining));
    const std::size_t chunk = std::min<std::size_t>(remaining, payload);
    if (auto r = window.read(data_at, out.subspan(position, chunk)); !r) return r;
    position += chunk;
    remaining -= chunk;
    if (remaining == 0) return {};
    current = link;
  }
}

// Bytes a chain of `size` bytes spans when its blocks follow each other: the
// read-ahead that makes an ordinary file one system read.
std::size_t contiguous_span(std::uint32_t block_size, std::uint32_t size) {
  if (block_size < 5) return 4;
  const std::uint64_t payload = block_size - 4;
  const std::uint64_t blocks = (size + payload - 1) / payload;
  return static_cast<std::size_t>(std::min<std::uint64_t>(blocks * block_size + 4, 1u << 18));
}

// Window for the directory walk: nodes written together are read together.
constexpr std::size_t kDirectoryWindow = 1u << 16;

inline std::uint64_t index_slot(std::uint32_t id, std::uint32_t shift) {
  return (id * 0x9E3779B97F4A7C15ull) >> shift;
}

// Set of node offsets already visited, for the cycle guard.
class OffsetSet {
 public:
  // False when `offset` (never 0) was already in the set.
  bool insert(std::uint32_t offset) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    return insert_into(slots_, offset);
  }

 private:
  bool insert_into(std::vector<std::uint32_t>& slots, std::uint32_t offset) {
    const std::size_t mask = slots.size() - 1;
    // The slot comes from the product's high bits: node offsets are multiples
    // of the block size, so the low bits would leave most slots unused.
    const int shift = 64 - std::countr_zero(slots.size());
    for (std::size_t i = (offset * 0x9E3779B97F4A7C15ull) >> shift;; i = (i + 1) & mask) {
      if (slots[i] == offset) return false;
      if (slots[i] == 0) {
        slots[i] = offset;
        ++count_;
        return true;
      }
    }
  }
  void grow() {
    std::vector<std::uint32_t> bigger(slots_.empty() ? 64 : slots_.size() * 2, 0);
    count_ = 0;
    for (const std::uint32_t v : slots_)
      if (v != 0) insert_into(bigger, v);
    slots_ = std::move(bigger);
  }

  std::vector<std::uint32_t> slots_;
  std::size_t count_ = 0;
};

}  // namespace

common::ReadResult<DatHeader> DatHeader::read(common::Reader& reader) {
  namespace frames = lib_frames;
  common::RecordScope rec(reader, frames::kDatHeader);
  DatHeader h;
  RAVELIN_FIELD(rec, h.magic, frames::kHeaderMagic, reader.read_u32());
  RAVELIN_FIELD(rec, h.block_size, frames::kHeaderBlockSize, reader.read_u32());
  RAVELIN_FIELD(rec, h.file_size, frames::kHeaderFileSize, reader.read_u32());
  RAVELIN_FIELD(rec, h.dataset, frames::kHeaderDataset, reader.read_u32());
  RAVELIN_FIELD(rec, h.subset, frames::kHeaderSubset, reader.read_u32());
  RAVELIN_FIELD(rec, h.free_head, frames::kHeaderFreeHead, reader.read_u32());
  RAVELIN_FIELD(rec, h.free_tail, frames::kHeaderFreeTail, reader.read_u32());
  RAVELIN_FIELD(rec, h.free_count, frames::kHeaderFreeCount, reader.read_u32());
  RAVELIN_FIELD(rec, h.root_offset, frames::kHeaderRootOffset, reader.read_u32());
  RAVELIN_FIELD(rec, h.new_lru, frames::kHeaderNewLru, reader.read_u32());
  RAVELIN_FIELD(rec, h.old_lru, frames::kHeaderOldLru, reader.read_u32());
  RAVELIN_FIELD(rec, h.use_lru, frames::kHeaderUseLru, reader.read_u32());
  RAVELIN_FIELD(rec, h.master_map_id, frames::kHeaderMasterMapId, reader.read_u32());
  RAVELIN_FIELD(rec, h.engine_version, frames::kHeaderEngineVersion, reader.read_u32());
  RAVELIN_FIELD(rec, h.game_version, frames::kHeaderGameVersion, reader.read_u32());
  std::span<const std::uint8_t> version;
  RAVELIN_FIELD(rec, version, frames::kHeaderVersionString, reader.read_bytes(16));
  RAVELIN_FIELD(rec, h.version_minor, frames::kHeaderVersionMinor, reader.read_u32());
  std::copy(version.begin(), version.end(), h.version_string.begin());
  return h;
}

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path) {
  return open(path, common::default_file_system());
}

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path, common::FileSystem& fs) {
  return open(path, fs, nullptr);
}

DatResult<DatDatabase> DatDatabase::open(const std::filesystem::path& path, common::FileSystem& fs,
                                         EntryFilter keep) {
  auto file = common::File::open_read_only(path, fs);
  if (!file) return std::unexpected(DatError::path_error(path, file.error()));
  // Held through the File for the database's life. Any answer but Taken (no
  // locks on this file system) leaves the reader as it always was.
  (void)file->open_file().lock(kReaderLockByte, 1, common::LockKind::Shared, common::LockWait::Block);
  auto length = file->size();
  if (!length) return std::unexpected(DatError::io(length.error()));
  DatDatabase db(std::move(*file), *length);
  db.keep_ = keep;

  // The header is decoded from a buffer of what the file holds at 0x140, so a
  // short file fails on the exact field that runs out.
  std::vector<std::uint8_t> header_bytes(
      db.file_length_ > kHeaderOffset ? std::min(kHeaderSize, db.file_length_ - kHeaderOffset) : 0);
  if (auto r = db.file_.read_exact_at(kHeaderOffset, header_bytes); !r)
    return std::unexpected(DatError::io(r.error()));
  common::Reader reader(header_bytes);
  auto header = DatHeader::read(reader);
  if (!header) return std::unexpected(DatError::bin_read(std::move(header).error()));
  db.header_ = *header;
  if (auto r = db.read_directory(); !r) return std::unexpected(std::move(r).error());
  return db;
}

common::ReadResult<DatFileEntry> DatFileEntry::read(common::Reader& reader) {
  namespace frames = lib_frames;
  common::RecordScope rec(reader, frames::kDatFileEntry);
  DatFileEntry e;
  RAVELIN_FIELD(rec, e.bit_flags, frames::kEntryBitFlags, reader.read_u32());
  RAVELIN_FIELD(rec, e.id, frames::kEntryId, reader.read_u32());
  RAVELIN_FIELD(rec, e.offset, frames::kEntryOffset, reader.read_u32());
  RAVELIN_FIELD(rec, e.size, frames::kEntrySize, reader.read_u32());
  RAVELIN_FIELD(rec, e.timestamp, frames::kEntryTimestamp, reader.read_u32());
  RAVELIN_FIELD(rec, e.version, frames::kEntryVersion, reader.read_u32());
  return e;
}

DatResult<void> DatDatabase::read_directory() {
  entries_.clear();
  nodes_.clear();
  children_.clear();
  index_.clear();
  // A directory with entries left out cannot be descended as a tree: its
  // look-ups go through the index.
  ordered_ = keep_ == nullptr;
  // Room for one entry per block the archive could hold, so the table is never
  // copied while it grows; pages nobody writes are never touched.
  if (header_.block_size >= 5 && keep_ == nullptr)
    entries_.reserve(static_cast<std::size_t>(file_length_ / header_.block_size) + 1);
  if (auto r = read_node(header_.root_offset); !r) return r;
  if (ordered_) return {};
  nodes_ = {};
  children_ = {};
  build_index();
  return {};
}

namespace {

// True when the ids of `slots` increase strictly and lie in [low, high): the
// node's share of a strictly increasing in-order sequence.
bool ids_in_order(const DatFileEntry* slots, std::uint32_t count, std::uint64_t low, std::uint64_t high) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (slots[i].id < low || slots[i].id >= high) return false;
    low = std::uint64_t{slots[i].id} + 1;
  }
  return true;
}

}  // namespace

DatResult<void> DatDatabase::read_node(std::uint32_t offset) {
  if (offset == 0) return {};
  BlockWindow window(file_, file_length_, kDirectoryWindow);
  OffsetSet visited;
  std::vector<std::uint8_t> node(kNodeSize);
  // A node still to read, with the child slot of its parent it fills and the
  // ids its subtree must lie in, [low, high), for the order check.
  struct Pending {
    std::uint32_t offset;
    std::uint32_t slot;
    std::uint64_t low;
    std::uint64_t high;
  };
  // The next to visit on top: children are pushed in reverse so they pop
  // lowest index first, which keeps the depth-first order of a recursive walk
  // (and so which error comes first and which duplicate wins).
  std::vector<Pending> pending{{offset, kNoNode, 0, std::uint64_t{1} << 32}};
  while (!pending.empty()) {
    const Pending at = pending.back();
    pending.pop_back();
    if (!visited.insert(at.offset))
      return std::unexpected(
          DatError::corruption("directory node at offset " + offset_text(at.offset) + " visited twice"));
    if (kNodeSize > file_length_)
      return std::unexpected(DatError::io(IoError::failed_to_fill_whole_buffer()));
    if (auto r = read_chain(window, header_.block_size, file_length_, at.offset, node); !r) return r;

    std::uint32_t branches[kBranchCount];
    std::memcpy(branches, node.data(), sizeof branches);
    std::uint32_t entry_count;
    std::memcpy(&entry_count, node.data() + sizeof branches, 4);

    // The 61 slots lie inside the node buffer, so their field reads cannot fail:
    // take them in one copy. Only a count past the slots goes field by field,
    // to fail on the 62nd entry's first field with its context.
    const std::uint32_t in_slots = std::min(entry_count, kMaxEntriesPerNode);
    const auto first_entry = static_cast<std::uint32_t>(entries_.size());
    entries_.append_bytes(node.data() + kEntriesOffsetInNode, in_slots);
    common::Reader reader(node, kEntriesOffsetInNode + std::uint64_t{in_slots} * kEntrySize);
    for (std::uint32_t i = in_slots; i < entry_count; ++i) {
      auto entry = DatFileEntry::read(reader);
      if (!entry) return std::unexpected(DatError::bin_read(std::move(entry).error()));
      entries_.push_back(*entry);
    }
    // The node's own entries, in place: nothing is appended until the next node.
    const DatFileEntry* own = entries_.data() + first_entry;
    const bool leaf = branches[0] == 0;
    const auto first_child = static_cast<std::uint32_t>(children_.size());
    if (ordered_) ordered_ = ids_in_order(own, in_slots, at.low, at.high);
    if (ordered_) {
      if (at.slot != kNoNode) children_[at.slot] = static_cast<std::uint32_t>(nodes_.size());
      nodes_.push_back({first_entry, in_slots, leaf ? kNoNode : first_child});
      if (!leaf) children_.resize(std::size_t{first_child} + in_slots + 1, kNoNode);
    }
    if (!leaf) {
      const std::uint32_t last = std::min(entry_count, kBranchCount - 1);
      for (std::uint32_t i = last + 1; i-- > 0;) {
        if (branches[i] == 0) continue;
        // Child i holds the ids between entries i-1 and i.
        const std::uint64_t low = i == 0 ? at.low : std::uint64_t{own[i - 1].id} + 1;
        const std::uint64_t high = i == last ? at.high : own[i].id;
        pending.push_back({branches[i], ordered_ ? first_child + i : kNoNode, low, high});
      }
    }
    if (keep_ != nullptr) drop_unkept(first_entry);
  }
  return {};
}

void DatDatabase::drop_unkept(std::uint32_t first) {
  std::size_t kept = first;
  for (std::size_t i = first; i < entries_.size(); ++i)
    if (keep_(entries_[i].id)) entries_[kept++] = entries_[i];
  entries_.truncate(kept);
}

bool is_landblock_record_id(std::uint32_t id) { return (id & 0xFFFFu) >= 0xFFFEu; }

void DatDatabase::build_index() {
  index_.clear();
  if (entries_.empty()) return;
  // Capacity: a power of two at least twice the entries, so probes stay short.
  const std::uint64_t capacity = std::bit_ceil<std::uint64_t>(entries_.size() * 2);
  index_shift_ = 64 - std::countr_zero(capacity);
  index_.assign_zeroed(capacity);
  const std::uint64_t mask = capacity - 1;
  constexpr std::size_t kLookahead = 16;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    // The slots are random accesses into a large table: ask for them early.
    if (i + kLookahead < entries_.size())
      __builtin_prefetch(&index_[index_slot(entries_[i + kLookahead].id, index_shift_)], 1);
    const DatFileEntry entry = entries_[i];
    std::uint64_t slot = index_slot(entry.id, index_shift_);
    for (;; slot = (slot + 1) & mask) {
      const std::uint64_t v = index_[slot];
      if (v == 0) {
        entries_[kept] = entry;
        index_[slot] = (std::uint64_t{entry.id} << 32) | (kept + 1);
        ++kept;
        break;
      }
      if (static_cast<std::uint32_t>(v >> 32) == entry.id) {
        // A later visit of the same id replaces the earlier entry in place.
        entries_[static_cast<std::uint32_t>(v) - 1] = entry;
        break;
      }
    }
  }
  entries_.truncate(kept);
}

const DatFileEntry* DatDatabase::find_entry(std::uint32_t id) const {
  return ordered_ ? find_in_tree(id) : find_in_index(id);
}

const DatFileEntry* DatDatabase::find_in_tree(std::uint32_t id) const {
  if (nodes_.empty()) return nullptr;
  // Child indexes always point at later nodes (visiting order), so this ends.
  for (std::uint32_t at = 0;;) {
    const Node& node = nodes_[at];
    const DatFileEntry* first = entries_.data() + node.first_entry;
    const DatFileEntry* last = first + node.entry_count;
    const DatFileEntry* it =
        std::lower_bound(first, last, id, [](const DatFileEntry& e, std::uint32_t v) { return e.id < v; });
    if (it != last && it->id == id) return it;
    if (node.first_child == kNoNode) return nullptr;
    at = children_[node.first_child + static_cast<std::uint32_t>(it - first)];
    if (at == kNoNode) return nullptr;
  }
}

const DatFileEntry* DatDatabase::find_in_index(std::uint32_t id) const {
  if (index_.empty()) return nullptr;
  const std::uint64_t mask = index_.size() - 1;
  for (std::uint64_t slot = index_slot(id, index_shift_);; slot = (slot + 1) & mask) {
    const std::uint64_t v = index_[slot];
    if (v == 0) return nullptr;
    if (static_cast<std::uint32_t>(v >> 32) == id) return &entries_[static_cast<std::uint32_t>(v) - 1];
  }
}

template <class Visit>
void DatDatabase::walk_in_order(Visit visit) const {
  // Child 0, entry 0, child 1, ..., child n: ascending when the tree is ordered.
  struct Step {
    std::uint32_t node;
    std::uint32_t next;  // the branch to descend next; entry next - 1 comes first
  };
  std::vector<Step> stack{{0, 0}};
  while (!stack.empty()) {
    Step& step = stack.back();
    const Node& node = nodes_[step.node];
    if (step.next > node.entry_count) {
      stack.pop_back();
      continue;
    }
    if (step.next > 0) visit(node.first_entry + step.next - 1);
    const std::uint32_t branch = step.next++;
    if (node.first_child == kNoNode) continue;
    const std::uint32_t child = children_[node.first_child + branch];
    if (child != kNoNode) stack.push_back({child, 0});
  }
}

std::vector<DatFileEntry> DatDatabase::sorted_entries() const {
  if (!ordered_ || nodes_.empty()) {
    std::vector<DatFileEntry> out(entries_.begin(), entries_.end());
    std::sort(out.begin(), out.end(), [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
    return out;
  }
  // The tree's in-order walk is ascending already (that is what ordered means): no sort.
  std::vector<DatFileEntry> out;
  out.reserve(entries_.size());
  walk_in_order([&](std::uint32_t i) { out.push_back(entries_[i]); });
  return out;
}

std::vector<std::uint32_t> DatDatabase::sorted_order() const {
  std::vector<std::uint32_t> out;
  out.reserve(entries_.size());
  if (!ordered_ || nodes_.empty()) {
    for (std::uint32_t i = 0; i < entries_.size(); ++i) out.push_back(i);
    // Ids are unique once the index is built, so the order is total.
    std::sort(out.begin(), out.end(), [&](std::uint32_t a, std::uint32_t b) { return entries_[a].id < entries_[b].id; });
    return out;
  }
  walk_in_order([&](std::uint32_t i) { out.push_back(i); });
  return out;
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset,
                                                                  std::uint32_t size) const {
  if (size == 0) return std::vector<std::uint8_t>{};
  // A body longer than the whole archive can never be filled: fail before
  // allocating it (the same error a short read gives).
  if (size > file_length_) return std::unexpected(DatError::io(IoError::failed_to_fill_whole_buffer()));
  BlockWindow window(file_, file_length_, contiguous_span(header_.block_size, size));
  std::vector<std::uint8_t> out(size);
  if (auto r = read_chain(window, header_.block_size, file_length_, offset, out); !r)
    return std::unexpected(std::move(r).error());
  return out;
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_file(std::uint32_t id) const {
  const DatFileEntry* entry = find_entry(id);
  if (entry == nullptr) return std::unexpected(DatError::not_found(id));
  auto body = read_file_data(entry->offset, entry->size);
  if (!body) return body;
  if (!entry->is_compressed()) return body;
  return utils::decompress_lrs(*body);
}

std::string header_field_text(const DatHeader& header, const DatHeaderField& field) {
  switch (field.form) {
    case HeaderFieldForm::Decimal: return std::to_string(header.*field.word);
    case HeaderFieldForm::Hex: return common::hex_id(header.*field.word);
    case HeaderFieldForm::Bytes: break;
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t byte : header.version_string) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::vector<std::uint32_t> cell_landblock_ids(const DatDatabase& cell) {
  std::vector<std::uint32_t> ids;
  for (const DatFileEntry& entry : cell.entries())
    if (is_cell_landblock_file_id(entry.id)) ids.push_back(landblock_id_of(entry.id));
  return common::sorted_unique_ids(std::move(ids));
}

}  // namespace ravelin::dat
