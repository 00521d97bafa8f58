#include "runner/site_dirs.h"

#include <cstdlib>

#include "ravelin/event_bake/landblock.h"

namespace ravelin::runner {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> non_empty(const EnvLookup& env, std::string_view name) {
  auto value = env(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

// The platform layer's kind follows symbolic links; an error counts as absent.
bool is_regular_file_followed(const fs::path& path, common::FileSystem& files) {
  return files.kind(path).value_or(common::FileKind::Missing) == common::FileKind::Regular;
}

}  // namespace

fs::path SiteDirs::spawns_dir(const fs::path& dat_dir) const {
  return spawns_dir_override ? *spawns_dir_override : dat_dir / "spawns";
}

SiteDirs site_dirs_from(const EnvLookup& env) {
  SiteDirs dirs;
  if (auto dat = non_empty(env, "RAVELIN_DAT_DIR")) dirs.dat_candidates.emplace_back(*dat);
  std::optional<fs::path> data_home;
  if (auto xdg = non_empty(env, "XDG_DATA_HOME"); xdg && fs::path(*xdg).is_absolute()) {
    data_home = *xdg;
  } else if (auto home = non_empty(env, "HOME")) {
    data_home = fs::path(*home) / ".local" / "share";
  }
  if (data_home) dirs.dat_candidates.push_back(*data_home / "ravelin" / "dat");
  if (auto spawns = non_empty(env, "RAVELIN_SPAWNS_DIR")) dirs.spawns_dir_override = *spawns;
  if (auto scratch = non_empty(env, "RAVELIN_SCRATCH_DIR")) {
    dirs.scratch_dir = *scratch;
  } else {
    dirs.scratch_dir = fs::path(non_empty(env, "TMPDIR").value_or("/tmp")) / "ravelin-event-bake";
  }
  return dirs;
}

SiteDirs site_dirs_from_environment() {
  return site_dirs_from([](std::string_view name) -> std::optional<std::string> {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  });
}

bool holds_archives(const fs::path& dir, common::FileSystem& files) {
  return is_regular_file_followed(dir / event_bake::kPortalArchiveName, files) &&
         is_regular_file_followed(dir / event_bake::kCellArchiveName, files);
}

std::optional<fs::path> find_dat_dir(const std::vector<fs::path>& candidates, common::FileSystem& files) {
  for (const auto& dir : candidates) {
    if (holds_archives(dir, files)) return dir;
  }
  return std::nullopt;
}

std::string site_dirs_help() {
  return R"(determinism_100x: bakes landblock 0xA9B4 101 times and checks that every run's
JSON Lines manifest is byte-identical; the report goes to standard error.

Where it looks (empty variables count as unset):
  DAT directory    the first of these holding both client_portal.dat and
                   client_cell_1.dat as regular files (symbolic links followed):
                     1. $RAVELIN_DAT_DIR
                     2. $XDG_DATA_HOME/ravelin/dat (XDG_DATA_HOME defaults to
                        ~/.local/share)
                   none found: both checks print "SKIP — no dat" and pass.
  spawns directory $RAVELIN_SPAWNS_DIR, default "spawns" inside the DAT
                   directory; holds wcid_to_setup.json and 0xA9B4.spawns.jsonl.
                   Without the directory or the setup table the second check
                   prints its SKIP line and passes.
  scratch copy     $RAVELIN_SCRATCH_DIR/0xA9B4.events.jsonl, default directory
                   "ravelin-event-bake" inside $TMPDIR (or /tmp); created with
                   its parents, write failures ignored.

)";
}

}  // namespace ravelin::runner
