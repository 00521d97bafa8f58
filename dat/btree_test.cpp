#include "dat/btree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "dat/archive_editor_load.h"
#include "dat/editor_test_support.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::dat {
namespace {

using test_support::Shape;
using test_support::shape_of;

void expect_btree(const DirectoryTree& tree, const std::map<std::uint32_t, std::uint32_t>& expected,
                  bool full_form) {
  const Shape s = shape_of(tree);
  ASSERT_TRUE(s.ordered);
  ASSERT_TRUE(s.within_61);
  ASSERT_TRUE(s.children_whole);
  if (full_form) {
    ASSERT_TRUE(s.filled);
    ASSERT_TRUE(s.one_depth);
  }
  ASSERT_EQ(s.entries, expected.size());
  ASSERT_EQ(tree.size(), expected.size());
  auto it = expected.begin();
  for (const std::uint32_t id : s.ids) {
    ASSERT_EQ(id, it->first);
    const DatFileEntry* e = tree.find(id);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->size, it->second) << id;
    ++it;
  }
}

DatFileEntry entry(std::uint32_t id, std::uint32_t size) {
  DatFileEntry e;
  e.id = id;
  e.size = size;
  return e;
}

// Every node reachable from the root, by index.
std::set<std::uint32_t> reachable(const DirectoryTree& tree) {
  std::set<std::uint32_t> out;
  std::vector<std::uint32_t> stack;
  if (tree.root() != DirectoryTree::kNone) stack.push_back(tree.root());
  while (!stack.empty()) {
    const std::uint32_t n = stack.back();
    stack.pop_back();
    out.insert(n);
    if (!tree.node(n).leaf())
      for (std::uint32_t i = 0; i <= tree.node(n).count; ++i) stack.push_back(tree.child(n, i));
  }
  return out;
}

std::set<std::uint32_t> disk_offsets(const DirectoryTree& tree) {
  std::set<std::uint32_t> out;
  for (const std::uint32_t n : reachable(tree)) out.insert(tree.node(n).disk_offset);
  return out;
}

// Gives the batch's nodes made-up offsets (as a commit would) and checks that
// the nodes the batch replaced are exactly the committed nodes it no longer
// reaches, each once, and that pending nodes come children first.
void commit_and_check(DirectoryTree& tree, const std::set<std::uint32_t>& before, std::uint32_t& next_offset) {
  std::set<std::uint32_t> written;
  for (const std::uint32_t n : tree.pending_nodes_post_order()) {
    if (!tree.node(n).leaf()) {
      for (std::uint32_t i = 0; i <= tree.node(n).count; ++i)
        ASSERT_NE(tree.node(tree.child(n, i)).disk_offset, 0u) << "a parent before its child";
    }
    tree.set_disk_offset(n, next_offset);
    written.insert(next_offset++);
  }
  const std::set<std::uint32_t> after = disk_offsets(tree);
  for (const std::uint32_t offset : written) ASSERT_TRUE(after.contains(offset));
  std::multiset<std::uint32_t> replaced(tree.replaced_offsets().begin(), tree.replaced_offsets().end());
  std::multiset<std::uint32_t> gone;
  for (const std::uint32_t offset : before)
    if (!after.contains(offset)) gone.insert(offset);
  ASSERT_EQ(replaced, gone);
  tree.commit_batch();
}

struct RandomCase {
  const char* name;
  std::uint32_t seed;
  int operations;
  std::uint32_t id_range;
  int remove_percent;
  int batch;  // operations per commit; every third batch is abandoned instead
};

class RandomEdits : public ::testing::TestWithParam<RandomCase> {};

TEST_P(RandomEdits, MatchAMapAndKeepTheBTreeForm) {
  const RandomCase& c = GetParam();
  std::mt19937 rng(c.seed);
  DirectoryTree tree;
  std::map<std::uint32_t, std::uint32_t> committed;
  std::map<std::uint32_t, std::uint32_t> expected;
  std::uint32_t next_offset = 1;
  std::set<std::uint32_t> before = disk_offsets(tree);
  int batches = 0;
  for (int op = 1; op <= c.operations; ++op) {
    const std::uint32_t id = rng() % c.id_range;
    const auto size = static_cast<std::uint32_t>(rng() % 1000);
    if (static_cast<int>(rng() % 100) < c.remove_percent) {
      const auto removed = tree.remove(id);
      ASSERT_EQ(removed.has_value(), expected.contains(id));
      if (removed) {
        ASSERT_EQ(removed->size, expected[id]);
      }
      expected.erase(id);
    } else {
      const auto replaced = tree.put(entry(id, size));
      ASSERT_EQ(replaced.has_value(), expected.contains(id));
      expected[id] = size;
    }
    if (op % 97 == 0) expect_btree(tree, expected, true);
    if (op % c.batch == 0) {
      if (++batches % 3 == 0) {
        tree.abandon_batch();
        expected = committed;
        expect_btree(tree, expected, true);
      } else {
        commit_and_check(tree, before, next_offset);
        committed = expected;
        before = disk_offsets(tree);
      }
    }
    if (HasFatalFailure()) return;
  }
  expect_btree(tree, expected, true);
}

INSTANTIATE_TEST_SUITE_P(
    Tree, RandomEdits,
    ::testing::Values(RandomCase{"grow", 1, 20000, 1u << 20, 10, 500},
                      RandomCase{"churn", 2, 30000, 4000, 45, 300},
                      RandomCase{"shrink_after_growth", 3, 20000, 3000, 50, 5},
                      RandomCase{"dense_ids", 4, 20000, 600, 40, 50},
                      RandomCase{"whole_id_range", 5, 10000, 0xFFFFFFFFu, 20, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tree, SplitsUpToTheRootAndMergesDownToOneLevel) {
  DirectoryTree tree;
  std::map<std::uint32_t, std::uint32_t> expected;
  std::uint32_t height = 1;
  for (std::uint32_t id = 0; id < 8000; ++id) {
    tree.put(entry(id * 7, id));
    expected[id * 7] = id;
    const Shape s = shape_of(tree);
    ASSERT_GE(s.height, height);
    if (s.height > height) {
      height = s.height;
      expect_btree(tree, expected, true);
    }
  }
  ASSERT_EQ(height, 3u) << "the root split twice";
  std::vector<std::uint32_t> ids;
  for (const auto& [id, size] : expected) ids.push_back(id);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  for (const std::uint32_t id : ids) {
    ASSERT_TRUE(tree.remove(id));
    expected.erase(id);
    const Shape s = shape_of(tree);
    if (s.height < height) {
      height = s.height;
      expect_btree(tree, expected, true);
    }
  }
  EXPECT_EQ(tree.root(), DirectoryTree::kNone);
  EXPECT_EQ(height, 0u);
  EXPECT_EQ(tree.size(), 0u);
}

TEST(Tree, RemoveOfAnAbsentIdChangesNothing) {
  DirectoryTree tree;
  for (std::uint32_t id = 0; id < 200; id += 2) tree.put(entry(id, 1));
  tree.commit_batch();
  EXPECT_FALSE(tree.remove(51));
  EXPECT_FALSE(tree.changed());
}

// A tree from the sample writer: nodes of a few entries, leaves at several
// depths. Loaded as the editor loads it, then edited against a map.
struct LessFullCase {
  std::uint32_t entries_per_node;
  std::uint32_t files;
  std::uint32_t seed;
};

class LessFullTree : public ::testing::TestWithParam<LessFullCase> {};

TEST_P(LessFullTree, IsEditedCorrectly) {
  const LessFullCase c = GetParam();
  dat_writer::ArchiveWriter writer({.block_size = 64, .entries_per_node = c.entries_per_node});
  std::map<std::uint32_t, std::uint32_t> expected;
  for (std::uint32_t i = 0; i < c.files; ++i) {
    const std::vector<std::uint8_t> body(i % 5 + 1, static_cast<std::uint8_t>(i));
    writer.add_file(i * 10, body);
    expected[i * 10] = static_cast<std::uint32_t>(body.size());
  }
  common::RecordingFileSystem fs;
  ASSERT_TRUE(writer.write("/a.dat", fs));
  auto file = fs.open_read_only("/a.dat");
  ASSERT_TRUE(file);
  auto loaded = load_archive(**file);
  ASSERT_TRUE(loaded) << loaded.error().finding;
  DirectoryTree& tree = loaded->tree;
  ASSERT_NO_FATAL_FAILURE(expect_btree(tree, expected, false));
  std::mt19937 rng(c.seed);
  for (int op = 0; op < 4000; ++op) {
    const std::uint32_t id = rng() % (c.files * 12);
    if (rng() % 2 == 0) {
      ASSERT_EQ(tree.remove(id).has_value(), expected.erase(id) == 1);
    } else {
      tree.put(entry(id, 77));
      expected[id] = 77;
    }
    if (op % 50 == 0) {
      ASSERT_NO_FATAL_FAILURE(expect_btree(tree, expected, false));
    }
  }
  ASSERT_NO_FATAL_FAILURE(expect_btree(tree, expected, false));
  // Emptied completely, it is an empty directory.
  for (const auto& [id, size] : std::map(expected)) ASSERT_TRUE(tree.remove(id));
  EXPECT_EQ(tree.root(), DirectoryTree::kNone);
}

INSTANTIATE_TEST_SUITE_P(Tree, LessFullTree,
                         ::testing::Values(LessFullCase{1, 300, 1}, LessFullCase{2, 500, 2}, LessFullCase{3, 1000, 3},
                                           LessFullCase{16, 3000, 4}, LessFullCase{61, 200, 5}));

}  // namespace
}  // namespace ravelin::dat
