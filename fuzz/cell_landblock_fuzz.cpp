// CellLandblock decoder: fixed 81-vertex terrain and height arrays.
#include "ravelin/dat/landblock.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(cell_landblock) {
  auto block = ravelin::dat::CellLandblock::unpack({data, size});
  // 4 + 4 + 81 * 2 + 81 bytes are needed; the padding byte may be missing.
  RAVELIN_FUZZ_CHECK("cell_landblock", block.has_value() == (size >= 251));
  return 0;
}
