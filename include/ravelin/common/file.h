// Read-only file access through positioned reads, and the few whole-file
// operations the tools need. Failures are IoError values carrying the system's
// message.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace ravelin::common {

struct IoError {
  int code = 0;         // errno; 0 for failures the system did not report
  std::string message;  // display text: the system's message, or our own

  static IoError from_errno(int code);
  static IoError failed_to_fill_whole_buffer();

  const std::string& to_string() const { return message; }
  // Os { code: 2, message: "..." } or Custom { message: "..." }.
  std::string debug_string() const;
  bool operator==(const IoError&) const = default;
};

template <class T>
using IoResult = std::expected<T, IoError>;

// A file opened read-only. Reads are positioned and never move a shared file
// position, so one File may be read from several threads at once.
class File {
 public:
  static IoResult<File> open_read_only(const std::filesystem::path& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Fills `out` from `offset`: repeats short reads, retries interrupted ones; end of
  // file before the buffer is full fails with "failed to fill whole buffer".
  IoResult<void> read_exact_at(std::uint64_t offset, std::span<std::uint8_t> out) const;
  // Length of the file in bytes at the time of the call.
  IoResult<std::uint64_t> size() const;
  int fd() const { return fd_; }

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

IoResult<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path);
IoResult<void> write_whole_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Path as display text (invalid UTF-8 replaced by U+FFFD).
std::string display_path(const std::filesystem::path& path);

}  // namespace ravelin::common
