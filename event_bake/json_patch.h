// RFC 6902 patches between two JSON documents, kept small: objects are
// descended member by member, arrays element by element with replacements
// only where elements differ, and growth and shrinkage as `add` ("/-") and
// `remove` operations at the end (the removals last index first).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ravelin::event_bake {

// The patch (a compact JSON array) that turns `old_document` into
// `new_document`; nothing when either is not JSON.
std::optional<std::string> json_patch(std::string_view old_document, std::string_view new_document);

}  // namespace ravelin::event_bake
