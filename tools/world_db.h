// The SQLite database of a bake-all run: every event of every landblock as
// rows, the placed objects, the spawns lines used and the run's inputs. It is
// built under a temporary name and put in place only when complete (an output
// file written by SQLite), so the file at the final path is always either the
// earlier one or a whole new database. Every table's columns, with their types
// and the value each row binds, are listed once in world_db.cpp; the schema
// and the inserts are made from that list.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/common/output_file.h"
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
  const std::vector<event_bake::BakeSession::PlacedObject>* placed_objects = nullptr;
  const std::vector<event_bake::BakeSession::SpawnedSetup>* spawned_setups = nullptr;
};

// A setup model the run placed: what its record names, for joining objects
// to their events (nothing named when it could not be decoded).
struct WorldDbSetup {
  std::uint32_t setup_id = 0;
  bool decoded = false;
  std::optional<std::uint32_t> motion_table_id;
  std::optional<std::uint32_t> default_script_id;
};

using WorldDbResult = std::expected<void, std::string>;

class WorldDb {
 public:
  // Creates the database at its temporary path (replacing a leftover one)
  // with every table, and starts the first batch. Errors name the file.
  static std::expected<std::unique_ptr<WorldDb>, std::string> create(const common::Path& path);

  // Removes the temporary file unless finish() succeeded.
  ~WorldDb();
  WorldDb(const WorldDb&) = delete;
  WorldDb& operator=(const WorldDb&) = delete;

  WorldDbResult add_meta(const std::vector<std::pair<std::string, std::string>>& entries);
  // The region's sky lines, stored once for every landblock.
  WorldDbResult add_sky(const std::vector<event_bake::SkyParticleTrigger>& sky);
  // One landblock's rows, in the order of the run; a batch is committed every
  // few hundred landblocks.
  WorldDbResult add_landblock(const WorldDbLandblock& landblock);
  // The setup models the landblocks placed, each once.
  WorldDbResult add_setups(const std::vector<WorldDbSetup>& setups);
  // Commits, builds the indexes, closes the file and puts it in place, synced.
  WorldDbResult finish();

  const common::Path& path() const;

 private:
  struct Sqlite;
  WorldDb(common::OutputFile file, std::unique_ptr<Sqlite> db);

  common::OutputFile file_;
  std::unique_ptr<Sqlite> db_;
  std::size_t landblocks_in_batch_ = 0;
  std::int64_t position_ = 0;
};

// An error when `path` cannot become a database file: its directory missing,
// not a directory or not writable, or `path` itself a directory. Empty when
// it looks writable.
std::string world_db_path_problem(const common::Path& path);

}  // namespace ravelin::tools
