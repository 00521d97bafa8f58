// What a landblock bake is asked to do: where the archives are, which landblock
// and region, where the placed objects come from and whether the sky family
// runs. Plain values owned by the caller; the bake only reads them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

namespace ravelin::event_bake {

// Placed objects taken from a spawns manifest: the per-landblock spawns files in
// `spawns_dir`, their wcids translated through the setup table file.
struct SpawnsManifest {
  std::filesystem::path spawns_dir;
  std::filesystem::path setup_table;

  bool operator==(const SpawnsManifest&) const = default;
};

// Where a bake takes the placed objects from: the landblock's LandblockInfo
// record (no manifest, the default) or a spawns manifest.
struct EntitySource {
  std::optional<SpawnsManifest> spawns_manifest;

  static EntitySource landblock_info() { return {}; }
  static EntitySource from_spawns_manifest(std::filesystem::path spawns_dir,
                                           std::filesystem::path setup_table) {
    return {SpawnsManifest{std::move(spawns_dir), std::move(setup_table)}};
  }
  bool is_landblock_info() const { return !spawns_manifest.has_value(); }

  bool operator==(const EntitySource&) const = default;
};

// Everything one bake call reads; owned by the caller.
struct BakeInputs {
  std::filesystem::path dat_dir;  // holds "client_portal.dat" and "client_cell_1.dat"
  EntitySource entity_source;
  std::uint32_t landblock_id = 0;  // landblock number in the high 16 bits
  std::uint32_t region_did = 0;
  bool bake_sky = false;
};

}  // namespace ravelin::event_bake
