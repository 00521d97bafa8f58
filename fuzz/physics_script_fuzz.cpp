// Physics script decoder: timed hooks of every hook type.
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(physics_script) {
  ravelin::common::Reader reader({data, size});
  auto script = ravelin::dat::file_type::PhysicsScript::read(reader);
  (void)script;
  return 0;
}
