#include "ravelin/dat/file_type/animation_encoder.h"

#include <string>

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat::file_type {

common::ReadResult<StoredAnimation> StoredAnimation::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredAnimation a;
  RAVELIN_TRY(a.id, reader.read_u32());
  RAVELIN_TRY(a.flags, reader.read_u32());
  RAVELIN_TRY(a.part_count, reader.read_u32());
  std::uint32_t frame_count = 0;
  RAVELIN_TRY(frame_count, reader.read_u32());
  if (a.flags & 0x1)
    RAVELIN_TRY(a.object_frames, common::read_list<Frame>(reader, frame_count, 28, Frame::read));
  const std::uint32_t part_count = a.part_count;
  RAVELIN_TRY(a.frames, common::read_list<AnimationFrame>(
                            reader, frame_count, 4 + 28 * std::uint64_t{part_count},
                            [part_count](common::Reader& r) { return AnimationFrame::read(r, part_count); }));
  a.trailing = trailing_bytes(reader);
  return a;
}

RecordResult<Bytes> encode_animation(const StoredAnimation& a) {
  const RecordPath root;
  RecordOutput out;
  const RecordPath frames(root, "frames");
  RAVELIN_TRY_VOID(check_count(a.frames.size(), 0xFFFFFFFF, frames));
  const std::size_t object_frames = (a.flags & 0x1) != 0 ? a.frames.size() : 0;
  if (a.object_frames.size() != object_frames)
    return RecordPath(root, "object_frames")
        .fail("expected " + std::to_string(object_frames) + " entries (" +
              ((a.flags & 0x1) != 0 ? "one per frame: has_object_frames" : "none: not has_object_frames") +
              "), found " + std::to_string(a.object_frames.size()));
  out.u32(a.id);
  out.u32(a.flags);
  out.u32(a.part_count);
  out.u32(static_cast<std::uint32_t>(a.frames.size()));
  for (const Frame& f : a.object_frames) write_frame(out, f);
  for (std::size_t i = 0; i < a.frames.size(); ++i)
    RAVELIN_TRY_VOID(write_anim_frame(out, a.frames[i], a.part_count, frames / i));
  return std::move(out).finish(a.trailing);
}

}  // namespace ravelin::dat::file_type
