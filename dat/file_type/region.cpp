#include "ravelin/dat/file_type/region.h"

namespace ravelin::dat::file_type {

namespace {

// Smallest file footprint of each list item, to bound reservations by the
// bytes that remain (a hostile count then fails with the short read, having
// allocated nothing large).
constexpr std::uint64_t kMinDayGroupBytes = 14;      // chance, name length, two counts
constexpr std::uint64_t kSkyObjectBytes = 36;
constexpr std::uint64_t kMinSkyTimeOfDayBytes = 48;  // eleven words, entry count
constexpr std::uint64_t kSkyTimeEntryBytes = 24;
constexpr std::uint64_t kMinTerrainTypeBytes = 10;   // name length, tag, index count
constexpr std::uint64_t kWordBytes = 4;
constexpr std::uint64_t kWordPairBytes = 8;
constexpr std::uint64_t kSurfaceEntryBytes = 44;
constexpr std::uint64_t kMinSceneTypeBytes = 8;      // stb_index, scene count
constexpr std::uint64_t kMinSTBDescBytes = 8;        // stb_id, sound count
constexpr std::uint64_t kAmbientSoundBytes = 20;

// A u32 count followed by that many items, each read by `read_item`.
template <class T, class ReadItem>
common::ReadResult<void> read_counted(common::Reader& reader, std::uint64_t min_item_bytes,
                                      std::vector<T>& out, ReadItem read_item) {
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out, common::read_list<T>(reader, count, min_item_bytes, read_item));
  return {};
}

common::ReadResult<std::uint32_t> read_word(common::Reader& reader) { return reader.read_u32(); }

common::ReadResult<WordPair> read_word_pair(common::Reader& reader) {
  WordPair out;
  RAVELIN_TRY(out.first, reader.read_u32());
  RAVELIN_TRY(out.second, reader.read_u32());
  return out;
}

template <std::size_t N>
common::ReadResult<void> read_words(common::Reader& reader, std::array<std::uint32_t, N>& out) {
  for (auto& word : out) RAVELIN_TRY(word, reader.read_u32());
  return {};
}

common::ReadResult<std::array<std::uint32_t, 11>> read_surface_entry(common::Reader& reader) {
  std::array<std::uint32_t, 11> out{};
  RAVELIN_TRY_VOID(read_words(reader, out));
  return out;
}

}  // namespace

common::ReadResult<SkyObject> SkyObject::unpack(common::Reader& reader) {
  SkyObject out;
  RAVELIN_TRY(out.active_start, reader.read_f32());
  RAVELIN_TRY(out.active_end, reader.read_f32());
  RAVELIN_TRY(out.word_2, reader.read_u32());
  RAVELIN_TRY(out.word_3, reader.read_u32());
  RAVELIN_TRY(out.word_4, reader.read_u32());
  RAVELIN_TRY(out.word_5, reader.read_u32());
  RAVELIN_TRY(out.object_id, reader.read_u32());
  RAVELIN_TRY(out.script_id, reader.read_u32());
  RAVELIN_TRY(out.word_8, reader.read_u32());
  RAVELIN_TRY_VOID(reader.align(4));
  return out;
}

common::ReadResult<SkyTimeEntry> SkyTimeEntry::unpack(common::Reader& reader) {
  SkyTimeEntry out;
  RAVELIN_TRY(out.word_0, reader.read_u32());
  RAVELIN_TRY(out.word_1, reader.read_u32());
  RAVELIN_TRY(out.word_2, reader.read_u32());
  RAVELIN_TRY(out.word_3, reader.read_u32());
  RAVELIN_TRY(out.word_4, reader.read_u32());
  RAVELIN_TRY(out.word_5, reader.read_u32());
  RAVELIN_TRY_VOID(reader.align(4));
  return out;
}

common::ReadResult<SkyTimeOfDay> SkyTimeOfDay::unpack(common::Reader& reader) {
  SkyTimeOfDay out;
  RAVELIN_TRY_VOID(read_words(reader, out.words));
  RAVELIN_TRY_VOID(reader.align(4));
  RAVELIN_TRY_VOID(read_counted(reader, kSkyTimeEntryBytes, out.time_entries, SkyTimeEntry::unpack));
  return out;
}

common::ReadResult<DayGroup> DayGroup::unpack(common::Reader& reader) {
  DayGroup out;
  // The chance precedes the name in the file.
  RAVELIN_TRY(out.chance, reader.read_f32());
  RAVELIN_TRY(out.name, read_aligned_name(reader));
  RAVELIN_TRY_VOID(read_counted(reader, kSkyObjectBytes, out.sky_objects, SkyObject::unpack));
  RAVELIN_TRY_VOID(read_counted(reader, kMinSkyTimeOfDayBytes, out.sky_times, SkyTimeOfDay::unpack));
  return out;
}

common::ReadResult<SkyDesc> SkyDesc::unpack(common::Reader& reader) {
  SkyDesc out;
  RAVELIN_TRY(out.sky_value_1, reader.read_f64());
  RAVELIN_TRY(out.sky_value_2, reader.read_f64());
  RAVELIN_TRY_VOID(reader.align(4));
  RAVELIN_TRY_VOID(read_counted(reader, kMinDayGroupBytes, out.day_groups, DayGroup::unpack));
  return out;
}

common::ReadResult<TerrainType> TerrainType::unpack(common::Reader& reader) {
  TerrainType out;
  RAVELIN_TRY(out.name, read_aligned_name(reader));
  RAVELIN_TRY(out.tag, reader.read_u32());
  RAVELIN_TRY_VOID(read_counted(reader, kWordBytes, out.scene_info_indices, read_word));
  return out;
}

common::ReadResult<TerrainDesc> TerrainDesc::unpack(common::Reader& reader) {
  TerrainDesc out;
  RAVELIN_TRY_VOID(read_counted(reader, kMinTerrainTypeBytes, out.terrain_types, TerrainType::unpack));
  RAVELIN_TRY(out.surface_word_1, reader.read_u32());
  RAVELIN_TRY(out.surface_word_2, reader.read_u32());
  RAVELIN_TRY_VOID(read_counted(reader, kWordPairBytes, out.pair_list_1, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, kWordPairBytes, out.pair_list_2, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, kWordPairBytes, out.pair_list_3, read_word_pair));
  RAVELIN_TRY_VOID(read_counted(reader, kSurfaceEntryBytes, out.surface_entries, read_surface_entry));
  return out;
}

common::ReadResult<SceneType> SceneType::unpack(common::Reader& reader) {
  SceneType out;
  RAVELIN_TRY(out.stb_index, reader.read_i32());
  RAVELIN_TRY_VOID(read_counted(reader, kWordBytes, out.scenes, read_word));
  return out;
}

common::ReadResult<SceneDesc> SceneDesc::unpack(common::Reader& reader) {
  SceneDesc out;
  RAVELIN_TRY_VOID(read_counted(reader, kMinSceneTypeBytes, out.scene_types, SceneType::unpack));
  return out;
}

common::ReadResult<AmbientSound> AmbientSound::unpack(common::Reader& reader) {
  AmbientSound out;
  RAVELIN_TRY(out.s_type, reader.read_u32());
  RAVELIN_TRY(out.volume, reader.read_f32());
  RAVELIN_TRY(out.base_chance, reader.read_f32());
  RAVELIN_TRY(out.min_rate, reader.read_f32());
  RAVELIN_TRY(out.max_rate, reader.read_f32());
  return out;
}

common::ReadResult<AmbientSTBDesc> AmbientSTBDesc::unpack(common::Reader& reader) {
  AmbientSTBDesc out;
  RAVELIN_TRY(out.stb_id, reader.read_u32());
  RAVELIN_TRY_VOID(read_counted(reader, kAmbientSoundBytes, out.ambient_sounds, AmbientSound::unpack));
  return out;
}

common::ReadResult<SoundDesc> SoundDesc::unpack(common::Reader& reader) {
  SoundDesc out;
  RAVELIN_TRY_VOID(read_counted(reader, kMinSTBDescBytes, out.stb_descs, AmbientSTBDesc::unpack));
  return out;
}

common::ReadResult<RegionMisc> RegionMisc::unpack(common::Reader& reader) {
  RegionMisc out;
  RAVELIN_TRY(out.misc_word_1, reader.read_u32());
  RAVELIN_TRY(out.misc_word_2, reader.read_u32());
  RAVELIN_TRY(out.misc_word_3, reader.read_u32());
  RAVELIN_TRY(out.misc_word_4, reader.read_u32());
  RAVELIN_TRY(out.misc_word_5, reader.read_u32());
  RAVELIN_TRY(out.misc_word_6, reader.read_u32());
  return out;
}

common::ReadResult<Region> Region::unpack(common::Reader& reader) {
  Region out;
  RAVELIN_TRY(out.id, reader.read_u32());
  RAVELIN_TRY(out.header_word_1, reader.read_u32());
  RAVELIN_TRY(out.header_word_2, reader.read_u32());
  RAVELIN_TRY(out.name, read_aligned_name(reader));
  RAVELIN_TRY_VOID(read_words(reader, out.region_words));
  RAVELIN_TRY_VOID(read_words(reader, out.region_table));
  RAVELIN_TRY(out.game_time, GameTime::unpack(reader));
  RAVELIN_TRY(out.section_mask, reader.read_u32());

  // File order is sky, sound, scene, terrain, misc: not the order of the bits.
  if (out.section_mask & kRegionHasSky) {
    RAVELIN_TRY(out.sky, SkyDesc::unpack(reader));
  }
  if (out.section_mask & kRegionHasSound) {
    RAVELIN_TRY(out.sound, SoundDesc::unpack(reader));
  }
  if (out.section_mask & kRegionHasScene) {
    RAVELIN_TRY(out.scene, SceneDesc::unpack(reader));
  }
  RAVELIN_TRY(out.terrain, TerrainDesc::unpack(reader));
  if (out.section_mask & kRegionHasMisc) {
    RAVELIN_TRY(out.misc, RegionMisc::unpack(reader));
  }
  return out;
}

}  // namespace ravelin::dat::file_type
