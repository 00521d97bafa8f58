// The setup model's document: written from a stored setup model, read back
// into one.
#pragma once

#include "dat/record_json_parts.h"
#include "ravelin/dat/file_type/setup_model_encoder.h"

namespace ravelin::dat {

void put(JsonWriter& w, const file_type::StoredSetupModel& setup);
RecordResult<file_type::StoredSetupModel> read_setup_model(const JsonValue& document);

}  // namespace ravelin::dat
