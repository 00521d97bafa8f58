#include "ravelin/dat/file_type/region.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "dat_writer/byte_writer.h"
#include "dat_writer/region_encoder.h"

namespace ravelin::dat::file_type {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace t = ravelin::dat_writer;

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

std::uint32_t word_at(const Bytes& b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

void expect_short_read(const common::ReadError& error) {
  EXPECT_EQ(error.kind(), common::ReadError::Kind::Io);
  EXPECT_TRUE(error.frames().empty());
  EXPECT_EQ(error.to_string(), "failed to fill whole buffer");
}

// The decoded form of the encoder's sample region, written out by hand.
TEST(RegionUnpack, SampleRegionDecodesEveryPart) {
  const Bytes file = t::encode_region(t::sample_region_def());
  common::Reader reader(file);
  auto region = Region::unpack(reader);
  ASSERT_TRUE(region) << region.error().to_string();
  EXPECT_EQ(reader.position(), file.size());

  EXPECT_EQ(region->id, 0x13000000u);
  EXPECT_EQ(region->name, "Sample Isle");
  EXPECT_EQ(region->region_words[0], 0x100u);
  EXPECT_EQ(region->region_words[7], 0x107u);
  EXPECT_EQ(region->region_table[0], 0u);
  EXPECT_EQ(region->region_table[255], 765u);
  EXPECT_EQ(region->section_mask, 0x213u);
  EXPECT_EQ(region->game_time.time_value, 7620.0);
  ASSERT_EQ(region->game_time.times_of_day.size(), 3u);
  EXPECT_EQ(region->game_time.seasons.back(), (Season{90, "Summer"}));

  ASSERT_TRUE(region->sky);
  EXPECT_EQ(region->sky->sky_value_1, 0.25);
  EXPECT_EQ(region->sky->sky_value_2, 0.75);
  ASSERT_EQ(region->sky->day_groups.size(), 3u);
  const DayGroup& clear = region->sky->day_groups[0];
  EXPECT_EQ(clear.chance, 0.5f);
  EXPECT_EQ(clear.name, "Clear");
  ASSERT_EQ(clear.sky_objects.size(), 2u);
  EXPECT_EQ(clear.sky_objects[0], (SkyObject{0.0f, 1.0f, 1, 2, 3, 4, 0x02000714, 0x330007A1, 8}));
  EXPECT_EQ(clear.sky_objects[1], (SkyObject{0.25f, 0.75f, 0, 0, 0, 0, 0x01000A00, 0x330007A2, 0}));
  ASSERT_EQ(clear.sky_times.size(), 1u);
  EXPECT_EQ(clear.sky_times[0].time_entries,
            (std::vector<SkyTimeEntry>{{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
  EXPECT_EQ(region->sky->day_groups[1].name, "Storm");
  EXPECT_EQ(region->sky->day_groups[1].sky_objects,
            (std::vector<SkyObject>{{0.5f, 1.0f, 0, 0, 0, 0, 0x02000715, 0, 0}}));
  EXPECT_EQ(region->sky->day_groups[2].name, "Overcast");
  EXPECT_TRUE(region->sky->day_groups[2].sky_objects.empty());

  ASSERT_TRUE(region->sound);
  ASSERT_EQ(region->sound->stb_descs.size(), 2u);
  EXPECT_EQ(region->sound->stb_descs[0],
            (AmbientSTBDesc{0x20000001, {{1, 0.8f, 0.0f, 1.0f, 2.0f}, {2, 0.5f, 0.25f, 3.0f, 6.0f}}}));
  EXPECT_EQ(region->sound->stb_descs[1], (AmbientSTBDesc{0x20000002, {{3, 1.0f, 1.0f, 0.5f, 0.5f}}}));

  ASSERT_TRUE(region->scene);
  EXPECT_EQ(region->scene->scene_types,
            (std::vector<SceneType>{{0, {0x120000A1}}, {1, {}}, {-1, {0x120000A2, 0x120000A3}}}));

  const TerrainDesc& terrain = region->terrain;
  EXPECT_EQ(terrain.terrain_types,
            (std::vector<TerrainType>{{"Grassland", 0x11, {0, 1, 2}}, {"Forest", 0x22, {1, 0}}}));
  EXPECT_EQ(terrain.surface_word_1, 0xAAAA0001u);
  EXPECT_EQ(terrain.surface_word_2, 0xAAAA0002u);
  EXPECT_EQ(terrain.pair_list_1, (std::vector<WordPair>{{1, 2}}));
  EXPECT_TRUE(terrain.pair_list_2.empty());
  EXPECT_EQ(terrain.pair_list_3, (std::vector<WordPair>{{3, 4}, {5, 6}}));
  ASSERT_EQ(terrain.surface_entries.size(), 1u);
  EXPECT_EQ(terrain.surface_entries[0][10], 11u);

  ASSERT_TRUE(region->misc);
  EXPECT_EQ(*region->misc, (RegionMisc{0x51, 0x52, 0x53, 0x54, 0x55, 0x56}));
}

// The name at 12: its text starts at 14, region_words at the next multiple of 4.
TEST(RegionUnpack, RegionWordsFollowTheNameAtTheNextMultipleOfFour) {
  struct Case {
    std::string name;
    std::size_t words_at;
  } cases[] = {
      {"", 16}, {"ab", 16}, {"abc", 20}, {"abcde", 20}, {"abcdef", 20}, {"abcdefg", 24},
  };
  for (const auto& c : cases) {
    t::RegionDef def;
    def.name = c.name;
    def.region_words = {0xC0DE0001, 2, 3, 4, 5, 6, 7, 0xC0DE0008};
    def.region_table[0] = 0xFEED0000;
    const Bytes file = t::encode_region(def);
    ASSERT_EQ(word_at(file, c.words_at), 0xC0DE0001u) << c.name;

    common::Reader reader(file);
    auto region = Region::unpack(reader);
    ASSERT_TRUE(region) << c.name;
    EXPECT_EQ(region->name, c.name);
    EXPECT_EQ(region->region_words, def.region_words) << c.name;
    EXPECT_EQ(region->region_table[0], 0xFEED0000u) << c.name;
    EXPECT_EQ(region->game_time.name, "Calendar") << c.name;
  }
}

TEST(ReadAlignedName, SkipsToTheNextMultipleOfFourCountedFromTheDataStart) {
  struct Case {
    std::size_t start;
    std::string name;
    std::uint64_t end;
  } cases[] = {
      {12, "abcde", 20},  // text 14..18, one byte skipped
      {12, "ab", 16},     // already on a multiple of 4
      {0, "", 4},
      {1, "x", 4},
      {3, "", 8},         // prefix 3..4, position 5 rounds up to 8
      {2, "abcd", 8},
  };
  for (const auto& c : cases) {
    t::ByteWriter w;
    w.zeros(c.start).pstring16(c.name).zeros(8);
    const Bytes data = w.take();
    common::Reader reader(data, c.start);
    auto name = read_aligned_name(reader);
    ASSERT_TRUE(name) << c.start << " " << c.name;
    EXPECT_EQ(*name, c.name);
    EXPECT_EQ(reader.position(), c.end) << c.start << " " << c.name;
  }
}

// Which parts are read follows the mask, in file order sky, sound, scene,
// terrain, misc; every part carries distinct values, so a wrong order garbles.
TEST(RegionUnpack, SectionMaskSelectsThePartsInFileOrder) {
  const t::RegionDef sample = t::sample_region_def();
  struct Case {
    bool sky, sound, scene, misc;
    std::uint32_t extra_bits;
    std::uint32_t mask;
  } cases[] = {
      {false, false, false, false, 0, 0x000},
      {true, true, true, true, 0, 0x213},
      {true, false, false, false, 0, 0x010},
      {false, true, true, false, 0, 0x003},
      {false, true, false, false, 0, 0x001},
      {false, false, true, true, 0, 0x202},
      {false, false, false, false, 0xFFFFFDEC, 0xFFFFFDEC},  // only unknown bits
      {true, false, true, false, 0x1C0, 0x1D2},
  };
  for (const auto& c : cases) {
    t::RegionDef def = sample;
    if (!c.sky) def.sky.reset();
    if (!c.sound) def.sound.reset();
    if (!c.scene) def.scene.reset();
    if (!c.misc) def.misc.reset();
    def.extra_mask_bits = c.extra_bits;
    ASSERT_EQ(t::region_section_mask(def), c.mask);
    const Bytes file = t::encode_region(def);

    common::Reader reader(file);
    auto region = Region::unpack(reader);
    ASSERT_TRUE(region) << std::hex << c.mask;
    EXPECT_EQ(reader.position(), file.size()) << std::hex << c.mask;
    EXPECT_EQ(region->section_mask, c.mask);
    EXPECT_EQ(region->sky.has_value(), c.sky) << std::hex << c.mask;
    EXPECT_EQ(region->sound.has_value(), c.sound) << std::hex << c.mask;
    EXPECT_EQ(region->scene.has_value(), c.scene) << std::hex << c.mask;
    EXPECT_EQ(region->misc.has_value(), c.misc) << std::hex << c.mask;
    if (c.sky) {
      EXPECT_EQ(region->sky->day_groups.back().name, "Overcast");
    }
    if (c.sound) {
      EXPECT_EQ(region->sound->stb_descs.back().stb_id, 0x20000002u);
    }
    if (c.scene) {
      EXPECT_EQ(region->scene->scene_types.back().stb_index, -1);
    }
    EXPECT_EQ(region->terrain.terrain_types.back().name, "Forest");
    EXPECT_EQ(region->terrain.surface_entries.size(), 1u);
    if (c.misc) {
      EXPECT_EQ(region->misc->misc_word_6, 0x56u);
    }
  }
}

TEST(DayGroupUnpack, ChanceComesBeforeTheName) {
  // Chance 0..3, name prefix 4..5, text 6..8, three skipped bytes, two counts.
  t::ByteWriter exact;
  exact.f32(0.375f).pstring16("Fog").u8(0xEE).u8(0xEE).u8(0xEE).u32(0).u32(0);
  const Bytes data = exact.take();
  common::Reader reader(data);
  auto group = DayGroup::unpack(reader);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->chance, 0.375f);
  EXPECT_EQ(group->name, "Fog");
  EXPECT_TRUE(group->sky_objects.empty());
  EXPECT_TRUE(group->sky_times.empty());
  EXPECT_EQ(reader.position(), data.size());
}

// Where a sky description ends, from each start alignment.
TEST(SkyDescUnpack, SizesAndAlignmentFollowTheStartPosition) {
  t::SkyDescDef empty;
  t::SkyDescDef one_object;
  one_object.day_groups = {{0.5f, "Dawn", {{0.1f, 0.2f, {}, 0x02000001, 0x33000001, 0}}, {}}};
  t::SkyDescDef one_time;
  one_time.day_groups = {{1.0f, "Al", {}, {{{}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}}}}};
  struct Case {
    const char* label;
    const t::SkyDescDef* def;
    std::size_t start;
    std::size_t consumed;
  } cases[] = {
      {"empty", &empty, 0, 20},
      {"empty", &empty, 4, 20},
      {"empty", &empty, 1, 23},  // doubles end at 17, skip to 20, count to 24
      {"empty", &empty, 3, 21},
      // 20 + chance 4 + (2 + 4 name) rounded to 8 + count 4 + object 36 + count 4
      {"one object", &one_object, 0, 20 + 4 + 8 + 4 + 36 + 4},
      // 20 + 4 + (2 + 2) + 4 + count 4 + 44 + 4 + 2 * 24
      {"one time", &one_time, 0, 20 + 4 + 4 + 4 + 4 + 44 + 4 + 48},
      {"one time", &one_time, 2, 16 + 2 + 4 + 4 + 4 + 4 + 4 + 44 + 4 + 48},
  };
  for (const auto& c : cases) {
    const Bytes data = t::encode_sky_desc(*c.def, c.start);
    ASSERT_EQ(data.size(), c.start + c.consumed) << c.label << " at " << c.start;
    common::Reader reader(data, c.start);
    auto sky = SkyDesc::unpack(reader);
    ASSERT_TRUE(sky) << c.label << " at " << c.start;
    EXPECT_EQ(reader.position(), data.size()) << c.label << " at " << c.start;
    EXPECT_EQ(sky->day_groups.size(), c.def->day_groups.size());
  }
}

// With an unaligned start the skips move inside the description; every field
// must still come out right.
TEST(SkyDescUnpack, FullDescriptionDecodesFromEveryStartAlignment) {
  const t::SkyDescDef def = *t::sample_region_def().sky;
  for (std::size_t start = 0; start < 8; ++start) {
    const Bytes data = t::encode_sky_desc(def, start);
    common::Reader reader(data, start);
    auto sky = SkyDesc::unpack(reader);
    ASSERT_TRUE(sky) << start;
    EXPECT_EQ(reader.position(), data.size()) << start;
    ASSERT_EQ(sky->day_groups.size(), 3u);
    EXPECT_EQ(sky->day_groups[0].sky_objects[1].script_id, 0x330007A2u) << start;
    EXPECT_EQ(sky->day_groups[0].sky_times[0].time_entries[1].word_5, 12u) << start;
    EXPECT_EQ(sky->day_groups[1].name, "Storm") << start;
    EXPECT_EQ(sky->day_groups[1].sky_objects[0].object_id, 0x02000715u) << start;
    EXPECT_EQ(sky->day_groups[2].chance, 0.2f) << start;
  }
}

TEST(TerrainDescUnpack, EmptyIsTwentyEightBytesAndNamesAlign) {
  const Bytes empty = t::encode_terrain_desc({});
  ASSERT_EQ(empty.size(), 28u);
  common::Reader r0(empty);
  auto terrain = TerrainDesc::unpack(r0);
  ASSERT_TRUE(terrain);
  EXPECT_EQ(r0.position(), 28u);
  EXPECT_EQ(*terrain, TerrainDesc{});

  // Count at 0, prefix at 4, text at 6: a 1-byte name skips 1, a 2-byte none.
  struct Case {
    std::string name;
    std::size_t tag_at;
  } cases[] = {{"x", 8}, {"xy", 8}, {"xyz", 12}, {"", 8}};
  for (const auto& c : cases) {
    t::TerrainDescDef def;
    def.terrain_types = {{c.name, 0x7A6, {4, 5}}};
    def.surface_word_2 = 0x5EED;
    const Bytes data = t::encode_terrain_desc(def);
    ASSERT_EQ(word_at(data, c.tag_at), 0x7A6u);
    common::Reader reader(data);
    auto decoded = TerrainDesc::unpack(reader);
    ASSERT_TRUE(decoded) << c.name;
    EXPECT_EQ(decoded->terrain_types, (std::vector<TerrainType>{{c.name, 0x7A6, {4, 5}}}));
    EXPECT_EQ(decoded->surface_word_2, 0x5EEDu);
    EXPECT_EQ(reader.position(), data.size());
  }
}

TEST(SceneAndSoundUnpack, ValuesKeepTheirStoredBits) {
  t::SceneDescDef scene_def;
  scene_def.scene_types = {{-1, {}}, {std::numeric_limits<std::int32_t>::min(), {9}}};
  const Bytes scene_bytes = t::encode_scene_desc(scene_def);
  common::Reader scene_reader(scene_bytes);
  auto scene = SceneDesc::unpack(scene_reader);
  ASSERT_TRUE(scene);
  EXPECT_EQ(scene->scene_types[0].stb_index, -1);
  EXPECT_EQ(scene->scene_types[1].stb_index, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(scene->scene_types[1].scenes, std::vector<std::uint32_t>{9});

  const std::uint32_t patterns[] = {0x00000000, 0x80000000, 0x7FC00001, 0xFFBADBAD, 0x7F800000,
                                    0x00000001};
  for (std::uint32_t pattern : patterns) {
    t::SoundDescDef def;
    def.tables = {{0x20000007, {{5, t::F32Bits::raw(pattern), t::F32Bits::raw(pattern),
                                  t::F32Bits::raw(~pattern), t::F32Bits::raw(pattern ^ 1)}}, {}}};
    const Bytes data = t::encode_sound_desc(def);
    common::Reader reader(data);
    auto sound = SoundDesc::unpack(reader);
    ASSERT_TRUE(sound) << std::hex << pattern;
    const AmbientSound& s = sound->stb_descs.at(0).ambient_sounds.at(0);
    EXPECT_EQ(s.s_type, 5u);
    EXPECT_EQ(bits(s.volume), pattern);
    EXPECT_EQ(bits(s.base_chance), pattern);
    EXPECT_EQ(bits(s.min_rate), ~pattern);
    EXPECT_EQ(bits(s.max_rate), pattern ^ 1);
  }
}

TEST(SoundDescUnpack, TableDeclaringMoreSoundsThanItHoldsFails) {
  t::SoundDescDef def;
  def.tables = {{1, {{}}, {}}, {2, {{}, {}}, 3}};
  const Bytes data = t::encode_sound_desc(def);
  common::Reader reader(data);
  auto sound = SoundDesc::unpack(reader);
  ASSERT_FALSE(sound);
  expect_short_read(sound.error());
}

TEST(RegionUnpack, FileEndingInsideTheRegionTableFails) {
  Bytes file = t::encode_region({});
  file.resize(20 + 8 * 4 + 100 * 4 + 2);  // name "Region" ends at 20
  common::Reader reader(file);
  auto region = Region::unpack(reader);
  ASSERT_FALSE(region);
  expect_short_read(region.error());
}

TEST(RegionUnpack, EveryTruncationFailsWithTheBareShortRead) {
  const Bytes file = t::encode_region(t::sample_region_def());
  for (std::size_t size = 0; size < file.size(); ++size) {
    const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
    common::Reader reader(prefix);
    auto region = Region::unpack(reader);
    ASSERT_FALSE(region) << size;
    ASSERT_EQ(region.error().to_string(), "failed to fill whole buffer") << size;
    ASSERT_TRUE(region.error().frames().empty()) << size;
  }
}

// Reservations are bounded by the bytes left, so a count of 0xFFFFFFFF fails
// with the short read instead of asking for gigabytes.
TEST(RegionUnpack, HugeCountsFailWithTheShortRead) {
  t::CountOffsets counts;
  const Bytes file = t::encode_region(t::sample_region_def(), &counts);
  ASSERT_EQ(counts.size(), 25u);  // calendar 3, sky 8, sound 3, scene 4, terrain 7
  for (std::size_t at : counts) {
    Bytes patched = file;
    for (int i = 0; i < 4; ++i) patched[at + i] = 0xFF;
    common::Reader reader(patched);
    auto region = Region::unpack(reader);
    ASSERT_FALSE(region) << at;
    expect_short_read(region.error());
  }
}

}  // namespace
}  // namespace ravelin::dat::file_type
