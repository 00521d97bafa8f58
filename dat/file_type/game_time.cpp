#include "ravelin/dat/file_type/game_time.h"

#include "ravelin/dat/utils.h"

namespace ravelin::dat::file_type {

namespace {
// Smallest file footprint of each list item, to bound reservations.
constexpr std::uint64_t kMinTimeOfDayBytes = 10;  // value, flag, name length
constexpr std::uint64_t kMinNameBytes = 2;        // name length
constexpr std::uint64_t kMinSeasonBytes = 6;      // value, name length
}  // namespace

common::ReadResult<std::string> read_aligned_name(common::Reader& reader) {
  std::string name;
  RAVELIN_TRY(name, utils::read_pstring(reader, 2));
  RAVELIN_TRY_VOID(reader.align(4));
  return name;
}

common::ReadResult<TimeOfDay> TimeOfDay::unpack(common::Reader& reader) {
  TimeOfDay out;
  RAVELIN_TRY(out.value, reader.read_u32());
  std::uint32_t flag_word = 0;
  RAVELIN_TRY(flag_word, reader.read_u32());
  out.flag = flag_word != 0;
  RAVELIN_TRY(out.name, read_aligned_name(reader));
  return out;
}

common::ReadResult<Season> Season::unpack(common::Reader& reader) {
  Season out;
  RAVELIN_TRY(out.value, reader.read_u32());
  RAVELIN_TRY(out.name, read_aligned_name(reader));
  return out;
}

common::ReadResult<GameTime> GameTime::unpack(common::Reader& reader) {
  GameTime out;
  RAVELIN_TRY(out.time_value, reader.read_f64());
  RAVELIN_TRY(out.time_word_1, reader.read_u32());
  RAVELIN_TRY(out.time_word_2, reader.read_u32());
  RAVELIN_TRY(out.time_word_3, reader.read_u32());
  RAVELIN_TRY(out.name, read_aligned_name(reader));

  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out.times_of_day,
              common::read_list<TimeOfDay>(reader, count, kMinTimeOfDayBytes, TimeOfDay::unpack));

  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out.names, common::read_list<std::string>(reader, count, kMinNameBytes, read_aligned_name));

  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(out.seasons, common::read_list<Season>(reader, count, kMinSeasonBytes, Season::unpack));
  return out;
}

}  // namespace ravelin::dat::file_type
