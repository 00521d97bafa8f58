#include "ravelin/dat/graphics.h"

#include "dat/graphics_frames.h"

namespace ravelin::dat {

common::ReadResult<Frame> Frame::read(common::Reader& reader) {
  namespace frames = graphics_frames;
  common::RecordScope rec(reader, frames::kFrame);
  Frame frame;
  RAVELIN_FIELD(rec, frame.origin, frames::kFrameOrigin, common::Vector3::read(reader));
  RAVELIN_FIELD(rec, frame.orientation, frames::kFrameOrientation, common::Quaternion::read(reader));
  return frame;
}

}  // namespace ravelin::dat
