// The byte side of the stored records: a place in a record's JSON document for
// errors, the output the encoders append to, and the readers of what the bake's
// decoders skip (padding, trailing bytes, the bytes of a text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/graphics.h"

namespace ravelin::dat::file_type {

// A place in a record's JSON document, kept on the stack while a record is
// encoded or read from JSON and written out as a JSON Pointer only for an
// error. A path refers to its parent: build children of a named path
// (`const RecordPath frames = path / "frames";`), never of a temporary.
class RecordPath {
 public:
  RecordPath() = default;
  RecordPath(const RecordPath& parent, std::string_view member) : parent_(&parent), member_(member) {}
  RecordPath(const RecordPath& parent, std::size_t index) : parent_(&parent), index_(index), is_index_(true) {}

  RecordPath operator/(std::string_view member) const { return {*this, member}; }
  RecordPath operator/(std::size_t index) const { return {*this, index}; }

  // "/frames/2/hooks/0/hook_type"; "" for the document. "~" and "/" in member
  // names are escaped as "~0" and "~1".
  std::string pointer() const;
  std::unexpected<RecordError> fail(std::string message) const {
    return std::unexpected(RecordError{pointer(), std::move(message)});
  }

 private:
  const RecordPath* parent_ = nullptr;
  std::string_view member_;
  std::size_t index_ = 0;
  bool is_index_ = false;
};

// The bytes of one record as an encoder appends them, little-endian.
class RecordOutput {
 public:
  RecordOutput() { out_.reserve(256); }

  void u8(std::uint8_t v) { out_.push_back(v); }
  void u16(std::uint16_t v) { raw(&v, sizeof v); }
  void u32(std::uint32_t v) { raw(&v, sizeof v); }
  void i32(std::int32_t v) { raw(&v, sizeof v); }
  void f32(float v) { raw(&v, sizeof v); }
  void f64(double v) { raw(&v, sizeof v); }
  void bytes(std::span<const std::uint8_t> v) { out_.insert(out_.end(), v.begin(), v.end()); }
  void text(std::string_view v) { raw(v.data(), v.size()); }
  std::size_t size() const { return out_.size(); }

  // `skipped` for `needed` skipped bytes (zeros when absent). Fewer bytes than
  // needed end the record: anything written after them fails finish().
  RecordResult<void> skip(const SkippedBytes& skipped, std::size_t needed, const RecordPath& path);
  // The same for the bytes up to the next multiple of 4 (from the first byte).
  RecordResult<void> align(const SkippedBytes& skipped, const RecordPath& path) {
    return skip(skipped, (4 - out_.size() % 4) % 4, path);
  }

  // The record with `trailing` after it; fails when skipped bytes cut short
  // are followed by anything.
  RecordResult<Bytes> finish(std::span<const std::uint8_t> trailing) &&;

 private:
  void raw(const void* data, std::size_t size) {
    const std::size_t at = out_.size();
    out_.resize(at + size);
    if (size != 0) std::memcpy(out_.data() + at, data, size);
  }

  Bytes out_;
  // Skipped bytes cut short: the size right after them, where they point, how
  // many were needed.
  std::optional<std::size_t> cut_end_;
  std::string cut_pointer_;
  std::size_t cut_needed_ = 0;
};

// A count written in `width` bytes: fails at `path` when `size` does not fit.
RecordResult<void> check_count(std::size_t size, std::uint64_t max, const RecordPath& path);

void write_vector3(RecordOutput& out, const common::Vector3& v);
void write_quaternion(RecordOutput& out, const common::Quaternion& q);
void write_sphere(RecordOutput& out, const common::Sphere& s);
// dat::Frame and the landblock's own frame: origin, then orientation.
template <class FrameLike>
void write_frame(RecordOutput& out, const FrameLike& f) {
  write_vector3(out, f.origin);
  write_quaternion(out, f.orientation);
}

// The 2-byte length, the bytes, the alignment after them. `text` names the
// text's member, `padding` its padding's (errors point there).
RecordResult<void> write_text(RecordOutput& out, const StoredText& text, const RecordPath& text_path,
                              const RecordPath& padding_path);
// Type, word, payload: fails when the type is above 26 or the payload is not
// the type's length with its padding.
RecordResult<void> write_hook(RecordOutput& out, const AnimationHook& hook, const RecordPath& path);
// `part_count` part frames (fails when the frame holds another number), the
// hook count, the hooks.
RecordResult<void> write_anim_frame(RecordOutput& out, const AnimationFrame& frame, std::uint32_t part_count,
                                    const RecordPath& path);

// What a decoder skips without reading: up to `needed` bytes from the position
// (fewer where the data ends), absent when they are `needed` zeros; the position
// moves past all `needed` (failing only when it would overflow).
common::ReadResult<SkippedBytes> read_skipped(common::Reader& reader, std::size_t needed);
// The same up to the next multiple of 4.
common::ReadResult<SkippedBytes> read_alignment(common::Reader& reader);
// A text with a 2-byte length, then the alignment after it.
common::ReadResult<StoredText> read_stored_text(common::Reader& reader);
// The bytes from the position to the end (none when the position is past it).
Bytes trailing_bytes(const common::Reader& reader);

}  // namespace ravelin::dat::file_type
