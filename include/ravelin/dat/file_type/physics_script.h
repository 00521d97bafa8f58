// Physics script: a timed list of hooks (particle emitters among them).
#pragma once

#include <cstdint>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::dat::file_type {

struct PhysicsScriptData {
  double start_time = 0;  // carried bit for bit
  AnimationHook hook;

  bool operator==(const PhysicsScriptData&) const = default;
};

struct PhysicsScript {
  std::uint32_t id = 0;
  std::vector<PhysicsScriptData> script_data;  // file order, every hook type kept

  // Decodes one script from the file's first byte: id, a u32 entry count, then
  // per entry an f64 start time and a hook. Trailing bytes are not examined;
  // errors of the hooks come back unchanged.
  static common::ReadResult<PhysicsScript> read(common::Reader& reader);
  bool operator==(const PhysicsScript&) const = default;
};

}  // namespace ravelin::dat::file_type
