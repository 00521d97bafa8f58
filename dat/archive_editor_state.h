// What an ArchiveEditor holds: the open file, the committed state as loaded
// (or as the last commit left it) and the pending batch.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dat/archive_editor_load.h"
#include "ravelin/dat/archive_editor_types.h"

namespace ravelin::dat {

struct EditorState {
  common::FileSystem* fs = nullptr;
  common::Path path;
  std::unique_ptr<common::OpenFile> file;
  // False where the file system gives no locks: blocks are then never reused.
  bool locks = true;
  // The committed state: header, grid, tree (with the batch's nodes on top),
  // free list and the blocks known to be leaked.
  LoadedArchive archive;
  DatHeader pending_header;
  // Stored bodies of the batch, by id.
  std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> bodies;
  // (offset, size) of committed bodies the batch replaced or removed.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> released;
  // Set when the state could not be read back after a failed commit: every
  // later call returns it.
  std::optional<EditError> broken;

  EditError file_error(std::string action, common::IoError error) const {
    return EditError::io(common::FileError{std::move(action), path, std::move(error)});
  }
  void drop_batch();
  // Reads the committed state back from the file after a failed commit.
  void reload();
  // The commit itself; `reuse` when the readers' byte is held.
  EditResult<CommitStats> run_commit(bool reuse);
};

// Problems of loading, as the editor reports them.
EditError load_error(const common::Path& path, LoadProblem problem);

}  // namespace ravelin::dat
