#include "ravelin/dat/archive_compact.h"

#include <algorithm>
#include <utility>

#include "dat/block_reader.h"
#include "ravelin/common/file.h"

namespace ravelin::dat {
namespace {

// Times the source is opened again when it was replaced between the open and
// the lock (by another compact).
constexpr int kOpenAttempts = 4;
// Read-ahead of the source: bodies are read in file order.
constexpr std::size_t kSourceWindow = std::size_t{1} << 20;

CompactError file_error(std::string action, const common::Path& path, const common::IoError& error) {
  return {CompactError::Kind::Io, common::FileError{std::move(action), path, error}.to_string()};
}

CompactError busy(const common::Path& path) {
  return {CompactError::Kind::Busy, common::display_path(path) + " is being changed by another process"};
}

// The source opened and locked: the open file holds byte 0x120 and is the
// file the path names.
CompactResult<common::File> open_locked(const common::Path& path, bool exclusive, common::FileSystem& fs) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    auto opened = exclusive ? fs.open_read_write(path) : fs.open_read_only(path);
    if (!opened) return std::unexpected(file_error("open", path, opened.error()));
    common::File file(std::move(*opened));
    auto locked = file.open_file().lock(kEditorLockByte, 1,
                                        exclusive ? common::LockKind::Exclusive : common::LockKind::Shared,
                                        common::LockWait::NoWait);
    if (!locked) return std::unexpected(file_error("lock", path, locked.error()));
    if (*locked == common::LockResult::Busy) return std::unexpected(busy(path));
    // Another compact may have renamed a new file over the path before the
    // lock was ours: then this one is no longer the archive.
    auto mine = file.open_file().identity();
    if (!mine) return std::unexpected(file_error("open", path, mine.error()));
    auto again = fs.open_read_only(path);
    if (!again) return std::unexpected(file_error("open", path, again.error()));
    auto theirs = (*again)->identity();
    if (!theirs) return std::unexpected(file_error("open", path, theirs.error()));
    if (*mine == *theirs) return file;
  }
  return std::unexpected(busy(path));
}

// Whether the two paths name one file (then writing to one replaces the other).
bool same_file(const common::Path& a, const common::Path& b, common::FileSystem& fs) {
  auto kind = fs.kind(b);
  if (!kind || *kind != common::FileKind::Regular) return false;
  auto file_a = fs.open_read_only(a);
  auto file_b = fs.open_read_only(b);
  if (!file_a || !file_b) return false;
  auto id_a = (*file_a)->identity();
  auto id_b = (*file_b)->identity();
  return id_a && id_b && *id_a == *id_b;
}

// The stored bytes of the source's entries, read through their chains.
class ChainBodySource final : public StoredBodySource {
 public:
  ChainBodySource(const common::File& file, std::uint64_t length, std::uint32_t block_size,
                  std::span<const DatFileEntry> entries)
      : file_(file), length_(length), reader_(file, length, kSourceWindow), block_size_(block_size),
        entries_(entries) {}

  DatResult<void> read(std::size_t index, std::span<std::uint8_t> out) override {
    return read_block_chain(reader_, block_size_, entries_[index].offset, out);
  }

  std::optional<std::uint64_t> chain_offset(std::size_t index) const override {
    const DatFileEntry& entry = entries_[index];
    if (block_size_ < 5 || entry.offset == 0) return std::nullopt;
    const std::uint64_t blocks = (std::uint64_t{entry.size} + block_size_ - 5) / (block_size_ - 4);
    if (entry.offset + blocks * block_size_ > length_) return std::nullopt;
    return entry.offset;
  }

  DatResult<void> read_chains(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (auto r = file_.read_exact_at(offset, out); !r) return std::unexpected(DatError::io(r.error()));
    return {};
  }

 private:
  const common::File& file_;
  std::uint64_t length_;
  BlockReader reader_;
  std::uint32_t block_size_;
  std::span<const DatFileEntry> entries_;
};

// Sorts keys of the form (u32 value << 32 | u32 index) by their value,
// stably, in two passes of 16 bits over the array: a million keys in a few
// milliseconds where a comparison sort takes a hundred. Already sorted keys
// cost one pass.
void sort_by_high_word(std::vector<std::uint64_t>& keys) {
  if (std::is_sorted(keys.begin(), keys.end())) return;
  std::vector<std::uint64_t> sorted(keys.size());
  std::vector<std::size_t> starts(std::size_t{1} << 16);
  for (const int shift : {32, 48}) {
    std::fill(starts.begin(), starts.end(), 0);
    for (const std::uint64_t k : keys) ++starts[(k >> shift) & 0xFFFF];
    std::size_t at = 0;
    for (std::size_t& start : starts) at += std::exchange(start, at);
    for (const std::uint64_t k : keys) sorted[starts[(k >> shift) & 0xFFFF]++] = k;
    keys.swap(sorted);
  }
}

CompactError archive_error(const common::Path& path, const DatError& error) {
  if (error.kind() == DatError::Kind::PathError) return {CompactError::Kind::Archive, error.to_string()};
  return {CompactError::Kind::Archive, common::display_path(path) + ": " + error.to_string()};
}

}  // namespace

CompactResult<CompactStats> compact_archive(const common::Path& path, const std::optional<common::Path>& out_path,
                                            common::FileSystem& fs) {
  // Writing elsewhere only reads the source: a shared hold of the editors'
  // byte keeps editors out and lets a read-only archive be compacted.
  const bool in_place = !out_path.has_value() || same_file(path, *out_path, fs);
  auto source = open_locked(path, in_place, fs);
  if (!source) return std::unexpected(std::move(source).error());
  auto length = source->size();
  if (!length) return std::unexpected(file_error("read", path, length.error()));

  auto db = DatDatabase::open(path, fs);
  if (!db) return std::unexpected(archive_error(path, db.error()));
  // The entries by id, and the bodies in the source's own order (so its
  // reads run forward) through keys of offset and position.
  const std::vector<DatFileEntry> entries = db->sorted_entries();
  constexpr std::uint64_t kIndex = 0xFFFFFFFFu;
  std::vector<std::uint64_t> keys;
  keys.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].size > 0) keys.push_back(std::uint64_t{entries[i].offset} << 32 | i);
  sort_by_high_word(keys);
  std::vector<std::uint32_t> order(keys.size());
  for (std::size_t k = 0; k < keys.size(); ++k) order[k] = static_cast<std::uint32_t>(keys[k] & kIndex);
  keys = {};
  const DatHeader header = db->header();

  std::vector<std::uint8_t> prefix(std::min<std::uint64_t>(*length, kHeaderOffset));
  if (auto r = source->read_exact_at(0, prefix); !r) return std::unexpected(file_error("read", path, r.error()));

  ChainBodySource bodies(*source, *length, header.block_size, entries);
  const FreshArchive fresh{.header = header, .entries = entries, .body_order = order, .prefix = prefix};
  auto written = write_fresh_archive(in_place ? path : *out_path, fresh, bodies, fs);
  if (!written) {
    CompactError error = std::move(written).error();
    if (error.kind() != CompactError::Kind::Archive) return std::unexpected(std::move(error));
    return std::unexpected(CompactError{error.kind(), common::display_path(path) + ": " + error.to_string()});
  }
  return CompactStats{.entries = entries.size(),
                      .nodes = written->nodes,
                      .depth = written->depth,
                      .length_before = *length,
                      .length_after = written->length};
}

}  // namespace ravelin::dat
