// The diff of two client versions told for people: summary.md and the one
// line `ravelin-bake diff` prints.
#pragma once

#include <string>

#include "ravelin/event_bake/world_diff.h"

namespace ravelin::event_bake {

// How many differing entries the table of what the changed landblocks read lists at most.
inline constexpr std::size_t kBlastRadiusRows = 20;
// How many landblock numbers each landblock line names at most.
inline constexpr std::size_t kListedLandblocks = 20;

// Markdown patch notes: changed files per archive and type, landblocks
// changed, added and removed (and their numbers), event lines per family, and
// the differing entries with how many changed landblocks read each.
std::string diff_summary_markdown(const WorldDiffResult& result);

// "3 files differ (1 added, 1 removed, 1 changed, 0 unreadable), 1 record patched, 5 of 10 landblocks differ".
std::string diff_summary_line(const WorldDiffResult& result);

}  // namespace ravelin::event_bake
