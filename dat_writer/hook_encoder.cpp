#include "dat_writer/hook_encoder.h"

namespace ravelin::dat_writer {
namespace {

void append_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::optional<std::uint32_t> standard_payload_size(std::uint32_t type) {
  switch (type) {
    case 0: case 4: case 17:
      return 0;
    case 1: case 2: case 6: case 14: case 15: case 16: case 18: case 25:
      return 4;
    case 3:
      return 28;
    case 5:
      return 3;
    case 7: case 9: case 11: case 21:
      return 16;
    case 8: case 10: case 20: case 22: case 24:
      return 12;
    case 12: case 19: case 23:
      return 8;
    case 13: case 26:
      return 40;
    default:
      return std::nullopt;
  }
}

HookDef hook_of_type(std::uint32_t type, std::uint32_t word) {
  HookDef hook;
  hook.type = type;
  hook.word = word;
  hook.payload.assign(standard_payload_size(type).value_or(0), 0);
  return hook;
}

HookDef sound_hook(std::uint32_t sound_id) {
  HookDef hook;
  hook.type = 1;
  append_u32(hook.payload, sound_id);
  return hook;
}

HookDef sound_table_hook(std::uint32_t sound_id, F32 priority, F32 probability, F32 volume) {
  HookDef hook;
  hook.type = 21;
  append_u32(hook.payload, sound_id);
  append_u32(hook.payload, priority.bits);
  append_u32(hook.payload, probability.bits);
  append_u32(hook.payload, volume.bits);
  return hook;
}

HookDef particle_hook(std::uint32_t emitter_id, std::uint32_t part_index, bool blocking) {
  HookDef hook;
  hook.type = blocking ? 26u : 13u;
  append_u32(hook.payload, emitter_id);
  append_u32(hook.payload, part_index);
  hook.payload.resize(40, 0);
  return hook;
}

HookDef replace_object_hook(std::uint8_t first, std::uint16_t word,
                             std::optional<std::uint16_t> extra) {
  HookDef hook;
  hook.type = 5;
  hook.payload = {first, static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
  if (extra) {
    hook.payload.push_back(static_cast<std::uint8_t>(*extra));
    hook.payload.push_back(static_cast<std::uint8_t>(*extra >> 8));
  }
  return hook;
}

void write_hook(ByteWriter& out, const HookDef& hook) {
  out.u32(hook.type).u32(hook.word).bytes(hook.payload);
  if (hook.pad) out.zeros((4 - hook.payload.size() % 4) % 4);
}

std::vector<std::uint8_t> encode_hook(const HookDef& hook) {
  ByteWriter out;
  write_hook(out, hook);
  return out.take();
}

void write_anim_frame(ByteWriter& out, const AnimFrameDef& frame) {
  for (const auto& part : frame.part_frames) write_frame(out, part);
  out.u32(static_cast<std::uint32_t>(frame.hooks.size()));
  for (const auto& hook : frame.hooks) write_hook(out, hook);
}

dat::file_type::AnimationHook as_hook(const HookDef& hook) {
  dat::file_type::AnimationHook out{hook.type, hook.word, hook.payload};
  if (hook.pad) out.payload.resize(hook.payload.size() + (4 - hook.payload.size() % 4) % 4, 0);
  return out;
}

dat::file_type::AnimationFrame as_anim_frame(const AnimFrameDef& frame) {
  dat::file_type::AnimationFrame out;
  for (const FrameDef& f : frame.part_frames) out.part_frames.push_back(as_frame(f));
  for (const HookDef& h : frame.hooks) out.hooks.push_back(as_hook(h));
  return out;
}

AnimFrameDef anim_frame_with(std::uint32_t part_count, std::vector<HookDef> hooks) {
  AnimFrameDef frame;
  frame.part_frames.resize(part_count);
  frame.hooks = std::move(hooks);
  return frame;
}

}  // namespace ravelin::dat_writer
