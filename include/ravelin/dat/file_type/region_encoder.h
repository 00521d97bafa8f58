// The region file as stored: the bake's region records where they lose
// nothing, and stored texts (bytes and padding), the times-of-day flag words
// and the bytes after the last part where they would.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/file_type/region.h"

namespace ravelin::dat::file_type {

struct StoredTimeOfDay {
  std::uint32_t value = 0;
  std::uint32_t flag_word = 0;  // the decoder's flag: not 0
  StoredText name;

  bool operator==(const StoredTimeOfDay&) const = default;
};

struct StoredSeason {
  std::uint32_t value = 0;
  StoredText name;

  bool operator==(const StoredSeason&) const = default;
};

struct StoredGameTime {
  double time_value = 0;
  std::uint32_t time_word_1 = 0;
  std::uint32_t time_word_2 = 0;
  std::uint32_t time_word_3 = 0;
  StoredText name;
  std::vector<StoredTimeOfDay> times_of_day;
  std::vector<StoredText> names;
  std::vector<StoredSeason> seasons;

  bool operator==(const StoredGameTime&) const = default;
};

struct StoredDayGroup {
  float chance = 0;
  StoredText name;
  std::vector<SkyObject> sky_objects;
  std::vector<SkyTimeOfDay> sky_times;

  bool operator==(const StoredDayGroup&) const = default;
};

// The alignment after the two values and after each sky object, sky time and
// entry never skips a byte: every part before them is a multiple of 4 long.
struct StoredSkyDesc {
  double sky_value_1 = 0;
  double sky_value_2 = 0;
  std::vector<StoredDayGroup> day_groups;

  bool operator==(const StoredSkyDesc&) const = default;
};

struct StoredTerrainType {
  StoredText name;
  std::uint32_t tag = 0;
  std::vector<std::uint32_t> scene_info_indices;

  bool operator==(const StoredTerrainType&) const = default;
};

struct StoredTerrainDesc {
  std::vector<StoredTerrainType> terrain_types;
  std::uint32_t surface_word_1 = 0;
  std::uint32_t surface_word_2 = 0;
  std::vector<WordPair> pair_list_1;
  std::vector<WordPair> pair_list_2;
  std::vector<WordPair> pair_list_3;
  std::vector<std::array<std::uint32_t, 11>> surface_entries;

  bool operator==(const StoredTerrainDesc&) const = default;
};

struct StoredRegion {
  std::uint32_t id = 0;
  std::uint32_t header_word_1 = 0;
  std::uint32_t header_word_2 = 0;
  StoredText name;
  std::array<std::uint32_t, 8> region_words{};
  std::array<std::uint32_t, 256> region_table{};
  StoredGameTime game_time;
  // Its bits 0x10, 0x01, 0x02 and 0x200 say which of sky, sound, scene and misc
  // are present; other bits are kept and read as nothing.
  std::uint32_t section_mask = 0;
  std::optional<StoredSkyDesc> sky;
  std::optional<SoundDesc> sound;
  std::optional<SceneDesc> scene;
  StoredTerrainDesc terrain;
  std::optional<RegionMisc> misc;
  Bytes trailing;  // after the last part read (unread sections among them)

  // Decodes what Region::unpack decodes, from the same bytes, and fails where
  // it fails (with an error of its own: Region::unpack's is the one to show).
  static common::ReadResult<StoredRegion> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredRegion&) const = default;
};

// The region's bytes. Fails when the present parts disagree with
// section_mask, a text is longer than 65535 bytes or skipped bytes are longer
// than their gap (or shorter anywhere but at the record's end).
RecordResult<Bytes> encode_region(const StoredRegion& region);

}  // namespace ravelin::dat::file_type
