#include "dat/block_map.h"

#include <gtest/gtest.h>

#include "dat/archive_test_support.h"

namespace ravelin::dat {
namespace {

using dat_writer::ArchiveLayout;
using dat_writer::ArchiveWriter;
using dat_writer::ChainLayout;
using testing::Bytes;

constexpr std::uint32_t kBlock = 64;

DatResult<BlockMap> map_of(const Bytes& bytes) {
  common::RecordingFileSystem fs("/w");
  fs.put_file("/w/a.dat", bytes);
  auto file = common::File::open_read_only("/w/a.dat", fs);
  EXPECT_TRUE(file.has_value());
  const std::span<const std::uint8_t> header_bytes = std::span(bytes).subspan(kHeaderOffset, kHeaderSize);
  common::Reader reader(header_bytes);
  auto header = DatHeader::read(reader);
  EXPECT_TRUE(header.has_value());
  return map_blocks(*file, *header, bytes.size());
}

// Three files, the middle one scattered (two unused blocks between its three),
// and the first unused block put on the free list.
ArchiveLayout three_files() {
  ArchiveWriter w({.block_size = kBlock});
  w.add_file(0x10, testing::pattern_bytes(150, 1));
  w.add_file(0x20, testing::pattern_bytes(150, 2), {.layout = ChainLayout::Scattered});
  w.add_file(0x30, testing::pattern_bytes(40, 3));
  ArchiveLayout a = w.build();
  testing::make_free_list(a.bytes, {a.file_blocks[1][0] + kBlock});
  return a;
}

TEST(BlockMap, MarksEveryGridBlockWithItsUser) {
  const ArchiveLayout a = three_files();
  auto map = map_of(a.bytes);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->first_block(), 0x1C0u);  // 0x190 rounded up to 64
  EXPECT_EQ(map->block_count(), (a.bytes.size() - 0x1C0) / kBlock);
  EXPECT_FALSE(map->off_grid());
  EXPECT_FALSE(map->has_faults());
  auto index_of = [&](std::uint32_t offset) { return (offset - map->first_block()) / kBlock; };
  for (const std::uint32_t b : a.node_blocks[0]) {
    EXPECT_EQ(map->use(index_of(b)), BlockUse::Node);
    EXPECT_EQ(map->owner(index_of(b)), a.root_offset);
  }
  const std::uint32_t ids[] = {0x10, 0x20, 0x30};
  for (std::size_t f = 0; f < 3; ++f)
    for (const std::uint32_t b : a.file_blocks[f]) {
      EXPECT_EQ(map->use(index_of(b)), BlockUse::Body) << f;
      EXPECT_EQ(map->owner(index_of(b)), ids[f]) << f;
    }
  const std::uint32_t free_block = a.file_blocks[1][0] + kBlock;
  const std::uint32_t leaked_block = a.file_blocks[1][1] + kBlock;
  EXPECT_EQ(map->use(index_of(free_block)), BlockUse::Free);
  EXPECT_EQ(map->use(index_of(leaked_block)), BlockUse::Unused);
  EXPECT_EQ(map->leaked(), std::vector<std::uint32_t>{leaked_block});
  EXPECT_EQ(map->leaked_count(), 1u);
  EXPECT_EQ(map->free_blocks(), 1u);
  EXPECT_EQ(map->tree().entries, 3u);
}

// Bytes past the last block: a cut-short block at the end is leaked as well,
// counted by the bytes the file holds of it.
TEST(BlockMap, LeakedBlocksReachTheFilesEnd) {
  ArchiveLayout a = three_files();
  const auto end = static_cast<std::uint32_t>(a.bytes.size());
  a.bytes.resize(a.bytes.size() + kBlock + 20, 0xEE);
  auto map = map_of(a.bytes);
  ASSERT_TRUE(map.has_value());
  const std::vector<std::uint32_t> leaked = map->leaked();
  ASSERT_EQ(leaked.size(), 3u);
  EXPECT_EQ(leaked[1], end);
  EXPECT_EQ(leaked[2], end + kBlock);
  EXPECT_EQ(map->leaked_bytes(), kBlock + kBlock + 20u);
}

// One body moved off the grid: mapped by the bytes it covers, which are not
// leaked, and the whole map says it is off-grid (the editor then never reclaims).
TEST(BlockMap, ABodyOffTheGridMakesTheMapOffGrid) {
  ArchiveLayout a = three_files();
  const std::size_t at = a.bytes.size() + 10;
  a.bytes.resize(at + kBlock, 0);
  const Bytes body = testing::pattern_bytes(40, 3);
  std::copy(body.begin(), body.end(), a.bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
  testing::patch_entry(a, 0x30, testing::kOffsetField, static_cast<std::uint32_t>(at));
  auto map = map_of(a.bytes);
  ASSERT_TRUE(map.has_value());
  EXPECT_TRUE(map->off_grid());
  EXPECT_FALSE(map->has_faults());
  // The old block of 0x30 and the unused one between 0x20's; the two blocks
  // the moved body straddles are used.
  EXPECT_EQ(map->leaked(), (std::vector<std::uint32_t>{a.file_blocks[1][1] + kBlock, a.file_blocks[2][0]}));
}

TEST(BlockMap, GridStartsAtTheFirstWholeBlockPastTheHeader) {
  struct Case {
    std::uint32_t block_size;
    std::uint64_t first;
  };
  for (const Case c : {Case{5, 0x190}, Case{16, 0x190}, Case{64, 0x1C0}, Case{256, 0x200}, Case{400, 400},
                       Case{1024, 1024}, Case{0x80000000u, 0x80000000u}})
    EXPECT_EQ(first_grid_offset(c.block_size), c.first) << c.block_size;
}

}  // namespace
}  // namespace ravelin::dat
