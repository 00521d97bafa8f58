// Writes a patch atlas of a world for the browser test from a hand-made list
// of landblocks (or the list in LIST, lines as the page embeds them), and the
// list itself as OUT/landblocks.jsonl, so the test can compare the two.
//   atlas_patch_page DAT_DIR OUT_DIR [LIST]
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ravelin/common/file.h"
#include "ravelin/common/output_file.h"
#include "ravelin/common/id_text.h"
#include "tools/draw/atlas.h"

int main(int argc, char** argv) {
  using ravelin::draw::PatchChange;
  using ravelin::draw::PatchLandblock;
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: atlas_patch_page DAT_DIR OUT_DIR [LIST]\n");
    return 2;
  }
  std::vector<PatchLandblock> patch = {
      {0xA9B40000, PatchChange::Changed, 3, 4,
       {"physics script 0x33000300 (default script of setup 0x02000100)", "region 0x13000000"}},
      {0xA8B30000, PatchChange::Added, 0, 12, {"CellLandblock 0xA8B3FFFF"}},
      {0xAAB50000, PatchChange::Removed, 9, 0, {"LandblockInfo 0xAAB5FFFE <gone> & more"}},
  };
  if (argc == 4) {
    const auto text = ravelin::common::read_whole_file(argv[3]);
    if (!text) {
      std::fprintf(stderr, "error: %s\n", text.error().to_string().c_str());
      return 1;
    }
    patch.clear();
    const std::string lines(text->begin(), text->end());
    for (std::size_t at = 0; at < lines.size();) {
      const std::size_t end = std::min(lines.find('\n', at), lines.size());
      const auto j = nlohmann::json::parse(lines.substr(at, end - at), nullptr, false);
      at = end + 1;
      if (!j.is_object()) continue;
      const std::string change = j.value("change", "changed");
      patch.push_back({ravelin::common::parse_u32(j.value("landblock_id", "0")).value_or(0),
                       change == "added" ? PatchChange::Added : change == "removed" ? PatchChange::Removed
                                                                                     : PatchChange::Changed,
                       j.value("removed", std::size_t{0}), j.value("added", std::size_t{0}),
                       j.value("caused_by", std::vector<std::string>{})});
    }
  }
  auto atlas = ravelin::draw::patch_atlas(argv[1], patch);
  if (!atlas) {
    std::fprintf(stderr, "error: %s\n", atlas.error().c_str());
    return 1;
  }
  if (auto written = ravelin::draw::write_atlas_files(argv[2], *atlas); !written) {
    std::fprintf(stderr, "error: %s\n", written.error().to_string().c_str());
    return 1;
  }
  std::string lines;
  for (const PatchLandblock& p : patch) {
    const std::string one = ravelin::draw::patch_json({&p, 1});  // "[{...}]"
    lines += one.substr(1, one.size() - 2) + "\n";
  }
  if (auto r = ravelin::common::write_output_file(std::string(argv[2]) + "/landblocks.jsonl", lines); !r) {
    std::fprintf(stderr, "error: %s\n", r.error().to_string().c_str());
    return 1;
  }
  return 0;
}
