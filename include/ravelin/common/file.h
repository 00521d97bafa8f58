// Read-only file access through positioned reads, and the few whole-file
// operations the tools need, over the platform layer (file_system.h).
// Failures are IoError values carrying the system's message.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/common/io_error.h"

namespace ravelin::common {

// A file opened read-only. Reads are positioned and never move a shared file
// position, so one File may be read from several threads at once.
class File {
 public:
  // A regular file only: anything else (a FIFO, a device, a directory) is
  // refused at once with "not a regular file".
  static IoResult<File> open_read_only(const std::filesystem::path& path);
  static IoResult<File> open_read_only(const std::filesystem::path& path, FileSystem& fs);
  explicit File(std::unique_ptr<OpenFile> file);

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
  OpenFile& open_file() const { return *file_; }

 private:
  std::unique_ptr<OpenFile> file_;
};

// The whole content of a file, read as a stream (a pipe serves too).
IoResult<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path,
                                                    FileSystem& fs = default_file_system());
// Creates or truncates `path` and writes `bytes` into it, in place: for
// scratch files. Files a user keeps go through output_file.h.
IoResult<void> write_whole_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                                FileSystem& fs = default_file_system());

}  // namespace ravelin::common
