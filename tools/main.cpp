// ravelin-bake: archive inspection and landblock event bakes from the command line.
#include <cstdio>

#include "ravelin/version.h"
#include "tools/command_words.h"
#include "tools/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"ravelin-bake: read game-client DAT archives and bake landblock event manifests", "ravelin-bake"};
  app.require_subcommand(1);
  ravelin::tools::Action action;
  ravelin::tools::add_dat_commands(app, action);
  ravelin::tools::add_dat_encode_command(*app.get_subcommand("dat"), action);
  ravelin::tools::add_dat_edit_commands(*app.get_subcommand("dat"), action);
  ravelin::tools::add_demo_archive_command(app, action);
  ravelin::tools::add_bake_command(app, action);
  ravelin::tools::add_bake_all_command(app, action);
  ravelin::tools::add_sample_world_command(app, action);
  ravelin::tools::add_render_command(app, action);
  ravelin::tools::add_diff_command(app, action);
  ravelin::tools::add_patch_command(app, action);
  ravelin::tools::add_dat_folder_commands(*app.get_subcommand("dat"), action);
  ravelin::tools::add_version_flags(app, std::string("ravelin-bake ") + ravelin::kVersion);
  // A mistyped command word would otherwise read "A subcommand is required".
  if (const auto status = ravelin::tools::check_command_words(app, argc, argv)) return *status;
  // CLI11 reports parse failures by exception; every usage error exits 2 after
  // CLI11's own message (help and version requests exit 0).
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return action ? action() : 2;
}
