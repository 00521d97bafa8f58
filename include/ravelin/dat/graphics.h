// Frame: a position and an orientation, shared by setup models and animations.
#pragma once

#include "ravelin/common/math.h"

namespace ravelin::dat {

struct Frame {
  common::Vector3 origin;
  common::Quaternion orientation;

  // 28 bytes: origin (12), then orientation (16, w first).
  static common::ReadResult<Frame> read(common::Reader& reader);
  bool operator==(const Frame&) const = default;
};

}  // namespace ravelin::dat
