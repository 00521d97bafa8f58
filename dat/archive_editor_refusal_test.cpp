// Archives the editor refuses, and failures that leave the archive as it was:
// each gives one clear error and changes no byte of the file.
#include <gtest/gtest.h>

#include <cerrno>

#include "dat/editor_test_support.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/common/recording_file_system.h"
#include "ravelin/dat/archive_editor.h"

namespace ravelin::dat {
namespace {

using common::RecordingFileSystem;
using dat_writer::patch_u32;
using test_support::Bytes;

const common::Path kPath = "/w/a.dat";
constexpr std::uint32_t kBlockSize = 64;

Bytes pattern(std::uint32_t seed, std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 5);
  return out;
}

// 200 files in nodes of 10 (three levels), for patching.
dat_writer::ArchiveLayout sample_layout() {
  dat_writer::ArchiveWriter writer({.block_size = kBlockSize, .entries_per_node = 10});
  for (std::uint32_t i = 0; i < 200; ++i) writer.add_file(i + 1, pattern(i, 20));
  return writer.build();
}

// File offset of byte `at` of the node whose chain is `blocks`.
std::size_t node_byte(const std::vector<std::uint32_t>& blocks, std::size_t at) {
  const std::size_t payload = kBlockSize - 4;
  return blocks[at / payload] + 4 + at % payload;
}

std::size_t writes(const RecordingFileSystem& fs) {
  std::size_t n = 0;
  for (const auto& op : fs.operations()) n += op.kind == common::OperationKind::Write ? 1 : 0;
  return n;
}

struct RefusalCase {
  const char* name;
  // Damages the sample archive's bytes.
  void (*damage)(dat_writer::ArchiveLayout& layout);
  EditError::Kind kind;
  const char* text;  // a part of the error's text
};

void free_list(dat_writer::ArchiveLayout& l, std::uint32_t head, std::uint32_t tail, std::uint32_t count) {
  patch_u32(l.bytes, 0x154, head);
  patch_u32(l.bytes, 0x158, tail);
  patch_u32(l.bytes, 0x15C, count);
}

// Two blocks appended after the archive's end, for a free list to run through.
std::uint32_t add_two_blocks(dat_writer::ArchiveLayout& l) {
  const auto at = static_cast<std::uint32_t>(l.bytes.size());
  l.bytes.resize(l.bytes.size() + 2 * kBlockSize, 0);
  patch_u32(l.bytes, 0x148, static_cast<std::uint32_t>(l.bytes.size()));
  return at;
}

const RefusalCase kRefusals[] = {
    {"not_an_archive", [](dat_writer::ArchiveLayout& l) { std::fill(l.bytes.begin(), l.bytes.end(), 0xAB); },
     EditError::Kind::Refused, "lies outside the file"},
    {"shorter_than_a_header", [](dat_writer::ArchiveLayout& l) { l.bytes.resize(0x150); }, EditError::Kind::Archive,
     "While parsing field 'subset' in DatHeader"},
    {"truncated", [](dat_writer::ArchiveLayout& l) { l.bytes.resize(l.node_blocks.back().back() - 10); },
     EditError::Kind::Refused, "directory node at 0x"},
    {"root_outside_the_file", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, 0x160, 0x7FFFFF00); },
     EditError::Kind::Refused, "lies outside the file"},
    {"root_off_the_grid", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, 0x160, l.root_offset + 4); },
     EditError::Kind::Refused, "is off the block grid"},
    {"cycle", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, node_byte(l.node_blocks[1], 0), l.root_offset); },
     EditError::Kind::Refused, "reached twice (a cycle)"},
    {"out_of_order",
     [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, node_byte(l.node_blocks.back(), 252 + 4), 0xFFFFFFF0); },
     EditError::Kind::Refused, "is not a search tree"},
    {"sixty_two_entries", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, node_byte(l.node_blocks[0], 248), 62); },
     EditError::Kind::Refused, "holds 62 entries"},
    {"missing_child", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, node_byte(l.node_blocks[0], 4), 0); },
     EditError::Kind::Refused, "lacks its child 1"},
    {"free_list_in_a_cycle",
     [](dat_writer::ArchiveLayout& l) {
       const std::uint32_t at = add_two_blocks(l);
       patch_u32(l.bytes, at, at + kBlockSize);
       patch_u32(l.bytes, at + kBlockSize, at);
       free_list(l, at, at + kBlockSize, 3);
     },
     EditError::Kind::Refused, "the free list runs in a cycle"},
    {"free_list_short",
     [](dat_writer::ArchiveLayout& l) {
       const std::uint32_t at = add_two_blocks(l);
       free_list(l, at, at, 2);
     },
     EditError::Kind::Refused, "the free list ends after 1 of its free_count 2 blocks"},
    {"free_list_wrong_tail",
     [](dat_writer::ArchiveLayout& l) {
       const std::uint32_t at = add_two_blocks(l);
       patch_u32(l.bytes, at, at + kBlockSize);
       free_list(l, at, at, 2);
     },
     EditError::Kind::Refused, "not at free_tail"},
    {"free_block_outside_the_file", [](dat_writer::ArchiveLayout& l) { free_list(l, 0x7FFFFF00, 0x7FFFFF00, 1); },
     EditError::Kind::Refused, "free block at 0x7FFFFF00 lies outside the file"},
    {"free_block_in_a_node",
     [](dat_writer::ArchiveLayout& l) { free_list(l, l.node_blocks[2][1], l.node_blocks[2][1], 1); },
     EditError::Kind::Refused, "lies inside a directory node"},
    {"block_size_4", [](dat_writer::ArchiveLayout& l) { patch_u32(l.bytes, 0x144, 4); }, EditError::Kind::Refused,
     "block size 4 cannot hold a block chain"},
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, NamesTheFindingAndChangesNothing) {
  const RefusalCase& c = GetParam();
  dat_writer::ArchiveLayout layout = sample_layout();
  c.damage(layout);
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, layout.bytes);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_FALSE(editor);
  EXPECT_EQ(editor.error().kind(), c.kind);
  EXPECT_NE(editor.error().to_string().find(c.text), std::string::npos) << editor.error().to_string();
  if (c.kind == EditError::Kind::Refused) {
    EXPECT_TRUE(editor.error().to_string().starts_with("cannot edit /w/a.dat: "));
    EXPECT_TRUE(editor.error().to_string().ends_with("run `ravelin-bake dat compact` to rewrite it"));
  }
  EXPECT_EQ(writes(fs), 0u);
  EXPECT_EQ(*fs.file_bytes(kPath), layout.bytes);
}

INSTANTIATE_TEST_SUITE_P(Editor, Refusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// A file system whose files cannot be opened for writing (a read-only file or
// mount), the rest as the recording backend has it.
class ReadOnlyFiles final : public common::FileSystem {
 public:
  explicit ReadOnlyFiles(RecordingFileSystem& fs) : fs_(fs) {}
  common::IoResult<std::unique_ptr<common::OpenFile>> open_read_only(const common::Path& p) override {
    return fs_.open_read_only(p);
  }
  common::IoResult<std::unique_ptr<common::OpenFile>> open_read_write(const common::Path&) override {
    return std::unexpected(common::IoError::from_errno(EACCES));
  }
  common::IoResult<std::unique_ptr<common::OpenFile>> create(const common::Path& p, common::CreateMode m) override {
    return fs_.create(p, m);
  }
  common::IoResult<std::vector<std::uint8_t>> read_whole(const common::Path& p) override { return fs_.read_whole(p); }
  common::IoResult<common::FileKind> kind(const common::Path& p) override { return fs_.kind(p); }
  common::IoResult<void> rename(const common::Path& a, const common::Path& b) override { return fs_.rename(a, b); }
  common::IoResult<void> remove(const common::Path& p) override { return fs_.remove(p); }
  common::IoResult<void> create_directories(const common::Path& p) override { return fs_.create_directories(p); }
  common::IoResult<std::vector<std::string>> list_directory(const common::Path& p) override {
    return fs_.list_directory(p);
  }
  common::IoResult<void> sync_directory(const common::Path& p) override { return fs_.sync_directory(p); }
  common::IoResult<void> sync_file_system(const common::Path& p) override { return fs_.sync_file_system(p); }
  common::IoResult<void> check_writable(const common::Path& p) override { return fs_.check_writable(p); }

 private:
  RecordingFileSystem& fs_;
};

TEST(EditorFailure, AReadOnlyArchiveIsOneError) {
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, sample_layout().bytes);
  ReadOnlyFiles read_only(fs);
  auto editor = ArchiveEditor::open(kPath, read_only);
  ASSERT_FALSE(editor);
  EXPECT_EQ(editor.error().kind(), EditError::Kind::Io);
  EXPECT_EQ(editor.error().to_string(), "IO error: open /w/a.dat: Permission denied");
  EXPECT_EQ(writes(fs), 0u);
}

TEST(EditorFailure, AMissingArchiveIsOneError) {
  RecordingFileSystem fs("/w");
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_FALSE(editor);
  EXPECT_EQ(editor.error().to_string(), "IO error: open /w/a.dat: No such file or directory");
}

TEST(EditorFailure, AFullDiskFailsTheCommitAndTheArchiveStaysAsItWas) {
  RecordingFileSystem fs("/w");
  const Bytes original = sample_layout().bytes;
  fs.put_file(kPath, original);
  std::string why;
  const auto before = test_support::read_state(fs, kPath, why);
  ASSERT_TRUE(before);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  // Room for the first of the commit's 1 MiB write pieces, not the rest.
  fs.set_capacity(original.size() + (std::size_t{3} << 19));
  ASSERT_TRUE(editor->put(1000, pattern(1, std::size_t{2} << 20)));
  auto stats = editor->commit();
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), EditError::Kind::Io);
  EXPECT_NE(stats.error().to_string().find("IO error: write /w/a.dat: No space left on device"), std::string::npos)
      << stats.error().to_string();
  EXPECT_EQ(test_support::read_state(fs, kPath, why), before);
  EXPECT_EQ(fs.file_bytes(kPath), original) << "what the failed commit appended is cut off again";
  EXPECT_TRUE(test_support::walk_blocks(fs, kPath).sound());
  EXPECT_FALSE(editor->find(1000)) << "the failed batch is dropped";
  // With room again, the same editor commits.
  fs.clear_faults();
  ASSERT_TRUE(editor->put(1000, pattern(1, 5000)));
  ASSERT_TRUE(editor->commit());
  EXPECT_EQ(test_support::read_state(fs, kPath, why)->at(1000).content, pattern(1, 5000));
  const auto report = test_support::walk_blocks(fs, kPath);
  EXPECT_TRUE(report.sound()) << report.text();
  EXPECT_EQ(report.leaked, 0u);
}

TEST(EditorFailure, RemovingAnAbsentIdIsNotFound) {
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, sample_layout().bytes);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor);
  auto removed = editor->remove(0x0BADF00D);
  ASSERT_FALSE(removed);
  EXPECT_EQ(removed.error().kind(), EditError::Kind::NotFound);
  EXPECT_EQ(removed.error().to_string(), "File ID 0BADF00D not found in /w/a.dat");
  EXPECT_FALSE(editor->has_changes());
}

// Offsets are 32-bit: an archive whose end is near 4 GiB takes no more.
TEST(EditorFailure, AnEditPast4GiBIsTooLargeAndWritesNothing) {
  constexpr std::uint32_t kHuge = 0x10000000;  // 256 MiB blocks: 15 of them reach 0xF0000000
  RecordingFileSystem fs("/w");
  Bytes bytes(0x200, 0);
  patch_u32(bytes, 0x144, kHuge);
  patch_u32(bytes, 0x148, 0xF0000000u);  // file_size: blocks up to here may belong to someone
  fs.put_file(kPath, bytes);
  // A reader open: no reuse, so the put must go after the end.
  auto reader = DatDatabase::open(kPath, fs);
  ASSERT_TRUE(reader);
  auto editor = ArchiveEditor::open(kPath, fs);
  ASSERT_TRUE(editor) << editor.error().to_string();
  ASSERT_TRUE(editor->put(1, pattern(1, 10)));
  auto stats = editor->commit();
  ASSERT_FALSE(stats);
  EXPECT_EQ(stats.error().kind(), EditError::Kind::TooLarge);
  EXPECT_EQ(stats.error().to_string(),
            "the edit would take /w/a.dat past 4 GiB, which block offsets cannot reach; nothing was changed");
  EXPECT_EQ(writes(fs), 0u);
  EXPECT_EQ(*fs.file_bytes(kPath), bytes);
  EXPECT_FALSE(editor->find(1));
}

}  // namespace
}  // namespace ravelin::dat
