// The pieces several record documents share, written and read back: floats
// (with the bits of a NaN that text cannot carry), geometry, stored texts,
// skipped and trailing bytes, hooks and animation frames, lists and maps.
//
// A member that only some records need (`name_bytes`, `x_bits`, `padding`,
// `trailing_bytes`, ...) is written only when the value needs it and read as
// optional: a record in the common form prints as if they did not exist.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dat/record_json_value.h"
#include "ravelin/common/json_text.h"
#include "ravelin/common/math.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/graphics.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::dat {

using common::JsonWriter;
using file_type::Bytes;
using file_type::SkippedBytes;
using file_type::StoredText;

// --- writing ----------------------------------------------------------------------

// `key`: the value; `key_bits`: its bits too when it is a NaN other than the
// one "NaN" reads back as (0x7FC00000, 0x7FF8000000000000).
void put_f32(JsonWriter& w, std::string_view key, float value);
void put_f64(JsonWriter& w, std::string_view key, double value);
void put(JsonWriter& w, const common::Vector3& v);
void put(JsonWriter& w, const common::Quaternion& q);
void put(JsonWriter& w, const common::Sphere& s);
void put(JsonWriter& w, const Frame& f);
void put(JsonWriter& w, const LandblockFrame& f);
// `key`: the text; `key_bytes`: the stored bytes when the text does not give
// them back; `key_padding`: the bytes after it when they are not zeros.
void put_text(JsonWriter& w, std::string_view key, const StoredText& text);
// A list of texts, with `key_bytes` and `key_padding` lists beside it (null
// for each entry that needs nothing) when any entry needs them.
void put_texts(JsonWriter& w, std::string_view key, const std::vector<StoredText>& texts);
// `key`: the skipped bytes as hex, when they are not `needed` zeros.
void put_skipped(JsonWriter& w, std::string_view key, const SkippedBytes& skipped, std::size_t needed);
// `trailing_bytes`, when there are any.
void put_trailing(JsonWriter& w, const Bytes& trailing);
// hook_type, hook_word, payload (all of it, as hex; not read back), the fields
// the bake reads (particle: emitter_id, part_index; sound: sound_id,
// priority, probability, volume), then payload_rest (the stored bytes after
// the fields, when not zeros) and payload_padding (when not zeros).
void put(JsonWriter& w, const file_type::AnimationHook& hook);
void put(JsonWriter& w, const file_type::AnimationFrame& frame);
// Keyed entries as [{"key": ..., "value": ...}] in stored order.
template <class Entries, class PutKey, class PutValue>
void put_keyed(JsonWriter& w, const Entries& entries, PutKey put_key, PutValue put_value) {
  w.begin_array();
  for (const auto& entry : entries) {
    w.begin_object();
    w.key("key");
    put_key(entry.key);
    w.key("value");
    put_value(entry.value);
    w.end_object();
  }
  w.end_array();
}
template <class List, class PutElement>
void put_list(JsonWriter& w, const List& list, PutElement put_element) {
  w.begin_array();
  for (const auto& element : list) put_element(element);
  w.end_array();
}
template <class Range>
void put_hex_words(JsonWriter& w, const Range& words) {
  w.begin_array(true);
  for (const std::uint32_t word : words) w.hex_word(word);
  w.end_array();
}
template <class Range>
void put_numbers(JsonWriter& w, const Range& numbers) {
  w.begin_array(true);
  for (const auto n : numbers) w.number(n);
  w.end_array();
}

// --- reading ------------------------------------------------------------------------

// A member read by `read(value)`; "missing member, expected {what}" when absent.
template <class Read>
auto read_member(JsonObject& o, std::string_view name, std::string_view what, Read read)
    -> decltype(read(std::declval<const JsonValue&>())) {
  auto value = o.required(name, what);
  if (!value) return std::unexpected(value.error());
  return read(*value);
}
RecordResult<std::uint32_t> u32_member(JsonObject& o, std::string_view name);
RecordResult<std::int32_t> i32_member(JsonObject& o, std::string_view name);
RecordResult<std::uint16_t> u16_member(JsonObject& o, std::string_view name);
RecordResult<std::uint8_t> u8_member(JsonObject& o, std::string_view name);
RecordResult<bool> boolean_member(JsonObject& o, std::string_view name);
RecordResult<std::uint32_t> hex_member(JsonObject& o, std::string_view name);
// A file id that may be absent: null or a hex word, null standing for 0.
RecordResult<std::uint32_t> optional_id_member(JsonObject& o, std::string_view name);
// `name` and `name_bits` as put_f32 and put_f64 write them.
RecordResult<float> f32_member(JsonObject& o, std::string_view name);
RecordResult<double> f64_member(JsonObject& o, std::string_view name);

RecordResult<common::Vector3> read_vector3(const JsonValue& v);
RecordResult<common::Quaternion> read_quaternion(const JsonValue& v);
RecordResult<common::Sphere> read_sphere(const JsonValue& v);
RecordResult<Frame> read_frame(const JsonValue& v);
RecordResult<LandblockFrame> read_landblock_frame(const JsonValue& v);
// `name`, `name_bytes` and `name_padding` as put_text writes them.
RecordResult<StoredText> text_member(JsonObject& o, std::string_view name);
RecordResult<std::vector<StoredText>> texts_member(JsonObject& o, std::string_view name);
// An optional hex member as put_skipped writes it; absent: zeros.
RecordResult<SkippedBytes> skipped_member(JsonObject& o, std::string_view name);
RecordResult<Bytes> trailing_member(JsonObject& o);
RecordResult<file_type::AnimationHook> read_hook(const JsonValue& v);
RecordResult<file_type::AnimationFrame> read_anim_frame(const JsonValue& v);

// An array's elements, each read by `read(element)`.
template <class T, class Read>
RecordResult<std::vector<T>> read_list(const JsonValue& v, Read read) {
  auto array = v.array();
  if (!array) return std::unexpected(array.error());
  std::vector<T> out;
  out.reserve(array->size());
  for (JsonArray::Cursor element = array->first(); element; element.next()) {
    auto value = read(element.value());
    if (!value) return std::unexpected(value.error());
    out.push_back(std::move(*value));
  }
  return out;
}
// An array of exactly N elements.
template <class T, std::size_t N, class Read>
RecordResult<std::array<T, N>> read_fixed(const JsonValue& v, Read read) {
  auto list = read_list<T>(v, read);
  if (!list) return std::unexpected(list.error());
  if (list->size() != N)
    return v.fail(std::to_string(N) + " entries, found " + std::to_string(list->size()));
  std::array<T, N> out{};
  std::copy(list->begin(), list->end(), out.begin());
  return out;
}
// [{"key": ..., "value": ...}] in stored order.
template <class Key, class Value, class ReadKey, class ReadValue>
RecordResult<std::vector<file_type::Keyed<Key, Value>>> read_keyed(const JsonValue& v, std::string_view key_what,
                                                                    ReadKey read_key, std::string_view value_what,
                                                                    ReadValue read_value) {
  return read_list<file_type::Keyed<Key, Value>>(
      v, [&](const JsonValue& element) -> RecordResult<file_type::Keyed<Key, Value>> {
        auto object = element.object();
        if (!object) return std::unexpected(object.error());
        file_type::Keyed<Key, Value> entry;
        RAVELIN_TRY(entry.key, read_member(*object, "key", key_what, read_key));
        RAVELIN_TRY(entry.value, read_member(*object, "value", value_what, read_value));
        RAVELIN_TRY_VOID(object->finish());
        return entry;
      });
}

// An object read by `read(object)`, with every member accounted for.
template <class T, class Read>
RecordResult<T> read_object(const JsonValue& v, Read read) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  T out;
  RAVELIN_TRY_VOID(read(*o, out));
  RAVELIN_TRY_VOID(o->finish());
  return out;
}

// null, or the object read by `read`.
template <class T, class Read>
RecordResult<std::optional<T>> optional_member(JsonObject& o, std::string_view name, Read read) {
  return read_member(o, name, "null or an object", [&](const JsonValue& v) -> RecordResult<std::optional<T>> {
    if (v.is_null()) return std::optional<T>();
    if (!v.object()) return v.fail("null or an object");
    auto value = read(v);
    if (!value) return std::unexpected(value.error());
    return std::optional<T>(std::move(*value));
  });
}

template <class T, class Read>
RecordResult<std::vector<T>> list_member(JsonObject& o, std::string_view name, Read read) {
  return read_member(o, name, expect::kArray, [&](const JsonValue& v) { return read_list<T>(v, read); });
}

// Element readers for read_list.
inline RecordResult<std::uint32_t> as_u32(const JsonValue& v) { return v.u32(); }
inline RecordResult<std::uint16_t> as_u16(const JsonValue& v) { return v.u16(); }
inline RecordResult<std::uint8_t> as_u8(const JsonValue& v) { return v.u8(); }
inline RecordResult<std::uint32_t> as_hex(const JsonValue& v) { return v.hex_word(); }

}  // namespace ravelin::dat
