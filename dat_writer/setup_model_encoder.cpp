#include "dat_writer/setup_model_encoder.h"

namespace ravelin::dat_writer {
namespace {

std::uint32_t count_of(std::size_t size) { return static_cast<std::uint32_t>(size); }

void write_locations(ByteWriter& out,
                     const std::vector<std::pair<std::uint32_t, LocationDef>>& entries) {
  out.u32(count_of(entries.size()));
  for (const auto& [key, location] : entries) {
    out.u32(key).u32(location.part_id);
    write_frame(out, location.frame);
  }
}

}  // namespace

std::vector<std::uint8_t> encode_setup_model(const SetupDef& setup) {
  ByteWriter out;
  out.u32(setup.id).u32(setup.flags).u32(count_of(setup.parts.size()));
  for (auto part : setup.parts) out.u32(part);
  if (setup.flags & 0x1)
    for (auto ref : setup.part_refs) out.u32(ref);
  if (setup.flags & 0x2)
    for (const auto& v : setup.part_vectors) write_vec3(out, v);
  write_locations(out, setup.locations_1);
  write_locations(out, setup.locations_2);

  out.i32(setup.placement_count.value_or(static_cast<std::int32_t>(setup.placements.size())));
  for (const auto& [key, frame] : setup.placements) {
    out.i32(key);
    write_anim_frame(out, frame);
  }

  out.u32(count_of(setup.cyl_spheres.size()));
  for (const auto& c : setup.cyl_spheres) {
    write_vec3(out, c.origin);
    out.f32_bits(c.radius.bits).f32_bits(c.height.bits);
  }
  out.u32(count_of(setup.spheres.size()));
  for (const auto& s : setup.spheres) write_sphere(out, s);
  for (auto scalar : setup.scalars) out.u32(scalar);
  write_sphere(out, setup.sphere_1);
  write_sphere(out, setup.sphere_2);
  out.u32(count_of(setup.lights.size()));
  for (const auto& [key, light] : setup.lights) {
    out.u32(key);
    write_frame(out, light.viewer_space_location);
    out.u32(light.color)
        .f32_bits(light.intensity.bits)
        .f32_bits(light.falloff.bits)
        .f32_bits(light.cone_angle.bits);
  }
  out.u32(setup.default_id_1)
      .u32(setup.default_script_id)
      .u32(setup.motion_table_id)
      .u32(setup.default_id_4)
      .u32(setup.default_id_5);
  return out.take();
}

SetupDef setup_with_parts(std::uint32_t id, std::uint32_t part_count,
                           std::uint32_t default_script_id, std::uint32_t motion_table_id) {
  SetupDef setup;
  setup.id = id;
  for (std::uint32_t i = 0; i < part_count; ++i) setup.parts.push_back(0x01000000 + i);
  setup.placements.emplace_back(0, anim_frame_with(part_count));
  setup.default_script_id = default_script_id;
  setup.motion_table_id = motion_table_id;
  return setup;
}

}  // namespace ravelin::dat_writer
