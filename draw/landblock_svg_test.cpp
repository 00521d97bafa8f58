// The landblock picture: checked-in golden bytes for the sample world, XML
// well-formedness on every landblock, and the colouring against the bake.
#include "draw/landblock_svg.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// One trigger per colour slot beyond the palette, a vertex index out of range
// and a repeated vertex: the drawing stays within 81 circles, grey where no
// trigger claims a vertex, and the legend shows each trigger's keys.
TEST(LandblockSvg, ColoursVerticesByTheirFirstTrigger) {
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
  EXPECT_EQ(count_of(svg, "<circle"), 81u);
  // Vertices 0 to 12 and 80 are claimed, the rest grey; trigger 0 keeps vertex
  // 1, and trigger 12 reuses colour 0.
  EXPECT_EQ(count_of(svg, "fill=\"#c8c8c8\" stroke=\"#333333\"><title>"), 81u - 14u);
  EXPECT_EQ(count_of(svg, "fill=\"#1f77b4\" stroke=\"#333333\"><title>"), 4u);  // vertices 0, 1, 80, 12
  for (const std::string_view expected : {
           "Landblock 0x12340000, region 0x13000000",
           "terrain 0, scene 31, sound table 0x20000000, 3 vertices",
           "terrain 1, scene 30, sound table 0x20000001, 0 vertices",
           "terrain 12, scene 19, sound table 0x2000000C, 1 vertices",
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
