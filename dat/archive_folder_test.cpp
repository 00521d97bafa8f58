#include "ravelin/dat/archive_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dat/archive_test_support.h"
#include "dat_writer/sample_world.h"
#include "ravelin/dat/archive_check.h"

namespace ravelin::dat {
namespace {

using common::RecordingFileSystem;
using dat_writer::ArchiveOptions;
using dat_writer::ArchiveWriter;
using dat_writer::ChainLayout;
using dat_writer::FileOptions;
using testing::Bytes;

ArchiveWriter writer_of(std::uint32_t files, ArchiveOptions options = {},
                        std::function<FileOptions(std::uint32_t)> each = {}, std::uint32_t first = 0x01000000) {
  ArchiveWriter w(options);
  w.header().magic = 0xBEEF;
  w.header().new_lru = 0x11;
  w.header().master_map_id = 0x0A000001;
  w.header().version_string[3] = 0xC4;
  w.header().version_minor = 9;
  for (std::uint32_t i = 0; i < files; ++i)
    w.add_file(first + i * 3, testing::pattern_bytes(20 + (i * 37) % 700, i), each ? each(i) : FileOptions{});
  return w;
}

dat_writer::SampleWorldParams random_world(std::uint64_t seed) {
  dat_writer::SampleWorldParams p;
  p.seed = seed;
  p.first_x = 0x10 + static_cast<std::uint32_t>(seed);
  p.first_y = 0x20;
  p.grid_width = 3;
  p.grid_height = 2 + static_cast<std::uint32_t>(seed % 3);
  p.setup_count = 10;
  p.animation_count = 12;
  p.portal_filler_files = 30;
  p.portal_block_size = seed % 2 == 0 ? 1024 : 64;
  p.entries_per_node = 5 + static_cast<std::uint32_t>(seed);
  return p;
}

// A compressed body whose tokens are all literals: the reader's decompression
// takes it, and our compressor, which finds the repeats, never writes it, so a
// body decompressed and compressed again on the way shows.
Bytes literals_only(const Bytes& plain) {
  Bytes out(4);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(plain.size() >> (8 * i));
  for (std::size_t at = 0; at < plain.size(); at += 8) {
    out.push_back(0);
    out.insert(out.end(), plain.begin() + at, plain.begin() + std::min(at + 8, plain.size()));
  }
  return out;
}

struct Source {
  const char* name;
  std::function<Bytes()> make;
};

std::vector<Source> sources() {
  return {
      {"sample world, portal", [] { return dat_writer::build_sample_world({}).portal; }},
      {"sample world, cell", [] { return dat_writer::build_sample_world({}).cell; }},
      {"random world 3, portal", [] { return dat_writer::build_sample_world(random_world(3)).portal; }},
      {"random world 4, portal", [] { return dat_writer::build_sample_world(random_world(4)).portal; }},
      {"random world 5, cell", [] { return dat_writer::build_sample_world(random_world(5)).cell; }},
      {"an empty archive", [] { return ArchiveWriter({.block_size = 512}).build().bytes; }},
      {"less-full directory: 3 entries a node over 400 files",
       [] { return writer_of(400, {.block_size = 128, .entries_per_node = 3}).build().bytes; }},
      {"scattered, reversed and oversized chains",
       [] {
         return writer_of(200, {.block_size = 64, .node_layout = ChainLayout::Scattered}, [](std::uint32_t i) {
                  const ChainLayout layouts[] = {ChainLayout::Scattered, ChainLayout::Reversed, ChainLayout::OversizedLast};
                  return FileOptions{.layout = layouts[i % 3]};
                })
             .build()
             .bytes;
       }},
      {"compressed bodies, flags, timestamps, versions and empty bodies",
       [] {
         ArchiveWriter w = writer_of(90, {.block_size = 256}, [](std::uint32_t i) {
           return FileOptions{.compressed = i % 2 == 0, .extra_flags = i << 4, .timestamp = 1000 + i, .version = i * 7};
         });
         w.add_file(0x02000000, {});
         w.add_file(0x02000001, {}, {.compressed = true, .timestamp = 5});
         return w.build().bytes;
       }},
      {"block size 16", [] { return writer_of(70, {.block_size = 16}).build().bytes; }},
      {"compressed bodies of another compressor: literals only", [] {
         ArchiveWriter w({.block_size = 128});
         for (std::uint32_t i = 0; i < 12; ++i)
           w.add_file(0x0A000000 + i, literals_only(testing::pattern_bytes(100 + 40 * i, i)),
                      {.compressed = true, .raw = true, .timestamp = i});
         return w.build().bytes;
       }},
  };
}

// Both archives hold the same entries, stored bytes and fields, and the same
// kept header fields; `out` is a fresh archive with nothing to report.
void expect_same_entries(RecordingFileSystem& fs, const char* in_path, const char* out_path, bool same_block_size) {
  auto a = DatDatabase::open(in_path, fs);
  auto b = DatDatabase::open(out_path, fs);
  ASSERT_TRUE(a.has_value()) << a.error().to_string();
  ASSERT_TRUE(b.has_value()) << b.error().to_string();
  ASSERT_EQ(a->entry_count(), b->entry_count());
  for (const DatFileEntry& e : a->entries()) {
    const DatFileEntry* f = b->find_entry(e.id);
    ASSERT_NE(f, nullptr) << e.id;
    EXPECT_EQ(f->bit_flags, e.bit_flags) << e.id;
    EXPECT_EQ(f->size, e.size) << e.id;
    EXPECT_EQ(f->timestamp, e.timestamp) << e.id;
    EXPECT_EQ(f->version, e.version) << e.id;
    EXPECT_EQ(b->read_file_data(f->offset, f->size).value(), a->read_file_data(e.offset, e.size).value()) << e.id;
  }
  DatHeader want = a->header();
  const DatHeader& got = b->header();
  want.file_size = got.file_size;
  want.free_head = want.free_tail = want.free_count = 0;
  want.root_offset = got.root_offset;
  if (!same_block_size) want.block_size = got.block_size;
  EXPECT_EQ(got, want);
  auto report = check_archive(out_path, fs);
  ASSERT_TRUE(report.has_value());
  EXPECT_TRUE(report->findings.empty()) << check_report_text(*report);
}

// Every file under DIR/files, by name.
std::map<std::string, Bytes> folder_files(const RecordingFileSystem& fs, const std::string& dir) {
  std::map<std::string, Bytes> out;
  const std::string prefix = dir + "/files/";
  for (const common::Path& p : fs.list_files())
    if (p.string().starts_with(prefix)) out[p.filename().string()] = fs.file_bytes(p).value();
  return out;
}

TEST(ArchiveFolder, StoredExtractPacksToTheSameEntries) {
  for (const Source& s : sources()) {
    SCOPED_TRACE(s.name);
    RecordingFileSystem fs("/w");
    fs.put_file("/w/in.dat", s.make());
    auto extracted = extract_archive("/w/in.dat", "/w/dir", {.stored = true}, fs);
    ASSERT_TRUE(extracted.has_value()) << extracted.error().to_string();
    auto packed = pack_folder("/w/dir", "/w/out.dat", {}, fs);
    ASSERT_TRUE(packed.has_value()) << packed.error().to_string();
    expect_same_entries(fs, "/w/in.dat", "/w/out.dat", true);
    EXPECT_EQ(packed->entries, extracted->files);
    EXPECT_EQ(packed->length, fs.file_bytes("/w/out.dat")->size());
    // Bodies read again from their files, none held from the sizing pass: the same archive.
    ASSERT_TRUE(pack_folder("/w/dir", "/w/unheld.dat", {.held_budget = 0}, fs).has_value());
    EXPECT_EQ(fs.file_bytes("/w/unheld.dat"), fs.file_bytes("/w/out.dat"));
  }
}

TEST(ArchiveFolder, PlainExtractPacksToTheSameFiles) {
  for (const Source& s : sources()) {
    SCOPED_TRACE(s.name);
    RecordingFileSystem fs("/w");
    fs.put_file("/w/in.dat", s.make());
    ASSERT_TRUE(extract_archive("/w/in.dat", "/w/a", {}, fs).has_value());
    auto packed = pack_folder("/w/a", "/w/out.dat", {.block_size = 96, .held_budget = 1000}, fs);
    ASSERT_TRUE(packed.has_value()) << packed.error().to_string();
    ASSERT_TRUE(extract_archive("/w/out.dat", "/w/b", {}, fs).has_value());
    EXPECT_EQ(folder_files(fs, "/w/a"), folder_files(fs, "/w/b"));
    auto a = DatDatabase::open("/w/in.dat", fs);
    auto b = DatDatabase::open("/w/out.dat", fs);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->header().block_size, 96u);
    for (const DatFileEntry& e : a->entries()) {
      const DatFileEntry* f = b->find_entry(e.id);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->bit_flags, e.bit_flags);
      EXPECT_EQ(b->get_file(e.id).value(), a->get_file(e.id).value()) << e.id;
    }
    // Only the layout's fields differ between the two headers.
    EXPECT_EQ(fs.file_text("/w/a/index.jsonl").has_value(), true);
  }
}

TEST(ArchiveFolder, FolderLayout) {
  ArchiveWriter w({.block_size = 64});
  w.add_file(0x0A00002A, testing::pattern_bytes(300, 1), {.compressed = true, .extra_flags = 0x20, .timestamp = 7, .version = 3});
  w.add_file(0x01000001, Bytes{1, 2, 3}, {.timestamp = 0xFFFFFFFF});
  w.header().magic = 0x5442;
  RecordingFileSystem fs("/w");
  fs.put_file("/w/in.dat", w.build().bytes);
  ASSERT_TRUE(extract_archive("/w/in.dat", "/w/dir", {}, fs).has_value());
  auto db = DatDatabase::open("/w/in.dat", fs);
  const std::uint32_t stored = db->find_entry(0x0A00002A)->size;
  EXPECT_EQ(fs.file_text("/w/dir/index.jsonl"),
            "{\"id\":\"0x01000001\",\"bit_flags\":0,\"timestamp\":4294967295,\"version\":0,\"compressed\":false,\"size\":3}\n"
            "{\"id\":\"0x0A00002A\",\"bit_flags\":33,\"timestamp\":7,\"version\":3,\"compressed\":true,\"size\":" +
                std::to_string(stored) + "}\n");
  EXPECT_EQ(fs.file_bytes("/w/dir/files/0x01000001"), (Bytes{1, 2, 3}));
  EXPECT_EQ(fs.file_bytes("/w/dir/files/0x0A00002A"), testing::pattern_bytes(300, 1));
  const std::string header = fs.file_text("/w/dir/header.json").value();
  EXPECT_NE(header.find("  \"magic\": \"0x00005442\",\n  \"block_size\": 64,\n"), std::string::npos) << header;
  EXPECT_NE(header.find("\"version_string\": \"00000000000000000000000000000000\""), std::string::npos);
  EXPECT_NE(header.find("\"stored\": false\n}"), std::string::npos);

  // Some ids only; an id the archive lacks writes nothing.
  ASSERT_TRUE(extract_archive("/w/in.dat", "/w/one", {.ids = {0x0A00002A}, .stored = true}, fs).has_value());
  EXPECT_EQ(folder_files(fs, "/w/one").size(), 1u);
  EXPECT_EQ(fs.file_bytes("/w/one/files/0x0A00002A")->size(), stored);
  auto missing = extract_archive("/w/in.dat", "/w/none", {.ids = {0x0A00002A, 0x0E000001}}, fs);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().to_string(), "File ID 0E000001 not found in /w/in.dat");
  EXPECT_EQ(fs.kind("/w/none"), common::FileKind::Missing);
}

TEST(ArchiveFolder, ANonEmptyFolderNeedsForceWhichDropsStaleFiles) {
  RecordingFileSystem fs("/w");
  fs.put_file("/w/in.dat", writer_of(10).build().bytes);
  fs.put_file("/w/dir/notes.txt", "mine");
  auto refused = extract_archive("/w/in.dat", "/w/dir", {}, fs);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().kind(), FolderError::Kind::NotEmpty);
  EXPECT_EQ(refused.error().to_string(), "/w/dir is not empty (--force writes into it)");
  EXPECT_EQ(fs.list_files(), (std::vector<common::Path>{"/w/dir/notes.txt", "/w/in.dat"}));

  fs.put_file("/w/dir/files/0x7F000000", "from an earlier extract");
  ASSERT_TRUE(extract_archive("/w/in.dat", "/w/dir", {.force = true}, fs).has_value());
  EXPECT_FALSE(fs.file_bytes("/w/dir/files/0x7F000000").has_value());
  EXPECT_TRUE(fs.file_bytes("/w/dir/notes.txt").has_value());
  EXPECT_EQ(folder_files(fs, "/w/dir").size(), 10u);
  ASSERT_TRUE(pack_folder("/w/dir", "/w/out.dat", {}, fs).has_value());
}

// The files are made durable by one sync of the file system, before the index
// that lists them is written; the index comes last.
TEST(ArchiveFolder, ExtractSyncsOnceThenWritesTheIndexLast) {
  RecordingFileSystem fs("/w");
  fs.put_file("/w/in.dat", writer_of(20).build().bytes);
  ASSERT_TRUE(extract_archive("/w/in.dat", "/w/dir", {.stored = true}, fs).has_value());
  std::vector<std::string> steps;
  for (const common::Operation& op : fs.operations())
    if (op.kind == common::OperationKind::Sync || op.kind == common::OperationKind::SyncFileSystem ||
        op.kind == common::OperationKind::Rename)
      steps.push_back(common::to_string(op));
  EXPECT_EQ(steps, (std::vector<std::string>{"sync_file_system /w/dir", "sync /w/dir/header.json.part",
                                             "rename /w/dir/header.json.part /w/dir/header.json",
                                             "sync /w/dir/index.jsonl.part",
                                             "rename /w/dir/index.jsonl.part /w/dir/index.jsonl"}));
}

struct BadInput {
  const char* name;
  std::function<void(RecordingFileSystem&)> spoil;  // of a good stored extract in /w/dir
  PackOptions options;
  std::string error;
};

TEST(ArchiveFolder, BadInputIsOneErrorAndLeavesNoArchive) {
  const std::string line2 = "{\"id\":\"0x01000003\",\"bit_flags\":0,\"timestamp\":0,\"version\":0,\"compressed\":false,\"size\":57}";
  const std::vector<BadInput> cases = {
      {"no index.jsonl", [](RecordingFileSystem& fs) { (void)fs.remove("/w/dir/index.jsonl"); }, {},
       "/w/dir has no index.jsonl (a folder `ravelin-bake dat extract` wrote has one)"},
      {"a line that is not JSON",
       [](RecordingFileSystem& fs) { fs.put_file("/w/dir/index.jsonl", fs.file_text("/w/dir/index.jsonl").value() + "{id:\n"); },
       {}, "/w/dir/index.jsonl:5: not a JSON object"},
      {"an id twice",
       [&](RecordingFileSystem& fs) { fs.put_file("/w/dir/index.jsonl", fs.file_text("/w/dir/index.jsonl").value() + line2 + "\n"); },
       {}, "/w/dir/index.jsonl:5: file id 0x01000003 is already on line 2"},
      {"a field out of range",
       [](RecordingFileSystem& fs) {
         fs.put_file("/w/dir/index.jsonl", "{\"id\":\"0x01000000\",\"bit_flags\":0,\"timestamp\":4294967296,\"version\":0,\"compressed\":false}\n");
       },
       {}, "/w/dir/index.jsonl:1: \"timestamp\" is not an unsigned 32-bit number"},
      {"compressed against bit 0",
       [](RecordingFileSystem& fs) {
         fs.put_file("/w/dir/index.jsonl", "{\"id\":\"0x01000000\",\"bit_flags\":1,\"timestamp\":0,\"version\":0,\"compressed\":false}\n");
       },
       {}, "/w/dir/index.jsonl:1: \"compressed\" is false but bit 0 of \"bit_flags\" says otherwise"},
      {"block size 8", [](RecordingFileSystem&) {}, {.block_size = 8}, "block size 8: must be more than 8 and a multiple of 4"},
      {"block size 50", [](RecordingFileSystem&) {}, {.block_size = 50}, "block size 50: must be more than 8 and a multiple of 4"},
      {"a file the index does not list", [](RecordingFileSystem& fs) { fs.put_file("/w/dir/files/0x7F000000", "x"); }, {},
       "/w/dir/files/0x7F000000 is not listed in /w/dir/index.jsonl"},
      {"a line naming a missing file", [](RecordingFileSystem& fs) { (void)fs.remove("/w/dir/files/0x01000003"); }, {},
       "/w/dir/index.jsonl:2: no file /w/dir/files/0x01000003"},
      {"no header.json", [](RecordingFileSystem& fs) { (void)fs.remove("/w/dir/header.json"); }, {},
       "IO error: read /w/dir/header.json: No such file or directory"},
      {"a header field that is not a number",
       [](RecordingFileSystem& fs) { fs.put_file("/w/dir/header.json", "{\"block_size\": 64, \"dataset\": -1}"); }, {},
       "/w/dir/header.json: \"dataset\" is not an unsigned 32-bit number"},
      {"a full disk", [](RecordingFileSystem& fs) {
         std::uint64_t used = 0;
         for (const common::Path& p : fs.list_files()) used += fs.file_bytes(p)->size();
         fs.set_capacity(used + 1000);
       }, {},
       "IO error: write /w/out.dat: No space left on device"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingFileSystem fs("/w");
    fs.put_file("/w/in.dat", writer_of(4, {.block_size = 64}).build().bytes);
    ASSERT_TRUE(extract_archive("/w/in.dat", "/w/dir", {.stored = true}, fs).has_value());
    c.spoil(fs);
    const auto before = fs.list_files();
    auto packed = pack_folder("/w/dir", "/w/out.dat", c.options, fs);
    ASSERT_FALSE(packed.has_value());
    EXPECT_EQ(packed.error().to_string(), c.error);
    EXPECT_EQ(fs.list_files(), before);  // no archive, no temporary
  }
}

// A source that cannot be read is named, and the folder gets no index.
TEST(ArchiveFolder, ExtractOfABadArchiveNamesIt) {
  ArchiveWriter w = writer_of(30, {.block_size = 64});
  const Bytes whole = w.build().bytes;
  struct Case {
    const char* name;
    Bytes bytes;
    std::string error;
  };
  Bytes truncated(whole.begin(), whole.end() - 200);
  const std::vector<Case> cases = {
      {"truncated", truncated, "IO error: failed to fill whole buffer"},
      {"shorter than its header", Bytes(whole.begin(), whole.begin() + 0x150),
       "While parsing field 'subset' in DatHeader"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingFileSystem fs("/w");
    fs.put_file("/w/in.dat", c.bytes);
    auto r = extract_archive("/w/in.dat", "/w/dir", {}, fs);
    ASSERT_FALSE(r.has_value());
    EXPECT_TRUE(r.error().to_string().starts_with("/w/in.dat: ")) << r.error().to_string();
    EXPECT_NE(r.error().to_string().find(c.error), std::string::npos) << r.error().to_string();
    EXPECT_FALSE(fs.file_bytes("/w/dir/index.jsonl").has_value());
  }
  RecordingFileSystem fs("/w");
  auto r = extract_archive("/w/absent.dat", "/w/dir", {}, fs);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind(), FolderError::Kind::Archive);
  EXPECT_NE(r.error().to_string().find("/w/absent.dat"), std::string::npos);
}

// Entries carried from an archive of block size 64 into one of 1024: stored
// bytes and fields as they were, an id the target held replaced, the rest of
// the target untouched; a missing id copies nothing.
TEST(ArchiveFolder, CopyBetweenBlockSizes) {
  ArchiveWriter from = writer_of(40, {.block_size = 64}, [](std::uint32_t i) {
    return FileOptions{.compressed = i % 3 == 0, .extra_flags = i << 8, .timestamp = i + 1, .version = 2 * i};
  });
  ArchiveWriter to = writer_of(25, {.block_size = 1024, .entries_per_node = 4}, {}, 0x01000003);
  RecordingFileSystem fs("/w");
  fs.put_file("/w/from.dat", from.build().bytes);
  fs.put_file("/w/to.dat", to.build().bytes);
  const std::vector<std::uint32_t> ids = {0x01000000, 0x01000003, 0x0100002D, 0x01000048};
  CommitStats commit;
  auto copied = copy_between("/w/from.dat", "/w/to.dat", ids, &commit, fs);
  ASSERT_TRUE(copied.has_value()) << copied.error().to_string();
  EXPECT_EQ(copied->added, 1u);
  EXPECT_EQ(copied->replaced, 3u);
  EXPECT_GT(commit.blocks_written, 0u);

  auto a = DatDatabase::open("/w/from.dat", fs);
  auto b = DatDatabase::open("/w/to.dat", fs);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(b->header().block_size, 1024u);
  EXPECT_EQ(b->entry_count(), 26u);
  for (const std::uint32_t id : ids) {
    const DatFileEntry* e = a->find_entry(id);
    const DatFileEntry* f = b->find_entry(id);
    ASSERT_TRUE(e && f);
    EXPECT_EQ(std::tie(f->bit_flags, f->size, f->timestamp, f->version),
              std::tie(e->bit_flags, e->size, e->timestamp, e->version));
    EXPECT_EQ(b->read_file_data(f->offset, f->size).value(), a->read_file_data(e->offset, e->size).value());
  }
  const DatFileEntry* kept = b->find_entry(0x01000006);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(b->get_file(0x01000006).value(), testing::pattern_bytes(20 + 37 % 700, 1));
  auto report = check_archive("/w/to.dat", fs);
  ASSERT_TRUE(report.has_value());
  EXPECT_FALSE(report->has_faults()) << check_report_text(*report);

  const Bytes before = fs.file_bytes("/w/to.dat").value();
  auto missing = copy_between("/w/from.dat", "/w/to.dat", std::vector<std::uint32_t>{0x01000000, 0x0E000001}, nullptr, fs);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().to_string(), "File ID 0E000001 not found in /w/from.dat");
  EXPECT_EQ(fs.file_bytes("/w/to.dat"), before);
}

}  // namespace
}  // namespace ravelin::dat
