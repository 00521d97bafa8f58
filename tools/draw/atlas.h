// The atlas: one self-contained HTML page that maps every landblock of a
// bake-all run on a canvas: the land drawn from the terrain layer, the event
// measures over it, and a panel per landblock linking its manifest (and
// picture). A patch page marks the landblocks a diff changed over the land of
// the new world. It carries its data inline, so it works opened from disk
// without a network or file fetches.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/file_ids.h"
#include "tools/draw/atlas_terrain.h"

namespace ravelin::draw {

// What a patch did to a landblock.
enum class PatchChange { Changed, Added, Removed };

// One landblock of a patch: its manifest lines removed and added, and the
// records that caused the change (as the diff names them).
struct PatchLandblock {
  std::uint32_t landblock_id = 0;  // number in the high 16 bits
  PatchChange change = PatchChange::Changed;
  std::size_t removed_lines = 0;
  std::size_t added_lines = 0;
  std::vector<std::string> caused_by;
};

// What a page shows besides its index.
struct AtlasLayers {
  bool with_pictures = false;                // 0xXXXX.svg files lie beside the manifests
  const AtlasTerrain* terrain = nullptr;     // the land, when known
  std::span<const PatchLandblock> patch;     // a patch page's marks
  bool patch_page = false;
};

// The page for `index_jsonl`, the bytes of index.jsonl (one JSON object per
// line). The lines are embedded in order as one JSON array inside
// <script type="application/json" id="atlas-data">, with '<', '>' and '&'
// written as \u escapes so that no text of the index can end the element;
// the event families, the terrain and the patch go into elements of their own
// likewise. The page's text is the build's (see atlas_page.h).
std::string render_atlas_html(std::string_view index_jsonl, const AtlasLayers& layers);
std::string render_atlas_html(std::string_view index_jsonl, bool with_pictures);

// The embedded array alone: "[" + the lines joined by ",\n" + "]", escaped as
// above; an empty index gives "[]".
std::string embed_index_json(std::string_view index_jsonl);

// The terrain element's JSON: bounds, image size, names, palette and the
// summaries as a flat array [landblock number, type mask, lowest, highest, ...].
std::string terrain_json(const AtlasTerrain& terrain);

// The patch element's JSON: [{"landblock_id":"0xA9B40000","change":"changed",
// "removed":3,"added":4,"caused_by":["..."]}, ...] in the given order.
std::string patch_json(std::span<const PatchLandblock> patch);

// The families element's JSON, from the library's table in manifest order:
// [{"source":"ambient","display":"ambient"}, ...]; "source" is the family's
// count key in the index lines, "display" its name on the page.
std::string families_json();

// An atlas ready to be written: the page and the land picture beside it.
struct AtlasFiles {
  std::string html;
  std::vector<std::uint8_t> png;
};
inline constexpr std::string_view kAtlasPageName = "atlas.html";
inline constexpr std::string_view kAtlasTerrainName = "terrain.png";

// The atlas of a bake-all run: its index, the land of `landblocks` (bake
// order) over the bounds of `baked_ids`, the names of region `region_id` of
// `portal`.
std::expected<AtlasFiles, std::string> events_atlas(std::string_view index_jsonl,
                                                    std::span<const std::uint32_t> baked_ids,
                                                    std::span<const LandblockTerrain> landblocks,
                                                    const dat::DatDatabase& portal, std::uint32_t region_id,
                                                    bool with_pictures);

// The atlas of the world in `dat_dir` (its every CellLandblock, the names of
// region `region_id`) with `patch` marked.
std::expected<AtlasFiles, std::string> patch_atlas(const std::filesystem::path& dat_dir,
                                                   std::span<const PatchLandblock> patch,
                                                   std::uint32_t region_id = dat::kDefaultRegionId);

// Writes OUT/terrain.png, then OUT/atlas.html, which shows it, each an output
// file (synced); OUT is created when missing.
common::FileResult<void> write_atlas_files(const std::filesystem::path& out_dir, const AtlasFiles& files);

}  // namespace ravelin::draw
