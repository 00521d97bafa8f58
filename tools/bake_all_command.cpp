// `ravelin-bake bake-all`: every landblock of a world baked through one
// session by a pool of worker threads, one manifest file per landblock and an
// index of them all.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/event_bake/session.h"
#include "tools/commands.h"
#include "tools/draw/atlas.h"
#include "tools/draw/atlas_terrain.h"
#include "tools/draw/landblock_svg.h"

namespace ravelin::tools {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct BakeAllArgs {
  std::string dat_dir;
  std::string out_dir;
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

// "0xA9B4" + suffix.
std::string output_name(std::uint32_t landblock_id, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "0x%04X%s", static_cast<unsigned>(landblock_id >> 16), suffix);
  return name;
}
std::string manifest_name(std::uint32_t landblock_id) { return output_name(landblock_id, ".events.jsonl"); }

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

// With `svg`, the picture is drawn over `land` (nullptr: without terrain).
Outcome bake_one(const event_bake::BakeSession& session, std::uint32_t landblock_id, const fs::path& out_dir,
                 bool svg, const draw::LandblockTerrain* land, std::span<const std::string> terrain_names) {
  Outcome outcome;
  const fs::path path = out_dir / manifest_name(landblock_id);
  const fs::path svg_path = out_dir / output_name(landblock_id, ".svg");
  auto bake = session.bake(landblock_id);
  if (!bake) {
    outcome.error = bake.error().to_string();
    std::error_code ignored;
    fs::remove(path, ignored);  // no stale output from an earlier run beside a failure
    if (svg) fs::remove(svg_path, ignored);
    return outcome;
  }
  if (svg) {
    outcome.error = write_atomically(
        svg_path, draw::render_session_bake(session, *bake, {.landblock = land, .names = terrain_names}));
    if (!outcome.error.empty()) return outcome;
  }
  outcome.counts[0] = bake->ambient_terrain_events.size();
  outcome.counts[1] = bake->anim_hook_events.size();
  outcome.counts[2] = bake->physics_particle_events.size();
  outcome.counts[3] = bake->sky_particle_events.size();
  const std::string text = bake->to_jsonl_bytes();
  outcome.bytes = text.size();
  outcome.error = write_atomically(path, text);
  return outcome;
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

// "\r[########------------]  1234/65025  5210/s  0:12 left"
void draw_progress(std::size_t done, std::size_t total, double seconds) {
  constexpr int kWidth = 30;
  const int filled = total == 0 ? kWidth : static_cast<int>(kWidth * done / total);
  const double rate = seconds > 0 ? done / seconds : 0;
  const long left = rate > 0 ? static_cast<long>((total - done) / rate + 0.5) : 0;
  std::string bar(filled, '#');
  bar.append(kWidth - filled, '-');
  std::fprintf(stderr, "\r[%s] %zu/%zu  %.0f/s  %ld:%02ld left ", bar.c_str(), done, total, rate, left / 60,
               left % 60);
  std::fflush(stderr);
}

int run_bake_all(const BakeAllArgs& args) {
  const auto started = Clock::now();
  event_bake::BakeSession::Options options;
  options.dat_dir = args.dat_dir;
  options.region_did = event_bake::kDefaultRegionDid;
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

  const fs::path out_dir = args.out_dir;
  std::error_code ec;
  fs::create_directories(out_dir, ec);
  if (ec) return fail("IO error: create " + common::display_path(out_dir) + ": " + ec.message());

  // The land under the atlas and the pictures, read beside the bakes.
  std::optional<draw::TerrainCollector> terrain;
  std::vector<std::string> terrain_names;
  if (args.atlas || args.svg) {
    auto opened_cell = draw::TerrainCollector::open(args.dat_dir, ids.size());
    if (!opened_cell) return fail(opened_cell.error());
    terrain.emplace(std::move(*opened_cell));
    terrain_names = draw::terrain_names(session.portal(), session.options().region_did).value_or(std::vector<std::string>{});
  }

  std::vector<Outcome> outcomes(ids.size());
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs = std::clamp<std::size_t>(args.jobs != 0 ? args.jobs : cores, 1, std::max<std::size_t>(1, ids.size()));
  std::vector<std::jthread> workers;
  for (std::size_t j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < ids.size(); i = next++) {
        if (terrain) terrain->collect(i, ids[i]);
        const auto& land = terrain ? terrain->at(i) : std::nullopt;
        outcomes[i] = bake_one(session, ids[i], out_dir, args.svg, land ? &*land : nullptr, terrain_names);
        ++done;
      }
    });
  }
  const bool progress = ::isatty(STDERR_FILENO) == 1;
  auto seconds_since_start = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
  if (progress) {
    while (done.load() < ids.size()) {
      draw_progress(done.load(), ids.size(), seconds_since_start());
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  workers.clear();  // joins
  if (progress) {
    draw_progress(ids.size(), ids.size(), seconds_since_start());
    std::fputc('\n', stderr);
  }

  std::string index;
  std::size_t failed = 0;
  std::string first_failure;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    append_index_line(index, ids[i], outcomes[i]);
    if (outcomes[i].error.empty()) continue;
    if (failed++ == 0) first_failure = outcomes[i].error;
  }
  if (auto error = write_atomically(out_dir / "index.jsonl", index); !error.empty()) return fail(error);
  std::string atlas_note;
  if (args.atlas) {
    const fs::path atlas_path = out_dir / "atlas.html";
    if (auto written = draw::write_events_atlas(out_dir, index, ids, terrain->landblocks(), session.portal(),
                                                session.options().region_did, args.svg);
        !written)
      return fail(written.error());
    atlas_note = "; atlas: " + common::display_path(atlas_path);
  }

  const double seconds = seconds_since_start();
  std::fprintf(stderr, "baked %zu landblocks in %.2f s with %zu jobs: %zu ok, %zu failed; index: %s%s\n",
               ids.size(), seconds, jobs, ids.size() - failed, failed,
               common::display_path(out_dir / "index.jsonl").c_str(), atlas_note.c_str());
  if (failed == 0) return 0;
  return fail(std::to_string(failed) + " landblock" + (failed == 1 ? "" : "s") + " failed, the first: " +
              first_failure);
}

}  // namespace

void add_bake_all_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<BakeAllArgs>();
  auto* cmd = app.add_subcommand("bake-all", "Bake every landblock of the cell archive into a directory");
  cmd->add_option("--dat-dir", args->dat_dir, "Directory holding client_portal.dat and client_cell_1.dat")
      ->required();
  cmd->add_option("--out-dir,--out", args->out_dir, "Directory for the manifests and index.jsonl (created if needed)")
      ->required();
  cmd->add_option("--jobs", args->jobs, "Worker threads (default: one per core)")->check(CLI::Range(1u, 1024u));
  add_entity_source_options(*cmd, args->entities);
  cmd->add_flag("--no-sky", args->no_sky, "Leave out the sky particle chain");
  cmd->add_flag("--svg", args->svg, "Also draw each landblock as OUT/0xXXXX.svg, as render does");
  cmd->add_flag("--atlas", args->atlas,
                "Also write OUT/atlas.html, a map of every landblock that opens in a browser without a network");
  cmd->add_option("--landblocks", args->landblocks,
                  "Comma-separated landblocks to bake instead of all (numbers up to 0xFFFF or whole ids)")
      ->delimiter(',')
      ->check(landblock_validator());
  cmd->callback([args, &action] { action = [args] { return run_bake_all(*args); }; });
}

}  // namespace ravelin::tools
