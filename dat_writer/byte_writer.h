// Little-endian byte appender shared by the archive writer and the record
// encoders. Floats can be given as values or as raw bit patterns.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ravelin::dat_writer {

class ByteWriter {
 public:
  ByteWriter& u8(std::uint8_t v);
  ByteWriter& u16(std::uint16_t v);
  ByteWriter& i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
  ByteWriter& u32(std::uint32_t v);
  ByteWriter& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  ByteWriter& u64(std::uint64_t v);
  ByteWriter& f32(float v);
  ByteWriter& f32_bits(std::uint32_t bits) { return u32(bits); }
  ByteWriter& f64(double v);
  ByteWriter& f64_bits(std::uint64_t bits) { return u64(bits); }
  ByteWriter& bytes(std::span<const std::uint8_t> v);
  ByteWriter& text(std::string_view raw);  // raw bytes, no prefix
  // A 2-byte length then the raw bytes (no alignment).
  ByteWriter& pstring16(std::string_view raw);
  ByteWriter& zeros(std::size_t count);
  // Zero bytes up to the next multiple of 4, counted from the first byte written.
  ByteWriter& align4();

  std::size_t size() const { return out_.size(); }
  const std::vector<std::uint8_t>& data() const { return out_; }
  std::vector<std::uint8_t> take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

}  // namespace ravelin::dat_writer
