// The machine's file system through POSIX calls: the default one of the
// native build.
#include "ravelin/common/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace ravelin::common {
namespace {

IoError last_error() { return IoError::from_errno(errno); }

template <class Call>
auto retry_interrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

class PosixFile final : public OpenFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  IoResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::unexpected(last_error());
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  IoResult<void> write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::unexpected(last_error());
      }
      done += static_cast<std::size_t>(n);
    }
    return {};
  }

  IoResult<void> append(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::unexpected(last_error());
      }
      done += static_cast<std::size_t>(n);
    }
    return {};
  }

  IoResult<void> sync() override {
    if (retry_interrupted([&] { return ::fsync(fd_); }) != 0) return std::unexpected(last_error());
    return {};
  }

  void start_writeback(std::uint64_t offset, std::uint64_t length) override {
#if defined(SYNC_FILE_RANGE_WRITE)
    // A hint: a file system or file that cannot (EINVAL, ESPIPE) is synced
    // whole by sync() all the same.
    (void)::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
  }

  IoResult<std::uint64_t> size() const override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return std::unexpected(last_error());
    return static_cast<std::uint64_t>(st.st_size);
  }

  IoResult<void> truncate(std::uint64_t size) override {
    if (retry_interrupted([&] { return ::ftruncate(fd_, static_cast<off_t>(size)); }) != 0)
      return std::unexpected(last_error());
    return {};
  }

  IoResult<LockResult> lock(std::uint64_t offset, std::uint64_t length, LockKind kind, LockWait wait) override {
    struct flock range = {};
    range.l_type = kind == LockKind::Shared ? F_RDLCK : F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = static_cast<off_t>(length);
    const int command = wait == LockWait::Block ? F_OFD_SETLKW : F_OFD_SETLK;
    if (retry_interrupted([&] { return ::fcntl(fd_, command, &range); }) == 0) return LockResult::Taken;
    if (errno == EAGAIN || errno == EACCES) return LockResult::Busy;
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return LockResult::Unsupported;
    return std::unexpected(last_error());
  }

  IoResult<void> unlock(std::uint64_t offset, std::uint64_t length) override {
    struct flock range = {};
    range.l_type = F_UNLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = static_cast<off_t>(length);
    if (::fcntl(fd_, F_OFD_SETLK, &range) != 0) return std::unexpected(last_error());
    return {};
  }

  IoResult<FileIdentity> identity() const override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return std::unexpected(last_error());
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  int fd() const { return fd_; }

 private:
  int fd_;
};

// Opens without blocking (a FIFO with no writer would wait for ever), then
// keeps only a regular file; the descriptor goes back to blocking mode.
IoResult<std::unique_ptr<OpenFile>> open_regular(const Path& path, int access) {
  const int fd = retry_interrupted([&] { return ::open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC); });
  // A directory opened for writing fails before it can be looked at.
  if (fd < 0 && errno == EISDIR) return std::unexpected(IoError::not_a_regular_file());
  if (fd < 0) return std::unexpected(last_error());
  auto file = std::make_unique<PosixFile>(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0) return std::unexpected(last_error());
  if (!S_ISREG(st.st_mode)) return std::unexpected(IoError::not_a_regular_file());
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return std::unexpected(last_error());
  return file;
}

class PosixFileSystem final : public FileSystem {
 public:
  IoResult<std::unique_ptr<OpenFile>> open_read_only(const Path& path) override {
    return open_regular(path, O_RDONLY);
  }
  IoResult<std::unique_ptr<OpenFile>> open_read_write(const Path& path) override {
    return open_regular(path, O_RDWR);
  }
  IoResult<std::unique_ptr<OpenFile>> create(const Path& path, CreateMode mode) override {
    const int kept = mode == CreateMode::Exclusive ? O_EXCL : mode == CreateMode::Append ? O_APPEND : O_TRUNC;
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | kept;
    const int fd = retry_interrupted([&] { return ::open(path.c_str(), flags, 0666); });
    if (fd < 0) return std::unexpected(last_error());
    return std::make_unique<PosixFile>(fd);
  }

  IoResult<std::vector<std::uint8_t>> read_whole(const Path& path) override {
    const int fd = retry_interrupted([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
    if (fd < 0) return std::unexpected(last_error());
    const PosixFile file(fd);
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[65536];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        return std::unexpected(last_error());
      }
      if (n == 0) break;
      out.insert(out.end(), chunk, chunk + n);
    }
    return out;
  }

  IoResult<FileKind> kind(const Path& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return FileKind::Missing;
      return std::unexpected(last_error());
    }
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    if (S_ISDIR(st.st_mode)) return FileKind::Directory;
    return FileKind::Other;
  }

  IoResult<Path> resolve(const Path& path) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    if (::stat(path.c_str(), &st) == 0) {
      // A device or pipe behind the link (/dev/stdout) is written through it.
      if (!S_ISREG(st.st_mode)) return path;
      char* real = ::realpath(path.c_str(), nullptr);
      if (real == nullptr) return path;
      Path resolved(real);
      std::free(real);
      return resolved;
    }
    // A link to a file not there yet: where its text leads, link by link.
    Path current = path;
    for (int hops = 0; hops < 40; ++hops) {
      if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
      std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
      const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
      if (n < 0) return std::unexpected(last_error());
      target.resize(static_cast<std::size_t>(n));
      const Path next(target);
      current = next.is_absolute() ? next : parent_directory(current) / next;
    }
    return std::unexpected(IoError::from_errno(ELOOP));
  }

  IoResult<void> rename(const Path& from, const Path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return std::unexpected(last_error());
    return {};
  }

  IoResult<void> remove(const Path& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return std::unexpected(last_error());
    return {};
  }

  IoResult<void> create_directories(const Path& path) override {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return std::unexpected(IoError{ec.value(), ec.message()});
    return {};
  }

  IoResult<std::vector<std::string>> list_directory(const Path& path) override {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return std::unexpected(last_error());
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) return std::unexpected(IoError::from_errno(error));
    return names;
  }

  IoResult<void> sync_directory(const Path& path) override {
    return with_directory(path, [](int fd) { return ::fsync(fd); });
  }

  IoResult<void> sync_file_system(const Path& path) override {
    return with_directory(path, [](int fd) { return ::syncfs(fd); });
  }

  IoResult<void> check_writable(const Path& path) override {
    if (::access(path.c_str(), W_OK | X_OK) != 0) return std::unexpected(last_error());
    return {};
  }

 private:
  template <class Call>
  static IoResult<void> with_directory(const Path& path, Call call) {
    const int fd = retry_interrupted([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return std::unexpected(last_error());
    const PosixFile dir(fd);
    if (retry_interrupted([&] { return call(fd); }) != 0) return std::unexpected(last_error());
    return {};
  }
};

}  // namespace

FileSystem& posix_file_system() {
  static PosixFileSystem fs;
  return fs;
}

FileSystem& default_file_system() { return posix_file_system(); }

}  // namespace ravelin::common
