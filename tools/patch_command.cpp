// `ravelin-bake patch TARGET_DIR --old OLD_DIR --new NEW_DIR [--dry-run] [--keep-going] [--report FILE] [--jobs N]`:
// carries the changes OLD → NEW onto TARGET's two archives. Prints one line per change and per conflict
// and a totals line; exits 0 when everything merged, 1 on a conflict or an error. The report, the same
// lines as JSON, is written under a temporary name and put in place whole.
#include <cstdio>
#include <memory>
#include <string>

#include "ravelin/common/output_file.h"
#include "ravelin/event_bake/world_patch.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct PatchArgs {
  std::string target_dir;
  std::string old_dir;
  std::string new_dir;
  std::string report;
  bool dry_run = false;
  bool keep_going = false;
  unsigned jobs = 0;
};

std::string report_lines(const event_bake::WorldPatchResult& result) {
  std::string text;
  for (const auto& change : result.changes) text += change.to_json_line() + '\n';
  for (const auto& conflict : result.conflicts) text += conflict.to_json_line() + '\n';
  return text + result.totals_json_line() + '\n';
}

int run_patch(const PatchArgs& args) {
  event_bake::WorldPatchOptions options;
  options.target_dir = args.target_dir;
  options.old_dir = args.old_dir;
  options.new_dir = args.new_dir;
  options.dry_run = args.dry_run;
  options.keep_going = args.keep_going;
  options.jobs = args.jobs;
  const auto result = event_bake::patch_world(options);
  if (!result) return fail(result.error());
  for (const auto& change : result->changes) std::printf("%s\n", change.to_text().c_str());
  for (const auto& conflict : result->conflicts) std::printf("%s\n", conflict.to_text().c_str());
  std::printf("%s\n", result->totals_text().c_str());
  if (std::fflush(stdout) != 0) return fail("IO error: failed to write standard output");
  if (!args.report.empty()) {
    if (auto r = common::write_output_file(args.report, report_lines(*result)); !r) return fail(r.error().to_string());
  }
  if (result->conflicts.empty()) return 0;
  const std::size_t n = result->conflicts.size();
  const std::string count = std::to_string(n) + (n == 1 ? " conflict" : " conflicts");
  if (args.dry_run) return fail(count);
  if (args.keep_going) return fail(count + " left out; the rest was committed");
  return fail(count + ": nothing written (--keep-going commits the rest)");
}

}  // namespace

void add_patch_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<PatchArgs>();
  auto* cmd = app.add_subcommand("patch", "Carry the changes from one client version to the next onto another version");
  cmd->add_option("TARGET_DIR", args->target_dir, "Directory of the archives to change")->required();
  cmd->add_option("--old", args->old_dir, "Directory of the version the changes were made against")->required();
  cmd->add_option("--new", args->new_dir, "Directory of the version holding the changes")->required();
  cmd->add_flag("--dry-run", args->dry_run, "List the changes and conflicts; write nothing");
  cmd->add_flag("--keep-going", args->keep_going, "Commit what merges even when something conflicts");
  cmd->add_option("--jobs", args->jobs, "Threads comparing the versions (default: one per core)")
      ->check(CLI::Range(1u, 1024u));
  cmd->add_option("--report", args->report, "Also write the changes, conflicts and totals as JSON Lines to FILE");
  cmd->callback([args, &action] { action = [args] { return run_patch(*args); }; });
}

}  // namespace ravelin::tools
