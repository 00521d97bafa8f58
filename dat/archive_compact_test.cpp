#include "ravelin/dat/archive_compact.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "dat/archive_test_support.h"
#include "dat_writer/sample_world.h"
#include "ravelin/dat/archive_check.h"

namespace ravelin::dat {
namespace {

using common::RecordingFileSystem;
using dat_writer::ArchiveLayout;
using dat_writer::ArchiveOptions;
using dat_writer::ArchiveWriter;
using dat_writer::ChainLayout;
using dat_writer::FileOptions;
using dat_writer::NodeDef;
using testing::Bytes;

constexpr const char* kPath = "/w/a.dat";

NodeDef node(std::vector<dat_writer::FileHandle> files, std::vector<NodeDef> children = {}) {
  NodeDef n;
  n.files = std::move(files);
  n.children = std::move(children);
  return n;
}

ArchiveWriter writer_of(std::uint32_t files, ArchiveOptions options = {}, std::function<FileOptions(std::uint32_t)> each = {}) {
  ArchiveWriter w(options);
  for (std::uint32_t i = 0; i < files; ++i)
    w.add_file(0x01000000 + i * 3, testing::pattern_bytes(20 + (i * 37) % 700, i), each ? each(i) : FileOptions{});
  return w;
}

dat_writer::SampleWorldParams random_world_params() {
  dat_writer::SampleWorldParams p;
  p.seed = 7;
  p.first_x = 0x10;
  p.first_y = 0x20;
  p.grid_width = 4;
  p.grid_height = 5;
  p.setup_count = 14;
  p.animation_count = 16;
  p.info_absent_one_in = 4;
  p.cell_fillers_per_landblock = 3;
  p.portal_filler_files = 40;
  return p;
}

struct Source {
  const char* name;
  std::function<Bytes()> make;
};

std::vector<Source> sources() {
  return {
      {"sample world, portal", [] { return dat_writer::build_sample_world({}).portal; }},
      {"sample world, cell", [] { return dat_writer::build_sample_world({}).cell; }},
      {"random world, portal", [] { return dat_writer::build_sample_world(random_world_params()).portal; }},
      {"random world, cell", [] { return dat_writer::build_sample_world(random_world_params()).cell; }},
      {"an empty archive", [] { return ArchiveWriter({.block_size = 512}).build().bytes; }},
      {"one file", [] { return writer_of(1).build().bytes; }},
      {"small nodes over 500 files", [] { return writer_of(500, {.block_size = 128, .entries_per_node = 3}).build().bytes; }},
      {"scattered, reversed and oversized chains",
       [] {
         return writer_of(300, {.block_size = 64, .node_layout = ChainLayout::Scattered}, [](std::uint32_t i) {
                  const ChainLayout layouts[] = {ChainLayout::Contiguous, ChainLayout::Scattered, ChainLayout::Reversed,
                                                 ChainLayout::OversizedLast};
                  return FileOptions{.layout = layouts[i % 4]};
                })
             .build()
             .bytes;
       }},
      {"compressed bodies with flags, timestamps and versions",
       [] {
         return writer_of(90, {.block_size = 256}, [](std::uint32_t i) {
                  return FileOptions{.compressed = i % 2 == 0, .extra_flags = i << 4, .timestamp = 1000 + i, .version = i * 7};
                })
             .build()
             .bytes;
       }},
      {"empty bodies", [] {
         ArchiveWriter w({.block_size = 256});
         for (std::uint32_t i = 0; i < 10; ++i) w.add_file(0x100 + i, testing::pattern_bytes(i % 2 == 0 ? 0 : 300, i));
         return w.build().bytes;
       }},
      {"block size 16: a node spans many blocks", [] { return writer_of(130, {.block_size = 16}).build().bytes; }},
      {"an unordered directory", [] { return writer_of(5).build_tree(node({3, 1, 4, 0, 2})).bytes; }},
      {"a repeated id: the reader keeps the deeper entry",
       [] {
         ArchiveWriter w = writer_of(4);
         const auto again = w.add_file(0x01000003, testing::pattern_bytes(99, 77));
         return w.build_tree(node({1}, {node({0}), node({again, 2, 3})})).bytes;
       }},
      {"bytes in the padding and the last link of chains that follow each other",
       [] {
         // Every fourth chain scattered among them: a run read in one piece
         // holds chains that must be read through their links instead.
         ArchiveLayout a = writer_of(120, {.block_size = 64}, [](std::uint32_t i) {
                             return FileOptions{.layout = i % 4 == 3 ? ChainLayout::Scattered : ChainLayout::Contiguous};
                           }).build();
         for (std::size_t f = 0; f < a.file_blocks.size(); ++f) {
           const std::uint32_t last = a.file_blocks[f].back();
           const std::size_t used = (20 + (f * 37) % 700 - 1) % 60 + 1;
           for (std::size_t b = 4 + used; b < 64; ++b) a.bytes[last + b] = 0xEE;
           const std::uint32_t elsewhere = static_cast<std::uint32_t>(a.bytes.size() - 64);
           for (int b = 0; b < 4; ++b) a.bytes[last + b] = static_cast<std::uint8_t>(elsewhere >> (8 * b));
         }
         return a.bytes;
       }},
      {"a free list, leaked blocks, bytes past file_size and kept leading bytes",
       [] {
         ArchiveLayout a = writer_of(40, {.block_size = 64}, [](std::uint32_t i) {
                             return FileOptions{.layout = i == 5 ? ChainLayout::Scattered : ChainLayout::Contiguous};
                           }).build();
         testing::make_free_list(a.bytes, {a.file_blocks[5][0] + 64});
         for (std::size_t i = 0; i < 0x140; ++i) a.bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
         a.bytes.resize(a.bytes.size() + 1000, 0x5A);
         return a.bytes;
       }},
  };
}

// `out` holds what `in` holds as the reader sees it, in a fresh layout.
void expect_compacted(const Bytes& in, const Bytes& out) {
  RecordingFileSystem fs("/w");
  fs.put_file("/w/in.dat", in);
  fs.put_file("/w/out.dat", out);
  auto a = DatDatabase::open("/w/in.dat", fs);
  auto b = DatDatabase::open("/w/out.dat", fs);
  ASSERT_TRUE(a.has_value()) << a.error().to_string();
  ASSERT_TRUE(b.has_value()) << b.error().to_string();
  ASSERT_EQ(a->entry_count(), b->entry_count());
  for (const DatFileEntry& e : a->entries()) {
    const DatFileEntry* f = b->find_entry(e.id);
    ASSERT_NE(f, nullptr) << e.id;
    EXPECT_EQ(f->bit_flags, e.bit_flags);
    EXPECT_EQ(f->size, e.size);
    EXPECT_EQ(f->timestamp, e.timestamp);
    EXPECT_EQ(f->version, e.version);
    EXPECT_EQ(b->read_file_data(f->offset, f->size).value(), a->read_file_data(e.offset, e.size).value()) << e.id;
  }
  // The kept fields; the free list empty, file_size the length.
  DatHeader want = a->header();
  const DatHeader& got = b->header();
  want.file_size = static_cast<std::uint32_t>(out.size());
  want.free_head = want.free_tail = want.free_count = 0;
  want.root_offset = got.root_offset;
  EXPECT_EQ(got, want);
  EXPECT_TRUE(std::equal(in.begin(), in.begin() + kHeaderOffset, out.begin()));
  // Every chain runs block after block, its last link 0 and its padding zero,
  // whatever the source's chains held there.
  const std::uint32_t bs = got.block_size;
  for (const DatFileEntry& e : b->entries()) {
    if (e.size == 0) continue;
    const std::uint64_t blocks = (e.size + bs - 5) / (bs - 4);
    for (std::uint64_t j = 0; j < blocks; ++j)
      ASSERT_EQ(testing::u32_at(out, e.offset + j * bs), j + 1 < blocks ? e.offset + (j + 1) * bs : 0) << e.id;
    const std::uint64_t padding_at = e.offset + (blocks - 1) * bs + 4 + (e.size - (blocks - 1) * (bs - 4));
    EXPECT_TRUE(std::all_of(out.begin() + padding_at, out.begin() + e.offset + blocks * bs, [](auto c) { return c == 0; }))
        << e.id;
  }
  // Nothing to report: a B-tree of minimum degree 31, no unused block.
  auto report = check_archive("/w/out.dat", fs);
  ASSERT_TRUE(report.has_value());
  EXPECT_TRUE(report->findings.empty()) << check_report_text(*report);
  EXPECT_EQ(report->totals.entries, b->entry_count());
}

TEST(CompactArchive, KeepsWhatTheReaderSeesInAFreshLayout) {
  for (const Source& s : sources()) {
    SCOPED_TRACE(s.name);
    const Bytes in = s.make();
    RecordingFileSystem fs("/w");
    fs.put_file(kPath, in);
    auto stats = compact_archive(kPath, common::Path("/w/out.dat"), fs);
    ASSERT_TRUE(stats.has_value()) << stats.error().to_string();
    EXPECT_EQ(fs.file_bytes(kPath), in);  // the source as it was
    const Bytes out = fs.file_bytes("/w/out.dat").value();
    expect_compacted(in, out);
    EXPECT_EQ(stats->length_before, in.size());
    EXPECT_EQ(stats->length_after, out.size());
    // A compacted archive compacts to itself.
    ASSERT_TRUE(compact_archive("/w/out.dat", common::Path("/w/again.dat"), fs).has_value());
    EXPECT_EQ(fs.file_bytes("/w/again.dat"), out);
  }
}

// In place: a temporary beside the archive, synced, renamed over it, the
// directory synced; no temporary left.
TEST(CompactArchive, InPlaceReplacesTheArchiveDurably) {
  const Bytes in = writer_of(200, {.block_size = 64, .entries_per_node = 5}).build().bytes;
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, in);
  ASSERT_TRUE(compact_archive(kPath, std::nullopt, fs).has_value());
  const Bytes out = fs.file_bytes(kPath).value();
  expect_compacted(in, out);
  EXPECT_EQ(fs.list_files(), std::vector<common::Path>{kPath});
  std::vector<std::string> steps;
  for (const common::Operation& op : fs.operations())
    if (op.kind != common::OperationKind::Write) steps.push_back(common::to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{"create /w/a.dat.part", "sync /w/a.dat.part", "rename /w/a.dat.part /w/a.dat",
                                             "sync_directory /w"}));
  // Same when -o names the archive itself.
  RecordingFileSystem again("/w");
  again.put_file(kPath, in);
  ASSERT_TRUE(compact_archive(kPath, common::Path("/w/./a.dat"), again).has_value());
  EXPECT_EQ(again.file_bytes(kPath), out);
}

// Stopped after any of its operations, or cut off by a power loss after them,
// the archive is the old one or the new one, byte for byte.
TEST(CompactArchive, ACrashLeavesTheOldArchiveOrTheNew) {
  const Bytes in = writer_of(150, {.block_size = 64, .entries_per_node = 4}).build().bytes;
  RecordingFileSystem whole("/w");
  whole.put_file(kPath, in);
  ASSERT_TRUE(compact_archive(kPath, std::nullopt, whole).has_value());
  const Bytes out = whole.file_bytes(kPath).value();
  ASSERT_NE(out, in);
  const std::size_t operations = whole.operations().size();
  std::size_t old_seen = 0, new_seen = 0;
  for (std::size_t stop = 0; stop <= operations; ++stop) {
    RecordingFileSystem fs("/w");
    fs.put_file(kPath, in);
    fs.stop_after(stop);
    (void)compact_archive(kPath, std::nullopt, fs);
    for (std::uint64_t seed = 0; seed < 8; ++seed) {
      const RecordingFileSystem after = seed == 0 ? fs.synced_state() : fs.power_loss(seed);
      const auto bytes = after.file_bytes(kPath);
      ASSERT_TRUE(bytes.has_value()) << "stop " << stop << " seed " << seed;
      ASSERT_TRUE(*bytes == in || *bytes == out) << "stop " << stop << " seed " << seed;
      (*bytes == in ? old_seen : new_seen) += 1;
    }
    fs.clear_faults();
    const auto now = fs.file_bytes(kPath);
    ASSERT_TRUE(now == in || now == out) << "stop " << stop;
  }
  EXPECT_GT(old_seen, 0u);
  EXPECT_GT(new_seen, 0u);
}

TEST(CompactArchive, BusyWhileAnEditorHoldsTheArchive) {
  const Bytes in = writer_of(20).build().bytes;
  RecordingFileSystem fs("/w");
  fs.put_file(kPath, in);
  auto editor = fs.open_read_write(kPath).value();
  ASSERT_EQ(editor->lock(0x120, 1, common::LockKind::Exclusive, common::LockWait::NoWait).value(),
            common::LockResult::Taken);
  for (const std::optional<common::Path>& out : {std::optional<common::Path>{}, std::optional<common::Path>{"/w/b.dat"}}) {
    auto r = compact_archive(kPath, out, fs);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), CompactError(CompactError::Kind::Busy, "/w/a.dat is being changed by another process"));
  }
  EXPECT_EQ(fs.file_bytes(kPath), in);
  EXPECT_EQ(fs.list_files(), std::vector<common::Path>{kPath});
  // Readers do not keep compact out; the editor's hold gone, it runs.
  auto reader = fs.open_read_only(kPath).value();
  ASSERT_EQ(reader->lock(0x121, 1, common::LockKind::Shared, common::LockWait::NoWait).value(),
            common::LockResult::Taken);
  editor.reset();
  EXPECT_TRUE(compact_archive(kPath, std::nullopt, fs).has_value());
}

TEST(CompactArchive, FailuresLeaveTheArchiveAsItWas) {
  struct Case {
    const char* name;
    std::function<Bytes()> make;
    std::function<void(RecordingFileSystem&)> setup;
    CompactError::Kind kind;
    std::string text_start;
  };
  const Bytes good = writer_of(60, {.block_size = 64}).build().bytes;
  const std::vector<Case> cases = {
      {"a cycle in the directory",
       [] {
         ArchiveLayout a = writer_of(6).build_tree(node({1}, {node({0}), node({2})}));
         testing::patch_node(a, 1, 0, a.root_offset);
         testing::patch_node(a, 1, 4, a.root_offset);
         return a.bytes;
       },
       {}, CompactError::Kind::Archive, "/w/a.dat: Corruption detected: directory node at offset"},
      {"not an archive", [] { return Bytes(100, 1); }, {}, CompactError::Kind::Archive,
       "/w/a.dat: Binary read error"},
      {"a full disk", [good] { return good; }, [&](RecordingFileSystem& fs) { fs.set_capacity(good.size() + 4000); },
       CompactError::Kind::Io, "IO error: write /w/a.dat: No space left on device"},
      {"a missing archive", [] { return Bytes{}; }, [](RecordingFileSystem& fs) { (void)fs.remove(kPath); },
       CompactError::Kind::Io, "IO error: open /w/a.dat: No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes in = c.make();
    RecordingFileSystem fs("/w");
    fs.put_file(kPath, in);
    if (c.setup) c.setup(fs);
    const auto before = fs.file_bytes(kPath);
    auto r = compact_archive(kPath, std::nullopt, fs);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind(), c.kind);
    EXPECT_TRUE(r.error().to_string().starts_with(c.text_start)) << r.error().to_string();
    EXPECT_EQ(fs.file_bytes(kPath), before);
    EXPECT_FALSE(fs.file_bytes("/w/a.dat.part").has_value());
  }
}

// A source that must never be asked for a body.
class UnreadSource final : public StoredBodySource {
 public:
  DatResult<void> read(std::size_t, std::span<std::uint8_t>) override {
    ADD_FAILURE() << "a body was read";
    return std::unexpected(DatError::other("read"));
  }
};

TEST(FreshArchive, RefusesBeforeWritingAnything) {
  struct Case {
    const char* name;
    std::uint32_t block_size;
    std::vector<DatFileEntry> entries;
    std::vector<std::uint32_t> order;
    CompactError::Kind kind;
  };
  const std::vector<Case> cases = {
      {"past 4 GiB", 256, {{.id = 1, .size = 0xFFFFFF00u}, {.id = 2, .size = 0x1000}}, {}, CompactError::Kind::TooLarge},
      {"ids not ascending", 256, {{.id = 2, .size = 5}, {.id = 1, .size = 5}}, {}, CompactError::Kind::BadInput},
      {"an id twice", 256, {{.id = 1, .size = 5}, {.id = 1, .size = 5}}, {}, CompactError::Kind::BadInput},
      {"a block size below 5", 4, {}, {}, CompactError::Kind::BadInput},
      {"a body order missing one", 256, {{.id = 1, .size = 5}, {.id = 2, .size = 5}}, {1}, CompactError::Kind::BadInput},
      {"a body order naming one twice", 256, {{.id = 1, .size = 5}, {.id = 2, .size = 5}}, {1, 1},
       CompactError::Kind::BadInput},
      {"a body order naming an empty body", 256, {{.id = 1, .size = 0}, {.id = 2, .size = 5}}, {0, 1},
       CompactError::Kind::BadInput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingFileSystem fs("/w");
    UnreadSource source;
    const FreshArchive archive{.header = {.block_size = c.block_size}, .entries = c.entries, .body_order = c.order, .prefix = {}};
    auto r = write_fresh_archive(kPath, archive, source, fs);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind(), c.kind) << r.error().to_string();
    EXPECT_TRUE(fs.operations().empty());
  }
}

// Bodies follow each other in the order given, each a contiguous chain.
TEST(FreshArchive, LaysBodiesOutInTheOrderGiven) {
  const std::vector<Bytes> bodies = {testing::pattern_bytes(100, 1), testing::pattern_bytes(10, 2),
                                     testing::pattern_bytes(300, 3)};
  const std::vector<std::span<const std::uint8_t>> spans(bodies.begin(), bodies.end());
  const std::vector<DatFileEntry> entries = {{.id = 5, .size = 100}, {.id = 6, .size = 10}, {.id = 9, .size = 300}};
  const std::vector<std::uint32_t> order = {2, 0, 1};
  MemoryBodySource source(spans);
  RecordingFileSystem fs("/w");
  const FreshArchive archive{.header = {.magic = 0x5442, .block_size = 64}, .entries = entries, .body_order = order, .prefix = {}};
  auto stats = write_fresh_archive(kPath, archive, source, fs);
  ASSERT_TRUE(stats.has_value()) << stats.error().to_string();
  auto db = DatDatabase::open(kPath, fs);
  ASSERT_TRUE(db.has_value());
  const std::uint32_t nine = db->find_entry(9)->offset, five = db->find_entry(5)->offset, six = db->find_entry(6)->offset;
  // After the header region (0x1C0) and one node of 29 blocks.
  EXPECT_EQ(nine, 0x1C0u + 29 * 64);
  EXPECT_EQ(five, nine + 5 * 64);  // 300 bytes: five 60-byte payloads
  EXPECT_EQ(six, five + 2 * 64);
  EXPECT_EQ(stats->length, six + 64u);
  EXPECT_EQ(stats->body_blocks, 8u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(db->get_file(entries[i].id).value(), bodies[i]);
}

}  // namespace
}  // namespace ravelin::dat
