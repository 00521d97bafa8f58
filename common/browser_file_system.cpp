// The WebAssembly build's files: those the page was given, read through the
// functions the module imports from "ravelin_files" (web/ravelin_files.js
// serves them from File objects in a browser worker, from real files under
// Node.js). Built instead of posix_file_system.cpp.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ravelin/common/host_file_system.h"

// The imports. Sizes and offsets are doubles, exact below 2^53 and plain
// numbers to JavaScript; a negative result is one of the failures below.
#define RAVELIN_FILES_IMPORT(name) __attribute__((import_module("ravelin_files"), import_name(name)))
extern "C" {
RAVELIN_FILES_IMPORT("open") std::int32_t ravelin_files_open(const char* name, std::size_t length);
RAVELIN_FILES_IMPORT("size") double ravelin_files_size(std::int32_t file);
RAVELIN_FILES_IMPORT("read")
std::int32_t ravelin_files_read(std::int32_t file, double offset, std::uint8_t* out, std::size_t length);
RAVELIN_FILES_IMPORT("close") void ravelin_files_close(std::int32_t file);
RAVELIN_FILES_IMPORT("kind") std::int32_t ravelin_files_kind(const char* name, std::size_t length);
}

namespace ravelin::common {
namespace {

// The failures the host reports, as web/ravelin_files.js numbers them.
enum HostFailure : std::int32_t {
  kNotFound = -1,       // no file or folder of that name was given
  kNotRegular = -2,     // a folder where a file was to be opened
  kUnreadable = -3,     // the browser could not read it (changed or gone since it was picked)
  kNotPermitted = -4,   // the browser refused access
  kBadHandle = -5,      // a handle the host does not know
};

IoError host_error(double code) {
  switch (static_cast<std::int32_t>(code)) {
    case kNotFound: return IoError::from_errno(ENOENT);
    case kNotRegular: return IoError::not_a_regular_file();
    case kNotPermitted: return IoError::from_errno(EACCES);
    case kBadHandle: return IoError::from_errno(EBADF);
    default: return IoError::from_errno(EIO);
  }
}

class BrowserFiles final : public HostFiles {
 public:
  IoResult<std::uint32_t> open(const std::string& name) override {
    const std::int32_t file = ravelin_files_open(name.data(), name.size());
    if (file < 0) return std::unexpected(host_error(file));
    return static_cast<std::uint32_t>(file);
  }
  IoResult<std::uint64_t> size(std::uint32_t file) override {
    const double size = ravelin_files_size(static_cast<std::int32_t>(file));
    if (size < 0) return std::unexpected(host_error(size));
    return static_cast<std::uint64_t>(size);
  }
  IoResult<std::size_t> read(std::uint32_t file, std::uint64_t offset, std::span<std::uint8_t> out) override {
    const std::int32_t n =
        ravelin_files_read(static_cast<std::int32_t>(file), static_cast<double>(offset), out.data(), out.size());
    if (n < 0) return std::unexpected(host_error(n));
    return static_cast<std::size_t>(n);
  }
  void close(std::uint32_t file) override { ravelin_files_close(static_cast<std::int32_t>(file)); }
  IoResult<FileKind> kind(const std::string& name) override {
    const std::int32_t kind = ravelin_files_kind(name.data(), name.size());
    switch (kind) {
      case 0: return FileKind::Missing;
      case 1: return FileKind::Regular;
      case 2: return FileKind::Directory;
      case 3: return FileKind::Other;
      default: return std::unexpected(host_error(kind));
    }
  }
};

}  // namespace

FileSystem& default_file_system() {
  static BrowserFiles files;
  static HostFileSystem fs(files);
  return fs;
}

}  // namespace ravelin::common
