// The physics script file as stored: the bake's entries and the bytes after
// the last one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/record_encoder.h"

namespace ravelin::dat::file_type {

struct StoredPhysicsScript {
  std::uint32_t id = 0;
  std::vector<PhysicsScriptData> script_data;
  Bytes trailing;

  // Decodes what PhysicsScript::read decodes, from the file's first byte, and
  // fails where it fails (PhysicsScript::read's error is the one to show).
  static common::ReadResult<StoredPhysicsScript> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredPhysicsScript&) const = default;
};

// The script's bytes. Fails when a hook is not of a known type with its
// type's payload.
RecordResult<Bytes> encode_physics_script(const StoredPhysicsScript& script);

}  // namespace ravelin::dat::file_type
