#include "dat_writer/archive_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace ravelin::dat_writer {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Links in the bytes follow the recorded blocks, and each layout places them as named.
TEST(ArchiveWriter, ChainLayoutsPlaceAndLinkBlocks) {
  constexpr std::uint32_t kBlock = 64;
  const Bytes body = random_bytes(400, 3);  // 7 payloads of 60 bytes
  for (const ChainLayout layout :
       {ChainLayout::Contiguous, ChainLayout::Scattered, ChainLayout::Reversed, ChainLayout::OversizedLast}) {
    SCOPED_TRACE(static_cast<int>(layout));
    ArchiveWriter w({.block_size = kBlock});
    w.add_file(5, body, {.layout = layout});
    const ArchiveLayout a = w.build();
    const auto& blocks = a.file_blocks[0];
    ASSERT_FALSE(blocks.empty());
    for (std::size_t j = 0; j < blocks.size(); ++j)
      EXPECT_EQ(u32_at(a.bytes, blocks[j]), j + 1 < blocks.size() ? blocks[j + 1] : 0u) << "block " << j;
    switch (layout) {
      case ChainLayout::Contiguous:
        ASSERT_EQ(blocks.size(), 7u);
        for (std::size_t j = 1; j < blocks.size(); ++j) EXPECT_EQ(blocks[j], blocks[j - 1] + kBlock);
        break;
      case ChainLayout::Scattered:
        ASSERT_EQ(blocks.size(), 7u);
        for (std::size_t j = 1; j < blocks.size(); ++j) {
          EXPECT_EQ(blocks[j], blocks[j - 1] + 2 * kBlock);
          EXPECT_EQ(a.bytes[blocks[j - 1] + kBlock], 0xCD);  // gap block
        }
        break;
      case ChainLayout::Reversed:
        ASSERT_EQ(blocks.size(), 7u);
        for (std::size_t j = 1; j < blocks.size(); ++j) EXPECT_EQ(blocks[j] + kBlock, blocks[j - 1]);
        break;
      case ChainLayout::OversizedLast:
        ASSERT_EQ(blocks.size(), 2u);
        // The second block holds the remaining 340 bytes in one run.
        EXPECT_EQ(Bytes(a.bytes.begin() + blocks[1] + 4, a.bytes.begin() + blocks[1] + 4 + 340),
                  Bytes(body.begin() + 60, body.end()));
        EXPECT_GE(a.bytes.size(), blocks[1] + 4 + 340u);
        break;
    }
    // Header: block size, file size and root as laid out.
    EXPECT_EQ(u32_at(a.bytes, 0x144), kBlock);
    EXPECT_EQ(u32_at(a.bytes, 0x148), a.bytes.size());
    EXPECT_EQ(u32_at(a.bytes, 0x160), a.root_offset);
    EXPECT_EQ(a.root_offset, a.node_blocks[0][0]);
  }
}

// The generated tree keeps within the node limit and fills its leaves, so a big
// archive does not spend a node on every few entries.
TEST(ArchiveWriter, GeneratedTreeRespectsNodeLimitAndStaysCompact) {
  struct Shape {
    std::uint32_t files;
    std::uint32_t per_node;
  };
  for (const Shape s : {Shape{1, 61}, Shape{61, 61}, Shape{62, 61}, Shape{1000, 3}, Shape{5000, 61}, Shape{40, 1}}) {
    SCOPED_TRACE(std::to_string(s.files) + " files, " + std::to_string(s.per_node) + " per node");
    ArchiveWriter w({.block_size = 4096, .entries_per_node = s.per_node});
    for (std::uint32_t i = 0; i < s.files; ++i) w.add_file(s.files - i, Bytes{1});
    const ArchiveLayout a = w.build();
    std::uint64_t entries = 0;
    std::vector<std::uint32_t> ids;
    for (const auto& node : a.node_blocks) {
      // One 4096-byte block holds a whole node.
      const std::uint32_t count = u32_at(a.bytes, node[0] + 4 + 248);
      EXPECT_LE(count, s.per_node);
      entries += count;
      for (std::uint32_t e = 0; e < count; ++e) ids.push_back(u32_at(a.bytes, node[0] + 4 + 252 + 24 * e + 4));
      const bool internal = u32_at(a.bytes, node[0] + 4) != 0;
      // An internal node's children sit in branches 0..count only.
      for (std::uint32_t b = count + 1; internal && b < 62; ++b) EXPECT_EQ(u32_at(a.bytes, node[0] + 4 + 4 * b), 0u);
    }
    EXPECT_EQ(entries, s.files);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    const std::uint64_t minimum_nodes = (s.files + s.per_node - 1) / s.per_node;
    EXPECT_LE(a.node_blocks.size(), minimum_nodes * 2 + 1);
  }
}

TEST(ArchiveWriter, RepeatedIdKeepsTheLastAddedAndEmptyArchiveHasNoRoot) {
  ArchiveWriter w({.block_size = 4096});  // the whole node in its first block
  w.add_file(3, Bytes{1});
  const FileHandle last = w.add_file(3, Bytes{2, 2});
  const ArchiveLayout a = w.build();
  ASSERT_EQ(a.node_blocks.size(), 1u);
  EXPECT_EQ(u32_at(a.bytes, a.root_offset + 4 + 248), 1u);
  EXPECT_EQ(u32_at(a.bytes, a.root_offset + 4 + 252 + 8), a.file_blocks[last][0]);
  EXPECT_EQ(u32_at(a.bytes, a.root_offset + 4 + 252 + 12), 2u);

  const ArchiveLayout empty = ArchiveWriter().build();
  EXPECT_EQ(u32_at(empty.bytes, 0x160), 0u);
  EXPECT_TRUE(empty.node_blocks.empty());
}

}  // namespace
}  // namespace ravelin::dat_writer
