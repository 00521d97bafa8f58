// LZ compressor producing the archive's compressed-body format, for writing test
// archives. Written on its own terms (a greedy hash-chain matcher); it shares
// nothing with the reader's decompressor.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ravelin::dat_writer {

// Longest back-reference the format can express, and the farthest.
inline constexpr std::size_t kLzMaxMatch = 17;
inline constexpr std::size_t kLzMaxDistance = 4095;

// A whole stored body: the u32 length of `input`, then flag bytes (most
// significant bit first, set = back-reference) each followed by up to eight
// tokens. Literals are one byte; a back-reference is two bytes, distance low 8
// bits, then (distance >> 8) << 4 | (length - 2). Empty input gives the four
// bytes of a zero length.
std::vector<std::uint8_t> lz_compress(std::span<const std::uint8_t> input);

}  // namespace ravelin::dat_writer
