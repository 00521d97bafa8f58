#include "tools/world_db.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "ravelin/common/file.h"

namespace ravelin::tools {
namespace fs = std::filesystem;

namespace {

// Landblocks per transaction: large enough that commits cost nothing, small
// enough that a batch's pages stay in the page cache.
constexpr std::size_t kLandblocksPerBatch = 512;

// Column lists follow the manifest's member names, in its order; the constant
// members ("source", "trigger", "anchor") are left out.
constexpr const char* kSchema = R"sql(
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;
CREATE TABLE landblocks (
  landblock_id INTEGER PRIMARY KEY, position INTEGER NOT NULL, x INTEGER NOT NULL, y INTEGER NOT NULL,
  ambient INTEGER, animation_sound INTEGER, physics_script_particle INTEGER, sky_chain INTEGER, bytes INTEGER,
  error TEXT);
CREATE TABLE ambient (
  landblock_id INTEGER NOT NULL, line INTEGER NOT NULL, terrain_type INTEGER, scene_type INTEGER,
  scene_info_idx INTEGER, stb_index INTEGER, stb_id INTEGER, vertex_indices TEXT,
  PRIMARY KEY (landblock_id, line)) WITHOUT ROWID;
CREATE TABLE ambient_sounds (
  landblock_id INTEGER NOT NULL, line INTEGER NOT NULL, sound_idx INTEGER NOT NULL, s_type INTEGER, volume REAL,
  base_chance REAL, min_rate REAL, max_rate REAL, continuous INTEGER,
  PRIMARY KEY (landblock_id, line, sound_idx)) WITHOUT ROWID;
CREATE TABLE animation_sound (
  landblock_id INTEGER NOT NULL, line INTEGER NOT NULL, csetup_id INTEGER, motion_table_id INTEGER,
  motion_key INTEGER, motion_kind INTEGER, link_outer_key INTEGER, is_default_stance INTEGER,
  animation_did INTEGER, hook_frame INTEGER, hook_type INTEGER, sound_id INTEGER, priority REAL,
  probability REAL, volume REAL,
  PRIMARY KEY (landblock_id, line)) WITHOUT ROWID;
CREATE TABLE physics_script_particle (
  landblock_id INTEGER NOT NULL, line INTEGER NOT NULL, default_script_id INTEGER, start_time_s REAL,
  emitter_id INTEGER, part_index INTEGER, blocking INTEGER,
  PRIMARY KEY (landblock_id, line)) WITHOUT ROWID;
CREATE TABLE sky_chain (
  line INTEGER PRIMARY KEY, day_group_idx INTEGER, day_group_name TEXT, day_group_chance REAL,
  active_fraction_start REAL, active_fraction_end REAL, sky_object_idx INTEGER, sky_object_id INTEGER,
  physics_script_id INTEGER, physics_script_source TEXT, hook_idx INTEGER, start_time_s REAL,
  emitter_id INTEGER, blocking INTEGER);
CREATE TABLE placed_objects (
  landblock_id INTEGER NOT NULL, idx INTEGER NOT NULL, id INTEGER, origin_x REAL, origin_y REAL, origin_z REAL,
  orientation_w REAL, orientation_x REAL, orientation_y REAL, orientation_z REAL, is_setup INTEGER,
  PRIMARY KEY (landblock_id, idx)) WITHOUT ROWID;
CREATE TABLE setups (
  setup_id INTEGER PRIMARY KEY, decoded INTEGER, motion_table_id INTEGER, default_script_id INTEGER);
CREATE TABLE spawned_setups (
  landblock_id INTEGER NOT NULL, idx INTEGER NOT NULL, wcid INTEGER, setup_id INTEGER,
  PRIMARY KEY (landblock_id, idx)) WITHOUT ROWID;
)sql";

// Built after the rows: one pass over a finished table is cheaper than
// keeping an index in order through millions of inserts.
constexpr const char* kIndexes = R"sql(
CREATE INDEX ambient_stb_id ON ambient (stb_id);
CREATE INDEX animation_sound_sound_id ON animation_sound (sound_id);
CREATE INDEX animation_sound_csetup_id ON animation_sound (csetup_id);
CREATE INDEX physics_script_particle_emitter_id ON physics_script_particle (emitter_id);
CREATE INDEX physics_script_particle_default_script_id ON physics_script_particle (default_script_id);
CREATE INDEX sky_chain_emitter_id ON sky_chain (emitter_id);
CREATE INDEX sky_chain_physics_script_id ON sky_chain (physics_script_id);
CREATE INDEX placed_objects_id ON placed_objects (id);
CREATE INDEX spawned_setups_setup_id ON spawned_setups (setup_id);
CREATE INDEX setups_default_script_id ON setups (default_script_id);
)sql";

enum Statement : std::size_t {
  kMeta,
  kLandblock,
  kAmbient,
  kAmbientSound,
  kAnimationSound,
  kPhysicsParticle,
  kSky,
  kPlacedObject,
  kSpawnedSetup,
  kSetup,
  kStatementCount
};

constexpr std::array<const char*, kStatementCount> kInserts = {
    "INSERT OR REPLACE INTO meta VALUES (?,?)",
    "INSERT INTO landblocks VALUES (?,?,?,?,?,?,?,?,?,?)",
    "INSERT INTO ambient VALUES (?,?,?,?,?,?,?,?)",
    "INSERT INTO ambient_sounds VALUES (?,?,?,?,?,?,?,?,?)",
    "INSERT INTO animation_sound VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
    "INSERT INTO physics_script_particle VALUES (?,?,?,?,?,?,?)",
    "INSERT INTO sky_chain VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
    "INSERT INTO placed_objects VALUES (?,?,?,?,?,?,?,?,?,?,?)",
    "INSERT INTO spawned_setups VALUES (?,?,?,?)",
    "INSERT INTO setups VALUES (?,?,?,?)",
};

// "[0,9,18]", as the manifest writes vertex_indices.
std::string integer_array(const std::vector<std::uint32_t>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ',';
    out += std::to_string(values[i]);
  }
  out += ']';
  return out;
}

}  // namespace

// The open connection and its prepared inserts.
struct WorldDb::Sqlite {
  sqlite3* db = nullptr;
  std::array<sqlite3_stmt*, kStatementCount> inserts{};

  ~Sqlite() { close(); }
  void close() {
    for (sqlite3_stmt*& statement : inserts) {
      sqlite3_finalize(statement);
      statement = nullptr;
    }
    if (db != nullptr) sqlite3_close(db);
    db = nullptr;
  }

  std::string error(const char* what) const {
    return std::string("database ") + what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
  }
  std::expected<void, std::string> exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return std::unexpected(error("write"));
    return {};
  }

  // A row: binds each value in turn to the statement's next parameter.
  class Row {
   public:
    Row(Sqlite& owner, Statement which) : owner_(owner), statement_(owner.inserts[which]) {}
    Row& integer(std::int64_t value) {
      sqlite3_bind_int64(statement_, ++column_, value);
      return *this;
    }
    // SQLite stores a NaN as NULL.
    Row& real(double value) {
      sqlite3_bind_double(statement_, ++column_, value);
      return *this;
    }
    Row& text(std::string_view value) {
      sqlite3_bind_text(statement_, ++column_, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
      return *this;
    }
    Row& null() {
      sqlite3_bind_null(statement_, ++column_);
      return *this;
    }
    std::expected<void, std::string> insert() {
      const int rc = sqlite3_step(statement_);
      sqlite3_reset(statement_);
      if (rc != SQLITE_DONE) return std::unexpected(owner_.error("insert"));
      return {};
    }

   private:
    Sqlite& owner_;
    sqlite3_stmt* statement_;
    int column_ = 0;
  };
  Row row(Statement which) { return Row(*this, which); }
};

WorldDb::WorldDb(fs::path path, std::unique_ptr<Sqlite> db)
    : path_(std::move(path)), temp_path_(path_.string() + ".part"), db_(std::move(db)) {}

WorldDb::~WorldDb() {
  if (finished_) return;
  db_->close();
  std::error_code ignored;
  fs::remove(temp_path_, ignored);
}

std::expected<std::unique_ptr<WorldDb>, std::string> WorldDb::create(const fs::path& path) {
  auto sqlite = std::make_unique<Sqlite>();
  std::unique_ptr<WorldDb> world(new WorldDb(path, std::move(sqlite)));
  Sqlite& s = *world->db_;
  const std::string shown = common::display_path(world->temp_path_);
  std::error_code ec;
  fs::remove(world->temp_path_, ec);  // a leftover of a run that was killed
  if (ec) return std::unexpected("IO error: remove " + shown + ": " + ec.message());
  if (sqlite3_open_v2(world->temp_path_.c_str(), &s.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK)
    return std::unexpected(s.error(("create " + shown).c_str()));
  // The file is private until renamed, so no journal and no syncs: it is
  // synced once, whole, before the rename.
  if (auto r = s.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
                      "PRAGMA cache_size = -32768; PRAGMA temp_store = MEMORY;");
      !r)
    return std::unexpected(r.error());
  if (auto r = s.exec(("PRAGMA user_version = " + std::to_string(kWorldDbSchemaVersion) + ";").c_str()); !r)
    return std::unexpected(r.error());
  if (auto r = s.exec(kSchema); !r) return std::unexpected(r.error());
  for (std::size_t i = 0; i < kStatementCount; ++i)
    if (sqlite3_prepare_v3(s.db, kInserts[i], -1, SQLITE_PREPARE_PERSISTENT, &s.inserts[i], nullptr) != SQLITE_OK)
      return std::unexpected(s.error("prepare"));
  if (auto r = s.exec("BEGIN"); !r) return std::unexpected(r.error());
  return world;
}

std::expected<void, std::string> WorldDb::add_meta(const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& [key, value] : entries)
    if (auto r = db_->row(kMeta).text(key).text(value).insert(); !r) return r;
  return {};
}

std::expected<void, std::string> WorldDb::add_sky(const std::vector<event_bake::SkyParticleTrigger>& sky) {
  for (std::size_t line = 0; line < sky.size(); ++line) {
    const event_bake::SkyParticleTrigger& e = sky[line];
    auto r = db_->row(kSky)
                 .integer(static_cast<std::int64_t>(line))
                 .integer(e.day_group_idx)
                 .text(e.day_group_name)
                 .real(e.day_group_chance)
                 .real(e.active_fraction_start)
                 .real(e.active_fraction_end)
                 .integer(e.sky_object_idx)
                 .integer(e.sky_object_id)
                 .integer(e.physics_script_id)
                 .text(event_bake::jsonl_name(e.physics_script_source))
                 .integer(e.hook_idx)
                 .real(e.start_time_s)
                 .integer(e.emitter_id)
                 .integer(e.blocking ? 1 : 0)
                 .insert();
    if (!r) return r;
  }
  return {};
}

std::expected<void, std::string> WorldDb::add_landblock(const WorldDbLandblock& landblock) {
  const std::int64_t id = landblock.landblock_id;
  const event_bake::LandblockEventBake* bake = landblock.bake;
  {
    auto row = db_->row(kLandblock).integer(id).integer(position_++);
    row.integer((landblock.landblock_id >> 24) & 0xFF).integer((landblock.landblock_id >> 16) & 0xFF);
    if (bake != nullptr) {
      row.integer(static_cast<std::int64_t>(bake->ambient_terrain_events.size()))
          .integer(static_cast<std::int64_t>(bake->anim_hook_events.size()))
          .integer(static_cast<std::int64_t>(bake->physics_particle_events.size()))
          .integer(static_cast<std::int64_t>(bake->sky_particle_events.size()))
          .integer(static_cast<std::int64_t>(landblock.bytes))
          .null();
    } else {
      row.null().null().null().null().null().text(landblock.error);
    }
    if (auto r = row.insert(); !r) return r;
  }

  if (bake != nullptr) {
    // `line` counts through the whole manifest, as its lines are numbered.
    std::int64_t line = 0;
    for (const event_bake::AmbientTrigger& e : bake->ambient_terrain_events) {
      auto r = db_->row(kAmbient)
                   .integer(id)
                   .integer(line)
                   .integer(e.terrain_type)
                   .integer(e.scene_type)
                   .integer(e.scene_info_idx)
                   .integer(e.stb_index)
                   .integer(e.stb_id)
                   .text(integer_array(e.vertex_indices))
                   .insert();
      if (!r) return r;
      for (std::size_t k = 0; k < e.ambient_sounds.size(); ++k) {
        const event_bake::AmbientSoundRecord& sound = e.ambient_sounds[k];
        auto rs = db_->row(kAmbientSound)
                      .integer(id)
                      .integer(line)
                      .integer(static_cast<std::int64_t>(k))
                      .integer(sound.s_type)
                      .real(sound.volume)
                      .real(sound.base_chance)
                      .real(sound.min_rate)
                      .real(sound.max_rate)
                      .integer(sound.continuous ? 1 : 0)
                      .insert();
        if (!rs) return rs;
      }
      ++line;
    }
    for (const event_bake::AnimSoundTrigger& e : bake->anim_hook_events) {
      auto row = db_->row(kAnimationSound);
      row.integer(id).integer(line++).integer(e.csetup_id).integer(e.motion_table_id).integer(e.motion_key);
      row.integer(e.motion_kind);
      if (e.link_outer_key) {
        row.integer(*e.link_outer_key);
      } else {
        row.null();
      }
      row.integer(e.is_default_stance ? 1 : 0).integer(e.animation_did).integer(e.hook_frame).integer(e.hook_type);
      row.integer(e.sound_id).real(e.priority).real(e.probability).real(e.volume);
      if (auto r = row.insert(); !r) return r;
    }
    for (const event_bake::PhysicsScriptParticleTrigger& e : bake->physics_particle_events) {
      auto r = db_->row(kPhysicsParticle)
                   .integer(id)
                   .integer(line++)
                   .integer(e.default_script_id)
                   .real(e.start_time_s)
                   .integer(e.emitter_id)
                   .integer(e.part_index)
                   .integer(e.blocking ? 1 : 0)
                   .insert();
      if (!r) return r;
    }
  }

  for (std::size_t i = 0; i < landblock.placed_objects.size(); ++i) {
    const auto& object = landblock.placed_objects[i];
    const auto& frame = object.stab.frame;
    auto r = db_->row(kPlacedObject)
                 .integer(id)
                 .integer(static_cast<std::int64_t>(i))
                 .integer(object.stab.id)
                 .real(frame.origin.x)
                 .real(frame.origin.y)
                 .real(frame.origin.z)
                 .real(frame.orientation.w)
                 .real(frame.orientation.x)
                 .real(frame.orientation.y)
                 .real(frame.orientation.z)
                 .integer(object.is_setup ? 1 : 0)
                 .insert();
    if (!r) return r;
  }
  for (std::size_t i = 0; i < landblock.spawned_setups.size(); ++i) {
    const auto& spawned = landblock.spawned_setups[i];
    auto r = db_->row(kSpawnedSetup)
                 .integer(id)
                 .integer(static_cast<std::int64_t>(i))
                 .integer(spawned.wcid)
                 .integer(spawned.setup_id)
                 .insert();
    if (!r) return r;
  }

  if (++landblocks_in_batch_ == kLandblocksPerBatch) {
    landblocks_in_batch_ = 0;
    if (auto r = db_->exec("COMMIT; BEGIN"); !r) return r;
  }
  return {};
}

std::expected<void, std::string> WorldDb::add_setups(const std::vector<WorldDbSetup>& setups) {
  for (const WorldDbSetup& setup : setups) {
    auto row = db_->row(kSetup).integer(setup.setup_id).integer(setup.decoded ? 1 : 0);
    if (setup.motion_table_id) {
      row.integer(*setup.motion_table_id);
    } else {
      row.null();
    }
    if (setup.default_script_id) {
      row.integer(*setup.default_script_id);
    } else {
      row.null();
    }
    if (auto r = row.insert(); !r) return r;
  }
  return {};
}

std::expected<void, std::string> WorldDb::finish() {
  if (auto r = db_->exec("COMMIT"); !r) return r;
  if (auto r = db_->exec(kIndexes); !r) return r;
  db_->close();
  // The one sync: the whole file, before it takes the final name.
  const std::string shown = common::display_path(temp_path_);
  const int fd = ::open(temp_path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int code = errno;
    if (fd >= 0) ::close(fd);
    return std::unexpected("IO error: sync " + shown + ": " + std::strerror(code));
  }
  ::close(fd);
  std::error_code ec;
  fs::rename(temp_path_, path_, ec);
  if (ec) return std::unexpected("IO error: rename " + shown + ": " + ec.message());
  finished_ = true;
  return {};
}

std::string world_db_path_problem(const fs::path& path) {
  const std::string shown = common::display_path(path);
  std::error_code ec;
  if (fs::is_directory(path, ec)) return "IO error: database " + shown + ": is a directory";
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string shown_dir = common::display_path(dir);
  const auto status = fs::status(dir, ec);
  if (ec || !fs::exists(status))
    return "IO error: database " + shown + ": directory " + shown_dir + ": " +
           (ec ? ec.message() : std::string("No such file or directory"));
  if (!fs::is_directory(status)) return "IO error: database " + shown + ": " + shown_dir + " is not a directory";
  if (::access(dir.c_str(), W_OK | X_OK) != 0)
    return "IO error: database " + shown + ": directory " + shown_dir + ": " + std::strerror(errno);
  return {};
}

}  // namespace ravelin::tools
