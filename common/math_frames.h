// Field-context frames of the geometry records of common/math: the record
// names, the unit's path and the line each field's frame carries. Kept in one
// table rather than taken from __LINE__, so that error texts are the same from
// every compiler and every arrangement of the reading code.
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::common::math_frames {

inline constexpr std::string_view kPath = "common/math";

inline constexpr RecordSite kVector3{"Vector3", kPath};
inline constexpr FieldSite kVector3X{"x", 8};
inline constexpr FieldSite kVector3Y{"y", 9};
inline constexpr FieldSite kVector3Z{"z", 10};

inline constexpr RecordSite kQuaternion{"Quaternion", kPath};
inline constexpr FieldSite kQuaternionW{"w", 121};
inline constexpr FieldSite kQuaternionX{"x", 122};
inline constexpr FieldSite kQuaternionY{"y", 123};
inline constexpr FieldSite kQuaternionZ{"z", 124};

inline constexpr RecordSite kSphere{"Sphere", kPath};
inline constexpr FieldSite kSphereCenter{"center", 410};
inline constexpr FieldSite kSphereRadius{"radius", 411};

}  // namespace ravelin::common::math_frames
