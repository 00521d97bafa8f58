#include "dat_writer/animation_encoder.h"

#include "ravelin/dat/file_type/animation_encoder.h"
#include "ravelin/dat/file_type/physics_script_encoder.h"

namespace ravelin::dat_writer {
namespace {

namespace ft = dat::file_type;

// Object frames count only under flags bit 0, as the hand writer writes them.
ft::StoredAnimation stored_animation(const AnimationDef& animation) {
  ft::StoredAnimation a;
  a.id = animation.id;
  a.flags = animation.flags;
  a.part_count = animation.part_count;
  if (animation.flags & 0x1)
    for (const FrameDef& f : animation.object_frames) a.object_frames.push_back(as_frame(f));
  for (const AnimFrameDef& f : animation.frames) a.frames.push_back(as_anim_frame(f));
  return a;
}

ft::StoredPhysicsScript stored_script(const PhysicsScriptDef& script) {
  ft::StoredPhysicsScript s;
  s.id = script.id;
  for (const ScriptEntryDef& e : script.entries)
    s.script_data.push_back({as_double(e.start_time), as_hook(e.hook)});
  return s;
}

}  // namespace

// The library's encoders where they take the description; frames of another
// part count, object frames that disagree with the frames and malformed hooks
// are written by hand.
std::vector<std::uint8_t> encode_animation(const AnimationDef& animation) {
  if (auto bytes = ft::encode_animation(stored_animation(animation))) return std::move(*bytes);
  ByteWriter out;
  out.u32(animation.id)
      .u32(animation.flags)
      .u32(animation.part_count)
      .u32(static_cast<std::uint32_t>(animation.frames.size()));
  if (animation.flags & 0x1)
    for (const auto& frame : animation.object_frames) write_frame(out, frame);
  for (const auto& frame : animation.frames) write_anim_frame(out, frame);
  return out.take();
}

std::vector<std::uint8_t> encode_physics_script(const PhysicsScriptDef& script) {
  if (auto bytes = ft::encode_physics_script(stored_script(script))) return std::move(*bytes);
  ByteWriter out;
  out.u32(script.id).u32(static_cast<std::uint32_t>(script.entries.size()));
  for (const auto& entry : script.entries) {
    out.f64_bits(entry.start_time.bits);
    write_hook(out, entry.hook);
  }
  return out.take();
}

AnimationDef animation_with_hooks(std::uint32_t id, std::uint32_t part_count,
                                   std::vector<std::vector<HookDef>> hooks_per_frame) {
  AnimationDef animation;
  animation.id = id;
  animation.part_count = part_count;
  for (auto& hooks : hooks_per_frame)
    animation.frames.push_back(anim_frame_with(part_count, std::move(hooks)));
  return animation;
}

PhysicsScriptDef physics_script_of(std::uint32_t id, std::vector<ScriptEntryDef> entries) {
  PhysicsScriptDef script;
  script.id = id;
  script.entries = std::move(entries);
  return script;
}

}  // namespace ravelin::dat_writer
