#include "dat_writer/geometry_encoder.h"

namespace ravelin::dat_writer {

void write_vec3(ByteWriter& out, const Vec3Def& v) {
  out.f32_bits(v.x.bits).f32_bits(v.y.bits).f32_bits(v.z.bits);
}

void write_quat(ByteWriter& out, const QuatDef& q) {
  out.f32_bits(q.w.bits).f32_bits(q.x.bits).f32_bits(q.y.bits).f32_bits(q.z.bits);
}

void write_frame(ByteWriter& out, const FrameDef& f) {
  write_vec3(out, f.origin);
  write_quat(out, f.orientation);
}

void write_sphere(ByteWriter& out, const SphereDef& s) {
  write_vec3(out, s.center);
  out.f32_bits(s.radius.bits);
}

float as_float(F32 f) { return std::bit_cast<float>(f.bits); }
double as_double(F64 f) { return std::bit_cast<double>(f.bits); }

common::Vector3 as_vector3(const Vec3Def& v) { return {as_float(v.x), as_float(v.y), as_float(v.z)}; }

common::Quaternion as_quaternion(const QuatDef& q) {
  common::Quaternion out;
  out.w = as_float(q.w);
  out.x = as_float(q.x);
  out.y = as_float(q.y);
  out.z = as_float(q.z);
  return out;
}

common::Sphere as_sphere(const SphereDef& s) { return {as_vector3(s.center), as_float(s.radius)}; }

dat::Frame as_frame(const FrameDef& f) { return {as_vector3(f.origin), as_quaternion(f.orientation)}; }

dat::LandblockFrame as_landblock_frame(const FrameDef& f) {
  return {as_vector3(f.origin), as_quaternion(f.orientation)};
}

}  // namespace ravelin::dat_writer
