// Whole archives written afresh: the writer that compact, the editor's create
// and pack share, and compact itself.
//
// A fresh archive is the header region (the first grid block, the header at
// 0x140), the directory nodes in depth-first order, then the bodies, each a
// contiguous chain of whole blocks; the directory a B-tree of minimum degree
// 31 built bottom-up (every node but the root 30 to 61 entries, leaves at one
// depth), no free blocks, file_size the file's length. It is streamed to an
// output file (a temporary beside the target, synced, renamed over it, the
// directory synced), one body in memory at a time.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

class CompactError {
 public:
  enum class Kind : std::uint8_t {
    Busy,      // another editor (or compact) holds the archive
    Io,        // a file operation failed
    Archive,   // the source archive could not be read
    TooLarge,  // the result would pass the 4 GiB that 32-bit offsets reach
    BadInput,  // entries not ascending, or a body order that is not one
  };

  CompactError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  Kind kind() const { return kind_; }
  // The one display text, e.g. "world/client_cell_1.dat is being changed by
  // another process" or "IO error: write out.dat: No space left on device".
  const std::string& to_string() const { return text_; }
  bool operator==(const CompactError&) const = default;

 private:
  Kind kind_;
  std::string text_;
};

template <class T>
using CompactResult = std::expected<T, CompactError>;

// Where a fresh archive's stored bodies come from: a source archive's chains,
// files on disk, bytes in memory.
class StoredBodySource {
 public:
  virtual ~StoredBodySource() = default;
  // Fills `out` (entries[index].size bytes) with the stored bytes of entry
  // `index`, as they are to be stored (compressed or not, never converted).
  virtual DatResult<void> read(std::size_t index, std::span<std::uint8_t> out) = 0;
  // For a source that is an archive of the block size being written: where
  // the chain of entry `index` starts in it, when all of the chain's whole
  // blocks lie inside the source. Bodies whose chains follow each other block
  // after block there are then read in one piece, straight into place, and
  // only their links rewritten. nullopt (the default): every body through read().
  virtual std::optional<std::uint64_t> chain_offset(std::size_t /*index*/) const { return std::nullopt; }
  // `out.size()` bytes of the source archive at `offset`, as they lie.
  virtual DatResult<void> read_chains(std::uint64_t /*offset*/, std::span<std::uint8_t> /*out*/) {
    return std::unexpected(DatError::other("this source has no chains to read"));
  }
};

// Bodies held in memory, one span per entry.
class MemoryBodySource final : public StoredBodySource {
 public:
  explicit MemoryBodySource(std::span<const std::span<const std::uint8_t>> bodies) : bodies_(bodies) {}
  DatResult<void> read(std::size_t index, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::span<const std::uint8_t>> bodies_;
};

struct FreshArchive {
  // Every field kept as given but block_size (used), file_size, the free list
  // and root_offset (set by the writer).
  DatHeader header;
  // Strictly ascending by id; `size` is the stored length, `offset` is not
  // used; bit_flags, timestamp and version are written as given.
  std::span<const DatFileEntry> entries;
  // The order in which the bodies follow each other, as indexes into
  // `entries`, each non-empty entry once; empty: ascending by id. Reading a
  // source archive in its own order keeps its reads sequential.
  std::span<const std::uint32_t> body_order;
  // Bytes 0x000 to 0x13F, which no reader reads, to keep (fewer: zeros follow).
  std::span<const std::uint8_t> prefix;
};

struct FreshArchiveStats {
  std::uint64_t length = 0;  // the file's length, its file_size
  std::uint64_t nodes = 0;
  std::uint32_t depth = 0;
  std::uint64_t body_blocks = 0;
};

// Writes `archive` to `path`. A block size below 5 with any entry, or a result
// past 4 GiB, fails (TooLarge) before anything is written.
CompactResult<FreshArchiveStats> write_fresh_archive(const common::Path& path, const FreshArchive& archive,
                                                     StoredBodySource& bodies,
                                                     common::FileSystem& fs = common::default_file_system());

struct CompactStats {
  std::uint64_t entries = 0;
  std::uint64_t nodes = 0;
  std::uint32_t depth = 0;
  std::uint64_t length_before = 0;
  std::uint64_t length_after = 0;
};

// Rewrites the archive at `path` as a fresh archive, to `out_path` or in place:
// the entries the reader sees (the last of a repeated id), their stored bytes
// copied and their fields kept, the kept header fields, block size and bytes
// 0x000 to 0x13F. Whatever nothing reaches (free and leaked blocks, bytes past
// file_size) is dropped; a readable directory that is not a search tree comes
// out as one. Holds the editors' lock byte (0x120) on the source throughout:
// exclusively when replacing it, shared when writing elsewhere; Busy when an
// editor has it.
CompactResult<CompactStats> compact_archive(const common::Path& path,
                                            const std::optional<common::Path>& out_path = std::nullopt,
                                            common::FileSystem& fs = common::default_file_system());

}  // namespace ravelin::dat
