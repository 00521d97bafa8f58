#include "dat/record_json_setup.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;
// The shared writers, which this file's own put overloads would hide.
using dat::put;

void put_optional_id(JsonWriter& w, std::uint32_t id) {
  if (id != 0) {
    w.hex_word(id);
  } else {
    w.null();
  }
}

void put(JsonWriter& w, const ft::LocationType& l) {
  w.begin_object();
  w.key("part_id").hex_word(l.part_id);
  put(w.key("frame"), l.frame);
  w.end_object();
}

RecordResult<ft::LocationType> read_location(const JsonValue& v) {
  return read_object<ft::LocationType>(v, [](JsonObject& o, ft::LocationType& l) -> RecordResult<void> {
    RAVELIN_TRY(l.part_id, hex_member(o, "part_id"));
    RAVELIN_TRY(l.frame, read_member(o, "frame", expect::kObject, read_frame));
    return {};
  });
}

RecordResult<ft::PlacementType> read_placement(const JsonValue& v) {
  return read_object<ft::PlacementType>(v, [](JsonObject& o, ft::PlacementType& p) -> RecordResult<void> {
    RAVELIN_TRY(p.anim_frame, read_member(o, "anim_frame", expect::kObject, read_anim_frame));
    return {};
  });
}

RecordResult<ft::CylSphere> read_cyl_sphere(const JsonValue& v) {
  return read_object<ft::CylSphere>(v, [](JsonObject& o, ft::CylSphere& c) -> RecordResult<void> {
    RAVELIN_TRY(c.origin, read_member(o, "origin", expect::kObject, read_vector3));
    RAVELIN_TRY(c.radius, hex_member(o, "radius"));
    RAVELIN_TRY(c.height, hex_member(o, "height"));
    return {};
  });
}

RecordResult<ft::LightInfo> read_light(const JsonValue& v) {
  return read_object<ft::LightInfo>(v, [](JsonObject& o, ft::LightInfo& l) -> RecordResult<void> {
    RAVELIN_TRY(l.viewer_space_location, read_member(o, "viewer_space_location", expect::kObject, read_frame));
    RAVELIN_TRY(l.color, hex_member(o, "color"));
    RAVELIN_TRY(l.intensity, hex_member(o, "intensity"));
    RAVELIN_TRY(l.falloff, hex_member(o, "falloff"));
    RAVELIN_TRY(l.cone_angle, hex_member(o, "cone_angle"));
    return {};
  });
}

template <class Value, class Read>
RecordResult<std::vector<ft::Keyed<std::uint32_t, Value>>> keyed_member(JsonObject& o, std::string_view name, Read read) {
  return read_member(o, name, expect::kArray, [&](const JsonValue& v) {
    return read_keyed<std::uint32_t, Value>(v, expect::kU32, as_u32, expect::kObject, read);
  });
}

}  // namespace

void put(JsonWriter& w, const ft::StoredSetupModel& s) {
  const auto number_key = [&w](std::uint32_t key) { w.number(key); };
  const auto location = [&w](const ft::LocationType& l) { put(w, l); };
  w.begin_object();
  w.key("id").hex_word(s.id);
  w.key("flags").number(s.flags);
  put_hex_words(w.key("parts"), s.parts);
  put_numbers(w.key("part_refs"), s.part_refs);
  put_list(w.key("part_vectors"), s.part_vectors, [&w](const common::Vector3& v) { put(w, v); });
  put_keyed(w.key("locations_1"), s.locations_1, number_key, location);
  put_keyed(w.key("locations_2"), s.locations_2, number_key, location);
  put_keyed(w.key("placements"), s.placements, [&w](std::int32_t key) { w.signed_number(key); },
            [&w](const ft::PlacementType& p) {
              w.begin_object();
              put(w.key("anim_frame"), p.anim_frame);
              w.end_object();
            });
  put_list(w.key("cyl_spheres"), s.cyl_spheres, [&w](const ft::CylSphere& c) {
    w.begin_object();
    put(w.key("origin"), c.origin);
    w.key("radius").hex_word(c.radius);
    w.key("height").hex_word(c.height);
    w.end_object();
  });
  put_list(w.key("spheres"), s.spheres, [&w](const common::Sphere& sphere) { put(w, sphere); });
  put_hex_words(w.key("scalars"), s.scalars);
  put(w.key("sphere_1"), s.sphere_1);
  put(w.key("sphere_2"), s.sphere_2);
  put_keyed(w.key("lights"), s.lights, number_key, [&w](const ft::LightInfo& l) {
    w.begin_object();
    put(w.key("viewer_space_location"), l.viewer_space_location);
    w.key("color").hex_word(l.color);
    w.key("intensity").hex_word(l.intensity);
    w.key("falloff").hex_word(l.falloff);
    w.key("cone_angle").hex_word(l.cone_angle);
    w.end_object();
  });
  put_optional_id(w.key("default_id_1"), s.default_id_1);
  put_optional_id(w.key("default_script_id"), s.default_script_id);
  put_optional_id(w.key("motion_table_id"), s.motion_table_id);
  put_optional_id(w.key("default_id_4"), s.default_id_4);
  put_optional_id(w.key("default_id_5"), s.default_id_5);
  put_trailing(w, s.trailing);
  w.end_object();
}

RecordResult<ft::StoredSetupModel> read_setup_model(const JsonValue& document) {
  return read_object<ft::StoredSetupModel>(document, [](JsonObject& o, ft::StoredSetupModel& s) -> RecordResult<void> {
    RAVELIN_TRY(s.id, hex_member(o, "id"));
    RAVELIN_TRY(s.flags, u32_member(o, "flags"));
    RAVELIN_TRY(s.parts, list_member<std::uint32_t>(o, "parts", as_hex));
    RAVELIN_TRY(s.part_refs, list_member<std::uint32_t>(o, "part_refs", as_u32));
    RAVELIN_TRY(s.part_vectors, list_member<common::Vector3>(o, "part_vectors", read_vector3));
    RAVELIN_TRY(s.locations_1, keyed_member<ft::LocationType>(o, "locations_1", read_location));
    RAVELIN_TRY(s.locations_2, keyed_member<ft::LocationType>(o, "locations_2", read_location));
    RAVELIN_TRY(s.placements, read_member(o, "placements", expect::kArray, [](const JsonValue& v) {
                  return read_keyed<std::int32_t, ft::PlacementType>(
                      v, expect::kI32, [](const JsonValue& k) { return k.i32(); }, expect::kObject, read_placement);
                }));
    RAVELIN_TRY(s.cyl_spheres, list_member<ft::CylSphere>(o, "cyl_spheres", read_cyl_sphere));
    RAVELIN_TRY(s.spheres, list_member<common::Sphere>(o, "spheres", read_sphere));
    RAVELIN_TRY(s.scalars, read_member(o, "scalars", expect::kArray, [](const JsonValue& v) {
                  return read_fixed<std::uint32_t, 4>(v, as_hex);
                }));
    RAVELIN_TRY(s.sphere_1, read_member(o, "sphere_1", expect::kObject, read_sphere));
    RAVELIN_TRY(s.sphere_2, read_member(o, "sphere_2", expect::kObject, read_sphere));
    RAVELIN_TRY(s.lights, keyed_member<ft::LightInfo>(o, "lights", read_light));
    RAVELIN_TRY(s.default_id_1, optional_id_member(o, "default_id_1"));
    RAVELIN_TRY(s.default_script_id, optional_id_member(o, "default_script_id"));
    RAVELIN_TRY(s.motion_table_id, optional_id_member(o, "motion_table_id"));
    RAVELIN_TRY(s.default_id_4, optional_id_member(o, "default_id_4"));
    RAVELIN_TRY(s.default_id_5, optional_id_member(o, "default_id_5"));
    RAVELIN_TRY(s.trailing, trailing_member(o));
    return {};
  });
}

}  // namespace ravelin::dat
