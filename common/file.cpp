#include "ravelin/common/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/debug_format.h"

namespace ravelin::common {

IoError IoError::from_errno(int code) { return IoError{code, std::strerror(code)}; }

IoError IoError::failed_to_fill_whole_buffer() {
  return IoError{0, "failed to fill whole buffer"};
}

std::string IoError::debug_string() const {
  if (code != 0) return "Os { code: " + std::to_string(code) + ", message: " + debug_quote(message) + " }";
  return "Custom { message: " + debug_quote(message) + " }";
}

IoResult<File> File::open_read_only(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return File(fd);
}

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

IoResult<void> File::read_exact_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (n == 0) return std::unexpected(IoError::failed_to_fill_whole_buffer());
    done += static_cast<std::size_t>(n);
  }
  return {};
}

IoResult<std::uint64_t> File::size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return std::unexpected(IoError::from_errno(errno));
  return static_cast<std::uint64_t>(st.st_size);
}

IoResult<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path) {
  auto file = File::open_read_only(path);
  if (!file) return std::unexpected(file.error());
  std::vector<std::uint8_t> out;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file->fd(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (n == 0) break;
    out.insert(out.end(), chunk, chunk + n);
  }
  return out;
}

IoResult<void> write_whole_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return std::unexpected(IoError::from_errno(err));
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) return std::unexpected(IoError::from_errno(errno));
  return {};
}

std::string display_path(const std::filesystem::path& path) { return sanitize_utf8(path.native()); }

}  // namespace ravelin::common
