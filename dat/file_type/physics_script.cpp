#include "ravelin/dat/file_type/physics_script.h"

namespace ravelin::dat::file_type {

common::ReadResult<PhysicsScript> PhysicsScript::read(common::Reader& reader) {
  PhysicsScript s;
  RAVELIN_TRY(s.id, reader.read_u32());
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  // An entry is at least a start time and the hook's two words.
  s.script_data.reserve(reader.bounded_count(count, 16));
  for (std::uint32_t n = 0; n < count; ++n) {
    PhysicsScriptData entry;
    RAVELIN_TRY(entry.start_time, reader.read_f64());
    RAVELIN_TRY(entry.hook, AnimationHook::read(reader));
    s.script_data.push_back(std::move(entry));
  }
  return s;
}

}  // namespace ravelin::dat::file_type
