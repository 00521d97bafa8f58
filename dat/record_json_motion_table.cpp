#include "dat/record_json_motion_table.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;
// The shared writers, which this file's own put overloads would hide.
using dat::put;

constexpr std::uint8_t kKeptFlags = ft::MotionData::kHasVector1 | ft::MotionData::kHasVector2;

void put(JsonWriter& w, const ft::StoredMotionData& d) {
  w.begin_object();
  put_list(w.key("anims"), d.anims, [&w](const ft::AnimRef& a) {
    w.begin_object();
    w.key("anim_id").hex_word(a.anim_id);
    w.key("start_frame").signed_number(a.start_frame);
    w.key("end_frame").signed_number(a.end_frame);
    w.key("word_4").hex_word(a.word_4);
    w.end_object();
  });
  w.key("aux_byte").number(d.aux_byte);
  w.key("flags").number(d.flags & kKeptFlags);
  if ((d.flags & ~kKeptFlags) != 0) w.key("other_flags").number(d.flags & ~kKeptFlags);
  // The entry starts 4-aligned: one byte follows its three header bytes.
  put_skipped(w, "padding", d.padding, 1);
  w.key("vector_1");
  if (d.vector_1) put(w, *d.vector_1);
  else w.null();
  w.key("vector_2");
  if (d.vector_2) put(w, *d.vector_2);
  else w.null();
  w.end_object();
}

// Motion keys as the manifest writes `motion_key`: eight hex digits.
void put(JsonWriter& w, const ft::StoredMotionDataMap& map) {
  put_keyed(w, map, [&w](std::uint32_t key) { w.hex_word(key); }, [&w](const ft::StoredMotionData& d) { put(w, d); });
}

RecordResult<std::optional<common::Vector3>> optional_vector(JsonObject& o, std::string_view name) {
  return optional_member<common::Vector3>(o, name, read_vector3);
}

RecordResult<ft::StoredMotionData> read_motion_data(const JsonValue& v) {
  return read_object<ft::StoredMotionData>(v, [](JsonObject& o, ft::StoredMotionData& d) -> RecordResult<void> {
    RAVELIN_TRY(d.anims, list_member<ft::AnimRef>(o, "anims", [](const JsonValue& e) {
                  return read_object<ft::AnimRef>(e, [](JsonObject& a, ft::AnimRef& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.anim_id, hex_member(a, "anim_id"));
                    RAVELIN_TRY(out.start_frame, i32_member(a, "start_frame"));
                    RAVELIN_TRY(out.end_frame, i32_member(a, "end_frame"));
                    RAVELIN_TRY(out.word_4, hex_member(a, "word_4"));
                    return {};
                  });
                }));
    RAVELIN_TRY(d.aux_byte, u8_member(o, "aux_byte"));
    auto flags = o.required("flags", expect::kU8);
    if (!flags) return std::unexpected(flags.error());
    RAVELIN_TRY(d.flags, flags->u8());
    if ((d.flags & ~kKeptFlags) != 0) return flags->fail("0 to 3 (other bits go in other_flags)");
    auto other = o.optional("other_flags");
    if (!other) return std::unexpected(other.error());
    if (*other) {
      std::uint8_t bits = 0;
      RAVELIN_TRY(bits, (*other)->u8());
      if ((bits & kKeptFlags) != 0) return (*other)->fail("a byte without bits 0x1 and 0x2 (those are flags)");
      d.flags |= bits;
    }
    RAVELIN_TRY(d.padding, skipped_member(o, "padding"));
    RAVELIN_TRY(d.vector_1, optional_vector(o, "vector_1"));
    RAVELIN_TRY(d.vector_2, optional_vector(o, "vector_2"));
    return {};
  });
}

RecordResult<ft::StoredMotionDataMap> read_map(const JsonValue& v) {
  return read_keyed<std::uint32_t, ft::StoredMotionData>(v, expect::kHexWord, as_hex, expect::kObject,
                                                         read_motion_data);
}

}  // namespace

void put(JsonWriter& w, const ft::StoredMotionTable& t) {
  w.begin_object();
  w.key("id").hex_word(t.id);
  w.key("default_stance").number(t.default_stance);
  put_keyed(w.key("key_pairs"), t.key_pairs, [&w](std::uint32_t k) { w.number(k); },
            [&w](std::uint32_t v) { w.number(v); });
  put(w.key("motion_data_0"), t.motion_data_0);
  put(w.key("motion_data_1"), t.motion_data_1);
  // Outer keys as the manifest writes `link_outer_key`: a number.
  put_keyed(w.key("links"), t.links, [&w](std::uint32_t k) { w.number(k); },
            [&w](const ft::StoredMotionDataMap& inner) { put(w, inner); });
  put_trailing(w, t.trailing);
  w.end_object();
}

RecordResult<ft::StoredMotionTable> read_motion_table(const JsonValue& document) {
  return read_object<ft::StoredMotionTable>(document, [](JsonObject& o, ft::StoredMotionTable& t) -> RecordResult<void> {
    RAVELIN_TRY(t.id, hex_member(o, "id"));
    RAVELIN_TRY(t.default_stance, u32_member(o, "default_stance"));
    RAVELIN_TRY(t.key_pairs, read_member(o, "key_pairs", expect::kArray, [](const JsonValue& v) {
                  return read_keyed<std::uint32_t, std::uint32_t>(v, expect::kU32, as_u32, expect::kU32, as_u32);
                }));
    RAVELIN_TRY(t.motion_data_0, read_member(o, "motion_data_0", expect::kArray, read_map));
    RAVELIN_TRY(t.motion_data_1, read_member(o, "motion_data_1", expect::kArray, read_map));
    RAVELIN_TRY(t.links, read_member(o, "links", expect::kArray, [](const JsonValue& v) {
                  return read_keyed<std::uint32_t, ft::StoredMotionDataMap>(v, expect::kU32, as_u32, expect::kArray,
                                                                            read_map);
                }));
    RAVELIN_TRY(t.trailing, trailing_member(o));
    return {};
  });
}

}  // namespace ravelin::dat
