// The region file: name, calendar and the descriptions the bake reads (sky for
// the sky particles; terrain, scene and sound for the ambient sounds). Every
// decoder here reads straight from a cursor over the WHOLE region file, because
// alignment after texts counts from the file's first byte, and returns the bare
// read error without field-context frames.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/game_time.h"

namespace ravelin::dat::file_type {

// Bits of Region::section_mask that select the optional parts; others are ignored.
inline constexpr std::uint32_t kRegionHasSound = 0x01;
inline constexpr std::uint32_t kRegionHasScene = 0x02;
inline constexpr std::uint32_t kRegionHasSky = 0x10;
inline constexpr std::uint32_t kRegionHasMisc = 0x200;

// One object in the sky: the fraction of the day it is active, the object it
// shows and the physics script it runs. Nine words, 36 bytes.
struct SkyObject {
  float active_start = 0;
  float active_end = 0;
  std::uint32_t word_2 = 0;
  std::uint32_t word_3 = 0;
  std::uint32_t word_4 = 0;
  std::uint32_t word_5 = 0;
  std::uint32_t object_id = 0;  // a setup model when the top byte is 0x02
  std::uint32_t script_id = 0;  // physics script, 0 for none
  std::uint32_t word_8 = 0;

  // The nine words, then align to 4. Bare read error on short data.
  static common::ReadResult<SkyObject> unpack(common::Reader& reader);
  bool operator==(const SkyObject&) const = default;
};

// Six words, not interpreted.
struct SkyTimeEntry {
  std::uint32_t word_0 = 0;
  std::uint32_t word_1 = 0;
  std::uint32_t word_2 = 0;
  std::uint32_t word_3 = 0;
  std::uint32_t word_4 = 0;
  std::uint32_t word_5 = 0;

  // The six words, then align to 4. Bare read error on short data.
  static common::ReadResult<SkyTimeEntry> unpack(common::Reader& reader);
  bool operator==(const SkyTimeEntry&) const = default;
};

struct SkyTimeOfDay {
  std::array<std::uint32_t, 11> words{};  // word_0 .. word_10, not interpreted
  std::vector<SkyTimeEntry> time_entries;

  // Eleven words, align to 4, counted entries. Bare read error on short data.
  static common::ReadResult<SkyTimeOfDay> unpack(common::Reader& reader);
  bool operator==(const SkyTimeOfDay&) const = default;
};

struct DayGroup {
  float chance = 0;
  std::string name;
  std::vector<SkyObject> sky_objects;
  std::vector<SkyTimeOfDay> sky_times;

  // chance (before the name), aligned name, counted sky objects, counted sky
  // times. Bare read error on short data.
  static common::ReadResult<DayGroup> unpack(common::Reader& reader);
  bool operator==(const DayGroup&) const = default;
};

// Lists keep file order: the sky particle indexes are file positions.
struct SkyDesc {
  double sky_value_1 = 0;
  double sky_value_2 = 0;
  std::vector<DayGroup> day_groups;

  // Two f64, align to 4, counted day groups. Leaves the cursor after the last
  // group. Bare read error on short data.
  static common::ReadResult<SkyDesc> unpack(common::Reader& reader);
  bool operator==(const SkyDesc&) const = default;
};

struct TerrainType {
  std::string name;
  std::uint32_t tag = 0;
  // Indexed by scene type; each value indexes SceneDesc::scene_types (unchecked).
  std::vector<std::uint32_t> scene_info_indices;

  // Aligned name, tag, counted indices. Bare read error on short data.
  static common::ReadResult<TerrainType> unpack(common::Reader& reader);
  bool operator==(const TerrainType&) const = default;
};

using WordPair = std::pair<std::uint32_t, std::uint32_t>;

// Terrain types (indexed by terrain type number) followed by surface data that
// nothing interprets but that must be consumed to reach the region's tail.
struct TerrainDesc {
  std::vector<TerrainType> terrain_types;
  std::uint32_t surface_word_1 = 0;
  std::uint32_t surface_word_2 = 0;
  std::vector<WordPair> pair_list_1;
  std::vector<WordPair> pair_list_2;
  std::vector<WordPair> pair_list_3;
  std::vector<std::array<std::uint32_t, 11>> surface_entries;

  // The lists in file order; at least 28 bytes. Bare read error on short data.
  static common::ReadResult<TerrainDesc> unpack(common::Reader& reader);
  bool operator==(const TerrainDesc&) const = default;
};

struct SceneType {
  std::int32_t stb_index = 0;  // index into SoundDesc::stb_descs; negative: none
  std::vector<std::uint32_t> scenes;

  // stb_index, counted scene words. Bare read error on short data.
  static common::ReadResult<SceneType> unpack(common::Reader& reader);
  bool operator==(const SceneType&) const = default;
};

struct SceneDesc {
  std::vector<SceneType> scene_types;

  // Counted scene types. Bare read error on short data.
  static common::ReadResult<SceneDesc> unpack(common::Reader& reader);
  bool operator==(const SceneDesc&) const = default;
};

// One ambient sound, 20 bytes; the floats keep their stored bit patterns.
struct AmbientSound {
  std::uint32_t s_type = 0;
  float volume = 0;
  float base_chance = 0;
  float min_rate = 0;
  float max_rate = 0;

  // Five words. Bare read error on short data.
  static common::ReadResult<AmbientSound> unpack(common::Reader& reader);
  bool operator==(const AmbientSound&) const = default;
};

struct AmbientSTBDesc {
  std::uint32_t stb_id = 0;  // the ambient sound table's id
  std::vector<AmbientSound> ambient_sounds;

  // stb_id, counted sounds. Bare read error on short data.
  static common::ReadResult<AmbientSTBDesc> unpack(common::Reader& reader);
  bool operator==(const AmbientSTBDesc&) const = default;
};

struct SoundDesc {
  std::vector<AmbientSTBDesc> stb_descs;

  // Counted tables. Bare read error on short data.
  static common::ReadResult<SoundDesc> unpack(common::Reader& reader);
  bool operator==(const SoundDesc&) const = default;
};

// Six words, not interpreted.
struct RegionMisc {
  std::uint32_t misc_word_1 = 0;
  std::uint32_t misc_word_2 = 0;
  std::uint32_t misc_word_3 = 0;
  std::uint32_t misc_word_4 = 0;
  std::uint32_t misc_word_5 = 0;
  std::uint32_t misc_word_6 = 0;

  // The six words. Bare read error on short data.
  static common::ReadResult<RegionMisc> unpack(common::Reader& reader);
  bool operator==(const RegionMisc&) const = default;
};

struct Region {
  std::uint32_t id = 0;  // as stored; not compared with the requested file id
  std::uint32_t header_word_1 = 0;
  std::uint32_t header_word_2 = 0;
  std::string name;
  std::array<std::uint32_t, 8> region_words{};  // 32-bit patterns
  std::array<std::uint32_t, 256> region_table{};
  GameTime game_time;
  std::uint32_t section_mask = 0;
  std::optional<SkyDesc> sky;        // bit 0x10
  std::optional<SoundDesc> sound;    // bit 0x01
  std::optional<SceneDesc> scene;    // bit 0x02
  TerrainDesc terrain;               // always
  std::optional<RegionMisc> misc;    // bit 0x200

  // Decodes a region file from the cursor (position 0 = the file's first byte).
  // The optional parts follow in the order sky, sound, scene, terrain, misc,
  // whatever the order of their bits. Trailing bytes are ignored. Any short read
  // fails the whole region with the bare "failed to fill whole buffer".
  static common::ReadResult<Region> unpack(common::Reader& reader);
  bool operator==(const Region&) const = default;
};

}  // namespace ravelin::dat::file_type
