// The machine-specific places the determinism checks read and write: where a
// copy of the game client's archives may be, where the spawns manifest is
// staged and where the baked manifest's scratch copy goes. All come from the
// environment, so the runner can be pointed anywhere without rebuilding.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"

namespace ravelin::runner {

// Looks a variable up; nothing when it is unset.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;

struct SiteDirs {
  // Candidate DAT directories in search order.
  std::vector<std::filesystem::path> dat_candidates;
  // $RAVELIN_SPAWNS_DIR when set and not empty.
  std::optional<std::filesystem::path> spawns_dir_override;
  std::filesystem::path scratch_dir;

  // The spawns directory for the DAT directory the search found: the override,
  // or "spawns" inside `dat_dir`.
  std::filesystem::path spawns_dir(const std::filesystem::path& dat_dir) const;
};

// Resolves the places from `env` (empty values count as unset):
// candidates $RAVELIN_DAT_DIR, then $XDG_DATA_HOME/ravelin/dat with
// XDG_DATA_HOME defaulting to $HOME/.local/share (a relative XDG_DATA_HOME is
// ignored, as the base-directory convention says; without HOME there is no
// second candidate); spawns $RAVELIN_SPAWNS_DIR; scratch $RAVELIN_SCRATCH_DIR,
// else "ravelin-event-bake" inside $TMPDIR, else inside /tmp.
SiteDirs site_dirs_from(const EnvLookup& env);
// The same over the process environment.
SiteDirs site_dirs_from_environment();

// True when "client_portal.dat" and "client_cell_1.dat" both exist in `dir` as
// regular files (symbolic links followed).
bool holds_archives(const std::filesystem::path& dir, common::FileSystem& fs = common::default_file_system());

// The first candidate that holds both archives, or nothing.
std::optional<std::filesystem::path> find_dat_dir(const std::vector<std::filesystem::path>& candidates,
                                                  common::FileSystem& fs = common::default_file_system());

// The paragraph `determinism_100x --help` prints about these places.
std::string site_dirs_help();

}  // namespace ravelin::runner
