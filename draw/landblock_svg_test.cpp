// The landblock picture: checked-in golden bytes for the sample world, XML
// well-formedness on every landblock, and the colouring against the bake.
#include "draw/landblock_svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "ravelin/common/file.h"
#include "test_support/test_world.h"
#include "test_support/xml_check.h"
#include "dat_writer/sample_world.h"

namespace ravelin::draw {
namespace {

using namespace ravelin::event_bake;

using ravelin::test_support::ScratchDir;
using ravelin::test_support::xml_well_formedness_error;

std::filesystem::path source_root() {
  const char* root = std::getenv("RAVELIN_SOURCE_DIR");
  return root != nullptr && *root != '\0' ? std::filesystem::path(root)
                                          : std::filesystem::path(__FILE__).parent_path().parent_path();
}

BakeInputs render_inputs(const std::filesystem::path& dir, std::uint32_t landblock_id) {
  BakeInputs inputs;
  inputs.dat_dir = dir;
  inputs.landblock_id = landblock_id;
  inputs.region_did = kDefaultRegionDid;
  inputs.bake_sky = true;
  inputs.entity_source = EntitySource::landblock_info();
  return inputs;
}

std::size_t count_of(std::string_view haystack, std::string_view needle) {
  std::size_t n = 0;
  for (auto at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

// The rings of a picture, each as its stroke colour and dash pattern: of the
// ringed vertices by vertex number, and of the legend's keys in order.
struct Rings {
  std::map<std::uint32_t, std::string> vertex;
  std::vector<std::string> legend;
  std::vector<std::string> colours;   // of every ring
  std::size_t unedged = 0;            // vertex rings without the dark edge under them
};

std::string attribute(std::string_view element, std::string_view name) {
  const std::string key = " " + std::string(name) + "=\"";
  const auto at = element.find(key);
  if (at == std::string_view::npos) return "";
  const auto start = at + key.size();
  return std::string(element.substr(start, element.find('"', start) - start));
}

Rings rings_of(std::string_view svg) {
  Rings out;
  for (auto end = svg.find("class=\"ring\"/>"); end != std::string_view::npos;
       end = svg.find("class=\"ring\"/>", end + 1)) {
    const auto start = svg.rfind("<circle ", end);
    const std::string_view ring = svg.substr(start, end - start);
    const std::string style = attribute(ring, "stroke") + " dashes \"" + attribute(ring, "stroke-dasharray") + "\"";
    out.colours.push_back(attribute(ring, "stroke"));
    if (attribute(ring, "r") != "15") {
      out.legend.push_back(style);
      continue;
    }
    // The vertex circle under it ends just before it: "...><title>vertex N</title></circle>\n".
    const auto under = svg.rfind("<circle ", start - 1);
    const std::string_view vertex = svg.substr(under, start - under);
    if (attribute(vertex, "stroke") != "#1a1a1a" || attribute(vertex, "stroke-width") != "8") ++out.unedged;
    const auto title = vertex.find("<title>vertex ");
    out.vertex[static_cast<std::uint32_t>(std::stoul(std::string(vertex.substr(title + 14))))] = style;
  }
  return out;
}

// The count texts that should be singular: "1 vertices", "1 particles", ...
std::vector<std::string> wrong_plurals(const std::string& svg) {
  static const std::regex one_of_many(R"([ >(]1 (vertices|particles|animation sounds)\b)");
  std::vector<std::string> out;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), one_of_many); it != std::sregex_iterator(); ++it)
    out.push_back(it->str());
  return out;
}

// A bake of `triggers` triggers, trigger k owning vertex k (and k + 40 while there is one).
LandblockEventBake bake_with_triggers(std::uint32_t triggers) {
  LandblockEventBake bake;
  bake.landblock_id = 0x12340000;
  for (std::uint32_t k = 0; k < triggers; ++k) {
    AmbientTrigger t;
    t.terrain_type = k % 8;
    t.scene_type = k / 8;
    t.stb_id = 0x20000000 + k;
    t.vertex_indices = {k};
    if (k + 40 < 81) t.vertex_indices.push_back(k + 40);
    bake.ambient_terrain_events.push_back(t);
  }
  return bake;
}

TEST(XmlCheck, AcceptsWellFormedAndNamesEachFault) {
  EXPECT_EQ(xml_well_formedness_error("<?xml version=\"1.0\"?>\n<a x=\"1\"><b/><c>t &amp; u</c></a>\n"),
            std::nullopt);
  const std::pair<std::string_view, std::string_view> bad[] = {
      {"<a><b></a></b>", "does not match"},
      {"<a>", "unclosed <a>"},
      {"<a x=1/>", "unquoted attribute x"},
      {"<a x=\"1\" x=\"2\"/>", "duplicate attribute x"},
      {"<a>1 & 2</a>", "unterminated entity"},
      {"<a/><b/>", "second root element <b>"},
      {"<a x=\"<\"/>", "raw '<'"},
      {"", "no root element"},
  };
  for (const auto& [doc, why] : bad) {
    const auto error = xml_well_formedness_error(doc);
    ASSERT_TRUE(error.has_value()) << doc;
    EXPECT_NE(error->find(why), std::string::npos) << doc << " gave " << *error;
  }
}

// A vertex index out of range and a repeated vertex: the drawing stays within
// 81 vertices, grey where no trigger claims one, ringed where one does, and
// the legend shows each trigger's keys with its vertex count.
TEST(LandblockSvg, RingsVerticesByTheirFirstTrigger) {
  LandblockEventBake bake;
  bake.landblock_id = 0x12340000;
  bake.region_did = kDefaultRegionDid;
  for (std::uint32_t k = 0; k < 13; ++k) {
    AmbientTrigger t;
    t.terrain_type = k;
    t.scene_type = 31 - k;
    t.stb_id = 0x20000000 + k;
    t.vertex_indices = {k};
    bake.ambient_terrain_events.push_back(t);
  }
  bake.ambient_terrain_events[0].vertex_indices = {0, 80, 81, 1};  // 81 is off the grid, 1 is claimed twice
  bake.anim_hook_events.resize(2);
  bake.sky_particle_events.resize(5);
  const PlacedSetupSummary setups[] = {{0x02000007, 4, 9}};
  const std::string svg = render_landblock_svg(bake, setups);

  EXPECT_EQ(xml_well_formedness_error(svg), std::nullopt);
  EXPECT_EQ(count_of(svg, "<title>vertex "), 81u);
  // Vertices 0 to 12 and 80 are claimed and white under their rings, the rest
  // grey; trigger 0 keeps vertex 1.
  EXPECT_EQ(count_of(svg, "fill=\"#c8c8c8\" stroke=\"#333333\"><title>"), 81u - 14u);
  EXPECT_EQ(count_of(svg, "fill=\"#ffffff\" stroke=\"#1a1a1a\" stroke-width=\"8\"><title>"), 14u);
  EXPECT_EQ(count_of(svg, "r=\"15\" fill=\"none\" stroke=\"#e6194b\" stroke-width=\"4\" class=\"ring\"/>"), 3u);
  for (const std::string_view expected : {
           "Landblock 0x12340000, region 0x13000000",
           "terrain 0, scene 31, sound table 0x20000000, 3 vertices",
           "terrain 1, scene 30, sound table 0x20000001, 0 vertices",
           "terrain 12, scene 19, sound table 0x2000000C, 1 vertex<",
           "no trigger, 67 vertices",
           "animation sound: 2", "physics particle: 0", "sky particle: 5",
           "Placed setups (1)", "0x02000007: 4 particles, 9 animation sounds"})
    EXPECT_NE(svg.find(expected), std::string::npos) << expected;
  // Vertex 8 is column 0, top row; vertex 72 column 8, bottom row.
  EXPECT_NE(svg.find("<circle cx=\"48\" cy=\"64\" r=\"15\""), std::string::npos);
  EXPECT_NE(svg.find("<circle cx=\"400\" cy=\"416\" r=\"15\" fill=\"#c8c8c8\" stroke=\"#333333\"><title>vertex 72"),
            std::string::npos);
  EXPECT_EQ(render_landblock_svg(bake, setups), svg);
}

// Every trigger's vertices share one ring, no two triggers share a ring (up
// to 40 triggers), the legend shows each trigger's ring, and every ring has
// its dark edge and a colour far from the fills of the usual terrain types.
TEST(LandblockSvg, EachTriggerHasARingOfItsOwn) {
  ScratchDir dir;
  ASSERT_TRUE(dat_writer::write_sample_world(dir.path(), dat_writer::build_sample_world({})).has_value());
  const auto inputs = render_inputs(dir.path(), dat_writer::kSampleFocusLandblock << 16);
  const auto sample_svg = render_landblock(inputs);
  ASSERT_TRUE(sample_svg.has_value()) << sample_svg.error().to_string();
  const auto sample_bake = bake_landblock_events(inputs);
  ASSERT_TRUE(sample_bake.has_value());
  LandblockTerrain land;
  for (std::uint32_t n = 0; n < land.terrain.size(); ++n) land.terrain[n] = static_cast<std::uint16_t>((n % 8) << 2);
  const std::vector<std::string> names;
  const struct {
    std::string_view name;
    LandblockEventBake bake;
    std::string svg;
  } pictures[] = {
      {"0xA9B4 of the sample world", *sample_bake, *sample_svg},
      {"40 triggers without terrain", bake_with_triggers(40), render_landblock_svg(bake_with_triggers(40), {})},
      {"40 triggers over terrain types 0 to 7", bake_with_triggers(40),
       render_landblock_svg(bake_with_triggers(40), {}, {.landblock = &land, .names = names})},
  };
  for (const auto& picture : pictures) {
    SCOPED_TRACE(picture.name);
    const Rings rings = rings_of(picture.svg);
    const auto& triggers = picture.bake.ambient_terrain_events;
    ASSERT_EQ(rings.legend.size(), triggers.size());
    EXPECT_EQ(std::set<std::string>(rings.legend.begin(), rings.legend.end()).size(), triggers.size())
        << "two triggers share a ring";
    std::set<std::uint32_t> claimed;
    for (std::size_t k = 0; k < triggers.size(); ++k)
      for (const std::uint32_t n : triggers[k].vertex_indices) {
        if (n >= 81 || !claimed.insert(n).second) continue;  // drawn with its first trigger only
        ASSERT_TRUE(rings.vertex.contains(n)) << "vertex " << n << " of trigger " << k << " has no ring";
        EXPECT_EQ(rings.vertex.at(n), rings.legend[k]) << "vertex " << n << " of trigger " << k;
      }
    EXPECT_EQ(rings.vertex.size(), claimed.size());
    EXPECT_EQ(rings.unedged, 0u);
    for (const std::string& colour : rings.colours)
      for (std::uint32_t t = 0; t < 8; ++t) {
        const Rgb fill = terrain_colour(t);
        const auto channel = [&](std::size_t at) { return std::stoi(colour.substr(at, 2), nullptr, 16); };
        const double distance = std::hypot(channel(1) - fill.r, channel(3) - fill.g, channel(5) - fill.b);
        EXPECT_GE(distance, 80.0) << "ring " << colour << " on terrain type " << t << " (" << css_colour(fill) << ")";
      }
  }
}

// Counts in the legend and the panel read "1 vertex" and "2 vertices", of
// terrain types, triggers, untriggered vertices and setups alike.
TEST(LandblockSvg, CountsTakeTheirPlural) {
  LandblockEventBake bake = bake_with_triggers(3);
  bake.ambient_terrain_events[0].vertex_indices = {5};
  bake.ambient_terrain_events[1].vertex_indices = {6, 7};
  bake.ambient_terrain_events[2].vertex_indices = {};
  LandblockTerrain land;  // all sea but vertex 80, on the shore
  land.terrain[80] = 1 << 2;
  const std::vector<std::string> names = {"Sea", "Shore"};
  const PlacedSetupSummary setups[] = {{0x02000001, 1, 1}, {0x02000002, 0, 2}, {0x02000003, 2, 0}};
  const std::string svg = render_landblock_svg(bake, setups, {.landblock = &land, .names = names});
  for (const std::string_view expected : {
           ">Sea (0), 80 vertices<", ">Shore (1), 1 vertex<",
           "sound table 0x20000000, 1 vertex<", "sound table 0x20000001, 2 vertices<",
           "sound table 0x20000002, 0 vertices<", ">no trigger, 78 vertices<",
           ">0x02000001: 1 particle, 1 animation sound<", ">0x02000002: 0 particles, 2 animation sounds<",
           ">0x02000003: 2 particles, 0 animation sounds<"})
    EXPECT_NE(svg.find(expected), std::string::npos) << expected;
  EXPECT_EQ(wrong_plurals(svg), std::vector<std::string>{});
  EXPECT_EQ(wrong_plurals("<text>Marsh (4), 1 vertices</text><text>x: 1 particles, 1 animation sounds</text>").size(),
            3u);
}

TEST(LandblockSvg, EmptyBakeDrawsAGreyGridAndNoSetups) {
  const std::string svg = render_landblock_svg(LandblockEventBake{}, {});
  EXPECT_EQ(xml_well_formedness_error(svg), std::nullopt);
  EXPECT_EQ(count_of(svg, "fill=\"#c8c8c8\" stroke=\"#333333\"><title>"), 81u);
  EXPECT_NE(svg.find("no trigger, 81 vertices"), std::string::npos);
  EXPECT_NE(svg.find(">none</text>"), std::string::npos);
}

TEST(LandblockSvg, SampleWorldPictureMatchesTheCheckedInDocument) {
  ScratchDir dir;
  ASSERT_TRUE(dat_writer::write_sample_world(dir.path(), dat_writer::build_sample_world({})).has_value());
  const auto svg = render_landblock(render_inputs(dir.path(), dat_writer::kSampleFocusLandblock << 16));
  ASSERT_TRUE(svg.has_value()) << svg.error().to_string();
  const auto golden_path = source_root() / "docs/sample-landblock.svg";
  if (const char* update = std::getenv("RAVELIN_UPDATE_DOCS"); update != nullptr && *update == '1') {
    const auto* first = reinterpret_cast<const std::uint8_t*>(svg->data());
    ASSERT_TRUE(common::write_whole_file(golden_path, {first, svg->size()}).has_value());
  }
  const auto golden = common::read_whole_file(golden_path);
  ASSERT_TRUE(golden.has_value()) << golden_path;
  EXPECT_EQ(*svg, std::string(golden->begin(), golden->end()))
      << "picture changed; rerun with RAVELIN_UPDATE_DOCS=1 to rewrite " << golden_path;
  EXPECT_EQ(xml_well_formedness_error(*svg), std::nullopt);
}

// Every landblock of the cell archive renders, is well-formed and greys out
// exactly the vertices its bake leaves without a trigger: the default world
// and a 16 x 16 grid with more setups, scripts and animations.
TEST(LandblockSvg, EveryLandblockOfASampleWorldRenders) {
  const struct {
    dat_writer::SampleWorldParams params;
    std::size_t landblocks;
  } worlds[] = {
      {{}, 9},
      {{.seed = 7, .grid_width = 16, .grid_height = 16, .setup_count = 40, .motion_table_count = 8,
        .animation_count = 30, .script_count = 12},
       256},
  };
  for (const auto& world : worlds) {
    ScratchDir dir;
    ASSERT_TRUE(dat_writer::write_sample_world(dir.path(), dat_writer::build_sample_world(world.params)).has_value());
    const auto cell = dat::DatDatabase::open(dir.path() / std::string(kCellArchiveName));
    ASSERT_TRUE(cell.has_value());
    std::size_t rendered = 0;
    for (const dat::DatFileEntry& entry : cell->sorted_entries()) {
      if ((entry.id & 0xFFFF) != 0xFFFF) continue;
      const auto inputs = render_inputs(dir.path(), entry.id & 0xFFFF0000);
      const auto svg = render_landblock(inputs);
      ASSERT_TRUE(svg.has_value()) << std::hex << entry.id << ": " << svg.error().to_string();
      EXPECT_EQ(xml_well_formedness_error(*svg), std::nullopt) << std::hex << entry.id;
      const auto bake = bake_landblock_events(inputs);
      ASSERT_TRUE(bake.has_value());
      std::size_t covered = 0;
      for (const AmbientTrigger& t : bake->ambient_terrain_events) covered += t.vertex_indices.size();
      EXPECT_EQ(count_of(*svg, "stroke=\"#333333\"><title>"), 81u - covered) << std::hex << entry.id;
      EXPECT_EQ(wrong_plurals(*svg), std::vector<std::string>{}) << std::hex << entry.id;
      // Each vertex is filled with its terrain type's atlas colour.
      const auto cell_bytes = cell->get_file(entry.id);
      ASSERT_TRUE(cell_bytes.has_value());
      const auto land = dat::CellLandblock::unpack(*cell_bytes);
      ASSERT_TRUE(land.has_value());
      for (const std::uint32_t n : {0u, 8u, 40u, 72u, 80u}) {
        const std::string circle = "<circle cx=\"" + std::to_string(48 + n / 9 * 44) + "\" cy=\"" +
                                   std::to_string(64 + (8 - n % 9) * 44) + "\" r=\"15\" fill=\"" +
                                   css_colour(terrain_colour(dat::terrain_type(land->terrain[n]))) + "\"";
        EXPECT_NE(svg->find(circle), std::string::npos) << std::hex << entry.id << " vertex " << std::dec << n;
      }
      ++rendered;
    }
    EXPECT_EQ(rendered, world.landblocks);
  }
}

}  // namespace
}  // namespace ravelin::draw
