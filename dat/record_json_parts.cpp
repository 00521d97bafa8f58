#include "dat/record_json_parts.h"

#include <bit>
#include <cmath>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/hook_fields.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;

constexpr std::uint32_t kQuietNan32 = 0x7FC00000;
constexpr std::uint64_t kQuietNan64 = 0x7FF8000000000000;
constexpr std::uint32_t kReplaceObjectHook = 5;

std::string with_suffix(std::string_view key, std::string_view suffix) {
  std::string out(key);
  out += suffix;
  return out;
}

// Payload bytes the decoded fields cover, from the payload's first byte.
std::size_t covered_bytes(std::uint32_t hook_type) {
  switch (hook_type) {
    case ft::kCreateParticleHook:
    case ft::kCreateBlockingParticleHook: return 8;
    case ft::kSoundTableHook: return 16;
    case ft::kSoundHook: return 4;
    default: return 0;
  }
}

bool all_zero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

void append_u32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A type-1 hook's fixed sound values: present only as dat show prints them.
RecordResult<void> check_fixed(JsonObject& o, std::string_view name, float fixed) {
  auto member = o.optional(name);
  if (!member) return std::unexpected(member.error());
  if (!*member) return {};
  auto value = (*member)->f32();
  if (!value) return std::unexpected(value.error());
  if (std::bit_cast<std::uint32_t>(*value) != std::bit_cast<std::uint32_t>(fixed))
    return (*member)->fail(std::string(fixed == 0.0f ? "0.0" : "1.0") +
                           ": a type-1 hook's sound has no stored " + std::string(name) + " (type 21 has)");
  return {};
}

}  // namespace

// --- writing ------------------------------------------------------------------------

void put_f32(JsonWriter& w, std::string_view key, float value) {
  w.key(key).f32(value);
  const auto bits = std::bit_cast<std::uint32_t>(value);
  if (std::isnan(value) && bits != kQuietNan32) w.key(with_suffix(key, "_bits")).hex_word(bits);
}

void put_f64(JsonWriter& w, std::string_view key, double value) {
  w.key(key).f64(value);
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (std::isnan(value) && bits != kQuietNan64) {
    // Sixteen hex digits, upper-case like the 32-bit words.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) text += kDigits[(bits >> shift) & 0xF];
    w.key(with_suffix(key, "_bits")).text(text);
  }
}

void put(JsonWriter& w, const common::Vector3& v) {
  w.begin_object();
  put_f32(w, "x", v.x);
  put_f32(w, "y", v.y);
  put_f32(w, "z", v.z);
  w.end_object();
}

void put(JsonWriter& w, const common::Quaternion& q) {
  w.begin_object();
  put_f32(w, "w", q.w);
  put_f32(w, "x", q.x);
  put_f32(w, "y", q.y);
  put_f32(w, "z", q.z);
  w.end_object();
}

void put(JsonWriter& w, const common::Sphere& s) {
  w.begin_object();
  put(w.key("center"), s.center);
  put_f32(w, "radius", s.radius);
  w.end_object();
}

template <class FrameLike>
void put_frame(JsonWriter& w, const FrameLike& f) {
  w.begin_object();
  put(w.key("origin"), f.origin);
  put(w.key("orientation"), f.orientation);
  w.end_object();
}

void put(JsonWriter& w, const Frame& f) { put_frame(w, f); }
void put(JsonWriter& w, const LandblockFrame& f) { put_frame(w, f); }

void put_text(JsonWriter& w, std::string_view key, const StoredText& text) {
  w.key(key).text(ft::decoded_text(text.bytes));
  if (!ft::text_gives_back(text.bytes))
    w.key(with_suffix(key, "_bytes")).hex_bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.bytes.data()),
                                                          text.bytes.size()));
  if (!ft::is_plain_padding(text.padding, ft::text_padding_size(text.bytes.size())))
    w.key(with_suffix(key, "_padding")).hex_bytes(*text.padding);
}

void put_texts(JsonWriter& w, std::string_view key, const std::vector<StoredText>& texts) {
  put_list(w.key(key), texts, [&w](const StoredText& t) { w.text(ft::decoded_text(t.bytes)); });
  const bool any_bytes =
      std::any_of(texts.begin(), texts.end(), [](const StoredText& t) { return !ft::text_gives_back(t.bytes); });
  if (any_bytes) {
    put_list(w.key(with_suffix(key, "_bytes")), texts, [&w](const StoredText& t) {
      if (ft::text_gives_back(t.bytes)) return w.null();
      w.hex_bytes(std::span(reinterpret_cast<const std::uint8_t*>(t.bytes.data()), t.bytes.size()));
    });
  }
  const auto plain = [](const StoredText& t) {
    return ft::is_plain_padding(t.padding, ft::text_padding_size(t.bytes.size()));
  };
  if (!std::all_of(texts.begin(), texts.end(), plain)) {
    put_list(w.key(with_suffix(key, "_padding")), texts, [&](const StoredText& t) {
      if (plain(t)) return w.null();
      w.hex_bytes(*t.padding);
    });
  }
}

void put_skipped(JsonWriter& w, std::string_view key, const SkippedBytes& skipped, std::size_t needed) {
  if (!ft::is_plain_padding(skipped, needed)) w.key(key).hex_bytes(*skipped);
}

void put_trailing(JsonWriter& w, const Bytes& trailing) {
  if (!trailing.empty()) w.key("trailing_bytes").hex_bytes(trailing);
}

void put(JsonWriter& w, const ft::AnimationHook& hook) {
  w.begin_object();
  w.key("hook_type").number(hook.hook_type);
  w.key("hook_word").number(hook.hook_word);
  w.key("payload").hex_bytes(hook.payload);
  if (const auto particle = ft::particle_hook_fields(hook)) {
    w.key("emitter_id").hex_word(particle->emitter_id);
    w.key("part_index").number(particle->part_index);
  }
  if (const auto sound = ft::sound_hook_fields(hook)) {
    w.key("sound_id").hex_word(sound->sound_id);
    put_f32(w, "priority", sound->priority);
    put_f32(w, "probability", sound->probability);
    put_f32(w, "volume", sound->volume);
  }
  // A decoded hook's payload is its stored bytes and their padding.
  const std::size_t stored = std::min(ft::stored_payload_size(hook).value_or(hook.payload.size()), hook.payload.size());
  const std::size_t covered = std::min(covered_bytes(hook.hook_type), stored);
  const std::span<const std::uint8_t> payload(hook.payload);
  if (!all_zero(payload.subspan(covered, stored - covered)))
    w.key("payload_rest").hex_bytes(payload.subspan(covered, stored - covered));
  if (!all_zero(payload.subspan(stored))) w.key("payload_padding").hex_bytes(payload.subspan(stored));
  w.end_object();
}

void put(JsonWriter& w, const ft::AnimationFrame& frame) {
  w.begin_object();
  put_list(w.key("part_frames"), frame.part_frames, [&w](const Frame& f) { put(w, f); });
  put_list(w.key("hooks"), frame.hooks, [&w](const ft::AnimationHook& h) { put(w, h); });
  w.end_object();
}

// --- reading ------------------------------------------------------------------------

RecordResult<std::uint32_t> u32_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kU32, as_u32);
}
RecordResult<std::int32_t> i32_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kI32, [](const JsonValue& v) { return v.i32(); });
}
RecordResult<std::uint16_t> u16_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kU16, as_u16);
}
RecordResult<std::uint8_t> u8_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kU8, as_u8);
}
RecordResult<bool> boolean_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kBoolean, [](const JsonValue& v) { return v.boolean(); });
}
RecordResult<std::uint32_t> hex_member(JsonObject& o, std::string_view name) {
  return read_member(o, name, expect::kHexWord, as_hex);
}

RecordResult<std::uint32_t> optional_id_member(JsonObject& o, std::string_view name) {
  static constexpr std::string_view kWhat = "null or a file id: \"0x\" and 1 to 8 hex digits";
  return read_member(o, name, kWhat, [](const JsonValue& v) -> RecordResult<std::uint32_t> {
    if (v.is_null()) return 0u;
    auto id = v.hex_word();
    if (!id) return v.fail(kWhat);
    return *id;
  });
}

RecordResult<float> f32_member(JsonObject& o, std::string_view name) {
  float value = 0;
  RAVELIN_TRY(value, read_member(o, name, expect::kF32, [](const JsonValue& v) { return v.f32(); }));
  auto bits = o.optional(name, "_bits");
  if (!bits) return std::unexpected(bits.error());
  if (!*bits) return value;
  std::uint32_t raw = 0;
  RAVELIN_TRY(raw, (*bits)->hex_word());
  if (!std::isnan(value)) return (*bits)->fail("no bits: " + std::string(name) + " is not \"NaN\"");
  if (!std::isnan(std::bit_cast<float>(raw))) return (*bits)->fail("the bits of a NaN");
  return std::bit_cast<float>(raw);
}

RecordResult<double> f64_member(JsonObject& o, std::string_view name) {
  double value = 0;
  RAVELIN_TRY(value, read_member(o, name, expect::kF64, [](const JsonValue& v) { return v.f64(); }));
  auto bits = o.optional(name, "_bits");
  if (!bits) return std::unexpected(bits.error());
  if (!*bits) return value;
  std::uint64_t raw = 0;
  RAVELIN_TRY(raw, (*bits)->hex_word64());
  if (!std::isnan(value)) return (*bits)->fail("no bits: " + std::string(name) + " is not \"NaN\"");
  if (!std::isnan(std::bit_cast<double>(raw))) return (*bits)->fail("the bits of a NaN");
  return std::bit_cast<double>(raw);
}

RecordResult<common::Vector3> read_vector3(const JsonValue& v) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  common::Vector3 out;
  RAVELIN_TRY(out.x, f32_member(*o, "x"));
  RAVELIN_TRY(out.y, f32_member(*o, "y"));
  RAVELIN_TRY(out.z, f32_member(*o, "z"));
  RAVELIN_TRY_VOID(o->finish());
  return out;
}

RecordResult<common::Quaternion> read_quaternion(const JsonValue& v) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  common::Quaternion out;
  RAVELIN_TRY(out.w, f32_member(*o, "w"));
  RAVELIN_TRY(out.x, f32_member(*o, "x"));
  RAVELIN_TRY(out.y, f32_member(*o, "y"));
  RAVELIN_TRY(out.z, f32_member(*o, "z"));
  RAVELIN_TRY_VOID(o->finish());
  return out;
}

RecordResult<common::Sphere> read_sphere(const JsonValue& v) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  common::Sphere out;
  RAVELIN_TRY(out.center, read_member(*o, "center", expect::kObject, read_vector3));
  RAVELIN_TRY(out.radius, f32_member(*o, "radius"));
  RAVELIN_TRY_VOID(o->finish());
  return out;
}

template <class FrameLike>
RecordResult<FrameLike> read_frame_like(const JsonValue& v) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  FrameLike out;
  RAVELIN_TRY(out.origin, read_member(*o, "origin", expect::kObject, read_vector3));
  RAVELIN_TRY(out.orientation, read_member(*o, "orientation", expect::kObject, read_quaternion));
  RAVELIN_TRY_VOID(o->finish());
  return out;
}

RecordResult<Frame> read_frame(const JsonValue& v) { return read_frame_like<Frame>(v); }
RecordResult<LandblockFrame> read_landblock_frame(const JsonValue& v) { return read_frame_like<LandblockFrame>(v); }

namespace {

// The stored bytes of a text: `bytes` (checked against the text) when given,
// else the text's own encoding.
RecordResult<std::string> text_bytes(std::string_view text, const std::optional<JsonValue>& bytes) {
  if (!bytes || bytes->is_null()) return ft::encoded_text(text);
  Bytes raw;
  RAVELIN_TRY(raw, bytes->hex_bytes());
  std::string out(raw.begin(), raw.end());
  if (ft::decoded_text(out) != text)
    return bytes->fail("bytes that decode to the text beside them");
  return out;
}

RecordResult<SkippedBytes> skipped_of(const std::optional<JsonValue>& value) {
  if (!value || value->is_null()) return SkippedBytes{};
  Bytes bytes;
  RAVELIN_TRY(bytes, value->hex_bytes());
  return SkippedBytes{std::move(bytes)};
}

// The optional list `texts` + `suffix` beside a list of `size` texts. The
// values of the array point into it: keep it while they are used.
RecordResult<std::optional<JsonArray>> parallel_list(JsonObject& o, std::string_view texts, std::string_view suffix,
                                                     std::size_t size) {
  auto member = o.optional(texts, suffix);
  if (!member) return std::unexpected(member.error());
  if (!*member) return std::optional<JsonArray>();
  auto array = (*member)->array();
  if (!array) return std::unexpected(array.error());
  if (array->size() != size)
    return (*member)->fail(std::to_string(size) + " entries, one per entry of " + std::string(texts) + ", found " +
                           std::to_string(array->size()));
  return std::optional<JsonArray>(std::move(*array));
}

// The next value of an optional parallel list's cursor, or nothing.
std::optional<JsonValue> next_of(std::optional<JsonArray::Cursor>& cursor) {
  if (!cursor) return std::nullopt;
  std::optional<JsonValue> value = cursor->value();
  cursor->next();
  return value;
}

}  // namespace

RecordResult<StoredText> text_member(JsonObject& o, std::string_view name) {
  std::string_view text;
  RAVELIN_TRY(text, read_member(o, name, expect::kText, [](const JsonValue& v) { return v.text(); }));
  auto bytes = o.optional(name, "_bytes");
  if (!bytes) return std::unexpected(bytes.error());
  auto padding = o.optional(name, "_padding");
  if (!padding) return std::unexpected(padding.error());
  StoredText out;
  RAVELIN_TRY(out.bytes, text_bytes(text, *bytes));
  RAVELIN_TRY(out.padding, skipped_of(*padding));
  return out;
}

RecordResult<std::vector<StoredText>> texts_member(JsonObject& o, std::string_view name) {
  auto list = o.required(name, expect::kArray);
  if (!list) return std::unexpected(list.error());
  auto texts = list->array();
  if (!texts) return std::unexpected(texts.error());
  // The lists beside it name each entry's bytes and padding by index: they are
  // checked before the texts are read, but their values stay inside them.
  auto bytes = parallel_list(o, name, "_bytes", texts->size());
  if (!bytes) return std::unexpected(bytes.error());
  auto padding = parallel_list(o, name, "_padding", texts->size());
  if (!padding) return std::unexpected(padding.error());
  std::optional<JsonArray::Cursor> bytes_at, padding_at;
  if (*bytes) bytes_at = (*bytes)->first();
  if (*padding) padding_at = (*padding)->first();
  std::vector<StoredText> out(texts->size());
  for (JsonArray::Cursor element = texts->first(); element; element.next()) {
    StoredText& stored = out[element.index()];
    std::string_view text;
    RAVELIN_TRY(text, element.value().text());
    RAVELIN_TRY(stored.bytes, text_bytes(text, next_of(bytes_at)));
    RAVELIN_TRY(stored.padding, skipped_of(next_of(padding_at)));
  }
  return out;
}

RecordResult<SkippedBytes> skipped_member(JsonObject& o, std::string_view name) {
  auto member = o.optional(name);
  if (!member) return std::unexpected(member.error());
  if (!*member) return SkippedBytes{};
  Bytes bytes;
  RAVELIN_TRY(bytes, (*member)->hex_bytes());
  return SkippedBytes{std::move(bytes)};
}

RecordResult<Bytes> trailing_member(JsonObject& o) {
  auto member = o.optional("trailing_bytes");
  if (!member) return std::unexpected(member.error());
  if (!*member) return Bytes{};
  return (*member)->hex_bytes();
}

RecordResult<ft::AnimationHook> read_hook(const JsonValue& v) {
  auto object = v.object();
  if (!object) return std::unexpected(object.error());
  JsonObject& o = *object;
  ft::AnimationHook hook;
  auto type = o.required("hook_type", expect::kU32);
  if (!type) return std::unexpected(type.error());
  RAVELIN_TRY(hook.hook_type, type->u32());
  const auto base = ft::hook_payload_size(hook.hook_type);
  if (!base) return type->fail("a hook type from 0 to " + std::to_string(ft::kMaxAnimationHookType));
  RAVELIN_TRY(hook.hook_word, u32_member(o, "hook_word"));
  // The payload as hex is written for people; the fields are what is read.
  RAVELIN_TRY_VOID(o.optional("payload"));

  Bytes& payload = hook.payload;
  switch (hook.hook_type) {
    case ft::kCreateParticleHook:
    case ft::kCreateBlockingParticleHook: {
      std::uint32_t emitter = 0, part = 0;
      RAVELIN_TRY(emitter, hex_member(o, "emitter_id"));
      RAVELIN_TRY(part, u32_member(o, "part_index"));
      append_u32(payload, emitter);
      append_u32(payload, part);
      break;
    }
    case ft::kSoundTableHook: {
      std::uint32_t sound = 0;
      RAVELIN_TRY(sound, hex_member(o, "sound_id"));
      append_u32(payload, sound);
      for (const std::string_view name : {"priority", "probability", "volume"}) {
        float value = 0;
        RAVELIN_TRY(value, f32_member(o, name));
        append_u32(payload, std::bit_cast<std::uint32_t>(value));
      }
      break;
    }
    case ft::kSoundHook: {
      std::uint32_t sound = 0;
      RAVELIN_TRY(sound, hex_member(o, "sound_id"));
      append_u32(payload, sound);
      RAVELIN_TRY_VOID(check_fixed(o, "priority", 0.0f));
      RAVELIN_TRY_VOID(check_fixed(o, "probability", 1.0f));
      RAVELIN_TRY_VOID(check_fixed(o, "volume", 1.0f));
      break;
    }
    default: break;
  }

  const std::size_t rest_size = *base - covered_bytes(hook.hook_type);
  auto rest = o.optional("payload_rest");
  if (!rest) return std::unexpected(rest.error());
  if (*rest) {
    Bytes bytes;
    RAVELIN_TRY(bytes, (*rest)->hex_bytes());
    // A replace-object payload is 5 bytes when its word (bytes 1-2) has its top bit.
    const std::size_t expected = hook.hook_type != kReplaceObjectHook ? rest_size
                                 : bytes.size() >= 3 && (bytes[2] & 0x80) != 0 ? 5
                                                                                : 3;
    if (bytes.size() != expected)
      return (*rest)->fail(std::to_string(expected) + " bytes for hook type " + std::to_string(hook.hook_type) +
                           (hook.hook_type == kReplaceObjectHook ? " (5 when byte 2 has its top bit)" : "") +
                           ", found " + std::to_string(bytes.size()));
    payload.insert(payload.end(), bytes.begin(), bytes.end());
  } else {
    payload.resize(payload.size() + rest_size, 0);
  }

  const std::size_t padding_size = ft::hook_padding_size(payload.size());
  auto padding = o.optional("payload_padding");
  if (!padding) return std::unexpected(padding.error());
  if (*padding) {
    Bytes bytes;
    RAVELIN_TRY(bytes, (*padding)->hex_bytes());
    if (bytes.size() != padding_size)
      return (*padding)->fail(std::to_string(padding_size) + " bytes, found " + std::to_string(bytes.size()));
    payload.insert(payload.end(), bytes.begin(), bytes.end());
  } else {
    payload.resize(payload.size() + padding_size, 0);
  }
  RAVELIN_TRY_VOID(o.finish());
  return hook;
}

RecordResult<ft::AnimationFrame> read_anim_frame(const JsonValue& v) {
  auto o = v.object();
  if (!o) return std::unexpected(o.error());
  ft::AnimationFrame frame;
  RAVELIN_TRY(frame.part_frames, read_member(*o, "part_frames", expect::kArray,
                                             [](const JsonValue& list) { return read_list<Frame>(list, read_frame); }));
  RAVELIN_TRY(frame.hooks,
              read_member(*o, "hooks", expect::kArray,
                          [](const JsonValue& list) { return read_list<ft::AnimationHook>(list, read_hook); }));
  RAVELIN_TRY_VOID(o->finish());
  return frame;
}

}  // namespace ravelin::dat
