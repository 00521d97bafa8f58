#include "ravelin/common/reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ravelin/common/math.h"

namespace ravelin::common {
namespace {

TEST(Reader, FixedWidthReadsAreLittleEndianAndShortReadsKeepPosition) {
  const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  Reader r(bytes);
  EXPECT_EQ(*r.read_u16(), 0x0201);
  auto word = r.read_u32();
  ASSERT_FALSE(word);
  EXPECT_EQ(word.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(r.position(), 2u);
  EXPECT_EQ(*r.read_u8(), 0x03);
}

TEST(Reader, ExactAndCountedRunsFailDifferently) {
  const std::uint8_t bytes[] = {1, 2, 3};
  Reader r(bytes);
  auto counted = r.read_bytes(4);
  ASSERT_FALSE(counted);
  EXPECT_EQ(counted.error().to_string(), "not enough bytes in reader");
  EXPECT_EQ(r.position(), 0u);
  auto exact = r.read_exact(4);
  ASSERT_FALSE(exact);
  EXPECT_EQ(exact.error().to_string(), "failed to fill whole buffer");
  EXPECT_EQ(r.position(), 3u);
}

TEST(Reader, AlignCountsFromTheFirstByteAndMayPassTheEnd) {
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
  Reader r(bytes, 5);
  ASSERT_TRUE(r.align());
  EXPECT_EQ(r.position(), 8u);
  EXPECT_FALSE(r.read_u8());
  r.set_position(~0ull - 1);
  auto skipped = r.skip(5);
  ASSERT_FALSE(skipped);
  EXPECT_EQ(skipped.error().to_string(), "invalid seek to a negative or overflowing position");
}

TEST(ReadError, DisplaysPositionInLowerCaseHex) {
  EXPECT_EQ(ReadError::assert_fail(0xAB, "Unsupported PString length size").to_string(),
            "Unsupported PString length size at 0xab");
  EXPECT_EQ(ReadError::custom(0, "bad").to_string(), "bad at 0x0");
}

// Each cut names the field it ends in, with the documented line of that
// field (not a line of our sources), inner record first; the cursor rewinds.
TEST(Math, TruncationCarriesTheFieldsFramesAndRewinds) {
  struct Case {
    const char* record;
    std::size_t length;
    std::vector<ContextFrame> frames;
  };
  const auto frame = [](const char* field, const char* record, std::uint32_t line) {
    return ContextFrame{std::string("While parsing field '") + field + "' in " + record, "common/math", line};
  };
  const Case cases[] = {
      {"Vector3", 0, {frame("x", "Vector3", 8)}},
      {"Vector3", 7, {frame("y", "Vector3", 9)}},
      {"Vector3", 8, {frame("z", "Vector3", 10)}},
      {"Quaternion", 3, {frame("w", "Quaternion", 121)}},
      {"Quaternion", 4, {frame("x", "Quaternion", 122)}},
      {"Quaternion", 11, {frame("y", "Quaternion", 123)}},
      {"Quaternion", 15, {frame("z", "Quaternion", 124)}},
      {"Sphere", 5, {frame("y", "Vector3", 9), frame("center", "Sphere", 410)}},
      {"Sphere", 15, {frame("radius", "Sphere", 411)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.record) + " of " + std::to_string(c.length) + " bytes");
    const std::vector<std::uint8_t> bytes(c.length, 0);
    Reader r(bytes);
    std::optional<ReadError> error;
    const std::string_view record = c.record;
    if (record == "Vector3") error = Vector3::read(r).error();
    if (record == "Quaternion") error = Quaternion::read(r).error();
    if (record == "Sphere") error = Sphere::read(r).error();
    ASSERT_TRUE(error);
    EXPECT_EQ(r.position(), 0u);
    EXPECT_EQ(error->kind(), ReadError::Kind::Context);
    EXPECT_EQ(error->message(), "failed to fill whole buffer");
    EXPECT_EQ(error->frames(), c.frames);
  }
}

TEST(Math, QuaternionKeepsScalarFirst) {
  const float values[4] = {1.0f, 0.0f, 0.0f, 0.0f};
  Reader r(std::span(reinterpret_cast<const std::uint8_t*>(values), sizeof values));
  auto q = Quaternion::read(r);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->w, 1.0f);
  EXPECT_EQ(q->x, 0.0f);
}

}  // namespace
}  // namespace ravelin::common
