// The C interface over the libraries: arguments checked, handles looked up,
// results copied into malloc'd buffers, every error turned into a status and
// a text. No exception leaves a ravelin_* function: the libraries throw
// nothing, a failed allocation of ours is a RAVELIN_ERROR_MEMORY result, and
// guarded() catches what the standard library may throw where exceptions
// exist (a build without them has nothing to catch).
#include "ravelin/ravelin.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capi/handles.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/record_json.h"
#include "ravelin/event_bake/event_family.h"
#include "ravelin/event_bake/input_records.h"
#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"
#include "ravelin/version.h"

struct ravelin_error {
  ravelin_status status;
  char* message;  // malloc'd, so that making an error cannot throw
};

namespace ravelin::capi {
namespace {

using event_bake::BakeResult;
using event_bake::LandblockEventBake;

// A failed call's status and text, bound for the caller's `error` argument.
struct Failure {
  ravelin_status status;
  std::string message;
};

template <class T>
using Result = std::expected<T, Failure>;

std::unexpected<Failure> failure(ravelin_status status, std::string message) {
  return std::unexpected(Failure{status, std::move(message)});
}

std::unexpected<Failure> null_argument(std::string_view function, std::string_view name) {
  return failure(RAVELIN_ERROR_ARGUMENT, std::string(function) + ": " + std::string(name) + " is NULL");
}

std::unexpected<Failure> out_of_memory() { return failure(RAVELIN_ERROR_MEMORY, "out of memory"); }

ravelin_status report(ravelin_error** error, ravelin_status status, std::string_view message) noexcept {
  if (error == nullptr) return status;
  *error = nullptr;  // no memory even for the text: the status alone
  auto* text = static_cast<char*>(std::malloc(message.size() + 1));
  if (text == nullptr) return status;
  if (!message.empty()) std::memcpy(text, message.data(), message.size());
  text[message.size()] = '\0';
  *error = new (std::nothrow) ravelin_error{status, text};
  if (*error == nullptr) std::free(text);
  return status;
}

ravelin_status finish(ravelin_error** error, const Result<void>& done) noexcept {
  if (done) return RAVELIN_OK;
  return report(error, done.error().status, done.error().message);
}

// Runs one call's body, turning its Failure or any exception into a status.
template <class Body>
ravelin_status guarded(ravelin_error** error, Body&& body) noexcept {
#if defined(__cpp_exceptions)
  try {
    return finish(error, body());
  } catch (const std::bad_alloc&) {
    return report(error, RAVELIN_ERROR_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    return report(error, RAVELIN_ERROR_INTERNAL, e.what());
  } catch (...) {
    return report(error, RAVELIN_ERROR_INTERNAL, "unknown exception");
  }
#else
  // Nothing can be thrown here: an allocation the standard library cannot
  // make ends the program, as every allocation failure does in such a build.
  return finish(error, body());
#endif
}

bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

Result<common::Path> path_argument(std::string_view function, std::string_view name, const char* text) {
  if (text == nullptr) return null_argument(function, name);
  if (!is_utf8(text))
    return failure(RAVELIN_ERROR_ARGUMENT, std::string(function) + ": " + std::string(name) + " is not UTF-8");
  return common::Path(text);
}

Result<std::uint32_t> landblock_argument(std::uint32_t value) {
  if (const auto id = dat::landblock_id_from(value)) return *id;
  // The text --landblock gives for the same value.
  return failure(RAVELIN_ERROR_ARGUMENT, dat::parse_landblock(common::hex_id(value)).error());
}

Result<event_bake::EntitySource> entity_source(std::string_view function, const ravelin_bake_options& options) {
  if ((options.spawns_dir == nullptr) != (options.setup_table == nullptr))
    return failure(RAVELIN_ERROR_ARGUMENT, "spawns_dir and setup_table go together: give both or neither");
  if (options.spawns_dir == nullptr) return event_bake::EntitySource::landblock_info();
  auto spawns = path_argument(function, "spawns_dir", options.spawns_dir);
  if (!spawns) return std::unexpected(spawns.error());
  auto table = path_argument(function, "setup_table", options.setup_table);
  if (!table) return std::unexpected(table.error());
  return event_bake::EntitySource::from_spawns_manifest(std::move(*spawns), std::move(*table));
}

ravelin_bake_options options_or_default(const ravelin_bake_options* options) {
  ravelin_bake_options chosen;
  ravelin_bake_options_init(&chosen);
  return options != nullptr ? *options : chosen;
}

// The inputs of a one-off bake from the C arguments.
Result<event_bake::BakeInputs> bake_inputs(std::string_view function, const char* dat_dir, std::uint32_t landblock,
                                           const ravelin_bake_options* options) {
  auto dir = path_argument(function, "dat_dir", dat_dir);
  if (!dir) return std::unexpected(dir.error());
  auto id = landblock_argument(landblock);
  if (!id) return std::unexpected(id.error());
  const ravelin_bake_options chosen = options_or_default(options);
  auto source = entity_source(function, chosen);
  if (!source) return std::unexpected(source.error());
  event_bake::BakeInputs inputs;
  inputs.dat_dir = std::move(*dir);
  inputs.landblock_id = *id;
  inputs.region_did = chosen.region;
  inputs.bake_sky = chosen.no_sky == 0;
  inputs.entity_source = std::move(*source);
  return inputs;
}

// A copy of `bytes` in a malloc'd buffer with a NUL after the last byte.
template <class Byte>
Result<Byte*> copy_out(std::span<const std::uint8_t> bytes) {
  auto* buffer = static_cast<Byte*>(std::malloc(bytes.size() + 1));
  if (buffer == nullptr) return out_of_memory();
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  return buffer;
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// `text` copied out as a call's output buffer and size.
template <class Byte>
Result<void> text_out(const std::string& text, Byte** out, std::size_t* size) {
  auto buffer = copy_out<Byte>(bytes_of(text));
  if (!buffer) return std::unexpected(std::move(buffer.error()));
  *out = *buffer;
  *size = text.size();
  return {};
}

Result<void> bake_out(const BakeResult<LandblockEventBake>& bake, std::uint8_t** jsonl, std::size_t* size) {
  if (!bake) return failure(RAVELIN_ERROR_BAKE, bake.error().to_string());
  return text_out(bake->to_jsonl_bytes(), jsonl, size);
}

// A malloc'd buffer, freed unless it is handed to the caller.
struct FreeBuffer {
  void operator()(void* buffer) const noexcept { std::free(buffer); }
};
using IdBuffer = std::unique_ptr<std::uint32_t, FreeBuffer>;

Result<IdBuffer> copy_ids(const std::vector<std::uint32_t>& ids) {
  IdBuffer buffer(static_cast<std::uint32_t*>(std::malloc((ids.size() + 1) * sizeof(std::uint32_t))));
  if (!buffer) return out_of_memory();
  if (!ids.empty()) std::memcpy(buffer.get(), ids.data(), ids.size() * sizeof(std::uint32_t));
  return buffer;
}

// The bake's bytes on success, its inputs whenever it ran.
Result<void> recorded_out(const event_bake::RecordedBake& recorded, std::uint8_t** jsonl, std::size_t* size,
                          ravelin_bake_inputs* inputs) {
  auto portal = copy_ids(recorded.inputs.portal);
  if (!portal) return std::unexpected(std::move(portal.error()));
  auto cell = copy_ids(recorded.inputs.cell);
  if (!cell) return std::unexpected(std::move(cell.error()));
  if (recorded.result) {
    if (auto r = text_out(recorded.result->to_jsonl_bytes(), jsonl, size); !r) return r;
  }
  *inputs = ravelin_bake_inputs{portal->release(), recorded.inputs.portal.size(), cell->release(),
                                recorded.inputs.cell.size()};
  if (!recorded.result) return failure(RAVELIN_ERROR_BAKE, recorded.result.error().to_string());
  return {};
}

// The family table's texts are views of string literals, so each one's
// data() is a C string already.
constexpr bool is_c_string(std::string_view text) { return text.data()[text.size()] == '\0'; }

constexpr ravelin_event_family c_event_family(const event_bake::EventFamilyInfo& info) {
  return {info.source.data(), info.trigger.data(), info.table.data(), info.python.data(), info.display.data()};
}

constexpr std::array<ravelin_event_family, event_bake::kEventFamilyCount> kCEventFamilies = [] {
  std::array<ravelin_event_family, event_bake::kEventFamilyCount> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = c_event_family(event_bake::kEventFamilies[i]);
  return out;
}();

static_assert(std::ranges::all_of(event_bake::kEventFamilies, [](const event_bake::EventFamilyInfo& info) {
  return is_c_string(info.source) && is_c_string(info.trigger) && is_c_string(info.table) &&
         is_c_string(info.python) && is_c_string(info.display);
}));

std::uintptr_t handle_of(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

template <class T>
Result<std::shared_ptr<const T>> found(std::string_view function, Lookup<T> lookup) {
  if (!lookup.object) return failure(RAVELIN_ERROR_HANDLE, std::string(function) + ": " + lookup.problem);
  return std::move(lookup.object);
}

Result<std::shared_ptr<const OpenArchive>> archive_of(std::string_view function, const ravelin_archive* archive) {
  return found(function, find_archive(handle_of(archive)));
}

Result<std::shared_ptr<const OpenSession>> session_of(std::string_view function, const ravelin_session* session) {
  return found(function, find_session(handle_of(session)));
}

Result<void> closed(std::string_view function, const std::string& problem) {
  if (problem.empty()) return {};
  return failure(RAVELIN_ERROR_HANDLE, std::string(function) + ": " + problem);
}

}  // namespace

// Declared in capi/call.h (see there why this file does not include it), for
// the calls in other files.
ravelin_status run_guarded(ravelin_error** error, ravelin_status (*body)(void*, std::string&), void* context) noexcept {
  return guarded(error, [&]() -> Result<void> {
    std::string message;
    const ravelin_status status = body(context, message);
    if (status == RAVELIN_OK) return {};
    return failure(status, std::move(message));
  });
}

ravelin_status path_rule(std::string_view function, std::string_view name, const char* text, common::Path& path,
                         std::string& message) {
  auto checked = path_argument(function, name, text);
  if (!checked) {
    message = std::move(checked.error().message);
    return checked.error().status;
  }
  path = std::move(*checked);
  return RAVELIN_OK;
}

}  // namespace ravelin::capi

using namespace ravelin;
using namespace ravelin::capi;

extern "C" {

const char* ravelin_version(void) { return ravelin::kVersion; }

const char* ravelin_status_name(ravelin_status status) {
  switch (status) {
    case RAVELIN_OK: return "RAVELIN_OK";
    case RAVELIN_ERROR_ARGUMENT: return "RAVELIN_ERROR_ARGUMENT";
    case RAVELIN_ERROR_HANDLE: return "RAVELIN_ERROR_HANDLE";
    case RAVELIN_ERROR_DAT: return "RAVELIN_ERROR_DAT";
    case RAVELIN_ERROR_BAKE: return "RAVELIN_ERROR_BAKE";
    case RAVELIN_ERROR_MEMORY: return "RAVELIN_ERROR_MEMORY";
    case RAVELIN_ERROR_INTERNAL: return "RAVELIN_ERROR_INTERNAL";
    case RAVELIN_ERROR_BUSY: return "RAVELIN_ERROR_BUSY";
    case RAVELIN_ERROR_REFUSED: return "RAVELIN_ERROR_REFUSED";
    case RAVELIN_ERROR_NOT_FOUND: return "RAVELIN_ERROR_NOT_FOUND";
    case RAVELIN_ERROR_TOO_LARGE: return "RAVELIN_ERROR_TOO_LARGE";
    case RAVELIN_ERROR_IO: return "RAVELIN_ERROR_IO";
  }
  return "unknown status";
}

const char* ravelin_error_message(const ravelin_error* error) { return error ? error->message : ""; }
ravelin_status ravelin_error_status(const ravelin_error* error) { return error ? error->status : RAVELIN_ERROR_ARGUMENT; }
void ravelin_error_free(ravelin_error* error) {
  if (error == nullptr) return;
  std::free(error->message);
  delete error;
}
void ravelin_free(void* buffer) { std::free(buffer); }

void ravelin_bake_inputs_free(ravelin_bake_inputs* inputs) {
  if (inputs == nullptr) return;
  std::free(inputs->portal);
  std::free(inputs->cell);
  *inputs = ravelin_bake_inputs{};
}

void ravelin_bake_options_init(ravelin_bake_options* options) {
  if (options == nullptr) return;
  *options = ravelin_bake_options{dat::kDefaultRegionId, nullptr, nullptr, 0};
}

size_t ravelin_event_families(const ravelin_event_family** table) {
  if (table != nullptr) *table = kCEventFamilies.data();
  return kCEventFamilies.size();
}

ravelin_status ravelin_archive_open(const char* path, ravelin_archive** archive, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_archive_open";
    if (archive == nullptr) return null_argument(fn, "archive");
    auto file = path_argument(fn, "path", path);
    if (!file) return std::unexpected(file.error());
    auto db = dat::DatDatabase::open(*file);
    if (!db) return failure(RAVELIN_ERROR_DAT, db.error().to_string());
    auto open = std::make_shared<const OpenArchive>(OpenArchive{std::move(*file), std::move(*db)});
    *archive = reinterpret_cast<ravelin_archive*>(add_handle(std::move(open)));
    return {};
  });
}

ravelin_status ravelin_archive_close(ravelin_archive* archive, ravelin_error** error) {
  return guarded(error, [&] { return closed("ravelin_archive_close", remove_archive(handle_of(archive))); });
}

ravelin_status ravelin_archive_entry_count(ravelin_archive* archive, size_t* count, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_archive_entry_count";
    auto open = archive_of(fn, archive);
    if (!open) return std::unexpected(open.error());
    if (count == nullptr) return null_argument(fn, "count");
    *count = (*open)->db.entry_count();
    return {};
  });
}

ravelin_status ravelin_archive_get_file(ravelin_archive* archive, uint32_t file_id, uint8_t** data, size_t* size,
                                        ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_archive_get_file";
    auto open = archive_of(fn, archive);
    if (!open) return std::unexpected(open.error());
    if (data == nullptr) return null_argument(fn, "data");
    if (size == nullptr) return null_argument(fn, "size");
    const auto bytes = (*open)->db.get_file(file_id);
    if (!bytes) return failure(RAVELIN_ERROR_DAT, bytes.error().to_string());
    auto buffer = copy_out<std::uint8_t>(*bytes);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    *data = *buffer;
    *size = bytes->size();
    return {};
  });
}

ravelin_status ravelin_archive_show(ravelin_archive* archive, uint32_t file_id, const char* type, int compact,
                                    char** json, size_t* size, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_archive_show";
    auto open = archive_of(fn, archive);
    if (!open) return std::unexpected(open.error());
    if (json == nullptr) return null_argument(fn, "json");
    if (size == nullptr) return null_argument(fn, "size");
    std::optional<dat::RecordType> record_type;
    if (type != nullptr) {
      record_type = dat::parse_record_type(type);
      if (!record_type)
        return failure(RAVELIN_ERROR_ARGUMENT,
                       "unknown record type '" + std::string(type) + "': one of " + dat::record_type_names());
    }
    const auto text = dat::show_record((*open)->db, (*open)->path, file_id, record_type, compact != 0);
    if (!text) return failure(RAVELIN_ERROR_DAT, text.error().to_string());
    return text_out(*text, json, size);
  });
}

ravelin_status ravelin_bake(const char* dat_dir, uint32_t landblock, const ravelin_bake_options* options,
                            uint8_t** jsonl, size_t* size, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_bake";
    if (jsonl == nullptr) return null_argument(fn, "jsonl");
    if (size == nullptr) return null_argument(fn, "size");
    auto inputs = bake_inputs(fn, dat_dir, landblock, options);
    if (!inputs) return std::unexpected(inputs.error());
    return bake_out(event_bake::bake_landblock_events(*inputs), jsonl, size);
  });
}

ravelin_status ravelin_bake_with_inputs(const char* dat_dir, uint32_t landblock, const ravelin_bake_options* options,
                                        uint8_t** jsonl, size_t* size, ravelin_bake_inputs* inputs,
                                        ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_bake_with_inputs";
    if (jsonl == nullptr) return null_argument(fn, "jsonl");
    if (size == nullptr) return null_argument(fn, "size");
    if (inputs == nullptr) return null_argument(fn, "inputs");
    auto bake = bake_inputs(fn, dat_dir, landblock, options);
    if (!bake) return std::unexpected(bake.error());
    return recorded_out(event_bake::bake_landblock_events_with_inputs(*bake), jsonl, size, inputs);
  });
}

ravelin_status ravelin_session_open(const char* dat_dir, const ravelin_bake_options* options,
                                    ravelin_session** session, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_session_open";
    if (session == nullptr) return null_argument(fn, "session");
    auto dir = path_argument(fn, "dat_dir", dat_dir);
    if (!dir) return std::unexpected(dir.error());
    const ravelin_bake_options chosen = options_or_default(options);
    auto source = entity_source(fn, chosen);
    if (!source) return std::unexpected(source.error());
    auto open = event_bake::BakeSession::open({std::move(*dir), std::move(*source), chosen.region, chosen.no_sky == 0});
    if (!open) return failure(RAVELIN_ERROR_BAKE, open.error().to_string());
    *session = reinterpret_cast<ravelin_session*>(add_handle(std::shared_ptr<const OpenSession>(std::move(*open))));
    return {};
  });
}

ravelin_status ravelin_session_close(ravelin_session* session, ravelin_error** error) {
  return guarded(error, [&] { return closed("ravelin_session_close", remove_session(handle_of(session))); });
}

ravelin_status ravelin_session_landblocks(ravelin_session* session, uint32_t** ids, size_t* count,
                                          ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_session_landblocks";
    auto open = session_of(fn, session);
    if (!open) return std::unexpected(open.error());
    if (ids == nullptr) return null_argument(fn, "ids");
    if (count == nullptr) return null_argument(fn, "count");
    const std::vector<std::uint32_t> landblocks = (*open)->cell_landblock_ids();
    auto buffer = copy_ids(landblocks);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    *ids = buffer->release();
    *count = landblocks.size();
    return {};
  });
}

ravelin_status ravelin_session_bake(ravelin_session* session, uint32_t landblock, uint8_t** jsonl, size_t* size,
                                    ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_session_bake";
    auto open = session_of(fn, session);
    if (!open) return std::unexpected(open.error());
    if (jsonl == nullptr) return null_argument(fn, "jsonl");
    if (size == nullptr) return null_argument(fn, "size");
    auto id = landblock_argument(landblock);
    if (!id) return std::unexpected(id.error());
    return bake_out((*open)->bake(*id), jsonl, size);
  });
}

ravelin_status ravelin_session_bake_into(ravelin_session* session, uint32_t landblock, uint8_t* buffer, size_t capacity,
                                         size_t* size, uint8_t** overflow, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_session_bake_into";
    auto open = session_of(fn, session);
    if (!open) return std::unexpected(open.error());
    if (buffer == nullptr && capacity != 0) return null_argument(fn, "buffer");
    if (size == nullptr) return null_argument(fn, "size");
    if (overflow == nullptr) return null_argument(fn, "overflow");
    auto id = landblock_argument(landblock);
    if (!id) return std::unexpected(id.error());
    const auto bake = (*open)->bake(*id);
    if (!bake) return failure(RAVELIN_ERROR_BAKE, bake.error().to_string());
    // Line by line into the caller's memory: its first writes, likely to memory
    // not in the cache, overlap the serialising rather than come in one burst.
    // Once a line does not fit, the whole manifest goes to a library buffer.
    std::size_t written = 0;
    std::string spilled;
    bool fits = true;
    bake->for_each_jsonl_line([&](std::string_view line) {
      if (fits && line.size() <= capacity - written) {
        std::memcpy(buffer + written, line.data(), line.size());
      } else {
        if (fits) spilled.assign(reinterpret_cast<const char*>(buffer), written);
        fits = false;
        spilled += line;
      }
      written += line.size();
    });
    std::uint8_t* spill = nullptr;
    if (!fits) {
      auto buffer = copy_out<std::uint8_t>(bytes_of(spilled));
      if (!buffer) return std::unexpected(std::move(buffer.error()));
      spill = *buffer;
    }
    *overflow = spill;
    *size = written;
    return {};
  });
}

ravelin_status ravelin_session_bake_with_inputs(ravelin_session* session, uint32_t landblock, uint8_t** jsonl,
                                                size_t* size, ravelin_bake_inputs* inputs, ravelin_error** error) {
  return guarded(error, [&]() -> Result<void> {
    constexpr std::string_view fn = "ravelin_session_bake_with_inputs";
    auto open = session_of(fn, session);
    if (!open) return std::unexpected(open.error());
    if (jsonl == nullptr) return null_argument(fn, "jsonl");
    if (size == nullptr) return null_argument(fn, "size");
    if (inputs == nullptr) return null_argument(fn, "inputs");
    auto id = landblock_argument(landblock);
    if (!id) return std::unexpected(id.error());
    return recorded_out((*open)->bake_with_inputs(*id), jsonl, size, inputs);
  });
}

}  // extern "C"
