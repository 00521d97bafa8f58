// Sub-commands of ravelin-bake. Each add_* function registers its sub-commands;
// a parsed sub-command stores the action to run in `action`, which returns the
// process exit status (0 success, 1 failure; usage errors exit 2 through CLI11).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ravelin/common/id_text.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/event_bake/bake_inputs.h"

namespace ravelin::tools {

using Action = std::function<int()>;

void add_dat_commands(CLI::App& app, Action& action);
// `dat encode FILE.json|- [-o FILE.bin] [--type TYPE]`, added to the `dat` command: a record's bytes from its
// JSON document.
void add_dat_encode_command(CLI::App& dat, Action& action);
// `dat put|rm|compact|check`, added to the `dat` command: editing, compacting and checking an archive.
void add_dat_edit_commands(CLI::App& dat, Action& action);
// `demo-archive FILE`: a small archive written with the archive writer.
void add_demo_archive_command(CLI::App& app, Action& action);
// `bake --dat-dir DIR --landblock LB [--region ID] [--spawns-dir DIR --setup-table
// FILE] [--no-sky] [-o FILE] [--debug]`: the landblock's JSONL manifest (exit 0),
// or "error: <text>" on standard error (exit 1).
void add_bake_command(CLI::App& app, Action& action);
// `bake-all --dat-dir DIR [--out-dir OUT] [--db FILE] [--region ID] [--jobs N]
// [--spawns-dir DIR --setup-table FILE] [--no-sky] [--svg] [--atlas] [--landblocks LB,...]`:
// every landblock's manifest as OUT/0xXXXX.events.jsonl (and picture) plus
// OUT/index.jsonl (and the atlas page OUT/atlas.html), and/or the SQLite database
// FILE; exit 1 if any landblock failed, 128 + the signal when interrupted.
void add_bake_all_command(CLI::App& app, Action& action);
// `sample-world DIR [--seed N]`: the generated sample world with staged spawns.
void add_sample_world_command(CLI::App& app, Action& action);
// `render --dat-dir DIR --landblock LB [--region ID] [--spawns-dir DIR --setup-table
// FILE] [--no-sky] -o FILE.svg`: an SVG picture of the bake.
void add_render_command(CLI::App& app, Action& action);
// `diff OLD_DIR NEW_DIR --out-dir OUT [--jobs N] [--region ID] [--no-sky]`: files.jsonl,
// records.jsonl, landblocks.jsonl and summary.md in OUT (exit 0), or "error: <text>" (exit 1).
void add_diff_command(CLI::App& app, Action& action);
// `patch TARGET_DIR --old OLD_DIR --new NEW_DIR [--dry-run] [--keep-going] [--report FILE]`: the changes
// OLD → NEW carried onto TARGET's archives; exit 1 on a conflict or an error.
void add_patch_command(CLI::App& app, Action& action);
// `dat cp|extract|pack`, added to the `dat` command: files copied between archives, archives as folders and back.
void add_dat_folder_commands(CLI::App& dat, Action& action);

using common::parse_u32;
// Accepts what parse_u32 accepts; the message names `what`.
CLI::Validator u32_validator(const std::string& what);
// Accepts what dat::parse_landblock accepts, with its message.
CLI::Validator landblock_validator();
// The landblock id of a text the validator accepted.
std::uint32_t landblock_of(const std::string& text);
// Where a bake takes its placed objects from: the spawns manifest when both
// paths are given, else the LandblockInfo.
struct EntitySourceArgs {
  std::string spawns_dir;
  std::string setup_table;
  event_bake::EntitySource source() const;
};
// Adds --spawns-dir and --setup-table, each requiring the other.
void add_entity_source_options(CLI::App& command, EntitySourceArgs& args);
// Prints "error: <text>" on standard error and returns 1.
int fail(const std::string& text);

}  // namespace ravelin::tools
