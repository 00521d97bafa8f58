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

}  // namespace ravelin::dat_writer
