// The atlas: one self-contained HTML page that maps every landblock of a
// bake-all run on a canvas, coloured by a chosen measure, with a panel per
// landblock linking its manifest (and picture). It carries the index inline,
// so it works opened from disk without a network or file fetches.
#pragma once

#include <string>
#include <string_view>

namespace ravelin::draw {

// The page for `index_jsonl`, the bytes of index.jsonl (one JSON object per
// line). The lines are embedded in order as one JSON array inside
// <script type="application/json" id="atlas-data">, with '<', '>' and '&'
// written as \u escapes so that no text of the index can end the element.
// `with_pictures` says whether 0xXXXX.svg files lie beside the manifests.
std::string render_atlas_html(std::string_view index_jsonl, bool with_pictures);

// The embedded array alone: "[" + the lines joined by ",\n" + "]", escaped as
// above; an empty index gives "[]".
std::string embed_index_json(std::string_view index_jsonl);

}  // namespace ravelin::draw
