// `ravelin-bake bake-all`: every landblock of a world baked through one
// session by a pool of worker threads, into one manifest file per landblock
// and an index of them all, or into a SQLite database, or both from one bake.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <cerrno>
#include <cstring>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/event_bake/record_cache.h"
#include "ravelin/event_bake/session.h"
#include "ravelin/version.h"
#include "tools/commands.h"
#include "tools/draw/atlas.h"
#include "tools/draw/atlas_terrain.h"
#include "tools/draw/landblock_svg.h"
#include "ravelin/common/in_order_pool.h"
#include "tools/interrupt.h"
#include "tools/world_db.h"

namespace ravelin::tools {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct BakeAllArgs {
  std::string dat_dir;
  std::string out_dir;
  std::string db;
  std::string region_text = "0x13000000";
  unsigned jobs = 0;  // 0: one per core
  EntitySourceArgs entities;
  bool no_sky = false;
  bool svg = false;
  bool atlas = false;
  std::vector<std::string> landblocks;
};

// What became of one landblock; `error` is empty on success.
struct Outcome {
  std::size_t counts[4] = {};  // ambient, animation sound, physics particle, sky
  std::size_t bytes = 0;
  std::string error;
};

// A worker's result, handed to the writer in bake order. The bake itself and
// the objects are kept only for the database.
struct Baked {
  Outcome outcome;
  std::optional<event_bake::LandblockEventBake> bake;
  std::vector<event_bake::BakeSession::PlacedObject> placed_objects;
  std::vector<event_bake::BakeSession::SpawnedSetup> spawned_setups;
};

// "1 landblock", "2 landblocks".
std::string count_of(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// "0xA9B4" + suffix.
std::string output_name(std::uint32_t landblock_id, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "0x%04X%s", static_cast<unsigned>(landblock_id >> 16), suffix);
  return name;
}
std::string manifest_name(std::uint32_t landblock_id) { return output_name(landblock_id, ".events.jsonl"); }
std::string svg_name(std::uint32_t landblock_id) { return output_name(landblock_id, ".svg"); }
constexpr const char* kIndexName = "index.jsonl";
constexpr const char* kAtlasName = "atlas.html";
constexpr const char* kTerrainName = "terrain.png";

// Writes `text` under a temporary name beside `path` and renames it into
// place, so that `path` is either absent, the old file or the whole new one.
std::string write_atomically(const fs::path& path, const std::string& text) {
  fs::path temp = path;
  temp += ".part";
  const auto* first = reinterpret_cast<const std::uint8_t*>(text.data());
  if (auto r = common::write_whole_file(temp, {first, text.size()}); !r) return "IO error: " + r.error().to_string();
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    return "IO error: rename " + common::display_path(temp) + ": " + ec.message();
  }
  return {};
}

// The directory the files go to, or nothing when only a database is written.
struct Outputs {
  std::optional<fs::path> out_dir;
  bool svg = false;
  bool keep_for_db = false;
  std::size_t sky_bytes = 0;  // of the session's sky lines in a manifest
  std::span<const std::string> terrain_names;  // the region's, for the pictures
};

// The manifest's length without building it whole when no file is written:
// the sky lines, the same in every bake of a session, are measured once.
std::size_t manifest_size(event_bake::LandblockEventBake& bake, std::size_t sky_bytes) {
  if (bake.sky_particle_events.empty()) return bake.to_jsonl_bytes().size();
  auto sky = std::move(bake.sky_particle_events);
  bake.sky_particle_events.clear();
  const std::size_t size = bake.to_jsonl_bytes().size() + sky_bytes;
  bake.sky_particle_events = std::move(sky);
  return size;
}

// With `svg`, the picture is drawn over `land` (nullptr: without terrain).
Baked bake_one(const event_bake::BakeSession& session, std::uint32_t landblock_id, const Outputs& outputs,
               const draw::LandblockTerrain* land) {
  Baked baked;
  Outcome& outcome = baked.outcome;
  auto bake = session.bake(landblock_id);
  if (!bake) {
    outcome.error = bake.error().to_string();
    if (outputs.out_dir) {
      std::error_code ignored;
      fs::remove(*outputs.out_dir / manifest_name(landblock_id), ignored);  // no stale output beside a failure
      if (outputs.svg) fs::remove(*outputs.out_dir / svg_name(landblock_id), ignored);
    }
    return baked;
  }
  outcome.counts[0] = bake->ambient_terrain_events.size();
  outcome.counts[1] = bake->anim_hook_events.size();
  outcome.counts[2] = bake->physics_particle_events.size();
  outcome.counts[3] = bake->sky_particle_events.size();
  if (outputs.out_dir) {
    const std::string text = bake->to_jsonl_bytes();
    outcome.bytes = text.size();
    if (outputs.svg) {
      outcome.error = write_atomically(*outputs.out_dir / svg_name(landblock_id), draw::render_session_bake(session, *bake, {.landblock = land, .names = outputs.terrain_names}));
      if (!outcome.error.empty()) return baked;
    }
    outcome.error = write_atomically(*outputs.out_dir / manifest_name(landblock_id), text);
    if (!outcome.error.empty()) return baked;
  } else {
    outcome.bytes = manifest_size(*bake, outputs.sky_bytes);
  }
  if (outputs.keep_for_db) {
    // Objects that cannot be listed leave their tables without rows for this
    // landblock; its bake said all there is about its LandblockInfo.
    if (auto placed = session.placed_objects(landblock_id)) baked.placed_objects = std::move(*placed);
    if (auto spawned = session.spawned_setups(landblock_id)) baked.spawned_setups = std::move(*spawned);
    baked.bake = std::move(*bake);
  }
  return baked;
}

// {"landblock_id":"0xA9B40000","file":"0xA9B4.events.jsonl","ambient":16,
//  "animation_sound":24,"physics_script_particle":4,"sky_chain":16,"bytes":21800}
// or {"landblock_id":"0x01020000","error":"..."}.
void append_index_line(std::string& out, std::uint32_t landblock_id, const Outcome& outcome) {
  out += R"({"landblock_id":")";
  out += common::hex_id(landblock_id);
  if (!outcome.error.empty()) {
    out += R"(","error":)";
    out += nlohmann::json(outcome.error).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out += "}\n";
    return;
  }
  out += R"(","file":")";
  out += manifest_name(landblock_id);
  static constexpr const char* kCountNames[4] = {"ambient", "animation_sound", "physics_script_particle",
                                                 "sky_chain"};
  out += '"';
  for (int i = 0; i < 4; ++i) {
    out += ",\"";
    out += kCountNames[i];
    out += "\":";
    out += std::to_string(outcome.counts[i]);
  }
  out += R"(,"bytes":)";
  out += std::to_string(outcome.bytes);
  out += "}\n";
}

// Progress on standard error: a bar redrawn in place on a terminal
// ("\r[########------]  1234/65025  5210/s  0:12 left"), otherwise a plain
// line every few seconds, for logs.
class Progress {
 public:
  Progress(std::size_t total, Clock::time_point started)
      : total_(total), started_(started), terminal_(::isatty(STDERR_FILENO) == 1), last_line_(started) {}

  void update(std::size_t done) {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const long left = rate > 0 ? static_cast<long>((total_ - done) / rate + 0.5) : 0;
    if (terminal_) {
      constexpr int kWidth = 30;
      const int filled = total_ == 0 ? kWidth : static_cast<int>(kWidth * done / total_);
      std::string bar(filled, '#');
      bar.append(kWidth - filled, '-');
      std::fprintf(stderr, "\r[%s] %zu/%zu  %.0f/s  %ld:%02ld left ", bar.c_str(), done, total_, rate, left / 60,
                   left % 60);
      drawn_ = true;
    } else {
      if (now - last_line_ < kLineInterval) return;
      last_line_ = now;
      std::fprintf(stderr, "bake-all: %zu/%zu landblocks, %.0f/s, %ld:%02ld left\n", done, total_, rate, left / 60,
                   left % 60);
    }
    std::fflush(stderr);
  }
  // Ends the bar's line, so that what follows starts on a line of its own.
  void end(std::size_t done) {
    if (!terminal_) return;
    update(done);
    if (drawn_) std::fputc('\n', stderr);
  }

 private:
  static constexpr std::chrono::seconds kLineInterval{5};
  std::size_t total_;
  Clock::time_point started_;
  bool terminal_;
  bool drawn_ = false;
  Clock::time_point last_line_;
};

// An error when `dir` could not be created or written: checked before the
// archives are opened, without creating anything.
std::string out_dir_problem(const fs::path& dir) {
  const std::string shown = common::display_path(dir);
  fs::path probe = dir;
  std::error_code ec;
  // The nearest part of the path that exists decides.
  while (!probe.empty() && !fs::exists(fs::symlink_status(probe, ec))) {
    if (!probe.has_parent_path() || probe.parent_path() == probe) {
      probe = ".";
      break;
    }
    probe = probe.parent_path();
  }
  if (probe.empty()) probe = ".";
  if (!fs::is_directory(probe, ec))
    return "IO error: create " + shown + ": " + common::display_path(probe) + " is not a directory";
  if (::access(probe.c_str(), W_OK | X_OK) != 0)
    return "IO error: create " + shown + ": " + common::display_path(probe) + ": " + std::strerror(errno);
  return {};
}

// The names this command writes: 0xLLLL.events.jsonl, 0xLLLL.svg (upper-case
// hex), index.jsonl, atlas.html, terrain.png.
bool is_own_output_name(std::string_view name) {
  if (name == kIndexName || name == kAtlasName || name == kTerrainName) return true;
  if (name.size() < 6 || !name.starts_with("0x")) return false;
  for (const char c : name.substr(2, 4))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  const std::string_view suffix = name.substr(6);
  return suffix == ".events.jsonl" || suffix == ".svg";
}

// Removes what an earlier run into `dir` left that this run's index does not
// list: manifests and pictures of other landblocks, a picture set or atlas
// this run did not write, temporary files. Only names this command writes.
void remove_stale_outputs(const fs::path& dir, const std::unordered_set<std::string>& written) {
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    const bool temporary = name.ends_with(".part");
    if (temporary) name.resize(name.size() - 5);
    if (!is_own_output_name(name) || (!temporary && written.contains(name))) continue;
    std::error_code ignored;
    fs::remove(entry.path(), ignored);
  }
}

// The meta table: the tool, the inputs and both archives' headers.
std::vector<std::pair<std::string, std::string>> meta_entries(const BakeAllArgs& args,
                                                              const event_bake::BakeSession& session) {
  std::vector<std::pair<std::string, std::string>> meta = {
      {"ravelin_version", kVersion},
      {"schema_version", std::to_string(kWorldDbSchemaVersion)},
      {"dat_dir", common::display_path(fs::absolute(args.dat_dir))},
      {"region_did", common::hex_id(session.options().region_did)},
      {"bake_sky", args.no_sky ? "false" : "true"},
      {"entity_source", args.entities.spawns_dir.empty() ? "landblock_info" : "spawns_manifest"},
  };
  if (!args.entities.spawns_dir.empty()) {
    meta.emplace_back("spawns_dir", common::display_path(fs::absolute(args.entities.spawns_dir)));
    meta.emplace_back("setup_table", common::display_path(fs::absolute(args.entities.setup_table)));
  }
  std::string landblocks;
  for (const std::string& text : args.landblocks) landblocks += (landblocks.empty() ? "" : ",") + text;
  meta.emplace_back("landblocks", landblocks.empty() ? "all" : landblocks);
  // As `dat info` prints them: offsets and the magic in hexadecimal.
  const auto add_header = [&meta](const char* archive, const dat::DatDatabase& db) {
    const dat::DatHeader& h = db.header();
    const std::string prefix = std::string(archive) + ".";
    const auto dec = [](std::uint32_t v) { return std::to_string(v); };
    const std::pair<const char*, std::string> fields[] = {
        {"magic", common::hex_id(h.magic)},         {"block_size", dec(h.block_size)},
        {"file_size", dec(h.file_size)},            {"dataset", dec(h.dataset)},
        {"subset", dec(h.subset)},                  {"free_head", common::hex_id(h.free_head)},
        {"free_tail", common::hex_id(h.free_tail)}, {"free_count", dec(h.free_count)},
        {"root_offset", common::hex_id(h.root_offset)}, {"new_lru", common::hex_id(h.new_lru)},
        {"old_lru", common::hex_id(h.old_lru)},     {"use_lru", common::hex_id(h.use_lru)},
        {"master_map_id", common::hex_id(h.master_map_id)}, {"engine_version", dec(h.engine_version)},
        {"game_version", dec(h.game_version)},      {"version_minor", dec(h.version_minor)}};
    for (const auto& [name, value] : fields) meta.emplace_back(prefix + name, value);
    std::string version;
    for (const std::uint8_t byte : h.version_string) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02X", byte);
      version += pair;
    }
    meta.emplace_back(prefix + "version_string", version);
    meta.emplace_back(prefix + "entries", std::to_string(db.entry_count()));
  };
  add_header("portal", session.portal());
  add_header("cell", session.cell());
  return meta;
}

int run_bake_all(const BakeAllArgs& args) {
  const auto started = Clock::now();
  // Outputs that cannot be written are found before the archives are read.
  if (!args.out_dir.empty())
    if (auto problem = out_dir_problem(args.out_dir); !problem.empty()) return fail(problem);
  if (!args.db.empty())
    if (auto problem = world_db_path_problem(args.db); !problem.empty()) return fail(problem);

  event_bake::BakeSession::Options options;
  options.dat_dir = args.dat_dir;
  options.region_did = parse_u32(args.region_text).value_or(event_bake::kDefaultRegionDid);
  options.bake_sky = !args.no_sky;
  options.entity_source = args.entities.source();
  auto opened = event_bake::BakeSession::open(std::move(options));
  if (!opened) return fail(opened.error().to_string());
  const event_bake::BakeSession& session = **opened;

  std::vector<std::uint32_t> ids;
  if (args.landblocks.empty()) {
    ids = session.cell_landblock_ids();
  } else {
    std::unordered_set<std::uint32_t> seen;
    for (const std::string& text : args.landblocks) {
      const std::uint32_t id = landblock_of(text);
      // A repeat would have two workers writing one file.
      if (seen.insert(id).second) ids.push_back(id);
    }
  }

  Outputs outputs;
  outputs.svg = args.svg;
  outputs.keep_for_db = !args.db.empty();
  event_bake::LandblockEventBake sky_only;
  sky_only.sky_particle_events = session.sky_events();
  outputs.sky_bytes = sky_only.to_jsonl_bytes().size();
  if (!args.out_dir.empty()) {
    outputs.out_dir = args.out_dir;
    std::error_code ec;
    fs::create_directories(*outputs.out_dir, ec);
    if (ec) return fail("IO error: create " + common::display_path(*outputs.out_dir) + ": " + ec.message());
  }

  // The land under the atlas and the pictures, read beside the bakes.
  std::optional<draw::TerrainCollector> terrain;
  std::vector<std::string> terrain_names;
  if (outputs.out_dir && (args.atlas || args.svg)) {
    auto opened_cell = draw::TerrainCollector::open(args.dat_dir, ids.size());
    if (!opened_cell) return fail(opened_cell.error());
    terrain.emplace(std::move(*opened_cell));
    terrain_names =
        draw::terrain_names(session.portal(), session.options().region_did).value_or(std::vector<std::string>{});
    outputs.terrain_names = terrain_names;
  }

  std::unique_ptr<WorldDb> db;
  if (!args.db.empty()) {
    auto created = WorldDb::create(args.db);
    if (!created) return fail(created.error());
    db = std::move(*created);
    if (auto r = db->add_meta(meta_entries(args, session)); !r) return fail(r.error());
    if (auto r = db->add_sky(session.sky_events()); !r) return fail(r.error());
  }

  const InterruptCatcher interrupts;
  std::string index;
  std::unordered_set<std::string> written = {kIndexName};
  std::size_t failed = 0;
  std::string first_failure;
  std::string db_error;
  std::atomic<bool> db_failed{false};
  std::set<std::uint32_t> placed_setups;  // ascending, for the setups table
  Progress progress(ids.size(), started);
  common::InOrderPoolOptions pool;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  pool.jobs = std::clamp<std::size_t>(args.jobs != 0 ? args.jobs : cores, 1, std::max<std::size_t>(1, ids.size()));
  pool.window = 16 * pool.jobs;
  std::size_t taken = 0;
  const std::size_t done = common::run_in_order<Baked>(
      ids.size(), pool, [&](std::size_t i) {
        if (terrain) terrain->collect(i, ids[i]);
        const draw::LandblockTerrain* land = terrain && terrain->at(i) ? &*terrain->at(i) : nullptr;
        return bake_one(session, ids[i], outputs, land);
      },
      [&](std::size_t i, Baked&& baked) {
        ++taken;
        const Outcome& outcome = baked.outcome;
        append_index_line(index, ids[i], outcome);
        if (!outcome.error.empty()) {
          if (failed++ == 0) first_failure = outcome.error;
        } else {
          written.insert(manifest_name(ids[i]));
          if (args.svg) written.insert(svg_name(ids[i]));
        }
        if (db && db_error.empty()) {
          for (const auto& object : baked.placed_objects)
            if (object.is_setup) placed_setups.insert(object.stab.id);
          for (const auto& spawned : baked.spawned_setups) placed_setups.insert(spawned.setup_id);
          WorldDbLandblock rows{ids[i], baked.bake ? &*baked.bake : nullptr, outcome.bytes, outcome.error,
                                std::move(baked.placed_objects), std::move(baked.spawned_setups)};
          if (auto r = db->add_landblock(rows); !r) {
            db_error = r.error();
            db_failed = true;
          }
        }
      },
      [&] { progress.update(taken); },
      [&] { return InterruptCatcher::caught() != 0 || db_failed.load(); });
  progress.end(done);
  if (!db_error.empty()) return fail(db_error);  // the temporary database goes with `db`

  const fs::path shown_index = outputs.out_dir ? *outputs.out_dir / kIndexName : fs::path();
  if (const int signal = InterruptCatcher::caught(); signal != 0) {
    db.reset();  // an unfinished database never takes the final name
    std::string where;
    if (outputs.out_dir) {
      index += R"({"interrupted":")" + std::string(InterruptCatcher::name(signal)) + R"(","baked":)" +
               std::to_string(done) + R"(,"of":)" + std::to_string(ids.size()) + "}\n";
      if (auto error = write_atomically(shown_index, index); !error.empty()) return fail(error);
      remove_stale_outputs(*outputs.out_dir, written);
      where = "; index: " + common::display_path(shown_index);
    }
    fail(std::string("interrupted by ") + InterruptCatcher::name(signal) + " after " + std::to_string(done) + " of " +
         count_of(ids.size(), "landblock") + where + (args.db.empty() ? "" : "; no database written"));
    return 128 + signal;
  }

  std::string notes;
  if (outputs.out_dir) {
    if (auto error = write_atomically(shown_index, index); !error.empty()) return fail(error);
    notes += "; index: " + common::display_path(shown_index);
    if (args.atlas) {
      const fs::path atlas_path = *outputs.out_dir / kAtlasName;
      if (auto drawn = draw::write_events_atlas(*outputs.out_dir, index, ids, terrain->landblocks(), session.portal(),
                                                session.options().region_did, args.svg);
          !drawn)
        return fail(drawn.error());
      written.insert(kAtlasName);
      written.insert(kTerrainName);
      notes += "; atlas: " + common::display_path(atlas_path);
    }
    remove_stale_outputs(*outputs.out_dir, written);
  }
  if (db) {
    std::vector<WorldDbSetup> setups;
    for (const std::uint32_t id : placed_setups) {
      WorldDbSetup& setup = setups.emplace_back();
      setup.setup_id = id;
      if (const auto model = event_bake::load_setup_model(session.portal(), id)) {
        setup.decoded = true;
        setup.motion_table_id = model->motion_table_id;
        setup.default_script_id = model->default_script_id;
      }
    }
    if (auto r = db->add_setups(setups); !r) return fail(r.error());
    if (auto r = db->finish(); !r) return fail(r.error());
    notes += "; database: " + common::display_path(db->path());
  }

  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::fprintf(stderr, "baked %s in %.2f s with %s: %zu ok, %zu failed%s\n", count_of(ids.size(), "landblock").c_str(),
               seconds, count_of(pool.jobs, "job").c_str(), ids.size() - failed, failed, notes.c_str());
  if (failed == 0) return 0;
  return fail(count_of(failed, "landblock") + " failed, the first: " + first_failure);
}

}  // namespace

void add_bake_all_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<BakeAllArgs>();
  auto* cmd = app.add_subcommand("bake-all", "Bake every landblock of the cell archive into a directory or a database");
  cmd->add_option("--dat-dir", args->dat_dir, "Directory holding client_portal.dat and client_cell_1.dat")
      ->required();
  auto* out = cmd->add_option("--out-dir,--out", args->out_dir,
                              "Directory for the manifests and index.jsonl (created if needed)");
  auto* db = cmd->add_option("--db", args->db,
                             "Also (or only) write every event as a SQLite database FILE, replaced when complete");
  cmd->add_option("--region", args->region_text, "Region file id (default 0x13000000)")
      ->check(u32_validator("region id"));
  cmd->add_option("--jobs", args->jobs, "Worker threads (default: one per core)")->check(CLI::Range(1u, 1024u));
  add_entity_source_options(*cmd, args->entities);
  cmd->add_flag("--no-sky", args->no_sky, "Leave out the sky particle chain");
  cmd->add_flag("--svg", args->svg, "Also draw each landblock as OUT/0xXXXX.svg, as render does")->needs(out);
  cmd->add_flag("--atlas", args->atlas,
                "Also write OUT/atlas.html, a map of every landblock that opens in a browser without a network")
      ->needs(out);
  cmd->add_option("--landblocks", args->landblocks,
                  "Comma-separated landblocks to bake instead of all (numbers up to 0xFFFF or whole ids)")
      ->delimiter(',')
      ->check(landblock_validator());
  cmd->callback([args, out, db, &action] {
    if (out->count() == 0 && db->count() == 0) throw CLI::RequiredError("--out-dir or --db");
    action = [args] { return run_bake_all(*args); };
  });
}

}  // namespace ravelin::tools
