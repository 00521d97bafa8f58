// The body compressor put() uses.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/dat/error.h"

namespace ravelin::dat {

// A stored compressed body (declared length, then the token stream) that the
// reader's decompression turns back into exactly `input`.
DatResult<std::vector<std::uint8_t>> compress_body(std::span<const std::uint8_t> input);

}  // namespace ravelin::dat
