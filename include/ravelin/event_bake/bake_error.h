// The error value that ends a landblock bake: which step failed, on what, and why.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "ravelin/dat/error.h"

namespace ravelin::event_bake {

// Why a bake ended without a result.
class BakeError {
 public:
  // Opening an archive failed; `which` names the archive file.
  struct DatOpen {
    std::string_view which;
    std::filesystem::path path;
    dat::DatError source;
    bool operator==(const DatOpen&) const = default;
  };
  // A required file could not be fetched; the archive's reason is dropped.
  struct FileMissing {
    std::string_view which;
    std::uint32_t id = 0;
    bool operator==(const FileMissing&) const = default;
  };
  // A required file was fetched but did not decode; `source` is the decoder
  // error's display text.
  struct Parse {
    std::string_view which;
    std::uint32_t id = 0;
    std::string source;
    bool operator==(const Parse&) const = default;
  };
  // The setup table could not be read or is not a JSON object.
  struct SetupTable {
    std::filesystem::path path;
    std::string message;
    bool operator==(const SetupTable&) const = default;
  };
  using Variant = std::variant<DatOpen, FileMissing, Parse, SetupTable>;

  // `which` must be static text (an archive name or a record kind).
  static BakeError dat_open(std::string_view which, std::filesystem::path path, dat::DatError source);
  static BakeError file_missing(std::string_view which, std::uint32_t id);
  static BakeError parse(std::string_view which, std::uint32_t id, std::string source);
  static BakeError setup_table(std::filesystem::path path, std::string message);

  const Variant& value() const { return value_; }
  // The variant's payload, or null when the error is another variant.
  template <class T>
  const T* get_if() const {
    return std::get_if<T>(&value_);
  }

  // "open {which} at {path}: {source}", "{which} 0x{id:08X} missing from DAT",
  // "parse {which} 0x{id:08X}: {source}", "setup-table {path}: {message}".
  std::string to_string() const;
  // FileMissing { which: "Region", id: 318767104 }; texts and paths quoted,
  // ids decimal, a DatOpen source in the DatError's debug form.
  std::string debug_string() const;

  bool operator==(const BakeError&) const = default;

 private:
  explicit BakeError(Variant value) : value_(std::move(value)) {}
  Variant value_;
};

template <class T>
using BakeResult = std::expected<T, BakeError>;

}  // namespace ravelin::event_bake
