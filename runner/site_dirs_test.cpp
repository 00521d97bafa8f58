#include "runner/site_dirs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "ravelin/common/file.h"

namespace ravelin::runner {
namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;

SiteDirs dirs_for(const Env& env) {
  return site_dirs_from([&](std::string_view name) -> std::optional<std::string> {
    auto it = env.find(std::string(name));
    if (it == env.end()) return std::nullopt;
    return it->second;
  });
}

TEST(SiteDirs, ResolvedFromTheEnvironment) {
  struct Case {
    const char* name;
    Env env;
    std::vector<fs::path> candidates;
    fs::path scratch;
  };
  const std::vector<Case> cases = {
      {"all set", {{"RAVELIN_DAT_DIR", "/d"}, {"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}, {"RAVELIN_SCRATCH_DIR", "/s"}},
       {"/d", "/x/ravelin/dat"}, "/s"},
      {"defaults", {{"HOME", "/h"}}, {"/h/.local/share/ravelin/dat"}, "/tmp/ravelin-event-bake"},
      {"empty values are unset",
       {{"RAVELIN_DAT_DIR", ""}, {"XDG_DATA_HOME", ""}, {"HOME", "/h"}, {"RAVELIN_SCRATCH_DIR", ""}, {"TMPDIR", ""}},
       {"/h/.local/share/ravelin/dat"}, "/tmp/ravelin-event-bake"},
      {"relative XDG_DATA_HOME ignored", {{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}, {"TMPDIR", "/t"}},
       {"/h/.local/share/ravelin/dat"}, "/t/ravelin-event-bake"},
      {"nothing at all", {}, {}, "/tmp/ravelin-event-bake"},
  };
  for (const Case& c : cases) {
    const SiteDirs dirs = dirs_for(c.env);
    EXPECT_EQ(dirs.dat_candidates, c.candidates) << c.name;
    EXPECT_EQ(dirs.scratch_dir, c.scratch) << c.name;
  }
}

TEST(SiteDirs, SpawnsDirDefaultsToTheFoundDatDir) {
  EXPECT_EQ(dirs_for({}).spawns_dir("/found"), fs::path("/found/spawns"));
  EXPECT_EQ(dirs_for({{"RAVELIN_SPAWNS_DIR", ""}}).spawns_dir("/found"), fs::path("/found/spawns"));
  EXPECT_EQ(dirs_for({{"RAVELIN_SPAWNS_DIR", "/sp"}}).spawns_dir("/found"), fs::path("/sp"));
}

TEST(SiteDirs, FindDatDirTakesTheFirstCandidateHoldingBothArchives) {
  const fs::path root = fs::temp_directory_path() / ("ravelin-site-" + std::to_string(::getpid()));
  fs::remove_all(root);
  auto touch = [](const fs::path& p) {
    fs::create_directories(p.parent_path());
    ASSERT_TRUE(common::write_whole_file(p, {}));
  };
  touch(root / "portal_only" / "client_portal.dat");
  touch(root / "cell_only" / "client_cell_1.dat");
  fs::create_directories(root / "portal_dir" / "client_portal.dat");
  touch(root / "portal_dir" / "client_cell_1.dat");
  touch(root / "real" / "client_portal.dat");
  touch(root / "real" / "client_cell_1.dat");
  touch(root / "second" / "client_portal.dat");
  touch(root / "second" / "client_cell_1.dat");
  fs::create_directories(root / "links");
  fs::create_symlink(root / "real" / "client_portal.dat", root / "links" / "client_portal.dat");
  fs::create_symlink(root / "real" / "client_cell_1.dat", root / "links" / "client_cell_1.dat");
  fs::create_directories(root / "dangling");
  fs::create_symlink(root / "nowhere", root / "dangling" / "client_portal.dat");
  touch(root / "dangling" / "client_cell_1.dat");

  struct Case {
    std::vector<fs::path> candidates;
    std::optional<fs::path> found;
  };
  const std::vector<Case> cases = {
      {{}, std::nullopt},
      {{root / "missing", root / "portal_only", root / "cell_only", root / "portal_dir", root / "dangling"},
       std::nullopt},
      {{root / "portal_only", root / "real"}, root / "real"},
      {{root / "second", root / "real"}, root / "second"},
      {{root / "links"}, root / "links"},
  };
  for (const Case& c : cases) EXPECT_EQ(find_dat_dir(c.candidates), c.found);
  fs::remove_all(root);
}

}  // namespace
}  // namespace ravelin::runner
