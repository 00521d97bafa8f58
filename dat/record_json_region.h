// The region's document: written from a stored region, read back into one.
#pragma once

#include "dat/record_json_parts.h"
#include "ravelin/dat/file_type/region_encoder.h"

namespace ravelin::dat {

void put(JsonWriter& w, const file_type::StoredRegion& region);
RecordResult<file_type::StoredRegion> read_region(const JsonValue& document);

}  // namespace ravelin::dat
