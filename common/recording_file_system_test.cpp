// The recording backend where its own logic can go wrong: paths, the record,
// injected faults, and above all the power-loss model.
#include "ravelin/common/recording_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>

namespace ravelin::common {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

constexpr int kSeeds = 200;

std::unique_ptr<OpenFile> open_rw(RecordingFileSystem& fs, const Path& path) {
  auto file = fs.open_read_write(path);
  EXPECT_TRUE(file.has_value()) << display_path(path);
  return file ? std::move(*file) : nullptr;
}

// Every file and its text: a whole state, for comparing.
std::map<std::string, std::string> snapshot(const RecordingFileSystem& fs) {
  std::map<std::string, std::string> out;
  for (const Path& path : fs.list_files()) out[path.string()] = fs.file_text(path).value_or("<gone>");
  return out;
}

// The distinct texts `path` has after a power cut, over many seeds ("" when
// the file is gone).
std::set<std::string> outcomes(const RecordingFileSystem& fs, const Path& path) {
  std::set<std::string> seen;
  for (int seed = 0; seed < kSeeds; ++seed) seen.insert(fs.power_loss(seed).file_text(path).value_or("<none>"));
  return seen;
}

TEST(RecordingFileSystem, PathsAreNormalisedAgainstTheRoot) {
  RecordingFileSystem fs("/home/u/./w/");
  fs.put_file("/home/u/w/a/b", "x");
  const std::pair<std::string, std::string> cases[] = {
      {"a/b", "/home/u/w/a/b"},      {"./a/./b", "/home/u/w/a/b"}, {"a/c/../b", "/home/u/w/a/b"},
      {"../w/a/b", "/home/u/w/a/b"}, {"/x/y/", "/x/y"},            {"", "/home/u/w"},
      {"//x//y", "/x/y"},            {"/..", "/"},
  };
  for (const auto& [given, normal] : cases) EXPECT_EQ(fs.normalise(given).string(), normal) << given;
  EXPECT_EQ(fs.file_text("a/c/../b"), "x");
  EXPECT_EQ(fs.kind("/home/u").value(), FileKind::Directory) << "the root exists with its parents";
  EXPECT_EQ(fs.list_files(), std::vector<Path>{"/home/u/w/a/b"});
}

TEST(RecordingFileSystem, RecordsEveryChangeInOrder) {
  RecordingFileSystem fs("/w");
  ASSERT_TRUE(fs.create_directories("d/e").has_value());
  auto file = fs.create("d/e/f", CreateMode::Truncate);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE((*file)->write_at(10, bytes_of("abc")).has_value());
  ASSERT_TRUE((*file)->truncate(5).has_value());
  ASSERT_TRUE((*file)->sync().has_value());
  ASSERT_TRUE(fs.rename("d/e/f", "d/g").has_value());
  EXPECT_FALSE(fs.create("none/f", CreateMode::Truncate).has_value());
  ASSERT_TRUE(fs.remove("d/g").has_value());
  ASSERT_TRUE(fs.sync_directory("d").has_value());
  ASSERT_TRUE(fs.sync_file_system("/").has_value());
  // Reading and inspecting are not changes.
  (void)fs.read_whole("d/e");
  (void)fs.kind("d");
  (void)fs.list_directory("d");
  std::vector<std::string> texts;
  for (const Operation& op : fs.operations()) texts.push_back(to_string(op));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "create_directories /w/d/e",
                       "create /w/d/e/f",
                       "write /w/d/e/f 10+3",
                       "truncate /w/d/e/f 5",
                       "sync /w/d/e/f",
                       "rename /w/d/e/f /w/d/g",
                       "create /w/none/f (failed)",
                       "remove /w/d/g",
                       "sync_directory /w/d",
                       "sync_file_system /",
                   }));
}

TEST(RecordingFileSystem, AnInjectedFailureIsNotApplied) {
  struct Case {
    std::string what;
    std::function<IoResult<void>(RecordingFileSystem&)> call;
    std::map<std::string, std::string> state_after;
  };
  const std::map<std::string, std::string> untouched = {{"/w/a", "old"}};
  const Case cases[] = {
      {"write", [](RecordingFileSystem& fs) { return open_rw(fs, "a")->write_at(0, bytes_of("new")); }, untouched},
      {"truncate", [](RecordingFileSystem& fs) { return open_rw(fs, "a")->truncate(0); }, untouched},
      {"rename", [](RecordingFileSystem& fs) { return fs.rename("a", "b"); }, untouched},
      {"remove", [](RecordingFileSystem& fs) { return fs.remove("a"); }, untouched},
      {"create",
       [](RecordingFileSystem& fs) -> IoResult<void> {
         auto f = fs.create("a", CreateMode::Truncate);
         if (!f) return std::unexpected(f.error());
         return {};
       },
       untouched},
  };
  for (const Case& c : cases) {
    for (const int code : {ENOSPC, EIO}) {
      RecordingFileSystem fs("/w");
      fs.put_file("a", "old");
      fs.fail_operation(0, code);
      const auto result = c.call(fs);
      ASSERT_FALSE(result.has_value()) << c.what;
      EXPECT_EQ(result.error(), IoError::from_errno(code)) << c.what;
      EXPECT_EQ(snapshot(fs), c.state_after) << c.what;
      ASSERT_EQ(fs.operations().size(), 1u);
      EXPECT_EQ(fs.operations()[0].outcome, OperationOutcome::Failed) << c.what;
      // Only that operation: the same call again goes through.
      EXPECT_TRUE(c.call(fs).has_value()) << c.what;
      EXPECT_NE(snapshot(fs), c.state_after) << c.what;
    }
  }
}

TEST(RecordingFileSystem, AFullDiskRefusesWhatWouldGrowPastIt) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", std::string(60, 'a'));
  fs.set_capacity(100);
  auto b = fs.create("b", CreateMode::Truncate);
  ASSERT_TRUE(b.has_value());
  EXPECT_TRUE((*b)->write_at(0, Bytes(40, 'b')).has_value()) << "exactly full";
  EXPECT_EQ((*b)->write_at(40, Bytes(1, 'b')).error().code, ENOSPC);
  EXPECT_EQ((*b)->truncate(41).error().code, ENOSPC);
  EXPECT_TRUE((*b)->write_at(0, Bytes(40, 'c')).has_value()) << "overwriting takes no room";
  EXPECT_EQ(fs.file_text("b"), std::string(40, 'c'));
  // Space comes back when a file is gone, but not while it is still open.
  auto a = fs.open_read_only("a");
  ASSERT_TRUE(fs.remove("a").has_value());
  EXPECT_EQ((*b)->write_at(40, Bytes(10, 'b')).error().code, ENOSPC);
  a->reset();
  EXPECT_TRUE((*b)->write_at(40, Bytes(10, 'b')).has_value());
  fs.clear_faults();
  EXPECT_TRUE((*b)->write_at(0, Bytes(1000, 'd')).has_value());
}

TEST(RecordingFileSystem, NothingHappensAfterTheStopPoint) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "old");
  fs.stop_after(2);
  auto file = fs.create("b", CreateMode::Truncate);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE((*file)->write_at(0, bytes_of("new")).has_value());
  EXPECT_FALSE((*file)->sync().has_value());
  EXPECT_FALSE(fs.rename("b", "a").has_value());
  EXPECT_FALSE(fs.remove("b").has_value());
  EXPECT_FALSE(fs.create_directories("d").has_value());
  EXPECT_EQ(snapshot(fs), (std::map<std::string, std::string>{{"/w/a", "old"}, {"/w/b", "new"}}));
  const auto ops = fs.operations();
  ASSERT_EQ(ops.size(), 6u);
  for (std::size_t i = 0; i < ops.size(); ++i)
    EXPECT_EQ(ops[i].outcome, i < 2 ? OperationOutcome::Applied : OperationOutcome::Refused) << to_string(ops[i]);
  // Reading still works: a test looks at what the process left.
  EXPECT_EQ(fs.read_whole("b").value_or(Bytes{}), bytes_of("new"));
  // The unsynced write of the dead process is still in the page cache.
  fs.clear_faults();
  EXPECT_TRUE(fs.rename("b", "a").has_value());
}

TEST(RecordingFileSystem, SpecialFilesAreNotRegular) {
  RecordingFileSystem fs("/w");
  fs.put_special("/dev/stdin", "streamed");
  EXPECT_EQ(fs.kind("/dev/stdin").value(), FileKind::Other);
  EXPECT_EQ(fs.open_read_only("/dev/stdin").error().message, "not a regular file");
  EXPECT_EQ(fs.open_read_write("/dev/stdin").error().message, "not a regular file");
  EXPECT_EQ(fs.read_whole("/dev/stdin").value_or(Bytes{}), bytes_of("streamed"));
  EXPECT_EQ(fs.list_files(), std::vector<Path>{});
}

TEST(RecordingFileSystem, BlockingOnAConflictReportsADeadlock) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "0123");
  auto one = open_rw(fs, "a");
  auto two = open_rw(fs, "a");
  ASSERT_EQ(one->lock(0, 4, LockKind::Exclusive, LockWait::Block).value(), LockResult::Taken);
  EXPECT_EQ(two->lock(0, 4, LockKind::Shared, LockWait::Block).error().code, EDEADLK);
  ASSERT_TRUE(one->unlock(0, 0).has_value());
  EXPECT_EQ(two->lock(0, 4, LockKind::Shared, LockWait::Block).value(), LockResult::Taken);
}

TEST(RecordingFileSystem, LocksCanBeMadeUnsupported) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "0123");
  auto one = open_rw(fs, "a");
  auto two = open_rw(fs, "a");
  ASSERT_EQ(one->lock(0, 4, LockKind::Exclusive, LockWait::NoWait).value(), LockResult::Taken);
  fs.set_locks_supported(false);
  for (const LockKind kind : {LockKind::Shared, LockKind::Exclusive})
    EXPECT_EQ(two->lock(0, 4, kind, LockWait::NoWait).value(), LockResult::Unsupported);
  fs.set_locks_supported(true);
  EXPECT_EQ(two->lock(0, 4, LockKind::Shared, LockWait::NoWait).value(), LockResult::Busy);
}

// The power-loss model.

TEST(RecordingPowerLoss, SyncedDataAlwaysSurvives) {
  RecordingFileSystem fs("/w");
  auto file = fs.create("a", CreateMode::Truncate);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE((*file)->write_at(0, Bytes(1500, 'x')).has_value());
  ASSERT_TRUE((*file)->sync().has_value());
  ASSERT_TRUE(fs.sync_directory("/w").has_value());
  // Later unsynced writes elsewhere in the file do not disturb what was synced.
  ASSERT_TRUE((*file)->write_at(2000, Bytes(100, 'y')).has_value());
  for (int seed = 0; seed < kSeeds; ++seed) {
    const auto bytes = fs.power_loss(seed).file_bytes("a");
    ASSERT_TRUE(bytes.has_value()) << seed;
    ASSERT_GE(bytes->size(), 1500u) << seed;
    EXPECT_EQ(Bytes(bytes->begin(), bytes->begin() + 1500), Bytes(1500, 'x')) << seed;
  }
  EXPECT_EQ(fs.synced_state().file_bytes("a"), Bytes(1500, 'x'));
}

TEST(RecordingPowerLoss, AnUnsyncedWriteMayBeLostOrKept) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "old");
  ASSERT_TRUE(open_rw(fs, "a")->write_at(0, bytes_of("new")).has_value());
  EXPECT_EQ(outcomes(fs, "a"), (std::set<std::string>{"old", "new"}));
  EXPECT_EQ(fs.synced_state().file_text("a"), "old");
}

TEST(RecordingPowerLoss, TornWritesBreakOnlyAtSectorBoundaries) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", std::string(4096, 'o'));
  // 100 to 3100: a partial first sector, five whole ones, a partial last one.
  ASSERT_TRUE(open_rw(fs, "a")->write_at(100, Bytes(3000, 'n')).has_value());
  const std::uint64_t cuts[] = {100, 512, 1024, 1536, 2048, 2560, 3072, 3100};
  int torn = 0;
  for (int seed = 0; seed < kSeeds; ++seed) {
    const std::string text = fs.power_loss(seed).file_text("a").value_or("");
    ASSERT_EQ(text.size(), 4096u);
    EXPECT_EQ(text.substr(0, 100), std::string(100, 'o'));
    EXPECT_EQ(text.substr(3100), std::string(996, 'o'));
    std::set<char> pieces;
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
      const std::string piece = text.substr(cuts[i], cuts[i + 1] - cuts[i]);
      const bool whole = piece == std::string(piece.size(), piece[0]);
      EXPECT_TRUE(whole) << "seed " << seed << " tore inside [" << cuts[i] << ", " << cuts[i + 1] << ")";
      pieces.insert(piece[0]);
    }
    if (pieces.size() > 1) ++torn;
  }
  EXPECT_GT(torn, 0) << "some power cut should tear the write";
}

TEST(RecordingPowerLoss, UnsyncedWritesLandInAnyOrder) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "0");
  auto file = open_rw(fs, "a");
  ASSERT_TRUE(file->write_at(0, bytes_of("1")).has_value());
  ASSERT_TRUE(file->write_at(0, bytes_of("2")).has_value());
  // "1" last means the earlier write landed after the later one.
  EXPECT_EQ(outcomes(fs, "a"), (std::set<std::string>{"0", "1", "2"}));
  ASSERT_TRUE(file->sync().has_value());
  EXPECT_EQ(outcomes(fs, "a"), std::set<std::string>{"2"});
}

TEST(RecordingPowerLoss, NameChangesNeedTheirDirectorySynced) {
  struct Case {
    std::string what;
    std::function<void(RecordingFileSystem&)> change;
    Path watched;
    std::set<std::string> before_sync;
    std::string after_sync;
  };
  auto create_c = [](RecordingFileSystem& fs) {
    auto f = fs.create("d/c", CreateMode::Truncate);
    ASSERT_TRUE(f.has_value());
    ASSERT_TRUE((*f)->write_at(0, bytes_of("C")).has_value());
    ASSERT_TRUE((*f)->sync().has_value());
  };
  const Case cases[] = {
      {"rename over", [](RecordingFileSystem& fs) { ASSERT_TRUE(fs.rename("d/b", "d/a").has_value()); }, "d/a",
       {"A", "B"}, "B"},
      {"rename from another directory",
       [](RecordingFileSystem& fs) { ASSERT_TRUE(fs.rename("e/x", "d/a").has_value()); }, "d/a", {"A", "X"}, "X"},
      {"remove", [](RecordingFileSystem& fs) { ASSERT_TRUE(fs.remove("d/a").has_value()); }, "d/a", {"A", "<none>"},
       "<none>"},
      {"create", create_c, "d/c", {"C", "<none>"}, "C"},
  };
  for (const Case& c : cases) {
    RecordingFileSystem fs("/w");
    fs.put_file("d/a", "A");
    fs.put_file("d/b", "B");
    fs.put_file("e/x", "X");
    c.change(fs);
    EXPECT_EQ(outcomes(fs, c.watched), c.before_sync) << c.what;
    // Another directory's sync, even the one a rename came from, is not enough.
    ASSERT_TRUE(fs.sync_directory("e").has_value());
    EXPECT_EQ(outcomes(fs, c.watched), c.before_sync) << c.what;
    ASSERT_TRUE(fs.sync_directory("d").has_value());
    EXPECT_EQ(outcomes(fs, c.watched), std::set<std::string>{c.after_sync}) << c.what;
  }
}

TEST(RecordingPowerLoss, ANewFileInANewDirectoryNeedsBothSynced) {
  RecordingFileSystem fs("/w");
  ASSERT_TRUE(fs.create_directories("x/y").has_value());
  auto f = fs.create("x/y/f", CreateMode::Truncate);
  ASSERT_TRUE(f.has_value());
  ASSERT_TRUE((*f)->write_at(0, bytes_of("F")).has_value());
  ASSERT_TRUE((*f)->sync().has_value());
  ASSERT_TRUE(fs.sync_directory("x/y").has_value());
  // x itself may be gone, and y with it.
  EXPECT_EQ(outcomes(fs, "x/y/f"), (std::set<std::string>{"F", "<none>"}));
  ASSERT_TRUE(fs.sync_directory("x").has_value());
  ASSERT_TRUE(fs.sync_directory("/w").has_value());
  EXPECT_EQ(outcomes(fs, "x/y/f"), std::set<std::string>{"F"});
}

TEST(RecordingPowerLoss, SyncingTheFileSystemMakesEverythingDurable) {
  RecordingFileSystem fs("/w");
  fs.put_file("a", "old");
  auto f = fs.create("d.part", CreateMode::Truncate);
  ASSERT_TRUE((*f)->write_at(0, Bytes(2000, 'n')).has_value());
  ASSERT_TRUE(fs.rename("d.part", "a").has_value());
  ASSERT_TRUE(fs.sync_file_system("/w").has_value());
  EXPECT_EQ(outcomes(fs, "a"), std::set<std::string>{std::string(2000, 'n')});
  EXPECT_EQ(outcomes(fs, "d.part"), std::set<std::string>{"<none>"});
}

TEST(RecordingPowerLoss, EqualSeedsGiveEqualStates) {
  RecordingFileSystem fs("/w");
  for (int i = 0; i < 8; ++i) {
    const std::string name = "f" + std::to_string(i);
    auto f = fs.create(name, CreateMode::Truncate);
    ASSERT_TRUE((*f)->write_at(0, Bytes(1500, static_cast<std::uint8_t>('a' + i))).has_value());
    if (i % 2 == 0) {
      ASSERT_TRUE(fs.rename(name, "g" + std::to_string(i)).has_value());
    }
  }
  std::set<std::map<std::string, std::string>> distinct;
  for (int seed = 0; seed < 20; ++seed) {
    const auto state = snapshot(fs.power_loss(seed));
    EXPECT_EQ(snapshot(fs.power_loss(seed)), state) << seed;
    distinct.insert(state);
  }
  EXPECT_GT(distinct.size(), 10u) << "different seeds should mostly give different states";
  // The state a power cut leaves is durable through and through.
  const RecordingFileSystem after = fs.power_loss(7);
  EXPECT_EQ(snapshot(after.power_loss(1)), snapshot(after));
  EXPECT_EQ(snapshot(after.synced_state()), snapshot(after));
}

}  // namespace
}  // namespace ravelin::common
