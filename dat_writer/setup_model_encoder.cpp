#include "dat_writer/setup_model_encoder.h"

#include "ravelin/dat/file_type/setup_model_encoder.h"

namespace ravelin::dat_writer {
namespace {

namespace ft = dat::file_type;

// The setup as the library holds it. part_refs and part_vectors count only
// under their flags, as the hand writer writes them.
ft::StoredSetupModel stored_setup(const SetupDef& setup) {
  ft::StoredSetupModel m;
  m.id = setup.id;
  m.flags = setup.flags;
  m.parts = setup.parts;
  if (setup.flags & 0x1) m.part_refs = setup.part_refs;
  if (setup.flags & 0x2)
    for (const Vec3Def& v : setup.part_vectors) m.part_vectors.push_back(as_vector3(v));
  const auto location = [](const LocationDef& l) { return ft::LocationType{l.part_id, as_frame(l.frame)}; };
  for (const auto& [key, l] : setup.locations_1) m.locations_1.push_back({key, location(l)});
  for (const auto& [key, l] : setup.locations_2) m.locations_2.push_back({key, location(l)});
  for (const auto& [key, frame] : setup.placements)
    m.placements.push_back({key, ft::PlacementType{as_anim_frame(frame)}});
  for (const CylSphereDef& c : setup.cyl_spheres) m.cyl_spheres.push_back({as_vector3(c.origin), c.radius.bits, c.height.bits});
  for (const SphereDef& s : setup.spheres) m.spheres.push_back(as_sphere(s));
  m.scalars = setup.scalars;
  m.sphere_1 = as_sphere(setup.sphere_1);
  m.sphere_2 = as_sphere(setup.sphere_2);
  for (const auto& [key, l] : setup.lights)
    m.lights.push_back({key, ft::LightInfo{as_frame(l.viewer_space_location), l.color, l.intensity.bits,
                                           l.falloff.bits, l.cone_angle.bits}});
  m.default_id_1 = setup.default_id_1;
  m.default_script_id = setup.default_script_id;
  m.motion_table_id = setup.motion_table_id;
  m.default_id_4 = setup.default_id_4;
  m.default_id_5 = setup.default_id_5;
  return m;
}

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
  // The library's encoder, unless the description asks for bytes it refuses
  // (a placement count of its own, lists that disagree with the part count,
  // malformed hooks).
  if (!setup.placement_count)
    if (auto bytes = ft::encode_setup_model(stored_setup(setup))) return std::move(*bytes);
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
