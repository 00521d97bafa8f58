#include "ravelin/dat/archive_editor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <random>

#include "ravelin/dat/compress.h"
#include "dat/editor_test_support.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::dat {
namespace {

using common::RecordingFileSystem;
using test_support::ArchiveState;
using test_support::Bytes;
using test_support::FileState;

const common::Path kPath = "/w/a.dat";

Bytes pattern(std::uint32_t seed, std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed * 13 + i * 3 + (i >> 4));
  return out;
}

// An archive of `files` files (ids 10, 20, ...) written by the sample writer.
void write_archive(RecordingFileSystem& fs, std::uint32_t files, dat_writer::ArchiveOptions options = {.block_size = 64},
                   dat_writer::FileOptions file_options = {}) {
  dat_writer::ArchiveWriter writer(options);
  writer.header().game_version = 41;
  for (std::uint32_t i = 0; i < files; ++i) writer.add_file(10 * i + 10, pattern(i, i % 70 + 1), file_options);
  fs.put_file(kPath, writer.build().bytes);
}

ArchiveState state_of(RecordingFileSystem& fs) {
  std::string why;
  auto state = test_support::read_state(fs, kPath, why);
  EXPECT_TRUE(state) << why;
  return state.value_or(ArchiveState{});
}

std::size_t writes(const RecordingFileSystem& fs) {
  std::size_t n = 0;
  for (const auto& op : fs.operations()) n += op.kind == common::OperationKind::Write ? 1 : 0;
  return n;
}

FileState file(std::uint32_t flags, const Bytes& stored, const Bytes& content, std::uint32_t timestamp = 0,
               std::uint32_t version = 0) {
  return FileState{flags, static_cast<std::uint32_t>(stored.size()), timestamp, version, content};
}

TEST(ArchiveEditor, PutsAndRemovesAreReadBackAfterTheCommit) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 100);
  ArchiveState expected = state_of(fs);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor) << editor.error().to_string();
  EXPECT_EQ(editor->entry_count(), 100u);
  ASSERT_TRUE(editor->put(15, pattern(1, 500)));
  ASSERT_TRUE(editor->put(20, pattern(2, 3)));
  ASSERT_TRUE(editor->remove(30));
  ASSERT_TRUE(editor->put(0, {}));
  EXPECT_EQ(editor->entry_count(), 101u);
  EXPECT_EQ(editor->find(15)->size, 500u);
  EXPECT_FALSE(editor->find(30));
  // Nothing reaches the file before the commit.
  EXPECT_EQ(writes(fs), 0u);
  EXPECT_EQ(state_of(fs), expected);
  ASSERT_TRUE(editor->commit());
  expected[15] = file(0, pattern(1, 500), pattern(1, 500));
  expected[20] = file(0, pattern(2, 3), pattern(2, 3));
  expected.erase(30);
  expected[0] = file(0, {}, {});
  EXPECT_EQ(state_of(fs), expected);
  std::vector<std::uint32_t> ids;
  for (const DatFileEntry& e : editor->entries()) ids.push_back(e.id);
  std::vector<std::uint32_t> want;
  for (const auto& [id, f] : expected) want.push_back(id);
  EXPECT_EQ(ids, want);
  const auto report = test_support::walk_blocks(fs, kPath);
  EXPECT_TRUE(report.sound()) << report.text();
  EXPECT_EQ(report.leaked, 0u);
  EXPECT_GT(report.free, 0u) << "the replaced and removed bodies' blocks are free";
}

TEST(ArchiveEditor, AbandonWritesNothingAndRestoresThePendingState) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 300);
  const ArchiveState before = state_of(fs);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  for (std::uint32_t id = 1; id < 3000; id += 7) ASSERT_TRUE(editor->put(id, pattern(id, 9)));
  ASSERT_TRUE(editor->remove(10));
  DatHeader fields = editor->header();
  fields.game_version = 99;
  editor->set_kept_fields(fields);
  EXPECT_TRUE(editor->has_changes());
  editor->abandon();
  EXPECT_FALSE(editor->has_changes());
  EXPECT_EQ(editor->entry_count(), 300u);
  EXPECT_TRUE(editor->find(10));
  EXPECT_EQ(editor->header().game_version, 41u);
  ASSERT_TRUE(editor->commit());
  EXPECT_EQ(writes(fs), 0u);
  EXPECT_EQ(state_of(fs), before);
}

struct PutCase {
  const char* name;
  bool existing;  // id 10 is there with flags 0x10, timestamp 5, version 6
  PutOptions options;
  std::uint32_t flags, timestamp, version;
};

class PutFields : public ::testing::TestWithParam<PutCase> {};

TEST_P(PutFields, ComeFromTheOptionsElseTheReplacedEntryElseZero) {
  const PutCase& c = GetParam();
  RecordingFileSystem fs("/w");
  write_archive(fs, 5, {.block_size = 64}, {.extra_flags = 0x10, .timestamp = 5, .version = 6});
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  const std::uint32_t id = c.existing ? 10 : 11;
  const Bytes content(200, 'q');
  ASSERT_TRUE(editor->put(id, content, c.options));
  ASSERT_TRUE(editor->commit());
  const FileState f = state_of(fs).at(id);
  EXPECT_EQ(f.bit_flags, c.flags);
  EXPECT_EQ(f.timestamp, c.timestamp);
  EXPECT_EQ(f.version, c.version);
  EXPECT_EQ(f.content, content) << "the reader's decompression gives the bytes back";
  EXPECT_EQ(f.size, c.options.compress ? compress_lrs(content)->size() : content.size());
}

INSTANTIATE_TEST_SUITE_P(
    Editor, PutFields,
    ::testing::Values(PutCase{"new_plain", false, {}, 0, 0, 0},
                      PutCase{"new_compressed", false, {.compress = true}, 1, 0, 0},
                      PutCase{"replaced_keeps_fields", true, {}, 0x10, 5, 6},
                      PutCase{"replaced_compressed", true, {.compress = true}, 0x11, 5, 6},
                      PutCase{"options_win", true, {.compress = true, .flags = 0x20, .timestamp = 9, .version = 10},
                              0x21, 9, 10},
                      PutCase{"bit_0_says_compressed_only", false, {.flags = 0x3}, 0x2, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveEditor, PutStoredKeepsTheStoredBytes) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 5);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  // Declared length 18: one literal X, then 17 more copied from one back.
  const Bytes stored{18, 0, 0, 0, 0x40, 'X', 0x01, 0x0F};
  ASSERT_TRUE(editor->put_stored(77, stored, 0x41, 3, 4));
  EXPECT_EQ(*editor->stored_bytes(77), stored);
  ASSERT_TRUE(editor->commit());
  EXPECT_EQ(*editor->stored_bytes(77), stored);
  EXPECT_EQ(state_of(fs).at(77), file(0x41, stored, Bytes(18, 'X'), 3, 4));
}

TEST(ArchiveEditor, CreateWritesAnEmptyArchiveWithTheKeptFields) {
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, "an old file in the way");
  DatHeader kept;
  kept.magic = 0x5442;
  kept.dataset = 2;
  kept.game_version = 7;
  kept.version_string[3] = 0xEE;
  kept.block_size = 999;    // the editor's own
  kept.root_offset = 1234;  // the editor's own
  auto editor = ArchiveEditor::create(kPath, 128, kept, fs);
  ASSERT_TRUE(editor) << editor.error().to_string();
  EXPECT_EQ(editor->entry_count(), 0u);
  auto db = DatDatabase::open(kPath, fs);
  ASSERT_TRUE(db);
  EXPECT_EQ(db->header().block_size, 128u);
  EXPECT_EQ(db->header().root_offset, 0u);
  EXPECT_EQ(db->header().file_size, 512u);
  EXPECT_EQ(db->header().game_version, 7u);
  EXPECT_EQ(db->header().version_string, kept.version_string);
  EXPECT_EQ(db->entry_count(), 0u);
  db = std::unexpected(DatError::other("closed"));
  ASSERT_TRUE(editor->put(1, pattern(1, 1000)));
  ASSERT_TRUE(editor->commit());
  EXPECT_EQ(state_of(fs).at(1).content, pattern(1, 1000));
  EXPECT_TRUE(test_support::walk_blocks(fs, kPath).sound());

  EXPECT_EQ(ArchiveEditor::create("/w/b.dat", 4, kept, fs).error().kind(), EditError::Kind::Refused);
}

TEST(ArchiveEditor, ASecondEditorIsBusy) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 10);
  auto first = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(first);
  auto second = ArchiveEditor::open(kPath, fs);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().kind(), EditError::Kind::Busy);
  EXPECT_EQ(second.error().to_string(), "/w/a.dat is being changed by another process");
  // Readers are welcome meanwhile.
  EXPECT_TRUE(DatDatabase::open(kPath, fs));
  first = ArchiveEditor::create("/w/other.dat", 64, {}, fs);
  EXPECT_TRUE(ArchiveEditor::open(kPath, fs)) << "the first editor's lock went with it";
}

TEST(ArchiveEditor, AReaderOpenAcrossACommitKeepsReadingItsVersion) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 400);
  const ArchiveState before = state_of(fs);
  auto reader = DatDatabase::open(kPath, fs);
  ASSERT_TRUE(reader);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  for (std::uint32_t id = 10; id <= 4000; id += 30) ASSERT_TRUE(editor->put(id, pattern(id + 1, 150)));
  for (std::uint32_t id = 20; id <= 4000; id += 50) ASSERT_TRUE(editor->remove(id));
  const auto stats = editor->commit();
  ASSERT_TRUE(stats);
  EXPECT_FALSE(stats->reuse);
  EXPECT_EQ(stats->blocks_reused, 0u);
  EXPECT_EQ(stats->blocks_appended, stats->blocks_written);
  EXPECT_GT(stats->blocks_left_leaked, 0u);
  for (const auto& [id, f] : before) {
    auto bytes = reader->get_file(id);
    ASSERT_TRUE(bytes);
    ASSERT_EQ(*bytes, f.content) << "file " << id << " of the version the reader opened";
  }
  const ArchiveState after = state_of(fs);
  EXPECT_NE(after, before);
  // Once the reader is gone, the next commit takes the blocks back.
  reader = std::unexpected(DatError::other("closed"));
  EXPECT_GT(test_support::walk_blocks(fs, kPath).leaked, 0u);
  ASSERT_TRUE(editor->put(5, pattern(5, 20)));
  const auto second = editor->commit();
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->reuse);
  EXPECT_GE(second->blocks_reclaimed, stats->blocks_left_leaked);
  const auto report = test_support::walk_blocks(fs, kPath);
  EXPECT_TRUE(report.sound()) << report.text();
  EXPECT_EQ(report.leaked, 0u);
}

TEST(ArchiveEditor, WithoutLocksNoBlockIsReused) {
  RecordingFileSystem fs("/w");
  write_archive(fs, 200);
  {
    auto editor = ArchiveEditor::open(kPath, fs);
    ASSERT_TRUE(editor);
    for (std::uint32_t id = 10; id <= 2000; id += 20) ASSERT_TRUE(editor->remove(id));
    ASSERT_TRUE(editor->commit());
  }
  ASSERT_GT(test_support::walk_blocks(fs, kPath).free, 0u);
  fs.set_locks_supported(false);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor) << "an archive on a file system without locks is still edited";
  const std::uint64_t length = fs.file_bytes(kPath)->size();
  ASSERT_TRUE(editor->put(3, pattern(3, 200)));
  const auto stats = editor->commit();
  ASSERT_TRUE(stats);
  EXPECT_FALSE(stats->reuse);
  EXPECT_EQ(stats->blocks_reused, 0u);
  EXPECT_GT(fs.file_bytes(kPath)->size(), length);
  EXPECT_EQ(state_of(fs).at(3).content, pattern(3, 200));
}

// A directory from another writer: small nodes, leaves at several depths,
// chains laid out every way the reader accepts, an oversized last block.
TEST(ArchiveEditor, EditsArchivesOfOtherLayouts) {
  const dat_writer::ChainLayout layouts[] = {dat_writer::ChainLayout::Scattered, dat_writer::ChainLayout::Reversed,
                                             dat_writer::ChainLayout::OversizedLast};
  for (const auto layout : layouts) {
    SCOPED_TRACE(static_cast<int>(layout));
    RecordingFileSystem fs("/w");
    write_archive(fs, 500, {.block_size = 64, .entries_per_node = 3, .node_layout = layout}, {.layout = layout});
    ArchiveState expected = state_of(fs);
    auto editor = ArchiveEditor::open(kPath, fs);
    ASSERT_TRUE(editor) << editor.error().to_string();
    for (std::uint32_t id = 10; id <= 5000; id += 70) {
      ASSERT_TRUE(editor->put(id, pattern(id, 90)));
      expected[id] = file(0, pattern(id, 90), pattern(id, 90));
    }
    for (std::uint32_t id = 40; id <= 5000; id += 110) {
      ASSERT_TRUE(editor->remove(id));
      expected.erase(id);
    }
    ASSERT_TRUE(editor->commit());
    EXPECT_EQ(state_of(fs), expected);
    const auto report = test_support::walk_blocks(fs, kPath);
    EXPECT_TRUE(report.sound()) << report.text();
    EXPECT_EQ(report.leaked, 0u) << "gaps between scattered blocks are reclaimed";
  }
}

// The walk the tests rely on finds what it is there to find.
TEST(BlockWalk, FindsLeakedAndSharedBlocks) {
  dat_writer::ArchiveWriter writer({.block_size = 64});
  for (std::uint32_t i = 0; i < 20; ++i)
    writer.add_file(i + 1, pattern(i, 30), {.layout = i == 3 ? dat_writer::ChainLayout::Scattered
                                                              : dat_writer::ChainLayout::Contiguous});
  writer.add_file(100, pattern(9, 200), {.layout = dat_writer::ChainLayout::Scattered});
  dat_writer::ArchiveLayout layout = writer.build();
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, layout.bytes);
  auto report = test_support::walk_blocks(fs, kPath);
  EXPECT_TRUE(report.sound()) << report.text();
  EXPECT_EQ(report.leaked, 3u) << "the gaps between file 100's four blocks";

  // File 5's entry now names file 6's block: one block in two items, and
  // file 5's own block used by nothing.
  const std::uint32_t six = layout.file_blocks[5].front();
  const auto& leaf = layout.node_blocks.front();
  const std::size_t entry_offset = leaf[(252 + 24 * 4 + 8) / 60] + 4 + (252 + 24 * 4 + 8) % 60;
  dat_writer::patch_u32(layout.bytes, entry_offset, six);
  fs.put_file(kPath, layout.bytes);
  report = test_support::walk_blocks(fs, kPath);
  ASSERT_EQ(report.faults.size(), 1u) << report.text();
  EXPECT_NE(report.faults[0].find("belongs to two items"), std::string::npos);
  // The editor still edits it, but reclaims nothing while the walk finds a fault.
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  ASSERT_TRUE(editor->put(50, pattern(50, 10)));
  const auto stats = editor->commit();
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->blocks_reclaimed, 0u);
  EXPECT_EQ(test_support::walk_blocks(fs, kPath).leaked, 4u);
}

// Random batches against a map of what the archive should hold, checked after
// every commit together with the directory's form.
struct RandomCase {
  const char* name;
  std::uint32_t seed;
  std::uint32_t initial_files;  // 0: a new archive from create()
  std::uint32_t entries_per_node;
  std::uint32_t block_size;
  int commits;
  int edits_per_commit;
};

class RandomBatches : public ::testing::TestWithParam<RandomCase> {};

TEST_P(RandomBatches, MatchAMap) {
  const RandomCase& c = GetParam();
  RecordingFileSystem fs("/w");
  std::optional<EditResult<ArchiveEditor>> opened;
  if (c.initial_files == 0) {
    opened = ArchiveEditor::create(kPath, c.block_size, {}, fs);
  } else {
    write_archive(fs, c.initial_files, {.block_size = c.block_size, .entries_per_node = c.entries_per_node});
    opened = ArchiveEditor::open(kPath, fs);
  }
  ASSERT_TRUE(*opened);
  ArchiveEditor& editor = **opened;
  ArchiveState expected = state_of(fs);
  std::mt19937 rng(c.seed);
  std::uint64_t reused = 0;
  for (int commit = 0; commit < c.commits; ++commit) {
    for (int edit = 0; edit < c.edits_per_commit; ++edit) {
      const std::uint32_t id = rng() % 6000;
      if (rng() % 3 == 0) {
        ASSERT_EQ(editor.remove(id).has_value(), expected.erase(id) == 1);
        continue;
      }
      const Bytes content = pattern(rng(), rng() % 4 == 0 ? rng() % 3000 : rng() % 100);
      const bool compress = rng() % 4 == 0;
      ASSERT_TRUE(editor.put(id, content, {.compress = compress}));
      const Bytes stored = compress ? *compress_lrs(content) : content;
      expected[id] = file(compress ? 1 : 0, stored, content);
    }
    const auto stats = editor.commit();
    ASSERT_TRUE(stats) << stats.error().to_string();
    reused += stats->blocks_reused;
    ASSERT_EQ(state_of(fs), expected) << "after commit " << commit;
    const auto report = test_support::walk_blocks(fs, kPath);
    ASSERT_TRUE(report.sound()) << report.text();
    ASSERT_EQ(report.leaked, 0u);
    ASSERT_TRUE(report.size_is_length);
    const test_support::Shape& shape = *report.shape;
    ASSERT_TRUE(shape.ordered && shape.within_61 && shape.children_whole);
    if (c.initial_files == 0) {
      ASSERT_TRUE(shape.filled && shape.one_depth) << "a B-tree of minimum degree 31";
    }
  }
  EXPECT_GT(reused, 0u);
}

INSTANTIATE_TEST_SUITE_P(Editor, RandomBatches,
                         ::testing::Values(RandomCase{"new_archive", 1, 0, 61, 256, 12, 400},
                                           RandomCase{"small_blocks", 2, 0, 61, 16, 8, 300},
                                           RandomCase{"sample_writer_tree", 3, 2000, 16, 64, 10, 300},
                                           RandomCase{"one_entry_nodes", 4, 300, 1, 64, 10, 100},
                                           RandomCase{"full_nodes", 5, 3843, 61, 128, 6, 500}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ravelin::dat
