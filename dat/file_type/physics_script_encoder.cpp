#include "ravelin/dat/file_type/physics_script_encoder.h"

#include "dat/file_type/record_encoder_bytes.h"

namespace ravelin::dat::file_type {

common::ReadResult<StoredPhysicsScript> StoredPhysicsScript::read(std::span<const std::uint8_t> bytes) {
  common::Reader reader(bytes);
  StoredPhysicsScript s;
  RAVELIN_TRY(s.id, reader.read_u32());
  std::uint32_t count = 0;
  RAVELIN_TRY(count, reader.read_u32());
  RAVELIN_TRY(s.script_data, common::read_list<PhysicsScriptData>(
                                 reader, count, 16, [](common::Reader& r) -> common::ReadResult<PhysicsScriptData> {
                                   PhysicsScriptData entry;
                                   RAVELIN_TRY(entry.start_time, r.read_f64());
                                   RAVELIN_TRY(entry.hook, AnimationHook::read(r));
                                   return entry;
                                 }));
  s.trailing = trailing_bytes(reader);
  return s;
}

RecordResult<Bytes> encode_physics_script(const StoredPhysicsScript& s) {
  const RecordPath root;
  RecordOutput out;
  const RecordPath entries(root, "script_data");
  RAVELIN_TRY_VOID(check_count(s.script_data.size(), 0xFFFFFFFF, entries));
  out.u32(s.id);
  out.u32(static_cast<std::uint32_t>(s.script_data.size()));
  for (std::size_t i = 0; i < s.script_data.size(); ++i) {
    const RecordPath at(entries, i);
    out.f64(s.script_data[i].start_time);
    RAVELIN_TRY_VOID(write_hook(out, s.script_data[i].hook, at / "hook"));
  }
  return std::move(out).finish(s.trailing);
}

}  // namespace ravelin::dat::file_type
