// Assembly of the atlas page: the fixed page text around the embedded data.
#include "tools/draw/atlas.h"

#include "ravelin/common/output_file.h"
#include "ravelin/common/json_text.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/event_family.h"
#include "tools/draw/atlas_page.h"

namespace ravelin::draw {
namespace {

// These can only stand inside JSON strings, where a \u escape means the same
// character; raw, "</script" or "<!--" would end or bend the element.
void append_escaped(std::string& out, std::string_view json) {
  for (const char c : json) {
    switch (c) {
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default: out += c;
    }
  }
}

std::string base64(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    for (const int shift : {18, 12, 6, 0}) out += kDigits[(v >> shift) & 63];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0u);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

constexpr const char* change_name(PatchChange change) {
  switch (change) {
    case PatchChange::Added: return "added";
    case PatchChange::Removed: return "removed";
    case PatchChange::Changed: break;
  }
  return "changed";
}

}  // namespace

std::string embed_index_json(std::string_view index_jsonl) {
  std::string out;
  out.reserve(index_jsonl.size() + 64);
  out += '[';
  bool first = true;
  while (!index_jsonl.empty()) {
    const auto end = index_jsonl.find('\n');
    const std::string_view line = index_jsonl.substr(0, end);
    index_jsonl.remove_prefix(end == std::string_view::npos ? index_jsonl.size() : end + 1);
    if (line.empty()) continue;
    if (!first) out += ",\n";
    first = false;
    append_escaped(out, line);
  }
  out += ']';
  return out;
}

std::string terrain_json(const AtlasTerrain& terrain) {
  const MapBounds& b = terrain.bounds;
  common::JsonWriter w(true);
  w.begin_object();
  w.key("x0").number(b.x0);
  w.key("y0").number(b.y0);
  w.key("columns").number(b.columns);
  w.key("rows").number(b.rows);
  w.key("width").number(terrain.width);
  w.key("height").number(terrain.height);
  write_terrain_keys(w, terrain.names, terrain.summaries);
  w.end_object();
  return w.take();
}

std::string patch_json(std::span<const PatchLandblock> patch) {
  common::JsonWriter w(true);
  w.begin_array();
  for (const PatchLandblock& p : patch) {
    w.begin_object();
    w.key("landblock_id").hex_word(p.landblock_id);
    w.key("change").text(change_name(p.change));
    w.key("removed").number(p.removed_lines);
    w.key("added").number(p.added_lines);
    w.key("caused_by").begin_array();
    for (const std::string& cause : p.caused_by) w.text(cause);
    w.end_array();
    w.end_object();
  }
  w.end_array();
  return w.take();
}

std::string families_json() {
  common::JsonWriter w(true);
  w.begin_array();
  for (const event_bake::EventFamilyInfo& family : event_bake::kEventFamilies) {
    w.begin_object();
    w.key("source").text(family.source);
    w.key("display").text(family.display);
    w.end_object();
  }
  w.end_array();
  return w.take();
}

std::string render_atlas_html(std::string_view index_jsonl, const AtlasLayers& layers) {
  std::string out;
  const std::size_t png_text = layers.terrain != nullptr ? layers.terrain->png.size() * 4 / 3 + 64 : 0;
  // The index grows by a byte a line (",\n" for "\n") and by its escapes.
  out.reserve(kAtlasPageHead.size() + kAtlasPageBody.size() + kAtlasPageScript.size() + index_jsonl.size() +
              index_jsonl.size() / 16 + png_text + 1024);
  out += kAtlasPageHead;
  out += "<body data-pictures=\"";
  out += layers.with_pictures ? '1' : '0';
  out += layers.patch_page ? "\" data-mode=\"patch\">\n" : "\" data-mode=\"events\">\n";
  out += kAtlasPageBody;
  out += "<script type=\"application/json\" id=\"atlas-data\">";
  out += embed_index_json(index_jsonl);
  out += "</script>\n<script type=\"application/json\" id=\"atlas-families\">";
  append_escaped(out, families_json());
  out += "</script>\n";
  if (layers.terrain != nullptr) {
    out += "<script type=\"application/json\" id=\"atlas-terrain\">";
    append_escaped(out, terrain_json(*layers.terrain));
    out += "</script>\n<img id=\"terrain-image\" hidden alt=\"\" src=\"data:image/png;base64,";
    out += base64(layers.terrain->png);
    out += "\">\n";
  }
  if (layers.patch_page) {
    out += "<script type=\"application/json\" id=\"atlas-patch\">";
    append_escaped(out, patch_json(layers.patch));
    out += "</script>\n";
  }
  out += "<script type=\"module\">\n";
  out += kAtlasPageScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

std::string render_atlas_html(std::string_view index_jsonl, bool with_pictures) {
  return render_atlas_html(index_jsonl, AtlasLayers{.with_pictures = with_pictures, .terrain = nullptr, .patch = {}, .patch_page = false});
}

std::expected<AtlasFiles, std::string> events_atlas(std::string_view index_jsonl,
                                                    std::span<const std::uint32_t> baked_ids,
                                                    std::span<const LandblockTerrain> landblocks,
                                                    const dat::DatDatabase& portal, std::uint32_t region_id,
                                                    bool with_pictures) {
  // The session decoded this region already, so its names read back.
  auto names = terrain_names(portal, region_id);
  auto terrain = make_atlas_terrain(landblocks, bounds_of(baked_ids), names ? std::move(*names) : std::vector<std::string>{});
  if (!terrain) return std::unexpected(std::move(terrain.error()));
  std::string html = render_atlas_html(
      index_jsonl, AtlasLayers{.with_pictures = with_pictures, .terrain = &*terrain, .patch = {}, .patch_page = false});
  return AtlasFiles{std::move(html), std::move(terrain->png)};
}

std::expected<AtlasFiles, std::string> patch_atlas(const std::filesystem::path& dat_dir,
                                                   std::span<const PatchLandblock> patch, std::uint32_t region_id) {
  auto portal = dat::DatDatabase::open(dat_dir / dat::kPortalArchiveName);
  if (!portal) return std::unexpected(portal.error().to_string());
  auto names = terrain_names(*portal, region_id);
  if (!names) return std::unexpected("region: " + names.error());
  auto cell = dat::DatDatabase::open(dat_dir / dat::kCellArchiveName);
  if (!cell) return std::unexpected(cell.error().to_string());
  const std::vector<std::uint32_t> ids = dat::cell_landblock_ids(*cell);
  std::vector<LandblockTerrain> landblocks;
  for (const std::uint32_t id : ids)
    if (auto land = read_landblock_terrain(*cell, id)) landblocks.push_back(std::move(*land));
  std::vector<std::uint32_t> extent = ids;
  for (const PatchLandblock& p : patch) extent.push_back(p.landblock_id);
  auto terrain = make_atlas_terrain(landblocks, bounds_of(extent), std::move(*names));
  if (!terrain) return std::unexpected(std::move(terrain.error()));
  std::string html = render_atlas_html("", AtlasLayers{.terrain = &*terrain, .patch = patch, .patch_page = true});
  return AtlasFiles{std::move(html), std::move(terrain->png)};
}

common::FileResult<void> write_atlas_files(const std::filesystem::path& out_dir, const AtlasFiles& files) {
  if (auto r = common::create_directories_synced(out_dir); !r)
    return std::unexpected(common::FileError{"create", out_dir, r.error()});
  if (auto r = common::write_output_file(common::join_path(out_dir, kAtlasTerrainName), files.png); !r) return r;
  return common::write_output_file(common::join_path(out_dir, kAtlasPageName), files.html);
}

}  // namespace ravelin::draw
