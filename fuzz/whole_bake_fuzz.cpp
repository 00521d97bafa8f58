// A whole bake over the small sample world with one part replaced by the input
// (see the layout in seed_corpus.h). The bake must return a value; it may fail
// only when the replaced part is one the bake requires.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/spawns.h"
#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/seed_corpus.h"

namespace {

using namespace ravelin;

constexpr std::uint32_t kLandblockId = dat_writer::kSampleFocusLandblock << 16;

struct BakeWorld {
  dat_writer::SampleWorldParams params = fuzz::small_world_params();
  std::vector<fuzz::ArchiveFile> portal;
  std::vector<fuzz::ArchiveFile> cell;
  std::vector<std::uint8_t> portal_image;
  std::vector<std::uint8_t> cell_image;
  std::string spawns;
  std::string setup_table;
  fuzz::MemoryFile portal_file, cell_file, spawns_file, table_file;
  std::filesystem::path dat_dir, spawns_dir;

  BakeWorld() {
    const dat_writer::SampleWorld world = dat_writer::build_sample_world(params);
    portal = fuzz::archive_files(world.portal);
    cell = fuzz::archive_files(world.cell);
    portal_image = world.portal;
    cell_image = world.cell;
    spawns = world.spawns_jsonl;
    setup_table = world.setup_table_json;
    // The bake opens fixed names; they lead to the in-memory files.
    dat_dir = fuzz::scratch_dir() / "dat";
    spawns_dir = dat_dir / "spawns";
    std::filesystem::create_directories(spawns_dir);
    link(portal_file, dat_dir / event_bake::kPortalArchiveName);
    link(cell_file, dat_dir / event_bake::kCellArchiveName);
    link(spawns_file, spawns_dir / event_bake::spawns_file_name(kLandblockId));
    link(table_file, spawns_dir / "wcid_to_setup.json");
  }

  static void link(const fuzz::MemoryFile& file, const std::filesystem::path& name) {
    std::error_code ec;
    std::filesystem::remove(name, ec);
    std::filesystem::create_symlink(file.path(), name, ec);
    if (ec) {
      std::fprintf(stderr, "whole_bake: cannot link %s\n", name.c_str());
      std::abort();
    }
  }

  static std::span<const std::uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
  }

  // Stages the world with `content` in place of part `part`, index `index`; returns
  // whether a failed bake is acceptable for that change.
  bool stage(std::uint8_t part, std::size_t index, std::span<const std::uint8_t> content, bool spawns_source) {
    portal_file.assign(portal_image);
    cell_file.assign(cell_image);
    spawns_file.assign(bytes(spawns));
    table_file.assign(bytes(setup_table));
    if (part == fuzz::kBakeReplacePortal || part == fuzz::kBakeReplaceCell) {
      const bool is_portal = part == fuzz::kBakeReplacePortal;
      std::vector<fuzz::ArchiveFile> files = is_portal ? portal : cell;
      fuzz::ArchiveFile& target = files[index % files.size()];
      target.bytes.assign(content.begin(), content.end());
      const std::uint32_t block_size = is_portal ? params.portal_block_size : params.cell_block_size;
      (is_portal ? portal_file : cell_file).assign(fuzz::archive_image(files, block_size));
      if (is_portal) return target.id == event_bake::kDefaultRegionDid;
      return target.id == (kLandblockId | 0xFFFF) || (target.id == (kLandblockId | 0xFFFE) && !spawns_source);
    }
    if (part == fuzz::kBakeReplaceSpawns) {
      spawns_file.assign(content);
      return false;
    }
    table_file.assign(content);
    return spawns_source;
  }
};

}  // namespace

RAVELIN_FUZZ_ENTRY(whole_bake) {
  static BakeWorld world;
  if (size < 3) return 0;
  const std::uint8_t part = data[0] & 0x3;
  const bool spawns_source = (data[0] & fuzz::kBakeSpawnsSourceBit) != 0;
  const std::size_t index = data[1] | static_cast<std::size_t>(data[2]) << 8;
  const bool may_fail = world.stage(part, index, {data + 3, size - 3}, spawns_source);

  event_bake::BakeInputs inputs;
  inputs.dat_dir = world.dat_dir;
  inputs.landblock_id = kLandblockId;
  inputs.region_did = event_bake::kDefaultRegionDid;
  inputs.bake_sky = (data[0] & fuzz::kBakeSkyBit) != 0;
  if (spawns_source) {
    inputs.entity_source =
        event_bake::EntitySource::from_spawns_manifest(world.spawns_dir, world.spawns_dir / "wcid_to_setup.json");
  }
  auto bake = event_bake::bake_landblock_events(inputs);
  if (bake) {
    (void)bake->to_jsonl_bytes();
  } else {
    if (!may_fail) std::fprintf(stderr, "whole_bake: unexpected failure: %s\n", bake.error().to_string().c_str());
    RAVELIN_FUZZ_CHECK("whole_bake", may_fail);
    RAVELIN_FUZZ_CHECK("whole_bake", !bake.error().debug_string().empty());
  }
  return 0;
}
