// The SQLite database of a bake-all run: every event of every landblock as
// rows, the placed objects, the spawns lines used and the run's inputs. It is
// built under a temporary name and renamed into place only when complete, so
// the file at the final path is always either the earlier one or a whole new
// database.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/event_bake/manifest.h"
#include "ravelin/event_bake/session.h"

namespace ravelin::tools {

// The layout of the tables; PRAGMA user_version holds it.
inline constexpr int kWorldDbSchemaVersion = 1;

// What one landblock of the run contributes.
struct WorldDbLandblock {
  std::uint32_t landblock_id = 0;
  const event_bake::LandblockEventBake* bake = nullptr;  // null when the bake failed
  std::size_t bytes = 0;                                 // of the manifest
  std::string error;                                     // the index's text when the bake failed
  std::vector<event_bake::BakeSession::PlacedObject> placed_objects;
  std::vector<event_bake::BakeSession::SpawnedSetup> spawned_setups;
};

// A setup model the run placed: what its record names, for joining objects
// to their events (nothing named when it could not be decoded).
struct WorldDbSetup {
  std::uint32_t setup_id = 0;
  bool decoded = false;
  std::optional<std::uint32_t> motion_table_id;
  std::optional<std::uint32_t> default_script_id;
};

class WorldDb {
 public:
  // Creates the database at `path` + ".part" (replacing a leftover one) with
  // every table, and starts the first batch. Errors name the file.
  static std::expected<std::unique_ptr<WorldDb>, std::string> create(const std::filesystem::path& path);

  // Removes the temporary file unless finish() succeeded.
  ~WorldDb();
  WorldDb(const WorldDb&) = delete;
  WorldDb& operator=(const WorldDb&) = delete;

  std::expected<void, std::string> add_meta(const std::vector<std::pair<std::string, std::string>>& entries);
  // The region's sky lines, stored once for every landblock.
  std::expected<void, std::string> add_sky(const std::vector<event_bake::SkyParticleTrigger>& sky);
  // One landblock's rows, in the order of the run; a batch is committed every
  // few hundred landblocks.
  std::expected<void, std::string> add_landblock(const WorldDbLandblock& landblock);
  // The setup models the landblocks placed, each once.
  std::expected<void, std::string> add_setups(const std::vector<WorldDbSetup>& setups);
  // Commits, builds the indexes, closes and syncs the file, and renames it to
  // the final path.
  std::expected<void, std::string> finish();

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Sqlite;
  WorldDb(std::filesystem::path path, std::unique_ptr<Sqlite> db);

  std::filesystem::path path_;
  std::filesystem::path temp_path_;
  std::unique_ptr<Sqlite> db_;
  std::size_t landblocks_in_batch_ = 0;
  std::int64_t position_ = 0;
  bool finished_ = false;
};

// An error when `path` cannot become a database file: its directory missing,
// not a directory or not writable, or `path` itself a directory. Empty when
// it looks writable.
std::string world_db_path_problem(const std::filesystem::path& path);

}  // namespace ravelin::tools
