// `ravelin-bake render`: an SVG picture of one landblock's bake.
#include <memory>
#include <string>

#include "ravelin/common/file.h"
#include "ravelin/dat/error.h"
#include "ravelin/event_bake/landblock_svg.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct RenderArgs {
  std::string dat_dir;
  std::string landblock_text;
  std::string region_text = "0x13000000";
  std::string output;
};

int run_render(const RenderArgs& args) {
  event_bake::BakeInputs inputs;
  inputs.dat_dir = args.dat_dir;
  const std::uint32_t value = parse_u32(args.landblock_text).value_or(0);  // checked while parsing
  inputs.landblock_id = value <= 0xFFFF ? value << 16 : value;
  inputs.region_did = parse_u32(args.region_text).value_or(event_bake::kDefaultRegionDid);
  inputs.bake_sky = true;
  inputs.entity_source = event_bake::EntitySource::landblock_info();
  const auto svg = event_bake::render_landblock(inputs);
  if (!svg) return fail(svg.error().to_string());
  const auto* first = reinterpret_cast<const std::uint8_t*>(svg->data());
  if (auto r = common::write_whole_file(args.output, {first, svg->size()}); !r)
    return fail(dat::DatError::io(r.error()).to_string());
  return 0;
}

}  // namespace

void add_render_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<RenderArgs>();
  auto* render = app.add_subcommand("render", "Draw one landblock's bake as an SVG picture");
  render->add_option("--dat-dir", args->dat_dir, "Directory holding client_portal.dat and client_cell_1.dat")
      ->required();
  const auto u32_check = CLI::Validator(
      [](std::string& text) { return parse_u32(text) ? std::string() : "not a 32-bit number: " + text; }, "U32");
  render->add_option("--landblock", args->landblock_text,
                     "Landblock number (up to 0xFFFF) or whole landblock id, 0x hexadecimal or decimal")
      ->required()
      ->check(u32_check);
  render->add_option("--region", args->region_text, "Region file id (default 0x13000000)")->check(u32_check);
  render->add_option("-o,--output", args->output, "SVG file to write")->required();
  render->callback([args, &action] { action = [args] { return run_render(*args); }; });
}

}  // namespace ravelin::tools
