// Every record the bake reads as one JSON document, both ways: what
// `ravelin-bake dat show` prints and the Python package returns, and the
// document an editor changes and `dat encode` turns back into the stored
// bytes. Members follow the records' field order; maps come out as
// [{"key": ..., "value": ...}] in stored order (ascending in every record
// written the usual way). File ids and uninterpreted 32-bit words are "0x" +
// eight hex digits, other integers numbers, floats their shortest round-trip
// decimal, payloads lower-case hex. What the bake's decoders skip or fold away
// (padding that is not zeros, trailing bytes, repeated keys, masked flag bits,
// NaN bits, text bytes that the text does not give back) gets members of its
// own, written only for the records that need them: encoding a document gives
// back the stored bytes exactly.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ravelin/dat/error.h"
#include "ravelin/dat/file_type/animation_encoder.h"
#include "ravelin/dat/file_type/motion_table_encoder.h"
#include "ravelin/dat/file_type/physics_script_encoder.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/file_type/region_encoder.h"
#include "ravelin/dat/file_type/setup_model_encoder.h"
#include "ravelin/dat/landblock_encoder.h"
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

// A record of any type as stored; the alternatives follow RecordType's order.
using StoredRecord = std::variant<file_type::StoredRegion, file_type::StoredSetupModel, file_type::StoredMotionTable,
                                  file_type::StoredAnimation, file_type::StoredPhysicsScript, StoredCellLandblock,
                                  StoredLandblockInfo>;
RecordType record_type_of(const StoredRecord& record);

// Decodes `bytes` as `type` with everything the bake's decoder skips. It fails
// exactly where the bake's decoder fails, with that decoder's error.
DatResult<StoredRecord> decode_stored_record(RecordType type, std::span<const std::uint8_t> bytes);
// The record's JSON document, as record_json writes it.
std::string stored_record_json(const StoredRecord& record, bool compact);
// A document read back as a record of `type`. Errors name the JSON Pointer of
// the value and what was expected there: a wrong type, a value out of range, a
// missing or unknown member, a count that disagrees with its list.
file_type::RecordResult<StoredRecord> parse_stored_record(RecordType type, std::string_view json);
// The record's bytes (the encoder of its type).
file_type::RecordResult<std::vector<std::uint8_t>> encode_stored_record(const StoredRecord& record);

// A document's bytes: parsed as `type`, or, without one, as the type its "id"
// names. An id that names no type, or a different type in a cell archive than
// in any other (0x0201FFFF: a cell-landblock or a setup), fails at "/id"
// listing the candidates; `--type` is how the command line names one.
file_type::RecordResult<std::vector<std::uint8_t>> encode_record_json(std::optional<RecordType> type,
                                                                      std::string_view json);

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
