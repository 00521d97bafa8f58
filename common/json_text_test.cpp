#include "ravelin/common/json_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

namespace ravelin::common {
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
      {1.4e-45f, "1e-45"},           // smallest subnormal
      {1.1754942e-38f, "1.1754942e-38"},  // largest subnormal
      {1.17549435e-38f, "1.1754944e-38"},  // smallest normal: its lower gap is halved
      {16777216.0f, "16777216.0"},
      {33554432.0f, "33554432.0"},
      {8.589973e9f, "8589974000.0"},  // the float is 8589973504; its shortest digits lie above it
      {std::numeric_limits<float>::quiet_NaN(), "NaN"},
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_shortest_f32(c.value), c.expected) << c.expected;
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
      {2.2250738585072014e-308, "2.2250738585072014e-308"},
      {9007199254740993.0, "9007199254740992.0"},
      {5.0e-7, "5e-7"},
      {123456789012345680.0, "1.2345678901234568e17"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_shortest_f64(c.value), c.expected) << c.expected;
}

// Whatever the value, the shortest form reads back as the very same bits
// (NaN aside): powers of two (where the gap below halves), subnormals, and a
// spread of bit patterns from a fixed generator.
template <class Float>
void expect_reads_back(Float value, const std::string& text) {
  Float parsed{};
  const auto res = std::from_chars(text.data(), text.data() + text.size(), parsed);
  ASSERT_EQ(res.ec, std::errc()) << text;
  ASSERT_EQ(res.ptr, text.data() + text.size()) << text;
  using Bits = std::conditional_t<sizeof(Float) == 4, std::uint32_t, std::uint64_t>;
  ASSERT_EQ(std::bit_cast<Bits>(parsed), std::bit_cast<Bits>(value)) << text;
}

TEST(NumberFormatShortest, ReadsBackAsTheSameBitsOnManyPatterns) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (const std::uint32_t fraction : {0u, 1u, 2u, 0x7FFFFFu}) {
      const float v = std::bit_cast<float>(exponent << 23 | fraction);
      expect_reads_back(v, format_shortest_f32(v));
    }
  }
  for (std::uint64_t exponent = 0; exponent < 2047; exponent += 3) {
    for (const std::uint64_t fraction : {0ull, 1ull, 0xFFFFFFFFFFFFFull}) {
      const double v = std::bit_cast<double>(exponent << 52 | fraction);
      expect_reads_back(v, format_shortest_f64(v));
    }
  }
  for (int i = 0; i < 8000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(next()));
    if (!std::isnan(f)) expect_reads_back(f, format_shortest_f32(f));
    const double d = std::bit_cast<double>(next());
    if (!std::isnan(d)) expect_reads_back(d, format_shortest_f64(d));
  }
}

}  // namespace
}  // namespace ravelin::common
