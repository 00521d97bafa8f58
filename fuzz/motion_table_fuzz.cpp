// Motion table decoder: nested counted maps of motion data, each aligned from
// the file's first byte.
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(motion_table) {
  ravelin::common::Reader reader({data, size});
  auto table = ravelin::dat::file_type::MotionTable::read(reader);
  (void)table;
  return 0;
}
