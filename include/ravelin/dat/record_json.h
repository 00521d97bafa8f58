// Every record the bake reads, decoded and written as one JSON document: what
// `ravelin-bake dat show` prints and the Python package returns. Members follow
// the records' field order; hash maps come out as [{"key": ..., "value": ...}]
// sorted by key as unsigned 32-bit numbers, so a document never depends on map
// order. File ids and uninterpreted 32-bit words are "0x" + eight hex digits,
// other integers numbers, floats their shortest round-trip decimal, payloads
// lower-case hex.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ravelin/dat/error.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

enum class RecordType : std::uint8_t { Region, Setup, MotionTable, Animation, PhysicsScript, CellLandblock, LandblockInfo };

// "region", "setup", "motion-table", "animation", "physics-script",
// "cell-landblock", "landblock-info".
std::string_view record_type_name(RecordType type);
// The type of one of those names; nothing for any other text.
std::optional<RecordType> parse_record_type(std::string_view name);
// The names above, separated by ", " (for help and error texts).
std::string record_type_names();

// True when the archive's file name starts with "client_cell".
bool is_cell_archive_path(const std::filesystem::path& archive);

// The type a file id stands for. In a cell archive only the landblock records
// are recognised: low half 0xFFFF a CellLandblock, 0xFFFE a LandblockInfo (an
// id of any other form there is a cell of the landblock, which nothing here
// decodes). Elsewhere the top byte picks: 0x13 region, 0x02 setup, 0x09 motion
// table, 0x03 animation, 0x33 physics script.
std::optional<RecordType> record_type_for_id(std::uint32_t file_id, bool cell_archive);

// Decodes `bytes` as `type`; the JSON document (indented with 2 spaces, or one
// line when compact, no trailing newline). A decoder failure is BinRead (or the
// landblock records' own DatError), as the archive layer reports one.
DatResult<std::string> record_json(RecordType type, std::span<const std::uint8_t> bytes, bool compact);

// Why `dat show` gave no document: the archive's error fetching the file or the
// decoder's, or a file id for which no record type is known.
class ShowError {
 public:
  static ShowError dat(DatError error);
  static ShowError no_record_type(std::uint32_t file_id, std::filesystem::path archive);

  // The archive's or the decoder's error; null for a file id without a type.
  const DatError* dat_error() const { return dat_ ? &*dat_ : nullptr; }
  // The text the command prints after "error: ": the DatError's display text,
  // or "no record type for file id 0x{:08X} in {archive}: name one with --type
  // (region, ...)".
  std::string to_string() const;

  bool operator==(const ShowError&) const = default;

 private:
  ShowError() = default;
  std::optional<DatError> dat_;
  std::uint32_t file_id_ = 0;
  std::filesystem::path archive_;
};

// Everything `dat show` does after opening the archive: picks the type (the
// explicit one, else the id rule with is_cell_archive_path(archive)), fetches,
// decodes.
std::expected<std::string, ShowError> show_record(const DatDatabase& db, const std::filesystem::path& archive,
                                                  std::uint32_t file_id, std::optional<RecordType> type,
                                                  bool compact);

}  // namespace ravelin::dat
