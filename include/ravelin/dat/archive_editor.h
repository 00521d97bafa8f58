// ArchiveEditor: puts and removes files in an archive, a batch at a time, each
// batch published by one commit that no crash can tear.
//
// A commit is copy-on-write: new bodies and new copies of the directory nodes
// whose bytes change go into blocks the committed state does not use, are
// synced, and then the header (80 bytes inside the first 512-byte sector)
// names the new tree and is synced: that write is the commit. Blocks of the old
// state join the free list only afterwards. Free blocks are reused only while
// no reader has the archive open (byte 0x121 held exclusively for the commit);
// otherwise the commit appends after the file's real end. Whatever the moment a
// process dies or the power goes, the archive holds the state before the
// commit or the state after it, and at worst some blocks nothing uses, which
// the next commit that may reuse blocks reclaims.
//
// One editor per archive at a time: the editor holds byte 0x120 exclusively for
// its whole life; a second one gets EditError::Kind::Busy.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/archive_editor_types.h"
#include "ravelin/dat/error.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

struct EditorState;

class ArchiveEditor {
 public:
  // Opens `path` for changing: takes the editors' byte, checks the path still
  // names the file opened, reads the header, the directory and the free list.
  // Refuses (Refused) a directory that is not a search tree, nodes or free
  // blocks outside the file or off the block grid, a cycle, a free list that
  // does not add up.
  static EditResult<ArchiveEditor> open(const common::Path& path,
                                        common::FileSystem& fs = common::default_file_system());
  // Writes a new empty archive at `path` (an output file: the old file at
  // `path`, if any, is replaced whole) with `block_size` and the kept fields of
  // `kept_fields`, and opens it.
  static EditResult<ArchiveEditor> create(const common::Path& path, std::uint32_t block_size,
                                          const DatHeader& kept_fields,
                                          common::FileSystem& fs = common::default_file_system());

  ArchiveEditor(ArchiveEditor&&) noexcept;
  ArchiveEditor& operator=(ArchiveEditor&&) noexcept;
  ~ArchiveEditor();

  // Adds or replaces file `id` with `bytes`, compressed when asked.
  EditResult<void> put(std::uint32_t id, std::span<const std::uint8_t> bytes, const PutOptions& options = {});
  // Adds or replaces file `id` with a body stored as it is (compressed or not,
  // as bit 0 of `bit_flags` says) and its fields.
  EditResult<void> put_stored(std::uint32_t id, std::span<const std::uint8_t> stored, std::uint32_t bit_flags,
                              std::uint32_t timestamp, std::uint32_t version);
  // NotFound when the pending state lacks `id`.
  EditResult<void> remove(std::uint32_t id);
  // Publishes the batch. On an error the batch is dropped and the archive
  // holds the state before it.
  EditResult<CommitStats> commit();
  // Drops the batch; nothing is written.
  void abandon();

  // The pending state. An entry's offset is meaningful only once committed.
  std::optional<DatFileEntry> find(std::uint32_t id) const;
  std::uint64_t entry_count() const;
  const DatHeader& header() const;
  // Every entry of the pending state, ascending by id.
  std::vector<DatFileEntry> entries() const;
  // The stored bytes of `id` in the pending state (a pending body, or read
  // from the archive).
  EditResult<std::vector<std::uint8_t>> stored_bytes(std::uint32_t id) const;
  // Takes the fields a caller may set from `fields`: magic, dataset, subset,
  // the LRU fields, master_map_id, the version fields. block_size, file_size,
  // the free list and root_offset stay the editor's.
  void set_kept_fields(const DatHeader& fields);
  bool has_changes() const;
  const common::Path& path() const;

 private:
  explicit ArchiveEditor(std::unique_ptr<EditorState> state);
  std::unique_ptr<EditorState> state_;
};

}  // namespace ravelin::dat
