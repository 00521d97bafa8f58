// Small pieces shared by the records' structural debug renderings.
#pragma once

#include <string>
#include <vector>

namespace ravelin::event_bake {

// Appends "[a, b]": each element rendered by `render(out, element)`.
template <class T, class Render>
void append_debug_list(std::string& out, const std::vector<T>& items, Render render) {
  out += '[';
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += ", ";
    render(out, items[i]);
  }
  out += ']';
}

inline const char* debug_bool(bool value) { return value ? "true" : "false"; }

}  // namespace ravelin::event_bake
