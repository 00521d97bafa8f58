// The region's game calendar: the current time value, the named times of day,
// a list of names and the seasons. Held for completeness; the bake reads none
// of it, but it sits between the region table and the optional descriptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/common/reader.h"

namespace ravelin::dat::file_type {

// Reads a text with a 2-byte length, then advances the cursor to the next
// multiple of 4 counted from the first byte of the cursor's data. Errors: the
// bare read error of the text ("failed to fill whole buffer" when short).
common::ReadResult<std::string> read_aligned_name(common::Reader& reader);

// One named time of day. The flag is a word in the file, true when not 0.
struct TimeOfDay {
  std::uint32_t value = 0;  // 32-bit pattern, not interpreted
  bool flag = false;
  std::string name;

  // value, flag word, aligned name. Bare read error on short data.
  static common::ReadResult<TimeOfDay> unpack(common::Reader& reader);
  bool operator==(const TimeOfDay&) const = default;
};

struct Season {
  std::uint32_t value = 0;  // 32-bit pattern, not interpreted
  std::string name;

  // value, aligned name. Bare read error on short data.
  static common::ReadResult<Season> unpack(common::Reader& reader);
  bool operator==(const Season&) const = default;
};

struct GameTime {
  double time_value = 0;
  std::uint32_t time_word_1 = 0;
  std::uint32_t time_word_2 = 0;
  std::uint32_t time_word_3 = 0;
  std::string name;
  std::vector<TimeOfDay> times_of_day;
  std::vector<std::string> names;
  std::vector<Season> seasons;

  // f64, three words, aligned name, then three counted lists (times of day,
  // aligned names, seasons) in file order. Leaves the cursor after the seasons.
  // Any short read fails the whole calendar with the bare read error.
  static common::ReadResult<GameTime> unpack(common::Reader& reader);
  bool operator==(const GameTime&) const = default;
};

}  // namespace ravelin::dat::file_type
