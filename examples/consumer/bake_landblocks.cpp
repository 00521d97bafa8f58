// bake_landblocks DAT_DIR OUT_DIR LANDBLOCK...
//
// Bakes each landblock (a number such as A9B4 or 0xA9B4) from the archives in
// DAT_DIR and writes its manifest to OUT_DIR/0xLLLL.events.jsonl. A landblock
// that fails prints "0xLLLL: <error>" on standard error; the exit status is 1
// if any failed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <ravelin/event_bake/landblock.h>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s DAT_DIR OUT_DIR LANDBLOCK...\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dat_dir = argv[1];
  const std::filesystem::path out_dir = argv[2];
  std::filesystem::create_directories(out_dir);

  int status = 0;
  for (int i = 3; i < argc; ++i) {
    const auto number = static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 16)) & 0xFFFF;
    char name[32];
    std::snprintf(name, sizeof name, "0x%04X", number);

    const auto bake = ravelin::event_bake::bake_landblock_events_simple(number << 16, dat_dir);
    if (!bake) {
      std::fprintf(stderr, "%s: %s\n", name, bake.error().to_string().c_str());
      status = 1;
      continue;
    }
    std::ofstream out(out_dir / (std::string(name) + ".events.jsonl"), std::ios::binary);
    out << bake->to_jsonl_bytes();
  }
  return status;
}
