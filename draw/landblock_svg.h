// A picture of one landblock's bake: its 9 x 9 vertices coloured by ambient
// trigger, a legend, and a panel with the other event families and the placed
// setup models. The SVG text depends only on its inputs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/bake_inputs.h"
#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"
#include "draw/terrain_map.h"

namespace ravelin::draw {

using event_bake::BakeInputs;
using event_bake::BakeResult;
using event_bake::LandblockEventBake;

// One placed setup model with the events the bake attributes to it.
struct PlacedSetupSummary {
  std::uint32_t setup_id = 0;
  std::uint32_t particle_count = 0;     // physics particle events of its default script
  std::uint32_t anim_sound_count = 0;   // animation sound events with this csetup_id

  bool operator==(const PlacedSetupSummary&) const = default;
};

// Vertices per side of a landblock; vertex n sits in column n / 9, row n % 9.
inline constexpr std::uint32_t kLandblockSide = 9;

// The summaries of `setup_ids` (ascending, without repeats) against `bake`:
// particle events are matched through each setup's default physics script, so
// a setup that does not decode counts no particles.
std::vector<PlacedSetupSummary> summarize_placed_setups(const dat::DatDatabase& portal,
                                                        std::span<const std::uint32_t> setup_ids,
                                                        const LandblockEventBake& bake);

// The land under a picture: the landblock's CellLandblock and the region's
// terrain type names (by type; types past the end are named by number).
struct SvgTerrain {
  const LandblockTerrain* landblock = nullptr;
  std::span<const std::string> names;
};

// The SVG document (ends in "\n"). Column x runs left to right, row y bottom
// to top. A trigger's vertices are ringed in its own style (a colour and a
// dash pattern over a dark edge; 40 styles before one repeats), the legend
// shows each trigger's ring; a vertex of no trigger has a thin dark outline.
// With terrain, vertices are filled with their terrain type's atlas colour
// and the panel lists the terrain types; without, ringed vertices are white
// and the rest grey. Equal inputs give equal bytes.
std::string render_landblock_svg(const LandblockEventBake& bake, std::span<const PlacedSetupSummary> setups,
                                 SvgTerrain terrain = {});

// The picture of `bake`, a finished bake of `session`, with the setups the
// session's entity source placed in that landblock.
std::string render_session_bake(const event_bake::BakeSession& session, const LandblockEventBake& bake,
                                SvgTerrain terrain = {});

// render_session_bake over the landblock's terrain and the region's terrain
// type names, as `ravelin-bake render` draws it.
std::string render_session_bake_over_terrain(const event_bake::BakeSession& session, const LandblockEventBake& bake);

// Bakes `inputs` through a session of its own (each archive opened once) and
// renders it with the setups of the chosen entity source over its terrain.
// The bake's errors are returned unchanged.
BakeResult<std::string> render_landblock(const BakeInputs& inputs);

}  // namespace ravelin::draw
