// SVG rendering of a landblock bake. Only integers are written, so the bytes
// cannot depend on float formatting or locale.
#include "draw/landblock_svg.h"

#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/record_cache.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace ravelin::draw {
namespace {

using event_bake::AmbientTrigger;
using event_bake::AnimSoundTrigger;
using event_bake::PhysicsScriptParticleTrigger;

constexpr int kSpacing = 44;
constexpr int kGridLeft = 48;
constexpr int kGridTop = 64;
constexpr int kRadius = 15;
constexpr int kPanelLeft = 460;
constexpr int kRowHeight = 20;
constexpr int kWidth = 900;
constexpr std::string_view kNoTriggerColour = "#c8c8c8";
// Under every ring, wider: a dark edge on both sides of the ring, so that a
// ring shows on any fill, even one of its own hue (a blue ring on the sea).
constexpr std::string_view kRingEdge = "#1a1a1a";
// Without terrain a ringed vertex is filled white, so only its ring tells its trigger.
constexpr std::string_view kPlainFill = "#ffffff";

// Saturated colours, none close to a terrain fill (sea, shore, grass, rock...),
// each unlike the others.
constexpr std::array<std::string_view, 8> kRingColours = {
    "#e6194b", "#ffe119", "#00e5ff", "#f032e6", "#f58231", "#911eb4", "#a8ff3e", "#ff8fc8"};
// Dash patterns over a ring measured as 48 units (pathLength), so each repeats
// a whole number of times and the legend's small ring shows the same pattern:
// solid, 8 dashes, 16 dots, 4 dash-dots, 3 long dashes.
constexpr std::array<std::string_view, 5> kRingDashes = {"", "4 2", "1 2", "7 2 1 2", "12 4"};
constexpr std::size_t kRingStyles = kRingColours.size() * kRingDashes.size();

// Trigger k's ring: the colours first, solid, then each colour again in the
// next dash pattern, so up to kRingStyles triggers never share a ring.
struct RingStyle {
  std::string_view colour;
  std::string_view dashes;  // empty: solid
};
RingStyle ring_style(std::size_t trigger) {
  const std::size_t k = trigger % kRingStyles;
  return {kRingColours[k % kRingColours.size()], kRingDashes[k / kRingColours.size()]};
}

std::string hex8(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
  return buf;
}

std::string num(long long value) { return std::to_string(value); }

// "1 vertex", "2 vertices", "0 vertices".
std::string counted(long long value, std::string_view one, std::string_view many) {
  return num(value) + " " + std::string(value == 1 ? one : many);
}

int vertex_cx(std::uint32_t n) { return kGridLeft + static_cast<int>(n / kLandblockSide) * kSpacing; }
int vertex_cy(std::uint32_t n) {
  return kGridTop + static_cast<int>(kLandblockSide - 1 - n % kLandblockSide) * kSpacing;
}

void text(std::string& out, int x, int y, std::string_view body, std::string_view extra = "") {
  out += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"";
  if (!extra.empty()) {
    out += ' ';
    out += extra;
  }
  out += '>';
  out += body;  // only generated ASCII without markup characters
  out += "</text>\n";
}

void swatch(std::string& out, int x, int y, std::string_view colour) {
  out += "<rect x=\"" + num(x) + "\" y=\"" + num(y - 12) + "\" width=\"14\" height=\"14\" fill=\"";
  out += colour;
  out += "\" stroke=\"#333333\"/>\n";
}

// A ring of `style`, `width` wide, over a circle already drawn; its dark edge
// (drawn first, wider) shows on both sides of it.
void ring(std::string& out, int cx, int cy, int r, int width, RingStyle style) {
  out += "<circle cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"" + num(r) + "\" fill=\"none\" stroke=\"";
  out += style.colour;
  out += "\" stroke-width=\"" + num(width) + "\"";
  if (!style.dashes.empty()) {
    out += " pathLength=\"48\" stroke-dasharray=\"";
    out += style.dashes;
    out += '"';
  }
  out += " class=\"ring\"/>\n";
}

// The legend's key of a trigger: a small white disc ringed as its vertices are.
void ring_swatch(std::string& out, int x, int y, RingStyle style) {
  const int cx = x + 7, cy = y - 5;
  out += "<circle cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"7\" fill=\"#ffffff\" stroke=\"";
  out += kRingEdge;
  out += "\" stroke-width=\"5\"/>\n";
  ring(out, cx, cy, 7, 3, style);
}

// Trigger index per vertex, -1 for none; a vertex listed twice keeps its first trigger.
std::array<int, kLandblockSide * kLandblockSide> vertex_owners(const LandblockEventBake& bake) {
  std::array<int, kLandblockSide * kLandblockSide> owner;
  owner.fill(-1);
  for (std::size_t k = 0; k < bake.ambient_terrain_events.size(); ++k)
    for (const std::uint32_t n : bake.ambient_terrain_events[k].vertex_indices)
      if (n < owner.size() && owner[n] < 0) owner[n] = static_cast<int>(k);
  return owner;
}

// Light terrain colours (shore, snow) take dark vertex numbers.
bool is_light(Rgb c) { return c.r * 299 + c.g * 587 + c.b * 114 > 150'000; }

std::string terrain_label(std::uint32_t type, std::span<const std::string> names) {
  return type < names.size() && !names[type].empty() ? names[type] + " (" + num(type) + ")"
                                                     : "terrain type " + num(type);
}

void draw_grid(std::string& out, const std::array<int, kLandblockSide * kLandblockSide>& owner,
               const LandblockTerrain* land) {
  const int span = static_cast<int>(kLandblockSide - 1) * kSpacing;
  out += "<g stroke=\"#999999\" stroke-width=\"1\">\n";
  for (std::uint32_t i = 0; i < kLandblockSide; ++i) {
    const int offset = static_cast<int>(i) * kSpacing;
    out += "<line x1=\"" + num(kGridLeft + offset) + "\" y1=\"" + num(kGridTop) + "\" x2=\"" +
           num(kGridLeft + offset) + "\" y2=\"" + num(kGridTop + span) + "\"/>\n";
    out += "<line x1=\"" + num(kGridLeft) + "\" y1=\"" + num(kGridTop + offset) + "\" x2=\"" +
           num(kGridLeft + span) + "\" y2=\"" + num(kGridTop + offset) + "\"/>\n";
  }
  out += "</g>\n";
  for (std::uint32_t i = 0; i < kLandblockSide; ++i) {
    text(out, kGridLeft + static_cast<int>(i) * kSpacing, kGridTop + span + 36, "x" + num(i),
         "text-anchor=\"middle\" class=\"axis\"");
    text(out, kGridLeft - 36, kGridTop + span - static_cast<int>(i) * kSpacing + 4, "y" + num(i),
         "class=\"axis\"");
  }
  for (std::uint32_t n = 0; n < owner.size(); ++n) {
    const bool ringed = owner[n] >= 0;
    const Rgb terrain_fill = land != nullptr ? terrain_colour(dat::terrain_type(land->terrain[n])) : Rgb{};
    const std::string fill = land != nullptr ? css_colour(terrain_fill)
                             : ringed       ? std::string(kPlainFill)
                                            : std::string(kNoTriggerColour);
    out += "<circle cx=\"" + num(vertex_cx(n)) + "\" cy=\"" + num(vertex_cy(n)) + "\" r=\"" + num(kRadius) +
           "\" fill=\"" + fill;
    out += ringed ? "\" stroke=\"" + std::string(kRingEdge) + "\" stroke-width=\"8\""
                  : std::string("\" stroke=\"#333333\"");
    out += "><title>vertex " + num(n) + "</title></circle>\n";
    if (ringed) ring(out, vertex_cx(n), vertex_cy(n), kRadius, 4, ring_style(static_cast<std::size_t>(owner[n])));
    const bool dark_number = land == nullptr || is_light(terrain_fill);
    text(out, vertex_cx(n), vertex_cy(n) + 4, num(n),
         dark_number ? "text-anchor=\"middle\" class=\"idx\"" : "text-anchor=\"middle\" class=\"idx on\"");
  }
}

int draw_panel(std::string& out, const LandblockEventBake& bake,
               const std::array<int, kLandblockSide * kLandblockSide>& owner,
               std::span<const PlacedSetupSummary> setups, SvgTerrain terrain) {
  int y = kGridTop;
  if (terrain.landblock != nullptr) {
    text(out, kPanelLeft, y, "Terrain", "class=\"head\"");
    y += kRowHeight + 4;
    std::array<int, 32> vertices{};
    for (const std::uint16_t word : terrain.landblock->terrain) ++vertices[dat::terrain_type(word)];
    for (std::uint32_t t = 0; t < vertices.size(); ++t) {
      if (vertices[t] == 0) continue;
      swatch(out, kPanelLeft, y, css_colour(terrain_colour(t)));
      text(out, kPanelLeft + 22, y,
           terrain_label(t, terrain.names) + ", " + counted(vertices[t], "vertex", "vertices"));
      y += kRowHeight;
    }
    const auto [lo, hi] = std::minmax_element(terrain.landblock->height.begin(), terrain.landblock->height.end());
    text(out, kPanelLeft, y, "height " + num(*lo) + " to " + num(*hi));
    y += kRowHeight + 16;
  }
  text(out, kPanelLeft, y, "Ambient triggers", "class=\"head\"");
  y += kRowHeight + 4;
  for (std::size_t k = 0; k < bake.ambient_terrain_events.size(); ++k) {
    const AmbientTrigger& t = bake.ambient_terrain_events[k];
    const auto drawn = std::count(owner.begin(), owner.end(), static_cast<int>(k));
    ring_swatch(out, kPanelLeft, y, ring_style(k));
    text(out, kPanelLeft + 22, y,
         "terrain " + num(t.terrain_type) + ", scene " + num(t.scene_type) + ", sound table " + hex8(t.stb_id) +
             ", " + counted(drawn, "vertex", "vertices"));
    y += kRowHeight;
  }
  // Unringed vertices keep a thin dark outline: over the land their fill is the terrain's, else grey.
  out += "<circle cx=\"" + num(kPanelLeft + 7) + "\" cy=\"" + num(y - 5) + "\" r=\"7\" fill=\"";
  out += terrain.landblock != nullptr ? kPlainFill : kNoTriggerColour;
  out += "\" stroke=\"#333333\"/>\n";
  text(out, kPanelLeft + 22, y,
       "no trigger, " + counted(std::count(owner.begin(), owner.end(), -1), "vertex", "vertices"));
  y += kRowHeight + 16;

  text(out, kPanelLeft, y, "Other events", "class=\"head\"");
  y += kRowHeight + 4;
  const std::array<std::pair<std::string_view, std::size_t>, 3> families = {{
      {"animation sound", bake.anim_hook_events.size()},
      {"physics particle", bake.physics_particle_events.size()},
      {"sky particle", bake.sky_particle_events.size()},
  }};
  for (const auto& [name, count] : families) {
    text(out, kPanelLeft, y, std::string(name) + ": " + num(static_cast<long long>(count)));
    y += kRowHeight;
  }
  y += 16;

  text(out, kPanelLeft, y, "Placed setups (" + num(static_cast<long long>(setups.size())) + ")",
       "class=\"head\"");
  y += kRowHeight + 4;
  if (setups.empty()) {
    text(out, kPanelLeft, y, "none");
    y += kRowHeight;
  }
  for (const PlacedSetupSummary& s : setups) {
    text(out, kPanelLeft, y,
         hex8(s.setup_id) + ": " + counted(s.particle_count, "particle", "particles") + ", " +
             counted(s.anim_sound_count, "animation sound", "animation sounds"));
    y += kRowHeight;
  }
  return y;
}

}  // namespace

std::vector<PlacedSetupSummary> summarize_placed_setups(const dat::DatDatabase& portal,
                                                        std::span<const std::uint32_t> setup_ids,
                                                        const LandblockEventBake& bake) {
  std::vector<PlacedSetupSummary> out;
  out.reserve(setup_ids.size());
  for (const std::uint32_t id : setup_ids) {
    PlacedSetupSummary s{.setup_id = id};
    for (const AnimSoundTrigger& e : bake.anim_hook_events)
      if (e.csetup_id == id) ++s.anim_sound_count;
    const auto setup = event_bake::load_setup_model(portal, id);
    if (setup && setup->default_script_id && *setup->default_script_id != 0)
      for (const PhysicsScriptParticleTrigger& e : bake.physics_particle_events)
        if (e.default_script_id == *setup->default_script_id) ++s.particle_count;
    out.push_back(s);
  }
  return out;
}

std::string render_landblock_svg(const LandblockEventBake& bake, std::span<const PlacedSetupSummary> setups,
                                 SvgTerrain terrain) {
  const auto owner = vertex_owners(bake);
  std::string body;
  text(body, kGridLeft - 36, 32, "Landblock " + hex8(bake.landblock_id) + ", region " + hex8(bake.region_did),
       "class=\"title\"");
  draw_grid(body, owner, terrain.landblock);
  const int panel_bottom = draw_panel(body, bake, owner, setups, terrain);
  const int grid_bottom = kGridTop + static_cast<int>(kLandblockSide - 1) * kSpacing + 56;
  const int height = std::max(grid_bottom, panel_bottom + 12);

  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(kWidth) + "\" height=\"" + num(height) +
         "\" viewBox=\"0 0 " + num(kWidth) + " " + num(height) + "\">\n";
  out +=
      "<style>text{font-family:sans-serif;font-size:13px;fill:#222222}.title{font-size:16px;font-weight:bold}"
      ".head{font-weight:bold}.axis{font-size:11px;fill:#666666}.idx{font-size:10px}.on{fill:#ffffff}</style>\n";
  out += "<rect x=\"0\" y=\"0\" width=\"" + num(kWidth) + "\" height=\"" + num(height) + "\" fill=\"#ffffff\"/>\n";
  out += body;
  out += "</svg>\n";
  return out;
}

std::string render_session_bake(const event_bake::BakeSession& session, const LandblockEventBake& bake,
                                SvgTerrain terrain) {
  // The bake got past its entity source, so asking again cannot fail.
  const auto setups = session.placed_setup_ids(bake.landblock_id);
  const auto summaries =
      summarize_placed_setups(session.portal(), setups ? *setups : std::vector<std::uint32_t>{}, bake);
  return render_landblock_svg(bake, summaries, terrain);
}

BakeResult<std::string> render_landblock(const BakeInputs& inputs) {
  auto session = event_bake::BakeSession::open({.dat_dir = inputs.dat_dir,
                                                .entity_source = inputs.entity_source,
                                                .region_did = inputs.region_did,
                                                .bake_sky = inputs.bake_sky});
  if (!session) return std::unexpected(std::move(session.error()));
  const auto bake = (*session)->bake(inputs.landblock_id);
  if (!bake) return std::unexpected(bake.error());
  return render_session_bake_over_terrain(**session, *bake);
}

std::string render_session_bake_over_terrain(const event_bake::BakeSession& session, const LandblockEventBake& bake) {
  // The bake read this CellLandblock and the region already, so both read back.
  const auto names = terrain_names(session.portal(), session.options().region_did);
  const std::vector<std::string> no_names;
  const auto land = read_landblock_terrain(session.cell(), bake.landblock_id);
  return render_session_bake(session, bake, {.landblock = land ? &*land : nullptr, .names = names ? *names : no_names});
}

}  // namespace ravelin::draw
