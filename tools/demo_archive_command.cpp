// `ravelin-bake demo-archive FILE`: writes a small archive of real records
// through the archive writer, stored plain, compressed and in scattered and
// reversed block chains, for trying the `dat` commands.
#include <cstdio>
#include <memory>
#include <string>

#include "ravelin/common/file.h"
#include "dat_writer/animation_encoder.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/landblock_encoder.h"
#include "dat_writer/region_encoder.h"
#include "dat_writer/setup_model_encoder.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

namespace dw = dat_writer;

int write_demo(const std::string& path) {
  dw::ArchiveWriter w({.block_size = 256, .entries_per_node = 4});
  w.header().engine_version = 1;
  w.header().game_version = 1;
  w.add_file(0x13000000, dw::encode_region(dw::sample_region_def()), {.compressed = true});
  w.add_file(0x02000001, dw::encode_setup_model(dw::setup_with_parts(0x02000001, 3, 0x33000001)), {.compressed = true});
  w.add_file(0x02000002, dw::encode_setup_model(dw::setup_with_parts(0x02000002, 1)));
  w.add_file(0x33000001,
             dw::encode_physics_script(dw::physics_script_of(
                 0x33000001, {{0.0, dw::particle_hook(0x32000010, 0)}, {1.5, dw::particle_hook(0x32000011, 2, true)}})),
             {.layout = dw::ChainLayout::Scattered});
  std::array<std::uint16_t, dw::kLandblockVertices> terrain{};
  for (std::size_t v = 0; v < terrain.size(); ++v) terrain[v] = dw::terrain_word(static_cast<std::uint32_t>(v % 3), 0);
  w.add_file(0xA9B4FFFF, dw::encode_cell_landblock(0xA9B4FFFF, terrain), {.layout = dw::ChainLayout::Reversed});
  const std::vector<dw::StabDef> placed = {{0x02000001, {}}, {0x02000002, {}}};
  w.add_file(0xA9B4FFFE, dw::encode_landblock_info(0xA9B4FFFE, placed));
  if (auto r = w.write(path); !r)
    return fail("IO error: write " + common::display_path(path) + ": " + r.error().to_string());
  std::fprintf(stderr,
               "wrote %s: a region, two setups, a physics script and landblock 0xA9B4's two records; "
               "`ravelin-bake dat ls %s` lists them, `dat show` decodes each (the landblock records with --type)\n",
               common::display_path(path).c_str(), common::display_path(path).c_str());
  return 0;
}

}  // namespace

void add_demo_archive_command(CLI::App& app, Action& action) {
  auto path = std::make_shared<std::string>();
  auto* demo = app.add_subcommand("demo-archive", "Write a small sample archive");
  demo->add_option("FILE", *path, "Archive file to write")->required();
  demo->callback([path, &action] { action = [path] { return write_demo(*path); }; });
}

}  // namespace ravelin::tools
