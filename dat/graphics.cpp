#include "ravelin/dat/graphics.h"

namespace ravelin::dat {

common::ReadResult<Frame> Frame::read(common::Reader& reader) {
  common::RecordScope rec(reader, "Frame", "dat/graphics");
  Frame f;
  RAVELIN_FIELD(rec, f.origin, "origin", common::Vector3::read(reader));
  RAVELIN_FIELD(rec, f.orientation, "orientation", common::Quaternion::read(reader));
  return f;
}

}  // namespace ravelin::dat
