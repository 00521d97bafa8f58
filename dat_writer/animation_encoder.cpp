#include "dat_writer/animation_encoder.h"

namespace ravelin::dat_writer {

std::vector<std::uint8_t> encode_animation(const AnimationDef& animation) {
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
