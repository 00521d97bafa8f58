// Setup table parsing: any bytes, JSON or not.
#include "ravelin/event_bake/spawns.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(setup_table) {
  auto table = ravelin::event_bake::parse_setup_table({data, size});
  if (!table) RAVELIN_FUZZ_CHECK("setup_table", !table.error().to_string().empty());
  return 0;
}
