// What every file system shares: paths as text, the I/O error texts, and the
// check of an output directory. The backends are posix_file_system.cpp (the
// machine's) and browser_file_system.cpp (a page's files, in WebAssembly).
#include "ravelin/common/file_system.h"

#include <cerrno>

#include "common/debug_format.h"

namespace ravelin::common {

std::string display_path(const Path& path) { return sanitize_utf8(path.native()); }

std::string FileError::to_string() const { return io_error_text(action, path, error.message); }

std::string io_error_text(std::string_view action, const Path& path, std::string_view message) {
  std::string text = "IO error: ";
  text += action;
  text += ' ';
  text += display_path(path);
  text += ": ";
  text += message;
  return text;
}

Path join_path(const Path& dir, std::string_view name) { return dir / Path(name); }

Path parent_directory(const Path& path) {
  const Path parent = path.parent_path();
  return parent.empty() ? Path(".") : parent;
}

FileResult<void> check_output_directory(const Path& dir, FileSystem& fs) {
  // The nearest part of the path that exists decides.
  Path probe = dir;
  for (;;) {
    auto kind = fs.kind(probe);
    if (!kind) return std::unexpected(FileError{"create", dir, kind.error()});
    if (*kind != FileKind::Missing) {
      if (*kind != FileKind::Directory)
        return std::unexpected(FileError{"create", dir, IoError{ENOTDIR, display_path(probe) + " is not a directory"}});
      break;
    }
    if (!probe.has_parent_path() || probe.parent_path() == probe) {
      probe = ".";
      break;
    }
    probe = probe.parent_path();
  }
  if (auto writable = fs.check_writable(probe); !writable)
    return std::unexpected(
        FileError{"create", dir, IoError{writable.error().code, display_path(probe) + ": " + writable.error().message}});
  return {};
}

}  // namespace ravelin::common
