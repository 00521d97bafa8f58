// The package's native part: a Node-API module (through node-addon-api) over
// libravelin's C interface. It converts arguments and results and nothing
// more; index.js checks the arguments' JavaScript types and keeps the chunk
// synchronous session bakes are written into. Handles cross to JavaScript as
// numbers: the C interface's handles are serial numbers, which it looks up
// rather than dereferences, so a stale one is an error, never a crash.
#include <napi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/ravelin.h"

namespace {

// A buffer the library allocated, freed with ravelin_free.
template <class T>
using LibraryBuffer = std::unique_ptr<T, decltype(&ravelin_free)>;

template <class T>
LibraryBuffer<T> library_buffer(T* data) {
  return {data, &ravelin_free};
}

// new RavelinError(status name, message) of a failed call, whose error object is freed.
Napi::Error js_error(Napi::Env env, ravelin_status status, ravelin_error* error) {
  const std::string message = error != nullptr ? ravelin_error_message(error) : ravelin_status_name(status);
  ravelin_error_free(error);
  auto* error_class = env.GetInstanceData<Napi::FunctionReference>();
  if (error_class == nullptr) return Napi::Error::New(env, message);
  return {env, error_class->New({Napi::String::New(env, ravelin_status_name(status)), Napi::String::New(env, message)})};
}

// `error` by reference: check(env, call(..., &error), error) reads it after
// the call, whatever order the arguments are evaluated in.
void check(Napi::Env env, ravelin_status status, ravelin_error* const& error) {
  if (status != RAVELIN_OK) throw js_error(env, status, error);
}

std::uint32_t u32(const Napi::Value& value) {
  if (!value.IsNumber()) throw Napi::TypeError::New(value.Env(), "expected a 32-bit unsigned number");
  return value.As<Napi::Number>().Uint32Value();
}

template <class Handle>
Handle* handle(const Napi::Value& value) {
  if (!value.IsNumber()) throw Napi::TypeError::New(value.Env(), "expected a handle");
  return reinterpret_cast<Handle*>(static_cast<std::uintptr_t>(value.As<Napi::Number>().DoubleValue()));
}

Napi::Value handle_value(Napi::Env env, const void* handle) {
  return Napi::Number::New(env, static_cast<double>(reinterpret_cast<std::uintptr_t>(handle)));
}

// A string argument as UTF-8. A string holding U+0000 is refused: C would read
// it only up to that character.
std::string text(const Napi::Value& value, const char* what) {
  if (!value.IsString()) throw Napi::TypeError::New(value.Env(), std::string(what) + " must be a string");
  std::string utf8 = value.As<Napi::String>().Utf8Value();
  if (utf8.find('\0') != std::string::npos)
    throw Napi::TypeError::New(value.Env(), std::string(what) + " holds a NUL character");
  return utf8;
}

std::optional<std::string> optional_text(const Napi::Value& value, const char* what) {
  if (value.IsNull()) return std::nullopt;
  return text(value, what);
}

const char* c_str(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

// The bake options of the arguments region, spawnsDir, setupTable, noSky, with
// the strings they point into.
struct BakeOptions {
  std::uint32_t region = 0;
  std::optional<std::string> spawns_dir;
  std::optional<std::string> setup_table;
  bool no_sky = false;

  BakeOptions(const Napi::CallbackInfo& info, std::size_t first)
      : region(u32(info[first])),
        spawns_dir(optional_text(info[first + 1], "spawnsDir")),
        setup_table(optional_text(info[first + 2], "setupTable")),
        no_sky(info[first + 3].ToBoolean()) {}

  ravelin_bake_options c() const {
    ravelin_bake_options options;
    ravelin_bake_options_init(&options);
    options.region = region;
    options.spawns_dir = c_str(spawns_dir);
    options.setup_table = c_str(setup_table);
    options.no_sky = no_sky ? 1 : 0;
    return options;
  }
};

Napi::Value bytes(Napi::Env env, const std::uint8_t* data, std::size_t size) {
  return Napi::Buffer<std::uint8_t>::Copy(env, data, size);
}

Napi::Array id_list(Napi::Env env, const std::uint32_t* ids, std::size_t count) {
  Napi::Array list = Napi::Array::New(env, count);
  for (std::size_t i = 0; i < count; i++) list[static_cast<std::uint32_t>(i)] = Napi::Number::New(env, ids[i]);
  return list;
}

// { jsonl, inputs: { portal, cell } } of a bake that ran; a failed bake throws
// its RavelinError with `inputs`, a refused one without.
Napi::Value recorded(Napi::Env env, ravelin_status status, ravelin_error* error, std::uint8_t* jsonl_data,
                     std::size_t size, ravelin_bake_inputs& raw) {
  const auto jsonl = library_buffer(jsonl_data);
  const std::unique_ptr<ravelin_bake_inputs, decltype(&ravelin_bake_inputs_free)> lists(&raw, &ravelin_bake_inputs_free);
  if (status != RAVELIN_OK && status != RAVELIN_ERROR_BAKE) throw js_error(env, status, error);
  Napi::Object inputs = Napi::Object::New(env);
  inputs.Set("portal", id_list(env, raw.portal, raw.portal_count));
  inputs.Set("cell", id_list(env, raw.cell, raw.cell_count));
  if (status != RAVELIN_OK) {
    Napi::Error failure = js_error(env, status, error);
    failure.Set("inputs", inputs);
    throw failure;
  }
  Napi::Object result = Napi::Object::New(env);
  result.Set("jsonl", bytes(env, jsonl.get(), size));
  result.Set("inputs", inputs);
  return result;
}

// ---- calls without a handle ----

// init(RavelinError): the class errors are made of, kept per Node.js
// environment (the main thread's and each worker's own).
Napi::Value init(const Napi::CallbackInfo& info) {
  info.Env().SetInstanceData(new Napi::FunctionReference(Napi::Persistent(info[0].As<Napi::Function>())));
  return info.Env().Undefined();
}

Napi::Value version(const Napi::CallbackInfo& info) { return Napi::String::New(info.Env(), ravelin_version()); }

// eventFamilies(): [{ source, trigger, table, python, display }, ...] in manifest order.
Napi::Value event_families(const Napi::CallbackInfo& info) {
  const ravelin_event_family* table = nullptr;
  const std::size_t count = ravelin_event_families(&table);
  Napi::Array families = Napi::Array::New(info.Env(), count);
  for (std::size_t i = 0; i < count; i++) {
    Napi::Object family = Napi::Object::New(info.Env());
    family.Set("source", table[i].source);
    family.Set("trigger", table[i].trigger);
    family.Set("table", table[i].table);
    family.Set("python", table[i].python);
    family.Set("display", table[i].display);
    families[static_cast<std::uint32_t>(i)] = family;
  }
  return families;
}

// bake(datDir, landblock, region, spawnsDir, setupTable, noSky)
Napi::Value bake(const Napi::CallbackInfo& info) {
  const std::string dat_dir = text(info[0], "datDir");
  const std::uint32_t landblock = u32(info[1]);
  const BakeOptions options(info, 2);
  const ravelin_bake_options c_options = options.c();
  std::uint8_t* jsonl = nullptr;
  std::size_t size = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_bake(dat_dir.c_str(), landblock, &c_options, &jsonl, &size, &error), error);
  return bytes(info.Env(), library_buffer(jsonl).get(), size);
}

// bakeWithInputs(datDir, landblock, region, spawnsDir, setupTable, noSky)
Napi::Value bake_with_inputs(const Napi::CallbackInfo& info) {
  const std::string dat_dir = text(info[0], "datDir");
  const std::uint32_t landblock = u32(info[1]);
  const BakeOptions options(info, 2);
  const ravelin_bake_options c_options = options.c();
  std::uint8_t* jsonl = nullptr;
  std::size_t size = 0;
  ravelin_bake_inputs raw{};
  ravelin_error* error = nullptr;
  const ravelin_status status = ravelin_bake_with_inputs(dat_dir.c_str(), landblock, &c_options, &jsonl, &size, &raw, &error);
  return recorded(info.Env(), status, error, jsonl, size, raw);
}

// ---- archives ----

Napi::Value archive_open(const Napi::CallbackInfo& info) {
  const std::string path = text(info[0], "path");
  ravelin_archive* archive = nullptr;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_archive_open(path.c_str(), &archive, &error), error);
  return handle_value(info.Env(), archive);
}

Napi::Value archive_close(const Napi::CallbackInfo& info) {
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_archive_close(handle<ravelin_archive>(info[0]), &error), error);
  return info.Env().Undefined();
}

Napi::Value entry_count(const Napi::CallbackInfo& info) {
  std::size_t count = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_archive_entry_count(handle<ravelin_archive>(info[0]), &count, &error), error);
  return Napi::Number::New(info.Env(), static_cast<double>(count));
}

Napi::Value get_file(const Napi::CallbackInfo& info) {
  std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_archive_get_file(handle<ravelin_archive>(info[0]), u32(info[1]), &data, &size, &error), error);
  return bytes(info.Env(), library_buffer(data).get(), size);
}

// showText(handle, fileId, type or null, compact)
Napi::Value show_text(const Napi::CallbackInfo& info) {
  auto* archive = handle<ravelin_archive>(info[0]);
  const std::uint32_t id = u32(info[1]);
  const std::optional<std::string> type = optional_text(info[2], "type");
  char* json = nullptr;
  std::size_t size = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_archive_show(archive, id, c_str(type), info[3].ToBoolean() ? 1 : 0, &json, &size, &error),
        error);
  return Napi::String::New(info.Env(), library_buffer(json).get(), size);
}

// ---- sessions ----

// sessionOpen(datDir, region, spawnsDir, setupTable, noSky)
Napi::Value session_open(const Napi::CallbackInfo& info) {
  const std::string dat_dir = text(info[0], "datDir");
  const BakeOptions options(info, 1);
  const ravelin_bake_options c_options = options.c();
  ravelin_session* session = nullptr;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_session_open(dat_dir.c_str(), &c_options, &session, &error), error);
  return handle_value(info.Env(), session);
}

Napi::Value session_close(const Napi::CallbackInfo& info) {
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_session_close(handle<ravelin_session>(info[0]), &error), error);
  return info.Env().Undefined();
}

Napi::Value landblocks(const Napi::CallbackInfo& info) {
  std::uint32_t* ids = nullptr;
  std::size_t count = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_session_landblocks(handle<ravelin_session>(info[0]), &ids, &count, &error), error);
  return id_list(info.Env(), library_buffer(ids).get(), count);
}

// sessionBakeInto(handle, landblock, arrayBuffer, offset): the manifest written
// at `offset` and its size, or, when it does not fit in the rest, a Buffer of
// its own.
Napi::Value session_bake_into(const Napi::CallbackInfo& info) {
  auto* session = handle<ravelin_session>(info[0]);
  const std::uint32_t landblock = u32(info[1]);
  if (!info[2].IsArrayBuffer()) throw Napi::TypeError::New(info.Env(), "expected an ArrayBuffer");
  Napi::ArrayBuffer chunk = info[2].As<Napi::ArrayBuffer>();
  const std::uint32_t offset = u32(info[3]);
  if (offset > chunk.ByteLength()) throw Napi::RangeError::New(info.Env(), "offset past the end of the chunk");
  std::size_t size = 0;
  std::uint8_t* overflow = nullptr;
  ravelin_error* error = nullptr;
  check(info.Env(),
        ravelin_session_bake_into(session, landblock, static_cast<std::uint8_t*>(chunk.Data()) + offset,
                                  chunk.ByteLength() - offset, &size, &overflow, &error),
        error);
  if (overflow != nullptr) return bytes(info.Env(), library_buffer(overflow).get(), size);
  return Napi::Number::New(info.Env(), static_cast<double>(size));
}

Napi::Value session_bake_with_inputs(const Napi::CallbackInfo& info) {
  auto* session = handle<ravelin_session>(info[0]);
  const std::uint32_t landblock = u32(info[1]);
  std::uint8_t* jsonl = nullptr;
  std::size_t size = 0;
  ravelin_bake_inputs raw{};
  ravelin_error* error = nullptr;
  const ravelin_status status = ravelin_session_bake_with_inputs(session, landblock, &jsonl, &size, &raw, &error);
  return recorded(info.Env(), status, error, jsonl, size, raw);
}

// ---- async bakes ----

// One bake on libuv's thread pool: a session's, or a one-off. The C interface
// keeps a session open until its bake ends, even when it is closed meanwhile.
class BakeWorker : public Napi::AsyncWorker {
 public:
  BakeWorker(Napi::Env env, ravelin_session* session, std::uint32_t landblock, std::string dat_dir = {},
             std::optional<BakeOptions> options = std::nullopt)
      : Napi::AsyncWorker(env, "ravelin.bake"),
        deferred_(Napi::Promise::Deferred::New(env)),
        session_(session),
        landblock_(landblock),
        dat_dir_(std::move(dat_dir)),
        options_(std::move(options)) {}

  ~BakeWorker() override { ravelin_error_free(error_); }

  Napi::Promise promise() const { return deferred_.Promise(); }

 protected:
  void Execute() override {
    std::uint8_t* jsonl = nullptr;
    if (session_ != nullptr) {
      status_ = ravelin_session_bake(session_, landblock_, &jsonl, &size_, &error_);
    } else {
      const ravelin_bake_options options = options_->c();
      status_ = ravelin_bake(dat_dir_.c_str(), landblock_, &options, &jsonl, &size_, &error_);
    }
    jsonl_.reset(jsonl);
  }

  void OnOK() override {
    if (status_ == RAVELIN_OK) {
      deferred_.Resolve(bytes(Env(), jsonl_.get(), size_));
    } else {
      deferred_.Reject(js_error(Env(), status_, std::exchange(error_, nullptr)).Value());
    }
  }

  void OnError(const Napi::Error& error) override { deferred_.Reject(error.Value()); }

 private:
  Napi::Promise::Deferred deferred_;
  ravelin_session* session_;
  std::uint32_t landblock_;
  std::string dat_dir_;
  std::optional<BakeOptions> options_;
  ravelin_status status_ = RAVELIN_OK;
  ravelin_error* error_ = nullptr;  // freed by js_error(); set only when the bake failed
  LibraryBuffer<std::uint8_t> jsonl_ = library_buffer<std::uint8_t>(nullptr);
  std::size_t size_ = 0;
};

// bakeAsync(datDir, landblock, region, spawnsDir, setupTable, noSky)
Napi::Value bake_async(const Napi::CallbackInfo& info) {
  std::string dat_dir = text(info[0], "datDir");
  const std::uint32_t landblock = u32(info[1]);
  auto* worker = new BakeWorker(info.Env(), nullptr, landblock, std::move(dat_dir), BakeOptions(info, 2));
  worker->Queue();
  return worker->promise();
}

// sessionBakeAsync(handle, landblock)
Napi::Value session_bake_async(const Napi::CallbackInfo& info) {
  auto* worker = new BakeWorker(info.Env(), handle<ravelin_session>(info[0]), u32(info[1]));
  worker->Queue();
  return worker->promise();
}

// ---- editors ----

// The bytes of a Buffer or Uint8Array argument (valid while the call runs).
std::pair<const std::uint8_t*, std::size_t> byte_argument(const Napi::Value& value, const char* what) {
  if (!value.IsTypedArray() || value.As<Napi::TypedArray>().TypedArrayType() != napi_uint8_array)
    throw Napi::TypeError::New(value.Env(), std::string(what) + " must be a Buffer or a Uint8Array");
  const auto array = value.As<Napi::Uint8Array>();
  return {array.Data(), array.ByteLength()};
}

Napi::Value commit_stats(Napi::Env env, const ravelin_commit_stats& s) {
  Napi::Object stats = Napi::Object::New(env);
  stats.Set("blocksWritten", static_cast<double>(s.blocks_written));
  stats.Set("blocksReused", static_cast<double>(s.blocks_reused));
  stats.Set("blocksAppended", static_cast<double>(s.blocks_appended));
  stats.Set("blocksFreed", static_cast<double>(s.blocks_freed));
  stats.Set("blocksReclaimed", static_cast<double>(s.blocks_reclaimed));
  stats.Set("blocksLeftLeaked", static_cast<double>(s.blocks_left_leaked));
  stats.Set("reuse", Napi::Boolean::New(env, s.reuse != 0));
  return stats;
}

Napi::Value editor_open(const Napi::CallbackInfo& info) {
  const std::string path = text(info[0], "path");
  ravelin_editor* editor = nullptr;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_open(path.c_str(), &editor, &error), error);
  return handle_value(info.Env(), editor);
}

// editorCreate(path, blockSize, like or null)
Napi::Value editor_create(const Napi::CallbackInfo& info) {
  const std::string path = text(info[0], "path");
  const std::uint32_t block_size = u32(info[1]);
  const std::optional<std::string> like = optional_text(info[2], "like");
  ravelin_editor* editor = nullptr;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_create(path.c_str(), block_size, c_str(like), &editor, &error), error);
  return handle_value(info.Env(), editor);
}

// editorPut(handle, fileId, data, compressed, flags, timestamp, version): the last three null or a number.
Napi::Value editor_put(const Napi::CallbackInfo& info) {
  auto* editor = handle<ravelin_editor>(info[0]);
  const std::uint32_t id = u32(info[1]);
  const auto [data, size] = byte_argument(info[2], "data");
  ravelin_put_options options;
  ravelin_put_options_init(&options);
  options.compressed = info[3].ToBoolean() ? 1 : 0;
  if (!info[4].IsNull()) options.has_flags = 1, options.flags = u32(info[4]);
  if (!info[5].IsNull()) options.has_timestamp = 1, options.timestamp = u32(info[5]);
  if (!info[6].IsNull()) options.has_version = 1, options.version = u32(info[6]);
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_put(editor, id, data, size, &options, &error), error);
  return info.Env().Undefined();
}

// editorPutStored(handle, fileId, stored, bitFlags, timestamp, version)
Napi::Value editor_put_stored(const Napi::CallbackInfo& info) {
  auto* editor = handle<ravelin_editor>(info[0]);
  const std::uint32_t id = u32(info[1]);
  const auto [data, size] = byte_argument(info[2], "stored");
  ravelin_error* error = nullptr;
  check(info.Env(),
        ravelin_editor_put_stored(editor, id, data, size, u32(info[3]), u32(info[4]), u32(info[5]), &error), error);
  return info.Env().Undefined();
}

Napi::Value editor_remove(const Napi::CallbackInfo& info) {
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_remove(handle<ravelin_editor>(info[0]), u32(info[1]), &error), error);
  return info.Env().Undefined();
}

// editorCopyFrom(handle, archiveHandle, [ids])
Napi::Value editor_copy_from(const Napi::CallbackInfo& info) {
  auto* editor = handle<ravelin_editor>(info[0]);
  auto* archive = handle<ravelin_archive>(info[1]);
  if (!info[2].IsArray()) throw Napi::TypeError::New(info.Env(), "ids must be an array");
  const auto list = info[2].As<Napi::Array>();
  std::vector<std::uint32_t> ids(list.Length());
  for (std::uint32_t i = 0; i < list.Length(); ++i) ids[i] = u32(list.Get(i));
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_copy_from(editor, archive, ids.data(), ids.size(), &error), error);
  return info.Env().Undefined();
}

Napi::Value editor_commit(const Napi::CallbackInfo& info) {
  ravelin_commit_stats stats{};
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_commit(handle<ravelin_editor>(info[0]), &stats, &error), error);
  return commit_stats(info.Env(), stats);
}

Napi::Value editor_abandon(const Napi::CallbackInfo& info) {
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_abandon(handle<ravelin_editor>(info[0]), &error), error);
  return info.Env().Undefined();
}

Napi::Value editor_close(const Napi::CallbackInfo& info) {
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_close(handle<ravelin_editor>(info[0]), &error), error);
  return info.Env().Undefined();
}

Napi::Value editor_entry_count(const Napi::CallbackInfo& info) {
  std::size_t count = 0;
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_entry_count(handle<ravelin_editor>(info[0]), &count, &error), error);
  return Napi::Number::New(info.Env(), static_cast<double>(count));
}

// editorFind(handle, fileId): { id, bitFlags, size, timestamp, version } or null.
Napi::Value editor_find(const Napi::CallbackInfo& info) {
  int found = 0;
  ravelin_entry entry{};
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_editor_find(handle<ravelin_editor>(info[0]), u32(info[1]), &found, &entry, &error), error);
  if (found == 0) return info.Env().Null();
  Napi::Object out = Napi::Object::New(info.Env());
  out.Set("id", entry.id);
  out.Set("bitFlags", entry.bit_flags);
  out.Set("size", entry.size);
  out.Set("timestamp", entry.timestamp);
  out.Set("version", entry.version);
  return out;
}

// A commit on libuv's thread pool. The C interface holds the editor for the
// call: a synchronous call on it meanwhile fails rather than races.
class CommitWorker : public Napi::AsyncWorker {
 public:
  CommitWorker(Napi::Env env, ravelin_editor* editor)
      : Napi::AsyncWorker(env, "ravelin.commit"), deferred_(Napi::Promise::Deferred::New(env)), editor_(editor) {}
  ~CommitWorker() override { ravelin_error_free(error_); }
  Napi::Promise promise() const { return deferred_.Promise(); }

 protected:
  void Execute() override { status_ = ravelin_editor_commit(editor_, &stats_, &error_); }
  void OnOK() override {
    if (status_ == RAVELIN_OK) {
      deferred_.Resolve(commit_stats(Env(), stats_));
    } else {
      deferred_.Reject(js_error(Env(), status_, std::exchange(error_, nullptr)).Value());
    }
  }
  void OnError(const Napi::Error& error) override { deferred_.Reject(error.Value()); }

 private:
  Napi::Promise::Deferred deferred_;
  ravelin_editor* editor_;
  ravelin_status status_ = RAVELIN_OK;
  ravelin_commit_stats stats_{};
  ravelin_error* error_ = nullptr;
};

Napi::Value editor_commit_async(const Napi::CallbackInfo& info) {
  auto* worker = new CommitWorker(info.Env(), handle<ravelin_editor>(info[0]));
  worker->Queue();
  return worker->promise();
}

// extract(archive, dir, [ids], stored, force)
Napi::Value extract(const Napi::CallbackInfo& info) {
  const std::string archive = text(info[0], "archive");
  const std::string dir = text(info[1], "dir");
  if (!info[2].IsArray()) throw Napi::TypeError::New(info.Env(), "ids must be an array");
  const auto list = info[2].As<Napi::Array>();
  std::vector<std::uint32_t> ids(list.Length());
  for (std::uint32_t i = 0; i < list.Length(); ++i) ids[i] = u32(list.Get(i));
  ravelin_error* error = nullptr;
  check(info.Env(),
        ravelin_extract(archive.c_str(), dir.c_str(), ids.data(), ids.size(), info[3].ToBoolean() ? 1 : 0,
                        info[4].ToBoolean() ? 1 : 0, &error),
        error);
  return info.Env().Undefined();
}

// pack(dir, archive, blockSize): 0 takes header.json's.
Napi::Value pack(const Napi::CallbackInfo& info) {
  const std::string dir = text(info[0], "dir");
  const std::string archive = text(info[1], "archive");
  ravelin_error* error = nullptr;
  check(info.Env(), ravelin_pack(dir.c_str(), archive.c_str(), u32(info[2]), &error), error);
  return info.Env().Undefined();
}

Napi::Object module(Napi::Env env, Napi::Object exports) {
  const std::pair<const char*, Napi::Value (*)(const Napi::CallbackInfo&)> calls[] = {
      {"init", init},
      {"version", version},
      {"eventFamilies", event_families},
      {"bake", bake},
      {"bakeAsync", bake_async},
      {"bakeWithInputs", bake_with_inputs},
      {"archiveOpen", archive_open},
      {"archiveClose", archive_close},
      {"entryCount", entry_count},
      {"getFile", get_file},
      {"showText", show_text},
      {"sessionOpen", session_open},
      {"sessionClose", session_close},
      {"landblocks", landblocks},
      {"sessionBakeInto", session_bake_into},
      {"sessionBakeAsync", session_bake_async},
      {"sessionBakeWithInputs", session_bake_with_inputs},
      {"editorOpen", editor_open},
      {"editorCreate", editor_create},
      {"editorPut", editor_put},
      {"editorPutStored", editor_put_stored},
      {"editorRemove", editor_remove},
      {"editorCopyFrom", editor_copy_from},
      {"editorCommit", editor_commit},
      {"editorCommitAsync", editor_commit_async},
      {"editorAbandon", editor_abandon},
      {"editorClose", editor_close},
      {"editorEntryCount", editor_entry_count},
      {"editorFind", editor_find},
      {"extract", extract},
      {"pack", pack},
  };
  for (const auto& [name, call] : calls) exports.Set(name, Napi::Function::New(env, call, name));
  return exports;
}

}  // namespace

NODE_API_MODULE(ravelin, module)
