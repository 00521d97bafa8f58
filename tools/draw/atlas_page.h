// The fixed text of the atlas page, made from the files of tools/draw/atlas/
// at build time (cmake/embed_atlas_page.cmake): head with its styles, the
// body's controls, and the module script that parses the embedded data and
// draws the map. Two builds define these: the page users get (ravelin_draw)
// and the test page (ravelin_atlas_test_page), whose script also sets
// window.atlas for the scripts that drive the page; a program links one.
#pragma once

#include <string_view>

namespace ravelin::draw {

extern const std::string_view kAtlasPageHead;    // "<!DOCTYPE html>" to "</head>"
extern const std::string_view kAtlasPageBody;    // controls, canvas, legend, panel
extern const std::string_view kAtlasPageScript;  // the contents of the last <script type="module">

}  // namespace ravelin::draw
