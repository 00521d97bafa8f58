#include "dat/record_json_animation.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;

constexpr std::uint32_t kHasObjectFrames = 0x1;

}  // namespace

void put(JsonWriter& w, const ft::StoredAnimation& a) {
  w.begin_object();
  w.key("id").hex_word(a.id);
  w.key("has_object_frames").boolean((a.flags & kHasObjectFrames) != 0);
  // The decoder keeps bit 0 alone.
  if ((a.flags & ~kHasObjectFrames) != 0) w.key("other_flags").number(a.flags & ~kHasObjectFrames);
  w.key("part_count").number(a.part_count);
  w.key("frame_count").number(a.frames.size());
  put_list(w.key("object_frames"), a.object_frames, [&w](const Frame& f) { put(w, f); });
  put_list(w.key("frames"), a.frames, [&w](const ft::AnimationFrame& f) { put(w, f); });
  put_trailing(w, a.trailing);
  w.end_object();
}

RecordResult<ft::StoredAnimation> read_animation(const JsonValue& document) {
  return read_object<ft::StoredAnimation>(document, [](JsonObject& o, ft::StoredAnimation& a) -> RecordResult<void> {
    RAVELIN_TRY(a.id, hex_member(o, "id"));
    bool object_frames = false;
    RAVELIN_TRY(object_frames, boolean_member(o, "has_object_frames"));
    auto other = o.optional("other_flags");
    if (!other) return std::unexpected(other.error());
    if (*other) {
      RAVELIN_TRY(a.flags, (*other)->u32());
      if ((a.flags & kHasObjectFrames) != 0)
        return (*other)->fail("a word without bit 0x1 (that is has_object_frames)");
    }
    if (object_frames) a.flags |= kHasObjectFrames;
    RAVELIN_TRY(a.part_count, u32_member(o, "part_count"));
    auto count = o.required("frame_count", expect::kU32);
    if (!count) return std::unexpected(count.error());
    std::uint32_t frame_count = 0;
    RAVELIN_TRY(frame_count, count->u32());
    RAVELIN_TRY(a.object_frames, list_member<Frame>(o, "object_frames", read_frame));
    RAVELIN_TRY(a.frames, list_member<ft::AnimationFrame>(o, "frames", read_anim_frame));
    if (a.frames.size() != frame_count)
      return count->fail(std::to_string(a.frames.size()) + ", the number of frames");
    RAVELIN_TRY(a.trailing, trailing_member(o));
    return {};
  });
}

void put(JsonWriter& w, const ft::StoredPhysicsScript& s) {
  w.begin_object();
  w.key("id").hex_word(s.id);
  put_list(w.key("script_data"), s.script_data, [&w](const ft::PhysicsScriptData& d) {
    w.begin_object();
    put_f64(w, "start_time", d.start_time);
    put(w.key("hook"), d.hook);
    w.end_object();
  });
  put_trailing(w, s.trailing);
  w.end_object();
}

RecordResult<ft::StoredPhysicsScript> read_physics_script(const JsonValue& document) {
  return read_object<ft::StoredPhysicsScript>(document, [](JsonObject& o, ft::StoredPhysicsScript& s) -> RecordResult<void> {
    RAVELIN_TRY(s.id, hex_member(o, "id"));
    RAVELIN_TRY(s.script_data, list_member<ft::PhysicsScriptData>(o, "script_data", [](const JsonValue& e) {
                  return read_object<ft::PhysicsScriptData>(e, [](JsonObject& d, ft::PhysicsScriptData& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.start_time, f64_member(d, "start_time"));
                    RAVELIN_TRY(out.hook, read_member(d, "hook", expect::kObject, read_hook));
                    return {};
                  });
                }));
    RAVELIN_TRY(s.trailing, trailing_member(o));
    return {};
  });
}

}  // namespace ravelin::dat
