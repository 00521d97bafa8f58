// Files that the program running us holds and lends by name: in WebAssembly,
// the File objects a page was given, read through the few functions the module
// imports (common/browser_file_system.cpp, web/ravelin_files.js), and there
// the default file system. HostFileSystem is a read-only FileSystem over any
// such host; what it cannot do (write, create, rename) fails with "Read-only
// file system".
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/common/io_error.h"

namespace ravelin::common {

// The host's side. Names are paths in generic form, normalised ("a/b.dat",
// never "./a//b.dat"): a file picked alone is its bare name, a file of a
// picked folder the folder's name, "/" and its own.
class HostFiles {
 public:
  virtual ~HostFiles() = default;
  // A handle to the regular file `name`; ENOENT when there is none, the
  // "not a regular file" error for a directory.
  virtual IoResult<std::uint32_t> open(const std::string& name) = 0;
  virtual IoResult<std::uint64_t> size(std::uint32_t file) = 0;
  // Up to out.size() bytes at `offset`: fewer only at the end of the file.
  virtual IoResult<std::size_t> read(std::uint32_t file, std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  virtual void close(std::uint32_t file) = 0;
  virtual IoResult<FileKind> kind(const std::string& name) = 0;
};

class HostFileSystem final : public FileSystem {
 public:
  explicit HostFileSystem(HostFiles& host) : host_(host) {}

  IoResult<std::unique_ptr<OpenFile>> open_read_only(const Path& path) override;
  IoResult<std::unique_ptr<OpenFile>> open_read_write(const Path& path) override;
  IoResult<std::unique_ptr<OpenFile>> create(const Path& path, CreateMode mode) override;
  IoResult<std::vector<std::uint8_t>> read_whole(const Path& path) override;
  IoResult<FileKind> kind(const Path& path) override;
  IoResult<void> rename(const Path& from, const Path& to) override;
  IoResult<void> remove(const Path& path) override;
  IoResult<void> create_directories(const Path& path) override;
  IoResult<std::vector<std::string>> list_directory(const Path& path) override;
  IoResult<void> sync_directory(const Path& path) override;
  IoResult<void> sync_file_system(const Path& path) override;
  IoResult<void> check_writable(const Path& path) override;

  // The name the host is asked for `path`.
  static std::string host_name(const Path& path);

 private:
  HostFiles& host_;
};

}  // namespace ravelin::common
