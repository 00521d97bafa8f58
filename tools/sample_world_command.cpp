// `ravelin-bake sample-world DIR [--seed N] [--scale small|retail] [--revision 1|2]`: writes the
// generated sample world (both archives and the staged spawns manifest) into DIR; revision 2 is the
// same world's next client version.
#include <cstdio>
#include <memory>
#include <string>

#include "ravelin/common/file.h"
#include "dat_writer/sample_world.h"
#include "dat_writer/sample_world_revision.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct SampleWorldArgs {
  std::string dir;
  std::uint64_t seed = 1;
  std::string scale = "small";
  int revision = 1;
};

int write_world(const SampleWorldArgs& args) {
  const dat_writer::SampleWorldParams params =
      args.scale == "retail" ? dat_writer::retail_sample_world_params(args.seed) : dat_writer::SampleWorldParams{.seed = args.seed};
  const dat_writer::SampleWorld world = dat_writer::build_sample_world(params);
  if (auto r = dat_writer::write_sample_world(args.dir, world); !r) {
    return fail("write sample world at " + common::display_path(args.dir) + ": " + r.error().to_string());
  }
  if (args.revision == 1) {
    std::printf("sample world (seed %llu) in %s: client_portal.dat %zu bytes, client_cell_1.dat %zu bytes, spawns/\n",
                static_cast<unsigned long long>(args.seed), common::display_path(args.dir).c_str(),
                world.portal.size(), world.cell.size());
    return 0;
  }
  const auto revised = dat_writer::revise_sample_world(args.dir, params.entries_per_node);
  if (!revised) return fail(revised.error());
  std::printf("sample world (seed %llu) revision 2 in %s: client_portal.dat %ju bytes, client_cell_1.dat %ju bytes, "
              "spawns/\n",
              static_cast<unsigned long long>(args.seed), common::display_path(args.dir).c_str(), revised->portal_size,
              revised->cell_size);
  for (const std::string& change : revised->changes) std::printf("  %s\n", change.c_str());
  return 0;
}

}  // namespace

void add_sample_world_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<SampleWorldArgs>();
  auto* cmd = app.add_subcommand("sample-world", "Write the generated sample world (both archives and spawns/) into DIR");
  cmd->add_option("DIR", args->dir, "Directory to write (created with its parents)")->required();
  cmd->add_option("--seed", args->seed, "Seed of the generator; equal seeds give equal bytes")->capture_default_str();
  cmd->add_option("--scale", args->scale, "small: a 3 x 3 grid; retail: 255 x 255 landblocks, about 1,000,000 cell files")
      ->check(CLI::IsMember({"small", "retail"}))
      ->capture_default_str();
  cmd->add_option("--revision", args->revision,
                  "1: the world as generated; 2: its next client version, a handful of records changed")
      ->check(CLI::IsMember({1, 2}))
      ->capture_default_str();
  cmd->callback([args, &action] { action = [args] { return write_world(*args); }; });
}

}  // namespace ravelin::tools
