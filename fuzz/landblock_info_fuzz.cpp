// LandblockInfo decoder: counted objects, buildings with portals, and the
// optional restriction table.
#include "ravelin/dat/landblock.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(landblock_info) {
  auto info = ravelin::dat::LandblockInfo::unpack({data, size});
  if (info) RAVELIN_FUZZ_CHECK("landblock_info", info->restriction_tables.has_value() == ((info->pack_mask & 1) != 0));
  return 0;
}
