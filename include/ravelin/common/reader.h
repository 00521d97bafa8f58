// Read cursor over an immutable byte span: little-endian fixed-width reads,
// counted byte runs, skips and alignment. The position only moves on success,
// except where a read is specified to move it to the end of the data.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "ravelin/common/read_error.h"

namespace ravelin::common {

template <class T>
using ReadResult = std::expected<T, ReadError>;

// The one little-endian load of the code base: `T` from the sizeof(T) bytes at
// `at`, which the caller has checked are there.
template <class T>
T load_le(const std::uint8_t* at) {
  static_assert(std::endian::native == std::endian::little, "decoders assume a little-endian host");
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

// A u32 or f32 at byte `offset` of a payload at least offset + 4 bytes long.
inline std::uint32_t le_u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return load_le<std::uint32_t>(bytes.data() + offset);
}
inline float le_f32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return load_le<float>(bytes.data() + offset);
}

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data, std::uint64_t position = 0) noexcept
      : data_(data), position_(position) {}

  std::span<const std::uint8_t> data() const { return data_; }
  std::uint64_t size() const { return data_.size(); }
  std::uint64_t position() const { return position_; }
  // Any position is allowed; reads beyond the end fail.
  void set_position(std::uint64_t position) { position_ = position; }
  // Bytes left from the position (0 when the position is at or past the end).
  std::uint64_t remaining() const {
    return position_ >= data_.size() ? 0 : data_.size() - position_;
  }

  // Fixed-width little-endian reads; fewer bytes left than the width fail with
  // Io "failed to fill whole buffer" and leave the position unchanged.
  ReadResult<std::uint8_t> read_u8();
  ReadResult<std::uint16_t> read_u16();
  ReadResult<std::int16_t> read_i16();
  ReadResult<std::uint32_t> read_u32();
  ReadResult<std::int32_t> read_i32();
  ReadResult<std::uint64_t> read_u64();
  ReadResult<float> read_f32();
  ReadResult<double> read_f64();

  // Exactly `count` bytes. Fewer left: the position moves to the end of the data
  // and the read fails with Io "failed to fill whole buffer".
  ReadResult<std::span<const std::uint8_t>> read_exact(std::uint64_t count);
  // A counted run of raw bytes. Fewer left: Io "not enough bytes in reader",
  // position unchanged.
  ReadResult<std::span<const std::uint8_t>> read_bytes(std::uint64_t count);
  // `count` little-endian u16 values; fewer than 2 * count bytes fail with
  // "failed to fill whole buffer", position unchanged.
  ReadResult<std::vector<std::uint16_t>> read_u16_array(std::uint64_t count);

  // Moves the position forward without reading; fails only when the new position
  // would overflow, with Io "invalid seek to a negative or overflowing position".
  ReadResult<void> skip(std::uint64_t count);
  // Advances to the next multiple of `alignment` (counted from byte 0 of the data).
  ReadResult<void> align(std::uint64_t alignment = 4);

  // Capacity worth reserving for `count` items of at least `min_item_size` bytes:
  // never more than the remaining bytes could fill, so a hostile count allocates
  // nothing large and the read fails with the usual short-read error.
  std::uint64_t bounded_count(std::uint64_t count, std::uint64_t min_item_size) const {
    const std::uint64_t fit = remaining() / (min_item_size == 0 ? 1 : min_item_size);
    return count < fit ? count : fit;
  }

 private:
  bool has(std::uint64_t count) const { return remaining() >= count; }
  // Only valid when at least one byte remains.
  const std::uint8_t* here() const { return data_.data() + position_; }
  template <class T>
  ReadResult<T> read_le();

  std::span<const std::uint8_t> data_;
  std::uint64_t position_;
};

}  // namespace ravelin::common

namespace ravelin::common {

// A counted list: `count` items read one after another by `read_item(reader)`.
// The first failing item fails the list with its own error, bare: the enclosing
// record adds the list field's frame if it has one. The reservation is bounded
// by the bytes left at `min_item_size` each, so a hostile count allocates
// nothing large and ends in the usual short read.
template <class T, class ReadItem>
ReadResult<std::vector<T>> read_list(Reader& reader, std::uint64_t count, std::uint64_t min_item_size,
                                     ReadItem&& read_item) {
  std::vector<T> items;
  items.reserve(reader.bounded_count(count, min_item_size));
  for (std::uint64_t i = 0; i < count; ++i) {
    auto item = read_item(reader);
    if (!item) return std::unexpected(std::move(item).error());
    items.push_back(std::move(*item));
  }
  return items;
}

}  // namespace ravelin::common

// Reads one field of a record declared field by field: on failure the error gets
// the frame "While parsing field '<field>' in <record>" with the field's line
// from the unit's frame table (`site`, a FieldSite), the cursor goes back to the
// record's first byte, and the enclosing function returns.
#define RAVELIN_FIELD(scope, target, site, expr)                                       \
  do {                                                                                 \
    auto ravelin_field_result_ = (expr);                                               \
    if (!ravelin_field_result_)                                                        \
      return std::unexpected((scope).fail((site), std::move(ravelin_field_result_).error())); \
    (target) = std::move(*ravelin_field_result_);                                      \
  } while (0)

// The same for a field read that yields no value (a skip, a checked padding).
#define RAVELIN_FIELD_VOID(scope, site, expr)                                          \
  do {                                                                                 \
    auto ravelin_field_result_ = (expr);                                               \
    if (!ravelin_field_result_)                                                        \
      return std::unexpected((scope).fail((site), std::move(ravelin_field_result_).error())); \
  } while (0)

// Hand-written decoders: assign the value or return the bare error.
#define RAVELIN_TRY(target, expr)                                                      \
  do {                                                                                 \
    auto ravelin_try_result_ = (expr);                                                 \
    if (!ravelin_try_result_) return std::unexpected(std::move(ravelin_try_result_).error()); \
    (target) = std::move(*ravelin_try_result_);                                        \
  } while (0)

#define RAVELIN_TRY_VOID(expr)                                                         \
  do {                                                                                 \
    auto ravelin_try_result_ = (expr);                                                 \
    if (!ravelin_try_result_) return std::unexpected(std::move(ravelin_try_result_).error()); \
  } while (0)

namespace ravelin::common {

// A record declared field by field: its type name and the source unit that
// declares it (path without extension), as its frames name them.
struct RecordSite {
  std::string_view record;
  std::string_view path;
};

// One field of such a record: its name and the line of its declaration. Each
// unit keeps these in its *_frames.h table, so that messages never depend on
// where the reading code sits or on how a compiler counts lines.
struct FieldSite {
  std::string_view field;
  std::uint32_t line;
};

// Scope of one record read field by field (see RAVELIN_FIELD).
class RecordScope {
 public:
  RecordScope(Reader& reader, const RecordSite& site)
      : reader_(reader), start_(reader.position()), site_(site) {}

  ReadError fail(const FieldSite& field, ReadError error) {
    reader_.set_position(start_);
    return std::move(error).with_field_context(field.field, site_.record, site_.path, field.line);
  }

 private:
  Reader& reader_;
  std::uint64_t start_;
  RecordSite site_;
};

}  // namespace ravelin::common
