#include "ravelin/dat/utils.h"

#include "dat/text_decoding.h"

namespace ravelin::dat::utils {

common::ReadResult<std::string> read_pstring(common::Reader& reader, int width) {
  std::uint64_t length = 0;
  switch (width) {
    case 1: RAVELIN_TRY(length, reader.read_u8()); break;
    case 2: RAVELIN_TRY(length, reader.read_u16()); break;
    case 4: RAVELIN_TRY(length, reader.read_u32()); break;
    default:
      return std::unexpected(
          common::ReadError::assert_fail(reader.position(), "Unsupported PString length size"));
  }
  if (length == 0) return std::string();
  std::span<const std::uint8_t> bytes;
  RAVELIN_TRY(bytes, reader.read_exact(length));
  return decode_text(bytes);
}

}  // namespace ravelin::dat::utils
