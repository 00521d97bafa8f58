// The documents of the two hook files, animation and physics script: written
// from a stored record, read back into one.
#pragma once

#include "dat/record_json_parts.h"
#include "ravelin/dat/file_type/animation_encoder.h"
#include "ravelin/dat/file_type/physics_script_encoder.h"

namespace ravelin::dat {

void put(JsonWriter& w, const file_type::StoredAnimation& animation);
RecordResult<file_type::StoredAnimation> read_animation(const JsonValue& document);

void put(JsonWriter& w, const file_type::StoredPhysicsScript& script);
RecordResult<file_type::StoredPhysicsScript> read_physics_script(const JsonValue& document);

}  // namespace ravelin::dat
