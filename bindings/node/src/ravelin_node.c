/* The package's native part: a Node-API module over libravelin's C interface.
 * It converts arguments and results and nothing more; index.js checks the
 * arguments' JavaScript types and keeps the chunk synchronous session bakes
 * are written into. Handles cross to JavaScript as numbers (the C interface's
 * handles are serial numbers, which it looks up rather than dereferences).
 * Async bakes run as Node-API async work on libuv's thread pool. */
#include <node_api.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ravelin/ravelin.h"

#define NAPI_CALL(env, call)                                                     \
  do {                                                                           \
    if ((call) != napi_ok) {                                                     \
      throw_last_napi_error(env);                                                \
      return NULL;                                                               \
    }                                                                            \
  } while (0)

static void throw_last_napi_error(napi_env env) {
  bool pending = false;
  napi_is_exception_pending(env, &pending);
  if (pending) return;
  const napi_extended_error_info* info = NULL;
  napi_get_last_error_info(env, &info);
  napi_throw_error(env, NULL, info && info->error_message ? info->error_message : "Node-API call failed");
}

/* new RavelinError(status name, message) for a failed C call (freeing its
 * error object); NULL when even that cannot be made. */
static napi_value ravelin_error_value(napi_env env, ravelin_status status, ravelin_error* error) {
  const char* message = error ? ravelin_error_message(error) : ravelin_status_name(status);
  napi_value ctor, args[2], value = NULL;
  napi_ref* error_class = NULL;
  if (napi_get_instance_data(env, (void**)&error_class) == napi_ok && error_class &&
      napi_get_reference_value(env, *error_class, &ctor) == napi_ok &&
      napi_create_string_utf8(env, ravelin_status_name(status), NAPI_AUTO_LENGTH, &args[0]) == napi_ok &&
      napi_create_string_utf8(env, message, NAPI_AUTO_LENGTH, &args[1]) == napi_ok &&
      napi_new_instance(env, ctor, 2, args, &value) != napi_ok)
    value = NULL;
  ravelin_error_free(error);
  return value;
}

/* Throws the error of a failed call; true when the call succeeded. */
static bool succeeded(napi_env env, ravelin_status status, ravelin_error* error) {
  if (status == RAVELIN_OK) return true;
  napi_value value = ravelin_error_value(env, status, error);
  if (value) napi_throw(env, value);
  else throw_last_napi_error(env);
  return false;
}

/* The call's arguments; index.js always passes all of them. */
static bool arguments(napi_env env, napi_callback_info info, size_t count, napi_value* argv) {
  size_t given = count;
  if (napi_get_cb_info(env, info, &given, argv, NULL, NULL) != napi_ok) return false;
  if (given < count) {
    napi_throw_type_error(env, NULL, "too few arguments");
    return false;
  }
  return true;
}

static bool get_u32(napi_env env, napi_value value, uint32_t* out) {
  if (napi_get_value_uint32(env, value, out) == napi_ok) return true;
  napi_throw_type_error(env, NULL, "expected a 32-bit unsigned number");
  return false;
}

/* A handle number back to the C interface's opaque pointer type. */
static bool get_handle(napi_env env, napi_value value, void** out) {
  double number = 0;
  if (napi_get_value_double(env, value, &number) != napi_ok) {
    napi_throw_type_error(env, NULL, "expected a handle");
    return false;
  }
  *out = (void*)(uintptr_t)number;
  return true;
}

static napi_value handle_value(napi_env env, const void* handle) {
  napi_value value = NULL;
  NAPI_CALL(env, napi_create_double(env, (double)(uintptr_t)handle, &value));
  return value;
}

/* A string argument as malloc'd UTF-8, or NULL for JavaScript's null (when
 * `nullable`). A string holding U+0000 is refused: C would see it cut short. */
static bool get_string(napi_env env, napi_value value, bool nullable, char** out, const char* what) {
  napi_valuetype type;
  *out = NULL;
  if (napi_typeof(env, value, &type) != napi_ok) return false;
  if (nullable && type == napi_null) return true;
  size_t length = 0;
  if (type != napi_string || napi_get_value_string_utf8(env, value, NULL, 0, &length) != napi_ok) {
    napi_throw_type_error(env, NULL, "expected a string");
    return false;
  }
  char* text = malloc(length + 1);
  if (text == NULL) {
    napi_throw_error(env, NULL, "out of memory");
    return false;
  }
  napi_get_value_string_utf8(env, value, text, length + 1, &length);
  if (strlen(text) != length) {
    free(text);
    char message[96];
    snprintf(message, sizeof message, "%s holds a NUL character", what);
    napi_throw_type_error(env, NULL, message);
    return false;
  }
  *out = text;
  return true;
}

/* A Buffer holding a copy of a library buffer, which is freed. */
static napi_value take_bytes(napi_env env, void* data, size_t size) {
  napi_value value = NULL;
  void* copy = NULL;
  napi_status status = napi_create_buffer_copy(env, size, size ? data : "", &copy, &value);
  ravelin_free(data);
  if (status != napi_ok) {
    throw_last_napi_error(env);
    return NULL;
  }
  return value;
}

/* A JavaScript array of the ids (which stay the caller's to free). */
static napi_value id_list(napi_env env, const uint32_t* ids, size_t count) {
  napi_value list = NULL;
  if (napi_create_array_with_length(env, count, &list) == napi_ok) {
    for (size_t i = 0; i < count; i++) {
      napi_value id;
      if (napi_create_uint32(env, ids[i], &id) != napi_ok || napi_set_element(env, list, (uint32_t)i, id) != napi_ok) {
        list = NULL;
        break;
      }
    }
  }
  if (list == NULL) throw_last_napi_error(env);
  return list;
}

/* The bake options of the arguments region, spawnsDir, setupTable, noSky. */
typedef struct bake_options {
  ravelin_bake_options c;
  char* spawns_dir;
  char* setup_table;
} bake_options;

static void free_options(bake_options* options) {
  free(options->spawns_dir);
  free(options->setup_table);
}

static bool get_options(napi_env env, const napi_value* argv, bake_options* out) {
  memset(out, 0, sizeof *out);
  ravelin_bake_options_init(&out->c);
  bool no_sky = false;
  if (!get_u32(env, argv[0], &out->c.region)) return false;
  if (!get_string(env, argv[1], true, &out->spawns_dir, "spawnsDir") ||
      !get_string(env, argv[2], true, &out->setup_table, "setupTable")) {
    free_options(out);
    return false;
  }
  if (napi_get_value_bool(env, argv[3], &no_sky) != napi_ok) {
    free_options(out);
    napi_throw_type_error(env, NULL, "expected a boolean");
    return false;
  }
  out->c.spawns_dir = out->spawns_dir;
  out->c.setup_table = out->setup_table;
  out->c.no_sky = no_sky ? 1 : 0;
  return true;
}

/* ---- calls without a handle ---- */

static void free_error_class(napi_env env, void* data, void* hint) {
  (void)hint;
  napi_delete_reference(env, *(napi_ref*)data);
  free(data);
}

/* init(RavelinError): the class errors are made of, kept per Node.js
 * environment (the main thread's and each worker's own). */
static napi_value js_init(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  if (!arguments(env, info, 1, argv)) return NULL;
  napi_ref* error_class = malloc(sizeof *error_class);
  if (error_class == NULL) {
    napi_throw_error(env, NULL, "out of memory");
    return NULL;
  }
  if (napi_create_reference(env, argv[0], 1, error_class) != napi_ok) {
    free(error_class);
    throw_last_napi_error(env);
    return NULL;
  }
  NAPI_CALL(env, napi_set_instance_data(env, error_class, free_error_class, NULL));
  return NULL;
}

static napi_value js_version(napi_env env, napi_callback_info info) {
  (void)info;
  napi_value value = NULL;
  NAPI_CALL(env, napi_create_string_utf8(env, ravelin_version(), NAPI_AUTO_LENGTH, &value));
  return value;
}

/* bake(datDir, landblock, region, spawnsDir, setupTable, noSky) */
static napi_value js_bake(napi_env env, napi_callback_info info) {
  napi_value argv[6];
  char* dat_dir = NULL;
  uint32_t landblock;
  bake_options options;
  if (!arguments(env, info, 6, argv) || !get_string(env, argv[0], false, &dat_dir, "datDir")) return NULL;
  if (!get_u32(env, argv[1], &landblock) || !get_options(env, argv + 2, &options)) {
    free(dat_dir);
    return NULL;
  }
  uint8_t* jsonl = NULL;
  size_t size = 0;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_bake(dat_dir, landblock, &options.c, &jsonl, &size, &error);
  free(dat_dir);
  free_options(&options);
  if (!succeeded(env, status, error)) return NULL;
  return take_bytes(env, jsonl, size);
}

/* { jsonl, inputs: { portal, cell } } of a bake that ran; a failed bake throws
 * its RavelinError with `inputs`, a refused one without. */
static napi_value recorded_value(napi_env env, ravelin_status status, ravelin_error* error, uint8_t* jsonl, size_t size,
                                 ravelin_bake_inputs* raw) {
  if (status != RAVELIN_OK && status != RAVELIN_ERROR_BAKE) {
    ravelin_bake_inputs_free(raw);
    succeeded(env, status, error);
    return NULL;
  }
  napi_value inputs, portal = NULL, cell = NULL, result = NULL, failure = NULL;
  if (napi_create_object(env, &inputs) == napi_ok && (portal = id_list(env, raw->portal, raw->portal_count)))
    cell = id_list(env, raw->cell, raw->cell_count);
  ravelin_bake_inputs_free(raw);
  if (!portal || !cell || napi_set_named_property(env, inputs, "portal", portal) != napi_ok ||
      napi_set_named_property(env, inputs, "cell", cell) != napi_ok) {
    ravelin_free(jsonl);
    ravelin_error_free(error);
    throw_last_napi_error(env);
    return NULL;
  }
  if (status != RAVELIN_OK) {
    failure = ravelin_error_value(env, status, error);
    if (failure && napi_set_named_property(env, failure, "inputs", inputs) == napi_ok) napi_throw(env, failure);
    else throw_last_napi_error(env);
    return NULL;
  }
  napi_value bytes = take_bytes(env, jsonl, size);
  if (!bytes) return NULL;
  NAPI_CALL(env, napi_create_object(env, &result));
  NAPI_CALL(env, napi_set_named_property(env, result, "jsonl", bytes));
  NAPI_CALL(env, napi_set_named_property(env, result, "inputs", inputs));
  return result;
}

/* bakeWithInputs(datDir, landblock, region, spawnsDir, setupTable, noSky) */
static napi_value js_bake_with_inputs(napi_env env, napi_callback_info info) {
  napi_value argv[6];
  char* dat_dir = NULL;
  uint32_t landblock;
  bake_options options;
  if (!arguments(env, info, 6, argv) || !get_string(env, argv[0], false, &dat_dir, "datDir")) return NULL;
  if (!get_u32(env, argv[1], &landblock) || !get_options(env, argv + 2, &options)) {
    free(dat_dir);
    return NULL;
  }
  uint8_t* jsonl = NULL;
  size_t size = 0;
  ravelin_bake_inputs raw = {0};
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_bake_with_inputs(dat_dir, landblock, &options.c, &jsonl, &size, &raw, &error);
  free(dat_dir);
  free_options(&options);
  return recorded_value(env, status, error, jsonl, size, &raw);
}

/* ---- archives ---- */

static napi_value js_archive_open(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  char* path = NULL;
  if (!arguments(env, info, 1, argv) || !get_string(env, argv[0], false, &path, "path")) return NULL;
  ravelin_archive* archive = NULL;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_archive_open(path, &archive, &error);
  free(path);
  if (!succeeded(env, status, error)) return NULL;
  return handle_value(env, archive);
}

static napi_value js_archive_close(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  void* archive;
  if (!arguments(env, info, 1, argv) || !get_handle(env, argv[0], &archive)) return NULL;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_archive_close(archive, &error);
  succeeded(env, status, error);
  return NULL;
}

static napi_value js_entry_count(napi_env env, napi_callback_info info) {
  napi_value argv[1], value = NULL;
  void* archive;
  if (!arguments(env, info, 1, argv) || !get_handle(env, argv[0], &archive)) return NULL;
  size_t count = 0;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_archive_entry_count(archive, &count, &error);
  if (!succeeded(env, status, error)) return NULL;
  NAPI_CALL(env, napi_create_double(env, (double)count, &value));
  return value;
}

static napi_value js_get_file(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  void* archive;
  uint32_t id;
  if (!arguments(env, info, 2, argv) || !get_handle(env, argv[0], &archive) || !get_u32(env, argv[1], &id)) return NULL;
  uint8_t* data = NULL;
  size_t size = 0;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_archive_get_file(archive, id, &data, &size, &error);
  if (!succeeded(env, status, error)) return NULL;
  return take_bytes(env, data, size);
}

/* showText(handle, fileId, type or null, compact) */
static napi_value js_show_text(napi_env env, napi_callback_info info) {
  napi_value argv[4], value = NULL;
  void* archive;
  uint32_t id;
  char* type = NULL;
  bool compact = false;
  if (!arguments(env, info, 4, argv) || !get_handle(env, argv[0], &archive) || !get_u32(env, argv[1], &id) ||
      !get_string(env, argv[2], true, &type, "type"))
    return NULL;
  napi_get_value_bool(env, argv[3], &compact);
  char* json = NULL;
  size_t size = 0;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_archive_show(archive, id, type, compact ? 1 : 0, &json, &size, &error);
  free(type);
  if (!succeeded(env, status, error)) return NULL;
  napi_status made = napi_create_string_utf8(env, json, size, &value);
  ravelin_free(json);
  NAPI_CALL(env, made);
  return value;
}

/* ---- sessions ---- */

/* sessionOpen(datDir, region, spawnsDir, setupTable, noSky) */
static napi_value js_session_open(napi_env env, napi_callback_info info) {
  napi_value argv[5];
  char* dat_dir = NULL;
  bake_options options;
  if (!arguments(env, info, 5, argv) || !get_string(env, argv[0], false, &dat_dir, "datDir")) return NULL;
  if (!get_options(env, argv + 1, &options)) {
    free(dat_dir);
    return NULL;
  }
  ravelin_session* session = NULL;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_session_open(dat_dir, &options.c, &session, &error);
  free(dat_dir);
  free_options(&options);
  if (!succeeded(env, status, error)) return NULL;
  return handle_value(env, session);
}

static napi_value js_session_close(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  void* session;
  if (!arguments(env, info, 1, argv) || !get_handle(env, argv[0], &session)) return NULL;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_session_close(session, &error);
  succeeded(env, status, error);
  return NULL;
}

static napi_value js_landblocks(napi_env env, napi_callback_info info) {
  napi_value argv[1];
  void* session;
  if (!arguments(env, info, 1, argv) || !get_handle(env, argv[0], &session)) return NULL;
  uint32_t* ids = NULL;
  size_t count = 0;
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_session_landblocks(session, &ids, &count, &error);
  if (!succeeded(env, status, error)) return NULL;
  napi_value list = id_list(env, ids, count);
  ravelin_free(ids);
  return list;
}

/* sessionBakeInto(handle, landblock, arrayBuffer, offset): the manifest written
 * at `offset` and its size, or, when it does not fit in the rest, a Buffer of
 * its own. */
static napi_value js_session_bake_into(napi_env env, napi_callback_info info) {
  napi_value argv[4], value = NULL;
  void* session;
  uint32_t landblock, offset;
  void* memory = NULL;
  size_t length = 0;
  if (!arguments(env, info, 4, argv) || !get_handle(env, argv[0], &session) || !get_u32(env, argv[1], &landblock) ||
      !get_u32(env, argv[3], &offset))
    return NULL;
  NAPI_CALL(env, napi_get_arraybuffer_info(env, argv[2], &memory, &length));
  if (offset > length) {
    napi_throw_range_error(env, NULL, "offset past the end of the chunk");
    return NULL;
  }
  size_t size = 0;
  uint8_t* overflow = NULL;
  ravelin_error* error = NULL;
  ravelin_status status =
      ravelin_session_bake_into(session, landblock, (uint8_t*)memory + offset, length - offset, &size, &overflow, &error);
  if (!succeeded(env, status, error)) return NULL;
  if (overflow) return take_bytes(env, overflow, size);
  NAPI_CALL(env, napi_create_uint32(env, (uint32_t)size, &value));
  return value;
}

static napi_value js_session_bake_with_inputs(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  void* session;
  uint32_t landblock;
  if (!arguments(env, info, 2, argv) || !get_handle(env, argv[0], &session) || !get_u32(env, argv[1], &landblock))
    return NULL;
  uint8_t* jsonl = NULL;
  size_t size = 0;
  ravelin_bake_inputs raw = {0};
  ravelin_error* error = NULL;
  ravelin_status status = ravelin_session_bake_with_inputs(session, landblock, &jsonl, &size, &raw, &error);
  return recorded_value(env, status, error, jsonl, size, &raw);
}

/* ---- async bakes ---- */

/* One bake on the thread pool: a session's (session set) or a one-off. */
typedef struct async_bake {
  napi_async_work work;
  napi_deferred deferred;
  void* session;
  char* dat_dir;
  bake_options options;
  uint32_t landblock;
  ravelin_status status;
  ravelin_error* error;
  uint8_t* jsonl;
  size_t size;
} async_bake;

static void free_async(async_bake* job) {
  free(job->dat_dir);
  free_options(&job->options);
  free(job);
}

static void run_bake(napi_env env, void* data) {
  (void)env;
  async_bake* job = data;
  job->status = job->session
                    ? ravelin_session_bake(job->session, job->landblock, &job->jsonl, &job->size, &job->error)
                    : ravelin_bake(job->dat_dir, job->landblock, &job->options.c, &job->jsonl, &job->size, &job->error);
}

static void settle_bake(napi_env env, napi_status status, void* data) {
  async_bake* job = data;
  napi_value value = NULL;
  bool resolve = false;
  if (status != napi_ok) {
    napi_create_string_utf8(env, "the bake was cancelled", NAPI_AUTO_LENGTH, &value);
    ravelin_free(job->jsonl);
    ravelin_error_free(job->error);
  } else if (job->status == RAVELIN_OK) {
    void* copy = NULL;
    resolve = napi_create_buffer_copy(env, job->size, job->size ? (void*)job->jsonl : "", &copy, &value) == napi_ok;
    ravelin_free(job->jsonl);
  } else {
    value = ravelin_error_value(env, job->status, job->error);
  }
  if (value == NULL) napi_get_undefined(env, &value);
  if (resolve) napi_resolve_deferred(env, job->deferred, value);
  else napi_reject_deferred(env, job->deferred, value);
  napi_delete_async_work(env, job->work);
  free_async(job);
}

static napi_value queue_bake(napi_env env, async_bake* job) {
  napi_value promise = NULL, name;
  if (napi_create_string_utf8(env, "ravelin.bake", NAPI_AUTO_LENGTH, &name) != napi_ok ||
      napi_create_promise(env, &job->deferred, &promise) != napi_ok) {
    free_async(job);
    throw_last_napi_error(env);
    return NULL;
  }
  if (napi_create_async_work(env, NULL, name, run_bake, settle_bake, job, &job->work) != napi_ok) {
    napi_value reason;
    napi_create_string_utf8(env, "cannot start an async bake", NAPI_AUTO_LENGTH, &reason);
    napi_reject_deferred(env, job->deferred, reason);
    free_async(job);
    return promise;
  }
  if (napi_queue_async_work(env, job->work) != napi_ok) {
    napi_value reason;
    napi_create_string_utf8(env, "cannot queue an async bake", NAPI_AUTO_LENGTH, &reason);
    napi_reject_deferred(env, job->deferred, reason);
    napi_delete_async_work(env, job->work);
    free_async(job);
  }
  return promise;
}

static async_bake* new_async(napi_env env) {
  async_bake* job = calloc(1, sizeof *job);
  if (job == NULL) napi_throw_error(env, NULL, "out of memory");
  return job;
}

/* bakeAsync(datDir, landblock, region, spawnsDir, setupTable, noSky) */
static napi_value js_bake_async(napi_env env, napi_callback_info info) {
  napi_value argv[6];
  if (!arguments(env, info, 6, argv)) return NULL;
  async_bake* job = new_async(env);
  if (job == NULL) return NULL;
  if (!get_string(env, argv[0], false, &job->dat_dir, "datDir") || !get_u32(env, argv[1], &job->landblock) ||
      !get_options(env, argv + 2, &job->options)) {
    free(job->dat_dir);
    free(job);
    return NULL;
  }
  return queue_bake(env, job);
}

/* sessionBakeAsync(handle, landblock): the C interface keeps the session open
 * until the bake ends, even when it is closed meanwhile. */
static napi_value js_session_bake_async(napi_env env, napi_callback_info info) {
  napi_value argv[2];
  void* session;
  uint32_t landblock;
  if (!arguments(env, info, 2, argv) || !get_handle(env, argv[0], &session) || !get_u32(env, argv[1], &landblock))
    return NULL;
  async_bake* job = new_async(env);
  if (job == NULL) return NULL;
  job->session = session;
  job->landblock = landblock;
  return queue_bake(env, job);
}

NAPI_MODULE_INIT() {
  napi_property_descriptor calls[] = {
      {"init", NULL, js_init, NULL, NULL, NULL, napi_default, NULL},
      {"version", NULL, js_version, NULL, NULL, NULL, napi_default, NULL},
      {"bake", NULL, js_bake, NULL, NULL, NULL, napi_default, NULL},
      {"bakeAsync", NULL, js_bake_async, NULL, NULL, NULL, napi_default, NULL},
      {"bakeWithInputs", NULL, js_bake_with_inputs, NULL, NULL, NULL, napi_default, NULL},
      {"archiveOpen", NULL, js_archive_open, NULL, NULL, NULL, napi_default, NULL},
      {"archiveClose", NULL, js_archive_close, NULL, NULL, NULL, napi_default, NULL},
      {"entryCount", NULL, js_entry_count, NULL, NULL, NULL, napi_default, NULL},
      {"getFile", NULL, js_get_file, NULL, NULL, NULL, napi_default, NULL},
      {"showText", NULL, js_show_text, NULL, NULL, NULL, napi_default, NULL},
      {"sessionOpen", NULL, js_session_open, NULL, NULL, NULL, napi_default, NULL},
      {"sessionClose", NULL, js_session_close, NULL, NULL, NULL, napi_default, NULL},
      {"landblocks", NULL, js_landblocks, NULL, NULL, NULL, napi_default, NULL},
      {"sessionBakeInto", NULL, js_session_bake_into, NULL, NULL, NULL, napi_default, NULL},
      {"sessionBakeAsync", NULL, js_session_bake_async, NULL, NULL, NULL, napi_default, NULL},
      {"sessionBakeWithInputs", NULL, js_session_bake_with_inputs, NULL, NULL, NULL, napi_default, NULL},
  };
  if (napi_define_properties(env, exports, sizeof calls / sizeof calls[0], calls) != napi_ok) return NULL;
  return exports;
}
