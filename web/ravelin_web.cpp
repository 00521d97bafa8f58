// The page's calls (ravelin_web.h) over the libraries and the drawing library.
// One world per module instance, so no handles: a worker opens a world, asks
// for what it shows, and opens the next one.
#include "web/ravelin_web.h"

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "draw/landblock_svg.h"
#include "draw/terrain_map.h"
#include "ravelin/common/file_system.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/json_text.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/record_json.h"
#include "ravelin/event_bake/event_family.h"
#include "ravelin/event_bake/input_records.h"
#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"
#include "ravelin/ravelin.h"

#define RAVELIN_WEB_EXPORT(name) __attribute__((export_name(#name)))

namespace ravelin::web {
namespace {

using event_bake::BakeError;
using event_bake::BakeSession;

// The last call's output or error text.
std::vector<std::uint8_t>& result() {
  static std::vector<std::uint8_t> bytes;
  return bytes;
}

std::int32_t answer(std::string_view text, ravelin_status status = RAVELIN_OK) {
  result().assign(text.begin(), text.end());
  return status;
}

std::int32_t answer(std::span<const std::uint8_t> bytes) {
  result().assign(bytes.begin(), bytes.end());
  return RAVELIN_OK;
}

std::int32_t answer_words(std::span<const std::uint32_t> words) {
  result().resize(words.size_bytes());
  if (!words.empty()) std::memcpy(result().data(), words.data(), words.size_bytes());
  return RAVELIN_OK;
}

std::int32_t fail(ravelin_status status, std::string_view text) { return answer(text, status); }

// The open world: a session, or, when its region does not decode, the two
// archives alone and the error every bake ends with.
struct World {
  event_bake::BakeInputs inputs;  // the directory and options; the landblock is set per bake
  std::unique_ptr<BakeSession> session;
  std::optional<dat::DatDatabase> portal, cell;
  std::optional<BakeError> region_error;
  common::Path portal_path, cell_path;
  // Each landblock's land summed up, kept by ravelin_web_land, which reads
  // every CellLandblock already, for the map's summary that follows it.
  std::optional<std::vector<draw::TerrainSummary>> land_summaries;
  // Each archive's entries in id order (indices into its entries()), kept by
  // ravelin_web_list for the searches that follow the first.
  std::optional<std::vector<std::uint32_t>> id_order[2];

  const dat::DatDatabase& archive(std::int32_t which) const {
    if (session) return which == RAVELIN_WEB_CELL ? session->cell() : session->portal();
    return which == RAVELIN_WEB_CELL ? *cell : *portal;
  }
  const common::Path& path(std::int32_t which) const { return which == RAVELIN_WEB_CELL ? cell_path : portal_path; }
};

std::unique_ptr<World>& world() {
  static std::unique_ptr<World> open;
  return open;
}

constexpr std::string_view kNoWorld = "no world is open";

std::optional<std::uint32_t> landblock_of(std::uint32_t value, std::int32_t& status) {
  if (const auto id = dat::landblock_id_from(value)) return id;
  // The text --landblock gives for the same value.
  status = fail(RAVELIN_ERROR_ARGUMENT, dat::parse_landblock(common::hex_id(value)).error());
  return std::nullopt;
}

bool known_archive(std::int32_t which) { return which == RAVELIN_WEB_PORTAL || which == RAVELIN_WEB_CELL; }

// An id the archive lacks names the archive first, as `dat show` and `dat get`
// print it; other errors as they are.
std::string dat_error_text(int32_t archive, const dat::DatError& error) {
  if (error.kind() != dat::DatError::Kind::NotFound) return error.to_string();
  return common::display_path(world()->path(archive)) + ": " + error.to_string();
}

// The open world's bake of `value` (0xA9B4 or 0xA9B40000), or nothing with
// the failure answered and its status in `status`: no world, a value that is
// no landblock, the region's error, the bake's.
std::optional<event_bake::LandblockEventBake> bake_of(std::uint32_t value, std::int32_t& status) {
  if (!world()) {
    status = fail(RAVELIN_ERROR_HANDLE, kNoWorld);
    return std::nullopt;
  }
  const auto id = landblock_of(value, status);
  if (!id) return std::nullopt;
  const World& w = *world();
  if (w.region_error) {
    status = fail(RAVELIN_ERROR_BAKE, w.region_error->to_string());
    return std::nullopt;
  }
  auto bake = w.session->bake(*id);
  if (!bake) {
    status = fail(RAVELIN_ERROR_BAKE, bake.error().to_string());
    return std::nullopt;
  }
  return std::move(*bake);
}

// An entry as the files' calls give it: id, stored size, flags, and the
// record type `dat show` reads it as (0xFFFFFFFF for none).
std::array<std::uint32_t, 4> entry_words(const dat::DatFileEntry& e, bool cell_archive) {
  const auto type = dat::record_type_for_id(e.id, cell_archive);
  return {e.id, e.size, e.bit_flags, type ? static_cast<std::uint32_t>(*type) : 0xFFFFFFFFu};
}

}  // namespace
}  // namespace ravelin::web

using namespace ravelin;
using namespace ravelin::web;

extern "C" {

RAVELIN_WEB_EXPORT(ravelin_web_result) const uint8_t* ravelin_web_result(void) { return result().data(); }
RAVELIN_WEB_EXPORT(ravelin_web_result_size) size_t ravelin_web_result_size(void) { return result().size(); }

RAVELIN_WEB_EXPORT(ravelin_web_open)
int32_t ravelin_web_open(const char* dat_dir, const char* spawns_dir, const char* setup_table, uint32_t region,
                         int32_t no_sky, int32_t bakes_only) {
  world().reset();
  if (dat_dir == nullptr) return fail(RAVELIN_ERROR_ARGUMENT, "ravelin_web_open: dat_dir is NULL");
  if ((spawns_dir == nullptr) != (setup_table == nullptr))
    return fail(RAVELIN_ERROR_ARGUMENT, "spawns_dir and setup_table go together: give both or neither");
  auto open = std::make_unique<World>();
  open->inputs.dat_dir = dat_dir;
  open->inputs.region_did = region;
  open->inputs.bake_sky = no_sky == 0;
  open->inputs.entity_source = spawns_dir == nullptr
                                   ? event_bake::EntitySource::landblock_info()
                                   : event_bake::EntitySource::from_spawns_manifest(spawns_dir, setup_table);
  open->portal_path = common::join_path(open->inputs.dat_dir, dat::kPortalArchiveName);
  open->cell_path = common::join_path(open->inputs.dat_dir, dat::kCellArchiveName);
  auto session = BakeSession::open({open->inputs.dat_dir, open->inputs.entity_source, open->inputs.region_did,
                                    open->inputs.bake_sky, bakes_only != 0});
  if (session) {
    open->session = std::move(*session);
  } else {
    if (session.error().get_if<BakeError::DatOpen>() != nullptr)
      return fail(RAVELIN_ERROR_BAKE, session.error().to_string());
    // Both archives opened before the region failed: they open again.
    auto portal = dat::DatDatabase::open(open->portal_path);
    if (!portal) return fail(RAVELIN_ERROR_DAT, portal.error().to_string());
    auto cell = dat::DatDatabase::open(open->cell_path, common::default_file_system(),
                                       bakes_only != 0 ? dat::is_landblock_record_id : nullptr);
    if (!cell) return fail(RAVELIN_ERROR_DAT, cell.error().to_string());
    open->portal = std::move(*portal);
    open->cell = std::move(*cell);
    open->region_error = session.error();
  }
  world() = std::move(open);
  return answer("");
}

RAVELIN_WEB_EXPORT(ravelin_web_close) void ravelin_web_close(void) {
  world().reset();
  std::vector<std::uint8_t>().swap(result());  // a land raster's room goes back to the heap
}

RAVELIN_WEB_EXPORT(ravelin_web_landblocks) int32_t ravelin_web_landblocks(void) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  return answer_words(dat::cell_landblock_ids(world()->archive(RAVELIN_WEB_CELL)));
}

RAVELIN_WEB_EXPORT(ravelin_web_bake) int32_t ravelin_web_bake(uint32_t landblock) {
  std::int32_t status = RAVELIN_OK;
  const auto bake = bake_of(landblock, status);
  return bake ? answer(bake->to_jsonl_bytes()) : status;
}

RAVELIN_WEB_EXPORT(ravelin_web_bake_inputs) int32_t ravelin_web_bake_inputs(uint32_t landblock) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  std::int32_t status = RAVELIN_OK;
  const auto id = landblock_of(landblock, status);
  if (!id) return status;
  const World& w = *world();
  const event_bake::RecordedBake recorded = w.region_error
                                                ? event_bake::RecordedBake::failed_on_region(*w.region_error,
                                                                                             w.inputs.region_did)
                                                : w.session->bake_with_inputs(*id);
  std::string text;
  for (const std::string& name : recorded.inputs.names()) text += name + '\n';
  return answer(text);
}

RAVELIN_WEB_EXPORT(ravelin_web_render) int32_t ravelin_web_render(uint32_t landblock) {
  std::int32_t status = RAVELIN_OK;
  const auto bake = bake_of(landblock, status);
  return bake ? answer(draw::render_session_bake_over_terrain(*world()->session, *bake)) : status;
}

RAVELIN_WEB_EXPORT(ravelin_web_land) int32_t ravelin_web_land(void) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  World& w = *world();
  // draw_world_terrain's steps, keeping the landblocks' summaries on the way.
  // Each landblock is painted as it is read, straight into the answer, and
  // shaded there: a module's memory never shrinks, so the image alone is
  // what the land adds to the worker's.
  const dat::DatDatabase& cell = w.archive(RAVELIN_WEB_CELL);
  const std::vector<std::uint32_t> ids = dat::cell_landblock_ids(cell);
  const draw::MapBounds bounds = draw::bounds_of(ids);
  const std::uint32_t head[] = {bounds.x0, bounds.y0, bounds.columns, bounds.rows,
                                draw::TerrainCanvas::width_of(bounds), draw::TerrainCanvas::height_of(bounds)};
  auto& out = result();
  out.assign(sizeof head + draw::TerrainCanvas::rgba_size(bounds), 0);
  std::memcpy(out.data(), head, sizeof head);
  draw::TerrainCanvas canvas(bounds, std::span(out).subspan(sizeof head));
  std::vector<draw::TerrainSummary> summaries;
  summaries.reserve(ids.size());
  for (const std::uint32_t id : ids) {
    if (const auto land = draw::read_landblock_terrain(cell, id)) {
      canvas.add(*land);
      summaries.push_back(draw::summarize_terrain(*land));
    }
  }
  canvas.shade();
  w.land_summaries = std::move(summaries);
  return RAVELIN_OK;
}

RAVELIN_WEB_EXPORT(ravelin_web_land_summary) int32_t ravelin_web_land_summary(void) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  World& w = *world();
  const dat::DatDatabase& cell = w.archive(RAVELIN_WEB_CELL);
  if (!w.land_summaries) {
    std::vector<draw::TerrainSummary> summaries;
    for (const std::uint32_t id : dat::cell_landblock_ids(cell))
      if (const auto land = draw::read_landblock_terrain(cell, id)) summaries.push_back(draw::summarize_terrain(*land));
    w.land_summaries = std::move(summaries);
  }
  // The atlas of bake-all leaves the names out when the region does not decode.
  const auto names = draw::terrain_names(w.archive(RAVELIN_WEB_PORTAL), w.inputs.region_did);
  common::JsonWriter out(true);
  out.begin_object();
  draw::write_terrain_keys(out, names ? std::span<const std::string>(*names) : std::span<const std::string>(),
                           *w.land_summaries);
  out.end_object();
  return answer(out.view());
}

RAVELIN_WEB_EXPORT(ravelin_web_families) int32_t ravelin_web_families(void) {
  std::string text;
  for (const event_bake::EventFamilyInfo& family : event_bake::kEventFamilies) {
    text += family.source;
    text += '\t';
    text += family.display;
    text += '\n';
  }
  return answer(text);
}

RAVELIN_WEB_EXPORT(ravelin_web_bake_counts) int32_t ravelin_web_bake_counts(uint32_t landblock) {
  std::int32_t status = RAVELIN_OK;
  const auto bake = bake_of(landblock, status);
  if (!bake) return status;
  std::vector<std::uint32_t> words;
  for (const std::size_t count : bake->counts()) words.push_back(static_cast<std::uint32_t>(count));
  words.push_back(static_cast<std::uint32_t>(bake->to_jsonl_bytes().size()));
  return answer_words(words);
}

RAVELIN_WEB_EXPORT(ravelin_web_entries) int32_t ravelin_web_entries(int32_t archive) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  if (!known_archive(archive)) return fail(RAVELIN_ERROR_ARGUMENT, "archive is neither 0 (portal) nor 1 (cell)");
  const dat::DatDatabase& db = world()->archive(archive);
  const bool cell_archive = dat::is_cell_archive_path(world()->path(archive));
  // Written straight into the answer in id order: a retail cell archive's
  // million entries would otherwise be held three times over, and the
  // module's memory never gives that back.
  const std::span<const dat::DatFileEntry> entries = db.entries();
  const std::vector<std::uint32_t> order = db.sorted_order();
  auto& out = result();
  out.resize(order.size() * 4 * sizeof(std::uint32_t));
  std::uint8_t* at = out.data();
  for (const std::uint32_t i : order) {
    const auto words = entry_words(entries[i], cell_archive);
    std::memcpy(at, words.data(), sizeof words);
    at += sizeof words;
  }
  return RAVELIN_OK;
}

RAVELIN_WEB_EXPORT(ravelin_web_list) int32_t ravelin_web_list(int32_t archive, const char* query, uint32_t limit) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  if (!known_archive(archive)) return fail(RAVELIN_ERROR_ARGUMENT, "archive is neither 0 (portal) nor 1 (cell)");
  World& w = *world();
  const dat::DatDatabase& db = w.archive(archive);
  const bool cell_archive = dat::is_cell_archive_path(w.path(archive));
  auto& order = w.id_order[archive];
  if (!order) order = db.sorted_order();
  const std::span<const dat::DatFileEntry> entries = db.entries();
  const std::string_view wanted = query != nullptr ? query : "";
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::vector<std::uint32_t> words = {0, static_cast<std::uint32_t>(order->size())};
  std::uint32_t matches = 0;
  for (const std::uint32_t i : *order) {
    const dat::DatFileEntry& e = entries[i];
    if (!wanted.empty()) {
      char hex[8];
      for (int d = 0; d < 8; ++d) hex[d] = kDigits[(e.id >> (28 - 4 * d)) & 0xF];
      if (std::string_view(hex, sizeof hex).find(wanted) == std::string_view::npos) continue;
    }
    if (matches++ >= limit) continue;
    const auto row = entry_words(e, cell_archive);
    words.insert(words.end(), row.begin(), row.end());
  }
  words[0] = matches;
  return answer_words(words);
}

RAVELIN_WEB_EXPORT(ravelin_web_record_types) int32_t ravelin_web_record_types(void) {
  std::string text;
  for (int t = 0; t <= static_cast<int>(dat::RecordType::LandblockInfo); ++t) {
    text += dat::record_type_name(static_cast<dat::RecordType>(t));
    text += '\n';
  }
  return answer(text);
}

RAVELIN_WEB_EXPORT(ravelin_web_show) int32_t ravelin_web_show(int32_t archive, uint32_t file_id, int32_t compact) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  if (!known_archive(archive)) return fail(RAVELIN_ERROR_ARGUMENT, "archive is neither 0 (portal) nor 1 (cell)");
  const auto json =
      dat::show_record(world()->archive(archive), world()->path(archive), file_id, std::nullopt, compact != 0);
  if (!json) {
    const dat::DatError* error = json.error().dat_error();
    return fail(RAVELIN_ERROR_DAT, error ? dat_error_text(archive, *error) : json.error().to_string());
  }
  return answer(*json);
}

RAVELIN_WEB_EXPORT(ravelin_web_get) int32_t ravelin_web_get(int32_t archive, uint32_t file_id) {
  if (!world()) return fail(RAVELIN_ERROR_HANDLE, kNoWorld);
  if (!known_archive(archive)) return fail(RAVELIN_ERROR_ARGUMENT, "archive is neither 0 (portal) nor 1 (cell)");
  const auto bytes = world()->archive(archive).get_file(file_id);
  if (!bytes) return fail(RAVELIN_ERROR_DAT, dat_error_text(archive, bytes.error()));
  return answer(std::span<const std::uint8_t>(*bytes));
}

}  // extern "C"
