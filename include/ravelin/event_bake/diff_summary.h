// The diff of two client versions told for people: summary.md and the one
// line `ravelin-bake diff` prints.
#pragma once

#include <string>

#include "ravelin/event_bake/world_diff.h"

namespace ravelin::event_bake {

// How many changed entries the blast-radius table lists at most.
inline constexpr std::size_t kBlastRadiusRows = 20;

// Markdown patch notes: changed files per archive and type, landblocks
// changed, added and removed, event lines per family, and the changed entries
// that reach the most changed landblocks.
std::string diff_summary_markdown(const WorldDiffResult& result);

// "3 files differ (1 added, 1 removed, 1 changed, 0 unreadable), 1 record patched, 5 of 10 landblocks differ".
std::string diff_summary_line(const WorldDiffResult& result);

}  // namespace ravelin::event_bake
