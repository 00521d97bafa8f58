// The documents of the cell archive's two landblock records: written from a
// stored record, read back into one.
#pragma once

#include "dat/record_json_parts.h"
#include "ravelin/dat/landblock_encoder.h"

namespace ravelin::dat {

void put(JsonWriter& w, const StoredCellLandblock& cell);
RecordResult<StoredCellLandblock> read_cell_landblock(const JsonValue& document);

void put(JsonWriter& w, const StoredLandblockInfo& info);
RecordResult<StoredLandblockInfo> read_landblock_info(const JsonValue& document);

}  // namespace ravelin::dat
