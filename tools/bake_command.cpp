// `ravelin-bake bake`: one landblock bake from the command line, written as
// JSON Lines (or as the records' debug renderings with --debug).
#include <cstdio>
#include <memory>
#include <string>

#include "ravelin/common/output_file.h"
#include "ravelin/dat/error.h"
#include "ravelin/event_bake/landblock.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct BakeArgs {
  std::string dat_dir;
  std::string landblock_text;
  std::string region_text = "0x13000000";
  EntitySourceArgs entities;
  std::string output;
  bool no_sky = false;
  bool debug = false;
  bool inputs = false;
};

template <class Record>
void append_debug_lines(std::string& out, const std::vector<Record>& records) {
  for (const Record& r : records) {
    out += r.debug_string();
    out += '\n';
  }
}

std::string debug_lines(const event_bake::LandblockEventBake& bake) {
  std::string out;
  append_debug_lines(out, bake.ambient_terrain_events);
  append_debug_lines(out, bake.anim_hook_events);
  append_debug_lines(out, bake.physics_particle_events);
  append_debug_lines(out, bake.sky_particle_events);
  return out;
}

int write_output(const std::string& text, const std::string& path) {
  if (!path.empty()) {
    if (auto r = common::write_output_file(path, text); !r) return fail(r.error().to_string());
    return 0;
  }
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    return fail("IO error: failed to write standard output");
  return std::fflush(stdout) == 0 ? 0 : fail("IO error: failed to write standard output");
}

int run_bake(const BakeArgs& args) {
  event_bake::BakeInputs inputs;
  inputs.dat_dir = args.dat_dir;
  inputs.landblock_id = landblock_of(args.landblock_text);
  inputs.region_did = parse_u32(args.region_text).value_or(event_bake::kDefaultRegionDid);
  inputs.bake_sky = !args.no_sky;
  inputs.entity_source = args.entities.source();
  if (args.inputs) {
    // The inputs are printed also when the bake fails: they show how far it got.
    const auto recorded = event_bake::bake_landblock_events_with_inputs(inputs);
    std::string text;
    for (const std::string& name : recorded.inputs.names()) text += name + '\n';
    if (const int status = write_output(text, args.output); status != 0) return status;
    return recorded.result ? 0 : fail(recorded.result.error().to_string());
  }
  const auto bake = event_bake::bake_landblock_events(inputs);
  if (!bake) return fail(bake.error().to_string());
  return write_output(args.debug ? debug_lines(*bake) : bake->to_jsonl_bytes(), args.output);
}

}  // namespace

void add_bake_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<BakeArgs>();
  auto* bake = app.add_subcommand("bake", "Bake one landblock's event manifest as JSON Lines");
  bake->add_option("--dat-dir", args->dat_dir, "Directory holding client_portal.dat and client_cell_1.dat")
      ->required();
  bake->add_option("--landblock", args->landblock_text,
                   "Landblock number (up to 0xFFFF) or whole landblock id, 0x hexadecimal or decimal")
      ->required()
      ->check(landblock_validator());
  bake->add_option("--region", args->region_text, "Region file id (default 0x13000000)")
      ->check(u32_validator("region id"));
  add_entity_source_options(*bake, args->entities);
  bake->add_flag("--no-sky", args->no_sky, "Leave out the sky particle chain");
  bake->add_option("-o,--output", args->output, "Write to FILE instead of standard output");
  auto* debug = bake->add_flag("--debug", args->debug, "Print the records' debug renderings, one per line");
  bake->add_flag("--inputs", args->inputs,
                 "Print the archive records the bake reads or looks for (portal:0x..., cell:0x...), one per line")
      ->excludes(debug);
  bake->callback([args, &action] { action = [args] { return run_bake(*args); }; });
}

}  // namespace ravelin::tools
