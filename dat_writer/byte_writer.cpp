#include "dat_writer/byte_writer.h"

#include <bit>
#include <cstring>

namespace ravelin::dat_writer {

ByteWriter& ByteWriter::u8(std::uint8_t v) {
  out_.push_back(v);
  return *this;
}

ByteWriter& ByteWriter::u16(std::uint16_t v) {
  out_.push_back(static_cast<std::uint8_t>(v));
  out_.push_back(static_cast<std::uint8_t>(v >> 8));
  return *this;
}

ByteWriter& ByteWriter::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}

ByteWriter& ByteWriter::u64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}

ByteWriter& ByteWriter::f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
ByteWriter& ByteWriter::f64(double v) { return u64(std::bit_cast<std::uint64_t>(v)); }

ByteWriter& ByteWriter::bytes(std::span<const std::uint8_t> v) {
  out_.insert(out_.end(), v.begin(), v.end());
  return *this;
}

ByteWriter& ByteWriter::text(std::string_view raw) {
  out_.insert(out_.end(), raw.begin(), raw.end());
  return *this;
}

ByteWriter& ByteWriter::pstring16(std::string_view raw) {
  u16(static_cast<std::uint16_t>(raw.size()));
  return text(raw);
}

ByteWriter& ByteWriter::zeros(std::size_t count) {
  out_.insert(out_.end(), count, 0);
  return *this;
}

ByteWriter& ByteWriter::align4() {
  while (out_.size() % 4 != 0) out_.push_back(0);
  return *this;
}

}  // namespace ravelin::dat_writer
