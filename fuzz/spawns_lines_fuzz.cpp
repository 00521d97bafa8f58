// Spawns-file lines: any text, mapped through a small fixed setup table. A line
// can give at most one setup id, and only when it gives a wcid.
#include <string_view>

#include "ravelin/event_bake/spawns.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(spawns_lines) {
  using namespace ravelin::event_bake;
  static const SetupTable table = [] {
    SetupTable t;
    for (std::uint32_t wcid = 0; wcid < 64; ++wcid) t.insert_or_assign(wcid, 0x02000000u + wcid);
    return t;
  }();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::uint32_t> wcids = spawn_wcids(text);
  const std::vector<std::uint32_t> setups = spawn_setup_ids(text, table);
  std::size_t mapped = 0;
  for (std::uint32_t wcid : wcids) mapped += wcid < 64 ? 1 : 0;
  RAVELIN_FUZZ_CHECK("spawns_lines", setups.size() == mapped);
  return 0;
}
