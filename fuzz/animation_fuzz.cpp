// Animation decoder: frame_count frames of part_count part frames and hooks.
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/animation.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(animation) {
  ravelin::common::Reader reader({data, size});
  auto animation = ravelin::dat::file_type::Animation::read(reader);
  if (animation) {
    RAVELIN_FUZZ_CHECK("animation", animation->frames.size() == animation->frame_count);
    RAVELIN_FUZZ_CHECK("animation", animation->object_frames.size() ==
                                        (animation->has_object_frames ? animation->frame_count : 0u));
  }
  return 0;
}
