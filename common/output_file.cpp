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
  Path path;
  Path temporary;
  Durability durability = Durability::Synced;
  std::unique_ptr<OpenFile> file;  // null for an external writer
  std::vector<std::uint8_t> buffer;
  std::uint64_t written = 0;
  std::optional<FileError> error;
  bool done = false;  // committed or abandoned

  FileResult<void> fail(std::string action, IoError io) {
    if (!error) error = FileError{std::move(action), path, std::move(io)};
    return std::unexpected(*error);
  }
  FileResult<void> flush() {
    if (buffer.empty() || !file) return {};
    if (auto r = file->write_at(written, buffer); !r) return fail("write", r.error());
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

FileResult<OutputFile> OutputFile::create(const Path& path, Durability durability, FileSystem& fs) {
  auto state = std::make_unique<State>();
  state->fs = &fs;
  state->path = path;
  state->temporary = temporary_path(path);
  state->durability = durability;
  // Truncating replaces what a killed run left under the same name.
  auto file = fs.create(state->temporary, CreateMode::Truncate);
  if (!file) return std::unexpected(FileError{"write", path, file.error()});
  state->file = std::move(*file);
  state->buffer.reserve(kBufferSize);
  return OutputFile(std::move(state));
}

FileResult<OutputFile> OutputFile::for_external_writer(const Path& path, FileSystem& fs) {
  auto state = std::make_unique<State>();
  state->fs = &fs;
  state->path = path;
  state->temporary = temporary_path(path);
  if (auto removed = fs.remove(state->temporary); !removed)
    return std::unexpected(FileError{"remove", state->temporary, removed.error()});
  return OutputFile(std::move(state));
}

FileResult<void> OutputFile::write(std::span<const std::uint8_t> bytes) {
  State& s = *state_;
  if (s.error) return std::unexpected(*s.error);
  if (s.buffer.size() + bytes.size() > kBufferSize) {
    if (auto r = s.flush(); !r) return r;
    if (bytes.size() >= kBufferSize) {
      if (auto r = s.file->write_at(s.written, bytes); !r) return s.fail("write", r.error());
      s.written += bytes.size();
      return {};
    }
  }
  s.buffer.insert(s.buffer.end(), bytes.begin(), bytes.end());
  return {};
}

FileResult<void> OutputFile::write(std::string_view text) { return write(bytes_of(text)); }

FileResult<void> OutputFile::commit() {
  State& s = *state_;
  if (s.error) return std::unexpected(*s.error);
  if (auto r = s.flush(); !r) return r;
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
  if (auto r = s.fs->rename(s.temporary, s.path); !r) return s.fail("rename", r.error());
  s.done = true;
  if (synced)
    if (auto r = s.fs->sync_directory(parent_directory(s.path)); !r) return s.fail("sync", r.error());
  return {};
}

void OutputFile::abandon() {
  if (!state_ || state_->done) return;
  state_->done = true;
  state_->file.reset();
  (void)state_->fs->remove(state_->temporary);
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
                                   FileSystem& fs) {
  auto file = OutputFile::create(path, durability, fs);
  if (!file) return std::unexpected(std::move(file.error()));
  if (auto r = file->write(bytes); !r) return r;
  return file->commit();
}

FileResult<void> write_output_file(const Path& path, std::string_view text, Durability durability, FileSystem& fs) {
  return write_output_file(path, bytes_of(text), durability, fs);
}

}  // namespace ravelin::common
