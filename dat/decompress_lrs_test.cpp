#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ravelin/dat/utils.h"
#include "dat_writer/byte_writer.h"

namespace ravelin::dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes body(std::uint32_t declared, std::initializer_list<std::uint8_t> stream) {
  dat_writer::ByteWriter w;
  w.u32(declared);
  w.bytes(Bytes(stream));
  return w.take();
}

Bytes repeat(std::uint8_t byte, std::size_t n) { return Bytes(n, byte); }

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

struct Case {
  const char* name;
  Bytes input;
  Bytes expected;
};

TEST(DecompressLrs, TokenStreamCases) {
  const std::vector<Case> cases = {
      {"empty body", {}, {}},
      {"one byte is returned as it is", {0x7A}, {0x7A}},
      {"three bytes are returned as they are", {1, 2, 3}, {1, 2, 3}},
      {"declared length alone", body(10, {}), {}},
      {"declared 0 ignores the stream", body(0, {0x00, 'a', 'b'}), {}},
      {"eight literals cut at the declared length", body(5, {0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68}),
       {0x61, 0x62, 0x63, 0x64, 0x65}},
      {"overlapping copy of distance 1", body(18, {0x40, 'X', 0x01, 0x0F}), repeat('X', 18)},
      {"stream ending before the declared length", body(100, {0x40, 'X', 0x01, 0x0F}), repeat('X', 18)},
      {"copy cut at the declared length", body(7, {0x40, 'X', 0x01, 0x0F}), repeat('X', 7)},
      {"end marker (distance 0) stops", body(50, {0x20, 'a', 'b', 0x00, 0x05, 'c'}), text("ab")},
      // Source index clamps to 0 while the output is shorter than the distance.
      {"distance beyond the output", body(50, {0x10, 'A', 'B', 'C', 0x04, 0x03}), text("ABCAABCA")},
      {"non-overlapping copy", body(50, {0x10, 'a', 'b', 'c', 0x03, 0x01}), text("abcabc")},
      {"12-bit distance uses the high nibble", [] {
         // 296 literals (37 full groups) then a copy of distance 0x128 and length 4.
         dat_writer::ByteWriter w;
         w.u32(300);
         for (int i = 0; i < 296; ++i) {
           if (i % 8 == 0) w.u8(0x00);
           w.u8(static_cast<std::uint8_t>(i * 7));
         }
         w.u8(0x80).u8(0x28).u8(0x12);
         return w.take();
       }(),
       [] {
         Bytes out;
         for (int i = 0; i < 296; ++i) out.push_back(static_cast<std::uint8_t>(i * 7));
         for (int i = 0; i < 4; ++i) out.push_back(out[i]);
         return out;
       }()},
      {"half a back-reference at the end", body(50, {0x40, 'X', 0x01}), text("X")},
      {"back-reference into empty output stops", body(50, {0x80, 0x01, 0x00, 'z'}), {}},
      {"literal announced by the last byte stops",
       body(50, {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00}), text("abcdefgh")},
      {"second flag byte after eight tokens", body(50, {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x80, 0x08, 0x00}),
       text("abcdefghab")},
  };
  for (const Case& c : cases) EXPECT_EQ(utils::decompress_lrs(c.input), c.expected) << c.name;
}

TEST(DecompressLrs, HugeDeclaredLengthReservesOnlyWhatTheStreamCanFill) {
  const Bytes input = body(0xFFFFFFFFu, {0x40, 'X', 0x01, 0x0F});
  const Bytes out = utils::decompress_lrs(input);
  EXPECT_EQ(out, repeat('X', 18));
  EXPECT_LE(out.capacity(), 4096u);
}

// The format's own definition, one byte at a time, as the differential oracle
// for the fast paths (bulk literals, memcpy copies, the clamped source).
Bytes reference_decode(const Bytes& b) {
  if (b.size() < 4) return b;
  const std::uint32_t declared = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  const std::size_t length = b.size() - 4;
  const std::uint8_t* s = b.data() + 4;
  Bytes out;
  if (declared == 0 || length == 0) return out;
  std::size_t i = 0;
  unsigned flags = 0, mask = 0;
  for (;;) {
    if (mask == 0) {
      flags = s[i++];
      mask = 0x80;
    }
    if (flags & mask) {
      if (i + 1 >= length) break;
      const std::size_t distance = s[i] + ((s[i + 1] >> 4) << 8);
      const std::size_t count = (s[i + 1] & 0x0F) + 2;
      if (distance == 0 || out.empty()) break;
      i += 2;
      for (std::size_t k = 0; k < count && out.size() < declared; ++k)
        out.push_back(out[out.size() - std::min(out.size(), distance)]);
      if (out.size() >= declared) break;
    } else {
      if (i >= length) break;
      out.push_back(s[i++]);
      if (out.size() >= declared) break;
    }
    mask >>= 1;
    if (i >= length) break;
  }
  return out;
}

TEST(DecompressLrs, MatchesByteWiseDefinitionOnRandomStreams) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t length = rng() % 200;
    Bytes input(4 + length);
    // Mostly plausible declared lengths, sometimes tiny or huge.
    const std::uint32_t declared = round % 10 == 0 ? 0xFFFFFFFFu : rng() % 600;
    for (int k = 0; k < 4; ++k) input[k] = static_cast<std::uint8_t>(declared >> (8 * k));
    // Small distances make overlapping copies and clamped sources common.
    for (std::size_t k = 4; k < input.size(); ++k)
      input[k] = static_cast<std::uint8_t>(round % 3 == 0 ? rng() : (rng() % 4 == 0 ? rng() % 24 : rng()));
    ASSERT_EQ(utils::decompress_lrs(input), reference_decode(input)) << "round " << round;
  }
}

}  // namespace
}  // namespace ravelin::dat
