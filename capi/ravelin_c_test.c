/* The C interface driven from C over the sample world that make_test_world.sh
 * wrote: results equal to ravelin-bake's, an editing session read back through
 * the reader, and every kind of bad input (NULL handles and pointers, closed
 * handles, landblocks out of range, paths not UTF-8, a busy or damaged archive)
 * an error status with a text, never a crash.
 *   ravelin_c_test WORLD_DIR */
#include <ravelin/ravelin.h>

#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;
static int checks = 0;

#define CHECK(condition)                                                   \
  do {                                                                     \
    ++checks;                                                              \
    if (!(condition)) {                                                    \
      ++failures;                                                          \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                      \
  } while (0)

static char world[4096];

static char* world_path(const char* name) {
  static char path[8192];
  snprintf(path, sizeof path, "%s/%s", world, name);
  return path;
}

static char* read_file(const char* path, size_t* size) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) {
    fprintf(stderr, "cannot read %s\n", path);
    exit(2);
  }
  char* bytes = NULL;
  size_t used = 0, capacity = 0;
  for (;;) {
    if (used + 4096 > capacity) {
      capacity = capacity * 2 + 4096;
      bytes = realloc(bytes, capacity + 1);
      if (bytes == NULL) exit(2);
    }
    const size_t got = fread(bytes + used, 1, 4096, file);
    used += got;
    if (got < 4096) break;
  }
  fclose(file);
  bytes[used] = 0;
  *size = used;
  return bytes;
}

/* Whether `status` and the error's status agree, and its text holds `part`. */
static int failed_with(ravelin_status status, ravelin_error** error_out, ravelin_status expected, const char* part) {
  ravelin_error* error = *error_out;
  *error_out = NULL;
  const int ok = status == expected && error != NULL && ravelin_error_status(error) == expected &&
                 strstr(ravelin_error_message(error), part) != NULL;
  if (!ok)
    fprintf(stderr, "  got %s \"%s\", wanted %s with \"%s\"\n", ravelin_status_name(status),
            ravelin_error_message(error), ravelin_status_name(expected), part);
  ravelin_error_free(error);
  return ok;
}

static int same_bytes(const uint8_t* data, size_t size, const char* expected_file) {
  size_t expected_size = 0;
  char* expected = read_file(expected_file, &expected_size);
  const int same = size == expected_size && memcmp(data, expected, size) == 0 && data[size] == 0;
  free(expected);
  return same;
}

static void test_archive(void) {
  ravelin_archive* archive = NULL;
  ravelin_error* error = NULL;
  CHECK(ravelin_archive_open(world_path("client_portal.dat"), &archive, &error) == RAVELIN_OK);
  size_t count = 0;
  CHECK(ravelin_archive_entry_count(archive, &count, NULL) == RAVELIN_OK && count > 0);

  uint8_t* data = NULL;
  size_t size = 0;
  CHECK(ravelin_archive_get_file(archive, 0x13000000u, &data, &size, NULL) == RAVELIN_OK && size > 0);
  ravelin_free(data);
  CHECK(failed_with(ravelin_archive_get_file(archive, 0x13FFFFFFu, &data, &size, &error), &error, RAVELIN_ERROR_DAT,
                    "File ID 13FFFFFF not found in provider"));

  char* json = NULL;
  CHECK(ravelin_archive_show(archive, 0x13000000u, NULL, 1, &json, &size, NULL) == RAVELIN_OK);
  /* region.json carries the command's newline; the call leaves it out. */
  size_t file_size = 0;
  char* expected = read_file(world_path("region.json"), &file_size);
  CHECK(json != NULL && file_size == size + 1 && memcmp(json, expected, size) == 0 && json[size] == 0);
  free(expected);
  ravelin_free(json);
  CHECK(failed_with(ravelin_archive_show(archive, 0x13000000u, "regoin", 1, &json, &size, &error), &error,
                    RAVELIN_ERROR_ARGUMENT, "unknown record type 'regoin': one of region, setup"));
  CHECK(failed_with(ravelin_archive_show(archive, 0x7F000000u, NULL, 1, &json, &size, &error), &error,
                    RAVELIN_ERROR_DAT, "no record type for file id 0x7F000000"));

  CHECK(ravelin_archive_close(archive, NULL) == RAVELIN_OK);
  CHECK(failed_with(ravelin_archive_entry_count(archive, &count, &error), &error, RAVELIN_ERROR_HANDLE,
                    "ravelin_archive_entry_count: archive is closed"));
  CHECK(failed_with(ravelin_archive_close(archive, &error), &error, RAVELIN_ERROR_HANDLE,
                    "ravelin_archive_close: archive is closed"));
  CHECK(failed_with(ravelin_archive_open(world_path("missing.dat"), &archive, &error), &error, RAVELIN_ERROR_DAT,
                    "missing.dat"));
}

/* A record's bytes to its document and back, as dat show and dat encode. */
static void test_records(void) {
  ravelin_archive* archive = NULL;
  ravelin_error* error = NULL;
  CHECK(ravelin_archive_open(world_path("client_portal.dat"), &archive, NULL) == RAVELIN_OK);
  uint8_t* region = NULL;
  size_t region_size = 0;
  CHECK(ravelin_archive_get_file(archive, 0x13000000u, &region, &region_size, NULL) == RAVELIN_OK);
  ravelin_archive_close(archive, NULL);

  char* json = NULL;
  size_t json_size = 0;
  CHECK(ravelin_record_decode("region", region, region_size, 1, &json, &json_size, NULL) == RAVELIN_OK);
  size_t file_size = 0;
  char* expected = read_file(world_path("region.json"), &file_size);
  CHECK(json != NULL && file_size == json_size + 1 && memcmp(json, expected, json_size) == 0 && json[json_size] == 0);
  free(expected);

  for (int typed = 0; typed < 2; ++typed) {
    uint8_t* data = NULL;
    size_t size = 0;
    CHECK(ravelin_record_encode(typed ? "region" : NULL, json, &data, &size, NULL) == RAVELIN_OK);
    CHECK(data != NULL && size == region_size && memcmp(data, region, size) == 0 && data[size] == 0);
    ravelin_free(data);
  }
  char* indented = NULL;
  CHECK(ravelin_record_decode("region", region, region_size, 0, &indented, &json_size, NULL) == RAVELIN_OK);
  CHECK(indented != NULL && strchr(indented, '\n') != NULL);
  ravelin_free(indented);
  ravelin_free(json);

  uint8_t* data = NULL;
  size_t size = 0;
  CHECK(failed_with(ravelin_record_decode("region", region, 40, 1, &json, &json_size, &error), &error,
                    RAVELIN_ERROR_DAT, "Binary read error: failed to fill whole buffer"));
  CHECK(failed_with(ravelin_record_decode("weather", region, region_size, 1, &json, &json_size, &error), &error,
                    RAVELIN_ERROR_ARGUMENT, "unknown record type 'weather': one of region, setup"));
  CHECK(failed_with(ravelin_record_encode("region", "{\"id\": 1}", &data, &size, &error), &error,
                    RAVELIN_ERROR_ARGUMENT, "/id: expected a 32-bit word"));
  CHECK(failed_with(ravelin_record_encode(NULL, "{\"id\": \"0x1300FFFF\"}", &data, &size, &error), &error,
                    RAVELIN_ERROR_ARGUMENT, "/id: 0x1300FFFF names a cell-landblock in a cell archive and a region"));
  CHECK(failed_with(ravelin_record_encode("region", "{", &data, &size, &error), &error, RAVELIN_ERROR_ARGUMENT,
                    "document: invalid JSON"));
  CHECK(data == NULL);
  ravelin_free(region);
}

static void test_bake(void) {
  uint8_t* jsonl = NULL;
  size_t size = 0;
  /* The landblock as a number and as a whole id. */
  const uint32_t forms[] = {0xA9B4u, 0xA9B40000u};
  for (size_t i = 0; i < sizeof forms / sizeof forms[0]; ++i) {
    CHECK(ravelin_bake(world, forms[i], NULL, &jsonl, &size, NULL) == RAVELIN_OK);
    CHECK(jsonl != NULL && same_bytes(jsonl, size, world_path("A9B4.jsonl")));
    ravelin_free(jsonl);
    jsonl = NULL;
  }
  ravelin_bake_options options;
  ravelin_bake_options_init(&options);
  options.no_sky = 1;
  CHECK(ravelin_bake(world, 0xA9B4u, &options, &jsonl, &size, NULL) == RAVELIN_OK);
  CHECK(jsonl != NULL && same_bytes(jsonl, size, world_path("A9B4-no-sky.jsonl")));
  ravelin_free(jsonl);

  /* The same text as the command for the same failure. */
  size_t text_size = 0;
  char* text = read_file(world_path("missing.txt"), &text_size);
  if (text_size > 0 && text[text_size - 1] == '\n') text[text_size - 1] = 0;
  ravelin_error* error = NULL;
  CHECK(ravelin_bake(world_path("missing"), 0xA9B4u, NULL, &jsonl, &size, &error) == RAVELIN_ERROR_BAKE);
  CHECK(error != NULL && strcmp(ravelin_error_message(error), text) == 0);
  ravelin_error_free(error);
  free(text);
}

/* The family table against the manifest the command wrote: every line opens
 * with the "source" and "trigger" of a family, the families come in table
 * order, and the sample landblock has lines of each. (A line opening cannot
 * occur inside a line: quotes within a string are escaped.) */
static void test_event_families(void) {
  const ravelin_event_family* families = NULL;
  const size_t count = ravelin_event_families(&families);
  CHECK(count == 4 && families != NULL);
  CHECK(ravelin_event_families(NULL) == count);
  if (count != 4 || families == NULL) return;
  CHECK(strcmp(families[0].source, "ambient") == 0 && strcmp(families[0].trigger, "terrain") == 0);
  CHECK(strcmp(families[3].python, "sky") == 0 && strcmp(families[3].table, "sky_chain") == 0);
  for (size_t i = 0; i < count; ++i) CHECK(families[i].display[0] != 0);

  size_t size = 0;
  char* manifest = read_file(world_path("A9B4.jsonl"), &size);
  size_t lines[4] = {0, 0, 0, 0};
  size_t family = 0;
  const char* opening = "{\"source\":\"";
  for (const char* at = strstr(manifest, opening); at != NULL; at = strstr(at + 1, opening)) {
    CHECK(at == manifest || at[-1] == '\n');
    char head[256];
    while (family < count) {
      snprintf(head, sizeof head, "{\"source\":\"%s\",\"trigger\":\"%s\",", families[family].source,
               families[family].trigger);
      if (strncmp(at, head, strlen(head)) == 0) break;
      ++family;
    }
    CHECK(family < count);
    if (family == count) break;
    ++lines[family];
  }
  CHECK(size > 0 && manifest[size - 1] == '\n');
  for (size_t i = 0; i < count; ++i) CHECK(lines[i] > 0);
  free(manifest);
}

static void test_session(void) {
  ravelin_session* session = NULL;
  ravelin_error* error = NULL;
  CHECK(ravelin_session_open(world, NULL, &session, &error) == RAVELIN_OK);
  uint32_t* ids = NULL;
  size_t count = 0;
  CHECK(ravelin_session_landblocks(session, &ids, &count, NULL) == RAVELIN_OK);
  CHECK(count == 9 && ids[0] == 0xA8B30000u && ids[count - 1] == 0xAAB50000u);
  for (size_t i = 0; i < count; ++i) {
    uint8_t* one_off = NULL;
    uint8_t* shared = NULL;
    size_t one_off_size = 0, shared_size = 0;
    CHECK(ravelin_bake(world, ids[i], NULL, &one_off, &one_off_size, NULL) == RAVELIN_OK);
    CHECK(ravelin_session_bake(session, ids[i], &shared, &shared_size, NULL) == RAVELIN_OK);
    CHECK(one_off && shared && one_off_size == shared_size && memcmp(one_off, shared, shared_size) == 0);
    ravelin_free(one_off);
    ravelin_free(shared);
  }
  /* Into the caller's buffer: written when it fits, a library buffer when it does not. */
  size_t expected_size = 0;
  char* expected = read_file(world_path("A9B4.jsonl"), &expected_size);
  uint8_t* room = malloc(expected_size);
  uint8_t* overflow = (uint8_t*)room;
  size_t into_size = 0;
  CHECK(ravelin_session_bake_into(session, 0xA9B4u, room, expected_size, &into_size, &overflow, NULL) == RAVELIN_OK);
  CHECK(overflow == NULL && into_size == expected_size && memcmp(room, expected, expected_size) == 0);
  CHECK(ravelin_session_bake_into(session, 0xA9B4u, room, expected_size - 1, &into_size, &overflow, NULL) == RAVELIN_OK);
  CHECK(overflow != NULL && into_size == expected_size && memcmp(overflow, expected, expected_size) == 0);
  ravelin_free(overflow);
  CHECK(ravelin_session_bake_into(session, 0xA9B4u, NULL, 0, &into_size, &overflow, NULL) == RAVELIN_OK);
  CHECK(overflow != NULL && into_size == expected_size);
  ravelin_free(overflow);
  free(room);
  free(expected);
  ravelin_free(ids);
  CHECK(ravelin_session_close(session, NULL) == RAVELIN_OK);
  uint8_t* jsonl = NULL;
  size_t size = 0;
  CHECK(failed_with(ravelin_session_bake(session, 0xA9B4u, &jsonl, &size, &error), &error, RAVELIN_ERROR_HANDLE,
                    "ravelin_session_bake: session is closed"));
  CHECK(failed_with(ravelin_session_open(world_path("missing"), NULL, &session, &error), &error, RAVELIN_ERROR_BAKE,
                    "open client_portal.dat at"));
}

static int has_id(const uint32_t* ids, size_t count, uint32_t id) {
  for (size_t i = 0; i < count; ++i)
    if (ids[i] == id) return 1;
  return 0;
}

/* Inputs of one-off and session bakes: the same lists, ascending, beside the
 * plain bake's bytes; a failed bake keeps the records up to its failure. */
static void test_inputs(void) {
  ravelin_session* session = NULL;
  CHECK(ravelin_session_open(world, NULL, &session, NULL) == RAVELIN_OK);
  ravelin_bake_inputs one_off = {0}, shared = {0};
  uint8_t *one_off_jsonl = NULL, *shared_jsonl = NULL;
  size_t one_off_size = 0, shared_size = 0;
  CHECK(ravelin_bake_with_inputs(world, 0xA9B4u, NULL, &one_off_jsonl, &one_off_size, &one_off, NULL) == RAVELIN_OK);
  CHECK(ravelin_session_bake_with_inputs(session, 0xA9B4u, &shared_jsonl, &shared_size, &shared, NULL) == RAVELIN_OK);
  CHECK(one_off_jsonl != NULL && same_bytes(one_off_jsonl, one_off_size, world_path("A9B4.jsonl")));
  CHECK(shared_jsonl != NULL && same_bytes(shared_jsonl, shared_size, world_path("A9B4.jsonl")));
  CHECK(one_off.portal_count == shared.portal_count && one_off.cell_count == shared.cell_count);
  CHECK(one_off.portal_count > 1 && memcmp(one_off.portal, shared.portal, one_off.portal_count * 4) == 0);
  CHECK(one_off.cell_count == 2 && memcmp(one_off.cell, shared.cell, one_off.cell_count * 4) == 0);
  CHECK(has_id(one_off.portal, one_off.portal_count, 0x13000000u));
  CHECK(one_off.cell[0] == 0xA9B4FFFEu && one_off.cell[1] == 0xA9B4FFFFu);
  for (size_t i = 1; i < one_off.portal_count; ++i) CHECK(one_off.portal[i - 1] < one_off.portal[i]);
  ravelin_free(one_off_jsonl);
  ravelin_free(shared_jsonl);
  ravelin_bake_inputs_free(&one_off);
  CHECK(one_off.portal == NULL && one_off.cell == NULL && one_off.portal_count == 0);
  ravelin_bake_inputs_free(&shared);

  /* No CellLandblock 0x0101FFFF: the bake fails having read the region and looked for it. */
  ravelin_error* error = NULL;
  uint8_t* jsonl = NULL;
  size_t size = 0;
  CHECK(failed_with(ravelin_session_bake_with_inputs(session, 0x0101u, &jsonl, &size, &shared, &error), &error,
                    RAVELIN_ERROR_BAKE, "CellLandblock 0x0101FFFF missing from DAT"));
  CHECK(jsonl == NULL && has_id(shared.portal, shared.portal_count, 0x13000000u));
  CHECK(shared.cell_count == 1 && shared.cell[0] == 0x0101FFFFu);
  ravelin_bake_inputs_free(&shared);
  CHECK(failed_with(ravelin_bake_with_inputs(world_path("missing"), 0xA9B4u, NULL, &jsonl, &size, &one_off, &error),
                    &error, RAVELIN_ERROR_BAKE, "open client_portal.dat at"));
  CHECK(one_off.portal_count == 0 && one_off.cell_count == 0);
  ravelin_bake_inputs_free(&one_off);
  CHECK(failed_with(ravelin_bake_with_inputs(world, 0xA9B4u, NULL, &jsonl, &size, NULL, &error), &error,
                    RAVELIN_ERROR_ARGUMENT, "ravelin_bake_with_inputs: inputs is NULL"));
  CHECK(ravelin_session_close(session, NULL) == RAVELIN_OK);
  CHECK(failed_with(ravelin_session_bake_with_inputs(session, 0xA9B4u, &jsonl, &size, &shared, &error), &error,
                    RAVELIN_ERROR_HANDLE, "session is closed"));
  ravelin_bake_inputs_free(NULL);
}

/* Two threads baking every landblock through one session get the one-off bytes. */
struct thread_work {
  ravelin_session* session;
  const uint32_t* ids;
  size_t count;
  int mismatches;
};

static void* bake_all(void* arg) {
  struct thread_work* work = arg;
  for (size_t i = 0; i < work->count; ++i) {
    uint8_t *one_off = NULL, *shared = NULL;
    size_t one_off_size = 0, shared_size = 0;
    if (ravelin_bake(world, work->ids[i], NULL, &one_off, &one_off_size, NULL) != RAVELIN_OK ||
        ravelin_session_bake(work->session, work->ids[i], &shared, &shared_size, NULL) != RAVELIN_OK ||
        one_off_size != shared_size || memcmp(one_off, shared, shared_size) != 0)
      ++work->mismatches;
    ravelin_free(one_off);
    ravelin_free(shared);
  }
  return NULL;
}

static void test_threads(void) {
  ravelin_session* session = NULL;
  uint32_t* ids = NULL;
  size_t count = 0;
  CHECK(ravelin_session_open(world, NULL, &session, NULL) == RAVELIN_OK);
  CHECK(ravelin_session_landblocks(session, &ids, &count, NULL) == RAVELIN_OK);
  struct thread_work work[2] = {{session, ids, count, 0}, {session, ids, count, 0}};
  pthread_t threads[2];
  for (int i = 0; i < 2; ++i) CHECK(pthread_create(&threads[i], NULL, bake_all, &work[i]) == 0);
  for (int i = 0; i < 2; ++i) pthread_join(threads[i], NULL);
  CHECK(work[0].mismatches == 0 && work[1].mismatches == 0);
  ravelin_free(ids);
  CHECK(ravelin_session_close(session, NULL) == RAVELIN_OK);
}

/* Every pointer argument NULL in turn, handles of the wrong kind and made up,
 * landblocks that are neither a number nor a whole id, paths not UTF-8. */
static void test_bad_input(void) {
  ravelin_archive* archive = NULL;
  ravelin_session* session = NULL;
  CHECK(ravelin_archive_open(world_path("client_portal.dat"), &archive, NULL) == RAVELIN_OK);
  CHECK(ravelin_session_open(world, NULL, &session, NULL) == RAVELIN_OK);
  ravelin_archive* as_archive = (ravelin_archive*)session;
  ravelin_archive* made_up = (ravelin_archive*)&archive;
  ravelin_error* e = NULL;
  uint8_t* data = NULL;
  /* The call fails with `expected` and `text`, writing none of its outputs. */
#define FAILS(call, expected, text)                                            \
  do {                                                                         \
    e = NULL;                                                                  \
    CHECK(failed_with((call), &e, (expected), (text)));                         \
    CHECK(data == NULL && json == NULL && ids == NULL);                        \
  } while (0)
  char* json = NULL;
  uint32_t* ids = NULL;
  size_t size = 0;
  const char not_utf8[] = {'/', 't', 'm', 'p', '/', (char)0xC3, (char)0x28, 0};
  ravelin_bake_options half_spawns;
  ravelin_bake_options_init(&half_spawns);
  half_spawns.spawns_dir = world;

  FAILS(ravelin_archive_open(NULL, &archive, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_archive_open: path is NULL");
  FAILS(ravelin_archive_open(world, NULL, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_archive_open: archive is NULL");
  FAILS(ravelin_archive_open(not_utf8, &archive, &e), RAVELIN_ERROR_ARGUMENT, "path is not UTF-8");
  FAILS(ravelin_archive_close(NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_archive_close: archive is NULL");
  FAILS(ravelin_archive_entry_count(NULL, &size, &e), RAVELIN_ERROR_HANDLE, "archive is NULL");
  FAILS(ravelin_archive_entry_count(archive, NULL, &e), RAVELIN_ERROR_ARGUMENT, "count is NULL");
  FAILS(ravelin_archive_entry_count(as_archive, &size, &e), RAVELIN_ERROR_HANDLE, "not an archive handle (a handle of another kind)");
  FAILS(ravelin_archive_entry_count(made_up, &size, &e), RAVELIN_ERROR_HANDLE, "not an archive handle");
  FAILS(ravelin_archive_get_file(NULL, 1, &data, &size, &e), RAVELIN_ERROR_HANDLE, "archive is NULL");
  FAILS(ravelin_archive_get_file(archive, 1, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "data is NULL");
  FAILS(ravelin_archive_get_file(archive, 1, &data, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_archive_show(NULL, 1, NULL, 0, &json, &size, &e), RAVELIN_ERROR_HANDLE, "archive is NULL");
  FAILS(ravelin_archive_show(archive, 1, NULL, 0, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "json is NULL");
  FAILS(ravelin_archive_show(archive, 1, NULL, 0, &json, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_record_decode(NULL, data, 0, 0, &json, &size, &e), RAVELIN_ERROR_ARGUMENT,
        "ravelin_record_decode: type is NULL");
  FAILS(ravelin_record_decode("region", NULL, 4, 0, &json, &size, &e), RAVELIN_ERROR_ARGUMENT, "data is NULL");
  FAILS(ravelin_record_decode("region", NULL, 0, 0, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "json is NULL");
  FAILS(ravelin_record_decode("region", NULL, 0, 0, &json, NULL, &e), RAVELIN_ERROR_ARGUMENT, "json_size is NULL");
  FAILS(ravelin_record_decode("region", NULL, 0, 0, &json, &size, &e), RAVELIN_ERROR_DAT, "failed to fill whole buffer");
  FAILS(ravelin_record_encode("region", NULL, &data, &size, &e), RAVELIN_ERROR_ARGUMENT,
        "ravelin_record_encode: json is NULL");
  FAILS(ravelin_record_encode("region", "{}", NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "data is NULL");
  FAILS(ravelin_record_encode("region", "{}", &data, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_record_encode("regions", "{}", &data, &size, &e), RAVELIN_ERROR_ARGUMENT, "unknown record type 'regions'");
  FAILS(ravelin_bake(NULL, 0xA9B4u, NULL, &data, &size, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_bake: dat_dir is NULL");
  FAILS(ravelin_bake(world, 0xA9B4u, NULL, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "jsonl is NULL");
  FAILS(ravelin_bake(world, 0xA9B4u, NULL, &data, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_bake(not_utf8, 0xA9B4u, NULL, &data, &size, &e), RAVELIN_ERROR_ARGUMENT, "dat_dir is not UTF-8");
  FAILS(ravelin_bake(world, 0x1FFFFu, NULL, &data, &size, &e), RAVELIN_ERROR_ARGUMENT,
        "not a landblock: 0x0001FFFF (a number up to 0xFFFF or a whole id 0xLLLL0000)");
  FAILS(ravelin_bake(world, 0xA9B4u, &half_spawns, &data, &size, &e), RAVELIN_ERROR_ARGUMENT,
        "spawns_dir and setup_table go together");
  FAILS(ravelin_session_open(NULL, NULL, &session, &e), RAVELIN_ERROR_ARGUMENT, "dat_dir is NULL");
  FAILS(ravelin_session_open(world, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT, "session is NULL");
  FAILS(ravelin_session_open(not_utf8, NULL, &session, &e), RAVELIN_ERROR_ARGUMENT, "dat_dir is not UTF-8");
  FAILS(ravelin_session_open(world, &half_spawns, &session, &e), RAVELIN_ERROR_ARGUMENT, "go together");
  FAILS(ravelin_session_close(NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_session_close: session is NULL");
  FAILS(ravelin_session_close((ravelin_session*)archive, &e), RAVELIN_ERROR_HANDLE, "not a session handle");
  FAILS(ravelin_session_landblocks(NULL, &ids, &size, &e), RAVELIN_ERROR_HANDLE, "session is NULL");
  FAILS(ravelin_session_landblocks(session, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "ids is NULL");
  FAILS(ravelin_session_landblocks(session, &ids, NULL, &e), RAVELIN_ERROR_ARGUMENT, "count is NULL");
  FAILS(ravelin_session_bake(NULL, 0xA9B4u, &data, &size, &e), RAVELIN_ERROR_HANDLE, "session is NULL");
  FAILS(ravelin_session_bake(session, 0xA9B4u, NULL, &size, &e), RAVELIN_ERROR_ARGUMENT, "jsonl is NULL");
  FAILS(ravelin_session_bake(session, 0xA9B4u, &data, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_session_bake(session, 0xFFFFFFFFu, &data, &size, &e), RAVELIN_ERROR_ARGUMENT, "not a landblock: 0xFFFFFFFF");
  FAILS(ravelin_session_bake_into(NULL, 0xA9B4u, NULL, 0, &size, &data, &e), RAVELIN_ERROR_HANDLE, "session is NULL");
  FAILS(ravelin_session_bake_into(session, 0xA9B4u, NULL, 8, &size, &data, &e), RAVELIN_ERROR_ARGUMENT, "buffer is NULL");
  FAILS(ravelin_session_bake_into(session, 0xA9B4u, NULL, 0, NULL, &data, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  FAILS(ravelin_session_bake_into(session, 0xA9B4u, NULL, 0, &size, NULL, &e), RAVELIN_ERROR_ARGUMENT, "overflow is NULL");
#undef FAILS
  ravelin_archive_close(archive, NULL);
  ravelin_session_close(session, NULL);
}


/* ---- The archive editor and the check ---- */

static char edited[8192];

/* The file's bytes through a reader opened now; NULL when it lacks `id`. */
static uint8_t* read_back(const char* path, uint32_t id, size_t* size) {
  ravelin_archive* archive = NULL;
  uint8_t* data = NULL;
  if (ravelin_archive_open(path, &archive, NULL) != RAVELIN_OK) return NULL;
  if (ravelin_archive_get_file(archive, id, &data, size, NULL) != RAVELIN_OK) data = NULL;
  ravelin_archive_close(archive, NULL);
  return data;
}

static int holds(ravelin_archive* archive, uint32_t id, const void* bytes, size_t size) {
  uint8_t* data = NULL;
  size_t got = 0;
  if (ravelin_archive_get_file(archive, id, &data, &got, NULL) != RAVELIN_OK) return 0;
  const int same = got == size && memcmp(data, bytes, size) == 0;
  ravelin_free(data);
  return same;
}

static void check_clean(const char* path) {
  char* jsonl = NULL;
  size_t size = 0, faults = 99, notes = 99;
  CHECK(ravelin_archive_check(path, &jsonl, &size, &faults, &notes, NULL) == RAVELIN_OK);
  CHECK(faults == 0 && jsonl != NULL && jsonl[size] == 0 && strstr(jsonl, "{\"totals\":{") != NULL);
  CHECK(jsonl != NULL && strstr(jsonl, "\"faults\":0,") != NULL);
  ravelin_free(jsonl);
}

/* Create, put, commit, read back; a reader open across a commit keeps its
 * version and stops block reuse; remove, abandon, commit with reuse; check. */
static void test_editor_session(void) {
  snprintf(edited, sizeof edited, "%s/edited.dat", world);
  char portal[8192];
  snprintf(portal, sizeof portal, "%s", world_path("client_portal.dat"));
  uint8_t body[3000];
  for (size_t i = 0; i < sizeof body; ++i) body[i] = (uint8_t)("landblock "[i % 10] + i / 600);
  const uint8_t stored[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

  ravelin_editor* editor = NULL;
  ravelin_error* error = NULL;
  CHECK(ravelin_editor_create(edited, 0, portal, &editor, &error) == RAVELIN_OK);
  size_t count = 99;
  CHECK(ravelin_editor_entry_count(editor, &count, NULL) == RAVELIN_OK && count == 0);
  ravelin_put_options options;
  ravelin_put_options_init(&options);
  options.compressed = 1;
  options.has_timestamp = 1;
  options.timestamp = 1234;
  CHECK(ravelin_editor_put(editor, 0x0A000001u, body, sizeof body, &options, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_put(editor, 0x0A000002u, (const uint8_t*)"short", 5, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_put(editor, 0x0A000003u, NULL, 0, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_put_stored(editor, 0x0A000004u, stored, sizeof stored, 0x10u, 7, 8, NULL) == RAVELIN_OK);
  int found = -1;
  ravelin_entry entry;
  memset(&entry, 0, sizeof entry);
  CHECK(ravelin_editor_find(editor, 0x0A000001u, &found, &entry, NULL) == RAVELIN_OK && found == 1);
  CHECK(entry.id == 0x0A000001u && (entry.bit_flags & 1u) && entry.timestamp == 1234 && entry.version == 0);
  CHECK(entry.size > 0);
  CHECK(ravelin_editor_find(editor, 0x0A000004u, &found, &entry, NULL) == RAVELIN_OK && found == 1);
  CHECK(entry.bit_flags == 0x10u && entry.size == sizeof stored && entry.timestamp == 7 && entry.version == 8);
  CHECK(ravelin_editor_find(editor, 0x0A000009u, &found, NULL, NULL) == RAVELIN_OK && found == 0);
  CHECK(ravelin_editor_entry_count(editor, &count, NULL) == RAVELIN_OK && count == 4);
  ravelin_commit_stats stats;
  memset(&stats, 0xFF, sizeof stats);
  CHECK(ravelin_editor_commit(editor, &stats, &error) == RAVELIN_OK);
  CHECK(stats.blocks_written > 0 && stats.blocks_freed == 0 && stats.reuse == 1);
  CHECK(stats.blocks_written == stats.blocks_reused + stats.blocks_appended);

  ravelin_archive* reader = NULL;
  CHECK(ravelin_archive_open(edited, &reader, NULL) == RAVELIN_OK);
  CHECK(holds(reader, 0x0A000001u, body, sizeof body) && holds(reader, 0x0A000002u, "short", 5));
  CHECK(holds(reader, 0x0A000003u, "", 0) && holds(reader, 0x0A000004u, stored, sizeof stored));

  /* With the reader open the commit appends and leaves the old blocks alone. */
  options.compressed = 0;
  CHECK(ravelin_editor_put(editor, 0x0A000001u, (const uint8_t*)"grown again", 11, &options, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_remove(editor, 0x0A000002u, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_commit(editor, &stats, NULL) == RAVELIN_OK);
  CHECK(stats.reuse == 0 && stats.blocks_reused == 0 && stats.blocks_freed == 0 && stats.blocks_left_leaked > 0);
  CHECK(holds(reader, 0x0A000001u, body, sizeof body) && holds(reader, 0x0A000002u, "short", 5));
  CHECK(ravelin_archive_close(reader, NULL) == RAVELIN_OK);
  size_t size = 0;
  uint8_t* data = read_back(edited, 0x0A000001u, &size);
  CHECK(data != NULL && size == 11 && memcmp(data, "grown again", 11) == 0);
  ravelin_free(data);
  CHECK(read_back(edited, 0x0A000002u, &size) == NULL);
  check_clean(edited);

  /* An abandoned batch leaves nothing behind; the next commit reuses the leaked blocks. */
  CHECK(ravelin_editor_put(editor, 0x0A000005u, body, sizeof body, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_abandon(editor, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_find(editor, 0x0A000005u, &found, NULL, NULL) == RAVELIN_OK && found == 0);
  CHECK(ravelin_editor_entry_count(editor, &count, NULL) == RAVELIN_OK && count == 3);
  CHECK(ravelin_editor_put(editor, 0x0A000006u, (const uint8_t*)"new", 3, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_commit(editor, NULL, NULL) == RAVELIN_OK);
  CHECK(read_back(edited, 0x0A000005u, &size) == NULL);
  data = read_back(edited, 0x0A000006u, &size);
  CHECK(data != NULL && size == 3 && memcmp(data, "new", 3) == 0);
  ravelin_free(data);
  CHECK(ravelin_editor_put(editor, 0x0A000007u, body, sizeof body, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_commit(editor, &stats, NULL) == RAVELIN_OK);
  CHECK(stats.reuse == 1 && stats.blocks_reused > 0);
  check_clean(edited);

  /* Closing without a commit drops the batch and lets the next editor in. */
  CHECK(ravelin_editor_remove(editor, 0x0A000007u, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_close(editor, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_open(edited, &editor, &error) == RAVELIN_OK);
  CHECK(ravelin_editor_find(editor, 0x0A000007u, &found, NULL, NULL) == RAVELIN_OK && found == 1);
  CHECK(ravelin_editor_close(editor, NULL) == RAVELIN_OK);
}

/* Records put from their documents: the sample world's region new in the
 * edited archive, then, stored compressed with fields, replaced by an edited
 * document that keeps them; documents that are no record of the id put nothing. */
static void test_editor_put_record(void) {
  size_t json_size = 0, region_size = 0, size = 0, count = 0, count_after = 0;
  char* json = read_file(world_path("region.json"), &json_size);
  ravelin_archive* archive = NULL;
  uint8_t* region = NULL;
  CHECK(ravelin_archive_open(world_path("client_portal.dat"), &archive, NULL) == RAVELIN_OK);
  CHECK(ravelin_archive_get_file(archive, 0x13000000u, &region, &region_size, NULL) == RAVELIN_OK);
  ravelin_archive_close(archive, NULL);
  if (region == NULL) return;

  ravelin_editor* editor = NULL;
  ravelin_entry entry;
  int found = 0;
  CHECK(ravelin_editor_open(edited, &editor, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_put_record(editor, 0x13000000u, json, json_size, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_find(editor, 0x13000000u, &found, &entry, NULL) == RAVELIN_OK && found == 1);
  CHECK(entry.bit_flags == 0 && entry.timestamp == 0 && entry.version == 0 && entry.size == region_size);
  CHECK(ravelin_editor_commit(editor, NULL, NULL) == RAVELIN_OK);
  uint8_t* data = read_back(edited, 0x13000000u, &size);
  CHECK(data != NULL && size == region_size && memcmp(data, region, size) == 0);
  ravelin_free(data);

  ravelin_put_options options;
  ravelin_put_options_init(&options);
  options.compressed = 1;
  options.has_flags = options.has_timestamp = options.has_version = 1;
  options.flags = 0x20;
  options.timestamp = 99;
  options.version = 4;
  CHECK(ravelin_editor_put(editor, 0x13000000u, region, region_size, &options, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_commit(editor, NULL, NULL) == RAVELIN_OK);
  /* One letter of the region's name, in the document and in the bytes. */
  char* name = strstr(json, "\"name\":\"Sample Isle");
  uint8_t* stored_name = NULL;
  for (size_t i = 0; i + 11 <= region_size && stored_name == NULL; ++i)
    if (memcmp(region + i, "Sample Isle", 11) == 0) stored_name = region + i;
  CHECK(name != NULL && stored_name != NULL);
  if (name == NULL || stored_name == NULL) return;
  name[strlen("\"name\":\"Sample Isl")] = 'a';
  stored_name[10] = 'a';
  CHECK(ravelin_editor_put_record(editor, 0x13000000u, json, json_size, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_find(editor, 0x13000000u, &found, &entry, NULL) == RAVELIN_OK && found == 1);
  CHECK(entry.bit_flags == 0x21u && entry.timestamp == 99 && entry.version == 4 && entry.size < region_size);
  CHECK(ravelin_editor_commit(editor, NULL, NULL) == RAVELIN_OK);
  data = read_back(edited, 0x13000000u, &size);
  CHECK(data != NULL && size == region_size && memcmp(data, region, size) == 0);
  ravelin_free(data);

  CHECK(ravelin_editor_entry_count(editor, &count, NULL) == RAVELIN_OK);
  const struct {
    uint32_t id;
    const char* json;
    size_t size; /* 0: the whole text */
    ravelin_status status;
    const char* text;
  } bad[] = {
      {0x13000001u, json, 0, RAVELIN_ERROR_ARGUMENT, "/id: expected 0x13000001, the file id it is put as"},
      {0x0E000001u, json, 0, RAVELIN_ERROR_ARGUMENT, "no record type for file id 0x0E000001 in "},
      {0x13000000u, "{\"id\": \"0x13000000\"}", 0, RAVELIN_ERROR_ARGUMENT, ": missing member, expected "},
      {0x13000000u, json, 10, RAVELIN_ERROR_ARGUMENT, "document: invalid JSON"},
      {0x13000000u, NULL, 5, RAVELIN_ERROR_ARGUMENT, "ravelin_editor_put_record: json is NULL"},
  };
  for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
    ravelin_error* e = NULL;
    const size_t text_size = bad[i].size != 0 ? bad[i].size : strlen(bad[i].json);
    CHECK(failed_with(ravelin_editor_put_record(editor, bad[i].id, bad[i].json, text_size, &e), &e, bad[i].status,
                      bad[i].text));
  }
  ravelin_error* e = NULL;
  CHECK(failed_with(ravelin_editor_put_record(NULL, 0x13000000u, json, json_size, &e), &e, RAVELIN_ERROR_HANDLE,
                    "ravelin_editor_put_record: editor is NULL"));
  CHECK(ravelin_editor_entry_count(editor, &count_after, NULL) == RAVELIN_OK && count_after == count);
  CHECK(ravelin_editor_find(editor, 0x13000001u, &found, NULL, NULL) == RAVELIN_OK && found == 0);
  CHECK(ravelin_editor_close(editor, NULL) == RAVELIN_OK);
  check_clean(edited);
  ravelin_free(region);
  free(json);
}

/* Writes the first `length` bytes of `from` to `to`. */
static void copy_head(const char* from, const char* to, size_t length) {
  size_t size = 0;
  char* bytes = read_file(from, &size);
  FILE* file = fopen(to, "wb");
  if (file == NULL) exit(2);
  fwrite(bytes, 1, length < size ? length : size, file);
  fclose(file);
  free(bytes);
}

/* A second editor, an absent id, damaged archives, every NULL, wrong and closed handles. */
static void test_editor_errors(void) {
  ravelin_editor* editor = NULL;
  ravelin_editor* second = NULL;
  ravelin_error* e = NULL;
  CHECK(ravelin_editor_open(edited, &editor, NULL) == RAVELIN_OK);
  CHECK(failed_with(ravelin_editor_open(edited, &second, &e), &e, RAVELIN_ERROR_BUSY,
                    "edited.dat is being changed by another process"));
  CHECK(second == NULL);
  CHECK(failed_with(ravelin_editor_remove(editor, 0x0BADBEEFu, &e), &e, RAVELIN_ERROR_NOT_FOUND,
                    "File ID 0BADBEEF not found in "));
  /* The failed remove changed nothing: the editor goes on. */
  CHECK(ravelin_editor_put(editor, 0x0A000008u, (const uint8_t*)"x", 1, NULL, NULL) == RAVELIN_OK);
  CHECK(ravelin_editor_commit(editor, NULL, NULL) == RAVELIN_OK);

  /* The archive cut after its header: refused for editing, faults in the check, the file untouched. */
  char cut[8192];
  snprintf(cut, sizeof cut, "%s/cut.dat", world);
  copy_head(edited, cut, 1024);
  CHECK(failed_with(ravelin_editor_open(cut, &second, &e), &e, RAVELIN_ERROR_REFUSED,
                    "run `ravelin-bake dat compact` to rewrite it"));
  size_t cut_size = 0;
  free(read_file(cut, &cut_size));
  CHECK(cut_size == 1024);
  char* jsonl = NULL;
  size_t size = 0, faults = 0, notes = 0;
  CHECK(ravelin_archive_check(cut, &jsonl, &size, &faults, NULL, NULL) == RAVELIN_OK);
  CHECK(faults > 0 && jsonl != NULL && strstr(jsonl, "{\"severity\":\"fault\",\"code\":\"") == jsonl);
  ravelin_free(jsonl);
  jsonl = NULL;
  /* Not an archive at all. */
  CHECK(failed_with(ravelin_editor_open(world_path("region.json"), &second, &e), &e, RAVELIN_ERROR_REFUSED,
                    "region.json: "));
  CHECK(failed_with(ravelin_archive_check(world_path("missing.dat"), &jsonl, &size, &faults, &notes, &e), &e,
                    RAVELIN_ERROR_DAT, "missing.dat"));
  CHECK(jsonl == NULL);

  ravelin_archive* archive = NULL;
  CHECK(ravelin_archive_open(world_path("client_portal.dat"), &archive, NULL) == RAVELIN_OK);
  ravelin_editor* as_editor = (ravelin_editor*)archive;
  const char not_utf8[] = {'/', 't', 'm', 'p', '/', (char)0xC3, (char)0x28, 0};
  size_t count = 0;
  int found = 0;
#define EDIT_FAILS(call, expected, text) CHECK(failed_with((call), &e, (expected), (text)))
  EDIT_FAILS(ravelin_editor_open(NULL, &second, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_editor_open: path is NULL");
  EDIT_FAILS(ravelin_editor_open(edited, NULL, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_editor_open: editor is NULL");
  EDIT_FAILS(ravelin_editor_open(not_utf8, &second, &e), RAVELIN_ERROR_ARGUMENT, "path is not UTF-8");
  EDIT_FAILS(ravelin_editor_create(NULL, 256, NULL, &second, &e), RAVELIN_ERROR_ARGUMENT, "path is NULL");
  EDIT_FAILS(ravelin_editor_create(cut, 256, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT, "editor is NULL");
  EDIT_FAILS(ravelin_editor_create(cut, 0, NULL, &second, &e), RAVELIN_ERROR_ARGUMENT,
             "ravelin_editor_create: block_size is 0 and there is no `like` archive");
  EDIT_FAILS(ravelin_editor_create(cut, 256, world_path("missing.dat"), &second, &e), RAVELIN_ERROR_DAT, "missing.dat");
  EDIT_FAILS(ravelin_editor_create(cut, 4, NULL, &second, &e), RAVELIN_ERROR_REFUSED, "block size 4");
  EDIT_FAILS(ravelin_editor_put(NULL, 1, (const uint8_t*)"x", 1, NULL, &e), RAVELIN_ERROR_HANDLE,
             "ravelin_editor_put: editor is NULL");
  EDIT_FAILS(ravelin_editor_put(editor, 1, NULL, 1, NULL, &e), RAVELIN_ERROR_ARGUMENT, "ravelin_editor_put: data is NULL");
  EDIT_FAILS(ravelin_editor_put(as_editor, 1, NULL, 0, NULL, &e), RAVELIN_ERROR_HANDLE,
             "not an editor handle (a handle of another kind)");
  EDIT_FAILS(ravelin_editor_put_stored(editor, 1, NULL, 1, 0, 0, 0, &e), RAVELIN_ERROR_ARGUMENT, "stored is NULL");
  EDIT_FAILS(ravelin_editor_put_stored(NULL, 1, NULL, 0, 0, 0, 0, &e), RAVELIN_ERROR_HANDLE, "editor is NULL");
  EDIT_FAILS(ravelin_editor_remove(NULL, 1, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_remove: editor is NULL");
  EDIT_FAILS(ravelin_editor_commit(NULL, NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_commit: editor is NULL");
  EDIT_FAILS(ravelin_editor_abandon(NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_abandon: editor is NULL");
  EDIT_FAILS(ravelin_editor_close(NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_close: editor is NULL");
  EDIT_FAILS(ravelin_editor_close(as_editor, &e), RAVELIN_ERROR_HANDLE, "not an editor handle");
  EDIT_FAILS(ravelin_editor_entry_count(editor, NULL, &e), RAVELIN_ERROR_ARGUMENT, "count is NULL");
  EDIT_FAILS(ravelin_editor_find(editor, 1, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT, "found is NULL");
  EDIT_FAILS(ravelin_archive_check(NULL, &jsonl, &size, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT,
             "ravelin_archive_check: path is NULL");
  EDIT_FAILS(ravelin_archive_check(edited, NULL, &size, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT, "jsonl is NULL");
  EDIT_FAILS(ravelin_archive_check(edited, &jsonl, NULL, NULL, NULL, &e), RAVELIN_ERROR_ARGUMENT, "size is NULL");
  EDIT_FAILS(ravelin_archive_entry_count((ravelin_archive*)editor, &count, &e), RAVELIN_ERROR_HANDLE,
             "not an archive handle (a handle of another kind)");
  CHECK(ravelin_editor_close(editor, NULL) == RAVELIN_OK);
  EDIT_FAILS(ravelin_editor_find(editor, 1, &found, NULL, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_find: editor is closed");
  EDIT_FAILS(ravelin_editor_close(editor, &e), RAVELIN_ERROR_HANDLE, "ravelin_editor_close: editor is closed");
#undef EDIT_FAILS
  CHECK(strcmp(ravelin_status_name(RAVELIN_ERROR_BUSY), "RAVELIN_ERROR_BUSY") == 0);
  CHECK(strcmp(ravelin_status_name(RAVELIN_ERROR_IO), "RAVELIN_ERROR_IO") == 0);
  ravelin_archive_close(archive, NULL);
  ravelin_put_options_init(NULL);
}

/* Two threads putting into one editor: each call either runs alone or fails
 * with the in-use error, so every put lands once and nothing else fails. */
static atomic_int start_puts;

struct put_work {
  ravelin_editor* editor;
  uint32_t first_id;
  int other_failures;
  int in_use;
};

static void* put_many(void* arg) {
  struct put_work* work = arg;
  while (!atomic_load(&start_puts)) {
  }
  for (uint32_t i = 0; i < 20000; ++i) {
    ravelin_error* error = NULL;
    const uint8_t byte = (uint8_t)i;
    for (;;) {
      const ravelin_status status = ravelin_editor_put(work->editor, work->first_id + i, &byte, 1, NULL, &error);
      if (status == RAVELIN_OK) break;
      if (status == RAVELIN_ERROR_HANDLE && strstr(ravelin_error_message(error), "editor is in use by another thread"))
        ++work->in_use;
      else
        ++work->other_failures;
      ravelin_error_free(error);
      error = NULL;
      if (work->other_failures > 0) return NULL;
    }
  }
  return NULL;
}

static void test_editor_threads(void) {
  ravelin_editor* editor = NULL;
  CHECK(ravelin_editor_open(edited, &editor, NULL) == RAVELIN_OK);
  size_t before = 0, after = 0;
  CHECK(ravelin_editor_entry_count(editor, &before, NULL) == RAVELIN_OK);
  struct put_work work[2] = {{editor, 0x0C000000u, 0, 0}, {editor, 0x0D000000u, 0, 0}};
  pthread_t threads[2];
  atomic_store(&start_puts, 0);
  for (int i = 0; i < 2; ++i) CHECK(pthread_create(&threads[i], NULL, put_many, &work[i]) == 0);
  atomic_store(&start_puts, 1);
  for (int i = 0; i < 2; ++i) pthread_join(threads[i], NULL);
  CHECK(work[0].other_failures == 0 && work[1].other_failures == 0);
  CHECK(ravelin_editor_entry_count(editor, &after, NULL) == RAVELIN_OK && after == before + 40000);
  int found = 0;
  CHECK(ravelin_editor_find(editor, 0x0D000000u + 19999, &found, NULL, NULL) == RAVELIN_OK && found == 1);
  CHECK(ravelin_editor_close(editor, NULL) == RAVELIN_OK);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: ravelin_c_test WORLD_DIR\n");
    return 2;
  }
  snprintf(world, sizeof world, "%s", argv[1]);
  CHECK(strcmp(ravelin_version(), RAVELIN_EXPECTED_VERSION) == 0);
  test_archive();
  test_records();
  test_bake();
  test_event_families();
  test_session();
  test_inputs();
  test_threads();
  test_bad_input();
  test_editor_session();
  test_editor_put_record();
  test_editor_errors();
  test_editor_threads();
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
