#include "ravelin/dat/record_json.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ravelin/common/json_text.h"
#include "ravelin/common/file.h"
#include "ravelin/common/id_map.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/hook_fields.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;
using common::JsonWriter;

constexpr std::array<std::string_view, 7> kTypeNames = {
    "region", "setup", "motion-table", "animation", "physics-script", "cell-landblock", "landblock-info"};

// --- geometry -------------------------------------------------------------

void put(JsonWriter& w, const common::Vector3& v) {
  w.begin_object();
  w.key("x").f32(v.x);
  w.key("y").f32(v.y);
  w.key("z").f32(v.z);
  w.end_object();
}

void put(JsonWriter& w, const common::Quaternion& q) {
  w.begin_object();
  w.key("w").f32(q.w);
  w.key("x").f32(q.x);
  w.key("y").f32(q.y);
  w.key("z").f32(q.z);
  w.end_object();
}

void put(JsonWriter& w, const common::Sphere& s) {
  w.begin_object();
  put(w.key("center"), s.center);
  w.key("radius").f32(s.radius);
  w.end_object();
}

// dat::Frame and the landblock's own frame share their layout.
template <class FrameLike>
void put_frame(JsonWriter& w, const FrameLike& f) {
  w.begin_object();
  put(w.key("origin"), f.origin);
  put(w.key("orientation"), f.orientation);
  w.end_object();
}

template <class T, class PutElement>
void put_list(JsonWriter& w, const std::vector<T>& list, PutElement put_element) {
  w.begin_array();
  for (const T& element : list) put_element(element);
  w.end_array();
}

template <class Range>
void put_hex_words(JsonWriter& w, const Range& words) {
  w.begin_array(true);
  for (const std::uint32_t word : words) w.hex_word(word);
  w.end_array();
}

template <class Range>
void put_numbers(JsonWriter& w, const Range& numbers) {
  w.begin_array(true);
  for (const auto n : numbers) w.number(n);
  w.end_array();
}

void put_optional_id(JsonWriter& w, const std::optional<std::uint32_t>& id) {
  if (id) {
    w.hex_word(*id);
  } else {
    w.null();
  }
}

// A hash map as [{"key": k, "value": v}], keys ascending as unsigned 32-bit
// numbers whatever their declared signedness.
template <class Key, class Value, class PutKey, class PutValue>
void put_map(JsonWriter& w, const common::IdMap<Key, Value>& map, PutKey put_key, PutValue put_value) {
  // Sorted again for signed keys (placements), where -1 must come last.
  std::vector<Key> keys = map.sorted_keys();
  std::sort(keys.begin(), keys.end(), [](Key a, Key b) {
    return static_cast<std::uint32_t>(a) < static_cast<std::uint32_t>(b);
  });
  w.begin_array();
  for (const Key key : keys) {
    w.begin_object();
    w.key("key");
    put_key(key);
    w.key("value");
    put_value(*map.find(key));
    w.end_object();
  }
  w.end_array();
}

// --- hooks ------------------------------------------------------------------

// The payload fields the bake reads, beside the raw payload.
void put(JsonWriter& w, const ft::AnimationHook& hook) {
  w.begin_object();
  w.key("hook_type").number(hook.hook_type);
  w.key("hook_word").number(hook.hook_word);
  w.key("payload").hex_bytes(hook.payload);
  if (const auto particle = ft::particle_hook_fields(hook)) {
    w.key("emitter_id").hex_word(particle->emitter_id);
    w.key("part_index").number(particle->part_index);
  }
  if (const auto sound = ft::sound_hook_fields(hook)) {
    w.key("sound_id").hex_word(sound->sound_id);
    w.key("priority").f32(sound->priority);
    w.key("probability").f32(sound->probability);
    w.key("volume").f32(sound->volume);
  }
  w.end_object();
}

void put(JsonWriter& w, const ft::AnimationFrame& frame) {
  w.begin_object();
  put_list(w.key("part_frames"), frame.part_frames, [&w](const Frame& f) { put_frame(w, f); });
  put_list(w.key("hooks"), frame.hooks, [&w](const ft::AnimationHook& h) { put(w, h); });
  w.end_object();
}

// --- region -----------------------------------------------------------------

void put(JsonWriter& w, const ft::GameTime& t) {
  w.begin_object();
  w.key("time_value").f64(t.time_value);
  w.key("time_word_1").hex_word(t.time_word_1);
  w.key("time_word_2").hex_word(t.time_word_2);
  w.key("time_word_3").hex_word(t.time_word_3);
  w.key("name").text(t.name);
  put_list(w.key("times_of_day"), t.times_of_day, [&w](const ft::TimeOfDay& d) {
    w.begin_object();
    w.key("value").hex_word(d.value);
    w.key("flag").boolean(d.flag);
    w.key("name").text(d.name);
    w.end_object();
  });
  put_list(w.key("names"), t.names, [&w](const std::string& n) { w.text(n); });
  put_list(w.key("seasons"), t.seasons, [&w](const ft::Season& s) {
    w.begin_object();
    w.key("value").hex_word(s.value);
    w.key("name").text(s.name);
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SkyObject& o) {
  w.begin_object();
  w.key("active_start").f32(o.active_start);
  w.key("active_end").f32(o.active_end);
  w.key("word_2").hex_word(o.word_2);
  w.key("word_3").hex_word(o.word_3);
  w.key("word_4").hex_word(o.word_4);
  w.key("word_5").hex_word(o.word_5);
  w.key("object_id").hex_word(o.object_id);
  w.key("script_id").hex_word(o.script_id);
  w.key("word_8").hex_word(o.word_8);
  w.end_object();
}

void put(JsonWriter& w, const ft::SkyTimeOfDay& t) {
  w.begin_object();
  static constexpr std::array<std::string_view, 11> kWordNames = {
      "word_0", "word_1", "word_2", "word_3", "word_4", "word_5", "word_6", "word_7", "word_8", "word_9", "word_10"};
  for (std::size_t i = 0; i < t.words.size(); ++i) w.key(kWordNames[i]).hex_word(t.words[i]);
  put_list(w.key("time_entries"), t.time_entries, [&w](const ft::SkyTimeEntry& e) {
    w.begin_object();
    w.key("word_0").hex_word(e.word_0);
    w.key("word_1").hex_word(e.word_1);
    w.key("word_2").hex_word(e.word_2);
    w.key("word_3").hex_word(e.word_3);
    w.key("word_4").hex_word(e.word_4);
    w.key("word_5").hex_word(e.word_5);
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SkyDesc& sky) {
  w.begin_object();
  w.key("sky_value_1").f64(sky.sky_value_1);
  w.key("sky_value_2").f64(sky.sky_value_2);
  put_list(w.key("day_groups"), sky.day_groups, [&w](const ft::DayGroup& g) {
    w.begin_object();
    w.key("chance").f32(g.chance);
    w.key("name").text(g.name);
    put_list(w.key("sky_objects"), g.sky_objects, [&w](const ft::SkyObject& o) { put(w, o); });
    put_list(w.key("sky_times"), g.sky_times, [&w](const ft::SkyTimeOfDay& t) { put(w, t); });
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SoundDesc& sound) {
  w.begin_object();
  put_list(w.key("stb_descs"), sound.stb_descs, [&w](const ft::AmbientSTBDesc& d) {
    w.begin_object();
    w.key("stb_id").hex_word(d.stb_id);
    put_list(w.key("ambient_sounds"), d.ambient_sounds, [&w](const ft::AmbientSound& s) {
      w.begin_object();
      w.key("s_type").number(s.s_type);
      w.key("volume").f32(s.volume);
      w.key("base_chance").f32(s.base_chance);
      w.key("min_rate").f32(s.min_rate);
      w.key("max_rate").f32(s.max_rate);
      w.end_object();
    });
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SceneDesc& scene) {
  w.begin_object();
  put_list(w.key("scene_types"), scene.scene_types, [&w](const ft::SceneType& t) {
    w.begin_object();
    w.key("stb_index").signed_number(t.stb_index);
    put_numbers(w.key("scenes"), t.scenes);
    w.end_object();
  });
  w.end_object();
}

void put_pairs(JsonWriter& w, const std::vector<ft::WordPair>& pairs) {
  put_list(w, pairs, [&w](const ft::WordPair& p) { put_hex_words(w, std::array{p.first, p.second}); });
}

void put(JsonWriter& w, const ft::TerrainDesc& terrain) {
  w.begin_object();
  put_list(w.key("terrain_types"), terrain.terrain_types, [&w](const ft::TerrainType& t) {
    w.begin_object();
    w.key("name").text(t.name);
    w.key("tag").hex_word(t.tag);
    put_numbers(w.key("scene_info_indices"), t.scene_info_indices);
    w.end_object();
  });
  w.key("surface_word_1").hex_word(terrain.surface_word_1);
  w.key("surface_word_2").hex_word(terrain.surface_word_2);
  put_pairs(w.key("pair_list_1"), terrain.pair_list_1);
  put_pairs(w.key("pair_list_2"), terrain.pair_list_2);
  put_pairs(w.key("pair_list_3"), terrain.pair_list_3);
  put_list(w.key("surface_entries"), terrain.surface_entries, [&w](const auto& e) { put_hex_words(w, e); });
  w.end_object();
}

void put(JsonWriter& w, const ft::RegionMisc& m) {
  w.begin_object();
  w.key("misc_word_1").hex_word(m.misc_word_1);
  w.key("misc_word_2").hex_word(m.misc_word_2);
  w.key("misc_word_3").hex_word(m.misc_word_3);
  w.key("misc_word_4").hex_word(m.misc_word_4);
  w.key("misc_word_5").hex_word(m.misc_word_5);
  w.key("misc_word_6").hex_word(m.misc_word_6);
  w.end_object();
}

template <class T>
void put_optional(JsonWriter& w, const std::optional<T>& value) {
  if (value) {
    put(w, *value);
  } else {
    w.null();
  }
}


void put(JsonWriter& w, const ft::Region& r) {
  w.begin_object();
  w.key("id").hex_word(r.id);
  w.key("header_word_1").hex_word(r.header_word_1);
  w.key("header_word_2").hex_word(r.header_word_2);
  w.key("name").text(r.name);
  put_hex_words(w.key("region_words"), r.region_words);
  put_hex_words(w.key("region_table"), r.region_table);
  put(w.key("game_time"), r.game_time);
  w.key("section_mask").number(r.section_mask);
  put_optional(w.key("sky"), r.sky);
  put_optional(w.key("sound"), r.sound);
  put_optional(w.key("scene"), r.scene);
  put(w.key("terrain"), r.terrain);
  put_optional(w.key("misc"), r.misc);
  w.end_object();
}

// --- setup model --------------------------------------------------------------

void put(JsonWriter& w, const ft::LocationType& l) {
  w.begin_object();
  w.key("part_id").hex_word(l.part_id);
  put_frame(w.key("frame"), l.frame);
  w.end_object();
}

void put(JsonWriter& w, const ft::SetupModel& s) {
  const auto number_key = [&w](std::uint32_t key) { w.number(key); };
  const auto location = [&w](const ft::LocationType& l) { put(w, l); };
  w.begin_object();
  w.key("id").hex_word(s.id);
  w.key("flags").number(s.flags);
  put_hex_words(w.key("parts"), s.parts);
  put_numbers(w.key("part_refs"), s.part_refs);
  put_list(w.key("part_vectors"), s.part_vectors, [&w](const common::Vector3& v) { put(w, v); });
  put_map(w.key("locations_1"), s.locations_1, number_key, location);
  put_map(w.key("locations_2"), s.locations_2, number_key, location);
  put_map(w.key("placements"), s.placements, [&w](std::int32_t key) { w.signed_number(key); },
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
  put_map(w.key("lights"), s.lights, number_key, [&w](const ft::LightInfo& l) {
    w.begin_object();
    put_frame(w.key("viewer_space_location"), l.viewer_space_location);
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
  w.end_object();
}

// --- motion table ---------------------------------------------------------------

void put(JsonWriter& w, const ft::MotionData& d) {
  w.begin_object();
  put_list(w.key("anims"), d.anims, [&w](const ft::AnimRef& a) {
    w.begin_object();
    w.key("anim_id").hex_word(a.anim_id);
    w.key("start_frame").signed_number(a.start_frame);
    w.key("end_frame").signed_number(a.end_frame);
    w.key("word_4").hex_word(a.word_4);
    w.end_object();
  });
  w.key("aux_byte").number(d.aux_byte);
  w.key("flags").number(d.flags);
  put_optional(w.key("vector_1"), d.vector_1);
  put_optional(w.key("vector_2"), d.vector_2);
  w.end_object();
}

// Motion keys as the manifest writes `motion_key`: eight hex digits.
void put(JsonWriter& w, const ft::MotionDataMap& map) {
  put_map(w, map, [&w](std::uint32_t key) { w.hex_word(key); }, [&w](const ft::MotionData& d) { put(w, d); });
}

void put(JsonWriter& w, const ft::MotionTable& t) {
  w.begin_object();
  w.key("id").hex_word(t.id);
  w.key("default_stance").number(t.default_stance);
  put_map(w.key("key_pairs"), t.key_pairs, [&w](std::uint32_t k) { w.number(k); },
                              [&w](std::uint32_t v) { w.number(v); });
  put(w.key("motion_data_0"), t.motion_data_0);
  put(w.key("motion_data_1"), t.motion_data_1);
  // Outer keys as the manifest writes `link_outer_key`: a number.
  put_map(w.key("links"), t.links, [&w](std::uint32_t k) { w.number(k); },
                          [&w](const ft::MotionDataMap& inner) { put(w, inner); });
  w.end_object();
}

// --- animation, physics script ------------------------------------------------------

void put(JsonWriter& w, const ft::Animation& a) {
  w.begin_object();
  w.key("id").hex_word(a.id);
  w.key("has_object_frames").boolean(a.has_object_frames);
  w.key("part_count").number(a.part_count);
  w.key("frame_count").number(a.frame_count);
  put_list(w.key("object_frames"), a.object_frames, [&w](const Frame& f) { put_frame(w, f); });
  put_list(w.key("frames"), a.frames, [&w](const ft::AnimationFrame& f) { put(w, f); });
  w.end_object();
}

void put(JsonWriter& w, const ft::PhysicsScript& s) {
  w.begin_object();
  w.key("id").hex_word(s.id);
  put_list(w.key("script_data"), s.script_data, [&w](const ft::PhysicsScriptData& d) {
    w.begin_object();
    w.key("start_time").f64(d.start_time);
    put(w.key("hook"), d.hook);
    w.end_object();
  });
  w.end_object();
}

// --- landblock records ------------------------------------------------------------

void put(JsonWriter& w, const CellLandblock& c) {
  w.begin_object();
  w.key("id").hex_word(c.id);
  w.key("has_objects").number(c.has_objects);
  put_numbers(w.key("terrain"), c.terrain);
  put_numbers(w.key("height"), c.height);
  w.end_object();
}

void put(JsonWriter& w, const LandblockInfo& info) {
  w.begin_object();
  w.key("id").hex_word(info.id);
  w.key("num_cells").number(info.num_cells);
  put_list(w.key("objects"), info.objects, [&w](const Stab& s) {
    w.begin_object();
    w.key("id").hex_word(s.id);
    put_frame(w.key("frame"), s.frame);
    w.end_object();
  });
  w.key("pack_mask").number(info.pack_mask);
  put_list(w.key("buildings"), info.buildings, [&w](const BuildInfo& b) {
    w.begin_object();
    w.key("model_id").hex_word(b.model_id);
    put_frame(w.key("frame"), b.frame);
    w.key("num_leaves").number(b.num_leaves);
    put_list(w.key("portals"), b.portals, [&w](const PortalInternal& p) {
      w.begin_object();
      w.key("flags").number(p.flags);
      w.key("other_cell_id").number(p.other_cell_id);
      w.key("other_portal_id").number(p.other_portal_id);
      put_numbers(w.key("stab_list"), p.stab_list);
      w.end_object();
    });
    w.end_object();
  });
  w.key("restriction_tables");
  if (info.restriction_tables) {
    w.begin_object();
    put_map(w.key("tables"), info.restriction_tables->tables, [&w](std::uint32_t k) { w.number(k); },
                             [&w](std::uint32_t v) { w.number(v); });
    w.end_object();
  } else {
    w.null();
  }
  w.end_object();
}

// --- decoding -----------------------------------------------------------------------

template <class Record>
std::string document(const Record& record, bool compact) {
  JsonWriter w(compact);
  put(w, record);
  return w.take();
}

// Runs a cursor decoder from the file's first byte; its failure reads as the
// archive layer shows a decoder failure.
template <class Decode>
DatResult<std::string> decode_with_reader(std::span<const std::uint8_t> bytes, bool compact, Decode decode) {
  common::Reader reader(bytes);
  auto record = decode(reader);
  if (!record) return std::unexpected(DatError::bin_read(std::move(record.error())));
  return document(*record, compact);
}

template <class Record>
DatResult<std::string> landblock_document(const DatResult<Record>& record, bool compact) {
  if (!record) return std::unexpected(record.error());
  return document(*record, compact);
}

}  // namespace

std::string_view record_type_name(RecordType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

std::optional<RecordType> parse_record_type(std::string_view name) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
    if (kTypeNames[i] == name) return static_cast<RecordType>(i);
  }
  return std::nullopt;
}

std::string record_type_names() {
  std::string out;
  for (const std::string_view name : kTypeNames) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

bool is_cell_archive_path(const std::filesystem::path& archive) {
  return archive.filename().string().starts_with("client_cell");
}

std::optional<RecordType> record_type_for_id(std::uint32_t file_id, bool cell_archive) {
  if (cell_archive) {
    if (is_cell_landblock_file_id(file_id)) return RecordType::CellLandblock;
    if (is_landblock_info_file_id(file_id)) return RecordType::LandblockInfo;
    return std::nullopt;
  }
  switch (top_byte(file_id)) {
    case kRegionTopByte: return RecordType::Region;
    case kSetupModelTopByte: return RecordType::Setup;
    case kMotionTableTopByte: return RecordType::MotionTable;
    case kAnimationTopByte: return RecordType::Animation;
    case kPhysicsScriptTopByte: return RecordType::PhysicsScript;
    default: return std::nullopt;
  }
}

DatResult<std::string> record_json(RecordType type, std::span<const std::uint8_t> bytes, bool compact) {
  switch (type) {
    case RecordType::Region:
      return decode_with_reader(bytes, compact, [](common::Reader& r) { return ft::Region::unpack(r); });
    case RecordType::Setup:
      return decode_with_reader(bytes, compact, [](common::Reader& r) { return ft::SetupModel::unpack(r); });
    case RecordType::MotionTable:
      return decode_with_reader(bytes, compact, [](common::Reader& r) { return ft::MotionTable::read(r); });
    case RecordType::Animation:
      return decode_with_reader(bytes, compact, [](common::Reader& r) { return ft::Animation::read(r); });
    case RecordType::PhysicsScript:
      return decode_with_reader(bytes, compact, [](common::Reader& r) { return ft::PhysicsScript::read(r); });
    case RecordType::CellLandblock: return landblock_document(CellLandblock::unpack(bytes), compact);
    case RecordType::LandblockInfo: return landblock_document(LandblockInfo::unpack(bytes), compact);
  }
  return std::unexpected(DatError::other("unknown record type"));
}

ShowError ShowError::dat(DatError error) {
  ShowError e;
  e.dat_ = std::move(error);
  return e;
}

ShowError ShowError::no_record_type(std::uint32_t file_id, std::filesystem::path archive) {
  ShowError e;
  e.file_id_ = file_id;
  e.archive_ = std::move(archive);
  return e;
}

std::string ShowError::to_string() const {
  if (dat_) return dat_->to_string();
  return "no record type for file id " + common::hex_id(file_id_) + " in " + common::display_path(archive_) +
         ": name one with --type (" + record_type_names() + ")";
}

std::expected<std::string, ShowError> show_record(const DatDatabase& db, const std::filesystem::path& archive,
                                                  std::uint32_t file_id, std::optional<RecordType> type,
                                                  bool compact) {
  if (!type) type = record_type_for_id(file_id, is_cell_archive_path(archive));
  if (!type) return std::unexpected(ShowError::no_record_type(file_id, archive));
  auto bytes = db.get_file(file_id);
  if (!bytes) return std::unexpected(ShowError::dat(std::move(bytes.error())));
  auto json = record_json(*type, *bytes, compact);
  if (!json) return std::unexpected(ShowError::dat(std::move(json.error())));
  return std::move(*json);
}

}  // namespace ravelin::dat
