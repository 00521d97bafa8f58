// Crash safety of the commit. A scripted session of commits (puts of new ids,
// replacements that grow and shrink, an insert that splits up to the root,
// removes that merge down to one level, puts into freed blocks) runs through
// the recording backend, with and without block reuse, and is cut short:
//   - the process dies after each operation in turn (every write issued so far
//     is in the file);
//   - the power goes after each operation in turn, for several seeds (unsynced
//     writes lost or landed in any subset and order, torn at sector edges);
//   - each operation in turn fails with EIO, and the same editor goes on.
// Each time the reader finds exactly the state before or after the commit that
// was under way, the block walk finds nothing but leaked blocks, and the next
// editor opens the archive, commits, and leaves no block leaked.
//
// CI runs every stop point and a few seeds each; RAVELIN_CRASH_SWEEP=full runs
// many seeds (scripts/crash_sweep.sh).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <random>

#include "ravelin/dat/compress.h"
#include "dat/editor_test_support.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/common/recording_file_system.h"
#include "ravelin/dat/archive_editor.h"

namespace ravelin::dat {
namespace {

using common::RecordingFileSystem;
using test_support::ArchiveState;
using test_support::Bytes;
using test_support::FileState;

const common::Path kPath = "/w/a.dat";
constexpr std::uint32_t kBlockSize = 64;
// 61 + 62 * 61: a tree of two levels with every node full.
constexpr std::uint32_t kFiles = 3843;
constexpr std::uint32_t kRecoveryId = 0xABCD0000u;

bool full_sweep() {
  const char* mode = std::getenv("RAVELIN_CRASH_SWEEP");
  return mode != nullptr && std::string(mode) == "full";
}
int power_seeds() { return full_sweep() ? 256 : 6; }

Bytes pattern(std::uint32_t id, std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(id * 31 + i * 7 + (i >> 3));
  return out;
}

const Bytes& initial_archive() {
  static const Bytes bytes = [] {
    dat_writer::ArchiveWriter writer({.block_size = kBlockSize, .entries_per_node = 61});
    for (std::uint32_t i = 0; i < kFiles; ++i) writer.add_file(i * 16 + 16, pattern(i, i % 12 + 1));
    return writer.build().bytes;
  }();
  return bytes;
}

struct Step {
  enum class Kind : std::uint8_t { Put, PutCompressed, Remove } kind;
  std::uint32_t id;
  Bytes bytes;
};
using Batch = std::vector<Step>;

const std::vector<Batch>& session() {
  static const std::vector<Batch> batches = [] {
    std::vector<Batch> out(4);
    // 1: a new id in the first (full) leaf splits it and the full root above;
    // replacements grow past a block, shrink to nothing and to a little; a
    // compressed new file.
    out[0].push_back({Step::Kind::Put, 5, pattern(5, 40)});
    out[0].push_back({Step::Kind::Put, 1600, pattern(1600, 500)});
    out[0].push_back({Step::Kind::Put, 3200, {}});
    out[0].push_back({Step::Kind::Put, 4800, pattern(4800, 3)});
    out[0].push_back({Step::Kind::PutCompressed, 0x7FFF0000u, Bytes(300, 'z')});
    out[0].push_back({Step::Kind::Put, 0x7FFF0001u, pattern(7, 130)});
    // 2: nearly everything goes: merges down to a single level.
    for (std::uint32_t i = 0; i < kFiles; ++i)
      if (i % 100 != 0) out[1].push_back({Step::Kind::Remove, i * 16 + 16, {}});
    out[1].push_back({Step::Kind::Remove, 5, {}});
    // 3: new bodies and replacements, into freed blocks when reuse is allowed.
    for (std::uint32_t k = 0; k < 6; ++k) out[2].push_back({Step::Kind::Put, 0x100000u + k, pattern(k, 100 + 40 * k)});
    out[2].push_back({Step::Kind::Put, 16, pattern(99, 200)});
    out[2].push_back({Step::Kind::PutCompressed, 0x7FFF0000u, Bytes(900, 'y')});
    // 4: small changes.
    out[3].push_back({Step::Kind::Remove, 0x100002u, {}});
    out[3].push_back({Step::Kind::Remove, 1616, {}});
    out[3].push_back({Step::Kind::Put, 0x100002u, pattern(3, 7)});
    return out;
  }();
  return batches;
}

ArchiveState apply(ArchiveState state, const Batch& batch) {
  for (const Step& step : batch) {
    if (step.kind == Step::Kind::Remove) {
      state.erase(step.id);
      continue;
    }
    const auto old = state.find(step.id);
    FileState f;
    if (old != state.end()) {
      f.bit_flags = old->second.bit_flags & ~kCompressedFlag;
      f.timestamp = old->second.timestamp;
      f.version = old->second.version;
    }
    f.size = static_cast<std::uint32_t>(step.bytes.size());
    if (step.kind == Step::Kind::PutCompressed) {
      f.bit_flags |= kCompressedFlag;
      f.size = static_cast<std::uint32_t>(compress_lrs(step.bytes)->size());
    }
    f.content = step.bytes;
    state[step.id] = f;
  }
  return state;
}

enum class Mode : std::uint8_t { Reuse, ReaderOpen };

RecordingFileSystem fresh_fs() {
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, initial_archive());
  return fs;
}

EditResult<CommitStats> run_batch(ArchiveEditor& editor, const Batch& batch) {
  for (const Step& step : batch) {
    auto done = step.kind == Step::Kind::Remove
                    ? editor.remove(step.id)
                    : editor.put(step.id, step.bytes, {.compress = step.kind == Step::Kind::PutCompressed});
    if (!done) return std::unexpected(done.error());
  }
  return editor.commit();
}

// Runs the session until its end or its first failure; with `commit_ends`,
// records the operation count after each commit. The commits that succeeded.
std::size_t run_session(RecordingFileSystem& fs, Mode mode, std::vector<std::size_t>* commit_ends = nullptr) {
  std::optional<DatDatabase> reader;
  if (mode == Mode::ReaderOpen) {
    auto db = DatDatabase::open(kPath, fs);
    EXPECT_TRUE(db) << db.error().to_string();
    if (db) reader.emplace(std::move(*db));
  }
  auto editor = ArchiveEditor::open(kPath, fs);
  if (!editor) return 0;
  std::size_t done = 0;
  for (const Batch& batch : session()) {
    auto stats = run_batch(*editor, batch);
    if (!stats) return done;
    ++done;
    if (commit_ends != nullptr) {
      commit_ends->push_back(fs.operations().size());
      EXPECT_EQ(stats->reuse, mode == Mode::Reuse);
    }
  }
  return done;
}

// The states before and after each commit, and the operations each ended at.
struct Reference {
  std::vector<ArchiveState> states;  // states[j]: after j commits
  std::vector<std::size_t> ends;     // ends[j]: operations after commit j + 1
};

const Reference& reference(Mode mode) {
  static std::map<Mode, Reference> cache;
  if (const auto it = cache.find(mode); it != cache.end()) return it->second;
  Reference r;
  RecordingFileSystem fs = fresh_fs();
  std::string why;
  r.states.push_back(*test_support::read_state(fs, kPath, why));
  for (const Batch& batch : session()) r.states.push_back(apply(r.states.back(), batch));
  run_session(fs, mode, &r.ends);
  EXPECT_EQ(r.ends.size(), session().size());
  auto final_state = test_support::read_state(fs, kPath, why);
  EXPECT_TRUE(final_state && *final_state == r.states.back()) << why;
  return cache[mode] = std::move(r);
}

// The commit under way after `ops` operations: the states it may leave.
std::pair<std::size_t, std::size_t> allowed_states(const Reference& r, std::size_t ops) {
  for (std::size_t j = 0; j < r.ends.size(); ++j)
    if (ops < r.ends[j]) return {j, j + 1};
  return {r.ends.size(), r.ends.size()};
}

// The archive holds states[before] or states[after], and the block walk finds
// nothing but leaked blocks.
void expect_state(RecordingFileSystem& fs, const Reference& r, std::size_t before, std::size_t after) {
  std::string why;
  const auto state = test_support::read_state(fs, kPath, why);
  ASSERT_TRUE(state) << why;
  ASSERT_TRUE(*state == r.states[before] || *state == r.states[after])
      << "a state that is neither after commit " << before << " nor after commit " << after;
  const auto report = test_support::walk_blocks(fs, kPath);
  ASSERT_TRUE(report.sound()) << report.text();
}

// The editor (the one that met a failure, or the next one) commits a put, and
// the commit reclaims every leaked block.
void expect_recovery(RecordingFileSystem& fs, ArchiveEditor& editor) {
  std::string why;
  const auto state = test_support::read_state(fs, kPath, why);
  ASSERT_TRUE(state) << why;
  const Bytes recovered = pattern(kRecoveryId, 90);
  ASSERT_TRUE(editor.put(kRecoveryId, recovered));
  auto stats = editor.commit();
  ASSERT_TRUE(stats) << stats.error().to_string();
  ArchiveState expected = *state;
  expected[kRecoveryId] = FileState{0, 90, 0, 0, recovered};
  const auto later = test_support::read_state(fs, kPath, why);
  ASSERT_TRUE(later) << why;
  ASSERT_TRUE(*later == expected);
  const auto report = test_support::walk_blocks(fs, kPath);
  ASSERT_TRUE(report.sound()) << report.text();
  ASSERT_EQ(report.leaked, 0u) << "leaked blocks survive the next commit";
  ASSERT_TRUE(report.size_is_length);
}

// After a crash: either state of the commit under way, and the next editor works.
void expect_before_or_after(RecordingFileSystem& fs, const Reference& r, std::size_t ops, const std::string& label) {
  SCOPED_TRACE(label);
  const auto [before, after] = allowed_states(r, ops);
  ASSERT_NO_FATAL_FAILURE(expect_state(fs, r, before, after));
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor) << editor.error().to_string();
  ASSERT_NO_FATAL_FAILURE(expect_recovery(fs, *editor));
}

class CrashSweep : public ::testing::TestWithParam<Mode> {};

TEST_P(CrashSweep, ProcessDiesAfterEachOperation) {
  const Reference& r = reference(GetParam());
  for (std::size_t k = 0; k <= r.ends.back(); ++k) {
    RecordingFileSystem fs = fresh_fs();
    fs.stop_after(k);
    run_session(fs, GetParam());
    fs.clear_faults();
    expect_before_or_after(fs, r, k, "stopped after operation " + std::to_string(k));
    if (HasFatalFailure()) return;
  }
}

TEST_P(CrashSweep, PowerGoesAfterEachOperation) {
  const Reference& r = reference(GetParam());
  std::size_t cuts = 0;
  for (std::size_t k = 0; k <= r.ends.back(); ++k) {
    RecordingFileSystem fs = fresh_fs();
    fs.stop_after(k);
    run_session(fs, GetParam());
    for (int seed = 0; seed < power_seeds(); ++seed) {
      RecordingFileSystem after = fs.power_loss(seed * 7919 + k);
      expect_before_or_after(after, r, k,
                             "power lost after operation " + std::to_string(k) + ", seed " + std::to_string(seed));
      if (HasFatalFailure()) return;
      ++cuts;
    }
  }
  RecordProperty("power_cuts", static_cast<int>(cuts));
  std::printf("crash sweep (%s): %zu stop points, %zu power cuts, every one before or after\n",
              GetParam() == Mode::Reuse ? "reusing blocks" : "a reader open, appending", r.ends.back() + 1, cuts);
}

TEST_P(CrashSweep, EachOperationFailsInTurn) {
  const Reference& r = reference(GetParam());
  for (std::size_t k = 0; k < r.ends.back(); ++k) {
    SCOPED_TRACE("operation " + std::to_string(k) + " fails");
    RecordingFileSystem fs = fresh_fs();
    fs.fail_operation(k, EIO);
    std::optional<DatDatabase> reader;
    if (GetParam() == Mode::ReaderOpen) reader.emplace(std::move(*DatDatabase::open(kPath, fs)));
    auto editor = ArchiveEditor::open(kPath, fs);
    ASSERT_TRUE(editor);
    // A commit that fails is dropped and leaves the state before it; one that
    // fails only while freeing blocks stands.
    std::size_t done = 0;
    for (const Batch& batch : session()) {
      if (!run_batch(*editor, batch)) break;
      ++done;
    }
    ASSERT_NO_FATAL_FAILURE(expect_state(fs, r, done, done));
    // The same editor goes on.
    reader.reset();
    ASSERT_NO_FATAL_FAILURE(expect_recovery(fs, *editor));
  }
}

INSTANTIATE_TEST_SUITE_P(Editor, CrashSweep, ::testing::Values(Mode::Reuse, Mode::ReaderOpen),
                         [](const auto& info) { return info.param == Mode::Reuse ? "Reuse" : "ReaderOpen"; });

// The session reuses blocks at all: without it, the sweep would not cover the
// free list.
TEST(CrashSweepSession, ReusesFreedBlocks) {
  RecordingFileSystem fs = fresh_fs();
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  std::uint64_t reused = 0, freed = 0;
  for (const Batch& batch : session()) {
    auto stats = run_batch(*editor, batch);
    ASSERT_TRUE(stats);
    reused += stats->blocks_reused;
    freed += stats->blocks_freed;
  }
  EXPECT_GT(freed, 3000u);
  EXPECT_GT(reused, 20u);
}

}  // namespace
}  // namespace ravelin::dat
