#include "ravelin/dat/file_type/game_time.h"

#include <gtest/gtest.h>

#include <vector>

#include "dat_writer/region_encoder.h"

namespace ravelin::dat::file_type {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace t = ravelin::dat_writer;

t::GameTimeDef calendar() {
  t::GameTimeDef def;
  def.time_value = 1234.5;
  def.words = {0x11, 0x22, 0x33};
  def.name = "Harbour Calendar";
  def.times_of_day = {{0x3E800000, 1, "Dawn"}, {7, 0, "Noon"}, {8, 2, "D"}, {9, 0xFFFFFFFF, ""}};
  def.names = {"Firstmonth", "", "abc", "x"};
  def.seasons = {{0, "Coldtide"}, {91, "Autumn"}};
  return def;
}

TEST(GameTimeUnpack, DecodesEveryFieldFromEachStartAlignment) {
  const GameTime expected{1234.5,
                          0x11,
                          0x22,
                          0x33,
                          "Harbour Calendar",
                          {{0x3E800000, true, "Dawn"}, {7, false, "Noon"}, {8, true, "D"},
                           {9, true, ""}},
                          {"Firstmonth", "", "abc", "x"},
                          {{0, "Coldtide"}, {91, "Autumn"}}};
  for (std::size_t start = 0; start < 4; ++start) {
    const Bytes data = t::encode_game_time(calendar(), start);
    common::Reader reader(data, start);
    auto time = GameTime::unpack(reader);
    ASSERT_TRUE(time) << start;
    EXPECT_EQ(*time, expected) << start;
    EXPECT_EQ(reader.position(), data.size()) << start;
  }
}

// Texts are windows-1252 unless a byte-order mark says otherwise.
TEST(GameTimeUnpack, NamesDecodeByTheirByteOrderMark) {
  struct Case {
    std::string raw;
    std::string text;
  } cases[] = {
      {"H\xE9llo", "H\xC3\xA9llo"},
      {"\x80", "\xE2\x82\xAC"},
      {"\xEF\xBB\xBFok", "ok"},
      {std::string("\xFF\xFE\x41\x00", 4), "A"},
      {std::string("\xFE\xFF\x00\x42", 4), "B"},
  };
  for (const auto& c : cases) {
    t::GameTimeDef def;
    def.name = c.raw;
    def.seasons = {{3, c.raw}};
    const Bytes data = t::encode_game_time(def);
    common::Reader reader(data);
    auto time = GameTime::unpack(reader);
    ASSERT_TRUE(time);
    EXPECT_EQ(time->name, c.text);
    ASSERT_EQ(time->seasons.size(), 1u);
    EXPECT_EQ(time->seasons[0], (Season{3, c.text}));
  }
}

TEST(SeasonUnpack, ReadsValueThenAlignedName) {
  t::ByteWriter w;
  w.u32(45).pstring16("Fall").zeros(2).u32(0xABCD);
  const Bytes data = w.take();
  common::Reader reader(data);
  auto season = Season::unpack(reader);
  ASSERT_TRUE(season);
  EXPECT_EQ(*season, (Season{45, "Fall"}));
  EXPECT_EQ(reader.position(), 12u);
}

TEST(GameTimeUnpack, TruncationAndHugeCountsFailWithTheBareShortRead) {
  t::CountOffsets counts;
  t::ByteWriter w;
  t::write_game_time(w, calendar(), &counts);
  const Bytes data = w.take();
  ASSERT_EQ(counts.size(), 3u);
  // The last season's name ends on a multiple of 4, so every shorter prefix
  // misses a byte that is read (trailing padding alone would not be needed).
  ASSERT_EQ(data.size() % 4, 0u);

  std::vector<Bytes> broken;
  for (std::size_t size = 0; size < data.size(); ++size)
    broken.emplace_back(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
  for (std::size_t at : counts) {
    Bytes patched = data;
    for (int i = 0; i < 4; ++i) patched[at + i] = 0xFF;
    broken.push_back(patched);
  }
  for (const Bytes& bytes : broken) {
    common::Reader reader(bytes);
    auto time = GameTime::unpack(reader);
    ASSERT_FALSE(time) << bytes.size();
    EXPECT_EQ(time.error().kind(), common::ReadError::Kind::Io);
    EXPECT_EQ(time.error().to_string(), "failed to fill whole buffer");
  }
}

}  // namespace
}  // namespace ravelin::dat::file_type
