// Private temporary directories (temporary_directory.h).
#include "ravelin/common/temporary_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

namespace ravelin::common {

FileResult<TemporaryDirectory> TemporaryDirectory::create(std::string_view prefix, FileSystem& fs) {
  const char* base = std::getenv("TMPDIR");
  const Path parent = base != nullptr && *base != '\0' ? Path(base) : Path("/tmp");
  std::string name = join_path(parent, std::string(prefix) + "XXXXXX").string();
#if defined(__wasi__)
  // No temporary directories in WebAssembly: nothing there runs another program.
  (void)fs;
  return std::unexpected(FileError{"create", name, IoError::from_errno(ENOSYS)});
#else
  // mkdtemp makes the directory with mode 0700 under a name nobody held.
  if (::mkdtemp(name.data()) == nullptr) return std::unexpected(FileError{"create", name, IoError::from_errno(errno)});
  return TemporaryDirectory(Path(name), fs);
#endif
}

TemporaryDirectory::TemporaryDirectory(TemporaryDirectory&& other) noexcept
    : path_(std::exchange(other.path_, Path())), fs_(other.fs_) {}

TemporaryDirectory::~TemporaryDirectory() { (void)remove(); }

FileResult<void> TemporaryDirectory::remove() {
  if (path_.empty()) return {};
  const Path dir = std::exchange(path_, Path());
  auto names = fs_->list_directory(dir);
  if (!names) return std::unexpected(FileError{"list", dir, names.error()});
  for (const std::string& name : *names) {
    const Path file = join_path(dir, name);
    if (auto removed = fs_->remove(file); !removed) return std::unexpected(FileError{"remove", file, removed.error()});
  }
  if (::rmdir(dir.c_str()) != 0) return std::unexpected(FileError{"remove", dir, IoError::from_errno(errno)});
  return {};
}

}  // namespace ravelin::common
