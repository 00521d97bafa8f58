// Field-context frames of the small records of dat/file_type/setup_model
// (CylSphere, LocationType, LightInfo): the unit's path and the line each
// field's frame carries, kept here so that messages do not depend on the
// compiler or on where the reading code sits.
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::dat::file_type::setup_model_frames {

inline constexpr std::string_view kPath = "dat/file_type/setup_model";

inline constexpr common::RecordSite kCylSphere{"CylSphere", kPath};
inline constexpr common::FieldSite kCylSphereOrigin{"origin", 14};
inline constexpr common::FieldSite kCylSphereRadius{"radius", 15};
inline constexpr common::FieldSite kCylSphereHeight{"height", 16};

inline constexpr common::RecordSite kLocationType{"LocationType", kPath};
inline constexpr common::FieldSite kLocationTypePartId{"part_id", 23};
inline constexpr common::FieldSite kLocationTypeFrame{"frame", 24};

inline constexpr common::RecordSite kLightInfo{"LightInfo", kPath};
inline constexpr common::FieldSite kLightInfoViewerSpaceLocation{"viewer_space_location", 31};
inline constexpr common::FieldSite kLightInfoColor{"color", 32};
inline constexpr common::FieldSite kLightInfoIntensity{"intensity", 33};
inline constexpr common::FieldSite kLightInfoFalloff{"falloff", 34};
inline constexpr common::FieldSite kLightInfoConeAngle{"cone_angle", 35};

}  // namespace ravelin::dat::file_type::setup_model_frames
