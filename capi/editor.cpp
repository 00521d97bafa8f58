// The archive editor and the structural check behind the C interface
// (ravelin_editor_*, ravelin_archive_check), with the rules of the other
// calls: arguments checked, handles looked up, errors as a status and the
// library's display text, results in malloc'd buffers.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "capi/call.h"
#include "capi/handles.h"
#include "ravelin/dat/archive_check.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/archive_folder.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_put.h"
#include "ravelin/ravelin.h"

namespace ravelin::capi {

// The handle table hands out const references; the editor changes behind
// them, one call at a time, which `in_use` enforces.
struct OpenEditor {
  explicit OpenEditor(dat::ArchiveEditor opened) : editor(std::move(opened)) {}
  mutable dat::ArchiveEditor editor;
  mutable std::atomic<bool> in_use{false};
};

namespace {

std::unexpected<CallFailure> null_argument(std::string_view function, std::string_view name) {
  return call_failure(RAVELIN_ERROR_ARGUMENT, std::string(function) + ": " + std::string(name) + " is NULL");
}

ravelin_status status_of(dat::EditError::Kind kind) {
  using Kind = dat::EditError::Kind;
  switch (kind) {
    case Kind::Busy: return RAVELIN_ERROR_BUSY;
    case Kind::Refused: return RAVELIN_ERROR_REFUSED;
    case Kind::NotFound: return RAVELIN_ERROR_NOT_FOUND;
    case Kind::TooLarge: return RAVELIN_ERROR_TOO_LARGE;
    case Kind::Io: return RAVELIN_ERROR_IO;
    case Kind::Archive: return RAVELIN_ERROR_DAT;
  }
  return RAVELIN_ERROR_INTERNAL;
}

std::unexpected<CallFailure> edit_failure(const dat::EditError& error) {
  return call_failure(status_of(error.kind()), error.to_string());
}

// An editor held for one call: released when the call returns, so a second
// thread calling meanwhile gets an error rather than a data race.
class EditorUse {
 public:
  explicit EditorUse(std::shared_ptr<const OpenEditor> open) : open_(std::move(open)) {}
  EditorUse(EditorUse&& other) noexcept = default;
  EditorUse& operator=(EditorUse&&) = delete;
  ~EditorUse() {
    if (open_) open_->in_use.store(false, std::memory_order_release);
  }
  dat::ArchiveEditor& operator*() const { return open_->editor; }
  dat::ArchiveEditor* operator->() const { return &open_->editor; }

 private:
  std::shared_ptr<const OpenEditor> open_;
};

CallResult<EditorUse> use_editor(std::string_view function, const ravelin_editor* handle) {
  Lookup<OpenEditor> lookup = find_editor(reinterpret_cast<std::uintptr_t>(handle));
  if (!lookup.object) return call_failure(RAVELIN_ERROR_HANDLE, std::string(function) + ": " + lookup.problem);
  bool idle = false;
  if (!lookup.object->in_use.compare_exchange_strong(idle, true, std::memory_order_acquire))
    return call_failure(RAVELIN_ERROR_HANDLE, std::string(function) + ": editor is in use by another thread");
  return EditorUse(std::move(lookup.object));
}

CallResult<void> hand_out(dat::EditResult<dat::ArchiveEditor> opened, ravelin_editor** editor) {
  if (!opened) return edit_failure(opened.error());
  auto open = std::make_shared<const OpenEditor>(std::move(*opened));
  *editor = reinterpret_cast<ravelin_editor*>(add_handle(std::move(open)));
  return {};
}

// `text` in a malloc'd buffer with a NUL after its last byte.
CallResult<char*> copy_out(std::string_view text) {
  auto* buffer = static_cast<char*>(std::malloc(text.size() + 1));
  if (buffer == nullptr) return call_failure(RAVELIN_ERROR_MEMORY, "out of memory");
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = 0;
  return buffer;
}

// The header fields a new archive takes from `like`, or zeros.
CallResult<dat::DatHeader> kept_fields(std::string_view function, const char* like) {
  if (like == nullptr) return dat::DatHeader{};
  auto path = path_parameter(function, "like", like);
  if (!path) return std::unexpected(path.error());
  auto db = dat::DatDatabase::open(*path);
  if (!db) return call_failure(RAVELIN_ERROR_DAT, db.error().to_string());
  return db->header();
}

dat::PutOptions put_options(const ravelin_put_options* options) {
  ravelin_put_options chosen;
  ravelin_put_options_init(&chosen);
  if (options != nullptr) chosen = *options;
  dat::PutOptions out;
  out.compress = chosen.compressed != 0;
  if (chosen.has_flags != 0) out.flags = chosen.flags;
  if (chosen.has_timestamp != 0) out.timestamp = chosen.timestamp;
  if (chosen.has_version != 0) out.version = chosen.version;
  return out;
}

CallResult<std::span<const std::uint8_t>> bytes_argument(std::string_view function, std::string_view name,
                                                         const std::uint8_t* data, std::size_t size) {
  if (data == nullptr && size != 0) return null_argument(function, name);
  return std::span<const std::uint8_t>(data, data == nullptr ? 0 : size);
}

// A document that is not a record of its type, or an id that is no record,
// is the caller's argument (as for ravelin_record_encode); the editor's
// failures keep their statuses.
std::unexpected<CallFailure> record_put_failure(const dat::RecordPutError& error) {
  if (const dat::EditError* edit = error.edit_error()) return edit_failure(*edit);
  if (error.decode_error() != nullptr) return call_failure(RAVELIN_ERROR_DAT, error.to_string());
  return call_failure(RAVELIN_ERROR_ARGUMENT, error.to_string());
}

ravelin_commit_stats c_stats(const dat::CommitStats& stats) {
  return {stats.blocks_written, stats.blocks_reused,    stats.blocks_appended,    stats.blocks_freed,
          stats.blocks_reclaimed, stats.blocks_left_leaked, stats.reuse ? 1 : 0};
}

}  // namespace
}  // namespace ravelin::capi

using namespace ravelin;
using namespace ravelin::capi;

extern "C" {

void ravelin_put_options_init(ravelin_put_options* options) {
  if (options == nullptr) return;
  *options = ravelin_put_options{0, 0, 0, 0, 0, 0, 0};
}

ravelin_status ravelin_editor_open(const char* path, ravelin_editor** editor, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_open";
    if (editor == nullptr) return null_argument(fn, "editor");
    auto file = path_parameter(fn, "path", path);
    if (!file) return std::unexpected(file.error());
    return hand_out(dat::ArchiveEditor::open(*file), editor);
  });
}

ravelin_status ravelin_editor_create(const char* path, uint32_t block_size, const char* like, ravelin_editor** editor,
                                     ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_create";
    if (editor == nullptr) return null_argument(fn, "editor");
    auto file = path_parameter(fn, "path", path);
    if (!file) return std::unexpected(file.error());
    auto fields = kept_fields(fn, like);
    if (!fields) return std::unexpected(fields.error());
    if (block_size == 0) {
      if (like == nullptr)
        return call_failure(RAVELIN_ERROR_ARGUMENT, std::string(fn) + ": block_size is 0 and there is no `like` archive");
      block_size = fields->block_size;
    }
    return hand_out(dat::ArchiveEditor::create(*file, block_size, *fields), editor);
  });
}

ravelin_status ravelin_editor_put(ravelin_editor* editor, uint32_t id, const uint8_t* data, size_t size,
                                  const ravelin_put_options* options, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_put";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    auto bytes = bytes_argument(fn, "data", data, size);
    if (!bytes) return std::unexpected(bytes.error());
    if (auto put = (*use)->put(id, *bytes, put_options(options)); !put) return edit_failure(put.error());
    return {};
  });
}

ravelin_status ravelin_editor_put_stored(ravelin_editor* editor, uint32_t id, const uint8_t* stored, size_t size,
                                         uint32_t bit_flags, uint32_t timestamp, uint32_t version,
                                         ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_put_stored";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    auto bytes = bytes_argument(fn, "stored", stored, size);
    if (!bytes) return std::unexpected(bytes.error());
    if (auto put = (*use)->put_stored(id, *bytes, bit_flags, timestamp, version); !put)
      return edit_failure(put.error());
    return {};
  });
}

ravelin_status ravelin_editor_remove(ravelin_editor* editor, uint32_t id, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    auto use = use_editor("ravelin_editor_remove", editor);
    if (!use) return std::unexpected(use.error());
    if (auto removed = (*use)->remove(id); !removed) return edit_failure(removed.error());
    return {};
  });
}

ravelin_status ravelin_editor_commit(ravelin_editor* editor, ravelin_commit_stats* stats, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    auto use = use_editor("ravelin_editor_commit", editor);
    if (!use) return std::unexpected(use.error());
    auto committed = (*use)->commit();
    if (!committed) return edit_failure(committed.error());
    if (stats != nullptr) *stats = c_stats(*committed);
    return {};
  });
}

ravelin_status ravelin_editor_abandon(ravelin_editor* editor, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    auto use = use_editor("ravelin_editor_abandon", editor);
    if (!use) return std::unexpected(use.error());
    (*use)->abandon();
    return {};
  });
}

ravelin_status ravelin_editor_close(ravelin_editor* editor, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    // The editor goes with the table's reference (a call still running on
    // another thread keeps it until it returns); nothing uncommitted is written.
    const std::string problem = remove_editor(reinterpret_cast<std::uintptr_t>(editor));
    if (problem.empty()) return {};
    return call_failure(RAVELIN_ERROR_HANDLE, "ravelin_editor_close: " + problem);
  });
}

ravelin_status ravelin_editor_entry_count(ravelin_editor* editor, size_t* count, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_entry_count";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    if (count == nullptr) return null_argument(fn, "count");
    *count = static_cast<size_t>((*use)->entry_count());
    return {};
  });
}

ravelin_status ravelin_editor_find(ravelin_editor* editor, uint32_t id, int* found, ravelin_entry* entry,
                                   ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_find";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    if (found == nullptr) return null_argument(fn, "found");
    const std::optional<dat::DatFileEntry> pending = (*use)->find(id);
    *found = pending ? 1 : 0;
    if (pending && entry != nullptr)
      *entry = ravelin_entry{pending->id, pending->bit_flags, pending->size, pending->timestamp, pending->version};
    return {};
  });
}

ravelin_status ravelin_editor_put_record(ravelin_editor* editor, uint32_t id, const char* json, size_t size,
                                         ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_put_record";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    if (json == nullptr && size != 0) return null_argument(fn, "json");
    const std::string_view text(json == nullptr ? "" : json, json == nullptr ? 0 : size);
    if (auto put = dat::put_record_json(**use, id, text); !put) return record_put_failure(put.error());
    return {};
  });
}

ravelin_status ravelin_archive_check(const char* path, char** jsonl, size_t* size, size_t* faults, size_t* notes,
                                     ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_archive_check";
    auto file = path_parameter(fn, "path", path);
    if (!file) return std::unexpected(file.error());
    if (jsonl == nullptr) return null_argument(fn, "jsonl");
    if (size == nullptr) return null_argument(fn, "size");
    auto report = dat::check_archive(*file);
    if (!report) return call_failure(RAVELIN_ERROR_DAT, report.error().to_string());
    const std::string lines = dat::check_report_json_lines(*report);
    auto text = copy_out(lines);
    if (!text) return std::unexpected(text.error());
    std::size_t fault_count = 0;
    for (const dat::CheckFinding& finding : report->findings)
      if (finding.severity == dat::FindingSeverity::Fault) ++fault_count;
    *jsonl = *text;
    *size = lines.size();
    if (faults != nullptr) *faults = fault_count;
    if (notes != nullptr) *notes = report->findings.size() - fault_count;
    return {};
  });
}

ravelin_status ravelin_editor_copy_from(ravelin_editor* editor, ravelin_archive* from, const uint32_t* ids,
                                        size_t count, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_editor_copy_from";
    auto use = use_editor(fn, editor);
    if (!use) return std::unexpected(use.error());
    Lookup<OpenArchive> source = find_archive(reinterpret_cast<std::uintptr_t>(from));
    if (!source.object) return call_failure(RAVELIN_ERROR_HANDLE, std::string(fn) + ": " + source.problem);
    if (ids == nullptr && count != 0) return null_argument(fn, "ids");
    const std::span<const std::uint32_t> chosen(ids, ids == nullptr ? 0 : count);
    if (auto copied = dat::copy_entries(source.object->db, source.object->path, **use, chosen); !copied)
      return edit_failure(copied.error());
    return {};
  });
}

}  // extern "C"
