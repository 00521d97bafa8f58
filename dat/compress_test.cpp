#include "ravelin/dat/compress.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <random>
#include <string>

#include "ravelin/dat/utils.h"

namespace ravelin::dat {
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

Bytes compress(std::span<const std::uint8_t> in) {
  auto body = compress_lrs(in);
  EXPECT_TRUE(body.has_value());
  return body ? *body : Bytes{};
}

// The compressor as the archive writer first had it, with a link for every
// input position: the choices the faster one must repeat byte for byte, since
// the sample worlds (and the goldens baked from them) are made with them.
Bytes reference_compress(std::span<const std::uint8_t> input) {
  constexpr std::size_t kMinMatch = 3, kHashBits = 14, kMaxChain = 32;
  constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  auto hash3 = [](const std::uint8_t* p) {
    const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  Bytes out(4);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(input.size() >> (8 * i));
  std::size_t flag_at = 0;
  unsigned used = 8;
  auto open_group = [&] {
    if (used < 8) return;
    flag_at = out.size();
    out.push_back(0);
    used = 0;
  };
  std::vector<std::uint32_t> head(std::size_t{1} << kHashBits, kNone);
  std::vector<std::uint32_t> prev(input.size(), kNone);
  const std::size_t size = input.size();
  auto remember = [&](std::size_t pos) {
    if (pos + kMinMatch > size) return;
    const std::uint32_t h = hash3(input.data() + pos);
    prev[pos] = head[h];
    head[h] = static_cast<std::uint32_t>(pos);
  };
  for (std::size_t pos = 0; pos < size;) {
    std::size_t best_length = 0, best_distance = 0;
    if (pos + kMinMatch <= size) {
      const std::size_t longest = std::min(kLrsMaxMatch, size - pos);
      std::uint32_t candidate = head[hash3(input.data() + pos)];
      for (std::size_t chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
        const std::size_t distance = pos - candidate;
        if (distance > kLrsMaxDistance) break;
        std::size_t length = 0;
        while (length < longest && input[candidate + length] == input[pos + length]) ++length;
        if (length > best_length) {
          best_length = length;
          best_distance = distance;
          if (length == longest) break;
        }
        candidate = prev[candidate];
      }
    }
    open_group();
    if (best_length >= kMinMatch) {
      out[flag_at] |= static_cast<std::uint8_t>(0x80u >> used);
      out.push_back(static_cast<std::uint8_t>(best_distance & 0xFF));
      out.push_back(static_cast<std::uint8_t>(((best_distance >> 8) << 4) | (best_length - 2)));
      for (std::size_t k = 0; k < best_length; ++k) remember(pos + k);
      pos += best_length;
    } else {
      out.push_back(input[pos]);
      remember(pos);
      ++pos;
    }
    ++used;
  }
  return out;
}

Bytes text_lines(int count) {
  Bytes text;
  for (int i = 0; i < count; ++i) {
    const std::string line = "sound " + std::to_string(i % 37) + " plays at frame " + std::to_string(i) + "\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  return text;
}

// Record-like data: words from a few small ranges, runs of zeros.
Bytes record_like(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes data;
  while (data.size() < n) {
    const std::uint32_t words[] = {static_cast<std::uint32_t>(0x02000000u + rng() % 64),
                                   static_cast<std::uint32_t>(rng() % 4), 0x3F800000u,
                                   static_cast<std::uint32_t>(rng())};
    for (const std::uint32_t w : words)
      for (int k = 0; k < 4; ++k) data.push_back(static_cast<std::uint8_t>(w >> (8 * k)));
    if (rng() % 8 == 0) data.insert(data.end(), 24, 0);
  }
  data.resize(n);
  return data;
}

struct Input {
  const char* name;
  Bytes data;
  double max_ratio;  // compressed size / input size must stay below this (inputs over 100 bytes)
};

std::vector<Input> inputs() {
  Bytes period_4000 = random_bytes(4000, 9);
  for (int i = 0; i < 3; ++i) period_4000.insert(period_4000.end(), period_4000.begin(), period_4000.begin() + 4000);
  Bytes period_4095 = random_bytes(4095, 12);
  period_4095.insert(period_4095.end(), period_4095.begin(), period_4095.end());
  Bytes period_4096 = random_bytes(4096, 13);
  period_4096.insert(period_4096.end(), period_4096.begin(), period_4096.end());
  Bytes period_5000 = random_bytes(5000, 10);
  period_5000.insert(period_5000.end(), period_5000.begin(), period_5000.end());
  Bytes mixed = random_bytes(3000, 11);
  mixed.insert(mixed.end(), 5000, 0x00);
  const Bytes text = text_lines(400);
  mixed.insert(mixed.end(), text.begin(), text.end());
  Bytes two_byte_pattern;
  for (int i = 0; i < 10000; ++i) two_byte_pattern.push_back(i % 2 ? 'a' : 'b');
  // Few distinct byte values: long hash chains full of near misses.
  Bytes four_symbols = random_bytes(30000, 14);
  for (auto& b : four_symbols) b &= 3;
  return {
      {"empty", {}, 100},
      {"one byte", {0x42}, 100},
      {"two equal bytes", {7, 7}, 100},
      {"three equal bytes", {7, 7, 7}, 100},
      {"four equal bytes", {7, 7, 7, 7}, 100},
      {"random", random_bytes(20000, 1), 1.2},
      {"long run", Bytes(100000, 0xAB), 0.15},
      {"two-byte pattern", two_byte_pattern, 0.15},
      {"text", text, 0.6},
      {"repeat at the farthest distance", period_4095, 0.7},
      {"repeat one past the farthest distance", period_4096, 1.2},
      {"repeat within the window", period_4000, 0.5},
      {"repeat beyond the window", period_5000, 1.2},
      {"mixed", mixed, 0.7},
      {"four symbols", four_symbols, 0.5},
      {"record-like", record_like(200000, 7), 0.8},
  };
}

TEST(CompressLrs, RoundTripsThroughTheDecompressor) {
  for (const Input& in : inputs()) {
    const Bytes body = compress(in.data);
    ASSERT_GE(body.size(), 4u) << in.name;
    EXPECT_EQ(u32_at(body, 0), in.data.size()) << in.name;
    EXPECT_EQ(utils::decompress_lrs(body), in.data) << in.name;
    EXPECT_LE(body.size(), 4 + in.data.size() + (in.data.size() + 7) / 8) << in.name;
    if (in.data.size() > 100) {
      EXPECT_LT(double(body.size()) / double(in.data.size()), in.max_ratio) << in.name;
    }
  }
}

TEST(CompressLrs, MakesTheChoicesOfTheOriginalCompressor) {
  for (const Input& in : inputs()) EXPECT_EQ(compress(in.data), reference_compress(in.data)) << in.name;
  // Random lengths and alphabets, including runs that straddle the window.
  std::mt19937 rng(42);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = rng() % 12000;
    const unsigned alphabet = 1u + rng() % 255;
    Bytes data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng() % alphabet);
    // Copy a stretch from up to 5000 bytes back now and then.
    for (std::size_t at = 0; n > 0 && at + 40 < n; at += 1 + rng() % 900) {
      const std::size_t back = 1 + rng() % 5000;
      if (back <= at)
        for (std::size_t k = 0; k < 30; ++k) data[at + k] = data[at - back + k];
    }
    ASSERT_EQ(compress(data), reference_compress(data)) << "round " << round << ", " << n << " bytes";
  }
}

// Exact streams for the smallest inputs: literals only, one flag byte.
TEST(CompressLrs, SmallInputsAreLiterals) {
  struct Case {
    Bytes input;
    Bytes body;
  };
  const std::vector<Case> cases = {
      {{}, {0, 0, 0, 0}},
      {{0x61}, {1, 0, 0, 0, 0x00, 0x61}},
      {{0x61, 0x61}, {2, 0, 0, 0, 0x00, 0x61, 0x61}},
      {{0x61, 0x61, 0x61}, {3, 0, 0, 0, 0x00, 0x61, 0x61, 0x61}},
      // Four equal bytes: a literal, then a 3-byte copy from one back.
      {{0x61, 0x61, 0x61, 0x61}, {4, 0, 0, 0, 0x40, 0x61, 0x01, 0x01}},
      // A ninth token opens a second flag byte.
      {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 0, 0, 0, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compress(c.input), c.body) << c.input.size() << " bytes";
    EXPECT_EQ(utils::decompress_lrs(c.body), c.input) << c.input.size() << " bytes";
  }
}

struct Token {
  std::size_t distance = 0;  // 0 for a literal
  std::size_t length = 1;
};

// The token stream of a stored body, as the flag bits announce it.
std::vector<Token> tokens_of(const Bytes& body) {
  std::vector<Token> tokens;
  std::size_t produced = 0;
  const std::size_t declared = u32_at(body, 0);
  for (std::size_t i = 4; i < body.size() && produced < declared;) {
    const unsigned flags = body[i++];
    for (unsigned mask = 0x80; mask != 0 && i < body.size() && produced < declared; mask >>= 1) {
      Token t;
      if ((flags & mask) != 0) {
        t.distance = body[i] | (body[i + 1] >> 4) << 8;
        t.length = (body[i + 1] & 0x0F) + 2u;
        i += 2;
      } else {
        ++i;
      }
      produced += t.length;
      tokens.push_back(t);
    }
  }
  return tokens;
}

// A reference reaches 4095 bytes back, the farthest the 12-bit distance holds;
// a repeat 4096 bytes back is not found (and never written as distance 0, the
// end marker).
TEST(CompressLrs, DistancesStayWithinTwelveBits) {
  for (const std::size_t period : {std::size_t{4095}, std::size_t{4096}}) {
    Bytes data = random_bytes(period, 5);
    data.insert(data.end(), data.begin(), data.begin() + 17);
    const Bytes body = compress(data);
    EXPECT_EQ(utils::decompress_lrs(body), data);
    const std::vector<Token> tokens = tokens_of(body);
    ASSERT_FALSE(tokens.empty());
    for (const Token& t : tokens) EXPECT_TRUE(t.length == 1 || (t.distance >= 1 && t.distance <= 4095));
    if (period == 4095) {
      EXPECT_EQ(tokens.back().distance, 4095u);
      EXPECT_EQ(tokens.back().length, 17u);
    } else {
      for (const Token& t : tokens) EXPECT_LT(t.length, 17u);
    }
  }
}

// An input whose length no u32 can declare is refused before a byte is read:
// the 4 GiB + 1 bytes are address space only, never touched.
TEST(CompressLrs, RefusesInputsPastFourGibibytes) {
  const std::size_t size = (std::size_t{1} << 32) + 1;
  void* at = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) GTEST_SKIP() << "no address space for 4 GiB";
  const auto body = compress_lrs({static_cast<const std::uint8_t*>(at), size});
  munmap(at, size);
  ASSERT_FALSE(body.has_value());
  EXPECT_EQ(body.error().kind(), DatError::Kind::Other);
  EXPECT_NE(body.error().to_string().find("4294967297 bytes is too large"), std::string::npos)
      << body.error().to_string();
}

}  // namespace
}  // namespace ravelin::dat
