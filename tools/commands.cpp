// What the commands share: the error line, the id validators, the entity
// source options.
#include "tools/commands.h"

#include <cstdio>

namespace ravelin::tools {

int fail(const std::string& text) {
  std::fprintf(stderr, "error: %s\n", text.c_str());
  return 1;
}

event_bake::EntitySource EntitySourceArgs::source() const {
  return spawns_dir.empty() ? event_bake::EntitySource::landblock_info()
                            : event_bake::EntitySource::from_spawns_manifest(spawns_dir, setup_table);
}

void add_entity_source_options(CLI::App& command, EntitySourceArgs& args) {
  auto* spawns = command.add_option("--spawns-dir", args.spawns_dir, "Directory of the spawns files");
  auto* table = command.add_option("--setup-table", args.setup_table, "wcid to setup model table (JSON)");
  // The spawns manifest needs both; with neither the LandblockInfo is used.
  spawns->needs(table);
  table->needs(spawns);
}

CLI::Validator u32_validator(const std::string& what) {
  return CLI::Validator(
      [what](std::string& text) { return parse_u32(text) ? std::string() : "not a 32-bit " + what + ": " + text; },
      "U32");
}

CLI::Validator landblock_validator() {
  return CLI::Validator(
      [](std::string& text) {
        const auto id = dat::parse_landblock(text);
        return id ? std::string() : id.error();
      },
      "LANDBLOCK");
}

std::uint32_t landblock_of(const std::string& text) { return dat::parse_landblock(text).value_or(0); }

}  // namespace ravelin::tools
