// Plain descriptions of the geometry records for the record encoders. Every
// float is held as its 32-bit pattern, so a test can place NaN or -0.0 exactly;
// a float value converts implicitly.
#pragma once

#include <bit>
#include <cstdint>

#include "dat_writer/byte_writer.h"
#include "ravelin/common/math.h"
#include "ravelin/dat/graphics.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::dat_writer {

struct F32 {
  std::uint32_t bits = 0;

  constexpr F32() = default;
  constexpr F32(float value) : bits(std::bit_cast<std::uint32_t>(value)) {}  // NOLINT: implicit
  static constexpr F32 from_bits(std::uint32_t raw) {
    F32 f;
    f.bits = raw;
    return f;
  }
  bool operator==(const F32&) const = default;
};

// The same for a 64-bit float.
struct F64 {
  std::uint64_t bits = 0;

  constexpr F64() = default;
  constexpr F64(double value) : bits(std::bit_cast<std::uint64_t>(value)) {}  // NOLINT: implicit
  static constexpr F64 from_bits(std::uint64_t raw) {
    F64 f;
    f.bits = raw;
    return f;
  }
  bool operator==(const F64&) const = default;
};

struct Vec3Def {
  F32 x, y, z;
};

// Identity by default (w is written first).
struct QuatDef {
  F32 w = 1.0f, x, y, z;
};

struct FrameDef {
  Vec3Def origin;
  QuatDef orientation;
};

struct SphereDef {
  Vec3Def center;
  F32 radius;
};

// 12, 16, 28 and 16 bytes.
void write_vec3(ByteWriter& out, const Vec3Def& v);
void write_quat(ByteWriter& out, const QuatDef& q);
void write_frame(ByteWriter& out, const FrameDef& f);
void write_sphere(ByteWriter& out, const SphereDef& s);

// The library's records of the same values, bit for bit (for its encoders).
float as_float(F32 f);
double as_double(F64 f);
common::Vector3 as_vector3(const Vec3Def& v);
common::Quaternion as_quaternion(const QuatDef& q);
common::Sphere as_sphere(const SphereDef& s);
dat::Frame as_frame(const FrameDef& f);
dat::LandblockFrame as_landblock_frame(const FrameDef& f);

}  // namespace ravelin::dat_writer
