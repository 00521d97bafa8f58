// A record written into an archive from its JSON document, through an
// ArchiveEditor: what `ravelin-bake dat put --json` and `dat edit`, the Python
// package's ArchiveEditor.put_record and the C interface's
// ravelin_editor_put_record share. The archive tells the record's type, as
// `dat show` picks it (record_type_for_id with is_cell_archive_path), and an
// entry that is replaced keeps how it is stored: compressed or not, its
// bit_flags, timestamp and version.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/record_json.h"

namespace ravelin::dat {

// The file id the archive reads as no record type.
struct NotARecord {
  std::uint32_t file_id = 0;
  common::Path archive;
  bool operator==(const NotARecord&) const = default;
};

// Why a record could not be read from or put into an archive as JSON.
class RecordPutError {
 public:
  using Cause = std::variant<NotARecord, file_type::RecordError, EditError, DatError>;

  explicit RecordPutError(Cause cause) : cause_(std::move(cause)) {}

  // The document is not a record of its type (RecordError: its JSON Pointer
  // and what was expected there); null for the other causes.
  const file_type::RecordError* document_error() const { return std::get_if<file_type::RecordError>(&cause_); }
  // The editor's error (busy, not found, I/O, ...); null for the other causes.
  const EditError* edit_error() const { return std::get_if<EditError>(&cause_); }
  // The stored record does not decode (DatError); null for the other causes.
  const DatError* decode_error() const { return std::get_if<DatError>(&cause_); }
  bool is_not_a_record() const { return std::holds_alternative<NotARecord>(cause_); }

  // "no record type for file id 0x0E000001 in client_portal.dat: only records
  // are written as JSON", the RecordError's, the EditError's or the DatError's
  // display text.
  std::string to_string() const;

 private:
  Cause cause_;
};

template <class T>
using RecordPutResult = std::expected<T, RecordPutError>;

// The type the archive at `archive` reads `file_id` as, by `dat show`'s rule.
std::optional<RecordType> archive_record_type(const common::Path& archive, std::uint32_t file_id);

// The bytes of `json`, a document of the record the archive at `archive` reads
// `file_id` as. Its "id" must be `file_id` (a record stores its own id): a
// different one fails at "/id".
RecordPutResult<std::vector<std::uint8_t>> encode_record_for(const common::Path& archive, std::uint32_t file_id,
                                                             std::string_view json);

// encode_record_for, then editor.put (not committed). An entry replaced keeps
// its compression and fields; `new_entry` stores a new one (and a field it
// sets, or `compress`, applies to a replaced one too).
RecordPutResult<void> put_record_json(ArchiveEditor& editor, std::uint32_t file_id, std::string_view json,
                                      const PutOptions& new_entry = {});

// Record `file_id` of the editor's pending state as `dat show` prints it
// (decompressed, decoded as the archive's type for the id).
RecordPutResult<std::string> pending_record_json(const ArchiveEditor& editor, std::uint32_t file_id, bool compact);
// The decompressed bytes of `file_id` in the editor's pending state.
EditResult<std::vector<std::uint8_t>> pending_file_bytes(const ArchiveEditor& editor, std::uint32_t file_id);

}  // namespace ravelin::dat
