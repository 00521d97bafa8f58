// Records written into an archive from their JSON documents (record_put.h).
#include "ravelin/dat/record_put.h"

#include <utility>

#include "ravelin/common/id_text.h"
#include "ravelin/dat/utils.h"

namespace ravelin::dat {

std::string RecordPutError::to_string() const {
  struct Text {
    std::string operator()(const NotARecord& n) const {
      return "no record type for file id " + common::hex_id(n.file_id) + " in " + common::display_path(n.archive) +
             ": only records are written as JSON";
    }
    std::string operator()(const file_type::RecordError& e) const { return e.to_string(); }
    std::string operator()(const EditError& e) const { return e.to_string(); }
    std::string operator()(const DatError& e) const { return e.to_string(); }
  };
  return std::visit(Text{}, cause_);
}

std::optional<RecordType> archive_record_type(const common::Path& archive, std::uint32_t file_id) {
  return record_type_for_id(file_id, is_cell_archive_path(archive));
}

RecordPutResult<std::vector<std::uint8_t>> encode_record_for(const common::Path& archive, std::uint32_t file_id,
                                                             std::string_view json) {
  const auto type = archive_record_type(archive, file_id);
  if (!type) return std::unexpected(RecordPutError(NotARecord{file_id, archive}));
  auto record = parse_stored_record(*type, json);
  if (!record) return std::unexpected(RecordPutError(std::move(record).error()));
  // The record's bytes carry its id: one put under another id would name a
  // file that is not there.
  const std::uint32_t named = std::visit([](const auto& r) { return r.id; }, *record);
  if (named != file_id)
    return std::unexpected(RecordPutError(
        file_type::RecordError{"/id", "expected " + common::hex_id(file_id) + ", the file id it is put as"}));
  auto bytes = encode_stored_record(*record);
  if (!bytes) return std::unexpected(RecordPutError(std::move(bytes).error()));
  return std::move(*bytes);
}

RecordPutResult<void> put_record_json(ArchiveEditor& editor, std::uint32_t file_id, std::string_view json,
                                      const PutOptions& new_entry) {
  auto bytes = encode_record_for(editor.path(), file_id, json);
  if (!bytes) return std::unexpected(std::move(bytes).error());
  PutOptions options = new_entry;
  // Unset fields the editor keeps from the entry replaced; compression is ours to keep.
  if (const auto replaced = editor.find(file_id); replaced && replaced->is_compressed()) options.compress = true;
  if (auto put = editor.put(file_id, *bytes, options); !put) return std::unexpected(RecordPutError(put.error()));
  return {};
}

EditResult<std::vector<std::uint8_t>> pending_file_bytes(const ArchiveEditor& editor, std::uint32_t file_id) {
  const auto entry = editor.find(file_id);
  if (!entry) return std::unexpected(EditError::not_found(editor.path(), file_id));
  auto stored = editor.stored_bytes(file_id);
  if (!stored || !entry->is_compressed()) return stored;
  return utils::decompress_lrs(*stored);
}

RecordPutResult<std::string> pending_record_json(const ArchiveEditor& editor, std::uint32_t file_id, bool compact) {
  if (!editor.find(file_id)) return std::unexpected(RecordPutError(EditError::not_found(editor.path(), file_id)));
  const auto type = archive_record_type(editor.path(), file_id);
  if (!type) return std::unexpected(RecordPutError(NotARecord{file_id, editor.path()}));
  auto bytes = pending_file_bytes(editor, file_id);
  if (!bytes) return std::unexpected(RecordPutError(std::move(bytes).error()));
  auto json = record_json(*type, *bytes, compact);
  if (!json) return std::unexpected(RecordPutError(std::move(json).error()));
  return std::move(*json);
}

}  // namespace ravelin::dat
