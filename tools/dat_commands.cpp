// `ravelin-bake dat info|ls|get`: filled in with the archive reader.
#include "tools/commands.h"

namespace ravelin::tools {

void add_dat_commands(CLI::App& app, Action& action) {
  auto* dat = app.add_subcommand("dat", "Inspect a DAT archive");
  dat->require_subcommand(1);
  (void)action;
}

}  // namespace ravelin::tools
