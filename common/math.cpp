#include "ravelin/common/math.h"

#include "common/math_frames.h"

namespace ravelin::common {

namespace frames = math_frames;

ReadResult<Vector3> Vector3::read(Reader& reader) {
  RecordScope rec(reader, frames::kVector3);
  Vector3 v;
  RAVELIN_FIELD(rec, v.x, frames::kVector3X, reader.read_f32());
  RAVELIN_FIELD(rec, v.y, frames::kVector3Y, reader.read_f32());
  RAVELIN_FIELD(rec, v.z, frames::kVector3Z, reader.read_f32());
  return v;
}

ReadResult<Quaternion> Quaternion::read(Reader& reader) {
  RecordScope rec(reader, frames::kQuaternion);
  Quaternion q;
  RAVELIN_FIELD(rec, q.w, frames::kQuaternionW, reader.read_f32());
  RAVELIN_FIELD(rec, q.x, frames::kQuaternionX, reader.read_f32());
  RAVELIN_FIELD(rec, q.y, frames::kQuaternionY, reader.read_f32());
  RAVELIN_FIELD(rec, q.z, frames::kQuaternionZ, reader.read_f32());
  return q;
}

ReadResult<Sphere> Sphere::read(Reader& reader) {
  RecordScope rec(reader, frames::kSphere);
  Sphere s;
  RAVELIN_FIELD(rec, s.center, frames::kSphereCenter, Vector3::read(reader));
  RAVELIN_FIELD(rec, s.radius, frames::kSphereRadius, reader.read_f32());
  return s;
}

}  // namespace ravelin::common
