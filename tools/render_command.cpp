// `ravelin-bake render`: an SVG picture of one landblock's bake.
#include <memory>
#include <string>

#include "ravelin/common/output_file.h"
#include "ravelin/dat/error.h"
#include "tools/commands.h"
#include "draw/landblock_svg.h"

namespace ravelin::tools {
namespace {

struct RenderArgs {
  std::string dat_dir;
  std::string landblock_text;
  std::string region_text = "0x13000000";
  EntitySourceArgs entities;
  bool no_sky = false;
  std::string output;
};

int run_render(const RenderArgs& args) {
  event_bake::BakeInputs inputs;
  inputs.dat_dir = args.dat_dir;
  inputs.landblock_id = landblock_of(args.landblock_text);
  inputs.region_did = parse_u32(args.region_text).value_or(event_bake::kDefaultRegionDid);
  inputs.bake_sky = !args.no_sky;
  inputs.entity_source = args.entities.source();
  const auto svg = draw::render_landblock(inputs);
  if (!svg) return fail(svg.error().to_string());
  if (auto r = common::write_output_file(args.output, *svg); !r) return fail(r.error().to_string());
  return 0;
}

}  // namespace

void add_render_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<RenderArgs>();
  auto* render = app.add_subcommand("render", "Draw one landblock's bake as an SVG picture");
  render->add_option("--dat-dir", args->dat_dir, "Directory holding client_portal.dat and client_cell_1.dat")
      ->required();
  render->add_option("--landblock", args->landblock_text,
                     "Landblock number (up to 0xFFFF) or whole landblock id, 0x hexadecimal or decimal")
      ->required()
      ->check(landblock_validator());
  render->add_option("--region", args->region_text, "Region file id (default 0x13000000)")
      ->check(u32_validator("region id"));
  add_entity_source_options(*render, args->entities);
  render->add_flag("--no-sky", args->no_sky, "Leave out the sky particle chain");
  // Required by hand: CLI11 would name only "--output" while every example writes -o.
  render->add_option("-o,--output", args->output, "SVG file to write (required)");
  render->callback([args, &action] {
    if (args->output.empty()) throw CLI::RequiredError("-o,--output");
    action = [args] { return run_render(*args); };
  });
}

}  // namespace ravelin::tools
