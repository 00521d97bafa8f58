#include "ravelin/common/reader.h"

#include <cstring>
#include <limits>

namespace ravelin::common {

template <class T>
ReadResult<T> Reader::read_le() {
  if (!has(sizeof(T))) return std::unexpected(ReadError::io(kFailedToFillWholeBuffer));
  const T value = load_le<T>(here());
  position_ += sizeof(T);
  return value;
}

ReadResult<std::uint8_t> Reader::read_u8() { return read_le<std::uint8_t>(); }
ReadResult<std::uint16_t> Reader::read_u16() { return read_le<std::uint16_t>(); }
ReadResult<std::int16_t> Reader::read_i16() { return read_le<std::int16_t>(); }
ReadResult<std::uint32_t> Reader::read_u32() { return read_le<std::uint32_t>(); }
ReadResult<std::int32_t> Reader::read_i32() { return read_le<std::int32_t>(); }
ReadResult<std::uint64_t> Reader::read_u64() { return read_le<std::uint64_t>(); }
ReadResult<float> Reader::read_f32() { return read_le<float>(); }
ReadResult<double> Reader::read_f64() { return read_le<double>(); }

ReadResult<std::span<const std::uint8_t>> Reader::read_exact(std::uint64_t count) {
  if (count == 0) return std::span<const std::uint8_t>{};
  if (!has(count)) {
    if (position_ < data_.size()) position_ = data_.size();
    return std::unexpected(ReadError::io(kFailedToFillWholeBuffer));
  }
  auto out = data_.subspan(position_, count);
  position_ += count;
  return out;
}

ReadResult<std::span<const std::uint8_t>> Reader::read_bytes(std::uint64_t count) {
  if (count == 0) return std::span<const std::uint8_t>{};
  if (!has(count)) return std::unexpected(ReadError::io(kNotEnoughBytesInReader));
  auto out = data_.subspan(position_, count);
  position_ += count;
  return out;
}

ReadResult<std::vector<std::uint16_t>> Reader::read_u16_array(std::uint64_t count) {
  if (count > remaining() / 2) return std::unexpected(ReadError::io(kFailedToFillWholeBuffer));
  std::vector<std::uint16_t> out(count);
  if (count > 0) std::memcpy(out.data(), here(), count * 2);
  position_ += count * 2;
  return out;
}

ReadResult<void> Reader::skip(std::uint64_t count) {
  if (count > std::numeric_limits<std::uint64_t>::max() - position_)
    return std::unexpected(ReadError::io(kInvalidSeek));
  position_ += count;
  return {};
}

ReadResult<void> Reader::align(std::uint64_t alignment) {
  const std::uint64_t rest = position_ % alignment;
  if (rest == 0) return {};
  return skip(alignment - rest);
}

}  // namespace ravelin::common
