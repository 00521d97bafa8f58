// Animation: a sequence of frames, each with one Frame per part and the hooks
// fired at that frame, optionally with an object frame per animation frame.
#pragma once

#include <cstdint>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/graphics.h"

namespace ravelin::dat::file_type {

struct Animation {
  std::uint32_t id = 0;
  bool has_object_frames = false;  // bit 0 of the flags word; the rest is dropped
  std::uint32_t part_count = 0;
  std::uint32_t frame_count = 0;
  std::vector<Frame> object_frames;    // frame_count entries when has_object_frames
  std::vector<AnimationFrame> frames;  // index = frame number

  // Decodes one animation from the file's first byte; trailing bytes are not
  // examined. Errors of nested records come back unchanged.
  static common::ReadResult<Animation> read(common::Reader& reader);
  bool operator==(const Animation&) const = default;
};

}  // namespace ravelin::dat::file_type
