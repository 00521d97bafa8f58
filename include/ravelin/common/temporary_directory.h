// A directory of this user's alone, made for files handed to another program
// (a text editor) and removed with everything in it afterwards. Part of the
// platform layer: it is made and removed by the machine's calls, the files in
// it are read, written and removed through a FileSystem.
#pragma once

#include <string_view>

#include "ravelin/common/file_system.h"

namespace ravelin::common {

class TemporaryDirectory {
 public:
  // A new directory, mode 0700, named `prefix` and six random characters,
  // inside $TMPDIR (else /tmp). Nobody else can enter it, and the name is
  // fresh, so no one can have put a file or a link there first.
  static FileResult<TemporaryDirectory> create(std::string_view prefix, FileSystem& fs = default_file_system());

  TemporaryDirectory(TemporaryDirectory&& other) noexcept;
  TemporaryDirectory& operator=(TemporaryDirectory&&) = delete;
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  // remove(), its error dropped.
  ~TemporaryDirectory();

  const Path& path() const { return path_; }
  // Removes every file in the directory (those of other programs too: an
  // editor's backup or swap file) and the directory. Done once; later calls do
  // nothing.
  FileResult<void> remove();

 private:
  TemporaryDirectory(Path path, FileSystem& fs) : path_(std::move(path)), fs_(&fs) {}
  Path path_;  // empty once removed
  FileSystem* fs_;
};

}  // namespace ravelin::common
