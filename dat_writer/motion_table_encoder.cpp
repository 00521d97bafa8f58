#include "dat_writer/motion_table_encoder.h"

namespace ravelin::dat_writer {
namespace {

void write_map(ByteWriter& out, const std::vector<MotionEntryDef>& entries) {
  out.u32(static_cast<std::uint32_t>(entries.size()));
  for (const auto& [key, data] : entries) {
    const std::uint8_t flags = static_cast<std::uint8_t>(
        (data.vector_1 ? 0x1 : 0) | (data.vector_2 ? 0x2 : 0) | data.extra_flags);
    out.u32(key).u8(static_cast<std::uint8_t>(data.anims.size())).u8(data.aux_byte).u8(flags);
    while (out.size() % 4 != 0) out.u8(data.alignment_fill);
    for (const auto& anim : data.anims)
      out.u32(anim.anim_id).i32(anim.start_frame).i32(anim.end_frame).u32(anim.word_4);
    if (data.vector_1) write_vec3(out, *data.vector_1);
    if (data.vector_2) write_vec3(out, *data.vector_2);
  }
}

}  // namespace

std::vector<std::uint8_t> encode_motion_table(const MotionTableDef& table) {
  ByteWriter out;
  out.u32(table.id).u32(table.default_stance).u32(static_cast<std::uint32_t>(table.key_pairs.size()));
  for (const auto& [key, value] : table.key_pairs) out.u32(key).u32(value);
  write_map(out, table.motion_data_0);
  write_map(out, table.motion_data_1);
  out.u32(static_cast<std::uint32_t>(table.links.size()));
  for (const auto& link : table.links) {
    out.u32(link.outer_key);
    write_map(out, link.entries);
  }
  return out.take();
}

MotionDataDef motion_data_playing(std::vector<std::uint32_t> anim_ids) {
  MotionDataDef data;
  for (auto id : anim_ids) {
    AnimRefDef anim;
    anim.anim_id = id;
    data.anims.push_back(anim);
  }
  return data;
}

}  // namespace ravelin::dat_writer
