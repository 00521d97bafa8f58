#include "ravelin/common/math.h"

namespace ravelin::common {
namespace {
constexpr const char* kPath = "common/math";
}

ReadResult<Vector3> Vector3::read(Reader& reader) {
  RecordScope rec(reader, "Vector3", kPath);
  Vector3 v;
  RAVELIN_FIELD(rec, v.x, "x", reader.read_f32());
  RAVELIN_FIELD(rec, v.y, "y", reader.read_f32());
  RAVELIN_FIELD(rec, v.z, "z", reader.read_f32());
  return v;
}

ReadResult<Quaternion> Quaternion::read(Reader& reader) {
  RecordScope rec(reader, "Quaternion", kPath);
  Quaternion q;
  RAVELIN_FIELD(rec, q.w, "w", reader.read_f32());
  RAVELIN_FIELD(rec, q.x, "x", reader.read_f32());
  RAVELIN_FIELD(rec, q.y, "y", reader.read_f32());
  RAVELIN_FIELD(rec, q.z, "z", reader.read_f32());
  return q;
}

ReadResult<Sphere> Sphere::read(Reader& reader) {
  RecordScope rec(reader, "Sphere", kPath);
  Sphere s;
  RAVELIN_FIELD(rec, s.center, "center", Vector3::read(reader));
  RAVELIN_FIELD(rec, s.radius, "radius", reader.read_f32());
  return s;
}

}  // namespace ravelin::common
