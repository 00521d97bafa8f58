#include "ravelin/common/host_file_system.h"

#include <cerrno>
#include <utility>

namespace ravelin::common {
namespace {

IoError read_only() { return IoError::from_errno(EROFS); }

class HostFile final : public OpenFile {
 public:
  HostFile(HostFiles& host, std::uint32_t file) : host_(host), file_(file) {}
  ~HostFile() override { host_.close(file_); }
  HostFile(const HostFile&) = delete;
  HostFile& operator=(const HostFile&) = delete;

  IoResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    std::size_t done = 0;
    while (done < out.size()) {
      auto n = host_.read(file_, offset + done, out.subspan(done));
      if (!n) return std::unexpected(std::move(n.error()));
      if (*n == 0) break;
      done += *n;
    }
    return done;
  }
  IoResult<void> write_at(std::uint64_t, std::span<const std::uint8_t>) override {
    return std::unexpected(read_only());
  }
  IoResult<void> append(std::span<const std::uint8_t>) override { return std::unexpected(read_only()); }
  // Nothing was written, so everything is as durable as it will be.
  IoResult<void> sync() override { return {}; }
  IoResult<std::uint64_t> size() const override { return host_.size(file_); }
  IoResult<void> truncate(std::uint64_t) override { return std::unexpected(read_only()); }
  // Nobody else writes the host's files through us: a lock is never contended.
  IoResult<LockResult> lock(std::uint64_t, std::uint64_t, LockKind, LockWait) override {
    return LockResult::Unsupported;
  }
  IoResult<void> unlock(std::uint64_t, std::uint64_t) override { return {}; }
  IoResult<FileIdentity> identity() const override { return FileIdentity{0, file_}; }

 private:
  HostFiles& host_;
  std::uint32_t file_;
};

}  // namespace

std::string HostFileSystem::host_name(const Path& path) {
  std::string name = path.lexically_normal().generic_string();
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

IoResult<std::unique_ptr<OpenFile>> HostFileSystem::open_read_only(const Path& path) {
  auto file = host_.open(host_name(path));
  if (!file) return std::unexpected(std::move(file.error()));
  return std::make_unique<HostFile>(host_, *file);
}

IoResult<std::unique_ptr<OpenFile>> HostFileSystem::open_read_write(const Path& path) {
  auto kind = this->kind(path);
  if (!kind) return std::unexpected(std::move(kind.error()));
  return std::unexpected(*kind == FileKind::Missing ? IoError::from_errno(ENOENT) : read_only());
}

IoResult<std::unique_ptr<OpenFile>> HostFileSystem::create(const Path&, CreateMode) {
  return std::unexpected(read_only());
}

IoResult<std::vector<std::uint8_t>> HostFileSystem::read_whole(const Path& path) {
  auto file = open_read_only(path);
  if (!file) return std::unexpected(std::move(file.error()));
  auto size = (*file)->size();
  if (!size) return std::unexpected(std::move(size.error()));
  std::vector<std::uint8_t> out(static_cast<std::size_t>(*size));
  auto n = (*file)->read_at(0, out);
  if (!n) return std::unexpected(std::move(n.error()));
  out.resize(*n);
  return out;
}

IoResult<FileKind> HostFileSystem::kind(const Path& path) { return host_.kind(host_name(path)); }

IoResult<void> HostFileSystem::rename(const Path&, const Path&) { return std::unexpected(read_only()); }
IoResult<void> HostFileSystem::remove(const Path&) { return std::unexpected(read_only()); }
IoResult<void> HostFileSystem::create_directories(const Path&) { return std::unexpected(read_only()); }
IoResult<std::vector<std::string>> HostFileSystem::list_directory(const Path&) {
  return std::unexpected(IoError::from_errno(ENOTSUP));
}
IoResult<void> HostFileSystem::sync_directory(const Path&) { return {}; }
IoResult<void> HostFileSystem::sync_file_system(const Path&) { return {}; }
IoResult<void> HostFileSystem::check_writable(const Path&) { return std::unexpected(read_only()); }

}  // namespace ravelin::common
