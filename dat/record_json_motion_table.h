// The motion table's document: written from a stored motion table, read back
// into one.
#pragma once

#include "dat/record_json_parts.h"
#include "ravelin/dat/file_type/motion_table_encoder.h"

namespace ravelin::dat {

void put(JsonWriter& w, const file_type::StoredMotionTable& table);
RecordResult<file_type::StoredMotionTable> read_motion_table(const JsonValue& document);

}  // namespace ravelin::dat
