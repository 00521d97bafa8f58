#include "dat_writer/sample_world.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "dat_writer/sample_world_revision.h"
#include "ravelin/common/reader.h"
#include "ravelin/common/recording_file_system.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat_writer {
namespace {

namespace fs = std::filesystem;
using dat::DatDatabase;

class SampleWorldDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ravelin-sample-world-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(SampleWorld, SeedDecidesTheBytes) {
  const SampleWorld a = build_sample_world({.seed = 7});
  const SampleWorld b = build_sample_world({.seed = 7});
  const SampleWorld c = build_sample_world({.seed = 8});
  EXPECT_EQ(a.portal, b.portal);
  EXPECT_EQ(a.cell, b.cell);
  EXPECT_EQ(a.spawns_jsonl, b.spawns_jsonl);
  EXPECT_EQ(a.setup_table_json, b.setup_table_json);
  EXPECT_NE(a.portal, c.portal);
  EXPECT_NE(a.cell, c.cell);
  EXPECT_NE(a.spawns_jsonl, c.spawns_jsonl);
}

TEST(SampleWorld, NaNFlagChangesOnlyThePortalArchive) {
  const SampleWorld plain = build_sample_world({});
  const SampleWorld nan = build_sample_world({.nan_sound_hook = true});
  EXPECT_NE(plain.portal, nan.portal);
  EXPECT_EQ(plain.cell, nan.cell);
}

// Every stored file decodes with the reader its id range names, and the focus
// landblock holds the placements the bake's tolerance rules are about.
TEST_F(SampleWorldDir, EveryFileDecodesAndTheFocusLandblockIsComplete) {
  for (const std::uint64_t seed : {1u, 2u, 99u}) {
    SCOPED_TRACE(seed);
    ASSERT_TRUE(write_sample_world(dir_, build_sample_world({.seed = seed})));
    auto portal = DatDatabase::open(dir_ / "client_portal.dat");
    auto cell = DatDatabase::open(dir_ / "client_cell_1.dat");
    ASSERT_TRUE(portal) << portal.error().to_string();
    ASSERT_TRUE(cell) << cell.error().to_string();

    std::set<std::uint32_t> kinds;
    for (const auto& entry : portal->sorted_entries()) {
      auto bytes = portal->get_file(entry.id);
      ASSERT_TRUE(bytes) << std::hex << entry.id;
      common::Reader r(*bytes);
      bool ok = false;
      switch (entry.id >> 24) {
        case 0x13: ok = dat::file_type::Region::unpack(r).has_value(); break;
        case 0x02: ok = dat::file_type::SetupModel::unpack(r).has_value(); break;
        case 0x09: ok = dat::file_type::MotionTable::read(r).has_value(); break;
        case 0x03: ok = dat::file_type::Animation::read(r).has_value(); break;
        case 0x33: ok = dat::file_type::PhysicsScript::read(r).has_value(); break;
      }
      EXPECT_TRUE(ok) << std::hex << entry.id;
      kinds.insert(entry.id >> 24);
    }
    EXPECT_EQ(kinds, (std::set<std::uint32_t>{0x02, 0x03, 0x09, 0x13, 0x33}));
    EXPECT_TRUE(std::any_of(portal->entries().begin(), portal->entries().end(),
                            [](const auto& e) { return (e.bit_flags & 1) != 0; }))
        << "some portal files are stored compressed";

    std::size_t cells = 0, infos = 0;
    for (const auto& entry : cell->sorted_entries()) {
      auto bytes = cell->get_file(entry.id);
      ASSERT_TRUE(bytes);
      if ((entry.id & 0xFFFF) == 0xFFFF) {
        EXPECT_TRUE(dat::CellLandblock::unpack(*bytes)) << std::hex << entry.id;
        ++cells;
      } else {
        EXPECT_TRUE(dat::LandblockInfo::unpack(*bytes)) << std::hex << entry.id;
        ++infos;
      }
    }
    EXPECT_EQ(cells, 9u);
    EXPECT_EQ(infos, 8u) << "exactly one landblock has no LandblockInfo";

    auto info_bytes = cell->get_file(0xA9B4FFFE);
    ASSERT_TRUE(info_bytes);
    auto info = dat::LandblockInfo::unpack(*info_bytes);
    ASSERT_TRUE(info);
    bool outside_range = false, absent_setup = false, stored_setup = false;
    for (const auto& stab : info->objects) {
      const bool setup_range = stab.id - 0x02000000u < 0x01000000u;
      outside_range |= !setup_range;
      absent_setup |= setup_range && portal->find_entry(stab.id) == nullptr;
      stored_setup |= setup_range && portal->find_entry(stab.id) != nullptr;
    }
    EXPECT_TRUE(outside_range);
    EXPECT_TRUE(absent_setup);
    EXPECT_TRUE(stored_setup);
  }
}

TEST_F(SampleWorldDir, WritesTheArchivesAndTheStagedSpawns) {
  const SampleWorld world = build_sample_world({.seed = 3});
  ASSERT_TRUE(write_sample_world(dir_ / "nested" / "world", world));
  const fs::path root = dir_ / "nested" / "world";
  auto text = [](const fs::path& p) {
    auto bytes = common::read_whole_file(p);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<unreadable>");
  };
  EXPECT_EQ(common::read_whole_file(root / "client_portal.dat").value_or(std::vector<std::uint8_t>{}), world.portal);
  EXPECT_EQ(common::read_whole_file(root / "client_cell_1.dat").value_or(std::vector<std::uint8_t>{}), world.cell);
  EXPECT_EQ(text(root / "spawns" / "0xA9B4.spawns.jsonl"), world.spawns_jsonl);
  EXPECT_EQ(text(root / "spawns" / "wcid_to_setup.json"), world.setup_table_json);
  // Writing again replaces the files.
  const SampleWorld other = build_sample_world({.seed = 4});
  ASSERT_TRUE(write_sample_world(root, other));
  EXPECT_EQ(common::read_whole_file(root / "client_cell_1.dat").value_or(std::vector<std::uint8_t>{}), other.cell);
}

TEST(SampleWorld, GridParametersShapeTheCellArchive) {
  // A grid away from the focus still gets the focus landblock added.
  const SampleWorld world = build_sample_world({.first_x = 0x10, .first_y = 0x10, .grid_width = 2, .grid_height = 1});
  const fs::path path = fs::temp_directory_path() / ("ravelin-grid-" + std::to_string(::getpid()) + ".dat");
  ASSERT_TRUE(common::write_whole_file(path, world.cell));
  auto cell = DatDatabase::open(path);
  fs::remove(path);
  ASSERT_TRUE(cell);
  std::set<std::uint32_t> landblocks;
  for (const auto& e : cell->entries()) landblocks.insert(e.id >> 16);
  EXPECT_EQ(landblocks, (std::set<std::uint32_t>{0x1010, 0x1110, 0xA9B4}));
  EXPECT_NE(cell->find_entry(0xA9B4FFFE), nullptr);
}

// Each file goes into place whole, so a power cut after the write leaves
// every archive readable, and a failure leaves the earlier file.
TEST(SampleWorldFiles, AreWrittenWholeAndDurably) {
  const SampleWorld world = build_sample_world({.seed = 3});
  common::RecordingFileSystem files("/w");
  ASSERT_TRUE(write_sample_world("world", world, files));
  EXPECT_EQ(files.list_files(), (std::vector<common::Path>{"/w/world/client_cell_1.dat", "/w/world/client_portal.dat",
                                                            "/w/world/spawns/0xA9B4.spawns.jsonl",
                                                            "/w/world/spawns/wcid_to_setup.json"}));
  EXPECT_EQ(files.file_bytes("world/client_portal.dat"), world.portal);
  EXPECT_EQ(files.file_text("world/spawns/wcid_to_setup.json"), world.setup_table_json);
  for (std::uint64_t seed = 0; seed < 16; ++seed) {
    const common::RecordingFileSystem after = files.power_loss(seed);
    EXPECT_EQ(after.file_bytes("world/client_portal.dat"), world.portal) << seed;
    EXPECT_EQ(after.file_bytes("world/client_cell_1.dat"), world.cell) << seed;
  }

  const SampleWorld other = build_sample_world({.seed = 4});
  files.set_capacity(world.portal.size() + world.cell.size() + 1000);
  const auto full = write_sample_world("world", other, files);
  ASSERT_FALSE(full);
  EXPECT_EQ(full.error().message, "No space left on device");
  EXPECT_EQ(files.file_bytes("world/client_portal.dat"), world.portal);
  EXPECT_EQ(files.list_files().size(), 4u) << "no temporary is left";
}

// Revision 2 in memory gives the bytes it gives on the machine, and a failed
// write names the archive and leaves it as it was.
TEST_F(SampleWorldDir, RevisionReplacesTheArchivesWhole) {
  const SampleWorldParams params{.seed = 2};
  const SampleWorld world = build_sample_world(params);
  ASSERT_TRUE(write_sample_world(dir_, world));
  const auto on_disk = revise_sample_world(dir_, params.entries_per_node);
  ASSERT_TRUE(on_disk) << on_disk.error();

  common::RecordingFileSystem files("/w");
  ASSERT_TRUE(write_sample_world("world", world, files));
  const auto in_memory = revise_sample_world("world", params.entries_per_node, files);
  ASSERT_TRUE(in_memory) << in_memory.error();
  EXPECT_EQ(in_memory->changes, on_disk->changes);
  EXPECT_EQ(in_memory->portal_size, on_disk->portal_size);
  EXPECT_EQ(files.file_bytes("world/client_portal.dat"), common::read_whole_file(dir_ / "client_portal.dat").value());
  EXPECT_EQ(files.file_bytes("world/client_cell_1.dat"), common::read_whole_file(dir_ / "client_cell_1.dat").value());
  EXPECT_EQ(files.file_bytes("world/client_cell_1.dat")->size(), in_memory->cell_size);

  common::RecordingFileSystem failing("/w");
  ASSERT_TRUE(write_sample_world("world", world, failing));
  const std::size_t written = failing.operations().size();
  // The portal archive's five steps, then the cell archive's write.
  failing.fail_operation(written + 6, ENOSPC);
  const auto failed = revise_sample_world("world", params.entries_per_node, failing);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), "revision 2: write world/client_cell_1.dat: No space left on device");
  EXPECT_EQ(failing.file_bytes("world/client_cell_1.dat"), world.cell);
  EXPECT_EQ(failing.file_bytes("world/client_portal.dat"), files.file_bytes("world/client_portal.dat"));
  EXPECT_EQ(failing.list_files().size(), 4u);
}

}  // namespace
}  // namespace ravelin::dat_writer
