#include "ravelin/event_bake/bake_inputs.h"

#include <gtest/gtest.h>

namespace ravelin::event_bake {
namespace {

TEST(BakeInputsSource, LandblockInfoIsTheDefault) {
  BakeInputs inputs;
  EXPECT_TRUE(inputs.entity_source.is_landblock_info());
  inputs.entity_source = EntitySource::from_spawns_manifest("/spawns", "/spawns/wcid_to_setup.json");
  ASSERT_FALSE(inputs.entity_source.is_landblock_info());
  EXPECT_EQ(inputs.entity_source.spawns_manifest->setup_table, "/spawns/wcid_to_setup.json");
  EXPECT_NE(inputs.entity_source, EntitySource::landblock_info());
}

}  // namespace
}  // namespace ravelin::event_bake
