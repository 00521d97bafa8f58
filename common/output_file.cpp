#include "ravelin/common/output_file.h"

#include <optional>
#include <utility>
#include <vector>

namespace ravelin::common {
namespace {

// Large enough that a manifest or a picture is one write, small enough to be
// nothing beside the work that produces it.
constexpr std::size_t kBufferSize = 1 << 16;

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

Path temporary_path(const Path& path) {
  Path temporary = path;
  temporary += std::string(kTemporarySuffix);
  return temporary;
}

bool is_temporary_name(std::string_view name) {
  return name.size() > kTemporarySuffix.size() && name.ends_with(kTemporarySuffix);
}

struct OutputFile::State {
  FileSystem* fs = nullptr;
  Path path;       // as the caller named it, for error texts
  Path target;     // where it goes: `path` with a symbolic link resolved
  Path temporary;  // empty when written in place
  Durability durability = Durability::Synced;
  std::unique_ptr<OpenFile> file;  // null for an external writer
  std::vector<std::uint8_t> buffer;
  std::uint64_t written = 0;  // bytes appended to the file
  std::uint64_t started = 0;  // of those, handed to start_writeback
  std::optional<FileError> error;
  bool done = false;  // committed or abandoned

  FileResult<void> fail(std::string action, IoError io) {
    if (!error) error = FileError{std::move(action), path, std::move(io)};
    return std::unexpected(*error);
  }
  FileResult<void> flush() {
    if (buffer.empty() || !file) return {};
    if (auto r = file->append(buffer); !r) return fail("write", r.error());
    written += buffer.size();
    buffer.clear();
    return {};
  }
};

OutputFile::OutputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    abandon();
    state_ = std::move(other.state_);
  }
  return *this;
}
OutputFile::~OutputFile() { abandon(); }

// Names the system gives to streams and devices (/dev/stdout, /dev/null,
// /proc/self/fd/1): whatever is behind them, a redirected file included, is
// written in place, as the shell that set it up expects (`>>` appends).
bool is_system_name(const Path& path) {
  const std::string& text = path.native();
  return text.starts_with("/dev/") || text.starts_with("/proc/");
}

// The state of an output to `path`: where it goes, and whether that is a
// device or pipe (/dev/null, /dev/stdout on a terminal), which is written in
// place since there is no file to replace.
FileResult<std::unique_ptr<OutputFile::State>> OutputFile::start(const Path& path, Durability durability,
                                                                 FileSystem& fs, Target target) {
  auto state = std::make_unique<State>();
  state->fs = &fs;
  state->path = path;
  state->durability = durability;
  if (target == Target::OwnName) {
    state->target = path;
    state->temporary = temporary_path(path);
    return state;
  }
  if (is_system_name(path)) {
    state->target = path;
    return state;
  }
  auto resolved = fs.resolve(path);
  if (!resolved) return std::unexpected(FileError{"write", path, resolved.error()});
  state->target = std::move(*resolved);
  auto kind = fs.kind(state->target);
  if (!kind) return std::unexpected(FileError{"write", path, kind.error()});
  if (*kind != FileKind::Other) state->temporary = temporary_path(state->target);
  return state;
}

FileResult<OutputFile> OutputFile::create(const Path& path, Durability durability, FileSystem& fs, Target target) {
  auto state = start(path, durability, fs, target);
  if (!state) return std::unexpected(std::move(state.error()));
  State& s = **state;
  // Truncating replaces what a killed run left under the same name; a stream
  // is written after what it holds.
  auto file = s.temporary.empty() ? fs.create(s.target, CreateMode::Append)
                                  : fs.create(s.temporary, CreateMode::Truncate);
  if (!file) return std::unexpected(FileError{"write", path, file.error()});
  s.file = std::move(*file);
  return OutputFile(std::move(*state));
}

FileResult<OutputFile> OutputFile::for_external_writer(const Path& path, FileSystem& fs) {
  auto state = start(path, Durability::Synced, fs, Target::AsNamed);
  if (!state) return std::unexpected(std::move(state.error()));
  State& s = **state;
  if (s.temporary.empty())
    return std::unexpected(FileError{"write", path, IoError{0, "not a regular file"}});
  if (auto removed = fs.remove(s.temporary); !removed)
    return std::unexpected(FileError{"remove", s.temporary, removed.error()});
  return OutputFile(std::move(*state));
}

FileResult<void> OutputFile::write(std::span<const std::uint8_t> bytes) {
  State& s = *state_;
  if (s.error) return std::unexpected(*s.error);
  if (s.buffer.size() + bytes.size() > kBufferSize) {
    if (auto r = s.flush(); !r) return r;
    if (bytes.size() >= kBufferSize) return write_through(bytes);
  }
  s.buffer.insert(s.buffer.end(), bytes.begin(), bytes.end());
  return {};
}

FileResult<void> OutputFile::write_through(std::span<const std::uint8_t> bytes) {
  State& s = *state_;
  if (s.error) return std::unexpected(*s.error);
  if (auto r = s.flush(); !r) return r;
  if (auto r = s.file->append(bytes); !r) return s.fail("write", r.error());
  s.written += bytes.size();
  return {};
}

void OutputFile::start_writeback() {
  State& s = *state_;
  if (!s.file || s.error || s.durability != Durability::Synced || s.written == s.started) return;
  s.file->start_writeback(s.started, s.written - s.started);
  s.started = s.written;
}

FileResult<void> OutputFile::write(std::string_view text) { return write(bytes_of(text)); }

FileResult<void> OutputFile::commit() {
  State& s = *state_;
  if (s.error) return std::unexpected(*s.error);
  if (auto r = s.flush(); !r) return r;
  if (s.temporary.empty()) {
    s.file.reset();
    s.done = true;
    return {};
  }
  const bool synced = s.durability == Durability::Synced;
  if (s.file) {
    if (synced)
      if (auto r = s.file->sync(); !r) return s.fail("sync", r.error());
    s.file.reset();
  } else if (synced) {
    // The external writer has closed its file: open it again to sync it.
    auto file = s.fs->open_read_only(s.temporary);
    if (!file) return s.fail("sync", file.error());
    if (auto r = (*file)->sync(); !r) return s.fail("sync", r.error());
  }
  if (auto r = s.fs->rename(s.temporary, s.target); !r) return s.fail("rename", r.error());
  s.done = true;
  if (synced)
    if (auto r = s.fs->sync_directory(parent_directory(s.target)); !r) return s.fail("sync", r.error());
  return {};
}

void OutputFile::abandon() {
  if (!state_ || state_->done) return;
  state_->done = true;
  state_->file.reset();
  if (!state_->temporary.empty()) (void)state_->fs->remove(state_->temporary);
}

const Path& OutputFile::path() const { return state_->path; }
Path OutputFile::temporary() const { return state_->temporary; }

IoResult<void> create_directories_synced(const Path& dir, FileSystem& fs) {
  // The missing directories, deepest first, up to the nearest that exists.
  std::vector<Path> missing;
  for (Path at = dir; !at.empty();) {
    auto kind = fs.kind(at);
    if (!kind) return std::unexpected(std::move(kind.error()));
    if (*kind != FileKind::Missing) break;
    missing.push_back(at);
    const Path parent = at.parent_path();
    if (parent == at) break;
    at = parent;
  }
  if (auto r = fs.create_directories(dir); !r) return r;
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (auto r = fs.sync_directory(parent_directory(*it)); !r) return r;
  return {};
}

FileResult<void> write_output_file(const Path& path, std::span<const std::uint8_t> bytes, Durability durability,
                                   FileSystem& fs, Target target) {
  auto file = OutputFile::create(path, durability, fs, target);
  if (!file) return std::unexpected(std::move(file.error()));
  // One write of the whole: no copy into the buffer.
  if (auto r = file->write_through(bytes); !r) return r;
  return file->commit();
}

FileResult<void> write_output_file(const Path& path, std::string_view text, Durability durability, FileSystem& fs,
                                   Target target) {
  return write_output_file(path, bytes_of(text), durability, fs, target);
}

}  // namespace ravelin::common
