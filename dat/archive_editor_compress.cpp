#include "dat/archive_editor_compress.h"

#include "ravelin/dat/compress.h"

namespace ravelin::dat {

// The library's compressor, whose output the reader's decompression turns
// back into exactly the input.
DatResult<std::vector<std::uint8_t>> compress_body(std::span<const std::uint8_t> input) { return compress_lrs(input); }

}  // namespace ravelin::dat
