#include "ravelin/dat/utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat/text_decoding.h"

namespace ravelin::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string decode(const Bytes& b) { return decode_text(b); }

TEST(ReadPString, DecodesWithEachPrefixWidthAndAdvancesPastTheText) {
  struct Case {
    int width;
    Bytes bytes;
    std::string text;
    std::uint64_t end;
  } cases[] = {
      {1, {0x02, 'h', 'i', 'x'}, "hi", 3},
      {2, {0x02, 0x00, 'h', 'i'}, "hi", 4},
      {4, {0x01, 0x00, 0x00, 0x00, 'z'}, "z", 5},
      {2, {0x00, 0x00, 'q'}, "", 2},
      {2, {0x05, 0x00, 0x48, 0xE9, 0x6C, 0x6C, 0x6F}, "H\xC3\xA9llo", 7},
      {2, {0x03, 0x00, 0xEF, 0xBB, 0xBF}, "", 5},
      {2, {0x04, 0x00, 0xFF, 0xFE, 0x41, 0x00}, "A", 6},
  };
  for (const auto& c : cases) {
    common::Reader r(c.bytes);
    auto s = utils::read_pstring(r, c.width);
    ASSERT_TRUE(s) << c.width;
    EXPECT_EQ(*s, c.text);
    EXPECT_EQ(r.position(), c.end);
  }
}

TEST(ReadPString, ShortInputsAndBadWidths) {
  const Bytes one = {0x05};
  common::Reader r1(one);
  auto prefix = utils::read_pstring(r1, 2);
  ASSERT_FALSE(prefix);
  EXPECT_EQ(prefix.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(r1.position(), 0u);

  const Bytes longer = {0x09, 0x00, 'a', 'b'};
  common::Reader r2(longer);
  auto text = utils::read_pstring(r2, 2);
  ASSERT_FALSE(text);
  EXPECT_EQ(text.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(r2.position(), 4u);

  common::Reader r3(longer, 1);
  auto bad = utils::read_pstring(r3, 3);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().kind(), common::ReadError::Kind::AssertFail);
  EXPECT_EQ(bad.error().to_string(), "Unsupported PString length size at 0x1");
  EXPECT_EQ(r3.position(), 1u);
}

TEST(TextDecoding, Windows1252UsesTheWhatwgIndex) {
  EXPECT_EQ(decode({0x80}), "\xE2\x82\xAC");      // U+20AC
  EXPECT_EQ(decode({0x81}), "\xC2\x81");          // U+0081 passes through
  EXPECT_EQ(decode({0x9F}), "\xC5\xB8");          // U+0178
  EXPECT_EQ(decode({0xFF}), "\xC3\xBF");          // U+00FF
  EXPECT_EQ(decode({0x41, 0x00}), std::string("A\0", 2));
  EXPECT_EQ(decode({0xEF, 0xBB}), "\xC3\xAF\xC2\xBB");  // too short to be a mark
}

TEST(TextDecoding, Utf8ReplacesEachMaximalSubpart) {
  struct Case {
    Bytes bytes;
    std::string text;
  } cases[] = {
      {{0xEF, 0xBB, 0xBF, 0xC3, 0xA9}, "\xC3\xA9"},
      {{0xEF, 0xBB, 0xBF, 0x80}, "\xEF\xBF\xBD"},
      {{0xEF, 0xBB, 0xBF, 0xE2, 0x82}, "\xEF\xBF\xBD"},               // truncated at the end
      {{0xEF, 0xBB, 0xBF, 0xE2, 0x82, 0x41}, "\xEF\xBF\xBD" "A"},     // bad byte is reprocessed
      {{0xEF, 0xBB, 0xBF, 0xED, 0xA0, 0x80}, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {{0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80}, "\xF0\x9F\x98\x80"},
      {{0xEF, 0xBB, 0xBF, 0xC0, 0xAF}, "\xEF\xBF\xBD\xEF\xBF\xBD"},   // overlong
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.text);
}

TEST(TextDecoding, Utf16HandlesSurrogatesAndOddBytes) {
  struct Case {
    Bytes bytes;
    std::string text;
  } cases[] = {
      {{0xFE, 0xFF, 0x00, 0x41}, "A"},
      {{0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
      {{0xFF, 0xFE, 0x3D, 0xD8, 0x41, 0x00}, "\xEF\xBF\xBD" "A"},   // lone lead, then A
      {{0xFF, 0xFE, 0x00, 0xDE}, "\xEF\xBF\xBD"},                   // lone trail
      {{0xFF, 0xFE, 0x41, 0x00, 0x42}, "A\xEF\xBF\xBD"},            // odd byte
      {{0xFF, 0xFE, 0x3D, 0xD8, 0x42}, "\xEF\xBF\xBD"},             // lead then odd byte: one
      {{0xFF, 0xFE}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.bytes), c.text);
}

}  // namespace
}  // namespace ravelin::dat
