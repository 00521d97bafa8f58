// A small but complete game world written with the archive writer and the
// record encoders: a portal archive with the region, setup models, motion
// tables, animations and physics scripts, a cell archive with a grid of
// landblocks, and a staged spawns manifest with its setup table. The grid is
// an island (sample_terrain.h): terrain types by height and moisture, trees,
// rocks and houses placed where they belong. Landblock 0xA9B4 is built so that
// a bake of it meets every event family through both entity sources;
// everything else is drawn from a seeded generator, so one seed always gives
// the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ravelin/common/file.h"

namespace ravelin::dat_writer {

// The landblock every sample world holds and stages spawns for.
inline constexpr std::uint32_t kSampleFocusLandblock = 0xA9B4;

// Shape of a generated world. Counts are lower-bounded where the focus
// landblock needs them (at least 4 setups, 2 motion tables, 2 animations,
// 2 scripts, 3 day groups); larger values only add content.
struct SampleWorldParams {
  std::uint64_t seed = 1;
  // Landblock numbers x << 8 | y for x in [first_x, first_x + grid_width) and
  // y in [first_y, first_y + grid_height); the focus landblock is always added.
  std::uint32_t first_x = 0xA8;
  std::uint32_t first_y = 0xB3;
  std::uint32_t grid_width = 3;
  std::uint32_t grid_height = 3;
  std::uint32_t setup_count = 8;
  std::uint32_t motion_table_count = 3;
  std::uint32_t animation_count = 10;
  std::uint32_t script_count = 6;
  std::uint32_t day_group_count = 4;
  std::uint32_t portal_block_size = 256;
  std::uint32_t cell_block_size = 256;
  std::uint32_t entries_per_node = 16;  // small nodes give the trees some depth
  // The focus landblock's first sound-table hook gets a NaN volume.
  bool nan_sound_hook = false;
  // 0: exactly one landblock other than the focus lacks its LandblockInfo;
  // n > 0: each other landblock lacks it with chance 1/n.
  std::uint32_t info_absent_one_in = 0;
  // Files nothing in a bake reads, drawn from their own stream so that they
  // never change the rest of the world: portal files (textures of 32 to 1500
  // bytes, plus `portal_large_files` of 1 MiB, every other one compressed) and
  // cell files per landblock (cells of 16 to 120 bytes).
  std::uint32_t portal_filler_files = 0;
  std::uint32_t portal_large_files = 0;
  std::uint32_t cell_fillers_per_landblock = 0;
};

// A world the size of a retail installation: a 255 x 255 landblock grid (about
// 1,000,000 cell files, block size 256) and about 80,000 portal files (block
// size 1024), directory nodes full.
SampleWorldParams retail_sample_world_params(std::uint64_t seed = 1);

// First id of the portal's large filler files (1 MiB each; odd ones compressed).
inline constexpr std::uint32_t kSampleLargeFileBase = 0x06F00000;
// First id of the portal's small filler files.
inline constexpr std::uint32_t kSampleFillerFileBase = 0x06000000;

// A generated world in memory: the two archive images and the staged texts.
struct SampleWorld {
  std::vector<std::uint8_t> portal;  // "client_portal.dat"
  std::vector<std::uint8_t> cell;    // "client_cell_1.dat"
  std::string spawns_jsonl;          // "spawns/0xA9B4.spawns.jsonl"
  std::string setup_table_json;      // "spawns/wcid_to_setup.json"
};

// Builds the world described by `params`; equal params give equal bytes.
SampleWorld build_sample_world(const SampleWorldParams& params);

// Writes `world` into `dir` (created with its parents): the two archives and
// the spawns directory, replacing earlier files. Each file is written whole
// under a temporary name and renamed into place (output_file.h), so an
// interrupted run never leaves a half-written archive under its name.
common::IoResult<void> write_sample_world(const std::filesystem::path& dir, const SampleWorld& world,
                                          common::FileSystem& fs = common::default_file_system());

}  // namespace ravelin::dat_writer
