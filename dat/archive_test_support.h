// Helpers of the check, block map and compact tests: archives from the
// writer, and patches that break them in one named place.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "dat_writer/archive_writer.h"
#include "ravelin/common/recording_file_system.h"

namespace ravelin::dat::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes pattern_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng() % 7);  // compressible
  return out;
}

inline std::uint32_t u32_at(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// File offset of byte `rel` of node `node` (depth-first number) of a layout.
// Fields are 4-byte aligned and payloads of a 4-multiple block size are too,
// so a field never straddles two blocks.
inline std::size_t node_byte(const dat_writer::ArchiveLayout& layout, std::size_t node, std::size_t rel) {
  const std::size_t payload = layout.block_size - 4;
  return layout.node_blocks[node][rel / payload] + 4 + rel % payload;
}

struct EntrySlot {
  std::size_t node;
  std::size_t rel;  // the slot's first byte within the node
};

// Where the entry for `id` is stored (the first such slot, in visiting order).
inline std::optional<EntrySlot> find_entry(const dat_writer::ArchiveLayout& layout, std::uint32_t id) {
  for (std::size_t n = 0; n < layout.node_blocks.size(); ++n) {
    const std::uint32_t count = u32_at(layout.bytes, node_byte(layout, n, 248));
    for (std::uint32_t i = 0; i < count && i < 61; ++i) {
      const std::size_t rel = 252 + 24 * i;
      if (u32_at(layout.bytes, node_byte(layout, n, rel + 4)) == id) return EntrySlot{n, rel};
    }
  }
  return std::nullopt;
}

// Entry fields by their offset in the slot.
inline constexpr std::size_t kFlagsField = 0, kOffsetField = 8, kSizeField = 12;

inline void patch_entry(dat_writer::ArchiveLayout& layout, std::uint32_t id, std::size_t field, std::uint32_t value) {
  const auto slot = find_entry(layout, id);
  if (!slot) std::abort();
  dat_writer::patch_u32(layout.bytes, node_byte(layout, slot->node, slot->rel + field), value);
}

inline void patch_node(dat_writer::ArchiveLayout& layout, std::size_t node, std::size_t rel, std::uint32_t value) {
  dat_writer::patch_u32(layout.bytes, node_byte(layout, node, rel), value);
}

// Header fields by their file offset.
inline constexpr std::size_t kFileSizeAt = 0x148, kFreeHeadAt = 0x154, kFreeTailAt = 0x158, kFreeCountAt = 0x15C;

// Chains `blocks` into a free list (each block's link to the next, the last 0)
// and points the header at it.
inline void make_free_list(Bytes& bytes, const std::vector<std::uint32_t>& blocks) {
  for (std::size_t i = 0; i < blocks.size(); ++i)
    dat_writer::patch_u32(bytes, blocks[i], i + 1 < blocks.size() ? blocks[i + 1] : 0);
  dat_writer::patch_u32(bytes, kFreeHeadAt, blocks.empty() ? 0 : blocks.front());
  dat_writer::patch_u32(bytes, kFreeTailAt, blocks.empty() ? 0 : blocks.back());
  dat_writer::patch_u32(bytes, kFreeCountAt, static_cast<std::uint32_t>(blocks.size()));
}

}  // namespace ravelin::dat::testing
