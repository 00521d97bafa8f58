#include "ravelin/dat/lib.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "common/debug_format.h"
#include "ravelin/common/id_text.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/sample_world.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dat_writer::ArchiveLayout;
using dat_writer::ArchiveOptions;
using dat_writer::ArchiveWriter;
using dat_writer::ChainLayout;
using dat_writer::FileOptions;
using dat_writer::NodeDef;
using dat_writer::patch_u32;

constexpr const char* kShortRead = "failed to fill whole buffer";

class DatDatabaseTest : public ::testing::Test {
 protected:
  std::filesystem::path save(const Bytes& bytes) {
    const auto path = std::filesystem::path(::testing::TempDir()) /
                      ("ravelin_lib_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ".dat");
    paths_.push_back(path);
    EXPECT_TRUE(common::write_whole_file(path, bytes).has_value());
    return path;
  }
  DatResult<DatDatabase> open(const Bytes& bytes) { return DatDatabase::open(save(bytes)); }
  DatResult<DatDatabase> open(const Bytes& bytes, DatDatabase::EntryFilter keep) {
    return DatDatabase::open(save(bytes), common::default_file_system(), keep);
  }
  void TearDown() override {
    for (const auto& p : paths_) std::filesystem::remove(p);
  }

 private:
  int counter_ = 0;
  std::vector<std::filesystem::path> paths_;
};

Bytes pattern(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  // Half random, half repetitive, so compression has something to find.
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i < n / 2 ? rng() : 'a' + i % 5);
  return out;
}

Bytes one(std::uint8_t b) { return Bytes{b, static_cast<std::uint8_t>(b + 1), static_cast<std::uint8_t>(b + 2)}; }

NodeDef leaf(std::vector<dat_writer::FileHandle> files) {
  NodeDef n;
  n.files = std::move(files);
  return n;
}

NodeDef absent() {
  NodeDef n;
  n.absent = true;
  return n;
}

void expect_error(const DatResult<DatDatabase>& r, DatError::Kind kind, const std::string& text) {
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind(), kind);
  EXPECT_EQ(r.error().to_string(), text);
}

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct RoundTripConfig {
  std::uint32_t block_size;
  std::uint32_t entries_per_node;
  ChainLayout layout;
};

TEST_F(DatDatabaseTest, RoundTripsManyFilesAcrossTreeShapesAndChainLayouts) {
  const std::vector<RoundTripConfig> configs = {
      {256, 61, ChainLayout::Contiguous}, {256, 3, ChainLayout::Contiguous}, {64, 1, ChainLayout::Scattered},
      {100, 7, ChainLayout::Reversed},    {256, 2, ChainLayout::OversizedLast}, {4096, 61, ChainLayout::Scattered},
  };
  for (const RoundTripConfig& cfg : configs) {
    SCOPED_TRACE("block " + std::to_string(cfg.block_size) + " per node " + std::to_string(cfg.entries_per_node));
    ArchiveWriter w({.block_size = cfg.block_size, .entries_per_node = cfg.entries_per_node, .node_layout = cfg.layout});
    std::vector<std::pair<std::uint32_t, Bytes>> files;
    std::mt19937 rng(cfg.block_size + cfg.entries_per_node);
    for (std::uint32_t i = 0; i < 300; ++i) {
      // Ids out of order and spread over the range; sizes around block edges.
      const std::uint32_t id = (i * 2654435761u) ^ 0x01000000u;
      const std::size_t size = i % 10 == 0 ? 0 : (i % 7 == 0 ? cfg.block_size * 3 - 4 : rng() % 3000);
      Bytes data = pattern(size, i);
      w.add_file(id, data, {.compressed = i % 3 == 0, .extra_flags = (i % 4) << 4, .timestamp = i, .version = i * 2,
                            .layout = cfg.layout});
      files.emplace_back(id, std::move(data));
    }
    auto db = open(w.build().bytes);
    ASSERT_TRUE(db.has_value()) << db.error().to_string();
    EXPECT_TRUE(db->is_ordered());  // the writer lays out a proper B-tree
    EXPECT_EQ(db->entry_count(), files.size());
    for (std::uint32_t i = 0; i < files.size(); ++i) {
      const auto& [id, data] = files[i];
      auto got = db->get_file(id);
      ASSERT_TRUE(got.has_value()) << got.error().to_string();
      EXPECT_EQ(*got, data) << "file " << i;
      const DatFileEntry* e = db->find_entry(id);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->is_compressed(), i % 3 == 0);
      EXPECT_EQ(e->bit_flags >> 4, i % 4);
      EXPECT_EQ(e->timestamp, i);
      EXPECT_EQ(e->version, i * 2);
    }
    const auto sorted = db->sorted_entries();
    ASSERT_EQ(sorted.size(), files.size());
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                               [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; }));
    EXPECT_EQ(db->get_file(0x13000000).error().to_string(), "File ID 13000000 not found in provider");
  }
}

TEST_F(DatDatabaseTest, KeepsEveryHeaderField) {
  ArchiveWriter w({.block_size = 512});
  auto& h = w.header();
  h.magic = 0x11111111;
  h.dataset = 2;
  h.subset = 3;
  h.free_head = 4;
  h.free_tail = 5;
  h.free_count = 6;
  h.new_lru = 7;
  h.old_lru = 8;
  h.use_lru = 0x01020304;
  h.master_map_id = 9;
  h.engine_version = 10;
  h.game_version = 11;
  for (std::uint8_t i = 0; i < 16; ++i) h.version_string[i] = static_cast<std::uint8_t>(0xF0 + i);
  h.version_minor = 12;
  w.add_file(1, one(1));
  const ArchiveLayout layout = w.build();
  auto db = open(layout.bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  const DatHeader& r = db->header();
  EXPECT_EQ(r.magic, 0x11111111u);
  EXPECT_EQ(r.block_size, 512u);
  EXPECT_EQ(r.file_size, layout.bytes.size());
  EXPECT_EQ(std::vector<std::uint32_t>({r.dataset, r.subset, r.free_head, r.free_tail, r.free_count, r.new_lru,
                                        r.old_lru, r.use_lru, r.master_map_id, r.engine_version, r.game_version,
                                        r.version_minor}),
            std::vector<std::uint32_t>({2, 3, 4, 5, 6, 7, 8, 0x01020304, 9, 10, 11, 12}));
  EXPECT_EQ(r.root_offset, layout.root_offset);
  EXPECT_EQ(r.version_string, h.version_string);
}

TEST_F(DatDatabaseTest, TruncatedHeaderFailsOnTheFieldThatRunsOut) {
  ArchiveWriter w;
  w.add_file(1, one(1));
  const Bytes full = w.build().bytes;
  struct Cut {
    std::size_t length;
    const char* field;
    std::uint32_t line;
    const char* inner;
  };
  const char* const u32_fields[] = {"magic", "block_size", "file_size", "dataset", "subset",
                                    "free_head", "free_tail", "free_count", "root_offset", "new_lru",
                                    "old_lru", "use_lru", "master_map_id", "engine_version", "game_version"};
  std::vector<Cut> cuts = {{0, "magic", 172, kShortRead}, {0x100, "magic", 172, kShortRead}};
  for (std::uint32_t k = 0; k < 15; ++k) cuts.push_back({0x140 + 4 * k + 3, u32_fields[k], 172 + k, kShortRead});
  cuts.push_back({0x140 + 60, "version_string", 188, "not enough bytes in reader"});
  cuts.push_back({0x140 + 75, "version_string", 188, "not enough bytes in reader"});
  cuts.push_back({0x140 + 76, "version_minor", 189, kShortRead});
  cuts.push_back({0x140 + 79, "version_minor", 189, kShortRead});
  for (const Cut& c : cuts) {
    SCOPED_TRACE(std::to_string(c.length));
    auto db = open(Bytes(full.begin(), full.begin() + c.length));
    ASSERT_FALSE(db.has_value());
    ASSERT_EQ(db.error().kind(), DatError::Kind::BinRead);
    const common::ReadError& e = db.error().read_error();
    EXPECT_EQ(e.message(), c.inner);
    ASSERT_EQ(e.frames().size(), 1u);
    EXPECT_EQ(e.frames()[0], (common::ContextFrame{std::string("While parsing field '") + c.field + "' in DatHeader",
                                                   "dat/lib", c.line}));
    EXPECT_TRUE(db.error().to_string().starts_with("Binary read error: ")) << db.error().to_string();
  }
}

TEST_F(DatDatabaseTest, MissingFileIsPathError) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "ravelin_no_such_archive.dat";
  expect_error(DatDatabase::open(path), DatError::Kind::PathError,
               "Failed to open file at " + path.string() + ": No such file or directory");
}

TEST_F(DatDatabaseTest, EmptyDirectoryOpensAndFindsNothing) {
  ArchiveWriter w;
  const ArchiveLayout layout = w.build();
  auto db = open(layout.bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  EXPECT_EQ(db->header().root_offset, 0u);
  EXPECT_EQ(db->entry_count(), 0u);
  EXPECT_EQ(db->get_file(0x13000000).error().to_string(), "File ID 13000000 not found in provider");
}

// Which ids a hand-made tree makes visible: the walk order and branch rules.
TEST_F(DatDatabaseTest, TreeShapesDecideWhichEntriesAreRead) {
  struct Shape {
    const char* name;
    NodeDef root;
    std::vector<std::uint32_t> present;  // ids that must be found; the rest must not
  };
  ArchiveWriter w({.block_size = 256});
  std::vector<dat_writer::FileHandle> h;
  for (std::uint32_t id = 0; id < 130; ++id) h.push_back(w.add_file(id + 1, one(static_cast<std::uint8_t>(id))));
  auto ids = [](std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t i = from; i <= to; ++i) v.push_back(i);
    return v;
  };

  std::vector<Shape> shapes;
  shapes.push_back({"leaf with no entries", NodeDef{}, {}});
  {
    // First branch 0: a leaf, so the child at branch 1 is never read.
    NodeDef root = leaf({h[0]});
    root.children = {absent(), leaf({h[1]})};
    shapes.push_back({"first branch 0 makes a leaf", root, {1}});
  }
  {
    NodeDef root;
    root.children = {leaf({h[0]}), leaf({h[1]})};
    shapes.push_back({"internal node with no entries reads only child 0", root, {1}});
  }
  {
    NodeDef root = leaf({h[0], h[1]});
    for (int c = 0; c < 5; ++c) root.children.push_back(leaf({h[10 + c]}));
    shapes.push_back({"two entries read children 0 to 2", root, {1, 2, 11, 12, 13}});
  }
  {
    NodeDef root = leaf({h[2]});
    root.children = {leaf({h[0]}), absent(), leaf({h[1]})};
    shapes.push_back({"an absent middle child is skipped", root, {3, 1}});
  }
  {
    NodeDef root;
    for (std::uint32_t i = 0; i < 61; ++i) root.files.push_back(h[i]);
    for (std::uint32_t c = 0; c < 62; ++c) root.children.push_back(leaf({h[61 + c]}));
    shapes.push_back({"61 entries read all 62 children", root, ids(1, 123)});
  }
  {
    NodeDef inner = leaf({h[5]});
    inner.children = {leaf({h[6]}), leaf({h[7]})};
    NodeDef root = leaf({h[4]});
    root.children = {inner, leaf({h[8]})};
    shapes.push_back({"three levels", root, {5, 6, 7, 8, 9}});
  }
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    auto db = open(w.build_tree(s.root).bytes);
    ASSERT_TRUE(db.has_value()) << db.error().to_string();
    EXPECT_EQ(db->entry_count(), s.present.size());
    for (std::uint32_t id = 1; id <= 130; ++id) {
      const bool expected = std::find(s.present.begin(), s.present.end(), id) != s.present.end();
      auto got = db->get_file(id);
      EXPECT_EQ(got.has_value(), expected) << "id " << id;
      if (got) {
        EXPECT_EQ(*got, one(static_cast<std::uint8_t>(id - 1)));
      }
    }
  }
}

TEST_F(DatDatabaseTest, LaterVisitedDuplicateWins) {
  ArchiveWriter w;
  const auto top = w.add_file(7, one(10), {.version = 1});
  const auto deep = w.add_file(7, one(20), {.version = 2});
  const auto first_sibling = w.add_file(9, one(30), {.version = 3});
  const auto second_sibling = w.add_file(9, one(40), {.version = 4});
  const auto other = w.add_file(8, one(50));
  NodeDef child = leaf({deep, first_sibling});
  NodeDef root = leaf({top, other});
  root.children = {child, leaf({second_sibling})};
  auto db = open(w.build_tree(root).bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  EXPECT_EQ(db->find_entry(7)->version, 2u);
  EXPECT_EQ(*db->get_file(7), one(20));
  EXPECT_EQ(db->find_entry(9)->version, 4u);
  EXPECT_EQ(*db->get_file(9), one(40));
  // One entry per id, each where its id was first met.
  ASSERT_EQ(db->entry_count(), 3u);
  EXPECT_EQ(db->entries()[0].id, 7u);
  EXPECT_EQ(db->entries()[1].id, 8u);
  EXPECT_EQ(db->entries()[2].id, 9u);
}

// The directory by the rules of the walk: nodes depth first, a node's entries
// then its children (none for a leaf, whose first branch is 0), an id met again
// replacing the earlier entry. `id_of` maps handles to ids.
void visit_like_the_walk(const NodeDef& node, const std::vector<std::uint32_t>& id_of,
                         std::map<std::uint32_t, dat_writer::FileHandle>& out) {
  for (const auto h : node.files) out[id_of[h]] = h;
  if (node.children.empty() || node.children[0].absent) return;
  for (std::size_t i = 0; i <= node.files.size() && i < node.children.size(); ++i)
    if (!node.children[i].absent) visit_like_the_walk(node.children[i], id_of, out);
}

// Look-ups answered from the tree's own order, and the fallbacks to the index,
// against the walk's rules: every id present and the ids beside each of them.
TEST_F(DatDatabaseTest, LookUpsFollowTheWalkWhetherOrderedOrNot) {
  ArchiveWriter w({.block_size = 128});
  std::vector<std::uint32_t> id_of;
  auto f = [&](std::uint32_t id) {
    id_of.push_back(id);
    return w.add_file(id, one(static_cast<std::uint8_t>(id_of.size() * 3)));
  };
  auto node = [](std::vector<dat_writer::FileHandle> files, std::vector<NodeDef> children = {}) {
    NodeDef n = leaf(std::move(files));
    n.children = std::move(children);
    return n;
  };
  struct Shape {
    const char* name;
    NodeDef root;
    bool ordered;
  };
  const std::vector<Shape> shapes = {
      {"three levels in order, an absent child",
       node({f(20), f(40)}, {node({f(10)}, {node({f(5)}), node({f(12)})}), node({f(25), f(30)}),
                             node({f(50)}, {absent(), node({f(60)})})}),
       true},
      {"internal node without entries", node({}, {node({f(1), f(2), f(3)})}), true},
      {"the extreme ids", node({f(0x80000000u)}, {node({f(0)}), node({f(0xFFFFFFFFu)})}), true},
      {"leaf whose other branches are never read", node({f(7)}, {absent(), node({f(3)})}), true},
      {"repeated id in a node and its descendant", node({f(20)}, {node({f(10), f(20)}), node({f(30)})}), false},
      {"repeated id in two leaves", node({f(20)}, {node({f(10)}), node({f(30), f(10)})}), false},
      {"unsorted leaf", node({f(20)}, {node({f(12), f(10)}), node({f(30)})}), false},
      {"unsorted root", node({f(40), f(20)}), false},
      {"child below its separators", node({f(20), f(40)}, {node({f(10)}), node({f(15), f(25)}), node({f(50)})}),
       false},
      {"child above its separators", node({f(20), f(40)}, {node({f(10), f(45)}), node({f(30)}), node({f(50)})}),
       false},
      {"grandchild outside its grandparent's range",
       node({f(20)}, {node({f(10)}, {node({f(5)}), node({f(25)})}), node({f(30)})}), false},
  };
  // Also with only the even ids kept: the others read as absent, whatever the tree's shape.
  const DatDatabase::EntryFilter keeps[] = {nullptr, [](std::uint32_t id) { return id % 2 == 0; }};
  for (const Shape& s : shapes) for (const DatDatabase::EntryFilter keep : keeps) {
    SCOPED_TRACE(std::string(s.name) + (keep != nullptr ? ", even ids kept" : ""));
    std::map<std::uint32_t, dat_writer::FileHandle> expected;
    visit_like_the_walk(s.root, id_of, expected);
    if (keep != nullptr) std::erase_if(expected, [&](const auto& e) { return !keep(e.first); });
    auto db = open(w.build_tree(s.root).bytes, keep);
    ASSERT_TRUE(db.has_value()) << db.error().to_string();
    EXPECT_EQ(db->is_ordered(), s.ordered && keep == nullptr);
    EXPECT_EQ(db->entry_count(), expected.size());
    // Both listings ascend through the same entries, whether from the walk or a sort.
    std::vector<std::uint32_t> want_ids, sorted_ids, ordered_ids;
    for (const auto& [id, h] : expected) want_ids.push_back(id);
    for (const DatFileEntry& e : db->sorted_entries()) sorted_ids.push_back(e.id);
    for (const std::uint32_t i : db->sorted_order()) ordered_ids.push_back(db->entries()[i].id);
    EXPECT_EQ(sorted_ids, want_ids);
    EXPECT_EQ(ordered_ids, want_ids);
    std::set<std::uint32_t> probes = {0, 0xFFFFFFFFu};
    for (const auto& [id, h] : expected) probes.insert({id - 1, id, id + 1});
    for (const std::uint32_t id : probes) {
      SCOPED_TRACE(id);
      const auto it = expected.find(id);
      const DatFileEntry* e = db->find_entry(id);
      auto got = db->get_file(id);
      if (it == expected.end()) {
        EXPECT_EQ(e, nullptr);
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error().to_string(), "File ID " + common::hex8(id) + " not found in provider");
      } else {
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->id, id);
        ASSERT_TRUE(got.has_value()) << got.error().to_string();
        EXPECT_EQ(*got, one(static_cast<std::uint8_t>((it->second + 1) * 3)));
      }
    }
  }
}

TEST_F(DatDatabaseTest, BodyEdgeCases) {
  ArchiveWriter w({.block_size = 64});
  const Bytes big = pattern(1000, 5);
  w.add_file(1, {});
  w.add_file(2, big, {.layout = ChainLayout::OversizedLast});
  w.add_file(3, Bytes{0xAA, 0xBB}, {.compressed = true, .raw = true});
  w.add_file(4, Bytes{0x05, 0, 0, 0}, {.compressed = true, .raw = true});
  w.add_file(5, {}, {.compressed = true});
  w.add_file(6, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x40, 'X', 0x01, 0x0F}, {.compressed = true, .raw = true});
  w.add_file(7, big);
  ArchiveLayout layout = w.build();
  // A non-zero link after the last block a body needs is never followed.
  patch_u32(layout.bytes, layout.file_blocks[6].back(), 0xFFFFFFF0u);
  const long rss_before = peak_rss_kib();
  auto db = open(layout.bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  EXPECT_EQ(*db->get_file(1), Bytes{});  // its offset lies outside the archive
  EXPECT_EQ(*db->get_file(2), big);
  EXPECT_EQ(*db->get_file(3), (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(*db->get_file(4), Bytes{});
  EXPECT_EQ(*db->get_file(5), Bytes{});
  EXPECT_EQ(*db->get_file(6), Bytes(18, 'X'));
  EXPECT_EQ(*db->get_file(7), big);
  EXPECT_LT(peak_rss_kib() - rss_before, 256 * 1024);
}

TEST_F(DatDatabaseTest, BrokenChainsAndSizes) {
  ArchiveWriter w({.block_size = 64});
  w.add_file(1, pattern(500, 1));
  w.add_file(2, one(2), {.size_override = 0xFFFFFFFFu});
  w.add_file(3, pattern(500, 3));
  ArchiveLayout layout = w.build();
  const Bytes intact = layout.bytes;
  patch_u32(layout.bytes, layout.file_blocks[0][2], 0x7FFFFF00u);
  auto db = open(layout.bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  const long rss_before = peak_rss_kib();
  EXPECT_EQ(db->get_file(1).error().to_string(), "IO error: failed to fill whole buffer");
  EXPECT_EQ(db->get_file(2).error().to_string(), "IO error: failed to fill whole buffer");
  EXPECT_LT(peak_rss_kib() - rss_before, 256 * 1024);  // the 4 GiB body was never allocated
  EXPECT_EQ(*db->get_file(3), pattern(500, 3));

  // Cutting the archive inside the last body's chain.
  auto cut = open(Bytes(intact.begin(), intact.end() - 100));
  ASSERT_TRUE(cut.has_value()) << cut.error().to_string();
  EXPECT_EQ(cut->get_file(3).error().to_string(), "IO error: failed to fill whole buffer");
  EXPECT_EQ(*cut->get_file(1), pattern(500, 1));
}

TEST_F(DatDatabaseTest, ChainCycleIsCorruption) {
  ArchiveWriter w({.block_size = 8});
  const auto h = w.add_file(1, pattern(40, 1));
  w.add_file(2, pattern(5000, 2));
  ArchiveLayout layout = w.build();
  const std::uint32_t first = layout.file_blocks[h].front();
  patch_u32(layout.bytes, layout.file_blocks[h].back(), first);
  auto db = open(layout.bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  // Ask for more than the ten blocks hold, so the walk goes round the loop.
  auto r = db->read_file_data(first, static_cast<std::uint32_t>(layout.bytes.size() - 1));
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind(), DatError::Kind::Corruption);
  EXPECT_EQ(r.error().to_string(), "Corruption detected: block chain at offset 0x" + common::hex8(first) +
                                       " visits more blocks than the archive holds");
}

TEST_F(DatDatabaseTest, BrokenDirectories) {
  ArchiveWriter w({.block_size = 256});
  std::vector<dat_writer::FileHandle> h;
  for (std::uint32_t id = 1; id <= 70; ++id) h.push_back(w.add_file(id, one(static_cast<std::uint8_t>(id))));
  NodeDef full;
  for (std::uint32_t i = 0; i < 61; ++i) full.files.push_back(h[i]);
  NodeDef root = leaf({h[61]});
  root.children = {leaf({h[62]}), full};

  {
    SCOPED_TRACE("entry_count 62");
    NodeDef bad = root;
    bad.children[1].entry_count = 62;
    auto db = open(w.build_tree(bad).bytes);
    ASSERT_FALSE(db.has_value());
    ASSERT_EQ(db.error().kind(), DatError::Kind::BinRead);
    const common::ReadError& e = db.error().read_error();
    EXPECT_EQ(e.message(), kShortRead);
    ASSERT_EQ(e.frames().size(), 1u);
    EXPECT_EQ(e.frames()[0], (common::ContextFrame{"While parsing field 'bit_flags' in DatFileEntry", "dat/lib", 218}));
  }
  {
    SCOPED_TRACE("node cycle back to the root");
    ArchiveLayout layout = w.build_tree(root);
    // The first child (a leaf) gets a first branch pointing at the root.
    patch_u32(layout.bytes, layout.node_blocks[1][0] + 4, layout.root_offset);
    expect_error(open(layout.bytes), DatError::Kind::Corruption,
                 "Corruption detected: directory node at offset 0x" + common::hex8(layout.root_offset) +
                     " visited twice");
  }
  {
    SCOPED_TRACE("node that is its own child");
    ArchiveLayout layout = w.build_tree(leaf({h[0]}));
    patch_u32(layout.bytes, layout.root_offset + 4, layout.root_offset);
    expect_error(open(layout.bytes), DatError::Kind::Corruption,
                 "Corruption detected: directory node at offset 0x" + common::hex8(layout.root_offset) +
                     " visited twice");
  }
  {
    SCOPED_TRACE("child node chain leaving the file");
    ArchiveLayout layout = w.build_tree(root);
    patch_u32(layout.bytes, layout.node_blocks[2][3], 0xFFFFFF00u);
    expect_error(open(layout.bytes), DatError::Kind::Io, "IO error: failed to fill whole buffer");
  }
  {
    SCOPED_TRACE("root past the end");
    ArchiveWriter past({.header_root_offset = 0x10000000});
    past.add_file(1, one(1));
    expect_error(open(past.build().bytes), DatError::Kind::Io, "IO error: failed to fill whole buffer");
  }
  {
    SCOPED_TRACE("archive shorter than a node");
    ArchiveWriter tiny({.block_size = 256, .header_root_offset = 0x180});
    Bytes bytes = tiny.build().bytes;
    bytes.resize(0x400);
    expect_error(open(bytes), DatError::Kind::Io, "IO error: failed to fill whole buffer");
  }
  for (const std::uint32_t block_size : {0u, 3u, 4u}) {
    SCOPED_TRACE("block size " + std::to_string(block_size));
    ArchiveWriter small({.block_size = 256, .header_block_size = block_size});
    small.add_file(1, one(1));
    const ArchiveLayout layout = small.build();
    expect_error(open(layout.bytes), DatError::Kind::Corruption,
                 "Corruption detected: block size " + std::to_string(block_size) +
                     " cannot hold the block chain at offset 0x" + common::hex8(layout.root_offset));
  }
}

TEST_F(DatDatabaseTest, ConcurrentFetchesSeeTheSameBytes) {
  ArchiveWriter w({.block_size = 128, .entries_per_node = 5});
  for (std::uint32_t id = 0; id < 200; ++id) w.add_file(id, pattern(id * 13, id), {.compressed = id % 2 == 1});
  auto db = open(w.build().bytes);
  ASSERT_TRUE(db.has_value()) << db.error().to_string();
  std::atomic<int> mismatches{0};
  auto fetch_all = [&] {
    for (int pass = 0; pass < 5; ++pass)
      for (std::uint32_t id = 0; id < 200; ++id) {
        auto got = db->get_file(id);
        if (!got || *got != pattern(id * 13, id)) ++mismatches;
      }
  };
  std::thread a(fetch_all), b(fetch_all);
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// The reader opens archives through any file system: the sample world written
// into memory reads as it does from the machine.
TEST_F(DatDatabaseTest, OpensArchivesThroughTheGivenFileSystem) {
  const dat_writer::SampleWorld world = dat_writer::build_sample_world({.seed = 5});
  common::RecordingFileSystem files("/w");
  ASSERT_TRUE(dat_writer::write_sample_world("world", world, files).has_value());
  for (const auto& [name, bytes] : {std::pair{"client_portal.dat", world.portal}, std::pair{"client_cell_1.dat", world.cell}}) {
    SCOPED_TRACE(name);
    auto in_memory = DatDatabase::open(std::filesystem::path("world") / name, files);
    ASSERT_TRUE(in_memory.has_value()) << in_memory.error().to_string();
    auto on_disk = open(bytes);
    ASSERT_TRUE(on_disk.has_value());
    EXPECT_EQ(in_memory->header(), on_disk->header());
    EXPECT_EQ(in_memory->file_length(), bytes.size());
    ASSERT_EQ(in_memory->sorted_entries(), on_disk->sorted_entries());
    ASSERT_GT(in_memory->entry_count(), 10u);
    for (const DatFileEntry& entry : on_disk->sorted_entries()) {
      auto got = in_memory->get_file(entry.id);
      ASSERT_TRUE(got.has_value()) << common::hex_id(entry.id);
      EXPECT_EQ(*got, on_disk->get_file(entry.id).value()) << common::hex_id(entry.id);
    }
  }
  expect_error(DatDatabase::open("world/none.dat", files), DatError::Kind::PathError,
               "Failed to open file at world/none.dat: No such file or directory");
  expect_error(DatDatabase::open("world/spawns", files), DatError::Kind::PathError,
               "Failed to open file at world/spawns: not a regular file");
}

}  // namespace
}  // namespace ravelin::dat
