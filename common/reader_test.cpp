#include "ravelin/common/reader.h"

#include <gtest/gtest.h>

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

TEST(Math, NestedFieldFailureCarriesBothFramesAndRewinds) {
  const std::uint8_t bytes[15] = {};
  Reader r(bytes);
  auto sphere = Sphere::read(r);
  ASSERT_FALSE(sphere);
  EXPECT_EQ(r.position(), 0u);
  const auto& e = sphere.error();
  EXPECT_EQ(e.kind(), ReadError::Kind::Context);
  EXPECT_EQ(e.message(), "failed to fill whole buffer");
  ASSERT_EQ(e.frames().size(), 1u);
  EXPECT_EQ(e.frames()[0].message, "While parsing field 'radius' in Sphere");
  EXPECT_EQ(e.frames()[0].path, "common/math");

  const std::uint8_t eight[8] = {};
  Reader r2(eight);
  auto v = Vector3::read(r2);
  ASSERT_FALSE(v);
  EXPECT_EQ(v.error().frames()[0].message, "While parsing field 'z' in Vector3");
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
