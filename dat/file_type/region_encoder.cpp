#include "ravelin/dat/file_type/region_encoder.h"

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat::file_type {
namespace {

// Smallest stored size of each list item, bounding reservations as the bake's
// decoders do.
constexpr std::uint64_t kMinTimeOfDayBytes = 10;
constexpr std::uint64_t kMinTextBytes = 2;
constexpr std::uint64_t kMinSeasonBytes = 6;
constexpr std::uint64_t kMinDayGroupBytes = 14;
constexpr std::uint64_t kMinTerrainTypeBytes = 10;

template <class T, class ReadItem>
common::ReadResult<void> read_counted(common::Reader& reader, std::uint64_t min_item_bytes, std::vector<T>& out,
                                      ReadItem read_item) {
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out, common::read_list<T>(reader, count, min_item_bytes, read_item));
  return {};
}

common::ReadResult<std::uint32_t> read_word(common::Reader& reader) { return reader.read_u32(); }

template <std::size_t N>
common::ReadResult<void> read_words(common::Reader& reader, std::array<std::uint32_t, N>& out) {
  for (auto& word : out) RAVELIN_TRY(word, reader.read_u32());
  return {};
}

common::ReadResult<StoredTimeOfDay> read_time_of_day(common::Reader& reader) {
  StoredTimeOfDay out;
  RAVELIN_TRY(out.value, reader.read_u32());
  RAVELIN_TRY(out.flag_word, reader.read_u32());
  RAVELIN_TRY(out.name, read_stored_text(reader));
  return out;
}

common::ReadResult<StoredSeason> read_season(common::Reader& reader) {
  StoredSeason out;
  RAVELIN_TRY(out.value, reader.read_u32());
  RAVELIN_TRY(out.name, read_stored_text(reader));
  return out;
}

common::ReadResult<StoredGameTime> read_game_time(common::Reader& reader) {
  StoredGameTime out;
  RAVELIN_TRY(out.time_value, reader.read_f64());
  RAVELIN_TRY(out.time_word_1, reader.read_u32());
  RAVELIN_TRY(out.time_word_2, reader.read_u32());
  RAVELIN_TRY(out.time_word_3, reader.read_u32());
  RAVELIN_TRY(out.name, read_stored_text(reader));
  RAVELIN_TRY_VOID(read_counted(reader, kMinTimeOfDayBytes, out.times_of_day, read_time_of_day));
  RAVELIN_TRY_VOID(read_counted(reader, kMinTextBytes, out.names, read_stored_text));
  RAVELIN_TRY_VOID(read_counted(reader, kMinSeasonBytes, out.seasons, read_season));
  return out;
}

// The bake's alignments inside the sky never skip (see StoredSkyDesc), but
// they are still taken: a description starting off 4 would show it.
common::ReadResult<StoredDayGroup> read_day_group(common::Reader& reader) {
  StoredDayGroup out;
  RAVELIN_TRY(out.chance, reader.read_f32());
  RAVELIN_TRY(out.name, read_stored_text(reader));
  RAVELIN_TRY_VOID(read_counted(reader, 36, out.sky_objects, SkyObject::unpack));
  RAVELIN_TRY_VOID(read_counted(reader, 48, out.sky_times, SkyTimeOfDay::unpack));
  return out;
}

common::ReadResult<StoredSkyDesc> read_sky(common::Reader& reader) {
  StoredSkyDesc out;
  RAVELIN_TRY(out.sky_value_1, reader.read_f64());
  RAVELIN_TRY(out.sky_value_2, reader.read_f64());
  RAVELIN_TRY_VOID(reader.align(4));
  RAVELIN_TRY_VOID(read_counted(reader, kMinDayGroupBytes, out.day_groups, read_day_group));
  return out;
}

common::ReadResult<StoredTerrainType> read_terrain_type(common::Reader& reader) {
  StoredTerrainType out;
  RAVELIN_TRY(out.name, read_stored_text(reader));
  RAVELIN_TRY(out.tag, reader.read_u32());
  RAVELIN_TRY_VOID(read_counted(reader, 4, out.scene_info_indices, read_word));
  return out;
}

common::ReadResult<WordPair> read_word_pair(common::Reader& reader) {
  WordPair out;
  RAVELIN_TRY(out.first, reader.read_u32());
  RAVELIN_TRY(out.second, reader.read_u32());
  return out;
}

common::ReadResult<std::array<std::uint32_t, 11>> read_surface_entry(common::Reader& reader) {
  std::array<std::uint32_t, 11> out{};
  RAVELIN_TRY_VOID(read_words(reader, out));
  return out;
}

common::ReadResult<StoredTerrainDesc> read_terrain(common::Reader& reader) {
  StoredTerrainDesc out;
  RAVELIN_TRY_VOID(read_counted(reader, kMinTerrainTypeBytes, out.terrain_types, read_terrain_type));
  RAVELIN_TRY(out.surface_word_1, reader.read_u32());
  RAVELIN_TRY(out.surface_word_2, reader.read_u32());
  RAVELIN_TRY_VOID(read_counted(reader, 8, out.pair_list_1, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, 8, out.pair_list_2, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, 8, out.pair_list_3, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, 44, out.surface_entries, read_surface_entry));
  return out;
}

// --- encoding -------------------------------------------------------------------

template <std::size_t N>
void write_words(RecordOutput& out, const std::array<std::uint32_t, N>& words) {
  for (const std::uint32_t word : words) out.u32(word);
}

RecordResult<void> write_count(RecordOutput& out, std::size_t size, const RecordPath& path) {
  RAVELIN_TRY_VOID(check_count(size, 0xFFFFFFFF, path));
  out.u32(static_cast<std::uint32_t>(size));
  return {};
}

RecordResult<void> write_game_time(RecordOutput& out, const StoredGameTime& t, const RecordPath& path) {
  out.f64(t.time_value);
  out.u32(t.time_word_1);
  out.u32(t.time_word_2);
  out.u32(t.time_word_3);
  RAVELIN_TRY_VOID(write_text(out, t.name, path / "name", path / "name_padding"));
  const RecordPath times(path, "times_of_day");
  RAVELIN_TRY_VOID(write_count(out, t.times_of_day.size(), times));
  for (std::size_t i = 0; i < t.times_of_day.size(); ++i) {
    const RecordPath at(times, i);
    out.u32(t.times_of_day[i].value);
    out.u32(t.times_of_day[i].flag_word);
    RAVELIN_TRY_VOID(write_text(out, t.times_of_day[i].name, at / "name", at / "name_padding"));
  }
  const RecordPath names(path, "names"), names_padding(path, "names_padding");
  RAVELIN_TRY_VOID(write_count(out, t.names.size(), names));
  for (std::size_t i = 0; i < t.names.size(); ++i)
    RAVELIN_TRY_VOID(write_text(out, t.names[i], names / i, names_padding / i));
  const RecordPath seasons(path, "seasons");
  RAVELIN_TRY_VOID(write_count(out, t.seasons.size(), seasons));
  for (std::size_t i = 0; i < t.seasons.size(); ++i) {
    const RecordPath at(seasons, i);
    out.u32(t.seasons[i].value);
    RAVELIN_TRY_VOID(write_text(out, t.seasons[i].name, at / "name", at / "name_padding"));
  }
  return {};
}

RecordResult<void> write_sky(RecordOutput& out, const StoredSkyDesc& sky, const RecordPath& path) {
  out.f64(sky.sky_value_1);
  out.f64(sky.sky_value_2);
  const RecordPath groups(path, "day_groups");
  RAVELIN_TRY_VOID(write_count(out, sky.day_groups.size(), groups));
  for (std::size_t g = 0; g < sky.day_groups.size(); ++g) {
    const StoredDayGroup& group = sky.day_groups[g];
    const RecordPath at(groups, g);
    out.f32(group.chance);
    RAVELIN_TRY_VOID(write_text(out, group.name, at / "name", at / "name_padding"));
    RAVELIN_TRY_VOID(write_count(out, group.sky_objects.size(), at / "sky_objects"));
    for (const SkyObject& o : group.sky_objects) {
      out.f32(o.active_start);
      out.f32(o.active_end);
      for (const std::uint32_t word : {o.word_2, o.word_3, o.word_4, o.word_5, o.object_id, o.script_id, o.word_8})
        out.u32(word);
    }
    const RecordPath times(at, "sky_times");
    RAVELIN_TRY_VOID(write_count(out, group.sky_times.size(), times));
    for (std::size_t t = 0; t < group.sky_times.size(); ++t) {
      write_words(out, group.sky_times[t].words);
      RAVELIN_TRY_VOID(write_count(out, group.sky_times[t].time_entries.size(), times / t / "time_entries"));
      for (const SkyTimeEntry& e : group.sky_times[t].time_entries)
        for (const std::uint32_t word : {e.word_0, e.word_1, e.word_2, e.word_3, e.word_4, e.word_5}) out.u32(word);
    }
  }
  return {};
}

RecordResult<void> write_sound(RecordOutput& out, const SoundDesc& sound, const RecordPath& path) {
  const RecordPath descs(path, "stb_descs");
  RAVELIN_TRY_VOID(write_count(out, sound.stb_descs.size(), descs));
  for (std::size_t i = 0; i < sound.stb_descs.size(); ++i) {
    const AmbientSTBDesc& d = sound.stb_descs[i];
    out.u32(d.stb_id);
    RAVELIN_TRY_VOID(write_count(out, d.ambient_sounds.size(), descs / i / "ambient_sounds"));
    for (const AmbientSound& s : d.ambient_sounds) {
      out.u32(s.s_type);
      out.f32(s.volume);
      out.f32(s.base_chance);
      out.f32(s.min_rate);
      out.f32(s.max_rate);
    }
  }
  return {};
}

RecordResult<void> write_scene(RecordOutput& out, const SceneDesc& scene, const RecordPath& path) {
  const RecordPath types(path, "scene_types");
  RAVELIN_TRY_VOID(write_count(out, scene.scene_types.size(), types));
  for (std::size_t i = 0; i < scene.scene_types.size(); ++i) {
    out.i32(scene.scene_types[i].stb_index);
    RAVELIN_TRY_VOID(write_count(out, scene.scene_types[i].scenes.size(), types / i / "scenes"));
    for (const std::uint32_t s : scene.scene_types[i].scenes) out.u32(s);
  }
  return {};
}

RecordResult<void> write_pairs(RecordOutput& out, const std::vector<WordPair>& pairs, const RecordPath& path) {
  RAVELIN_TRY_VOID(write_count(out, pairs.size(), path));
  for (const WordPair& p : pairs) {
    out.u32(p.first);
    out.u32(p.second);
  }
  return {};
}

RecordResult<void> write_terrain(RecordOutput& out, const StoredTerrainDesc& terrain, const RecordPath& path) {
  const RecordPath types(path, "terrain_types");
  RAVELIN_TRY_VOID(write_count(out, terrain.terrain_types.size(), types));
  for (std::size_t i = 0; i < terrain.terrain_types.size(); ++i) {
    const StoredTerrainType& t = terrain.terrain_types[i];
    const RecordPath at(types, i);
    RAVELIN_TRY_VOID(write_text(out, t.name, at / "name", at / "name_padding"));
    out.u32(t.tag);
    RAVELIN_TRY_VOID(write_count(out, t.scene_info_indices.size(), at / "scene_info_indices"));
    for (const std::uint32_t index : t.scene_info_indices) out.u32(index);
  }
  out.u32(terrain.surface_word_1);
  out.u32(terrain.surface_word_2);
  RAVELIN_TRY_VOID(write_pairs(out, terrain.pair_list_1, path / "pair_list_1"));
  RAVELIN_TRY_VOID(write_pairs(out, terrain.pair_list_2, path / "pair_list_2"));
  RAVELIN_TRY_VOID(write_pairs(out, terrain.pair_list_3, path / "pair_list_3"));
  RAVELIN_TRY_VOID(write_count(out, terrain.surface_entries.size(), path / "surface_entries"));
  for (const auto& entry : terrain.surface_entries) write_words(out, entry);
  return {};
}

// A part is present exactly when its bit is set.
RecordResult<void> check_part(bool present, std::uint32_t mask, std::uint32_t bit, const RecordPath& path) {
  if (present == ((mask & bit) != 0)) return {};
  const std::string hex = [bit] {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint32_t v = bit; v != 0; v >>= 4) out.insert(out.begin(), kDigits[v & 0xF]);
    return "0x" + out;
  }();
  return path.fail(present ? "expected null: section_mask lacks bit " + hex
                           : "expected a description: section_mask has bit " + hex);
}

}  // namespace

common::ReadResult<StoredRegion> StoredRegion::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredRegion out;
  RAVELIN_TRY(out.id, reader.read_u32());
  RAVELIN_TRY(out.header_word_1, reader.read_u32());
  RAVELIN_TRY(out.header_word_2, reader.read_u32());
  RAVELIN_TRY(out.name, read_stored_text(reader));
  RAVELIN_TRY_VOID(read_words(reader, out.region_words));
  RAVELIN_TRY_VOID(read_words(reader, out.region_table));
  RAVELIN_TRY(out.game_time, read_game_time(reader));
  RAVELIN_TRY(out.section_mask, reader.read_u32());
  if (out.section_mask & kRegionHasSky) RAVELIN_TRY(out.sky, read_sky(reader));
  if (out.section_mask & kRegionHasSound) RAVELIN_TRY(out.sound, SoundDesc::unpack(reader));
  if (out.section_mask & kRegionHasScene) RAVELIN_TRY(out.scene, SceneDesc::unpack(reader));
  RAVELIN_TRY(out.terrain, read_terrain(reader));
  if (out.section_mask & kRegionHasMisc) RAVELIN_TRY(out.misc, RegionMisc::unpack(reader));
  out.trailing = trailing_bytes(reader);
  return out;
}

RecordResult<Bytes> encode_region(const StoredRegion& region) {
  const RecordPath root;
  RecordOutput out;
  out.u32(region.id);
  out.u32(region.header_word_1);
  out.u32(region.header_word_2);
  RAVELIN_TRY_VOID(write_text(out, region.name, root / "name", root / "name_padding"));
  write_words(out, region.region_words);
  write_words(out, region.region_table);
  RAVELIN_TRY_VOID(write_game_time(out, region.game_time, root / "game_time"));
  const std::uint32_t mask = region.section_mask;
  for (const auto& [present, bit, member] :
       {std::tuple{region.sky.has_value(), kRegionHasSky, "sky"}, std::tuple{region.sound.has_value(), kRegionHasSound, "sound"},
        std::tuple{region.scene.has_value(), kRegionHasScene, "scene"},
        std::tuple{region.misc.has_value(), kRegionHasMisc, "misc"}})
    RAVELIN_TRY_VOID(check_part(present, mask, bit, root / member));
  out.u32(mask);
  if (region.sky)
    RAVELIN_TRY_VOID(write_sky(out, *region.sky, root / "sky"));
  if (region.sound)
    RAVELIN_TRY_VOID(write_sound(out, *region.sound, root / "sound"));
  if (region.scene)
    RAVELIN_TRY_VOID(write_scene(out, *region.scene, root / "scene"));
  RAVELIN_TRY_VOID(write_terrain(out, region.terrain, root / "terrain"));
  if (region.misc)
    for (const std::uint32_t word : {region.misc->misc_word_1, region.misc->misc_word_2, region.misc->misc_word_3,
                                     region.misc->misc_word_4, region.misc->misc_word_5, region.misc->misc_word_6})
      out.u32(word);
  return std::move(out).finish(region.trailing);
}

}  // namespace ravelin::dat::file_type
