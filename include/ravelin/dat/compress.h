// The archive's body compression, the inverse of utils::decompress_lrs: what
// compress_lrs returns decompresses to exactly its input.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/dat/error.h"

namespace ravelin::dat {

// Longest back-reference the format can express, and the farthest.
inline constexpr std::size_t kLrsMaxMatch = 17;
inline constexpr std::size_t kLrsMaxDistance = 4095;

// A whole stored body: the u32 length of `input`, then flag bytes (most
// significant bit first, set = back-reference) each followed by up to eight
// tokens. A literal is one byte; a back-reference two: the distance's low 8
// bits, then (distance >> 8) << 4 | (length - 2). Greedy: at each position the
// longest match of 3 to 17 bytes among the 32 latest positions whose first
// three bytes hash alike, the nearest of equal length; a literal when none
// reaches 3 bytes. Empty input gives the four bytes of a zero length.
// The output is at most 4 + n + ceil(n / 8) bytes for n input bytes.
// Fails (Other) when the input is longer than a u32 length can declare.
DatResult<std::vector<std::uint8_t>> compress_lrs(std::span<const std::uint8_t> input);

}  // namespace ravelin::dat
