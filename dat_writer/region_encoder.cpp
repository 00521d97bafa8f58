#include "dat_writer/region_encoder.h"

#include <algorithm>
#include <bit>

#include "ravelin/dat/file_type/region_encoder.h"

namespace ravelin::dat_writer {

namespace {

namespace ft = dat::file_type;

constexpr std::uint8_t kAlignFill = 0xEE;
constexpr std::uint8_t kLeadFill = 0xCD;

void pad4(ByteWriter& out) {
  while (out.size() % 4 != 0) out.u8(kAlignFill);
}

void count(ByteWriter& out, std::size_t n, CountOffsets* counts) {
  if (counts) counts->push_back(out.size());
  out.u32(static_cast<std::uint32_t>(n));
}

void name(ByteWriter& out, const std::string& raw) {
  out.pstring16(raw);
  pad4(out);
}

void words(ByteWriter& out, std::span<const std::uint32_t> values) {
  for (auto v : values) out.u32(v);
}

void pairs(ByteWriter& out, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& list,
           CountOffsets* counts) {
  count(out, list.size(), counts);
  for (const auto& [a, b] : list) out.u32(a).u32(b);
}

template <class Write>
std::vector<std::uint8_t> placed_at(std::size_t start_offset, Write write) {
  ByteWriter out;
  for (std::size_t i = 0; i < start_offset; ++i) out.u8(kLeadFill);
  write(out);
  return out.take();
}

// --- the region as the library holds it ------------------------------------------------

float as_float(F32Bits f) { return std::bit_cast<float>(f.bits); }
double as_double(F64Bits f) { return std::bit_cast<double>(f.bits); }

// Every text of a region file starts on a multiple of 4; its gap up to the
// next one is filled as name() fills it.
ft::StoredText stored_text(const std::string& raw) {
  ft::StoredText text{raw, std::nullopt};
  if (const std::size_t gap = ft::text_padding_size(raw.size()); gap != 0) text.padding = ft::Bytes(gap, kAlignFill);
  return text;
}

ft::StoredGameTime stored_game_time(const GameTimeDef& def) {
  ft::StoredGameTime t;
  t.time_value = as_double(def.time_value);
  t.time_word_1 = def.words[0];
  t.time_word_2 = def.words[1];
  t.time_word_3 = def.words[2];
  t.name = stored_text(def.name);
  for (const TimeOfDayDef& d : def.times_of_day) t.times_of_day.push_back({d.value, d.flag_word, stored_text(d.name)});
  for (const std::string& n : def.names) t.names.push_back(stored_text(n));
  for (const SeasonDef& s : def.seasons) t.seasons.push_back({s.value, stored_text(s.name)});
  return t;
}

ft::StoredSkyDesc stored_sky(const SkyDescDef& def) {
  ft::StoredSkyDesc sky{as_double(def.value_1), as_double(def.value_2), {}};
  for (const DayGroupDef& g : def.day_groups) {
    ft::StoredDayGroup group{as_float(g.chance), stored_text(g.name), {}, {}};
    for (const SkyObjectDef& o : g.sky_objects)
      group.sky_objects.push_back({as_float(o.active_start), as_float(o.active_end), o.words_2_to_5[0],
                                   o.words_2_to_5[1], o.words_2_to_5[2], o.words_2_to_5[3], o.object_id, o.script_id,
                                   o.word_8});
    for (const SkyTimeOfDayDef& t : g.sky_times) {
      ft::SkyTimeOfDay time{t.words, {}};
      for (const auto& e : t.entries) time.time_entries.push_back({e[0], e[1], e[2], e[3], e[4], e[5]});
      group.sky_times.push_back(std::move(time));
    }
    sky.day_groups.push_back(std::move(group));
  }
  return sky;
}

ft::SoundDesc stored_sound(const SoundDescDef& def) {
  ft::SoundDesc sound;
  for (const AmbientTableDef& table : def.tables) {
    ft::AmbientSTBDesc desc{table.stb_id, {}};
    for (const AmbientSoundDef& s : table.sounds)
      desc.ambient_sounds.push_back(
          {s.s_type, as_float(s.volume), as_float(s.base_chance), as_float(s.min_rate), as_float(s.max_rate)});
    sound.stb_descs.push_back(std::move(desc));
  }
  return sound;
}

ft::SceneDesc stored_scene(const SceneDescDef& def) {
  ft::SceneDesc scene;
  for (const SceneTypeDef& t : def.scene_types) scene.scene_types.push_back({t.stb_index, t.scenes});
  return scene;
}

ft::StoredTerrainDesc stored_terrain(const TerrainDescDef& def) {
  ft::StoredTerrainDesc terrain;
  for (const TerrainTypeDef& t : def.terrain_types)
    terrain.terrain_types.push_back({stored_text(t.name), t.tag, t.scene_info_indices});
  terrain.surface_word_1 = def.surface_word_1;
  terrain.surface_word_2 = def.surface_word_2;
  const auto pairs = [](const std::vector<std::pair<std::uint32_t, std::uint32_t>>& list) {
    std::vector<ft::WordPair> out;
    for (const auto& [a, b] : list) out.push_back({a, b});
    return out;
  };
  terrain.pair_list_1 = pairs(def.pair_list_1);
  terrain.pair_list_2 = pairs(def.pair_list_2);
  terrain.pair_list_3 = pairs(def.pair_list_3);
  terrain.surface_entries = def.surface_entries;
  return terrain;
}

ft::StoredRegion stored_region(const RegionDef& def) {
  ft::StoredRegion r;
  r.id = def.id;
  r.header_word_1 = def.header_word_1;
  r.header_word_2 = def.header_word_2;
  r.name = stored_text(def.name);
  r.region_words = def.region_words;
  r.region_table = def.region_table;
  r.game_time = stored_game_time(def.game_time);
  r.section_mask = region_section_mask(def);
  if (def.sky) r.sky = stored_sky(*def.sky);
  if (def.sound) r.sound = stored_sound(*def.sound);
  if (def.scene) r.scene = stored_scene(*def.scene);
  r.terrain = stored_terrain(def.terrain);
  if (def.misc) {
    const auto& w = def.misc->words;
    r.misc = ft::RegionMisc{w[0], w[1], w[2], w[3], w[4], w[5]};
  }
  return r;
}

}  // namespace

std::uint32_t region_section_mask(const RegionDef& def) {
  std::uint32_t mask = def.extra_mask_bits;
  if (def.sky) mask |= 0x10;
  if (def.sound) mask |= 0x01;
  if (def.scene) mask |= 0x02;
  if (def.misc) mask |= 0x200;
  return mask;
}

void write_game_time(ByteWriter& out, const GameTimeDef& def, CountOffsets* counts) {
  out.f64_bits(def.time_value.bits);
  words(out, def.words);
  name(out, def.name);
  count(out, def.times_of_day.size(), counts);
  for (const auto& t : def.times_of_day) {
    out.u32(t.value).u32(t.flag_word);
    name(out, t.name);
  }
  count(out, def.names.size(), counts);
  for (const auto& n : def.names) name(out, n);
  count(out, def.seasons.size(), counts);
  for (const auto& s : def.seasons) {
    out.u32(s.value);
    name(out, s.name);
  }
}

void write_sky_desc(ByteWriter& out, const SkyDescDef& def, CountOffsets* counts) {
  out.f64_bits(def.value_1.bits).f64_bits(def.value_2.bits);
  pad4(out);
  count(out, def.day_groups.size(), counts);
  for (const auto& group : def.day_groups) {
    out.f32_bits(group.chance.bits);
    name(out, group.name);
    count(out, group.sky_objects.size(), counts);
    for (const auto& obj : group.sky_objects) {
      out.f32_bits(obj.active_start.bits).f32_bits(obj.active_end.bits);
      words(out, obj.words_2_to_5);
      out.u32(obj.object_id).u32(obj.script_id).u32(obj.word_8);
      pad4(out);
    }
    count(out, group.sky_times.size(), counts);
    for (const auto& time : group.sky_times) {
      words(out, time.words);
      pad4(out);
      count(out, time.entries.size(), counts);
      for (const auto& entry : time.entries) {
        words(out, entry);
        pad4(out);
      }
    }
  }
}

void write_sound_desc(ByteWriter& out, const SoundDescDef& def, CountOffsets* counts) {
  count(out, def.tables.size(), counts);
  for (const auto& table : def.tables) {
    out.u32(table.stb_id);
    count(out, table.declared_count.value_or(static_cast<std::uint32_t>(table.sounds.size())),
          counts);
    for (const auto& s : table.sounds) {
      out.u32(s.s_type)
          .f32_bits(s.volume.bits)
          .f32_bits(s.base_chance.bits)
          .f32_bits(s.min_rate.bits)
          .f32_bits(s.max_rate.bits);
    }
  }
}

void write_scene_desc(ByteWriter& out, const SceneDescDef& def, CountOffsets* counts) {
  count(out, def.scene_types.size(), counts);
  for (const auto& scene : def.scene_types) {
    out.i32(scene.stb_index);
    count(out, scene.scenes.size(), counts);
    words(out, scene.scenes);
  }
}

void write_terrain_desc(ByteWriter& out, const TerrainDescDef& def, CountOffsets* counts) {
  count(out, def.terrain_types.size(), counts);
  for (const auto& type : def.terrain_types) {
    name(out, type.name);
    out.u32(type.tag);
    count(out, type.scene_info_indices.size(), counts);
    words(out, type.scene_info_indices);
  }
  out.u32(def.surface_word_1).u32(def.surface_word_2);
  pairs(out, def.pair_list_1, counts);
  pairs(out, def.pair_list_2, counts);
  pairs(out, def.pair_list_3, counts);
  count(out, def.surface_entries.size(), counts);
  for (const auto& entry : def.surface_entries) words(out, entry);
}

void write_region_misc(ByteWriter& out, const RegionMiscDef& def) { words(out, def.words); }

std::vector<std::uint8_t> encode_game_time(const GameTimeDef& def, std::size_t start_offset) {
  return placed_at(start_offset, [&](ByteWriter& out) { write_game_time(out, def); });
}
std::vector<std::uint8_t> encode_sky_desc(const SkyDescDef& def, std::size_t start_offset) {
  return placed_at(start_offset, [&](ByteWriter& out) { write_sky_desc(out, def); });
}
std::vector<std::uint8_t> encode_sound_desc(const SoundDescDef& def, std::size_t start_offset) {
  return placed_at(start_offset, [&](ByteWriter& out) { write_sound_desc(out, def); });
}
std::vector<std::uint8_t> encode_scene_desc(const SceneDescDef& def, std::size_t start_offset) {
  return placed_at(start_offset, [&](ByteWriter& out) { write_scene_desc(out, def); });
}
std::vector<std::uint8_t> encode_terrain_desc(const TerrainDescDef& def,
                                              std::size_t start_offset) {
  return placed_at(start_offset, [&](ByteWriter& out) { write_terrain_desc(out, def); });
}

std::vector<std::uint8_t> encode_region(const RegionDef& def, CountOffsets* counts) {
  // The library's encoder, unless the caller wants the count positions or a
  // sound table declares a count of its own.
  const bool declared_counts = def.sound && std::any_of(def.sound->tables.begin(), def.sound->tables.end(),
                                                        [](const AmbientTableDef& t) { return t.declared_count.has_value(); });
  if (counts == nullptr && !declared_counts)
    if (auto bytes = ft::encode_region(stored_region(def))) return std::move(*bytes);
  ByteWriter out;
  out.u32(def.id).u32(def.header_word_1).u32(def.header_word_2);
  name(out, def.name);
  words(out, def.region_words);
  words(out, def.region_table);
  write_game_time(out, def.game_time, counts);
  out.u32(region_section_mask(def));
  if (def.sky) write_sky_desc(out, *def.sky, counts);
  if (def.sound) write_sound_desc(out, *def.sound, counts);
  if (def.scene) write_scene_desc(out, *def.scene, counts);
  write_terrain_desc(out, def.terrain, counts);
  if (def.misc) write_region_misc(out, *def.misc);
  return out.take();
}

RegionDef sample_region_def() {
  RegionDef r;
  r.name = "Sample Isle";
  for (std::uint32_t i = 0; i < r.region_words.size(); ++i) r.region_words[i] = 0x100 + i;
  for (std::uint32_t i = 0; i < r.region_table.size(); ++i) r.region_table[i] = i * 3;

  r.game_time.time_value = 7620.0;
  r.game_time.words = {10, 20, 30};
  r.game_time.times_of_day = {{0x3E000000, 1, "Dawn"}, {0x3F000000, 0, "Midday"},
                              {0x3F400000, 2, "Dusk"}};
  r.game_time.names = {"Firstmonth", "Secondmonth"};
  r.game_time.seasons = {{0, "Spring"}, {90, "Summer"}};

  SkyDescDef sky;
  sky.value_1 = 0.25;
  sky.value_2 = 0.75;
  DayGroupDef clear{0.5f, "Clear", {}, {}};
  clear.sky_objects = {{0.0f, 1.0f, {1, 2, 3, 4}, 0x02000714, 0x330007A1, 8},
                       {0.25f, 0.75f, {}, 0x01000A00, 0x330007A2, 0}};
  clear.sky_times = {{{}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}}};
  DayGroupDef storm{0.3f, "Storm", {}, {}};
  storm.sky_objects = {{0.5f, 1.0f, {}, 0x02000715, 0, 0}};
  DayGroupDef empty{0.2f, "Overcast", {}, {}};
  sky.day_groups = {clear, storm, empty};
  r.sky = sky;

  SoundDescDef sound;
  sound.tables = {{0x20000001, {{1, 0.8f, 0.0f, 1.0f, 2.0f}, {2, 0.5f, 0.25f, 3.0f, 6.0f}}, {}},
                  {0x20000002, {{3, 1.0f, 1.0f, 0.5f, 0.5f}}, {}}};
  r.sound = sound;

  SceneDescDef scene;
  scene.scene_types = {{0, {0x120000A1}}, {1, {}}, {-1, {0x120000A2, 0x120000A3}}};
  r.scene = scene;

  r.terrain.terrain_types = {{"Grassland", 0x11, {0, 1, 2}}, {"Forest", 0x22, {1, 0}}};
  r.terrain.surface_word_1 = 0xAAAA0001;
  r.terrain.surface_word_2 = 0xAAAA0002;
  r.terrain.pair_list_1 = {{1, 2}};
  r.terrain.pair_list_3 = {{3, 4}, {5, 6}};
  r.terrain.surface_entries = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};

  r.misc = RegionMiscDef{{0x51, 0x52, 0x53, 0x54, 0x55, 0x56}};
  return r;
}

}  // namespace ravelin::dat_writer
