// Setup model decoder: part lists sized by the part count, keyed location,
// placement and light tables, spheres and the optional default ids.
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(setup_model) {
  using ravelin::dat::file_type::SetupModel;
  ravelin::common::Reader reader({data, size});
  auto setup = SetupModel::unpack(reader);
  if (setup) {
    const std::size_t parts = setup->parts.size();
    RAVELIN_FUZZ_CHECK("setup_model", setup->part_refs.size() == ((setup->flags & SetupModel::kHasPartRefs) ? parts : 0));
    RAVELIN_FUZZ_CHECK("setup_model",
                       setup->part_vectors.size() == ((setup->flags & SetupModel::kHasPartVectors) ? parts : 0));
    // Every part costs at least its 4-byte id.
    RAVELIN_FUZZ_CHECK("setup_model", parts <= size / 4);
  }
  return 0;
}
