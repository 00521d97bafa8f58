#include "ravelin/event_bake/bake_error.h"

#include "common/debug_format.h"
#include "ravelin/common/file.h"
#include "ravelin/common/json_text.h"

namespace ravelin::event_bake {
namespace {

std::string quoted_path(const std::filesystem::path& path) {
  return common::debug_quote(common::display_path(path));
}

std::string decimal(std::uint32_t value) {
  std::string out;
  common::append_decimal(out, value);
  return out;
}

std::string hex_id(std::uint32_t value) {
  std::string out;
  common::append_hex_id(out, value);
  return out;
}

// Overload set for std::visit.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

BakeError BakeError::dat_open(std::string_view which, std::filesystem::path path, dat::DatError source) {
  return BakeError(DatOpen{which, std::move(path), std::move(source)});
}

BakeError BakeError::file_missing(std::string_view which, std::uint32_t id) {
  return BakeError(FileMissing{which, id});
}

BakeError BakeError::parse(std::string_view which, std::uint32_t id, std::string source) {
  return BakeError(Parse{which, id, std::move(source)});
}

BakeError BakeError::setup_table(std::filesystem::path path, std::string message) {
  return BakeError(SetupTable{std::move(path), std::move(message)});
}

std::string BakeError::to_string() const {
  return std::visit(
      Overloaded{
          [](const DatOpen& e) {
            return "open " + std::string(e.which) + " at " + common::display_path(e.path) + ": " +
                   e.source.to_string();
          },
          [](const FileMissing& e) { return std::string(e.which) + " " + hex_id(e.id) + " missing from DAT"; },
          [](const Parse& e) { return "parse " + std::string(e.which) + " " + hex_id(e.id) + ": " + e.source; },
          [](const SetupTable& e) { return "setup-table " + common::display_path(e.path) + ": " + e.message; },
      },
      value_);
}

std::string BakeError::debug_string() const {
  return std::visit(
      Overloaded{
          [](const DatOpen& e) {
            return "DatOpen { which: " + common::debug_quote(e.which) + ", path: " + quoted_path(e.path) +
                   ", source: " + e.source.debug_string() + " }";
          },
          [](const FileMissing& e) {
            return "FileMissing { which: " + common::debug_quote(e.which) + ", id: " + decimal(e.id) + " }";
          },
          [](const Parse& e) {
            return "Parse { which: " + common::debug_quote(e.which) + ", id: " + decimal(e.id) +
                   ", source: " + common::debug_quote(e.source) + " }";
          },
          [](const SetupTable& e) {
            return "SetupTable { path: " + quoted_path(e.path) + ", message: " + common::debug_quote(e.message) +
                   " }";
          },
      },
      value_);
}

}  // namespace ravelin::event_bake
