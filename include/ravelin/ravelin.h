/* Ravelin's C interface: archives, records as JSON and landblock bakes through
 * opaque handles and status codes, for C and for every language that calls C.
 *
 * Every fallible call returns a ravelin_status. When the call fails and its
 * `error` argument is not NULL, *error receives an error object whose message
 * is the display text (for a bake, what `ravelin-bake bake` prints after
 * "error: "); free it with ravelin_error_free. Output buffers are allocated by
 * the library, NUL-terminated one byte past their size, and freed with
 * ravelin_free. Outputs are written only on success.
 *
 * Handles are never dereferenced by the library: a NULL, closed or unknown
 * handle is RAVELIN_ERROR_HANDLE, never a crash. Paths are NUL-terminated
 * UTF-8; anything else is RAVELIN_ERROR_ARGUMENT.
 *
 * Threads: every call may be made from any thread. An archive serves get_file
 * and show from several threads at once; a session bakes from several threads
 * at once; an editor serves one call at a time. Closing a handle while other
 * threads use it lets their calls finish first and releases it after them. */
#ifndef RAVELIN_RAVELIN_H
#define RAVELIN_RAVELIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define RAVELIN_C_EXPORT __attribute__((visibility("default")))
#else
#define RAVELIN_C_EXPORT
#endif

typedef enum ravelin_status {
  RAVELIN_OK = 0,
  RAVELIN_ERROR_ARGUMENT = 1, /* a NULL pointer, a path not UTF-8, no such landblock, an unknown type name,
                                 a record document that is not a record of its type */
  RAVELIN_ERROR_HANDLE = 2,   /* a NULL, closed or unknown handle, or a handle of the other kind */
  RAVELIN_ERROR_DAT = 3,      /* the archive: opening, fetching or decoding a file */
  RAVELIN_ERROR_BAKE = 4,     /* the bake: an archive, the region, the landblock or the setup table */
  RAVELIN_ERROR_MEMORY = 5,   /* out of memory */
  RAVELIN_ERROR_INTERNAL = 6, /* anything else; a fault of the library */
  /* The archive editor's failures (EditError's kinds; one that could not read
   * the archive is RAVELIN_ERROR_DAT): */
  RAVELIN_ERROR_BUSY = 7,      /* another editor has the archive open */
  RAVELIN_ERROR_REFUSED = 8,   /* the archive cannot be edited as it is; `ravelin-bake dat compact` rewrites it */
  RAVELIN_ERROR_NOT_FOUND = 9, /* a remove of an id the editor's pending state lacks */
  RAVELIN_ERROR_TOO_LARGE = 10, /* the edit would take the archive past 4 GiB; nothing changed */
  RAVELIN_ERROR_IO = 11        /* a file operation of the editor failed: read-only, disk full, ... */
} ravelin_status;

typedef struct ravelin_error ravelin_error;
typedef struct ravelin_archive ravelin_archive;
typedef struct ravelin_session ravelin_session;

/* The options of `ravelin-bake bake`. Set them with ravelin_bake_options_init
 * first: region 0x13000000, the LandblockInfo's objects, the sky on. */
typedef struct ravelin_bake_options {
  uint32_t region;         /* region file id */
  const char* spawns_dir;  /* with setup_table: objects from the spawns manifest; both NULL: the LandblockInfo */
  const char* setup_table; /* wcid to setup model table (JSON) */
  int no_sky;              /* nonzero: leave out the sky particle chain */
} ravelin_bake_options;

/* The archive records a bake read or looked for: its inputs, each list
 * ascending. Zero it before a call; free it with ravelin_bake_inputs_free. */
typedef struct ravelin_bake_inputs {
  uint32_t* portal; /* file ids of client_portal.dat */
  size_t portal_count;
  uint32_t* cell; /* file ids of client_cell_1.dat */
  size_t cell_count;
} ravelin_bake_inputs;

/* One event family of the manifest. Every text is static, NUL-terminated and
 * never freed. */
typedef struct ravelin_event_family {
  const char* source;  /* the "source" of its manifest lines: "ambient" */
  const char* trigger; /* the "trigger" of its manifest lines: "terrain" */
  const char* table;   /* the `bake-all --db` table of its rows: "ambient" */
  const char* python;  /* its list in the Python package's Bake: "ambient" */
  const char* display; /* its name for people: "ambient" */
} ravelin_event_family;

/* "0.2.0": the version of the library, as `ravelin-bake --version`. */
RAVELIN_C_EXPORT const char* ravelin_version(void);
/* "RAVELIN_ERROR_DAT" and so on; "unknown status" for other values. */
RAVELIN_C_EXPORT const char* ravelin_status_name(ravelin_status status);

/* The error's display text (valid until ravelin_error_free) and its status;
 * "" and RAVELIN_ERROR_ARGUMENT for a NULL error. */
RAVELIN_C_EXPORT const char* ravelin_error_message(const ravelin_error* error);
RAVELIN_C_EXPORT ravelin_status ravelin_error_status(const ravelin_error* error);
RAVELIN_C_EXPORT void ravelin_error_free(ravelin_error* error);
/* Frees a buffer returned by any call; NULL is ignored. */
RAVELIN_C_EXPORT void ravelin_free(void* buffer);
/* Frees both lists and zeroes the struct; NULL is ignored. */
RAVELIN_C_EXPORT void ravelin_bake_inputs_free(ravelin_bake_inputs* inputs);

RAVELIN_C_EXPORT void ravelin_bake_options_init(ravelin_bake_options* options);

/* The event families in manifest order (the order of a manifest's lines):
 * ambient, animation sound, physics particle, sky. Sets *table, unless `table`
 * is NULL, to the library's static array, and returns its length. */
RAVELIN_C_EXPORT size_t ravelin_event_families(const ravelin_event_family** table);

/* One archive file, opened read-only with its whole directory. */
RAVELIN_C_EXPORT ravelin_status ravelin_archive_open(const char* path, ravelin_archive** archive,
                                                     ravelin_error** error);
RAVELIN_C_EXPORT ravelin_status ravelin_archive_close(ravelin_archive* archive, ravelin_error** error);
RAVELIN_C_EXPORT ravelin_status ravelin_archive_entry_count(ravelin_archive* archive, size_t* count,
                                                            ravelin_error** error);
/* The file's bytes, decompressed, as `ravelin-bake dat get`. */
RAVELIN_C_EXPORT ravelin_status ravelin_archive_get_file(ravelin_archive* archive, uint32_t file_id, uint8_t** data,
                                                         size_t* size, ravelin_error** error);
/* The JSON document `ravelin-bake dat show` prints (without its newline).
 * `type` is a --type name ("region", "setup", ...) or NULL to pick it from the
 * id; nonzero `compact` gives one line. */
RAVELIN_C_EXPORT ravelin_status ravelin_archive_show(ravelin_archive* archive, uint32_t file_id, const char* type,
                                                     int compact, char** json, size_t* size, ravelin_error** error);

/* A record's bytes (as ravelin_archive_get_file gives them; `data` may be
 * NULL when `size` is 0) decoded as `type` ("region", "setup", "motion-table",
 * "animation", "physics-script", "cell-landblock", "landblock-info"): the JSON
 * document `ravelin-bake dat show` prints (without its newline), one line when
 * `compact` is nonzero. RAVELIN_ERROR_DAT, with the decoder's text, when the
 * bytes do not decode. */
RAVELIN_C_EXPORT ravelin_status ravelin_record_decode(const char* type, const uint8_t* data, size_t size, int compact,
                                                      char** json, size_t* json_size, ravelin_error** error);
/* The record's bytes from its JSON document (NUL-terminated UTF-8, as
 * ravelin_record_decode or `dat show` gives it, edited or not) as `type`, or
 * NULL for the type the document's id names (as `ravelin-bake dat encode`).
 * A document that is not a record of its type is RAVELIN_ERROR_ARGUMENT with
 * the JSON Pointer of the value and what was expected there:
 * "/frames/0/hooks/0/hook_type: expected an unsigned 32-bit integer". */
RAVELIN_C_EXPORT ravelin_status ravelin_record_encode(const char* type, const char* json, uint8_t** data,
                                                      size_t* size, ravelin_error** error);

/* One landblock baked from the DAT directory holding both archives, as
 * `ravelin-bake bake`: the manifest's JSON Lines bytes. `landblock` is a
 * number up to 0xFFFF (0xA9B4) or a whole id (0xA9B40000); `options` NULL for
 * the defaults. */
RAVELIN_C_EXPORT ravelin_status ravelin_bake(const char* dat_dir, uint32_t landblock,
                                             const ravelin_bake_options* options, uint8_t** jsonl, size_t* size,
                                             ravelin_error** error);

/* ravelin_bake, and the records the bake fetched or tried to fetch. *inputs is
 * written when the bake ran: on RAVELIN_OK, and on RAVELIN_ERROR_BAKE with the
 * records up to the one it failed on (none when an archive would not open). */
RAVELIN_C_EXPORT ravelin_status ravelin_bake_with_inputs(const char* dat_dir, uint32_t landblock,
                                                         const ravelin_bake_options* options, uint8_t** jsonl,
                                                         size_t* size, ravelin_bake_inputs* inputs,
                                                         ravelin_error** error);

/* Both archives opened and the region decoded once for any number of bakes,
 * from any number of threads, sharing decoded records between them. */
RAVELIN_C_EXPORT ravelin_status ravelin_session_open(const char* dat_dir, const ravelin_bake_options* options,
                                                     ravelin_session** session, ravelin_error** error);
RAVELIN_C_EXPORT ravelin_status ravelin_session_close(ravelin_session* session, ravelin_error** error);
/* Every landblock id with a CellLandblock in the cell archive, ascending
 * (0xA9B40000 form); *ids is a buffer to free even when *count is 0. */
RAVELIN_C_EXPORT ravelin_status ravelin_session_landblocks(ravelin_session* session, uint32_t** ids, size_t* count,
                                                           ravelin_error** error);
/* The same bytes as ravelin_bake with the session's directory and options. */
RAVELIN_C_EXPORT ravelin_status ravelin_session_bake(ravelin_session* session, uint32_t landblock, uint8_t** jsonl,
                                                     size_t* size, ravelin_error** error);

/* ravelin_session_bake into the caller's memory: when the manifest fits in
 * `capacity` bytes it is written to `buffer` (no NUL added) and *overflow is
 * set to NULL; otherwise *overflow is a library buffer holding it, to free with
 * ravelin_free, and `buffer` may hold the start of it. *size is the manifest's
 * size either way. `buffer` may be NULL when `capacity` is 0. */
RAVELIN_C_EXPORT ravelin_status ravelin_session_bake_into(ravelin_session* session, uint32_t landblock, uint8_t* buffer,
                                                          size_t capacity, size_t* size, uint8_t** overflow,
                                                          ravelin_error** error);

/* ravelin_session_bake and its inputs, as ravelin_bake_with_inputs records
 * them: records the session serves from its caches count for every bake that
 * uses them. */
RAVELIN_C_EXPORT ravelin_status ravelin_session_bake_with_inputs(ravelin_session* session, uint32_t landblock,
                                                                 uint8_t** jsonl, size_t* size,
                                                                 ravelin_bake_inputs* inputs, ravelin_error** error);

/* ---- Changing archives ----
 *
 * An editor puts and removes files in one archive, a batch at a time; each
 * batch is published by ravelin_editor_commit, which no crash can tear (see
 * docs/writing.md). While an editor is open no other editor, in this process
 * or another, can open the archive (RAVELIN_ERROR_BUSY). Readers may stay
 * open across a commit and keep reading the version they opened.
 *
 * Error texts are what `ravelin-bake dat put` / `dat rm` print after
 * "error: ". An editor is used from one thread at a time (it may move between
 * threads): a call made while another thread is inside a call on the same
 * editor fails with RAVELIN_ERROR_HANDLE instead of racing it. */
typedef struct ravelin_editor ravelin_editor;

/* How ravelin_editor_put stores a file. Set it with ravelin_put_options_init
 * first (or pass NULL): stored as given, and bit_flags, timestamp and version
 * kept from the entry replaced (0 for a new id). Each has_ member nonzero sets
 * the field beside it. */
typedef struct ravelin_put_options {
  int compressed;    /* nonzero: store the body compressed (the reader's decompression gives the bytes back) */
  int has_flags;
  uint32_t flags;    /* bit_flags; bit 0 (compressed) is `compressed`'s */
  int has_timestamp;
  uint32_t timestamp;
  int has_version;
  uint32_t version;
} ravelin_put_options;

/* An entry of the editor's pending state. */
typedef struct ravelin_entry {
  uint32_t id;
  uint32_t bit_flags; /* bit 0: the body is stored compressed */
  uint32_t size;      /* the stored length */
  uint32_t timestamp;
  uint32_t version;
} ravelin_entry;

/* What a commit did, in blocks. */
typedef struct ravelin_commit_stats {
  uint64_t blocks_written;     /* new bodies and directory node copies */
  uint64_t blocks_reused;      /* of those, free or reclaimed blocks */
  uint64_t blocks_appended;    /* of those, after the file's end */
  uint64_t blocks_freed;       /* joined the free list after the commit */
  uint64_t blocks_reclaimed;   /* leaked blocks reused or put on the free list */
  uint64_t blocks_left_leaked; /* freed while readers had the archive open: left for a later commit */
  int reuse;                   /* nonzero when no reader had the archive open, so blocks could be reused */
} ravelin_commit_stats;

RAVELIN_C_EXPORT void ravelin_put_options_init(ravelin_put_options* options);

/* Opens an archive for changing. Refuses (RAVELIN_ERROR_REFUSED) a directory
 * that is not a search tree, nodes or free blocks outside the file, a cycle, a
 * free list that does not add up. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_open(const char* path, ravelin_editor** editor, ravelin_error** error);
/* Writes a new empty archive at `path` (replacing any file there) and opens it
 * for changing. `like` names an archive whose header fields other than the
 * layout's (magic, dataset, subset, the LRU fields, master_map_id, the version
 * fields) the new one takes, or is NULL for zeros; `block_size` 0 takes
 * like's block size. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_create(const char* path, uint32_t block_size, const char* like,
                                                      ravelin_editor** editor, ravelin_error** error);
/* Adds or replaces file `id` with `size` bytes (`data` may be NULL when size
 * is 0); `options` NULL for the defaults. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_put(ravelin_editor* editor, uint32_t id, const uint8_t* data,
                                                   size_t size, const ravelin_put_options* options,
                                                   ravelin_error** error);
/* Adds or replaces file `id` with a body stored as it is (compressed or not,
 * as bit 0 of `bit_flags` says) and these fields: what copying an entry
 * between archives needs. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_put_stored(ravelin_editor* editor, uint32_t id, const uint8_t* stored,
                                                          size_t size, uint32_t bit_flags, uint32_t timestamp,
                                                          uint32_t version, ravelin_error** error);
/* Removes file `id`; RAVELIN_ERROR_NOT_FOUND when the pending state lacks it. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_remove(ravelin_editor* editor, uint32_t id, ravelin_error** error);
/* Publishes the batch; `stats` may be NULL. On failure the batch is dropped
 * and the archive holds what it held before. The editor stays open for the
 * next batch either way. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_commit(ravelin_editor* editor, ravelin_commit_stats* stats,
                                                      ravelin_error** error);
/* Drops the batch; nothing is written. The editor stays open. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_abandon(ravelin_editor* editor, ravelin_error** error);
/* Drops the batch and closes the editor, letting the next editor in; the
 * archive holds what it held after the last commit. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_close(ravelin_editor* editor, ravelin_error** error);
/* The number of entries of the pending state (the last commit's and the batch's). */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_entry_count(ravelin_editor* editor, size_t* count,
                                                           ravelin_error** error);
/* *found is 1 when the pending state holds `id`, else 0; `entry` (may be
 * NULL) then receives its fields. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_find(ravelin_editor* editor, uint32_t id, int* found,
                                                    ravelin_entry* entry, ravelin_error** error);
/* Adds or replaces record `id` from its JSON document (`size` bytes of UTF-8
 * at `json`, as ravelin_record_decode or `dat show` gives it, edited or not),
 * encoded as the type the archive reads `id` as (`dat show`'s rule: the top
 * byte, or in a client_cell archive the low half). A replaced entry keeps its
 * compression, bit_flags, timestamp and version; a new one is stored plain
 * with zeros. A document that is not a record of its type, whose "id" is not
 * `id`, or an id that is no record is RAVELIN_ERROR_ARGUMENT with the JSON
 * Pointer and what was expected ("/frames/0/hooks/0/sound_id: expected ...");
 * nothing is put then. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_put_record(ravelin_editor* editor, uint32_t id, const char* json,
                                                          size_t size, ravelin_error** error);

/* The structural check of an archive, as `ravelin-bake dat check --json`:
 * *jsonl is its JSON Lines (one {"severity","code","message"} line per
 * finding, then a {"totals":{...}} line). *faults and *notes (either may be
 * NULL) count the findings of each severity; faults make a read or an edit go
 * wrong. A damaged archive is RAVELIN_OK with faults; the error is only for a
 * file that cannot be opened or read (RAVELIN_ERROR_DAT). */
RAVELIN_C_EXPORT ravelin_status ravelin_archive_check(const char* path, char** jsonl, size_t* size, size_t* faults,
                                                      size_t* notes, ravelin_error** error);

/* ---- Copying files between archives; archives as folders ----
 *
 * A folder is DIR/files/0xXXXXXXXX (each file's bytes), DIR/index.jsonl (one
 * line per entry) and DIR/header.json (the header fields), as
 * `ravelin-bake dat extract` writes it (see docs/writing.md). */

/* Puts the `count` entries `ids` names in the archive `from` into the
 * editor's batch, each with its stored bytes and fields (never decompressed or
 * compressed again), replacing an id the edited archive holds; commit
 * publishes them. RAVELIN_ERROR_NOT_FOUND, naming `from`, when `from` lacks an
 * id: then nothing is put. `ids` may be NULL when `count` is 0. */
RAVELIN_C_EXPORT ravelin_status ravelin_editor_copy_from(ravelin_editor* editor, ravelin_archive* from,
                                                         const uint32_t* ids, size_t count, ravelin_error** error);
/* As `ravelin-bake dat extract ARCHIVE DIR [ID...] [--stored] [--force]`:
 * `count` 0 for every file; nonzero `stored` writes the stored bytes, nonzero
 * `force` writes into a folder that holds something (otherwise
 * RAVELIN_ERROR_ARGUMENT). */
RAVELIN_C_EXPORT ravelin_status ravelin_extract(const char* archive, const char* dir, const uint32_t* ids,
                                                size_t count, int stored, int force, ravelin_error** error);
/* As `ravelin-bake dat pack DIR -o ARCHIVE [--block-size N]`: `block_size` 0
 * takes header.json's. A folder that is not what pack takes is
 * RAVELIN_ERROR_ARGUMENT with the file or the line; nothing is left at
 * `archive` when packing fails. */
RAVELIN_C_EXPORT ravelin_status ravelin_pack(const char* dir, const char* archive, uint32_t block_size,
                                             ravelin_error** error);

#ifdef __cplusplus
}
#endif

#endif /* RAVELIN_RAVELIN_H */
