// Plain single-precision geometry records, read exactly as stored (nothing is
// normalised or validated).
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::common {

struct Vector3 {
  float x = 0, y = 0, z = 0;

  static ReadResult<Vector3> read(Reader& reader);
  bool operator==(const Vector3&) const = default;
};

// The scalar part `w` comes first in the file.
struct Quaternion {
  float w = 0, x = 0, y = 0, z = 0;

  static ReadResult<Quaternion> read(Reader& reader);
  bool operator==(const Quaternion&) const = default;
};

struct Sphere {
  Vector3 center;
  float radius = 0;

  static ReadResult<Sphere> read(Reader& reader);
  bool operator==(const Sphere&) const = default;
};

}  // namespace ravelin::common
