#include "event_bake/json_patch.h"

#include <nlohmann/json.hpp>

namespace ravelin::event_bake {

std::optional<std::string> json_patch(std::string_view old_document, std::string_view new_document) {
  const auto old_json = nlohmann::json::parse(old_document, nullptr, false);
  const auto new_json = nlohmann::json::parse(new_document, nullptr, false);
  if (old_json.is_discarded() || new_json.is_discarded()) return std::nullopt;
  // nlohmann's diff is the shape described above; texts that are not UTF-8
  // come out with replacement characters rather than failing the patch.
  return nlohmann::json::diff(old_json, new_json).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace ravelin::event_bake
