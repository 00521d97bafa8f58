// Writers of region files and of each of their descriptions, for tests and the
// sample world. They take plain description structs of their own, write texts
// as raw bytes and floats as values or raw bit patterns, and fill alignment
// gaps with 0xEE so a reader that fails to skip them reads visibly wrong
// values. A whole region goes through the library's encoder unless it is
// broken on purpose (a declared count) or the count positions are wanted; the
// single descriptions, placed at any offset, are written by hand.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dat_writer/byte_writer.h"

namespace ravelin::dat_writer {

// A 32-bit float given as a value or as a raw bit pattern (NaNs, -0.0).
struct F32Bits {
  std::uint32_t bits = 0;
  F32Bits() = default;
  F32Bits(float value) : bits(std::bit_cast<std::uint32_t>(value)) {}  // NOLINT: implicit on purpose
  static F32Bits raw(std::uint32_t bits) {
    F32Bits out;
    out.bits = bits;
    return out;
  }
};

// The same for doubles.
struct F64Bits {
  std::uint64_t bits = 0;
  F64Bits() = default;
  F64Bits(double value) : bits(std::bit_cast<std::uint64_t>(value)) {}  // NOLINT: implicit on purpose
  static F64Bits raw(std::uint64_t bits) {
    F64Bits out;
    out.bits = bits;
    return out;
  }
};

struct SkyObjectDef {
  F32Bits active_start = 0.0f;
  F32Bits active_end = 1.0f;
  std::array<std::uint32_t, 4> words_2_to_5{};
  std::uint32_t object_id = 0;
  std::uint32_t script_id = 0;
  std::uint32_t word_8 = 0;
};

struct SkyTimeOfDayDef {
  std::array<std::uint32_t, 11> words{};
  std::vector<std::array<std::uint32_t, 6>> entries;
};

struct DayGroupDef {
  F32Bits chance = 1.0f;
  std::string name = "Day";  // raw bytes
  std::vector<SkyObjectDef> sky_objects;
  std::vector<SkyTimeOfDayDef> sky_times;
};

struct SkyDescDef {
  F64Bits value_1 = 0.0;
  F64Bits value_2 = 0.0;
  std::vector<DayGroupDef> day_groups;
};

struct AmbientSoundDef {
  std::uint32_t s_type = 0;
  F32Bits volume = 1.0f;
  F32Bits base_chance = 0.5f;
  F32Bits min_rate = 1.0f;
  F32Bits max_rate = 2.0f;
};

struct AmbientTableDef {
  std::uint32_t stb_id = 0;
  std::vector<AmbientSoundDef> sounds;
  // When set, written as the sound count instead of sounds.size() (short lists).
  std::optional<std::uint32_t> declared_count;
};

struct SoundDescDef {
  std::vector<AmbientTableDef> tables;
};

struct SceneTypeDef {
  std::int32_t stb_index = 0;
  std::vector<std::uint32_t> scenes;
};

struct SceneDescDef {
  std::vector<SceneTypeDef> scene_types;
};

struct TerrainTypeDef {
  std::string name = "Grass";  // raw bytes
  std::uint32_t tag = 0;
  std::vector<std::uint32_t> scene_info_indices;
};

struct TerrainDescDef {
  std::vector<TerrainTypeDef> terrain_types;
  std::uint32_t surface_word_1 = 0;
  std::uint32_t surface_word_2 = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pair_list_1;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pair_list_2;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pair_list_3;
  std::vector<std::array<std::uint32_t, 11>> surface_entries;
};

struct RegionMiscDef {
  std::array<std::uint32_t, 6> words{};
};

struct TimeOfDayDef {
  std::uint32_t value = 0;
  std::uint32_t flag_word = 0;  // any word; non-zero reads as true
  std::string name = "Dawn";    // raw bytes
};

struct SeasonDef {
  std::uint32_t value = 0;
  std::string name = "Spring";  // raw bytes
};

struct GameTimeDef {
  F64Bits time_value = 0.0;
  std::array<std::uint32_t, 3> words{};
  std::string name = "Calendar";  // raw bytes
  std::vector<TimeOfDayDef> times_of_day;
  std::vector<std::string> names;  // raw bytes
  std::vector<SeasonDef> seasons;
};

// A whole region file. The section mask is derived from which optional parts are
// present, OR-ed with `extra_mask_bits` (bits the reader must ignore).
struct RegionDef {
  std::uint32_t id = 0x13000000;
  std::uint32_t header_word_1 = 0;
  std::uint32_t header_word_2 = 0;
  std::string name = "Region";  // raw bytes
  std::array<std::uint32_t, 8> region_words{};
  std::array<std::uint32_t, 256> region_table{};
  GameTimeDef game_time;
  std::uint32_t extra_mask_bits = 0;
  std::optional<SkyDescDef> sky;
  std::optional<SoundDescDef> sound;
  std::optional<SceneDescDef> scene;
  TerrainDescDef terrain;
  std::optional<RegionMiscDef> misc;
};

// Section mask written for `def`: 0x10 sky, 0x01 sound, 0x02 scene, 0x200 misc.
std::uint32_t region_section_mask(const RegionDef& def);

// Positions of every list count written, in write order (for count patching).
using CountOffsets = std::vector<std::size_t>;

// Appenders: alignment counts from the writer's first byte, i.e. the writer is
// the whole region file. Each records the position of every count it writes
// into `counts` when given.
void write_game_time(ByteWriter& out, const GameTimeDef& def, CountOffsets* counts = nullptr);
void write_sky_desc(ByteWriter& out, const SkyDescDef& def, CountOffsets* counts = nullptr);
void write_sound_desc(ByteWriter& out, const SoundDescDef& def, CountOffsets* counts = nullptr);
void write_scene_desc(ByteWriter& out, const SceneDescDef& def, CountOffsets* counts = nullptr);
void write_terrain_desc(ByteWriter& out, const TerrainDescDef& def,
                        CountOffsets* counts = nullptr);
void write_region_misc(ByteWriter& out, const RegionMiscDef& def);

// One description placed at `start_offset`: the result holds `start_offset`
// filler bytes (0xCD), then the description, so a reader starting at
// `start_offset` sees the alignment a region file would give it.
std::vector<std::uint8_t> encode_game_time(const GameTimeDef& def, std::size_t start_offset = 0);
std::vector<std::uint8_t> encode_sky_desc(const SkyDescDef& def, std::size_t start_offset = 0);
std::vector<std::uint8_t> encode_sound_desc(const SoundDescDef& def, std::size_t start_offset = 0);
std::vector<std::uint8_t> encode_scene_desc(const SceneDescDef& def, std::size_t start_offset = 0);
std::vector<std::uint8_t> encode_terrain_desc(const TerrainDescDef& def,
                                              std::size_t start_offset = 0);

// A whole region file.
std::vector<std::uint8_t> encode_region(const RegionDef& def, CountOffsets* counts = nullptr);

// A region with every part: two terrain types, three scene types, two ambient
// tables, three day groups whose sky objects name setup models (0x02...) and
// physics scripts (0x33...), a calendar and misc words. Edit it for variations.
RegionDef sample_region_def();

}  // namespace ravelin::dat_writer
