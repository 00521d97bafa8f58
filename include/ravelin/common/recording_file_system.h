// A FileSystem held in memory for crash and fault tests of everything that
// writes files. It records every operation that changes the file system, can
// fail any one of them, run out of space or stop as if the process had died
// there, and can compute a state that a power cut at this moment could leave.
//
// Paths are normalised lexically ("a/./b/../c" is "a/c"); relative paths are
// taken against the root given at construction, which exists from the start.
// There are no symbolic links, and directories are not renamed (EOPNOTSUPP).
//
// What a power cut keeps (power_loss):
// - the state as seeded, and every change made durable since: a file's content
//   by its sync, a directory's entries by sync_directory, everything by
//   sync_file_system;
// - of each write or size change made to a file since its last sync: kept or
//   lost, each on its own; a kept write may be torn at any 512-byte boundary
//   of the file (each 512-byte aligned sector it covers lands whole or not at
//   all), and what lands does so in any order;
// - of each create, rename, remove and directory creation not yet made
//   durable: happened or not, each on its own, in the order issued (a rename
//   whose file never came to be does nothing). A rename is made durable by a
//   sync of the directory it renames into.
//
// Locks follow open-file-description semantics: they belong to one OpenFile,
// an OpenFile never conflicts with itself, and closing it drops its locks.
// LockWait::Block never waits: a conflict fails with EDEADLK
// ("Resource deadlock avoided"), since in one test thread nobody else could
// release the lock.
//
// Thread-safe: one mutex guards the whole state. Open files keep the state
// alive, so they may outlive the RecordingFileSystem that opened them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"

namespace ravelin::common {

class RecordingState;

enum class OperationKind : std::uint8_t {
  Create,             // path
  Write,              // path, offset, length
  Truncate,           // path, length = the new size
  Sync,               // path
  Rename,             // path -> to
  Remove,             // path
  CreateDirectories,  // path
  SyncDirectory,      // path
  SyncFileSystem,     // path
};

enum class OperationOutcome : std::uint8_t {
  Applied,
  Failed,   // an error, injected or real; nothing changed
  Refused,  // after the stop point: the process had died
};

// One call that changes (or would change) the file system. Writes, truncation
// and syncs name the path their file was opened under.
struct Operation {
  OperationKind kind = OperationKind::Create;
  Path path{};
  Path to{};
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  OperationOutcome outcome = OperationOutcome::Applied;

  bool operator==(const Operation&) const = default;
};

// "write /out/a.part 0+512", "rename /out/a.part /out/a (failed)".
std::string to_string(const Operation& operation);
std::string_view to_string(OperationKind kind);

class RecordingFileSystem final : public FileSystem {
 public:
  explicit RecordingFileSystem(const Path& root = "/");
  ~RecordingFileSystem() override;
  RecordingFileSystem(RecordingFileSystem&&) noexcept;
  RecordingFileSystem& operator=(RecordingFileSystem&&) noexcept;

  // The absolute, lexically normal form of `path` (relative to the root).
  Path normalise(const Path& path) const;

  // Seeding and inspection for tests. Seeded files and directories are durable
  // at once and not recorded; parents are created as needed.
  void put_file(const Path& path, std::span<const std::uint8_t> bytes);
  void put_file(const Path& path, std::string_view text);
  void put_directory(const Path& path);
  // Something that is neither a regular file nor a directory (a FIFO, a
  // device): opening it is refused, read_whole streams `bytes` from it.
  void put_special(const Path& path, std::string_view bytes = {});
  // A directory this process may not write: check_writable and any change of
  // its entries fail with EACCES.
  void set_writable(const Path& directory, bool writable);
  // The bytes of a regular file; nothing when there is none.
  std::optional<std::vector<std::uint8_t>> file_bytes(const Path& path) const;
  std::optional<std::string> file_text(const Path& path) const;
  // Every regular file, ascending.
  std::vector<Path> list_files() const;

  // Every operation that changed or tried to change the file system, in order.
  // Operation numbers below are indexes into this list.
  std::vector<Operation> operations() const;
  // The operation numbered `index` fails with `error_code` (an errno) without
  // being applied.
  void fail_operation(std::size_t index, int error_code);
  // Writes and size changes that would make the regular files (open or named)
  // hold more than `bytes` fail with ENOSPC, like a full disk.
  void set_capacity(std::uint64_t bytes);
  // Operations numbered `count` and later are refused and not applied, as if
  // the process had died after `count` of them.
  void stop_after(std::size_t count);
  // Drops injected failures, the capacity and the stop point: a new process.
  void clear_faults();
  // Whether lock() gives locks; without, every lock() answers Unsupported, as
  // on a file system that gives none (ENOLCK, EOPNOTSUPP).
  void set_locks_supported(bool supported);

  // A state a power cut now could leave (see the top of this file), chosen by
  // `seed`: equal seeds give equal states. Everything in it is durable.
  RecordingFileSystem power_loss(std::uint64_t seed) const;
  // The state a power cut now leaves when every change not made durable is lost.
  RecordingFileSystem synced_state() const;

  IoResult<std::unique_ptr<OpenFile>> open_read_only(const Path& path) override;
  IoResult<std::unique_ptr<OpenFile>> open_read_write(const Path& path) override;
  IoResult<std::unique_ptr<OpenFile>> create(const Path& path, CreateMode mode) override;
  IoResult<std::vector<std::uint8_t>> read_whole(const Path& path) override;
  IoResult<FileKind> kind(const Path& path) override;
  IoResult<void> rename(const Path& from, const Path& to) override;
  IoResult<void> remove(const Path& path) override;
  IoResult<void> create_directories(const Path& path) override;
  IoResult<std::vector<std::string>> list_directory(const Path& path) override;
  IoResult<void> sync_directory(const Path& path) override;
  IoResult<void> sync_file_system(const Path& path) override;
  IoResult<void> check_writable(const Path& path) override;

 private:
  explicit RecordingFileSystem(std::shared_ptr<RecordingState> state);
  std::shared_ptr<RecordingState> state_;
};

}  // namespace ravelin::common
