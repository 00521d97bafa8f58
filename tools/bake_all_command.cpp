// `ravelin-bake bake-all`: every landblock of a world baked through one
// session by a pool of worker threads, into one manifest file per landblock
// and an index of them all, or into a SQLite database, or both from one bake.
// The command chooses the sinks its options ask for and runs the one loop.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/event_bake/session.h"
#include "tools/bake_all/atlas_sink.h"
#include "tools/bake_all/database_sink.h"
#include "tools/bake_all/land_sink.h"
#include "tools/bake_all/loop.h"
#include "tools/bake_all/manifest_sink.h"
#include "tools/bake_all/output_directory.h"
#include "tools/bake_all/progress_sink.h"
#include "tools/bake_all/svg_sink.h"
#include "tools/commands.h"
#include "tools/world_db.h"

namespace ravelin::tools {
namespace {

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

// "1 landblock", "2 landblocks".
std::string count_of(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// Outputs that cannot be written are found before the archives are read.
std::string output_problem(const BakeAllArgs& args) {
  if (!args.out_dir.empty())
    if (auto r = common::check_output_directory(args.out_dir); !r) return r.error().to_string();
  if (!args.db.empty()) return world_db_path_problem(args.db);
  return {};
}

event_bake::BakeResult<std::unique_ptr<event_bake::BakeSession>> open_session(const BakeAllArgs& args) {
  event_bake::BakeSession::Options options;
  options.dat_dir = args.dat_dir;
  options.region_did = parse_u32(args.region_text).value_or(event_bake::kDefaultRegionDid);
  options.bake_sky = !args.no_sky;
  options.entity_source = args.entities.source();
  return event_bake::BakeSession::open(std::move(options));
}

// Every landblock of the cell archive, or the ones given in their order
// without repeats (a repeat would have two workers writing one file).
std::vector<std::uint32_t> landblock_ids(const BakeAllArgs& args, const event_bake::BakeSession& session) {
  if (args.landblocks.empty()) return session.cell_landblock_ids();
  std::vector<std::uint32_t> ids;
  std::unordered_set<std::uint32_t> seen;
  for (const std::string& text : args.landblocks)
    if (const std::uint32_t id = landblock_of(text); seen.insert(id).second) ids.push_back(id);
  return ids;
}

// The sinks the options chose, in the order they prepare each outcome: the
// land first (the pictures and the atlas draw it), the manifests before the
// atlas and the database (which read the manifest's size), progress last.
class ChosenSinks {
 public:
  ChosenSinks(const BakeAllArgs& args, const event_bake::BakeSession& session, std::size_t total,
              ProgressSink::Clock::time_point started)
      : progress_(total, started) {
    if (!args.out_dir.empty()) {
      dir_.emplace(args.out_dir);
      if (args.svg || args.atlas) add(std::make_unique<LandSink>(session.cell()));
      add(std::make_unique<ManifestSink>(*dir_));
      if (args.svg) add(std::make_unique<SvgSink>(session, *dir_));
      if (args.atlas) add(std::make_unique<AtlasSink>(session, *dir_, args.svg));
    }
    if (!args.db.empty())
      add(std::make_unique<DatabaseSink>(
          session, DatabaseRun{args.db, args.dat_dir, args.entities.spawns_dir, args.entities.setup_table,
                               args.landblocks}));
    list_.push_back(&progress_);
  }

  std::span<BakeAllSink* const> list() const { return list_; }
  const ProgressSink& progress() const { return progress_; }
  std::string notes(const common::JobEnd& end) const {
    std::string notes;
    for (const BakeAllSink* sink : list_) notes += sink->note(end);
    return notes;
  }

 private:
  void add(std::unique_ptr<BakeAllSink> sink) {
    list_.push_back(sink.get());
    owned_.push_back(std::move(sink));
  }

  std::optional<OutputDirectory> dir_;
  std::vector<std::unique_ptr<BakeAllSink>> owned_;
  ProgressSink progress_;
  std::vector<BakeAllSink*> list_;
};

// The closing lines and the exit status.
int report(const common::JobEnd& end, const ChosenSinks& sinks, std::size_t jobs,
           ProgressSink::Clock::time_point started) {
  const std::string notes = sinks.notes(end);
  if (!end.complete()) {
    fail("interrupted by " + std::string(end.interrupted_by) + " after " + std::to_string(end.done) + " of " +
         count_of(end.total, "landblock") + notes);
    return 128 + (end.interrupted_by == "SIGTERM" ? SIGTERM : SIGINT);
  }
  const std::size_t failed = sinks.progress().failed();
  const double seconds = std::chrono::duration<double>(ProgressSink::Clock::now() - started).count();
  std::fprintf(stderr, "baked %s in %.2f s with %s: %zu ok, %zu failed%s\n", count_of(end.total, "landblock").c_str(),
               seconds, count_of(jobs, "job").c_str(), end.total - failed, failed, notes.c_str());
  if (failed == 0) return 0;
  return fail(count_of(failed, "landblock") + " failed, the first: " + sinks.progress().first_failure());
}

int run_bake_all(const BakeAllArgs& args) {
  const auto started = ProgressSink::Clock::now();
  if (const std::string problem = output_problem(args); !problem.empty()) return fail(problem);
  auto session = open_session(args);
  if (!session) return fail(session.error().to_string());
  const std::vector<std::uint32_t> ids = landblock_ids(args, **session);
  const ChosenSinks sinks(args, **session, ids.size(), started);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs = std::clamp<std::size_t>(args.jobs != 0 ? args.jobs : cores, 1, std::max<std::size_t>(1, ids.size()));
  const auto end = run_bake_loop(**session, ids, sinks.list(), {.jobs = jobs, .keep_bakes = !args.db.empty()});
  if (!end) return fail(end.error());
  return report(*end, sinks, jobs, started);
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
