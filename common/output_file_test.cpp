// Output files through the recording backend: every step failed in turn, the
// process stopped after every step, power cut at every point.
#include "ravelin/common/output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "ravelin/common/file.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::common {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kSeeds = 64;
const Path kPath = "/w/out/result.bin";
const Path kTemporary = "/w/out/result.bin.part";

// Three times the write buffer's size, so that it goes out in three writes.
const std::string& new_content() {
  static const std::string text = [] {
    std::string t;
    for (int i = 0; t.size() < 3 * 40000; ++i) t += "line " + std::to_string(i) + "\n";
    t.resize(3 * 40000 + 2);
    return t;
  }();
  return text;
}
const std::string kOld = "the old content";

// Writes new_content() in three pieces and commits.
FileResult<void> write_new(FileSystem& fs, Durability durability = Durability::Synced) {
  const std::string text = new_content();
  auto file = OutputFile::create(kPath, durability, fs);
  if (!file) return std::unexpected(file.error());
  const std::size_t third = text.size() / 3;
  for (std::size_t at = 0; at < text.size(); at += third)
    if (auto r = file->write(std::string_view(text).substr(at, third)); !r) return r;
  return file->commit();
}

// Which content a file holds, by name: a long content printed whole on a
// failure would bury the message.
std::string which(const std::optional<std::string>& text) {
  if (!text) return "none";
  if (*text == kOld) return "old";
  if (*text == new_content()) return "new";
  return "other, " + std::to_string(text->size()) + " bytes";
}

RecordingFileSystem world(const std::optional<std::string>& old) {
  RecordingFileSystem fs("/w");
  fs.put_directory("/w/out");
  if (old) fs.put_file(kPath, *old);
  return fs;
}

std::vector<Operation> clean_run(Durability durability = Durability::Synced) {
  RecordingFileSystem fs = world(kOld);
  EXPECT_TRUE(write_new(fs, durability).has_value());
  return fs.operations();
}

// The action an error names after the step of that kind failed.
std::string action_of(OperationKind kind) {
  switch (kind) {
    case OperationKind::Create:
    case OperationKind::Write: return "write";
    case OperationKind::Sync:
    case OperationKind::SyncDirectory: return "sync";
    case OperationKind::Rename: return "rename";
    default: return "?";
  }
}

TEST(OutputFile, WritesUnderATemporarySyncsRenamesAndSyncsTheDirectory) {
  const std::string text = new_content();
  std::vector<std::string> steps;
  for (const Operation& op : clean_run()) steps.push_back(to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "create /w/out/result.bin.part",
                       "write /w/out/result.bin.part 0+40000",
                       "write /w/out/result.bin.part 40000+40000",
                       "write /w/out/result.bin.part 80000+" + std::to_string(text.size() - 80000),
                       "sync /w/out/result.bin.part",
                       "rename /w/out/result.bin.part /w/out/result.bin",
                       "sync_directory /w/out",
                   }));
}

TEST(OutputFile, AFailedStepLeavesTheOldFileAndNoTemporary) {
  const std::vector<Operation> steps = clean_run();
  for (const std::optional<std::string>& old : {std::optional<std::string>(kOld), std::optional<std::string>()}) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      for (const int code : {EIO, ENOSPC}) {
        SCOPED_TRACE(to_string(steps[i]) + (old ? " over an old file" : " with no old file") + ", errno " +
                     std::to_string(code));
        RecordingFileSystem fs = world(old);
        fs.fail_operation(i, code);
        const auto result = write_new(fs);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().to_string(), "IO error: " + action_of(steps[i].kind) + " /w/out/result.bin: " +
                                                  IoError::from_errno(code).message);
        // Only the directory sync comes after the file is in place.
        const bool renamed = steps[i].kind == OperationKind::SyncDirectory;
        EXPECT_EQ(which(fs.file_text(kPath)), renamed ? "new" : which(old));
        EXPECT_EQ(fs.file_bytes(kTemporary), std::nullopt);
      }
    }
  }
}

TEST(OutputFile, AFullDiskIsAWriteError) {
  RecordingFileSystem fs = world(kOld);
  fs.set_capacity(50000);
  const auto result = write_new(fs);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().to_string(), "IO error: write /w/out/result.bin: No space left on device");
  EXPECT_EQ(fs.list_files(), std::vector<Path>{kPath});
  EXPECT_EQ(fs.file_text(kPath), kOld);
}

TEST(OutputFile, AProcessKilledAtAnyStepLeavesTheOldOrTheWholeNewFile) {
  const std::vector<Operation> steps = clean_run();
  std::size_t rename_at = 0;
  while (steps[rename_at].kind != OperationKind::Rename) ++rename_at;
  for (const std::optional<std::string>& old : {std::optional<std::string>(kOld), std::optional<std::string>()}) {
    for (std::size_t stop = 0; stop <= steps.size(); ++stop) {
      SCOPED_TRACE("stopped after " + std::to_string(stop) + " steps" + (old ? "" : ", no old file"));
      RecordingFileSystem fs = world(old);
      fs.stop_after(stop);
      (void)write_new(fs);
      EXPECT_EQ(which(fs.file_text(kPath)), stop > rename_at ? "new" : which(old));
      // The temporary may remain; the next run replaces it.
      fs.clear_faults();
      auto again = OutputFile::create(kPath, Durability::Synced, fs);
      ASSERT_TRUE(again.has_value());
      ASSERT_TRUE(again->write("third").has_value());
      ASSERT_TRUE(again->commit().has_value());
      EXPECT_EQ(fs.file_text(kPath), "third");
      EXPECT_EQ(fs.list_files(), std::vector<Path>{kPath});
    }
  }
}

TEST(OutputFile, APowerCutAtAnyStepLeavesTheOldOrTheWholeNewFile) {
  const std::vector<Operation> steps = clean_run();
  for (std::size_t stop = 0; stop <= steps.size(); ++stop) {
    RecordingFileSystem fs = world(kOld);
    fs.stop_after(stop);
    (void)write_new(fs);
    for (int seed = 0; seed < kSeeds; ++seed) {
      const std::string got = which(fs.power_loss(seed).file_text(kPath));
      EXPECT_TRUE(got == "old" || got == "new") << got << ", stopped after " << stop << " steps, seed " << seed;
    }
  }
}

TEST(OutputFile, ACommittedFileSurvivesAPowerCut) {
  RecordingFileSystem fs = world(kOld);
  ASSERT_TRUE(write_new(fs).has_value());
  for (int seed = 0; seed < kSeeds; ++seed) {
    const RecordingFileSystem after = fs.power_loss(seed);
    EXPECT_EQ(which(after.file_text(kPath)), "new") << seed;
    EXPECT_EQ(after.list_files(), std::vector<Path>{kPath}) << seed;
  }
}

TEST(OutputFile, DeferredFilesWaitForTheFileSystemSync) {
  std::vector<std::string> steps;
  for (const Operation& op : clean_run(Durability::Deferred))
    if (op.kind != OperationKind::Write) steps.push_back(to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{"create /w/out/result.bin.part",
                                             "rename /w/out/result.bin.part /w/out/result.bin"}));

  RecordingFileSystem fs = world(kOld);
  ASSERT_TRUE(write_new(fs, Durability::Deferred).has_value());
  EXPECT_EQ(which(fs.file_text(kPath)), "new");
  bool lost_somewhere = false;
  for (int seed = 0; seed < kSeeds; ++seed) lost_somewhere |= which(fs.power_loss(seed).file_text(kPath)) != "new";
  EXPECT_TRUE(lost_somewhere) << "nothing was synced yet";
  ASSERT_TRUE(fs.sync_file_system("/w/out").has_value());
  for (int seed = 0; seed < kSeeds; ++seed) EXPECT_EQ(which(fs.power_loss(seed).file_text(kPath)), "new") << seed;
}

TEST(OutputFile, AbandonedOrDroppedFilesLeaveNothing) {
  for (const bool explicitly : {true, false}) {
    RecordingFileSystem fs = world(kOld);
    {
      auto file = OutputFile::create(kPath, Durability::Synced, fs);
      ASSERT_TRUE(file.has_value());
      ASSERT_TRUE(file->write(new_content()).has_value());
      EXPECT_EQ(file->temporary(), kTemporary);
      EXPECT_TRUE(fs.file_bytes(kTemporary).has_value());
      if (explicitly) file->abandon();
    }
    EXPECT_EQ(fs.list_files(), std::vector<Path>{kPath});
    EXPECT_EQ(fs.file_text(kPath), kOld);
  }
}

TEST(OutputFile, LaterWritesKeepTheFirstError) {
  RecordingFileSystem fs = world(kOld);
  fs.fail_operation(1, EIO);  // the first write
  auto file = OutputFile::create(kPath, Durability::Synced, fs);
  ASSERT_TRUE(file.has_value());
  ASSERT_FALSE(file->write(std::string(70000, 'x')).has_value());
  EXPECT_EQ(file->write("more").error().to_string(), "IO error: write /w/out/result.bin: Input/output error");
  EXPECT_EQ(file->commit().error().to_string(), "IO error: write /w/out/result.bin: Input/output error");
  EXPECT_EQ(fs.operations().size(), 2u) << "nothing was tried after the failure";
}

TEST(OutputFile, AnExternalWritersFileIsSyncedAndRenamed) {
  RecordingFileSystem fs = world(kOld);
  fs.put_file(kTemporary, "left over by a killed run");
  auto output = OutputFile::for_external_writer(kPath, fs);
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(fs.file_bytes(kTemporary), std::nullopt);
  {
    // The writer makes its own file at the temporary path and closes it.
    auto written = fs.create(output->temporary(), CreateMode::Exclusive);
    ASSERT_TRUE(written.has_value());
    ASSERT_TRUE((*written)->write_at(0, Bytes(3000, 'e')).has_value());
  }
  ASSERT_TRUE(output->commit().has_value());
  std::vector<std::string> steps;
  for (const Operation& op : fs.operations()) steps.push_back(to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{"remove /w/out/result.bin.part", "create /w/out/result.bin.part",
                                             "write /w/out/result.bin.part 0+3000", "sync /w/out/result.bin.part",
                                             "rename /w/out/result.bin.part /w/out/result.bin",
                                             "sync_directory /w/out"}));
  for (int seed = 0; seed < kSeeds; ++seed)
    EXPECT_EQ(fs.power_loss(seed).file_text(kPath), std::string(3000, 'e')) << seed;

  RecordingFileSystem failing = world(kOld);
  failing.fail_operation(0, EACCES);
  const auto refused = OutputFile::for_external_writer(kPath, failing);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().to_string(), "IO error: remove /w/out/result.bin.part: Permission denied");
}

TEST(OutputFile, WriteOutputFileWritesTextAndBytes) {
  RecordingFileSystem fs = world(kOld);
  ASSERT_TRUE(write_output_file(kPath, std::string_view("text"), Durability::Synced, fs).has_value());
  EXPECT_EQ(fs.file_text(kPath), "text");
  const Bytes bytes = {0, 1, 2};
  ASSERT_TRUE(write_output_file("/w/out/b", bytes, Durability::Synced, fs).has_value());
  EXPECT_EQ(fs.file_bytes("/w/out/b"), bytes);
  const auto missing_dir = write_output_file("/w/none/c", bytes, Durability::Synced, fs);
  ASSERT_FALSE(missing_dir.has_value());
  EXPECT_EQ(missing_dir.error().to_string(), "IO error: write /w/none/c: No such file or directory");
}

TEST(OutputFile, NewDirectoriesAreSyncedIntoTheirParents) {
  RecordingFileSystem fs("/w");
  ASSERT_TRUE(create_directories_synced("a/b/c", fs).has_value());
  ASSERT_TRUE(create_directories_synced("a/b", fs).has_value());
  std::vector<std::string> steps;
  for (const Operation& op : fs.operations()) steps.push_back(to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{"create_directories /w/a/b/c", "sync_directory /w",
                                             "sync_directory /w/a", "sync_directory /w/a/b",
                                             "create_directories /w/a/b"}));
  ASSERT_TRUE(write_output_file("a/b/c/f", std::string_view("F"), Durability::Synced, fs).has_value());
  for (int seed = 0; seed < kSeeds; ++seed) EXPECT_EQ(fs.power_loss(seed).file_text("a/b/c/f"), "F") << seed;

  fs.put_file("file", "x");
  EXPECT_EQ(create_directories_synced("file/d", fs).error().code, ENOTDIR);
  EXPECT_EQ(create_directories_synced("file", fs).error().code, ENOTDIR);
}

TEST(OutputFile, TemporaryNames) {
  EXPECT_EQ(temporary_path("a/b.json"), Path("a/b.json.part"));
  const std::pair<std::string_view, bool> names[] = {
      {"x.part", true}, {".part", false}, {"x.part.json", false}, {"x", false}, {"a.b.part", true}};
  for (const auto& [name, temporary] : names) EXPECT_EQ(is_temporary_name(name), temporary) << name;
}

// What a user's path names decides where the output goes, on the machine's
// own file system: a link is written through, a device or a stream the shell
// set up is written in place, and a name the program owns is replaced whatever
// it is.
TEST(OutputFile, ThePathsTargetOnTheMachinesFileSystem) {
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("ravelin_output_target_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto read = [](const std::filesystem::path& p) {
    auto bytes = read_whole_file(p);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
  };
  FileSystem& fs = posix_file_system();

  // A link to an existing file: the file it names is replaced, the link stays.
  ASSERT_TRUE(write_whole_file(dir / "target", Bytes{'o', 'l', 'd'}).has_value());
  std::filesystem::create_symlink("target", dir / "link");
  ASSERT_TRUE(write_output_file(dir / "link", std::string_view("new")).has_value());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(read(dir / "target"), "new");

  // A link to a file not there yet: the file is made where the link points.
  std::filesystem::create_symlink("sub/later", dir / "dangling");
  std::filesystem::create_directories(dir / "sub");
  ASSERT_TRUE(write_output_file(dir / "dangling", std::string_view("made")).has_value());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling"));
  EXPECT_EQ(read(dir / "sub" / "later"), "made");

  // A name the program owns: the link itself is replaced by the file.
  ASSERT_TRUE(
      write_output_file(dir / "link", std::string_view("own"), Durability::Synced, fs, Target::OwnName).has_value());
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(read(dir / "link"), "own");
  EXPECT_EQ(read(dir / "target"), "new");

  // A device is written in place, and nothing is made beside it.
  ASSERT_TRUE(write_output_file("/dev/null", std::string_view("gone")).has_value());
  EXPECT_FALSE(std::filesystem::exists("/dev/null.part"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  // A stream through /dev/fd is appended to, as `>>` asks.
  ASSERT_TRUE(write_whole_file(dir / "log", Bytes{'a', '\n'}).has_value());
  const int fd = ::open((dir / "log").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(write_output_file("/dev/fd/" + std::to_string(fd), std::string_view("b\n")).has_value());
  ::close(fd);
  EXPECT_EQ(read(dir / "log"), "a\nb\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    EXPECT_FALSE(is_temporary_name(entry.path().filename().string())) << entry.path();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ravelin::common
