// The atlas page's embedded index: it parses back to the index lines, in order,
// whatever text an error carries, and nothing in it can end its script element.
#include "tools/draw/atlas.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "ravelin/event_bake/event_family.h"
#include "draw/terrain_map.h"

namespace ravelin::draw {
namespace {

constexpr std::string_view kDataOpen = R"(<script type="application/json" id="atlas-data">)";

std::string embedded_data(const std::string& html) {
  const auto open = html.find(kDataOpen);
  if (open == std::string::npos) return {};
  const auto start = open + kDataOpen.size();
  return html.substr(start, html.find("</script", start) - start);
}

TEST(Atlas, EmbeddedIndexParsesBackToTheLinesInOrder) {
  const std::string ok = R"({"landblock_id":"0xA9B40000","file":"0xA9B4.events.jsonl","ambient":8,)"
                         R"("animation_sound":20,"physics_script_particle":3,"sky_chain":24,"bytes":20434})";
  const struct {
    std::string name;
    std::string index;
  } cases[] = {
      {"empty", ""},
      {"one line", ok + "\n"},
      {"no final newline", ok},
      {"markup in an error",
       ok + "\n" + R"({"landblock_id":"0x01020000","error":"</script><script>alert(1)</script> <!-- &amp; > \"q\" \\ \u0001"})" + "\n"},
      {"upper-case end tag and UTF-8", R"({"landblock_id":"0x00010000","error":"</SCRIPT > caf\u00e9 é"})" "\n" + ok + "\n"},
  };
  for (const auto& c : cases) {
    nlohmann::json expected = nlohmann::json::array();
    for (std::size_t at = 0; at < c.index.size();) {
      const auto end = std::min(c.index.find('\n', at), c.index.size());
      expected.push_back(nlohmann::json::parse(c.index.substr(at, end - at)));
      at = end + 1;
    }
    for (const bool pictures : {false, true}) {
      const std::string html = render_atlas_html(c.index, pictures);
      const std::string data = embedded_data(html);
      EXPECT_EQ(nlohmann::json::parse(data), expected) << c.name;
      EXPECT_EQ(data, embed_index_json(c.index)) << c.name;
      EXPECT_EQ(data.find_first_of("<>&"), std::string::npos) << c.name;
      EXPECT_NE(html.find(pictures ? R"(data-pictures="1")" : R"(data-pictures="0")"), std::string::npos);
      EXPECT_EQ(render_atlas_html(c.index, pictures), html) << c.name;
    }
  }
  EXPECT_EQ(embed_index_json(""), "[]");
}

// Region names and patch causes are text from the archives and the diff: they
// too come back unchanged and cannot end their elements.
TEST(Atlas, TerrainAndPatchElementsCarryAnyTextSafely) {
  const std::string hostile = "</script><!-- & caf\u00e9 \"q\" \\ \x01\x7f\n\t";
  AtlasTerrain terrain{.bounds = {1, 2, 1, 1}, .width = 9, .height = 9, .png = {1, 2, 3, 4, 5},
                       .names = {"Sea", hostile}, .summaries = {{0x01020000, 0b11, 7, 9}}};
  const std::vector<PatchLandblock> patch = {{0x01020000, PatchChange::Removed, 5, 0, {hostile, "region"}},
                                             {0x01030000, PatchChange::Added, 0, 2, {}}};
  const std::string html =
      render_atlas_html("", AtlasLayers{.terrain = &terrain, .patch = patch, .patch_page = true});
  auto element = [&](std::string_view open) {
    const auto at = html.find(open);
    if (at == std::string::npos) return std::string();
    const auto start = at + open.size();
    return html.substr(start, html.find("</script", start) - start);
  };
  const std::string land = element(R"(<script type="application/json" id="atlas-terrain">)");
  const std::string marks = element(R"(<script type="application/json" id="atlas-patch">)");
  EXPECT_EQ(land.find_first_of("<>&"), std::string::npos);
  EXPECT_EQ(marks.find_first_of("<>&"), std::string::npos);
  const auto land_json = nlohmann::json::parse(land);
  EXPECT_EQ(land_json["names"][1], hostile);
  EXPECT_EQ(land_json["blocks"], nlohmann::json::parse("[258,3,7,9]"));
  EXPECT_EQ(land_json["palette"].size(), 32u);
  const auto marks_json = nlohmann::json::parse(marks);
  ASSERT_EQ(marks_json.size(), 2u);
  EXPECT_EQ(marks_json[0]["change"], "removed");
  EXPECT_EQ(marks_json[0]["caused_by"][0], hostile);
  EXPECT_EQ(marks_json[1]["landblock_id"], "0x01030000");
  EXPECT_NE(html.find("data:image/png;base64,AQIDBAU=\""), std::string::npos) << "the PNG, base64";
  EXPECT_NE(html.find(R"(data-mode="patch")"), std::string::npos);
}

// The terrain element's bytes: members in this order, compact, so that pages
// from before and after any rewrite of the writing agree.
TEST(Atlas, TerrainJsonBytes) {
  const AtlasTerrain terrain{.bounds = {0xA8, 0xB3, 3, 2}, .width = 25, .height = 17, .png = {},
                             .names = {"Sea", "Shore"}, .summaries = {{0xA9B40000, 0x81, 0, 255}, {0xA8B30000, 1, 3, 4}}};
  const std::string json = terrain_json(terrain);
  EXPECT_TRUE(json.starts_with(R"({"x0":168,"y0":179,"columns":3,"rows":2,"width":25,"height":17,"names":["Sea","Shore"],)"
                               R"("palette":[")")) << json;
  EXPECT_TRUE(json.ends_with(R"("],"blocks":[43444,129,0,255,43187,1,3,4]})")) << json;
  const auto parsed = nlohmann::json::parse(json);
  ASSERT_EQ(parsed["palette"].size(), 32u);
  for (std::uint32_t t = 0; t < 32; ++t) EXPECT_EQ(parsed["palette"][t], css_colour(terrain_colour(t))) << t;
  EXPECT_EQ(patch_json({}), "[]");
}

// The page's family list is the library's table: count keys of the index
// lines and the names people read, in manifest order.
TEST(Atlas, FamiliesElementIsTheFamilyTable) {
  const std::string html = render_atlas_html("", false);
  constexpr std::string_view open = R"(<script type="application/json" id="atlas-families">)";
  const auto at = html.find(open);
  ASSERT_NE(at, std::string::npos);
  const auto start = at + open.size();
  const std::string element = html.substr(start, html.find("</script", start) - start);
  EXPECT_EQ(element, families_json());
  const auto families = nlohmann::json::parse(element);
  ASSERT_EQ(families.size(), event_bake::kEventFamilies.size());
  for (std::size_t i = 0; i < families.size(); ++i) {
    EXPECT_EQ(families[i]["source"], event_bake::kEventFamilies[i].source) << i;
    EXPECT_EQ(families[i]["display"], event_bake::kEventFamilies[i].display) << i;
  }
}

// The page users get (this program links ravelin_atlas_page) carries no test
// hook, and works from disk: one inline module script with no imports left,
// nothing fetched but the embedded PNG.
TEST(Atlas, UserPageIsSelfContainedAndHasNoTestHook) {
  AtlasTerrain terrain{.bounds = {1, 2, 1, 1}, .width = 9, .height = 9, .png = {1, 2, 3}, .names = {}, .summaries = {}};
  const std::vector<PatchLandblock> patch = {{0x01020000, PatchChange::Added, 0, 1, {}}};
  for (const auto& layers : {AtlasLayers{.with_pictures = true, .terrain = &terrain, .patch = {}, .patch_page = false},
                             AtlasLayers{.terrain = &terrain, .patch = patch, .patch_page = true}}) {
    const std::string html = render_atlas_html("", layers);
    EXPECT_EQ(html.find("window.atlas"), std::string::npos);
    constexpr std::string_view script_open = "<script type=\"module\">\n";
    const auto script = html.find(script_open);
    ASSERT_NE(script, std::string::npos);
    EXPECT_EQ(html.find("<script", script + 1), std::string::npos) << "the module script is the last";
    const std::string code = html.substr(script + script_open.size());
    EXPECT_EQ(code.find("\nimport "), std::string::npos);
    EXPECT_NE(code.find("startAtlas("), std::string::npos);
    EXPECT_TRUE(code.ends_with("</script>\n</body>\n</html>\n"));
    const std::string markup = html.substr(0, script);
    EXPECT_EQ(markup.find("<link"), std::string::npos);
    for (auto at = markup.find(" src=\""); at != std::string::npos; at = markup.find(" src=\"", at + 1))
      EXPECT_EQ(markup.compare(at + 6, 5, "data:"), 0) << markup.substr(at, 40);
  }
}

}  // namespace
}  // namespace ravelin::draw
