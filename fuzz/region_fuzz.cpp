// Region decoder over arbitrary bytes: the sky, sound, scene, terrain and misc
// sections the mask selects, each with counts read from the data.
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/region.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(region) {
  ravelin::common::Reader reader({data, size});
  auto region = ravelin::dat::file_type::Region::unpack(reader);
  if (region) {
    RAVELIN_FUZZ_CHECK("region", region->sky.has_value() == ((region->section_mask & 0x10) != 0));
    RAVELIN_FUZZ_CHECK("region", region->misc.has_value() == ((region->section_mask & 0x200) != 0));
  }
  return 0;
}
