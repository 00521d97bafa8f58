// Writes a seeded random world for the end-to-end tests of the database:
// larger than the sample world, with a NaN sound volume, landblocks without a
// LandblockInfo and filler files.   random_world_test DIR SEED
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dat_writer/sample_world.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: random_world_test DIR SEED\n");
    return 2;
  }
  ravelin::dat_writer::SampleWorldParams params;
  params.seed = std::strtoull(argv[2], nullptr, 10);
  params.first_x = 0x10;
  params.first_y = 0x20;
  params.grid_width = 4;
  params.grid_height = 5;
  params.setup_count = 14;
  params.motion_table_count = 5;
  params.animation_count = 16;
  params.script_count = 9;
  params.day_group_count = 5;
  params.nan_sound_hook = true;
  params.info_absent_one_in = 4;
  params.cell_fillers_per_landblock = 3;
  const auto world = ravelin::dat_writer::build_sample_world(params);
  if (auto r = ravelin::dat_writer::write_sample_world(argv[1], world); !r) {
    std::fprintf(stderr, "error: %s\n", r.error().to_string().c_str());
    return 1;
  }
  return 0;
}
