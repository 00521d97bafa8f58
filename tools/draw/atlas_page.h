// The fixed text of the atlas page: head with its styles, the body's controls,
// and the script that parses the embedded index and draws the map.
#pragma once

#include <string_view>

namespace ravelin::draw {

extern const std::string_view kAtlasPageHead;    // "<!DOCTYPE html>" to "</head>"
extern const std::string_view kAtlasPageBody;    // controls, canvas, legend, panel
extern const std::string_view kAtlasPageScript;  // the contents of the last <script>

}  // namespace ravelin::draw
