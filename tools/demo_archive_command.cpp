// `ravelin-bake demo-archive FILE`: writes a small archive with plain and
// compressed files through the archive writer, for the demo script.
#include <memory>
#include <string>

#include "ravelin/dat/error.h"
#include "dat_writer/archive_writer.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

std::vector<std::uint8_t> text_bytes(const std::string& s) { return {s.begin(), s.end()}; }

int write_demo(const std::string& path) {
  dat_writer::ArchiveWriter w({.block_size = 256, .entries_per_node = 4});
  w.header().engine_version = 1;
  w.header().game_version = 1;
  std::string log;
  for (int i = 0; i < 40; ++i) log += "ambient sound " + std::to_string(i % 6) + " at vertex " + std::to_string(i) + "\n";
  w.add_file(0x13000000, text_bytes("region placeholder\n"));
  w.add_file(0x02000001, text_bytes(log), {.compressed = true});
  w.add_file(0x02000002, std::vector<std::uint8_t>(2000, 0x5A), {.compressed = true});
  w.add_file(0x33000001, text_bytes("script placeholder\n"), {.layout = dat_writer::ChainLayout::Scattered});
  w.add_file(0xA9B4FFFF, std::vector<std::uint8_t>(81 * 2 + 8, 0), {.layout = dat_writer::ChainLayout::Reversed});
  w.add_file(0xA9B4FFFE, {});
  if (auto r = w.write(path); !r) return fail(dat::DatError::io(r.error()).to_string());
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
