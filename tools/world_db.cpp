#include "tools/world_db.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <span>
#include <string_view>

#include "ravelin/common/file_system.h"
#include "ravelin/event_bake/event_family.h"

namespace ravelin::tools {
namespace {

using event_bake::EventFamily;

// Landblocks per transaction: large enough that commits cost nothing, small
// enough that a batch's pages stay in the page cache.
constexpr std::size_t kLandblocksPerBatch = 512;

// Binds a row's values to an insert's parameters, one after the other.
class Binder {
 public:
  explicit Binder(sqlite3_stmt* statement) : statement_(statement) {}
  void integer(std::int64_t value) { sqlite3_bind_int64(statement_, ++column_, value); }
  // SQLite stores a NaN as NULL.
  void real(double value) { sqlite3_bind_double(statement_, ++column_, value); }
  void text(std::string_view value) {
    sqlite3_bind_text(statement_, ++column_, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  }
  void null() { sqlite3_bind_null(statement_, ++column_); }
  template <class T>
  void optional_integer(const std::optional<T>& value) {
    if (value) integer(*value);
    else null();
  }

 private:
  sqlite3_stmt* statement_;
  int column_ = 0;
};

// One column of a table: its name, its declared type, and how a row's value
// is bound from what the row is made of.
template <class Source>
struct Column {
  std::string_view name;
  std::string_view type;
  void (*bind)(Binder&, const Source&);
};

// What a row is made of, table by table. Event rows carry `line`, their
// line's number in the whole manifest.
struct MetaRow {
  std::string_view key, value;
};
struct LandblockRow {
  const WorldDbLandblock& landblock;
  std::int64_t position;
};
template <class Event>
struct EventRow {
  std::int64_t landblock_id;
  std::int64_t line;
  const Event& event;
};
struct AmbientSoundRow {
  std::int64_t landblock_id;
  std::int64_t line;
  std::int64_t sound_idx;
  const event_bake::AmbientSoundRecord& sound;
};
template <class Object>
struct ListRow {
  std::int64_t landblock_id;
  std::int64_t idx;
  const Object& object;
};
using AmbientRow = EventRow<event_bake::AmbientTrigger>;
using AnimationSoundRow = EventRow<event_bake::AnimSoundTrigger>;
using ParticleRow = EventRow<event_bake::PhysicsScriptParticleTrigger>;
struct SkyRow {
  std::int64_t line;
  const event_bake::SkyParticleTrigger& event;
};
using PlacedObjectRow = ListRow<event_bake::BakeSession::PlacedObject>;
using SpawnedSetupRow = ListRow<event_bake::BakeSession::SpawnedSetup>;

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

constexpr std::string_view table_of(EventFamily family) { return event_bake::event_family_info(family).table; }

// A landblock's count of one family, null when its bake failed.
template <EventFamily family>
constexpr Column<LandblockRow> count_column() {
  return {event_bake::event_family_info(family).source, "INTEGER", [](Binder& b, const LandblockRow& r) {
            if (r.landblock.bake != nullptr) b.integer(static_cast<std::int64_t>(r.landblock.bake->counts()[index_of(family)]));
            else b.null();
          }};
}

// Column names follow the manifest's member names, in its order; the constant
// members ("source", "trigger", "anchor") are left out.
constexpr Column<MetaRow> kMetaColumns[] = {
    {"key", "TEXT PRIMARY KEY", [](Binder& b, const MetaRow& r) { b.text(r.key); }},
    {"value", "TEXT", [](Binder& b, const MetaRow& r) { b.text(r.value); }},
};

constexpr Column<LandblockRow> kLandblockColumns[] = {
    {"landblock_id", "INTEGER PRIMARY KEY", [](Binder& b, const LandblockRow& r) { b.integer(r.landblock.landblock_id); }},
    {"position", "INTEGER NOT NULL", [](Binder& b, const LandblockRow& r) { b.integer(r.position); }},
    {"x", "INTEGER NOT NULL", [](Binder& b, const LandblockRow& r) { b.integer((r.landblock.landblock_id >> 24) & 0xFF); }},
    {"y", "INTEGER NOT NULL", [](Binder& b, const LandblockRow& r) { b.integer((r.landblock.landblock_id >> 16) & 0xFF); }},
    count_column<EventFamily::Ambient>(),
    count_column<EventFamily::AnimationSound>(),
    count_column<EventFamily::PhysicsParticle>(),
    count_column<EventFamily::Sky>(),
    {"bytes", "INTEGER",
     [](Binder& b, const LandblockRow& r) {
       if (r.landblock.bake != nullptr) b.integer(static_cast<std::int64_t>(r.landblock.bytes));
       else b.null();
     }},
    {"error", "TEXT",
     [](Binder& b, const LandblockRow& r) {
       if (r.landblock.bake != nullptr) b.null();
       else b.text(r.landblock.error);
     }},
};

constexpr Column<AmbientRow> kAmbientColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const AmbientRow& r) { b.integer(r.landblock_id); }},
    {"line", "INTEGER NOT NULL", [](Binder& b, const AmbientRow& r) { b.integer(r.line); }},
    {"terrain_type", "INTEGER", [](Binder& b, const AmbientRow& r) { b.integer(r.event.terrain_type); }},
    {"scene_type", "INTEGER", [](Binder& b, const AmbientRow& r) { b.integer(r.event.scene_type); }},
    {"scene_info_idx", "INTEGER", [](Binder& b, const AmbientRow& r) { b.integer(r.event.scene_info_idx); }},
    {"stb_index", "INTEGER", [](Binder& b, const AmbientRow& r) { b.integer(r.event.stb_index); }},
    {"stb_id", "INTEGER", [](Binder& b, const AmbientRow& r) { b.integer(r.event.stb_id); }},
    {"vertex_indices", "TEXT", [](Binder& b, const AmbientRow& r) { b.text(integer_array(r.event.vertex_indices)); }},
};

constexpr Column<AmbientSoundRow> kAmbientSoundColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const AmbientSoundRow& r) { b.integer(r.landblock_id); }},
    {"line", "INTEGER NOT NULL", [](Binder& b, const AmbientSoundRow& r) { b.integer(r.line); }},
    {"sound_idx", "INTEGER NOT NULL", [](Binder& b, const AmbientSoundRow& r) { b.integer(r.sound_idx); }},
    {"s_type", "INTEGER", [](Binder& b, const AmbientSoundRow& r) { b.integer(r.sound.s_type); }},
    {"volume", "REAL", [](Binder& b, const AmbientSoundRow& r) { b.real(r.sound.volume); }},
    {"base_chance", "REAL", [](Binder& b, const AmbientSoundRow& r) { b.real(r.sound.base_chance); }},
    {"min_rate", "REAL", [](Binder& b, const AmbientSoundRow& r) { b.real(r.sound.min_rate); }},
    {"max_rate", "REAL", [](Binder& b, const AmbientSoundRow& r) { b.real(r.sound.max_rate); }},
    {"continuous", "INTEGER", [](Binder& b, const AmbientSoundRow& r) { b.integer(r.sound.continuous ? 1 : 0); }},
};

constexpr Column<AnimationSoundRow> kAnimationSoundColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.landblock_id); }},
    {"line", "INTEGER NOT NULL", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.line); }},
    {"csetup_id", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.csetup_id); }},
    {"motion_table_id", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.motion_table_id); }},
    {"motion_key", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.motion_key); }},
    {"motion_kind", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.motion_kind); }},
    {"link_outer_key", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.optional_integer(r.event.link_outer_key); }},
    {"is_default_stance", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.is_default_stance ? 1 : 0); }},
    {"animation_did", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.animation_did); }},
    {"hook_frame", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.hook_frame); }},
    {"hook_type", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.hook_type); }},
    {"sound_id", "INTEGER", [](Binder& b, const AnimationSoundRow& r) { b.integer(r.event.sound_id); }},
    {"priority", "REAL", [](Binder& b, const AnimationSoundRow& r) { b.real(r.event.priority); }},
    {"probability", "REAL", [](Binder& b, const AnimationSoundRow& r) { b.real(r.event.probability); }},
    {"volume", "REAL", [](Binder& b, const AnimationSoundRow& r) { b.real(r.event.volume); }},
};

constexpr Column<ParticleRow> kParticleColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const ParticleRow& r) { b.integer(r.landblock_id); }},
    {"line", "INTEGER NOT NULL", [](Binder& b, const ParticleRow& r) { b.integer(r.line); }},
    {"default_script_id", "INTEGER", [](Binder& b, const ParticleRow& r) { b.integer(r.event.default_script_id); }},
    {"start_time_s", "REAL", [](Binder& b, const ParticleRow& r) { b.real(r.event.start_time_s); }},
    {"emitter_id", "INTEGER", [](Binder& b, const ParticleRow& r) { b.integer(r.event.emitter_id); }},
    {"part_index", "INTEGER", [](Binder& b, const ParticleRow& r) { b.integer(r.event.part_index); }},
    {"blocking", "INTEGER", [](Binder& b, const ParticleRow& r) { b.integer(r.event.blocking ? 1 : 0); }},
};

constexpr Column<SkyRow> kSkyColumns[] = {
    {"line", "INTEGER PRIMARY KEY", [](Binder& b, const SkyRow& r) { b.integer(r.line); }},
    {"day_group_idx", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.day_group_idx); }},
    {"day_group_name", "TEXT", [](Binder& b, const SkyRow& r) { b.text(r.event.day_group_name); }},
    {"day_group_chance", "REAL", [](Binder& b, const SkyRow& r) { b.real(r.event.day_group_chance); }},
    {"active_fraction_start", "REAL", [](Binder& b, const SkyRow& r) { b.real(r.event.active_fraction_start); }},
    {"active_fraction_end", "REAL", [](Binder& b, const SkyRow& r) { b.real(r.event.active_fraction_end); }},
    {"sky_object_idx", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.sky_object_idx); }},
    {"sky_object_id", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.sky_object_id); }},
    {"physics_script_id", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.physics_script_id); }},
    {"physics_script_source", "TEXT",
     [](Binder& b, const SkyRow& r) { b.text(event_bake::jsonl_name(r.event.physics_script_source)); }},
    {"hook_idx", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.hook_idx); }},
    {"start_time_s", "REAL", [](Binder& b, const SkyRow& r) { b.real(r.event.start_time_s); }},
    {"emitter_id", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.emitter_id); }},
    {"blocking", "INTEGER", [](Binder& b, const SkyRow& r) { b.integer(r.event.blocking ? 1 : 0); }},
};

constexpr Column<PlacedObjectRow> kPlacedObjectColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const PlacedObjectRow& r) { b.integer(r.landblock_id); }},
    {"idx", "INTEGER NOT NULL", [](Binder& b, const PlacedObjectRow& r) { b.integer(r.idx); }},
    {"id", "INTEGER", [](Binder& b, const PlacedObjectRow& r) { b.integer(r.object.stab.id); }},
    {"origin_x", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.origin.x); }},
    {"origin_y", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.origin.y); }},
    {"origin_z", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.origin.z); }},
    {"orientation_w", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.orientation.w); }},
    {"orientation_x", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.orientation.x); }},
    {"orientation_y", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.orientation.y); }},
    {"orientation_z", "REAL", [](Binder& b, const PlacedObjectRow& r) { b.real(r.object.stab.frame.orientation.z); }},
    {"is_setup", "INTEGER", [](Binder& b, const PlacedObjectRow& r) { b.integer(r.object.is_setup ? 1 : 0); }},
};

constexpr Column<WorldDbSetup> kSetupColumns[] = {
    {"setup_id", "INTEGER PRIMARY KEY", [](Binder& b, const WorldDbSetup& r) { b.integer(r.setup_id); }},
    {"decoded", "INTEGER", [](Binder& b, const WorldDbSetup& r) { b.integer(r.decoded ? 1 : 0); }},
    {"motion_table_id", "INTEGER", [](Binder& b, const WorldDbSetup& r) { b.optional_integer(r.motion_table_id); }},
    {"default_script_id", "INTEGER", [](Binder& b, const WorldDbSetup& r) { b.optional_integer(r.default_script_id); }},
};

constexpr Column<SpawnedSetupRow> kSpawnedSetupColumns[] = {
    {"landblock_id", "INTEGER NOT NULL", [](Binder& b, const SpawnedSetupRow& r) { b.integer(r.landblock_id); }},
    {"idx", "INTEGER NOT NULL", [](Binder& b, const SpawnedSetupRow& r) { b.integer(r.idx); }},
    {"wcid", "INTEGER", [](Binder& b, const SpawnedSetupRow& r) { b.integer(r.object.wcid); }},
    {"setup_id", "INTEGER", [](Binder& b, const SpawnedSetupRow& r) { b.integer(r.object.setup_id); }},
};

// A table: its columns, what follows them in CREATE TABLE, and the indexes
// built once its rows are in (one pass over a finished table is cheaper than
// keeping an index in order through millions of inserts).
template <class Source>
struct Table {
  std::string_view name;
  std::span<const Column<Source>> columns;
  std::string_view constraints = {};  // after the columns: a composite primary key
  bool without_rowid = false;         // rows kept in primary key order
  std::array<std::string_view, 2> indexed = {};  // columns with an index of their own
  bool replace = false;  // INSERT OR REPLACE: a later row of the same key wins
};

constexpr std::string_view kKeyedByLine = "PRIMARY KEY (landblock_id, line)";
constexpr std::string_view kKeyedByIdx = "PRIMARY KEY (landblock_id, idx)";

const Table<MetaRow> kMeta{.name = "meta", .columns = kMetaColumns, .without_rowid = true, .replace = true};
const Table<LandblockRow> kLandblocks{.name = "landblocks", .columns = kLandblockColumns};
const Table<AmbientRow> kAmbient{.name = table_of(EventFamily::Ambient), .columns = kAmbientColumns,
                                 .constraints = kKeyedByLine, .without_rowid = true, .indexed = {"stb_id"}};
const Table<AmbientSoundRow> kAmbientSounds{.name = "ambient_sounds", .columns = kAmbientSoundColumns,
                                            .constraints = "PRIMARY KEY (landblock_id, line, sound_idx)",
                                            .without_rowid = true};
const Table<AnimationSoundRow> kAnimationSound{.name = table_of(EventFamily::AnimationSound),
                                               .columns = kAnimationSoundColumns, .constraints = kKeyedByLine,
                                               .without_rowid = true, .indexed = {"sound_id", "csetup_id"}};
const Table<ParticleRow> kParticle{.name = table_of(EventFamily::PhysicsParticle), .columns = kParticleColumns,
                                   .constraints = kKeyedByLine, .without_rowid = true,
                                   .indexed = {"emitter_id", "default_script_id"}};
const Table<SkyRow> kSky{.name = table_of(EventFamily::Sky), .columns = kSkyColumns,
                         .indexed = {"emitter_id", "physics_script_id"}};
const Table<PlacedObjectRow> kPlacedObjects{.name = "placed_objects", .columns = kPlacedObjectColumns,
                                            .constraints = kKeyedByIdx, .without_rowid = true, .indexed = {"id"}};
const Table<WorldDbSetup> kSetups{.name = "setups", .columns = kSetupColumns, .indexed = {"default_script_id"}};
const Table<SpawnedSetupRow> kSpawnedSetups{.name = "spawned_setups", .columns = kSpawnedSetupColumns,
                                            .constraints = kKeyedByIdx, .without_rowid = true,
                                            .indexed = {"setup_id"}};

template <class Source>
std::string create_table_sql(const Table<Source>& table) {
  std::string sql = "CREATE TABLE " + std::string(table.name) + " (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (i != 0) sql += ", ";
    sql += std::string(table.columns[i].name) + " " + std::string(table.columns[i].type);
  }
  if (!table.constraints.empty()) sql += ", " + std::string(table.constraints);
  sql += table.without_rowid ? ") WITHOUT ROWID;\n" : ");\n";
  return sql;
}

template <class Source>
std::string index_sql(const Table<Source>& table) {
  std::string sql;
  for (const std::string_view column : table.indexed) {
    if (column.empty()) continue;
    const std::string name(table.name), col(column);
    sql += "CREATE INDEX " + name + "_" + col + " ON " + name + " (" + col + ");\n";
  }
  return sql;
}

template <class Source>
std::string insert_sql(const Table<Source>& table) {
  std::string sql = table.replace ? "INSERT OR REPLACE INTO " : "INSERT INTO ";
  sql += std::string(table.name) + " VALUES (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) sql += i == 0 ? "?" : ",?";
  return sql + ")";
}

// A table with its prepared insert.
template <class Source>
struct Prepared {
  const Table<Source>& table;
  sqlite3_stmt* insert = nullptr;
};

}  // namespace

// The open connection and every table's prepared insert.
struct WorldDb::Sqlite {
  sqlite3* db = nullptr;
  common::Path shown_path;  // the final path, which errors name
  Prepared<MetaRow> meta{kMeta};
  Prepared<LandblockRow> landblocks{kLandblocks};
  Prepared<AmbientRow> ambient{kAmbient};
  Prepared<AmbientSoundRow> ambient_sounds{kAmbientSounds};
  Prepared<AnimationSoundRow> animation_sound{kAnimationSound};
  Prepared<ParticleRow> particle{kParticle};
  Prepared<SkyRow> sky{kSky};
  Prepared<PlacedObjectRow> placed_objects{kPlacedObjects};
  Prepared<WorldDbSetup> setups{kSetups};
  Prepared<SpawnedSetupRow> spawned_setups{kSpawnedSetups};

  // Calls `f` with every table, in the order they are created.
  template <class F>
  void each_table(F&& f) {
    f(meta);
    f(landblocks);
    f(ambient);
    f(ambient_sounds);
    f(animation_sound);
    f(particle);
    f(sky);
    f(placed_objects);
    f(setups);
    f(spawned_setups);
  }

  ~Sqlite() { close(); }
  void close() {
    each_table([](auto& prepared) {
      sqlite3_finalize(prepared.insert);
      prepared.insert = nullptr;
    });
    if (db != nullptr) sqlite3_close(db);
    db = nullptr;
  }

  // A full disk or a failed write is the file's I/O error, as every output's;
  // anything else is SQLite's own text.
  std::string error(const char* what) const {
    if (db == nullptr) return std::string("database ") + what + ": out of memory";
    const int code = sqlite3_errcode(db) & 0xFF;
    // SQLite reports a full disk as its own code, without the system's.
    if (code == SQLITE_FULL) return common::io_error_text("write", shown_path, std::strerror(ENOSPC));
    if (code == SQLITE_IOERR || code == SQLITE_CANTOPEN) {
      const int system = sqlite3_system_errno(db);
      return common::io_error_text("write", shown_path, system != 0 ? std::strerror(system) : sqlite3_errmsg(db));
    }
    return std::string("database ") + what + ": " + sqlite3_errmsg(db);
  }
  WorldDbResult exec(const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return std::unexpected(error("write"));
    return {};
  }

  WorldDbResult create_tables() {
    std::string schema;
    each_table([&](const auto& prepared) { schema += create_table_sql(prepared.table); });
    if (auto r = exec(schema); !r) return r;
    bool prepared_all = true;
    each_table([&](auto& prepared) {
      prepared_all = prepared_all && sqlite3_prepare_v3(db, insert_sql(prepared.table).c_str(), -1,
                                                        SQLITE_PREPARE_PERSISTENT, &prepared.insert, nullptr) == SQLITE_OK;
    });
    if (!prepared_all) return std::unexpected(error("prepare"));
    return {};
  }
  WorldDbResult create_indexes() {
    std::string sql;
    each_table([&](const auto& prepared) { sql += index_sql(prepared.table); });
    return exec(sql);
  }

  template <class Source>
  WorldDbResult insert(const Prepared<Source>& prepared, const Source& row) {
    Binder binder(prepared.insert);
    for (const Column<Source>& column : prepared.table.columns) column.bind(binder, row);
    const int rc = sqlite3_step(prepared.insert);
    sqlite3_reset(prepared.insert);
    if (rc != SQLITE_DONE) return std::unexpected(error("insert"));
    return {};
  }
};

WorldDb::WorldDb(common::OutputFile file, std::unique_ptr<Sqlite> db) : file_(std::move(file)), db_(std::move(db)) {}

WorldDb::~WorldDb() {
  db_->close();  // before the output file removes the temporary
}

const common::Path& WorldDb::path() const { return file_.path(); }

std::expected<std::unique_ptr<WorldDb>, std::string> WorldDb::create(const common::Path& path) {
  // A leftover of a run that was killed is removed first.
  auto file = common::OutputFile::for_external_writer(path);
  if (!file) return std::unexpected(file.error().to_string());
  auto sqlite = std::make_unique<Sqlite>();
  sqlite->shown_path = path;
  const common::Path temporary = file->temporary();
  std::unique_ptr<WorldDb> world(new WorldDb(std::move(*file), std::move(sqlite)));
  Sqlite& s = *world->db_;
  if (sqlite3_open_v2(temporary.c_str(), &s.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    return std::unexpected(s.error(("create " + common::display_path(temporary)).c_str()));
  // The file is private until renamed, so no journal and no syncs: it is
  // synced once, whole, before it takes its name.
  if (auto r = s.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
                      "PRAGMA cache_size = -32768; PRAGMA temp_store = MEMORY;");
      !r)
    return std::unexpected(r.error());
  if (auto r = s.exec("PRAGMA user_version = " + std::to_string(kWorldDbSchemaVersion) + ";"); !r)
    return std::unexpected(r.error());
  if (auto r = s.create_tables(); !r) return std::unexpected(r.error());
  if (auto r = s.exec("BEGIN"); !r) return std::unexpected(r.error());
  return world;
}

WorldDbResult WorldDb::add_meta(const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& [key, value] : entries)
    if (auto r = db_->insert(db_->meta, MetaRow{key, value}); !r) return r;
  return {};
}

WorldDbResult WorldDb::add_sky(const std::vector<event_bake::SkyParticleTrigger>& sky) {
  for (std::size_t line = 0; line < sky.size(); ++line)
    if (auto r = db_->insert(db_->sky, SkyRow{static_cast<std::int64_t>(line), sky[line]}); !r) return r;
  return {};
}

WorldDbResult WorldDb::add_landblock(const WorldDbLandblock& landblock) {
  const std::int64_t id = landblock.landblock_id;
  if (auto r = db_->insert(db_->landblocks, LandblockRow{landblock, position_++}); !r) return r;

  if (const event_bake::LandblockEventBake* bake = landblock.bake) {
    // `line` counts through the whole manifest, as its lines are numbered.
    std::int64_t line = 0;
    for (const event_bake::AmbientTrigger& e : bake->ambient_terrain_events) {
      if (auto r = db_->insert(db_->ambient, AmbientRow{id, line, e}); !r) return r;
      for (std::size_t k = 0; k < e.ambient_sounds.size(); ++k)
        if (auto r = db_->insert(db_->ambient_sounds,
                                 AmbientSoundRow{id, line, static_cast<std::int64_t>(k), e.ambient_sounds[k]});
            !r)
          return r;
      ++line;
    }
    for (const event_bake::AnimSoundTrigger& e : bake->anim_hook_events)
      if (auto r = db_->insert(db_->animation_sound, AnimationSoundRow{id, line++, e}); !r) return r;
    for (const event_bake::PhysicsScriptParticleTrigger& e : bake->physics_particle_events)
      if (auto r = db_->insert(db_->particle, ParticleRow{id, line++, e}); !r) return r;
  }
  if (landblock.placed_objects != nullptr)
    for (std::size_t i = 0; i < landblock.placed_objects->size(); ++i)
      if (auto r = db_->insert(db_->placed_objects,
                               PlacedObjectRow{id, static_cast<std::int64_t>(i), (*landblock.placed_objects)[i]});
          !r)
        return r;
  if (landblock.spawned_setups != nullptr)
    for (std::size_t i = 0; i < landblock.spawned_setups->size(); ++i)
      if (auto r = db_->insert(db_->spawned_setups,
                               SpawnedSetupRow{id, static_cast<std::int64_t>(i), (*landblock.spawned_setups)[i]});
          !r)
        return r;

  if (++landblocks_in_batch_ == kLandblocksPerBatch) {
    landblocks_in_batch_ = 0;
    if (auto r = db_->exec("COMMIT; BEGIN"); !r) return r;
  }
  return {};
}

WorldDbResult WorldDb::add_setups(const std::vector<WorldDbSetup>& setups) {
  for (const WorldDbSetup& setup : setups)
    if (auto r = db_->insert(db_->setups, setup); !r) return r;
  return {};
}

WorldDbResult WorldDb::finish() {
  if (auto r = db_->exec("COMMIT"); !r) return r;
  if (auto r = db_->create_indexes(); !r) return r;
  db_->close();
  if (auto r = file_.commit(); !r) return std::unexpected(r.error().to_string());
  return {};
}

std::string world_db_path_problem(const common::Path& path) {
  common::FileSystem& fs = common::default_file_system();
  const std::string shown = common::display_path(path);
  const auto kind = fs.kind(path);
  if (kind && *kind == common::FileKind::Directory) return "IO error: database " + shown + ": is a directory";
  const common::Path dir = common::parent_directory(path);
  const std::string shown_dir = common::display_path(dir);
  const auto dir_kind = fs.kind(dir);
  if (!dir_kind || *dir_kind == common::FileKind::Missing)
    return "IO error: database " + shown + ": directory " + shown_dir + ": " +
           (dir_kind ? std::string("No such file or directory") : dir_kind.error().message);
  if (*dir_kind != common::FileKind::Directory) return "IO error: database " + shown + ": " + shown_dir + " is not a directory";
  if (auto writable = fs.check_writable(dir); !writable)
    return "IO error: database " + shown + ": directory " + shown_dir + ": " + writable.error().message;
  return {};
}

}  // namespace ravelin::tools
