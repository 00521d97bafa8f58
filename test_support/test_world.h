// Test support for whole bakes: a scratch directory and the two archives of a
// small world built with the record encoders and the archive writer.
// Header-only, for the event_bake tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/event_bake/bake_inputs.h"
#include "ravelin/event_bake/landblock.h"
#include "dat_writer/animation_encoder.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/landblock_encoder.h"
#include "dat_writer/motion_table_encoder.h"
#include "dat_writer/region_encoder.h"
#include "dat_writer/setup_model_encoder.h"

namespace ravelin::test_support {

// Test worlds are built with the archive writer's record descriptions.
using namespace ::ravelin::dat_writer;

inline constexpr std::uint32_t kBakeLandblock = 0xA9B40000;
inline constexpr std::uint32_t kBakeRegion = 0x13000000;

// A fresh directory below the test temp dir, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info != nullptr ? info->name() : "bake") + "_" +
                             std::to_string(::getpid()) + "_" + std::to_string(counter++);
    path_ = std::filesystem::path(::testing::TempDir()) / ("ravelin_" + name);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> text_bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A world of two archives; add files, then write() and bake.
class BakeWorld {
 public:
  ArchiveWriter portal;
  ArchiveWriter cell;
  bool write_portal = true;
  bool write_cell = true;

  void add_portal(std::uint32_t id, const std::vector<std::uint8_t>& bytes) { portal.add_file(id, bytes); }
  void add_cell(std::uint32_t id, const std::vector<std::uint8_t>& bytes) { cell.add_file(id, bytes); }

  void add_region(const RegionDef& def, std::uint32_t id = kBakeRegion) { add_portal(id, encode_region(def)); }
  void add_setup(const SetupDef& def) { add_portal(def.id, encode_setup_model(def)); }
  void add_setup(std::uint32_t id, std::uint32_t default_script_id, std::uint32_t motion_table_id = 0) {
    add_setup(setup_with_parts(id, 1, default_script_id, motion_table_id));
  }
  void add_motion_table(const MotionTableDef& def) { add_portal(def.id, encode_motion_table(def)); }
  void add_animation(const AnimationDef& def) { add_portal(def.id, encode_animation(def)); }
  void add_script(const PhysicsScriptDef& def) { add_portal(def.id, encode_physics_script(def)); }

  void add_terrain(const std::array<std::uint16_t, kLandblockVertices>& terrain,
                   std::uint32_t landblock_id = kBakeLandblock) {
    add_cell(cell_landblock_file_id(landblock_id),
             encode_cell_landblock(cell_landblock_file_id(landblock_id), terrain));
  }
  void add_uniform_terrain(std::uint16_t word, std::uint32_t landblock_id = kBakeLandblock) {
    std::array<std::uint16_t, kLandblockVertices> terrain{};
    terrain.fill(word);
    add_terrain(terrain, landblock_id);
  }
  void add_placements(const std::vector<std::uint32_t>& ids, std::uint32_t landblock_id = kBakeLandblock) {
    std::vector<StabDef> stabs;
    for (const std::uint32_t id : ids) stabs.push_back({id, {}});
    add_cell(landblock_info_file_id(landblock_id), encode_landblock_info(landblock_info_file_id(landblock_id), stabs));
  }

  // Writes the archives (those enabled) into the scratch directory.
  const std::filesystem::path& write() {
    if (write_portal) {
      EXPECT_TRUE(portal.write(dir_.path() / "client_portal.dat").has_value());
    }
    if (write_cell) {
      EXPECT_TRUE(cell.write(dir_.path() / "client_cell_1.dat").has_value());
    }
    return dir_.path();
  }

  // A file beside the archives (setup tables, spawns files).
  std::filesystem::path write_text(const std::string& name, std::string_view text) {
    const auto path = dir_.path() / name;
    EXPECT_TRUE(common::write_whole_file(path, text_bytes(text)).has_value());
    return path;
  }

  const std::filesystem::path& dir() const { return dir_.path(); }

  event_bake::BakeInputs inputs(std::uint32_t landblock_id = kBakeLandblock) const {
    event_bake::BakeInputs in;
    in.dat_dir = dir_.path();
    in.entity_source = event_bake::EntitySource::landblock_info();
    in.landblock_id = landblock_id;
    in.region_did = kBakeRegion;
    in.bake_sky = true;
    return in;
  }

 private:
  ScratchDir dir_;
};

}  // namespace ravelin::test_support
