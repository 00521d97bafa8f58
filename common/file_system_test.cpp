// The two backends side by side: what the recording backend does must be what
// the machine does, so the same cases run on both; then what only the machine
// shows (FIFOs, devices, permissions).
#include "ravelin/common/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "ravelin/common/file.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::common {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A fresh directory on the machine, removed with its content.
class MachineDir {
 public:
  MachineDir() {
    static std::atomic<unsigned> counter{0};
    path_ = Path(::testing::TempDir()) /
            ("ravelin_fs_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~MachineDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  MachineDir(const MachineDir&) = delete;
  MachineDir& operator=(const MachineDir&) = delete;
  const Path& path() const { return path_; }

 private:
  Path path_;
};

// One backend and an empty directory on it.
struct Backend {
  std::string name;
  std::function<FileSystem&()> fs;
  Path dir;
  std::shared_ptr<void> keep;
};

Backend machine_backend() {
  auto dir = std::make_shared<MachineDir>();
  return {"posix", []() -> FileSystem& { return posix_file_system(); }, dir->path(), dir};
}

Backend recording_backend() {
  auto fs = std::make_shared<RecordingFileSystem>("/work");
  fs->put_directory("/work/t");
  return {"recording", [fs]() -> FileSystem& { return *fs; }, "/work/t", fs};
}

class BothBackends : public ::testing::TestWithParam<Backend (*)()> {
 protected:
  void SetUp() override { backend_ = GetParam()(); }
  FileSystem& fs() { return backend_.fs(); }
  Path at(std::string_view name) const { return join_path(backend_.dir, name); }

  std::unique_ptr<OpenFile> make(std::string_view name, std::string_view text) {
    auto file = fs().create(at(name), CreateMode::Truncate);
    EXPECT_TRUE(file.has_value()) << name;
    if (!file) return nullptr;
    EXPECT_TRUE((*file)->write_at(0, bytes_of(text)).has_value());
    return std::move(*file);
  }
  std::unique_ptr<OpenFile> open(std::string_view name) {
    auto file = fs().open_read_write(at(name));
    EXPECT_TRUE(file.has_value()) << name << ": " << (file ? "" : file.error().message);
    return file ? std::move(*file) : nullptr;
  }
  std::string text_of(std::string_view name) {
    auto bytes = fs().read_whole(at(name));
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<" + bytes.error().message + ">";
  }
  std::vector<std::string> names() {
    auto list = fs().list_directory(backend_.dir);
    EXPECT_TRUE(list.has_value());
    std::vector<std::string> sorted = list.value_or(std::vector<std::string>{});
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

  Backend backend_;
};

TEST_P(BothBackends, ReadAtIsShortOnlyAtTheEndOfTheFile) {
  auto file = make("f", "0123456789");
  ASSERT_NE(file, nullptr);
  struct Case {
    std::uint64_t offset;
    std::size_t want;
    std::string got;
  };
  const Case cases[] = {{0, 4, "0123"}, {6, 8, "6789"}, {9, 1, "9"}, {10, 4, ""}, {100, 4, ""}, {3, 0, ""}};
  for (const Case& c : cases) {
    Bytes out(c.want, '?');
    auto n = file->read_at(c.offset, out);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(*n)), c.got) << c.offset;
  }
  const File whole(std::move(file));
  Bytes out(4);
  EXPECT_EQ(whole.read_exact_at(8, out).error().message, "failed to fill whole buffer");
  EXPECT_TRUE(whole.read_exact_at(6, out).has_value());
  EXPECT_EQ(whole.size().value_or(0), 10u);
}

TEST_P(BothBackends, WritesSizesAndTruncation) {
  auto file = make("f", "abc");
  ASSERT_NE(file, nullptr);
  // A write past the end leaves zeros in the gap.
  ASSERT_TRUE(file->write_at(5, bytes_of("xy")).has_value());
  EXPECT_EQ(text_of("f"), std::string("abc\0\0xy", 7));
  ASSERT_TRUE(file->truncate(2).has_value());
  EXPECT_EQ(file->size().value_or(0), 2u);
  ASSERT_TRUE(file->truncate(4).has_value());
  EXPECT_EQ(text_of("f"), std::string("ab\0\0", 4));
  ASSERT_TRUE(file->sync().has_value());
  // Creating over a file empties it.
  ASSERT_TRUE(fs().create(at("f"), CreateMode::Truncate).has_value());
  EXPECT_EQ(text_of("f"), "");
}

TEST_P(BothBackends, RenameRemoveAndList) {
  make("a", "first");
  make("b", "second");
  EXPECT_EQ(names(), (std::vector<std::string>{"a", "b"}));
  ASSERT_TRUE(fs().rename(at("a"), at("b")).has_value());
  EXPECT_EQ(names(), std::vector<std::string>{"b"});
  EXPECT_EQ(text_of("b"), "first");
  EXPECT_EQ(fs().rename(at("a"), at("c")).error().code, ENOENT);
  ASSERT_TRUE(fs().sync_directory(backend_.dir).has_value());
  ASSERT_TRUE(fs().sync_file_system(backend_.dir).has_value());
  ASSERT_TRUE(fs().remove(at("b")).has_value());
  EXPECT_EQ(names(), std::vector<std::string>{});
  EXPECT_TRUE(fs().remove(at("b")).has_value()) << "a missing file is not an error";
  EXPECT_EQ(fs().kind(at("b")).value(), FileKind::Missing);
}

TEST_P(BothBackends, ErrorsCarryTheSystemsCodes) {
  make("file", "x");
  ASSERT_TRUE(fs().create_directories(at("d/e")).has_value());
  struct Case {
    std::string what;
    std::function<IoResult<void>()> call;
    int code;
  };
  auto void_of = [](auto result) -> IoResult<void> {
    if (!result) return std::unexpected(result.error());
    return {};
  };
  const Case cases[] = {
      {"create exclusive over a file", [&] { return void_of(fs().create(at("file"), CreateMode::Exclusive)); }, EEXIST},
      {"create in a missing dir", [&] { return void_of(fs().create(at("no/f"), CreateMode::Truncate)); }, ENOENT},
      {"create below a file", [&] { return void_of(fs().create(at("file/f"), CreateMode::Truncate)); }, ENOTDIR},
      {"create over a directory", [&] { return void_of(fs().create(at("d"), CreateMode::Truncate)); }, EISDIR},
      {"open a missing file", [&] { return void_of(fs().open_read_only(at("none"))); }, ENOENT},
      {"read a missing file", [&] { return void_of(fs().read_whole(at("none"))); }, ENOENT},
      {"read a directory", [&] { return void_of(fs().read_whole(at("d"))); }, EISDIR},
      {"rename over a directory", [&] { return fs().rename(at("file"), at("d")); }, EISDIR},
      {"remove a directory", [&] { return fs().remove(at("d")); }, EISDIR},
      {"directories over a file", [&] { return fs().create_directories(at("file")); }, ENOTDIR},
      {"directories below a file", [&] { return fs().create_directories(at("file/x")); }, ENOTDIR},
      {"list a file", [&] { return void_of(fs().list_directory(at("file"))); }, ENOTDIR},
      {"list a missing directory", [&] { return void_of(fs().list_directory(at("none"))); }, ENOENT},
      {"sync a missing directory", [&] { return fs().sync_directory(at("none")); }, ENOENT},
  };
  for (const Case& c : cases) {
    const auto result = c.call();
    ASSERT_FALSE(result.has_value()) << c.what;
    EXPECT_EQ(result.error().code, c.code) << c.what << ": " << result.error().message;
    EXPECT_EQ(result.error().message, IoError::from_errno(c.code).message) << c.what;
  }
  EXPECT_TRUE(fs().create_directories(at("d/e")).has_value()) << "an existing directory is not an error";
}

TEST_P(BothBackends, KindsOfPaths) {
  make("file", "x");
  ASSERT_TRUE(fs().create_directories(at("d")).has_value());
  EXPECT_EQ(fs().kind(at("file")).value(), FileKind::Regular);
  EXPECT_EQ(fs().kind(at("d")).value(), FileKind::Directory);
  EXPECT_EQ(fs().kind(at("none")).value(), FileKind::Missing);
  EXPECT_EQ(fs().kind(at("file/x")).value(), FileKind::Missing);
  EXPECT_EQ(fs().kind(at("d/../file")).value(), FileKind::Regular);
}

TEST_P(BothBackends, OpeningADirectoryIsRefused) {
  ASSERT_TRUE(fs().create_directories(at("d")).has_value());
  EXPECT_EQ(fs().open_read_only(at("d")).error().message, "not a regular file");
  EXPECT_EQ(fs().open_read_write(at("d")).error().message, "not a regular file");
  EXPECT_EQ(File::open_read_only(at("d"), fs()).error().message, "not a regular file");
}

// Locks of two open files of one file: open-file-description semantics.
TEST_P(BothBackends, LocksBelongToTheOpenFile) {
  make("f", std::string(100, 'x'));
  struct Case {
    std::string what;
    LockKind first;
    std::uint64_t first_offset, first_length;
    LockKind second;
    std::uint64_t second_offset, second_length;
    LockResult second_gets;
    // The first open file taking its range exclusively afterwards: it never
    // conflicts with itself, only with what the second holds.
    LockResult first_converting_gets;
  };
  constexpr auto S = LockKind::Shared;
  constexpr auto X = LockKind::Exclusive;
  constexpr auto Taken = LockResult::Taken;
  constexpr auto Busy = LockResult::Busy;
  const Case cases[] = {
      {"exclusive, exclusive", X, 0, 10, X, 0, 10, Busy, Taken},
      {"exclusive, shared", X, 0, 10, S, 5, 10, Busy, Taken},
      {"shared, exclusive", S, 0, 10, X, 9, 1, Busy, Taken},
      {"shared, shared", S, 0, 10, S, 0, 10, Taken, Busy},
      {"disjoint ranges", X, 0, 10, X, 10, 10, Taken, Taken},
      {"to the end and beyond", X, 50, 0, X, 1000, 1, Busy, Taken},
  };
  for (const Case& c : cases) {
    auto one = open("f");
    auto two = open("f");
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->lock(c.first_offset, c.first_length, c.first, LockWait::NoWait).value(), Taken) << c.what;
    EXPECT_EQ(two->lock(c.second_offset, c.second_length, c.second, LockWait::NoWait).value(), c.second_gets)
        << c.what;
    EXPECT_EQ(one->lock(c.first_offset, c.first_length, X, LockWait::NoWait).value(), c.first_converting_gets)
        << c.what;
  }
}

TEST_P(BothBackends, UnlockingOrClosingFreesTheRange) {
  make("f", "0123456789");
  auto one = open("f");
  auto two = open("f");
  ASSERT_TRUE(one && two);
  ASSERT_EQ(one->lock(0, 10, LockKind::Exclusive, LockWait::NoWait).value(), LockResult::Taken);
  // Unlocking the middle keeps both ends.
  ASSERT_TRUE(one->unlock(3, 4).has_value());
  EXPECT_EQ(two->lock(3, 4, LockKind::Exclusive, LockWait::NoWait).value(), LockResult::Taken);
  EXPECT_EQ(two->lock(2, 1, LockKind::Shared, LockWait::NoWait).value(), LockResult::Busy);
  EXPECT_EQ(two->lock(7, 1, LockKind::Shared, LockWait::NoWait).value(), LockResult::Busy);
  // Closing one open file of the file drops its locks and no other's.
  auto three = open("f");
  ASSERT_TRUE(three);
  one.reset();
  EXPECT_EQ(three->lock(0, 3, LockKind::Exclusive, LockWait::NoWait).value(), LockResult::Taken);
  EXPECT_EQ(three->lock(3, 1, LockKind::Shared, LockWait::NoWait).value(), LockResult::Busy);
  // Locks do not keep anyone from writing: they are advisory.
  EXPECT_TRUE(two->write_at(0, bytes_of("z")).has_value());
}

TEST_P(BothBackends, AnExclusiveLockNeedsWriteAccess) {
  make("f", "0123456789");
  auto reader = fs().open_read_only(at("f"));
  ASSERT_TRUE(reader.has_value());
  EXPECT_EQ((*reader)->lock(0, 1, LockKind::Shared, LockWait::NoWait).value(), LockResult::Taken);
  EXPECT_EQ((*reader)->lock(0, 1, LockKind::Exclusive, LockWait::NoWait).error().code, EBADF);
  EXPECT_FALSE((*reader)->write_at(0, bytes_of("z")).has_value());
  EXPECT_EQ(text_of("f"), "0123456789");
}

TEST_P(BothBackends, IdentityFollowsTheFileNotTheName) {
  auto a = make("a", "a");
  auto b = make("b", "b");
  ASSERT_TRUE(a && b);
  auto a_again = fs().open_read_only(at("a"));
  ASSERT_TRUE(a_again.has_value());
  const FileIdentity id_a = a->identity().value();
  const FileIdentity id_b = b->identity().value();
  EXPECT_EQ((*a_again)->identity().value(), id_a);
  EXPECT_NE(id_a, id_b);
  ASSERT_TRUE(fs().rename(at("b"), at("a")).has_value());
  auto a_now = fs().open_read_only(at("a"));
  ASSERT_TRUE(a_now.has_value());
  EXPECT_EQ((*a_now)->identity().value(), id_b) << "a rename over the name gives it the other file";
  EXPECT_EQ(a->identity().value(), id_a) << "an open file stays the file it was";
  Bytes one(1);
  ASSERT_EQ(a->read_at(0, one).value_or(0), 1u);
  EXPECT_EQ(one[0], 'a');
}

TEST_P(BothBackends, OutputDirectoryChecks) {
  make("file", "x");
  EXPECT_TRUE(check_output_directory(at("new/deeper"), fs()).has_value());
  EXPECT_TRUE(check_output_directory(backend_.dir, fs()).has_value());
  EXPECT_EQ(fs().kind(at("new")).value(), FileKind::Missing) << "checking creates nothing";
  const auto below_file = check_output_directory(at("file/sub"), fs());
  ASSERT_FALSE(below_file.has_value());
  EXPECT_EQ(below_file.error().to_string(), "IO error: create " + display_path(at("file/sub")) + ": " +
                                                display_path(at("file")) + " is not a directory");
}

INSTANTIATE_TEST_SUITE_P(Backends, BothBackends, ::testing::Values(&machine_backend, &recording_backend),
                         [](const auto& info) { return info.index == 0 ? "posix" : "recording"; });

// What only the machine shows.

TEST(PosixFileSystem, NonRegularFilesAreRefusedWithoutBlocking) {
  MachineDir dir;
  const Path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Path cases[] = {fifo, "/dev/null", dir.path()};
  for (const Path& path : cases) {
    // Opening a FIFO without a writer would wait for one: run the open aside
    // and, should it hang, give it a writer so that the test fails instead.
    std::promise<IoResult<File>> done;
    auto result = done.get_future();
    std::thread opener([&] { done.set_value(File::open_read_only(path)); });
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      const int writer = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
      opener.join();
      if (writer >= 0) ::close(writer);
      ADD_FAILURE() << display_path(path) << ": the open blocked";
      continue;
    }
    opener.join();
    const auto file = result.get();
    ASSERT_FALSE(file.has_value()) << display_path(path);
    EXPECT_EQ(file.error().message, "not a regular file") << display_path(path);
    EXPECT_EQ(posix_file_system().open_read_write(path).error().message, "not a regular file") << display_path(path);
  }
  EXPECT_EQ(posix_file_system().kind(fifo).value(), FileKind::Other);
}

TEST(PosixFileSystem, ReadWholeStreamsFromAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    const std::string text(100000, 'p');
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
  });
  auto bytes = posix_file_system().read_whole("/dev/fd/" + std::to_string(fds[0]));
  writer.join();
  ::close(fds[0]);
  ASSERT_TRUE(bytes.has_value()) << bytes.error().message;
  EXPECT_EQ(bytes->size(), 100000u);
}

TEST(PosixFileSystem, UnwritableOutputDirectory) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  MachineDir dir;
  const Path locked = dir.path() / "locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  const auto result = check_output_directory(locked / "out");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().to_string(),
            "IO error: create " + display_path(locked / "out") + ": " + display_path(locked) + ": Permission denied");
}

TEST(RecordingFileSystemChecks, UnwritableOutputDirectory) {
  RecordingFileSystem fs("/w");
  fs.put_directory("/w/locked");
  fs.set_writable("/w/locked", false);
  const auto result = check_output_directory("locked/out/deeper", fs);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().to_string(), "IO error: create locked/out/deeper: locked: Permission denied");
  EXPECT_EQ(fs.create("locked/f", CreateMode::Truncate).error().code, EACCES);
  fs.set_writable("/w/locked", true);
  EXPECT_TRUE(check_output_directory("locked/out/deeper", fs).has_value());
}

}  // namespace
}  // namespace ravelin::common
