// Length-prefixed text and the archive's LZ decompression.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/reader.h"

namespace ravelin::dat::utils {

// Reads a PString: a u8, u16 or u32 little-endian length (`width` 1, 2 or 4), then
// that many bytes of text, decoded as the WHATWG "decode" algorithm does with
// windows-1252 as the fallback (UTF-8 / UTF-16LE / UTF-16BE when a byte-order
// mark says so). Returns UTF-8. No alignment of its own.
// Errors: fewer bytes than the width: "failed to fill whole buffer", position
// unchanged; fewer bytes than the length: "failed to fill whole buffer", position
// at the end of the data; another width: AssertFail "Unsupported PString length size".
common::ReadResult<std::string> read_pstring(common::Reader& reader, int width);

// Turns a stored compressed body (u32 declared length, then the flag-byte token
// stream) into the decompressed bytes. Never fails: a stream that ends early or
// carries the end marker yields a shorter output.
std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> body);

}  // namespace ravelin::dat::utils
