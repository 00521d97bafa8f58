#include "runner/determinism_checks.h"

#include <algorithm>
#include <span>

#include "ravelin/common/id_text.h"
#include "ravelin/common/file.h"
#include "runner/record_compare.h"

namespace ravelin::runner {
namespace {

namespace fs = std::filesystem;
using event_bake::LandblockEventBake;

CheckResult fail(std::string message) { return std::unexpected(CheckFailure{std::move(message), std::nullopt}); }

CheckResult fail_equal(std::string message, std::string this_run, std::string baseline) {
  return std::unexpected(CheckFailure{std::move(message), EqualityFailure{std::move(this_run), std::move(baseline)}});
}

// Each report line is flushed as it is written, so a hung or crashed bake
// leaves everything before it visible.
void line(std::ostream& out, const std::string& text) { out << text << '\n' << std::flush; }

void print_counts(std::ostream& out, const LandblockEventBake& bake) {
  const std::size_t a = bake.ambient_terrain_events.size(), h = bake.anim_hook_events.size(),
                    p = bake.physics_particle_events.size(), s = bake.sky_particle_events.size();
  line(out, "iter 0 counts   : ambient=" + std::to_string(a) + " anim_hooks=" + std::to_string(h) +
                " physics_particles=" + std::to_string(p) + " sky_particles=" + std::to_string(s) +
                " (total=" + std::to_string(a + h + p + s) + ")");
}

template <class T>
void print_category(std::ostream& out, std::string_view name, const std::vector<T>& events) {
  line(out, "  [" + std::string(name) + "] " + std::to_string(events.size()) + " total, showing first " +
                std::to_string(kSampleCount) + ":");
  for (std::size_t i = 0; i < std::min(events.size(), kSampleCount); ++i) {
    line(out, "    [" + std::to_string(i) + "] " + events[i].debug_string());
  }
}

void print_samples(std::ostream& out, const LandblockEventBake& bake) {
  line(out, "---- iter " + std::to_string(kRepetitions) + " sample lines (first 3 of each category) ----");
  print_category(out, "ambient", bake.ambient_terrain_events);
  print_category(out, "anim_hook", bake.anim_hook_events);
  print_category(out, "physics_particle", bake.physics_particle_events);
  print_category(out, "sky_particle", bake.sky_particle_events);
}

// The scratch copy is a convenience for people reading the manifest; a
// read-only or full disk must not fail the check.
void write_scratch_copy(common::FileSystem& files, const fs::path& dir, const std::string& bytes) {
  (void)files.create_directories(dir);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  (void)common::write_whole_file(dir / kScratchFileName, std::span<const std::uint8_t>(data, bytes.size()), files);
}

bool is_kind(common::FileSystem& files, const fs::path& path, common::FileKind kind) {
  return files.kind(path).value_or(common::FileKind::Missing) == kind;
}

}  // namespace

std::optional<std::string> first_difference(std::string_view baseline, std::string_view run) {
  if (baseline == run) return std::nullopt;
  const std::size_t shorter = std::min(baseline.size(), run.size());
  const auto at = std::mismatch(baseline.begin(), baseline.begin() + shorter, run.begin()).first - baseline.begin();
  if (static_cast<std::size_t>(at) == shorter) return "tail-length";
  return std::to_string(at);
}

std::optional<std::string> minimum_count_failure(const LandblockEventBake& bake) {
  if (bake.ambient_terrain_events.empty()) {
    return "Tessmark LB 0xA9B4 must produce >= 1 ambient_terrain_events; got 0";
  }
  if (bake.physics_particle_events.empty()) {
    return "Tessmark LB 0xA9B4 must produce >= 1 physics_particle_events (destroyed portal etc); got 0";
  }
  if (bake.sky_particle_events.empty()) {
    return "Tessmark LB 0xA9B4 must produce >= 1 sky_particle_events (moon chain); got 0";
  }
  return std::nullopt;
}

CheckResult run_real_dats_check(const CheckEnv& env) {
  std::ostream& out = *env.report;
  const auto dat_dir = find_dat_dir(env.site.dat_candidates, *env.files);
  if (!dat_dir) {
    line(out, "SKIP — no dat");
    return {};
  }
  line(out, "=== ravelin-event-bake :: determinism_100x ===");
  line(out, "dat-dir         : " + common::display_path(*dat_dir));
  line(out, "landblock_id    : 0x" + common::hex8(kCheckLandblockId));
  line(out, "entity-source   : LandblockInfo (cell.dat 0x" + common::hex8(kCheckLandblockInfoId) + ")");

  auto baseline = env.bake_simple(kCheckLandblockId, *dat_dir);
  if (!baseline) return fail("baseline bake should succeed on retail DATs: " + baseline.error().debug_string());
  const std::string baseline_bytes = baseline->to_jsonl_bytes();
  print_counts(out, *baseline);
  line(out, "iter 0 bytes    : " + std::to_string(baseline_bytes.size()) + " bytes");
  if (auto message = minimum_count_failure(*baseline)) return fail(std::move(*message));

  for (int i = 1; i <= kRepetitions; ++i) {
    const std::string iter = std::to_string(i);
    auto run = env.bake_simple(kCheckLandblockId, *dat_dir);
    if (!run) return fail("iter " + iter + " failed: " + run.error().to_string());
    const std::string bytes = run->to_jsonl_bytes();
    if (auto offset = first_difference(baseline_bytes, bytes)) {
      return fail("iter " + iter + " byte mismatch at offset " + *offset + " (baseline " +
                  std::to_string(baseline_bytes.size()) + " bytes, this run " + std::to_string(bytes.size()) +
                  " bytes)");
    }
    if (!same_bake(*run, *baseline)) {
      return fail_equal("iter " + iter + " struct mismatch (JSONL was byte-equal — drift is in formatter only)",
                        run->debug_string(), baseline->debug_string());
    }
  }

  print_samples(out, *baseline);
  line(out, "PASS — " + std::to_string(kRepetitions) + " bakes produced byte-identical JSONL (" +
                std::to_string(baseline_bytes.size()) + " bytes)");
  write_scratch_copy(*env.files, env.site.scratch_dir, baseline_bytes);
  return {};
}

CheckResult run_spawns_manifest_check(const CheckEnv& env) {
  std::ostream& out = *env.report;
  const auto dat_dir = find_dat_dir(env.site.dat_candidates, *env.files);
  if (!dat_dir) {
    line(out, "SKIP — no dat");
    return {};
  }
  const fs::path spawns_dir = env.site.spawns_dir(*dat_dir);
  const fs::path setup_table = spawns_dir / "wcid_to_setup.json";
  if (!is_kind(*env.files, spawns_dir, common::FileKind::Directory) ||
      !is_kind(*env.files, setup_table, common::FileKind::Regular)) {
    line(out, "SKIP — spawns dir / setup table not staged");
    return {};
  }
  event_bake::BakeInputs inputs;
  inputs.dat_dir = *dat_dir;
  inputs.entity_source = event_bake::EntitySource::from_spawns_manifest(spawns_dir, setup_table);
  inputs.landblock_id = kCheckLandblockId;
  inputs.region_did = kCheckRegionDid;
  inputs.bake_sky = true;

  line(out, "=== ravelin-event-bake :: determinism_100x (SpawnsManifest) ===");
  line(out, "spawns-dir      : " + common::display_path(spawns_dir));
  line(out, "setup-table     : " + common::display_path(setup_table));

  auto baseline = env.bake(inputs);
  if (!baseline) return fail("baseline bake should succeed: " + baseline.error().debug_string());
  const std::string baseline_bytes = baseline->to_jsonl_bytes();
  print_counts(out, *baseline);

  for (int i = 1; i <= kRepetitions; ++i) {
    auto run = env.bake(inputs);
    if (!run) return fail("iter " + std::to_string(i) + ": " + run.error().to_string());
    std::string bytes = run->to_jsonl_bytes();
    if (bytes != baseline_bytes) {
      return fail_equal("iter " + std::to_string(i) + " JSONL diverged", std::move(bytes), baseline_bytes);
    }
  }
  line(out, "PASS — SpawnsManifest " + std::to_string(kRepetitions) + "x byte-equal (" +
                std::to_string(baseline_bytes.size()) + " bytes)");
  return {};
}

}  // namespace ravelin::runner
