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

  if (a.has_object_frames)
    RAVELIN_TRY(a.object_frames, common::read_list<Frame>(reader, a.frame_count, 28, Frame::read));
  // Each frame holds at least its part frames and its hook count.
  const std::uint32_t part_count = a.part_count;
  RAVELIN_TRY(a.frames, common::read_list<AnimationFrame>(
                            reader, a.frame_count, 4 + 28 * std::uint64_t{part_count},
                            [part_count](common::Reader& r) { return AnimationFrame::read(r, part_count); }));
  return a;
}

}  // namespace ravelin::dat::file_type
