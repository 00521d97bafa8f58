// Writes DAT archives in the container format the reader opens: the header at
// 0x140, fixed-size blocks chained by u32 links, and a directory tree of
// 1716-byte nodes. Tests, the demo and the benchmarks build their archives with
// it; options cover the awkward layouts, and the returned layout lets a test
// patch bytes to make the broken ones.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/common/file.h"

namespace ravelin::dat_writer {

// How the blocks of one stored item are placed.
enum class ChainLayout : std::uint8_t {
  Contiguous,     // blocks follow each other in file order
  Scattered,      // an unused, pattern-filled block between every two blocks
  Reversed,       // the chain runs backwards through the file
  OversizedLast,  // the second block has link 0 and carries every remaining byte
};

// The seventeen header fields. `block_size`, `root_offset` and `file_size` are
// filled in by `build` unless `ArchiveOptions` overrides them.
struct HeaderFields {
  std::uint32_t magic = 0x5442;
  std::uint32_t block_size = 0;
  std::uint32_t file_size = 0;
  std::uint32_t dataset = 1;
  std::uint32_t subset = 1;
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
};

struct ArchiveOptions {
  std::uint32_t block_size = 256;   // at least 5; blocks are laid out with it
  std::uint32_t entries_per_node = 61;  // 1 to 61, for the generated tree
  ChainLayout node_layout = ChainLayout::Contiguous;
  // Values written to the header instead of the real ones (broken archives).
  std::optional<std::uint32_t> header_block_size = std::nullopt;
  std::optional<std::uint32_t> header_root_offset = std::nullopt;
};

struct FileOptions {
  bool compressed = false;  // store LZ-compressed and set flag bit 0
  // With `compressed`: the bytes already are a stored body (declared length and
  // token stream) and are stored as given.
  bool raw = false;
  std::uint32_t extra_flags = 0;  // further bit_flags bits, kept by the reader
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;
  // Size written to the entry instead of the stored length (the body is still
  // stored whole).
  std::optional<std::uint32_t> size_override = std::nullopt;
  ChainLayout layout = ChainLayout::Contiguous;
};

// Index of a file in the order `add_file` was called.
using FileHandle = std::size_t;

// An explicit directory node for `build_tree`. `children[i]` is branch i; a child
// marked `absent` leaves its branch 0. `entry_count` replaces the stored count
// (for example 62, past the 61 slots); slots beyond the files stay zero.
struct NodeDef {
  std::vector<FileHandle> files;
  std::vector<NodeDef> children;
  bool absent = false;
  std::optional<std::uint32_t> entry_count = std::nullopt;
  // Branch values written as given, overriding children (cycles, wild links).
  std::vector<std::pair<std::size_t, std::uint32_t>> raw_branches;
};

// Where `build` put things, for tests that patch the bytes afterwards.
struct ArchiveLayout {
  std::vector<std::uint8_t> bytes;
  // Block offsets of each file's chain in chain order, by handle; empty for a
  // file that is not in the tree or has no stored bytes.
  std::vector<std::vector<std::uint32_t>> file_blocks;
  // Block offsets of each node's chain, nodes in depth-first visiting order.
  std::vector<std::vector<std::uint32_t>> node_blocks;
  std::uint32_t root_offset = 0;
  std::uint32_t block_size = 0;
};

// Overwrites the little-endian u32 at `offset` of `bytes`.
void patch_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

class ArchiveWriter {
 public:
  explicit ArchiveWriter(ArchiveOptions options = {});

  HeaderFields& header() { return header_; }

  // Adds a file body; bodies are kept in one arena, so a million small files
  // cost no per-file allocation.
  FileHandle add_file(std::uint32_t id, std::span<const std::uint8_t> bytes, FileOptions options = {});
  std::size_t file_count() const { return files_.size(); }
  // Drops every file added with `id` (their bodies stay in the arena, unused);
  // the number dropped. Handles of files added after it move down.
  std::size_t remove_file(std::uint32_t id);

  // Lays the archive out with a generated B-tree over all files sorted by id (for
  // a repeated id only the file added last is kept), at most `entries_per_node`
  // entries per node. No files gives root_offset 0.
  ArchiveLayout build() const;
  // The same with the given tree; files may appear in several nodes or none.
  ArchiveLayout build_tree(const NodeDef& root) const;
  // `build()` written to `path` with one write, in place (a scratch file).
  common::IoResult<void> write(const std::filesystem::path& path,
                               common::FileSystem& fs = common::default_file_system()) const;

 private:
  struct StoredFile {
    std::uint32_t id;
    std::uint32_t bit_flags;
    std::uint32_t timestamp;
    std::uint32_t version;
    std::uint32_t recorded_size;
    std::size_t body_at;  // into arena_
    std::size_t body_size;
    ChainLayout layout;
  };
  class Builder;

  ArchiveOptions options_;
  HeaderFields header_;
  std::vector<StoredFile> files_;
  std::vector<std::uint8_t> arena_;
};

}  // namespace ravelin::dat_writer
