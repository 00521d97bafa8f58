// Writes a patch atlas of a world for the browser test from a hand-made list
// of landblocks, and the list itself as OUT/landblocks.jsonl (one object a
// line, as the page embeds it), so the test can compare the two.
//   atlas_patch_page DAT_DIR OUT_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "ravelin/common/file.h"
#include "tools/draw/atlas.h"

int main(int argc, char** argv) {
  using ravelin::draw::PatchChange;
  using ravelin::draw::PatchLandblock;
  if (argc != 3) {
    std::fprintf(stderr, "usage: atlas_patch_page DAT_DIR OUT_DIR\n");
    return 2;
  }
  const std::vector<PatchLandblock> patch = {
      {0xA9B40000, PatchChange::Changed, 3, 4,
       {"physics script 0x33000300 (default script of setup 0x02000100)", "region 0x13000000"}},
      {0xA8B30000, PatchChange::Added, 0, 12, {"CellLandblock 0xA8B3FFFF"}},
      {0xAAB50000, PatchChange::Removed, 9, 0, {"LandblockInfo 0xAAB5FFFE <gone> & more"}},
  };
  if (auto written = ravelin::draw::write_patch_atlas(argv[1], argv[2], patch); !written) {
    std::fprintf(stderr, "error: %s\n", written.error().c_str());
    return 1;
  }
  std::string lines;
  for (const PatchLandblock& p : patch) {
    const std::string one = ravelin::draw::patch_json({&p, 1});  // "[{...}]"
    lines += one.substr(1, one.size() - 2) + "\n";
  }
  const auto* first = reinterpret_cast<const std::uint8_t*>(lines.data());
  if (auto r = ravelin::common::write_whole_file(std::string(argv[2]) + "/landblocks.jsonl", {first, lines.size()}); !r) {
    std::fprintf(stderr, "error: %s\n", r.error().to_string().c_str());
    return 1;
  }
  return 0;
}
