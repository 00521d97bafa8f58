#include "ravelin/dat/file_type/physics_script.h"

namespace ravelin::dat::file_type {
namespace {

common::ReadResult<PhysicsScriptData> read_script_entry(common::Reader& reader) {
  PhysicsScriptData entry;
  RAVELIN_TRY(entry.start_time, reader.read_f64());
  RAVELIN_TRY(entry.hook, AnimationHook::read(reader));
  return entry;
}

}  // namespace

common::ReadResult<PhysicsScript> PhysicsScript::read(common::Reader& reader) {
  PhysicsScript s;
  RAVELIN_TRY(s.id, reader.read_u32());
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  // An entry is at least a start time and the hook's two words.
  RAVELIN_TRY(s.script_data, common::read_list<PhysicsScriptData>(reader, count, 16, read_script_entry));
  return s;
}

}  // namespace ravelin::dat::file_type
