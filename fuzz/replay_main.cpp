// Runs corpus files through the fuzz targets in the normal build:
//   ravelin_fuzz_replay DIR...
// Each DIR holds one subdirectory per target (DIR/<target>/*); every regular
// file there is one input. A target that crashes or breaks a property aborts
// the program; a missing subdirectory is skipped. Exit 0 after running at
// least one input, 1 when none was found.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "ravelin/common/file.h"
#include "fuzz/fuzz_entry.h"

#define RAVELIN_DECLARE_TARGET(name) RAVELIN_FUZZ_ENTRY(name);
RAVELIN_FUZZ_TARGETS(RAVELIN_DECLARE_TARGET)

namespace {

struct Target {
  const char* name;
  int (*run)(const std::uint8_t*, std::size_t);
};

#define RAVELIN_TARGET_ROW(name) {#name, &ravelin_fuzz_##name},
constexpr Target kTargets[] = {RAVELIN_FUZZ_TARGETS(RAVELIN_TARGET_ROW)};

}  // namespace

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int a = 1; a < argc; ++a) {
    for (const Target& target : kTargets) {
      const std::filesystem::path dir = std::filesystem::path(argv[a]) / target.name;
      std::error_code ec;
      if (!std::filesystem::is_directory(dir, ec)) continue;
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        auto bytes = ravelin::common::read_whole_file(file);
        if (!bytes) {
          std::fprintf(stderr, "cannot read %s: %s\n", file.c_str(), bytes.error().message.c_str());
          return 1;
        }
        target.run(bytes->data(), bytes->size());
        ++inputs;
      }
      std::fprintf(stderr, "%s: %zu inputs from %s\n", target.name, files.size(), dir.c_str());
    }
  }
  if (inputs == 0) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  return 0;
}
