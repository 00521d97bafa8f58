#include "ravelin/event_bake/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace ravelin::event_bake {
namespace {

struct FixedCase {
  double value;
  const char* expected;
};

TEST(NumberFormatFixed, RoundsExactBinaryValueToSixDecimals) {
  const FixedCase cases[] = {
      {1.0, "1.000000"},
      {-2.5, "-2.500000"},
      {0.5, "0.500000"},
      {0.0078125, "0.007812"},    // exact tie, even digit below
      {0.0234375, "0.023438"},    // exact tie, even digit above
      {-0.0078125, "-0.007812"},
      {2.5e-7, "0.000000"},
      {5e-7, "0.000000"},         // the double lies just below the half
      {1.5e-6, "0.000002"},       // ... and this one just above
      {1.0000005, "1.000001"},
      {123456.7890125, "123456.789012"},
      {-0.0000001, "-0.000000"},  // too small to show, sign kept
      {1e20, "100000000000000000000.000000"},
      {static_cast<double>(0.1f), "0.100000"},
      {static_cast<double>(3.4028235e38f), "340282346638528859811704183484516925440.000000"},
      {static_cast<double>(1e10f), "10000000000.000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_fixed6(c.value), c.expected) << c.expected;
}

TEST(NumberFormatFixed, ZeroAndNonFiniteValues) {
  EXPECT_EQ(format_fixed6(0.0), "0.000000");
  EXPECT_EQ(format_fixed6(-0.0), "0.000000");
  EXPECT_EQ(format_fixed6(static_cast<double>(-0.0f)), "0.000000");
  EXPECT_EQ(format_fixed6(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(format_fixed6(-std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(format_fixed6(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(format_fixed6(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(NumberFormatFixed, LargestDoubleIsWrittenInFull) {
  const std::string text = format_fixed6(std::numeric_limits<double>::max());
  ASSERT_EQ(text.size(), 309u + 7u);
  EXPECT_EQ(text.substr(0, 17), "17976931348623157");
  EXPECT_EQ(text.substr(309), ".000000");
}

TEST(NumberFormatFixed, AppendsToExistingText) {
  std::string out = "x=";
  append_fixed6(out, 0.25);
  append_decimal(out, 0);
  append_decimal(out, 4294967295u);
  append_hex_id(out, 0x1234);
  append_hex_id(out, 0xA9B4FFFE);
  EXPECT_EQ(out, "x=0.25000004294967295""0x00001234""0xA9B4FFFE");
}

struct F32DebugCase {
  float value;
  const char* expected;
};

TEST(NumberFormatDebug, F32ShortestForm) {
  const F32DebugCase cases[] = {
      {1.0f, "1.0"},
      {0.5f, "0.5"},
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {100.0f, "100.0"},
      {0.1f, "0.1"},
      {-2.75f, "-2.75"},
      {123.456f, "123.456"},
      {1e-4f, "0.0001"},   // the float nearest 0.0001 still counts as 0.0001
      {9.5e-5f, "9.5e-5"},
      {1e-7f, "1e-7"},
      {1e16f, "1e16"},
      {1e15f, "1000000000000000.0"},
      {3.4028235e38f, "3.4028235e38"},
      {-1.5e-5f, "-1.5e-5"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN"},
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_debug_f32(c.value), c.expected) << c.expected;
}

struct F64DebugCase {
  double value;
  const char* expected;
};

TEST(NumberFormatDebug, F64ShortestForm) {
  const F64DebugCase cases[] = {
      {1.0, "1.0"},
      {-0.0, "-0.0"},
      {0.1, "0.1"},
      {static_cast<double>(0.1f), "0.10000000149011612"},
      {1e20, "1e20"},
      {1e16, "1e16"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e-7, "1e-7"},
      {1.5e-5, "1.5e-5"},
      {0.00012, "0.00012"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_debug_f64(c.value), c.expected) << c.expected;
}

}  // namespace
}  // namespace ravelin::event_bake
