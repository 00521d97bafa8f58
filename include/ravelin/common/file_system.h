// The platform layer for files. Every file the libraries and the tools open,
// read, write, rename, sync or lock goes through a FileSystem: the machine's
// own (POSIX) by default, a RecordingFileSystem in tests that sees every write
// and sync and can fail or stop after any of them. Nothing above this layer
// calls open(2), std::filesystem's operations or stdio on a file.
//
// Errors are IoError values with the system's message; FileError adds what was
// being done and to which file, for the "IO error: ACTION PATH: MESSAGE" texts.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/io_error.h"

namespace ravelin::common {

using Path = std::filesystem::path;

// A failed operation on a named file. Its text is
// "IO error: {action} {path}: {message}", e.g.
// "IO error: write out/0xA9B4.events.jsonl: No space left on device".
struct FileError {
  std::string action;  // "write", "create", "rename", "sync", ...
  Path path;
  IoError error;

  std::string to_string() const;
  bool operator==(const FileError&) const = default;
};

template <class T>
using FileResult = std::expected<T, FileError>;

// "IO error: {action} {path}: {message}", the one form every I/O error text of
// the tools takes.
std::string io_error_text(std::string_view action, const Path& path, std::string_view message);

// What a path names (symbolic links followed).
enum class FileKind : std::uint8_t { Missing, Regular, Directory, Other };

// Advisory byte-range locks belong to the open file (the open file
// description), not to the process: two opens of one file in one process
// conflict like two processes would, and closing one open file never drops
// the other's locks.
enum class LockKind : std::uint8_t { Shared, Exclusive };
enum class LockWait : std::uint8_t { Block, NoWait };
enum class LockResult : std::uint8_t {
  Taken,
  Busy,         // NoWait and another open file holds a conflicting lock
  Unsupported,  // the file system gives no locks (ENOLCK, EOPNOTSUPP)
};

// Which file an open file is: equal identities are the same file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// One open file. Reads and writes are positioned and never move a shared file
// position, so one OpenFile may be read from several threads at once; writes,
// syncs, truncation and locks are for one thread at a time.
class OpenFile {
 public:
  virtual ~OpenFile() = default;

  // Reads up to out.size() bytes at `offset` and returns how many were read,
  // fewer only at the end of the file (0 past it). Interrupted reads are retried.
  virtual IoResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
  // Writes all of `bytes` at `offset` (short writes repeated), or fails.
  virtual IoResult<void> write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Writes all of `bytes` at the file's own position, which moves past them: the
  // one write that also serves a pipe or a device.
  virtual IoResult<void> append(std::span<const std::uint8_t> bytes) = 0;
  // Makes everything written so far durable (fsync).
  virtual IoResult<void> sync() = 0;
  // Starts writing [offset, offset + length) out to the device without waiting
  // for it: a long write then overlaps with the disk and the sync at its end
  // has little left to do. A hint, promising nothing; where there is nothing to
  // start (memory, a pipe) it does nothing.
  virtual void start_writeback(std::uint64_t /*offset*/, std::uint64_t /*length*/) {}
  virtual IoResult<std::uint64_t> size() const = 0;
  virtual IoResult<void> truncate(std::uint64_t size) = 0;
  // Locks [offset, offset + length) of the file.
  virtual IoResult<LockResult> lock(std::uint64_t offset, std::uint64_t length, LockKind kind, LockWait wait) = 0;
  virtual IoResult<void> unlock(std::uint64_t offset, std::uint64_t length) = 0;
  virtual IoResult<FileIdentity> identity() const = 0;
};

// How create() treats a file that is there already: emptied, refused, or
// written after its end.
enum class CreateMode : std::uint8_t { Truncate, Exclusive, Append };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens a regular file for reading. Whatever is not a regular file (a FIFO,
  // a device, a directory) is refused at once with the IoError
  // "not a regular file": the open does not block, the kind is checked on the
  // opened file.
  virtual IoResult<std::unique_ptr<OpenFile>> open_read_only(const Path& path) = 0;
  // Opens an existing regular file for reading and writing, refused like
  // open_read_only when it is not one.
  virtual IoResult<std::unique_ptr<OpenFile>> open_read_write(const Path& path) = 0;
  // Creates a regular file for reading and writing (mode 0666 less the umask).
  // With Truncate, an existing file of another kind (a device, a FIFO) is
  // opened for writing as it is.
  virtual IoResult<std::unique_ptr<OpenFile>> create(const Path& path, CreateMode mode) = 0;
  // The whole content of a file read as a stream, so that a pipe (`<(...)`,
  // /dev/stdin) serves as well as a regular file: for small inputs.
  virtual IoResult<std::vector<std::uint8_t>> read_whole(const Path& path) = 0;

  virtual IoResult<FileKind> kind(const Path& path) = 0;
  // The path a write to `path` reaches: a symbolic link resolved to the file it
  // names (so that a file put in place replaces the target, not the link);
  // anything else as it is.
  virtual IoResult<Path> resolve(const Path& path) { return path; }
  // Renames `from` to `to`, replacing a file at `to`.
  virtual IoResult<void> rename(const Path& from, const Path& to) = 0;
  // Removes a file; a file that is not there is not an error.
  virtual IoResult<void> remove(const Path& path) = 0;
  // Creates a directory and its missing parents; one that exists is not an error.
  virtual IoResult<void> create_directories(const Path& path) = 0;
  // The names in a directory (no "." or ".."), in no particular order.
  virtual IoResult<std::vector<std::string>> list_directory(const Path& path) = 0;
  // Makes the directory's entries (created, renamed, removed files) durable.
  virtual IoResult<void> sync_directory(const Path& path) = 0;
  // Makes every file of the file system holding `path` durable at once
  // (syncfs): one call for many files renamed into place without their own sync.
  virtual IoResult<void> sync_file_system(const Path& path) = 0;
  // Whether this process may create files in the directory `path` (write and
  // search permission); the IoError says why not.
  virtual IoResult<void> check_writable(const Path& path) = 0;
};

// The machine's own file system. Stateless; lives for the whole program.
FileSystem& posix_file_system();
// The file system the libraries and tools use when given none: the machine's.
FileSystem& default_file_system();

// Path as display text (invalid UTF-8 replaced by U+FFFD).
std::string display_path(const Path& path);
// Joins a directory and a name.
Path join_path(const Path& dir, std::string_view name);
// The directory holding `path` ("." for a bare name).
Path parent_directory(const Path& path);

// The problem with writing files into `dir`, creating it when missing: the
// nearest existing part of the path must be a directory this process can
// write. Checked before any work starts, without creating anything; the
// error reads "IO error: create DIR: PART is not a directory" or
// "IO error: create DIR: PART: Permission denied".
FileResult<void> check_output_directory(const Path& dir, FileSystem& fs = default_file_system());

}  // namespace ravelin::common
