// The editor's error, its put options and what a commit reports
// (ArchiveEditor, archive_editor.h).
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <utility>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/error.h"

namespace ravelin::dat {

class EditError {
 public:
  enum class Kind : std::uint8_t {
    Busy,      // another editor has the archive
    Refused,   // the archive cannot be edited as it is (compact rewrites it)
    NotFound,  // remove of an id the pending state lacks
    TooLarge,  // the edit would take the archive past 4 GiB; nothing changed
    Io,        // a file operation failed
    Archive,   // the archive could not be read
  };

  static EditError busy(const common::Path& path);
  static EditError refused(const common::Path& path, std::string finding);
  static EditError not_found(const common::Path& path, std::uint32_t id);
  static EditError too_large(const common::Path& path);
  static EditError io(common::FileError error);
  static EditError archive(const common::Path& path, DatError error);

  Kind kind() const { return kind_; }
  // Refused: what is wrong with the archive.
  const std::string& finding() const { return finding_; }
  // Io: the failed operation.
  const std::optional<common::FileError>& file_error() const { return file_error_; }
  // The one display text, e.g. "client_cell_1.dat is being changed by another
  // process" or "IO error: write client_cell_1.dat: No space left on device".
  const std::string& to_string() const { return text_; }

 private:
  EditError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
  std::string finding_;
  std::optional<common::FileError> file_error_;
};

template <class T>
using EditResult = std::expected<T, EditError>;

// How put() stores a file. Unset fields come from the entry replaced, else 0.
struct PutOptions {
  bool compress = false;
  std::optional<std::uint32_t> flags = std::nullopt;  // bit_flags other than bit 0 (which says compressed)
  std::optional<std::uint32_t> timestamp = std::nullopt;
  std::optional<std::uint32_t> version = std::nullopt;
};

// What a commit did, in blocks.
struct CommitStats {
  std::uint64_t blocks_written = 0;    // new bodies and node copies
  std::uint64_t blocks_reused = 0;     // of those, free or reclaimed blocks
  std::uint64_t blocks_appended = 0;   // of those, after the file's end
  std::uint64_t blocks_freed = 0;      // joined the free list after the commit
  std::uint64_t blocks_reclaimed = 0;  // leaked blocks reused or put on the free list
  std::uint64_t blocks_left_leaked = 0;  // freed while readers were open: left for a later commit
  bool reuse = false;  // whether the commit could reuse blocks (no reader had the archive open)
};

}  // namespace ravelin::dat
