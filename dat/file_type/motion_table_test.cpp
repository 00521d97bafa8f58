#include "ravelin/dat/file_type/motion_table.h"

#include <gtest/gtest.h>

#include "dat_writer/byte_writer.h"
#include "dat_writer/motion_table_encoder.h"
#include "test_support/prefix_check.h"

namespace ravelin::dat::file_type {
namespace {

using common::Reader;
using common::Vector3;
namespace t = ravelin::dat_writer;

common::ReadResult<MotionTable> decode(const std::vector<std::uint8_t>& bytes,
                                       std::uint64_t* end = nullptr) {
  Reader reader(bytes);
  auto result = MotionTable::read(reader);
  if (end) *end = reader.position();
  return result;
}

void patch_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

t::MotionDataDef data_with(std::vector<t::AnimRefDef> anims, std::uint8_t aux = 0) {
  t::MotionDataDef d;
  d.anims = std::move(anims);
  d.aux_byte = aux;
  return d;
}

t::MotionTableDef full_table() {
  t::MotionTableDef s;
  s.id = 0x09000ABC;
  s.default_stance = 0x003D;
  s.key_pairs = {{1, 2}, {3, 4}};
  auto walk = data_with({{0x03000001, -3, -1, 0xDEADBEEF}, {0x03000002, 5, 100, 0}}, 0x7F);
  walk.vector_1 = t::Vec3Def{1.0f, 2.0f, 3.0f};
  walk.alignment_fill = 0xFF;  // skipped bytes are never read
  s.motion_data_0 = {{0x003D0003, walk}, {0x41000003, t::motion_data_playing({0x03000003})}};
  auto turn = data_with({});
  turn.vector_2 = t::Vec3Def{-1.0f, 0.0f, 0.5f};
  s.motion_data_1 = {{0x003D000D, turn}};
  auto both = t::motion_data_playing({0x03000004});
  both.vector_1 = t::Vec3Def{4, 5, 6};
  both.vector_2 = t::Vec3Def{7, 8, 9};
  s.links = {{7, {{5, both}}}, {8, {{6, data_with({{0x03000005, 0, 2, 1}})}, {9, turn}}}};
  return s;
}

TEST(MotionTableRead, DecodesEveryFieldOfAFullEncoding) {
  const auto bytes = t::encode_motion_table(full_table());
  std::uint64_t end = 0;
  auto m = decode(bytes, &end);
  ASSERT_TRUE(m) << m.error().to_string();
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ(m->id, 0x09000ABCu);
  EXPECT_EQ(m->default_stance, 0x3Du);
  ASSERT_EQ(m->key_pairs.size(), 2u);
  EXPECT_EQ(*m->key_pairs.find(1), 2u);
  EXPECT_EQ(*m->key_pairs.find(3), 4u);

  ASSERT_EQ(m->motion_data_0.sorted_keys(), (std::vector<std::uint32_t>{0x003D0003, 0x41000003}));
  const MotionData& walk = *m->motion_data_0.find(0x003D0003);
  EXPECT_EQ(walk.anims, (std::vector<AnimRef>{{0x03000001, -3, -1, 0xDEADBEEF},
                                              {0x03000002, 5, 100, 0}}));
  EXPECT_EQ(walk.aux_byte, 0x7F);
  EXPECT_EQ(walk.flags, 0x01);
  EXPECT_EQ(walk.vector_1, (Vector3{1, 2, 3}));
  EXPECT_EQ(walk.vector_2, std::nullopt);
  EXPECT_EQ(*m->motion_data_0.find(0x41000003),
            (MotionData{{{0x03000003, 0, -1, 0}}, 0, 0, std::nullopt, std::nullopt}));

  ASSERT_EQ(m->motion_data_1.size(), 1u);
  EXPECT_EQ(*m->motion_data_1.find(0x003D000D),
            (MotionData{{}, 0, 0x02, std::nullopt, Vector3{-1, 0, 0.5f}}));

  ASSERT_EQ(m->links.sorted_keys(), (std::vector<std::uint32_t>{7, 8}));
  EXPECT_EQ(*m->links.find(7)->find(5),
            (MotionData{{{0x03000004, 0, -1, 0}}, 0, 0x03, Vector3{4, 5, 6}, Vector3{7, 8, 9}}));
  const MotionDataMap& eight = *m->links.find(8);
  ASSERT_EQ(eight.sorted_keys(), (std::vector<std::uint32_t>{6, 9}));
  EXPECT_EQ(eight.find(6)->anims, (std::vector<AnimRef>{{0x03000005, 0, 2, 1}}));
  EXPECT_EQ(eight.find(9)->flags, 0x02);
}

TEST(MotionTableRead, EmptyTableIsSixWords) {
  const auto bytes = t::encode_motion_table(t::MotionTableDef{});
  ASSERT_EQ(bytes.size(), 24u);
  auto m = decode(bytes);
  ASSERT_TRUE(m) << m.error().to_string();
  EXPECT_EQ(m->id, 0x09000001u);
  EXPECT_TRUE(m->key_pairs.empty());
  EXPECT_TRUE(m->motion_data_0.empty());
  EXPECT_TRUE(m->motion_data_1.empty());
  EXPECT_TRUE(m->links.empty());
}

TEST(MotionDataMapParse, EntrySizeAndStoredFlags) {
  struct Case {
    const char* name;
    std::size_t anims;
    bool v1, v2;
    std::uint8_t extra_flags;
    std::size_t entry_size;
    std::uint8_t stored_flags;
  };
  const Case cases[] = {
      {"bare", 0, false, false, 0, 8, 0},
      {"two anims", 2, false, false, 0, 8 + 32, 0},
      {"vector 1", 1, true, false, 0, 8 + 16 + 12, 1},
      {"vector 2", 0, false, true, 0, 8 + 12, 2},
      {"flags 0x07", 0, true, true, 0x04, 8 + 24, 3},
      {"flags 0x04", 3, false, false, 0x04, 8 + 48, 0},
      {"flags 0xFC", 0, false, false, 0xFC, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t::MotionTableDef def;
    t::MotionDataDef d;
    for (std::size_t i = 0; i < c.anims; ++i)
      d.anims.push_back({static_cast<std::uint32_t>(0x03000000 + i), 1, 2, 3});
    if (c.v1) d.vector_1 = t::Vec3Def{1, 1, 1};
    if (c.v2) d.vector_2 = t::Vec3Def{2, 2, 2};
    d.extra_flags = c.extra_flags;
    def.motion_data_0 = {{0x10, d}};
    const auto bytes = t::encode_motion_table(def);
    // The map starts at 12 and its only entry at 16, a 4-aligned start.
    ASSERT_EQ(bytes.size(), 24 + c.entry_size);
    Reader reader(bytes, 12);
    auto map = parse_motion_data_map(reader);
    ASSERT_TRUE(map) << map.error().to_string();
    EXPECT_EQ(reader.position(), 16 + c.entry_size);
    const MotionData& data = *map->find(0x10);
    EXPECT_EQ(data.anims.size(), c.anims);
    EXPECT_EQ(data.flags, c.stored_flags);
    EXPECT_EQ(data.vector_1.has_value(), c.v1);
    EXPECT_EQ(data.vector_2.has_value(), c.v2);
  }
}

TEST(MotionDataMapParse, AlignmentCountsFromTheFirstByteOfTheData) {
  // The map at offset 1: count 1..4, key 5..8, header 9..11, so the anim
  // follows at 12 with nothing skipped.
  t::ByteWriter out;
  out.u8(0xEE).u32(1).u32(0x44).u8(1).u8(0x22).u8(0).u32(0x03000009).i32(-7).i32(9).u32(5);
  Reader reader(out.data(), 1);
  auto map = parse_motion_data_map(reader);
  ASSERT_TRUE(map) << map.error().to_string();
  EXPECT_EQ(reader.position(), out.size());
  EXPECT_EQ(*map->find(0x44),
            (MotionData{{{0x03000009, -7, 9, 5}}, 0x22, 0, std::nullopt, std::nullopt}));
}

TEST(MotionTableRead, RepeatedKeysKeepTheLaterValue) {
  t::MotionTableDef def;
  def.key_pairs = {{1, 10}, {1, 11}};
  def.motion_data_0 = {{3, data_with({{1, 0, 0, 0}})}, {3, data_with({{2, 0, 0, 0}})}};
  def.links = {{7, {{1, data_with({})}, {2, data_with({})}}}, {7, {{3, data_with({}, 9)}}}};
  auto m = decode(t::encode_motion_table(def));
  ASSERT_TRUE(m) << m.error().to_string();
  EXPECT_EQ(*m->key_pairs.find(1), 11u);
  ASSERT_EQ(m->motion_data_0.size(), 1u);
  EXPECT_EQ(m->motion_data_0.find(3)->anims[0].anim_id, 2u);
  ASSERT_EQ(m->links.size(), 1u);
  EXPECT_EQ(m->links.find(7)->sorted_keys(), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(m->links.find(7)->find(3)->aux_byte, 9);
}

TEST(MotionTableRead, DataEndingAfterTheLastHeaderBytes) {
  struct Case {
    const char* name;
    bool in_links;    // the entry is the last item of the whole table
    std::size_t anims;
    bool decodes;
  };
  const Case cases[] = {{"last entry of the table, nothing to read", true, 0, true},
                        {"last entry of the table, one anim", true, 1, false},
                        {"link count still to come", false, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t::MotionTableDef def;
    t::MotionDataDef d;
    d.anims.resize(c.anims);
    if (c.in_links) {
      def.links = {{1, {{2, d}}}};
    } else {
      def.motion_data_1 = {{2, d}};
    }
    auto bytes = t::encode_motion_table(def);
    // Cut just after the three header bytes of that entry.
    const std::size_t header_end = c.in_links ? 24 + 4 + 4 + 4 + 3 : 16 + 4 + 4 + 3;
    bytes.resize(header_end);
    std::uint64_t end = 0;
    auto m = decode(bytes, &end);
    EXPECT_EQ(m.has_value(), c.decodes);
    if (c.decodes) {
      EXPECT_EQ(end, header_end + 1);  // the alignment moved past the end
      EXPECT_TRUE(m->links.find(1)->find(2)->anims.empty());
    } else {
      EXPECT_EQ(m.error().to_string(), "failed to fill whole buffer");
    }
  }
}

TEST(MotionTableRead, FailuresAreBareReadErrors) {
  t::MotionTableDef def;
  t::MotionDataDef d;
  d.vector_1 = t::Vec3Def{1, 2, 3};
  def.motion_data_0 = {{1, d}};
  auto bytes = t::encode_motion_table(def);
  // Cut inside the vector's z, before motion_data_1 and the link count.
  bytes.resize(12 + 4 + 8 + 8 + 2);
  auto m = decode(bytes);
  ASSERT_FALSE(m);
  ASSERT_EQ(m.error().frames().size(), 1u);
  EXPECT_EQ(m.error().frames()[0].message, "While parsing field 'z' in Vector3");

  EXPECT_EQ(test_support::first_prefix_not_failing_cleanly(t::encode_motion_table(full_table()),
                                                MotionTable::read),
            std::nullopt);
}

TEST(MotionTableRead, HugeCountsFailWithTheShortRead) {
  t::MotionTableDef def;
  def.links = {{1, {}}};
  // id, stance, then the counts: pairs 8, maps 12 and 16, links 20, inner map 28.
  const auto base = t::encode_motion_table(def);
  ASSERT_EQ(base.size(), 32u);
  for (std::size_t offset : {8u, 12u, 16u, 20u, 28u}) {
    SCOPED_TRACE(offset);
    auto bytes = base;
    patch_u32(bytes, offset, 0xFFFFFFFF);
    auto m = decode(bytes);
    ASSERT_FALSE(m);
    EXPECT_EQ(m.error().message(), "failed to fill whole buffer");
  }
  // The largest anim count a byte can hold, with no anims behind it.
  def.links = {};
  def.motion_data_0 = {{1, data_with({})}};
  auto bytes = t::encode_motion_table(def);
  bytes[12 + 4 + 4] = 0xFF;
  EXPECT_EQ(decode(bytes).error().message(), "failed to fill whole buffer");
}

}  // namespace
}  // namespace ravelin::dat::file_type
