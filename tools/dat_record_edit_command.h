// `ravelin-bake dat edit ARCHIVE ID`: a record's JSON document in a text
// editor, written back when it is changed and valid.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/commands.h"

namespace ravelin::tools {

// Adds `edit` to the `dat` command.
void add_dat_record_edit_command(CLI::App& dat, Action& action);

}  // namespace ravelin::tools
