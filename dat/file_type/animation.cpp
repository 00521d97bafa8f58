#include "ravelin/dat/file_type/animation.h"

namespace ravelin::dat::file_type {

common::ReadResult<Animation> Animation::read(common::Reader& reader) {
  Animation a;
  RAVELIN_TRY(a.id, reader.read_u32());
  std::uint32_t flags = 0;
  RAVELIN_TRY(flags, reader.read_u32());
  a.has_object_frames = (flags & 0x1) != 0;
  RAVELIN_TRY(a.part_count, reader.read_u32());
  RAVELIN_TRY(a.frame_count, reader.read_u32());

  if (a.has_object_frames) {
    a.object_frames.reserve(reader.bounded_count(a.frame_count, 28));
    for (std::uint32_t n = 0; n < a.frame_count; ++n) {
      Frame frame;
      RAVELIN_TRY(frame, Frame::read(reader));
      a.object_frames.push_back(frame);
    }
  }
  // Each frame holds at least its part frames and its hook count.
  a.frames.reserve(reader.bounded_count(a.frame_count, 4 + 28 * std::uint64_t{a.part_count}));
  for (std::uint32_t n = 0; n < a.frame_count; ++n) {
    AnimationFrame frame;
    RAVELIN_TRY(frame, AnimationFrame::read(reader, a.part_count));
    a.frames.push_back(std::move(frame));
  }
  return a;
}

}  // namespace ravelin::dat::file_type
