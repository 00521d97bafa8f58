// The read-only file system over a host's files (the WebAssembly build's
// backend), against a host held in memory: the names the host is asked for,
// reads pieced together from short ones, and the error texts of what a host
// cannot do.
#include "ravelin/common/host_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ravelin/common/file.h"

namespace ravelin::common {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

template <class T>
std::string error_of(const IoResult<T>& result) {
  return result ? "(succeeded)" : result.error().message;
}

// Files by name; reads hand back at most `chunk` bytes, as a host that reads
// by slices may. Folders are the prefixes of the names.
class MemoryHost final : public HostFiles {
 public:
  std::map<std::string, Bytes> files;
  std::size_t chunk = 3;
  std::optional<IoError> read_failure;
  std::vector<std::string> asked;
  std::map<std::uint32_t, std::string> open_files;

  IoResult<std::uint32_t> open(const std::string& name) override {
    asked.push_back(name);
    if (files.contains(name)) {
      open_files.emplace(next_, name);
      return next_++;
    }
    if (is_folder(name)) return std::unexpected(IoError::not_a_regular_file());
    return std::unexpected(IoError::from_errno(ENOENT));
  }
  IoResult<std::uint64_t> size(std::uint32_t file) override { return files.at(open_files.at(file)).size(); }
  IoResult<std::size_t> read(std::uint32_t file, std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (read_failure) return std::unexpected(*read_failure);
    const Bytes& bytes = files.at(open_files.at(file));
    if (offset >= bytes.size()) return 0;
    const std::size_t n = std::min({out.size(), chunk, static_cast<std::size_t>(bytes.size() - offset)});
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return n;
  }
  void close(std::uint32_t file) override { open_files.erase(file); }
  IoResult<FileKind> kind(const std::string& name) override {
    asked.push_back(name);
    if (files.contains(name)) return FileKind::Regular;
    return is_folder(name) ? FileKind::Directory : FileKind::Missing;
  }

 private:
  bool is_folder(const std::string& name) const {
    for (const auto& [file, bytes] : files)
      if (file.starts_with(name + "/")) return true;
    return false;
  }
  std::uint32_t next_ = 7;
};

TEST(HostFileSystem, AsksForNormalisedNamesAndPiecesShortReadsTogether) {
  MemoryHost host;
  host.files["world/client_cell_1.dat"] = bytes_of("0123456789abcdef");
  host.files["client_portal.dat"] = bytes_of("portal");
  HostFileSystem fs(host);
  const struct {
    Path given;
    std::string asked;
  } names[] = {
      {"world/client_cell_1.dat", "world/client_cell_1.dat"},
      {"./world//client_cell_1.dat", "world/client_cell_1.dat"},
      {"world/spawns/../client_cell_1.dat", "world/client_cell_1.dat"},
      {join_path("", "client_portal.dat"), "client_portal.dat"},
  };
  for (const auto& n : names) {
    host.asked.clear();
    auto file = File::open_read_only(n.given, fs);
    ASSERT_TRUE(file.has_value()) << n.given << ": " << file.error().message;
    EXPECT_EQ(host.asked, std::vector<std::string>{n.asked}) << n.given;
  }
  auto file = File::open_read_only("world/client_cell_1.dat", fs);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->size(), 16u);
  Bytes middle(10);
  ASSERT_TRUE(file->read_exact_at(4, middle).has_value());  // four reads of at most 3 bytes
  EXPECT_EQ(middle, bytes_of("456789abcd"));
  Bytes past(4);
  EXPECT_EQ(file->read_exact_at(14, past).error().message, "failed to fill whole buffer");
  EXPECT_EQ(fs.read_whole("world/client_cell_1.dat"), bytes_of("0123456789abcdef"));
}

TEST(HostFileSystem, ClosesTheHostsFileWithTheOpenFile) {
  MemoryHost host;
  host.files["a.dat"] = bytes_of("a");
  HostFileSystem fs(host);
  {
    auto file = fs.open_read_only("a.dat");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(host.open_files.size(), 1u);
  }
  EXPECT_TRUE(host.open_files.empty());
}

TEST(HostFileSystem, KindsAndTheErrorsOfWhatAHostCannotDo) {
  MemoryHost host;
  host.files["world/client_cell_1.dat"] = bytes_of("cell");
  HostFileSystem fs(host);
  EXPECT_EQ(fs.kind("world/client_cell_1.dat"), FileKind::Regular);
  EXPECT_EQ(fs.kind("world"), FileKind::Directory);
  EXPECT_EQ(fs.kind("world/"), FileKind::Directory);
  EXPECT_EQ(fs.kind("elsewhere"), FileKind::Missing);

  const std::string no_such = IoError::from_errno(ENOENT).message;
  const std::string read_only = IoError::from_errno(EROFS).message;
  const struct {
    const char* what;
    std::string error;
    std::string expected;
  } cases[] = {
      {"open a missing file", error_of(fs.open_read_only("world/none.dat")), no_such},
      {"open a folder", error_of(fs.open_read_only("world")), "not a regular file"},
      {"read a missing file whole", error_of(fs.read_whole("none.json")), no_such},
      {"open a missing file to change it", error_of(fs.open_read_write("none.dat")), no_such},
      {"open a file to change it", error_of(fs.open_read_write("world/client_cell_1.dat")), read_only},
      {"create", error_of(fs.create("out.jsonl", CreateMode::Truncate)), read_only},
      {"rename", error_of(fs.rename("world/client_cell_1.dat", "b.dat")), read_only},
      {"remove", error_of(fs.remove("world/client_cell_1.dat")), read_only},
      {"create a folder", error_of(fs.create_directories("out")), read_only},
      {"check a folder to write in", error_of(fs.check_writable("world")), read_only},
      {"list a folder", error_of(fs.list_directory("world")), IoError::from_errno(ENOTSUP).message},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error, c.expected) << c.what;
  EXPECT_EQ(check_output_directory("out", fs).error().to_string(), "IO error: create out: .: " + read_only);

  auto file = fs.open_read_only("world/client_cell_1.dat");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ((*file)->write_at(0, bytes_of("x")).error().message, read_only);
  EXPECT_EQ((*file)->truncate(0).error().message, read_only);
  EXPECT_EQ((*file)->lock(0x121, 1, LockKind::Shared, LockWait::Block), LockResult::Unsupported);
  host.read_failure = IoError::from_errno(EIO);
  Bytes one(1);
  EXPECT_EQ((*file)->read_at(0, one).error().message, IoError::from_errno(EIO).message);
}

}  // namespace
}  // namespace ravelin::common
