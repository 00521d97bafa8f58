#include "ravelin/event_bake/bake_error.h"

#include <gtest/gtest.h>

#include <string>

namespace ravelin::event_bake {
namespace {

dat::DatError missing_portal() {
  return dat::DatError::path_error("/x/client_portal.dat", common::IoError{2, "No such file or directory"});
}

struct ErrorCase {
  const char* name;
  BakeError error;
  std::string display;
  std::string debug;
};

TEST(BakeErrorText, DisplayAndDebugFormOfEveryVariant) {
  const ErrorCase cases[] = {
      {"dat_open", BakeError::dat_open("client_portal.dat", "/x/client_portal.dat", missing_portal()),
       "open client_portal.dat at /x/client_portal.dat: Failed to open file at /x/client_portal.dat: "
       "No such file or directory",
       "DatOpen { which: \"client_portal.dat\", path: \"/x/client_portal.dat\", source: PathError { "
       "path: \"/x/client_portal.dat\", source: Os { code: 2, message: \"No such file or directory\" } } }"},
      {"region_missing", BakeError::file_missing("Region", 0x13000000), "Region 0x13000000 missing from DAT",
       "FileMissing { which: \"Region\", id: 318767104 }"},
      {"cell_missing", BakeError::file_missing("CellLandblock", 0xA9B4FFFF),
       "CellLandblock 0xA9B4FFFF missing from DAT", "FileMissing { which: \"CellLandblock\", id: 2847211519 }"},
      {"small_id_padded", BakeError::file_missing("Region", 0x12), "Region 0x00000012 missing from DAT",
       "FileMissing { which: \"Region\", id: 18 }"},
      {"parse", BakeError::parse("LandblockInfo", 0xA9B4FFFE, "bad \"count\"\n"),
       "parse LandblockInfo 0xA9B4FFFE: bad \"count\"\n",
       "Parse { which: \"LandblockInfo\", id: 2847211518, source: \"bad \\\"count\\\"\\n\" }"},
      {"setup_table", BakeError::setup_table("/s/wcid_to_setup.json", "top-level is not an object"),
       "setup-table /s/wcid_to_setup.json: top-level is not an object",
       "SetupTable { path: \"/s/wcid_to_setup.json\", message: \"top-level is not an object\" }"},
      {"setup_table_bad_utf8_path", BakeError::setup_table("/s/\xFF.json", "read: gone"),
       "setup-table /s/\xEF\xBF\xBD.json: read: gone",
       "SetupTable { path: \"/s/\xEF\xBF\xBD.json\", message: \"read: gone\" }"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.to_string(), c.display) << c.name;
    EXPECT_EQ(c.error.debug_string(), c.debug) << c.name;
  }
}

TEST(BakeErrorText, VariantAccessAndEquality) {
  const BakeError e = BakeError::file_missing("Region", 7);
  ASSERT_NE(e.get_if<BakeError::FileMissing>(), nullptr);
  EXPECT_EQ(e.get_if<BakeError::FileMissing>()->id, 7u);
  EXPECT_EQ(e.get_if<BakeError::Parse>(), nullptr);
  EXPECT_EQ(e, BakeError::file_missing("Region", 7));
  EXPECT_NE(e, BakeError::file_missing("Region", 8));
  EXPECT_NE(e, BakeError::file_missing("CellLandblock", 7));

  const auto open = BakeError::dat_open("client_cell_1.dat", "/d/client_cell_1.dat", missing_portal());
  ASSERT_NE(open.get_if<BakeError::DatOpen>(), nullptr);
  EXPECT_EQ(open.get_if<BakeError::DatOpen>()->source, missing_portal());
}

}  // namespace
}  // namespace ravelin::event_bake
