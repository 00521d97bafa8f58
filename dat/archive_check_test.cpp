#include "ravelin/dat/archive_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "dat/archive_test_support.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {
namespace {

using dat_writer::ArchiveLayout;
using dat_writer::ArchiveWriter;
using dat_writer::ChainLayout;
using dat_writer::FileOptions;
using dat_writer::NodeDef;
using dat_writer::patch_u32;
using testing::Bytes;

constexpr std::uint32_t kBlock = 64;
constexpr std::uint32_t kFiles = 61;  // one full root leaf
constexpr std::uint32_t kFirstId = 0x01000000;

std::uint32_t id(std::uint32_t i) { return kFirstId + i; }

// The base archive: 61 files in a full root leaf, file 0 of one block, the
// others of three (150 bytes, 60-byte payloads); `options` for file 1.
ArchiveWriter base_writer(FileOptions file1 = {}) {
  ArchiveWriter w({.block_size = kBlock, .entries_per_node = 61});
  for (std::uint32_t i = 0; i < kFiles; ++i)
    w.add_file(id(i), testing::pattern_bytes(i == 0 ? 40 : 150, i), i == 1 ? file1 : FileOptions{});
  return w;
}
ArchiveLayout base(FileOptions file1 = {}) { return base_writer(file1).build(); }

// The base with file 1 scattered: its three blocks leave two unused blocks.
ArchiveLayout scattered() { return base({.layout = ChainLayout::Scattered}); }
std::vector<std::uint32_t> gaps(const ArchiveLayout& a) {
  return {a.file_blocks[1][0] + kBlock, a.file_blocks[1][1] + kBlock};
}

// A writer over files f0..f5 (one block each) for hand-made trees.
ArchiveWriter small_writer() {
  ArchiveWriter w({.block_size = kBlock});
  for (std::uint32_t i = 0; i < 6; ++i) w.add_file(id(i), testing::pattern_bytes(30, i));
  return w;
}
NodeDef node(std::vector<dat_writer::FileHandle> files, std::vector<NodeDef> children = {}) {
  NodeDef n;
  n.files = std::move(files);
  n.children = std::move(children);
  return n;
}
NodeDef leaf(std::vector<dat_writer::FileHandle> files) { return node(std::move(files)); }
NodeDef absent() {
  NodeDef n;
  n.absent = true;
  return n;
}

// A block appended to the file at `at` (past its end, zeros between), holding
// `link` and then `body`.
void put_block_at(Bytes& bytes, std::size_t at, std::uint32_t link, const Bytes& body) {
  bytes.resize(std::max(bytes.size(), at + kBlock), 0);
  patch_u32(bytes, at, link);
  std::copy(body.begin(), body.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

struct Case {
  const char* name;
  std::function<Bytes()> make;
  std::set<std::string> expected;  // "fault CODE" / "note CODE", each code once
};

std::vector<Case> damaged_archives() {
  return {
      {"clean", [] { return base().bytes; }, {}},
      {"two entries share a body",
       [] {
         ArchiveLayout a = base();
         testing::patch_entry(a, id(2), testing::kOffsetField, a.file_blocks[1][0]);
         return a.bytes;
       },
       {"fault block-in-two-chains", "note leaked-blocks"}},
      {"an entry longer than its chain, at the end of the file",
       [] {
         ArchiveLayout a = base();
         const std::uint32_t last = id(kFiles - 1);
         testing::patch_entry(a, last, testing::kSizeField, 1000);
         return a.bytes;
       },
       {"fault chain-shorter-than-entry"}},
      {"an entry outside the file",
       [] {
         ArchiveLayout a = base();
         testing::patch_entry(a, id(3), testing::kOffsetField, 0x7FFFFFC0);
         return a.bytes;
       },
       {"fault offset-outside-file", "note leaked-blocks"}},
      {"a link outside the file",
       [] {
         ArchiveLayout a = base();
         patch_u32(a.bytes, a.file_blocks[3][0], 0x7FFFFFC0);
         return a.bytes;
       },
       {"fault offset-outside-file", "note leaked-blocks"}},
      {"a chain into itself",
       [] {
         ArchiveLayout a = base();
         patch_u32(a.bytes, a.file_blocks[3][1], a.file_blocks[3][0]);
         return a.bytes;
       },
       {"fault cycle", "note leaked-blocks"}},
      {"a node that leads back to the root",
       [] {
         ArchiveWriter w = small_writer();
         NodeDef mid = node({1}, {leaf({0}), leaf({2})});
         ArchiveLayout a = w.build_tree(node({3}, {mid, leaf({4})}));
         testing::patch_node(a, 1, 0, a.root_offset);  // mid's first branch
         return a.bytes;
       },
       {"fault cycle", "note leaked-blocks", "note under-full-node", "note leaves-at-different-depths"}},
      {"ids out of order in a node",
       [] { return small_writer().build_tree(leaf({1, 0})).bytes; },
       {"fault not-a-search-tree"}},
      {"an internal node without its last child",
       [] {
         return small_writer().build_tree(node({1}, {leaf({0}), absent()})).bytes;
       },
       {"fault not-a-search-tree", "note under-full-node"}},
      {"one id in two nodes",
       [] { return small_writer().build_tree(node({1}, {leaf({0}), leaf({1})})).bytes; },
       {"fault not-a-search-tree", "fault block-in-two-chains", "note under-full-node"}},
      {"a node claiming 62 entries",
       [] {
         ArchiveLayout a = base();
         testing::patch_node(a, 0, 248, 62);
         return a.bytes;
       },
       {"fault entry-count"}},
      {"a block size below 5",
       [] {
         ArchiveLayout a = base();
         patch_u32(a.bytes, 0x144, 4);
         return a.bytes;
       },
       {"fault block-size"}},
      {"a file too short for the header",
       [] {
         Bytes b = base().bytes;
         b.resize(0x150);
         return b;
       },
       {"fault header"}},
      {"a body over the header",
       [] {
         ArchiveLayout a = base();
         testing::patch_entry(a, id(0), testing::kOffsetField, 0x13C);
         return a.bytes;
       },
       {"fault block-overlaps-header", "note leaked-blocks"}},
      {"unused blocks between a scattered chain's", [] { return scattered().bytes; }, {"note leaked-blocks"}},
      {"those blocks as the free list",
       [] {
         ArchiveLayout a = scattered();
         testing::make_free_list(a.bytes, gaps(a));
         return a.bytes;
       },
       {}},
      {"free_count above the list's length",
       [] {
         ArchiveLayout a = scattered();
         testing::make_free_list(a.bytes, gaps(a));
         patch_u32(a.bytes, testing::kFreeCountAt, 3);
         return a.bytes;
       },
       {"fault free-list-count"}},
      {"free_count below the list's length",
       [] {
         ArchiveLayout a = scattered();
         testing::make_free_list(a.bytes, gaps(a));
         patch_u32(a.bytes, testing::kFreeCountAt, 1);
         return a.bytes;
       },
       {"fault free-list-count", "note leaked-blocks"}},
      {"free_tail not the list's end",
       [] {
         ArchiveLayout a = scattered();
         testing::make_free_list(a.bytes, gaps(a));
         patch_u32(a.bytes, testing::kFreeTailAt, gaps(a)[0]);
         return a.bytes;
       },
       {"fault free-list-tail"}},
      {"a free list into itself",
       [] {
         ArchiveLayout a = scattered();
         testing::make_free_list(a.bytes, gaps(a));
         patch_u32(a.bytes, gaps(a)[1], gaps(a)[0]);
         patch_u32(a.bytes, testing::kFreeCountAt, 3);
         return a.bytes;
       },
       {"fault cycle"}},
      {"a free block that a body uses",
       [] {
         ArchiveLayout a = scattered();
         // The list's second block is a body's first, its link left as the body has it.
         testing::make_free_list(a.bytes, gaps(a));
         patch_u32(a.bytes, gaps(a)[0], a.file_blocks[5][0]);
         patch_u32(a.bytes, testing::kFreeTailAt, a.file_blocks[5][0]);
         return a.bytes;
       },
       {"fault block-in-two-chains", "note leaked-blocks"}},
      {"a free list outside the file",
       [] {
         ArchiveLayout a = scattered();
         patch_u32(a.bytes, testing::kFreeHeadAt, 0x7FFFFFC0);
         patch_u32(a.bytes, testing::kFreeTailAt, 0x7FFFFFC0);
         patch_u32(a.bytes, testing::kFreeCountAt, 1);
         return a.bytes;
       },
       {"fault offset-outside-file", "note leaked-blocks"}},
      {"an empty free list with a count",
       [] {
         ArchiveLayout a = scattered();
         patch_u32(a.bytes, testing::kFreeCountAt, 2);
         return a.bytes;
       },
       {"fault free-list-count", "note leaked-blocks"}},
      {"bytes past file_size",
       [] {
         Bytes b = base().bytes;
         b.resize(b.size() + 3 * kBlock, 0);
         return b;
       },
       {"note bytes-past-file-size", "note leaked-blocks"}},
      {"file_size past the end",
       [] {
         Bytes b = base().bytes;
         patch_u32(b, testing::kFileSizeAt, static_cast<std::uint32_t>(b.size() + 1000));
         return b;
       },
       {"note file-size-past-end"}},
      {"small nodes from the sample writer",
       [] {
         ArchiveWriter w({.block_size = kBlock, .entries_per_node = 4});
         for (std::uint32_t i = 0; i < kFiles; ++i) w.add_file(id(i), testing::pattern_bytes(30, i));
         return w.build().bytes;
       },
       {"note under-full-node"}},
      {"leaves at two depths",
       [] {
         NodeDef mid = node({4}, {leaf({3}), leaf({5})});
         return small_writer().build_tree(node({2}, {leaf({0, 1}), mid})).bytes;
       },
       {"note under-full-node", "note leaves-at-different-depths"}},
      {"an oversized last block", [] { return base({.layout = ChainLayout::OversizedLast}).bytes; },
       {"note oversized-last-block"}},
      {"a body off the grid",
       [] {
         ArchiveLayout a = base();
         const std::size_t at = a.bytes.size() + 7;
         put_block_at(a.bytes, at, 0, testing::pattern_bytes(40, 0));
         testing::patch_entry(a, id(0), testing::kOffsetField, static_cast<std::uint32_t>(at));
         return a.bytes;
       },
       {"note off-grid", "note leaked-blocks", "note bytes-past-file-size"}},
      {"a long chain into itself off the grid",
       [] {
         ArchiveLayout a = base();
         const std::size_t at = a.bytes.size() + 7;
         put_block_at(a.bytes, at, static_cast<std::uint32_t>(at), {});
         testing::patch_entry(a, id(0), testing::kOffsetField, static_cast<std::uint32_t>(at));
         testing::patch_entry(a, id(0), testing::kSizeField, 1'000'000);
         return a.bytes;
       },
       {"fault walk-limit", "fault cycle", "note off-grid", "note leaked-blocks", "note bytes-past-file-size"}},
  };
}

std::set<std::string> codes_of(const CheckReport& report) {
  std::set<std::string> out;
  for (const CheckFinding& f : report.findings)
    out.insert((f.severity == FindingSeverity::Fault ? "fault " : "note ") + f.code);
  return out;
}

DatResult<CheckReport> check_bytes(const Bytes& bytes) {
  common::RecordingFileSystem fs("/w");
  fs.put_file("/w/a.dat", bytes);
  return check_archive("/w/a.dat", fs);
}

TEST(CheckArchive, FindsEachFaultAndNote) {
  for (const Case& c : damaged_archives()) {
    SCOPED_TRACE(c.name);
    auto report = check_bytes(c.make());
    ASSERT_TRUE(report.has_value()) << report.error().to_string();
    EXPECT_EQ(codes_of(*report), c.expected) << check_report_text(*report);
    EXPECT_EQ(report->has_faults(), std::any_of(c.expected.begin(), c.expected.end(),
                                                [](const std::string& s) { return s.starts_with("fault"); }));
  }
}

// Whatever the check calls free of faults the reader opens, and every entry
// it lists reads back whole.
void expect_readable_when_clean(const Bytes& bytes, const CheckReport& report) {
  if (report.has_faults()) return;
  common::RecordingFileSystem fs("/w");
  fs.put_file("/w/a.dat", bytes);
  auto db = DatDatabase::open("/w/a.dat", fs);
  ASSERT_TRUE(db.has_value()) << db.error().to_string() << "\n" << check_report_text(report);
  EXPECT_EQ(db->entry_count(), report.totals.entries);
  for (const DatFileEntry& e : db->entries()) {
    auto body = db->read_file_data(e.offset, e.size);
    ASSERT_TRUE(body.has_value()) << body.error().to_string() << "\n" << check_report_text(report);
  }
}

TEST(CheckArchive, RandomDamageIsReportedNotFatal) {
  const ArchiveLayout layout = scattered();
  const Bytes& clean = layout.bytes;
  std::mt19937 rng(31);
  std::size_t faulty = 0;
  for (int round = 0; round < 400; ++round) {
    Bytes bytes = clean;
    // Words that steer the walk: a block's link, a node's branches, count or
    // entries, the header's free list and block size; set to offsets near
    // blocks, small numbers or noise.
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) {
      std::size_t at = 0;
      switch (rng() % 4) {
        case 0: at = 0x1C0 + (rng() % ((bytes.size() - 0x1C0) / kBlock)) * kBlock; break;
        case 1: at = testing::node_byte(layout, 0, 4 * (rng() % (1716 / 4))); break;
        case 2: at = 0x144 + 4 * (rng() % 7); break;
        default: at = (0x140 + rng() % (bytes.size() - 0x144)) & ~std::size_t{3}; break;
      }
      const std::uint32_t value = rng() % 3 == 0   ? static_cast<std::uint32_t>(rng() % bytes.size())
                                  : rng() % 2 == 0 ? static_cast<std::uint32_t>(rng() % 70)
                                                   : static_cast<std::uint32_t>(rng());
      patch_u32(bytes, at, value);
    }
    if (rng() % 8 == 0) bytes.resize(rng() % bytes.size());
    auto report = check_bytes(bytes);
    ASSERT_TRUE(report.has_value()) << report.error().to_string();
    faulty += report->has_faults() ? 1 : 0;
    expect_readable_when_clean(bytes, *report);
  }
  // The damage is real: most rounds find a fault.
  EXPECT_GT(faulty, 200u);
}

TEST(CheckArchive, ManyFindingsOfOneKindEndInACount) {
  // Every entry of the base pointed outside the file: 61 findings of one code.
  ArchiveLayout a = base();
  for (std::uint32_t i = 0; i < kFiles; ++i) testing::patch_entry(a, id(i), testing::kOffsetField, 0x7FFFFFC0);
  auto report = check_bytes(a.bytes);
  ASSERT_TRUE(report.has_value());
  std::size_t outside = 0;
  for (const CheckFinding& f : report->findings) outside += f.code == "offset-outside-file";
  EXPECT_EQ(outside, 17u);
  EXPECT_EQ(report->findings.back().message, "and 45 more of the same kind");
}

TEST(CheckArchive, TotalsAndBothForms) {
  ArchiveLayout a = scattered();
  testing::make_free_list(a.bytes, gaps(a));
  patch_u32(a.bytes, testing::kFreeTailAt, gaps(a)[0]);
  a.bytes.resize(a.bytes.size() + 10, 0);
  auto report = check_bytes(a.bytes);
  ASSERT_TRUE(report.has_value());
  const CheckTotals& t = report->totals;
  EXPECT_EQ(t.file_length, a.bytes.size());
  EXPECT_EQ(t.block_size, kBlock);
  EXPECT_EQ(t.entries, kFiles);
  EXPECT_EQ(t.nodes, 1u);
  EXPECT_EQ(t.depth, 1u);
  EXPECT_EQ(t.free_blocks, 2u);
  EXPECT_EQ(t.leaked_blocks, 1u);  // the 10 bytes past the end, a cut-short block
  EXPECT_EQ(t.leaked_bytes, 10u);
  const std::string tail = "0x" + common::hex8(gaps(a)[1]);
  const std::string head = "0x" + common::hex8(gaps(a)[0]);
  EXPECT_EQ(check_report_text(*report),
            "fault free-list-tail: the free list ends at " + tail + ", free_tail says " + head +
                "\n"
                "note leaked-blocks: 1 blocks (10 bytes) are used by nothing: reclaimable\n"
                "note bytes-past-file-size: the file holds 10 bytes past its file_size of " +
                std::to_string(a.bytes.size() - 10) +
                "\n"
                "totals: 61 entries in 1 node, depth 1, 2 free blocks, 1 leaked block (10 bytes); 1 fault, 2 notes\n");
  const std::string json = check_report_json_lines(*report);
  EXPECT_TRUE(json.starts_with("{\"severity\":\"fault\",\"code\":\"free-list-tail\",\"message\":\"the free list ends at " +
                               tail + ", free_tail says " + head + "\"}\n"))
      << json;
  EXPECT_TRUE(json.ends_with("{\"totals\":{\"file_length\":" + std::to_string(a.bytes.size()) +
                             ",\"block_size\":64,\"entries\":61,\"nodes\":1,\"depth\":1,\"free_blocks\":2,"
                             "\"leaked_blocks\":1,\"leaked_bytes\":10,\"faults\":1,\"notes\":2}}\n"))
      << json;
}

TEST(CheckArchive, AFileThatCannotBeOpenedIsAnError) {
  common::RecordingFileSystem fs("/w");
  auto report = check_archive("/w/missing.dat", fs);
  ASSERT_FALSE(report.has_value());
  EXPECT_EQ(report.error().kind(), DatError::Kind::PathError);
}

}  // namespace
}  // namespace ravelin::dat
