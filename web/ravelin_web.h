/* The page's calls into ravelin.wasm, the WebAssembly module of the libraries
 * (web/ravelin.js wraps them for a worker). One module instance holds one
 * world at a time: the two archives of a directory, opened once, and the
 * region decoded once, as a bake session; parallel work is several workers,
 * each with its own instance.
 *
 * Every call returns a ravelin_status (ravelin.h) and leaves its output in the
 * module's result, read with ravelin_web_result and ravelin_web_result_size
 * until the next call; when a call fails, the result is its error's text, the
 * one `ravelin-bake` prints after "error: ". Texts are UTF-8, paths are the
 * names the page gave its files ("world/client_cell_1.dat"), ids are
 * little-endian u32.
 *
 * The C interface (ravelin.h) is exported from the same module. */
#ifndef RAVELIN_WEB_H
#define RAVELIN_WEB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Which archive of the world a call reads. */
enum { RAVELIN_WEB_PORTAL = 0, RAVELIN_WEB_CELL = 1 };

const uint8_t* ravelin_web_result(void);
size_t ravelin_web_result_size(void);

/* Opens the world in `dat_dir` ("" for files given without a folder) with the
 * options of `ravelin-bake bake`: `spawns_dir` and `setup_table` both NULL
 * for the LandblockInfo's objects, `region` 0x13000000 by default. Fails when
 * an archive does not open; a region that does not decode leaves the world
 * open and fails every bake with its error, as the command would.
 * `bakes_only`: the world is opened for bakes alone, its cell archive's
 * directory without the cells (an eighth of it on a world of many cells):
 * bakes are the same, but the landblocks, the land and the files' calls see
 * only the landblocks' own records. */
int32_t ravelin_web_open(const char* dat_dir, const char* spawns_dir, const char* setup_table, uint32_t region,
                         int32_t no_sky, int32_t bakes_only);
void ravelin_web_close(void);

/* Every landblock with a CellLandblock, ascending (0xA9B40000 form): u32s. */
int32_t ravelin_web_landblocks(void);
/* The manifest of `ravelin-bake bake` (`landblock` up to 0xFFFF or a whole id). */
int32_t ravelin_web_bake(uint32_t landblock);
/* What `ravelin-bake bake --inputs` prints: the records the bake read or
 * looked for, "portal:0x13000000" and so on, one a line; also for a bake that
 * fails (up to the record it failed on), whose error ravelin_web_bake gives. */
int32_t ravelin_web_bake_inputs(uint32_t landblock);
/* The SVG of `ravelin-bake render`. */
int32_t ravelin_web_render(uint32_t landblock);
/* The land of every landblock, as the atlas draws it: six u32 (first column,
 * first row, columns, rows of landblocks; width, height in pixels), then the
 * RGBA pixels row by row from the north. */
int32_t ravelin_web_land(void);
/* What the atlas's map needs beside the land, as a JSON object: "names" (the
 * region's terrain type names; empty when the region does not decode),
 * "palette" (the 32 colours of the land, "#rrggbb") and "blocks" (per
 * landblock with a CellLandblock: its number, the mask of its terrain types,
 * its lowest and highest height). */
int32_t ravelin_web_land_summary(void);
/* The families of the manifests in manifest order, one a line: the source key
 * of bake-all's index, a tab, and the name people read ("animation sound"). */
int32_t ravelin_web_families(void);
/* What bake-all's index says of a landblock: the manifest's event count of
 * each family (ravelin_web_families' order), then its length in bytes: u32s.
 * A bake that fails fails with its error. */
int32_t ravelin_web_bake_counts(uint32_t landblock);
/* Every entry of the archive, ascending by id: four u32 each, the id, the
 * stored size, the flags (bit 0: compressed) and the record type `dat show`
 * reads it as (an index into ravelin_web_record_types, 0xFFFFFFFF for none). */
int32_t ravelin_web_entries(int32_t archive);
/* The entries whose id, as 8 upper-case hexadecimal digits, holds `query`
 * ("" or NULL: every entry), ascending by id: the count of them, the count of
 * all entries, then the first `limit` of them as ravelin_web_entries gives
 * each. A search of a million ids without the list of them all. */
int32_t ravelin_web_list(int32_t archive, const char* query, uint32_t limit);
/* The record type names, one a line: "region", "setup", ... */
int32_t ravelin_web_record_types(void);
/* The JSON document of `ravelin-bake dat show` (without its newline). */
int32_t ravelin_web_show(int32_t archive, uint32_t file_id, int32_t compact);
/* The bytes of `ravelin-bake dat get`. */
int32_t ravelin_web_get(int32_t archive, uint32_t file_id);

#ifdef __cplusplus
}
#endif

#endif /* RAVELIN_WEB_H */
