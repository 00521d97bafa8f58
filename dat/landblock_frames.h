// Field-context frames of dat/landblock: every record of the cell archive's
// landblock files, the unit's path and the line each field's frame carries.
// Kept in one table so that messages do not depend on the compiler or on
// where the reading code sits.
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::dat::landblock_frames {

inline constexpr std::string_view kPath = "dat/landblock";

inline constexpr common::RecordSite kCellLandblock{"CellLandblock", kPath};
inline constexpr common::FieldSite kCellLandblockId{"id", 55};
inline constexpr common::FieldSite kCellLandblockHasObjects{"has_objects", 56};
inline constexpr common::FieldSite kCellLandblockTerrain{"terrain", 58};
inline constexpr common::FieldSite kCellLandblockHeight{"height", 60};

inline constexpr common::RecordSite kLandblockInfo{"LandblockInfo", kPath};
inline constexpr common::FieldSite kLandblockInfoId{"id", 128};
inline constexpr common::FieldSite kLandblockInfoNumCells{"num_cells", 129};
inline constexpr common::FieldSite kLandblockInfoNumObjects{"num_objects", 131};
inline constexpr common::FieldSite kLandblockInfoObjects{"objects", 133};
inline constexpr common::FieldSite kLandblockInfoNumBuildings{"num_buildings", 135};
inline constexpr common::FieldSite kLandblockInfoPackMask{"pack_mask", 136};
inline constexpr common::FieldSite kLandblockInfoBuildings{"buildings", 138};
inline constexpr common::FieldSite kLandblockInfoRestrictionTables{"restriction_tables", 140};

inline constexpr common::RecordSite kStab{"Stab", kPath};
inline constexpr common::FieldSite kStabId{"id", 16};
inline constexpr common::FieldSite kStabFrame{"frame", 17};

inline constexpr common::RecordSite kFrame{"Frame", kPath};
inline constexpr common::FieldSite kFrameOrigin{"origin", 9};
inline constexpr common::FieldSite kFrameOrientation{"orientation", 10};

inline constexpr common::RecordSite kBuildInfo{"BuildInfo", kPath};
inline constexpr common::FieldSite kBuildInfoModelId{"model_id", 24};
inline constexpr common::FieldSite kBuildInfoFrame{"frame", 25};
inline constexpr common::FieldSite kBuildInfoNumLeaves{"num_leaves", 26};
inline constexpr common::FieldSite kBuildInfoNumPortals{"num_portals", 32};
inline constexpr common::FieldSite kBuildInfoPortals{"portals", 34};

inline constexpr common::RecordSite kPortalInternal{"PortalInternal", kPath};
inline constexpr common::FieldSite kPortalInternalFlags{"flags", 41};
inline constexpr common::FieldSite kPortalInternalOtherCellId{"other_cell_id", 42};
inline constexpr common::FieldSite kPortalInternalOtherPortalId{"other_portal_id", 43};
inline constexpr common::FieldSite kPortalInternalNumStabs{"num_stabs", 45};
inline constexpr common::FieldSite kPortalInternalStabList{"stab_list", 47};

inline constexpr common::RecordSite kRestrictionTable{"RestrictionTable", kPath};
inline constexpr common::FieldSite kRestrictionTableCount{"count", 156};
inline constexpr common::FieldSite kRestrictionTableBucketSize{"_bucket_size", 158};
inline constexpr common::FieldSite kRestrictionTableTables{"tables", 161};

}  // namespace ravelin::dat::landblock_frames
