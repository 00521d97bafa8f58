// DatDatabase: one archive opened read-only, its header and its whole directory
// loaded at open; file bodies are fetched by id through positioned reads.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/error.h"
#include "ravelin/dat/huge_page_array.h"

namespace ravelin::dat {

// File offset of the archive header; the bytes before it are never read.
inline constexpr std::uint64_t kHeaderOffset = 0x140;
// Stored size of the header.
inline constexpr std::uint64_t kHeaderSize = 80;
// Stored size of a directory node: 62 branches, the entry count, 61 entry slots.
inline constexpr std::uint32_t kNodeSize = 1716;
inline constexpr std::uint32_t kBranchCount = 62;
inline constexpr std::uint32_t kMaxEntriesPerNode = 61;
inline constexpr std::uint32_t kEntrySize = 24;
inline constexpr std::uint32_t kEntriesOffsetInNode = 252;
// Bit of `DatFileEntry::bit_flags` marking a compressed body.
inline constexpr std::uint32_t kCompressedFlag = 0x1;
// Advisory locks between processes, on bytes before the header that nothing
// reads: an editor holds kEditorLockByte exclusively while it lives; every
// DatDatabase holds kReaderLockByte shared while it lives, and an editor's
// commit reuses free blocks only while it holds that byte exclusively.
inline constexpr std::uint64_t kEditorLockByte = 0x120;
inline constexpr std::uint64_t kReaderLockByte = 0x121;

// The archive header as stored at 0x140. Only `block_size` and `root_offset`
// steer reading; the rest is kept as read, never validated.
struct DatHeader {
  std::uint32_t magic = 0;
  std::uint32_t block_size = 0;
  std::uint32_t file_size = 0;
  std::uint32_t dataset = 0;
  std::uint32_t subset = 0;
  std::uint32_t free_head = 0;
  std::uint32_t free_tail = 0;
  std::uint32_t free_count = 0;
  std::uint32_t root_offset = 0;
  std::uint32_t new_lru = 0;
  std::uint32_t old_lru = 0;
  std::uint32_t use_lru = 0;
  std::uint32_t master_map_id = 0;
  std::uint32_t engine_version = 0;
  std::uint32_t game_version = 0;
  std::array<std::uint8_t, 16> version_string{};
  std::uint32_t version_minor = 0;

  // Reads the seventeen fields in order, each with its field context; on failure
  // the reader is back at the header's first byte.
  static common::ReadResult<DatHeader> read(common::Reader& reader);

  bool operator==(const DatHeader&) const = default;
};

// How a header field is shown (by `dat info`, the database's meta rows and
// Python): a decimal number, "0x" and eight upper-case hexadecimal digits, or
// the 16 version bytes as 32 upper-case hexadecimal digits.
enum class HeaderFieldForm : std::uint8_t { Decimal, Hex, Bytes };

struct DatHeaderField {
  std::string_view name;
  HeaderFieldForm form;
  std::uint32_t DatHeader::*word;  // nullptr for version_string, the one field that is not a word
};

// The seventeen header fields in stored order, under their names.
inline constexpr std::array<DatHeaderField, 17> kDatHeaderFields = {{
    {"magic", HeaderFieldForm::Hex, &DatHeader::magic},
    {"block_size", HeaderFieldForm::Decimal, &DatHeader::block_size},
    {"file_size", HeaderFieldForm::Decimal, &DatHeader::file_size},
    {"dataset", HeaderFieldForm::Decimal, &DatHeader::dataset},
    {"subset", HeaderFieldForm::Decimal, &DatHeader::subset},
    {"free_head", HeaderFieldForm::Hex, &DatHeader::free_head},
    {"free_tail", HeaderFieldForm::Hex, &DatHeader::free_tail},
    {"free_count", HeaderFieldForm::Decimal, &DatHeader::free_count},
    {"root_offset", HeaderFieldForm::Hex, &DatHeader::root_offset},
    {"new_lru", HeaderFieldForm::Hex, &DatHeader::new_lru},
    {"old_lru", HeaderFieldForm::Hex, &DatHeader::old_lru},
    {"use_lru", HeaderFieldForm::Hex, &DatHeader::use_lru},
    {"master_map_id", HeaderFieldForm::Hex, &DatHeader::master_map_id},
    {"engine_version", HeaderFieldForm::Decimal, &DatHeader::engine_version},
    {"game_version", HeaderFieldForm::Decimal, &DatHeader::game_version},
    {"version_string", HeaderFieldForm::Bytes, nullptr},
    {"version_minor", HeaderFieldForm::Decimal, &DatHeader::version_minor},
}};

// The field's value in its form: "0x00005442", "1024", "00FF...".
std::string header_field_text(const DatHeader& header, const DatHeaderField& field);

// One directory entry: where a file's body starts and how long it is stored.
struct DatFileEntry {
  std::uint32_t bit_flags = 0;  // bit 0: body stored compressed
  std::uint32_t id = 0;
  std::uint32_t offset = 0;  // first block of the body
  std::uint32_t size = 0;    // stored length (compressed length when compressed)
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;

  bool is_compressed() const { return (bit_flags & kCompressedFlag) != 0; }

  // Reads the six fields in order, each with its field context.
  static common::ReadResult<DatFileEntry> read(common::Reader& reader);

  bool operator==(const DatFileEntry&) const = default;
};
// Stored and held alike: six little-endian u32, so node slots copy straight in.
static_assert(sizeof(DatFileEntry) == kEntrySize && std::is_trivially_copyable_v<DatFileEntry>);

class DatDatabase {
 public:
  // The `new` operation: opens the archive at `path` read-only, reads the header
  // at 0x140 and the whole directory tree. Takes kReaderLockByte shared
  // (waiting while an editor's commit holds it) and keeps it until the
  // database is destroyed; where the file system gives no locks it reads
  // without. Errors: PathError when the file cannot
  // be opened; BinRead for a short or unreadable header or a node with more than
  // 61 entries; Io when a block chain leaves the file; Corruption for a node
  // visited twice, a block chain longer than the archive could hold, or a block
  // size below 5 (no room for a link and a payload byte).
  static DatResult<DatDatabase> open(const std::filesystem::path& path);
  // The same through `fs`, which must outlive the database.
  static DatResult<DatDatabase> open(const std::filesystem::path& path, common::FileSystem& fs);
  // Keeps only the directory entries whose id `keep` accepts: for a reader
  // that knows which ids it will ask for, in a fraction of the memory (a
  // million-entry directory takes 24 MB). The whole tree is read and checked
  // as open() does; the other ids read as absent, from find_entry, get_file,
  // entries() and the rest alike.
  using EntryFilter = bool (*)(std::uint32_t id);
  static DatResult<DatDatabase> open(const std::filesystem::path& path, common::FileSystem& fs, EntryFilter keep);

  DatDatabase(DatDatabase&&) noexcept = default;
  DatDatabase& operator=(DatDatabase&&) noexcept = default;

  // The bytes of file `id`, decompressed when its entry says so. NotFound when the
  // directory lacks the id; Io/Corruption from the block chain. Const and only
  // positioned reads: safe to call from several threads at once.
  DatResult<std::vector<std::uint8_t>> get_file(std::uint32_t id) const;

  // Reads `size` bytes of the block chain starting at `offset`. Size 0 reads
  // nothing. A size beyond the archive's length fails with Io "failed to fill
  // whole buffer" before anything is allocated.
  DatResult<std::vector<std::uint8_t>> read_file_data(std::uint32_t offset, std::uint32_t size) const;

  const DatHeader& header() const { return header_; }
  // Length of the archive file when it was opened.
  std::uint64_t file_length() const { return file_length_; }
  std::size_t entry_count() const { return entries_.size(); }
  // The entry for `id`, or nullptr. Valid as long as the database lives.
  const DatFileEntry* find_entry(std::uint32_t id) const;
  // Every entry, one per id, in the order each id was first met in the tree.
  std::span<const DatFileEntry> entries() const { return entries_.span(); }
  // Every entry, ascending by id.
  std::vector<DatFileEntry> sorted_entries() const;
  // Indices into entries() in the order of sorted_entries(): 4 bytes an entry
  // where a copy of the entries takes 24.
  std::vector<std::uint32_t> sorted_order() const;
  // True when look-ups descend the tree as read (its ids in order, each once);
  // false when they go through the hash index (a repeated or misplaced id).
  bool is_ordered() const { return ordered_; }

 private:
  // A node as read: its entries are entries_[first_entry, first_entry + entry_count)
  // in stored order; an internal node's children are children_[first_child + i]
  // for branch i = 0..entry_count (kNoNode for a branch of 0); a leaf has
  // first_child kNoNode.
  struct Node {
    std::uint32_t first_entry = 0;
    std::uint32_t entry_count = 0;
    std::uint32_t first_child = 0;
  };
  static constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

  DatDatabase(common::File file, std::uint64_t file_length) : file_(std::move(file)), file_length_(file_length) {}

  // Loads the tree below `header_.root_offset` into `entries_`, then keeps the
  // tree for look-ups when its ids are in order, or builds the hash index.
  DatResult<void> read_directory();
  // Reads the node at `offset` and, depth first, the nodes below it, appending
  // their entries in visiting order and recording the nodes. Checks on the way
  // that the in-order ids (child 0, entry 0, child 1, ..., child n) increase
  // strictly; the first node that breaks this clears `ordered_`. Uses an
  // explicit stack, so depth is bounded only by the visited-node guard.
  DatResult<void> read_node(std::uint32_t offset);
  // Drops the entries from `first` on that keep_ refuses.
  void drop_unkept(std::uint32_t first);
  // Folds duplicate ids (the later entry replaces the earlier one in place) and
  // fills the open-addressing index.
  void build_index();
  const DatFileEntry* find_in_tree(std::uint32_t id) const;
  // Calls visit(index into entries_) for every entry in the tree's in-order
  // walk; ascending by id while `ordered_`.
  template <class Visit>
  void walk_in_order(Visit visit) const;
  const DatFileEntry* find_in_index(std::uint32_t id) const;

  common::File file_;
  std::uint64_t file_length_ = 0;
  DatHeader header_;
  EntryFilter keep_ = nullptr;  // null: every entry
  HugePageArray<DatFileEntry> entries_;
  // The tree, kept while `ordered_`: no id repeats and every subtree lies
  // between its separators, so a descent finds what the index would.
  bool ordered_ = true;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> children_;
  // Only when not `ordered_`: open-addressing table of (id, index into
  // entries_ + 1); 0 marks a free slot.
  HugePageArray<std::uint64_t> index_;
  std::uint32_t index_shift_ = 64;
};

// True for the ids of a landblock's own records in the cell archive, its
// CellLandblock (0xXXYYFFFF) and LandblockInfo (0xXXYYFFFE): all a bake reads
// there (a DatDatabase::EntryFilter).
bool is_landblock_record_id(std::uint32_t id);

// Every landblock id (landblock number in the high 16 bits) whose
// CellLandblock the directory of the cell archive `cell` lists, ascending.
std::vector<std::uint32_t> cell_landblock_ids(const DatDatabase& cell);

}  // namespace ravelin::dat
