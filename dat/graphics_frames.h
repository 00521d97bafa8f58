// Field-context frames of dat/graphics: the unit's path and the line each
// field's frame carries, kept here so that messages do not depend on the
// compiler or on where the reading code sits.
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::dat::graphics_frames {

inline constexpr common::RecordSite kFrame{"Frame", "dat/graphics"};
inline constexpr common::FieldSite kFrameOrigin{"origin", 12};
inline constexpr common::FieldSite kFrameOrientation{"orientation", 13};

}  // namespace ravelin::dat::graphics_frames
