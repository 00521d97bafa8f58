#include "tools/bake_all/database_sink.h"

#include "ravelin/common/id_text.h"
#include "ravelin/event_bake/record_cache.h"
#include "ravelin/version.h"

namespace ravelin::tools {
namespace {

// The manifest's length without building it whole: the sky lines, the same in
// every bake of a session, are measured once.
std::size_t manifest_size(event_bake::LandblockEventBake& bake, std::size_t sky_bytes) {
  if (bake.sky_particle_events.empty()) return bake.to_jsonl_bytes().size();
  auto sky = std::move(bake.sky_particle_events);
  bake.sky_particle_events.clear();
  const std::size_t size = bake.to_jsonl_bytes().size() + sky_bytes;
  bake.sky_particle_events = std::move(sky);
  return size;
}

std::string absolute_text(const common::Path& path) { return common::display_path(std::filesystem::absolute(path)); }

// As `dat info` prints them, each under "ARCHIVE.".
void add_header_rows(std::vector<std::pair<std::string, std::string>>& meta, std::string_view archive,
                     const dat::DatDatabase& db) {
  const std::string prefix = std::string(archive) + ".";
  for (const dat::DatHeaderField& field : dat::kDatHeaderFields)
    meta.emplace_back(prefix + std::string(field.name), dat::header_field_text(db.header(), field));
  meta.emplace_back(prefix + "entries", std::to_string(db.entry_count()));
}

}  // namespace

DatabaseSink::DatabaseSink(const event_bake::BakeSession& session, DatabaseRun run)
    : session_(session), run_(std::move(run)) {
  event_bake::LandblockEventBake sky_only;
  sky_only.sky_particle_events = session.sky_events();
  sky_bytes_ = sky_only.to_jsonl_bytes().size();
}

std::vector<std::pair<std::string, std::string>> DatabaseSink::meta_rows() const {
  const bool spawns = !run_.spawns_dir.empty();
  std::vector<std::pair<std::string, std::string>> meta = {
      {"ravelin_version", kVersion},
      {"schema_version", std::to_string(kWorldDbSchemaVersion)},
      {"dat_dir", absolute_text(run_.dat_dir)},
      {"region_did", common::hex_id(session_.options().region_did)},
      {"bake_sky", session_.options().bake_sky ? "true" : "false"},
      {"entity_source", spawns ? "spawns_manifest" : "landblock_info"},
  };
  if (spawns) {
    meta.emplace_back("spawns_dir", absolute_text(run_.spawns_dir));
    meta.emplace_back("setup_table", absolute_text(run_.setup_table));
  }
  std::string landblocks;
  for (const std::string& text : run_.landblocks) landblocks += (landblocks.empty() ? "" : ",") + text;
  meta.emplace_back("landblocks", landblocks.empty() ? "all" : landblocks);
  add_header_rows(meta, "portal", session_.portal());
  add_header_rows(meta, "cell", session_.cell());
  return meta;
}

common::SinkResult DatabaseSink::open() {
  auto created = WorldDb::create(run_.path);
  if (!created) return std::unexpected(created.error());
  db_ = std::move(*created);
  if (auto r = db_->add_meta(meta_rows()); !r) return r;
  return db_->add_sky(session_.sky_events());
}

common::SinkResult DatabaseSink::prepare(LandblockOutcome& outcome) {
  if (outcome.failed()) return {};
  if (!outcome.bytes) outcome.bytes = manifest_size(*outcome.bake, sky_bytes_);
  // Objects that cannot be listed leave their tables without rows for this
  // landblock; its bake said all there is about its LandblockInfo.
  if (auto placed = session_.placed_objects(outcome.landblock_id)) outcome.placed_objects = std::move(*placed);
  if (auto spawned = session_.spawned_setups(outcome.landblock_id)) outcome.spawned_setups = std::move(*spawned);
  return {};
}

common::SinkResult DatabaseSink::add(const LandblockOutcome& outcome) {
  for (const auto& object : outcome.placed_objects)
    if (object.is_setup) placed_setups_.insert(object.stab.id);
  for (const auto& spawned : outcome.spawned_setups) placed_setups_.insert(spawned.setup_id);
  return db_->add_landblock({outcome.landblock_id, outcome.failed() ? nullptr : &*outcome.bake,
                             outcome.bytes.value_or(0), outcome.error, &outcome.placed_objects,
                             &outcome.spawned_setups});
}

common::SinkResult DatabaseSink::finish(const common::JobEnd& end) {
  if (!end.complete()) {
    db_.reset();  // an unfinished database never takes the final name
    return {};
  }
  std::vector<WorldDbSetup> setups;
  for (const std::uint32_t id : placed_setups_) {
    WorldDbSetup& setup = setups.emplace_back();
    setup.setup_id = id;
    if (const auto model = event_bake::load_setup_model(session_.portal(), id)) {
      setup.decoded = true;
      setup.motion_table_id = model->motion_table_id;
      setup.default_script_id = model->default_script_id;
    }
  }
  if (auto r = db_->add_setups(setups); !r) return r;
  return db_->finish();
}

std::string DatabaseSink::note(const common::JobEnd& end) const {
  if (!end.complete()) return "; no database written";
  return "; database: " + common::display_path(run_.path);
}

}  // namespace ravelin::tools
