// Files a user keeps are never half-written: each is written under a temporary
// name in its own directory (NAME + kTemporarySuffix), synced, renamed over
// NAME and the directory synced, so that NAME is always absent, the old file or
// the whole new one. A failure removes the temporary and names NAME; a process
// killed half way leaves at most the temporary, which the next write of NAME
// replaces. A device or pipe (/dev/null, /dev/stdout) is written in place, and
// a symbolic link is written through: the file it names is the one replaced.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"

namespace ravelin::common {

// The suffix of every temporary output file of every command.
inline constexpr std::string_view kTemporarySuffix = ".part";
// NAME + kTemporarySuffix, beside NAME.
Path temporary_path(const Path& path);
// Whether a directory entry's name is a temporary of one of ours.
bool is_temporary_name(std::string_view name);

// When the file is made durable.
enum class Durability : std::uint8_t {
  // Synced before the rename, its directory after it.
  Synced,
  // Renamed without a sync: for many files made durable together by one
  // FileSystem::sync_file_system before whatever refers to them is committed.
  Deferred,
};

// How the path is taken.
enum class Target : std::uint8_t {
  // As the user named it: a symbolic link written through, a device or pipe
  // written in place.
  AsNamed,
  // A name the program owns in a directory it fills (bake-all's files): put in
  // place over whatever is there, without looking at it first, which saves a
  // lookup for each of many thousand files.
  OwnName,
};

// One output file being written. Writes are buffered; commit() puts the file in
// place; destroying an uncommitted OutputFile (or abandon()) removes the
// temporary. The first error is kept: later writes do nothing and commit()
// returns it.
class OutputFile {
 public:
  // Creates the temporary (replacing a leftover of an earlier run).
  static FileResult<OutputFile> create(const Path& path, Durability durability = Durability::Synced,
                                       FileSystem& fs = default_file_system(), Target target = Target::AsNamed);
  // For a file another writer fills (a database library that does its own
  // I/O): the temporary is not opened here; the writer creates it at
  // temporary_path() and closes it before commit(), which syncs, renames and
  // syncs the directory like any other. A leftover temporary is removed.
  static FileResult<OutputFile> for_external_writer(const Path& path, FileSystem& fs = default_file_system());

  OutputFile(OutputFile&&) noexcept;
  OutputFile& operator=(OutputFile&&) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  FileResult<void> write(std::span<const std::uint8_t> bytes);
  FileResult<void> write(std::string_view text);
  // Writes what is buffered, then `bytes` with no copy: for a large piece.
  FileResult<void> write_through(std::span<const std::uint8_t> bytes);
  // Starts the device on what was written since the last call (a synced file
  // of hundreds of megabytes then spends little time in commit()'s sync).
  void start_writeback();
  FileResult<void> commit();
  // Removes the temporary; the file at path() stays as it was.
  void abandon();

  const Path& path() const;
  Path temporary() const;

 private:
  struct State;
  explicit OutputFile(std::unique_ptr<State> state);
  static FileResult<std::unique_ptr<State>> start(const Path& path, Durability durability, FileSystem& fs,
                                                   Target target);
  std::unique_ptr<State> state_;
};

// Creates `dir` and its missing parents, and syncs the directory holding each
// one it creates: an output file committed below survives a power cut only if
// the directories leading to it do.
IoResult<void> create_directories_synced(const Path& dir, FileSystem& fs = default_file_system());

// The whole of `bytes` as the file at `path`, through an OutputFile.
FileResult<void> write_output_file(const Path& path, std::span<const std::uint8_t> bytes,
                                   Durability durability = Durability::Synced, FileSystem& fs = default_file_system(),
                                   Target target = Target::AsNamed);
FileResult<void> write_output_file(const Path& path, std::string_view text,
                                   Durability durability = Durability::Synced, FileSystem& fs = default_file_system(),
                                   Target target = Target::AsNamed);

}  // namespace ravelin::common
