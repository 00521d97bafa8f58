#include "ravelin/dat/record_json.h"

#include <array>
#include <type_traits>
#include <vector>

#include "dat/record_json_animation.h"
#include "dat/record_json_landblock.h"
#include "dat/record_json_motion_table.h"
#include "dat/record_json_region.h"
#include "dat/record_json_setup.h"
#include "dat/record_json_value.h"
#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/json_text.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"

namespace ravelin::dat {
namespace {

namespace ft = file_type;
using common::JsonWriter;

constexpr std::array<std::string_view, 7> kTypeNames = {
    "region", "setup", "motion-table", "animation", "physics-script", "cell-landblock", "landblock-info"};

// The bake decoder's error for bytes the stored decoder could not read: the
// two fail on the same bytes, and the bake's error is the one users know.
template <class Decode>
DatError bake_decoder_error(std::span<const std::uint8_t> bytes, Decode decode, const common::ReadError& stored) {
  common::Reader reader(bytes);
  auto record = decode(reader);
  return DatError::bin_read(record ? stored : std::move(record).error());
}

template <class Record>
DatError landblock_error(const DatResult<Record>& record, const common::ReadError& stored) {
  return record ? DatError::bin_read(stored) : record.error();
}

template <class Stored, class Decode>
DatResult<StoredRecord> decode_stored(std::span<const std::uint8_t> bytes, Decode bake_decode) {
  auto record = Stored::read(bytes);
  if (!record) return std::unexpected(bake_decoder_error(bytes, bake_decode, record.error()));
  return StoredRecord(std::move(*record));
}

template <class Stored, class Read>
ft::RecordResult<StoredRecord> read_stored(const JsonValue& document, Read read) {
  auto record = read(document);
  if (!record) return std::unexpected(std::move(record).error());
  return StoredRecord(std::move(*record));
}

ft::RecordResult<StoredRecord> read_document(RecordType type, const JsonValue& document) {
  switch (type) {
    case RecordType::Region: return read_stored<ft::StoredRegion>(document, read_region);
    case RecordType::Setup: return read_stored<ft::StoredSetupModel>(document, read_setup_model);
    case RecordType::MotionTable: return read_stored<ft::StoredMotionTable>(document, read_motion_table);
    case RecordType::Animation: return read_stored<ft::StoredAnimation>(document, read_animation);
    case RecordType::PhysicsScript: return read_stored<ft::StoredPhysicsScript>(document, read_physics_script);
    case RecordType::CellLandblock: return read_stored<StoredCellLandblock>(document, read_cell_landblock);
    case RecordType::LandblockInfo: return read_stored<StoredLandblockInfo>(document, read_landblock_info);
  }
  return std::unexpected(ft::RecordError{"", "a known record type"});
}

// The type a document's "id" names, in whichever archive holds it.
ft::RecordResult<RecordType> type_of_document(const JsonValue& document) {
  auto object = document.object();
  if (!object) return std::unexpected(object.error());
  auto id_value = object->required("id", expect::kHexWord);
  if (!id_value) return std::unexpected(id_value.error());
  auto id = id_value->hex_word();
  if (!id) return std::unexpected(id.error());
  const auto in_cell = record_type_for_id(*id, true);
  const auto elsewhere = record_type_for_id(*id, false);
  if (in_cell && elsewhere && in_cell != elsewhere)
    return id_value->path().fail(common::hex_id(*id) + " names a " + std::string(record_type_name(*in_cell)) +
                                 " in a cell archive and a " + std::string(record_type_name(*elsewhere)) +
                                 " in any other: name the type with --type (" +
                                 std::string(record_type_name(*in_cell)) + " or " +
                                 std::string(record_type_name(*elsewhere)) + ")");
  if (in_cell) return *in_cell;
  if (elsewhere) return *elsewhere;
  return id_value->path().fail(common::hex_id(*id) + " names no record type: name one with --type (" +
                               record_type_names() + ")");
}

}  // namespace

std::string_view record_type_name(RecordType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

std::optional<RecordType> parse_record_type(std::string_view name) {
  for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
    if (kTypeNames[i] == name) return static_cast<RecordType>(i);
  }
  return std::nullopt;
}

std::string record_type_names() {
  std::string out;
  for (const std::string_view name : kTypeNames) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

bool is_cell_archive_path(const std::filesystem::path& archive) {
  return archive.filename().string().starts_with("client_cell");
}

std::optional<RecordType> record_type_for_id(std::uint32_t file_id, bool cell_archive) {
  if (cell_archive) {
    if (is_cell_landblock_file_id(file_id)) return RecordType::CellLandblock;
    if (is_landblock_info_file_id(file_id)) return RecordType::LandblockInfo;
    return std::nullopt;
  }
  switch (top_byte(file_id)) {
    case kRegionTopByte: return RecordType::Region;
    case kSetupModelTopByte: return RecordType::Setup;
    case kMotionTableTopByte: return RecordType::MotionTable;
    case kAnimationTopByte: return RecordType::Animation;
    case kPhysicsScriptTopByte: return RecordType::PhysicsScript;
    default: return std::nullopt;
  }
}

DatResult<std::string> record_json(RecordType type, std::span<const std::uint8_t> bytes, bool compact) {
  auto record = decode_stored_record(type, bytes);
  if (!record) return std::unexpected(std::move(record).error());
  return stored_record_json(*record, compact);
}

RecordType record_type_of(const StoredRecord& record) { return static_cast<RecordType>(record.index()); }

DatResult<StoredRecord> decode_stored_record(RecordType type, std::span<const std::uint8_t> bytes) {
  switch (type) {
    case RecordType::Region:
      return decode_stored<ft::StoredRegion>(bytes, [](common::Reader& r) { return ft::Region::unpack(r); });
    case RecordType::Setup:
      return decode_stored<ft::StoredSetupModel>(bytes, [](common::Reader& r) { return ft::SetupModel::unpack(r); });
    case RecordType::MotionTable:
      return decode_stored<ft::StoredMotionTable>(bytes, [](common::Reader& r) { return ft::MotionTable::read(r); });
    case RecordType::Animation:
      return decode_stored<ft::StoredAnimation>(bytes, [](common::Reader& r) { return ft::Animation::read(r); });
    case RecordType::PhysicsScript:
      return decode_stored<ft::StoredPhysicsScript>(bytes,
                                                    [](common::Reader& r) { return ft::PhysicsScript::read(r); });
    case RecordType::CellLandblock: {
      auto record = StoredCellLandblock::read(bytes);
      if (!record) return std::unexpected(landblock_error(CellLandblock::unpack(bytes), record.error()));
      return StoredRecord(std::move(*record));
    }
    case RecordType::LandblockInfo: {
      auto record = StoredLandblockInfo::read(bytes);
      if (!record) return std::unexpected(landblock_error(LandblockInfo::unpack(bytes), record.error()));
      return StoredRecord(std::move(*record));
    }
  }
  return std::unexpected(DatError::other("unknown record type"));
}

std::string stored_record_json(const StoredRecord& record, bool compact) {
  JsonWriter w(compact);
  std::visit([&w](const auto& r) { put(w, r); }, record);
  return w.take();
}

ft::RecordResult<StoredRecord> parse_stored_record(RecordType type, std::string_view json) {
  auto document = JsonDocument::parse(json);
  if (!document) return std::unexpected(std::move(document).error());
  const ft::RecordPath root;
  return read_document(type, document->root(root));
}

ft::RecordResult<std::vector<std::uint8_t>> encode_stored_record(const StoredRecord& record) {
  return std::visit(
      [](const auto& r) -> ft::RecordResult<std::vector<std::uint8_t>> {
        using T = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<T, ft::StoredRegion>) return ft::encode_region(r);
        else if constexpr (std::is_same_v<T, ft::StoredSetupModel>) return ft::encode_setup_model(r);
        else if constexpr (std::is_same_v<T, ft::StoredMotionTable>) return ft::encode_motion_table(r);
        else if constexpr (std::is_same_v<T, ft::StoredAnimation>) return ft::encode_animation(r);
        else if constexpr (std::is_same_v<T, ft::StoredPhysicsScript>) return ft::encode_physics_script(r);
        else if constexpr (std::is_same_v<T, StoredCellLandblock>) return encode_cell_landblock(r);
        else return encode_landblock_info(r);
      },
      record);
}

ft::RecordResult<std::vector<std::uint8_t>> encode_record_json(std::optional<RecordType> type, std::string_view json) {
  auto document = JsonDocument::parse(json);
  if (!document) return std::unexpected(std::move(document).error());
  const ft::RecordPath root;
  const JsonValue value = document->root(root);
  if (!type) {
    auto named = type_of_document(value);
    if (!named) return std::unexpected(std::move(named).error());
    type = *named;
  }
  auto record = read_document(*type, value);
  if (!record) return std::unexpected(std::move(record).error());
  return encode_stored_record(*record);
}

ShowError ShowError::dat(DatError error) {
  ShowError e;
  e.dat_ = std::move(error);
  return e;
}

ShowError ShowError::no_record_type(std::uint32_t file_id, std::filesystem::path archive) {
  ShowError e;
  e.file_id_ = file_id;
  e.archive_ = std::move(archive);
  return e;
}

std::string ShowError::to_string() const {
  if (dat_) return dat_->to_string();
  return "no record type for file id " + common::hex_id(file_id_) + " in " + common::display_path(archive_) +
         ": name one with --type (" + record_type_names() + ")";
}

std::expected<std::string, ShowError> show_record(const DatDatabase& db, const std::filesystem::path& archive,
                                                  std::uint32_t file_id, std::optional<RecordType> type,
                                                  bool compact) {
  if (!type) type = record_type_for_id(file_id, is_cell_archive_path(archive));
  if (!type) return std::unexpected(ShowError::no_record_type(file_id, archive));
  auto bytes = db.get_file(file_id);
  if (!bytes) return std::unexpected(ShowError::dat(std::move(bytes.error())));
  auto json = record_json(*type, *bytes, compact);
  if (!json) return std::unexpected(ShowError::dat(std::move(json.error())));
  return std::move(*json);
}

}  // namespace ravelin::dat
