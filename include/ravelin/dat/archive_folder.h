// Whole archives as folders, and files carried between archives.
//
// A folder holds one file per entry and two descriptions:
//   DIR/files/0xXXXXXXXX  each file's bytes (eight upper-case hex digits),
//                         decompressed, or stored as the archive holds them
//   DIR/index.jsonl       one line per entry, ascending by id: id, bit_flags,
//                         timestamp, version, compressed, size (stored)
//   DIR/header.json       every header field under its name, and whether the
//                         files are stored bodies ("stored")
// index.jsonl is written last: a folder without it is an extract that did not
// finish. Packing a folder writes a fresh archive (archive_compact.h) under a
// temporary name, synced and renamed into place.
//
// Copying carries entries from one archive into another as they are stored:
// bodies are never decompressed or compressed again, and the fields stay.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/archive_editor.h"

namespace ravelin::dat {

class FolderError {
 public:
  enum class Kind : std::uint8_t {
    Io,        // a file operation failed
    Archive,   // the source archive could not be read
    BadInput,  // the folder or an option is not what pack takes
    NotEmpty,  // extract into a folder that holds something, without force
    NotFound,  // an id the archive lacks
    Busy,      // another editor holds the target
    TooLarge,  // the archive would pass 4 GiB
  };

  FolderError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  Kind kind() const { return kind_; }
  // The one display text the CLI prints after "error: ", naming the file or
  // the line: "w/index.jsonl:3: file id 0x01000002 is already on line 2".
  const std::string& to_string() const { return text_; }

 private:
  Kind kind_;
  std::string text_;
};

template <class T>
using FolderResult = std::expected<T, FolderError>;

struct ExtractOptions {
  std::vector<std::uint32_t> ids = {};  // empty: every entry
  bool stored = false;             // the stored bytes, not decompressed
  bool force = false;              // write into a folder that holds something
};

struct ExtractStats {
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;  // written under files/
};

// Writes the folder for the archive at `archive`. Every file is synced at the
// end in one pass over the file system, then header.json and index.jsonl are
// written and synced. With `force`, files/ entries of an earlier extract that
// this one does not write are removed.
FolderResult<ExtractStats> extract_archive(const common::Path& archive, const common::Path& dir,
                                           const ExtractOptions& options = {},
                                           common::FileSystem& fs = common::default_file_system());

struct PackOptions {
  // Overrides header.json's block size: more than 8 and a multiple of 4.
  std::optional<std::uint32_t> block_size = std::nullopt;
  // Bytes of stored bodies kept in memory from the pass that sizes every
  // file, so that a folder of many small files is opened once, not twice;
  // bodies past it are read again while the archive is written.
  std::uint64_t held_budget = std::uint64_t{256} << 20;
};

struct PackStats {
  std::uint64_t entries = 0;
  std::uint64_t nodes = 0;
  std::uint32_t depth = 0;
  std::uint64_t length = 0;
};

// Writes the archive the folder `dir` describes to `archive`. A stored folder
// gives every entry its file's bytes as they are; otherwise a file whose line
// says `compressed` is compressed again. Every line, every file and header.json
// is checked before the archive is started; nothing is left at `archive` or
// beside it when packing fails.
FolderResult<PackStats> pack_folder(const common::Path& dir, const common::Path& archive,
                                    const PackOptions& options = {},
                                    common::FileSystem& fs = common::default_file_system());

struct CopyStats {
  std::uint64_t added = 0;
  std::uint64_t replaced = 0;
};

// Puts each entry `ids` names in `from` into the pending state of `to`, with
// its stored bytes and fields; an id `to` holds already is replaced. Nothing
// is committed. NotFound (naming `from`) when `from` lacks an id, before
// anything is put.
EditResult<CopyStats> copy_entries(const DatDatabase& from, const common::Path& from_path, ArchiveEditor& to,
                                   std::span<const std::uint32_t> ids);

// `ravelin-bake dat cp`: copy_entries from the archive at `from` into the one
// at `to`, published in one commit.
EditResult<CopyStats> copy_between(const common::Path& from, const common::Path& to,
                                   std::span<const std::uint32_t> ids, CommitStats* commit = nullptr,
                                   common::FileSystem& fs = common::default_file_system());

}  // namespace ravelin::dat
