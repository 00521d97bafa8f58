// Record equality for the determinism check. The records' own equality says a
// NaN equals nothing, so a bake whose floats hold a NaN (sound hook floats are
// copied bit for bit) would never equal itself; here two floats are the same
// when they are numerically equal or both NaN. Every other field compares as
// the records' own equality does.
#pragma once

#include "ravelin/event_bake/manifest.h"

namespace ravelin::runner {

// Field by field, lists element by element in order, floats as above.
bool same_bake(const event_bake::LandblockEventBake& a, const event_bake::LandblockEventBake& b);

}  // namespace ravelin::runner
