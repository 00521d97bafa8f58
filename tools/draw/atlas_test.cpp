// The atlas page's embedded index: it parses back to the index lines, in order,
// whatever text an error carries, and nothing in it can end its script element.
#include "tools/draw/atlas.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

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
  const std::string hostile = "</script><!-- & caf\u00e9";
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

}  // namespace
}  // namespace ravelin::draw
