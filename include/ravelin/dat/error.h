// DatError: the archive layer's error value. It also carries decoder failures
// (BinRead) on their way out of the landblock decoders.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>

#include "ravelin/common/file.h"
#include "ravelin/common/read_error.h"

namespace ravelin::dat {

class DatError {
 public:
  enum class Kind : std::uint8_t {
    Io,
    BinRead,
    NotFound,
    DuplicateId,
    DuplicateNamespacedId,
    InvalidMagic,
    UnsupportedVersion,
    InvalidNamespace,
    Corruption,
    DecompressionFailed,
    PathError,
    Other,
  };

  static DatError io(common::IoError error);
  static DatError bin_read(common::ReadError error);
  static DatError not_found(std::uint32_t file_id);
  static DatError duplicate_id(std::uint32_t file_id);
  static DatError duplicate_namespaced_id(std::string ns, std::uint32_t file_id);
  static DatError invalid_magic(std::string text);
  static DatError unsupported_version(std::uint32_t version);
  static DatError invalid_namespace(std::string text);
  static DatError corruption(std::string text);
  static DatError decompression_failed(std::uint32_t file_id);
  static DatError path_error(std::filesystem::path path, common::IoError source);
  static DatError other(std::string text);

  Kind kind() const { return kind_; }
  // Payload accessors; each is meaningful only for the kinds that carry it.
  const common::IoError& io_error() const { return io_; }          // Io, PathError (source)
  const common::ReadError& read_error() const { return read_; }    // BinRead
  std::uint32_t number() const { return number_; }                 // ids, version
  const std::string& text() const { return text_; }                // texts, namespace
  const std::filesystem::path& path() const { return path_; }      // PathError

  // Display text, for example "File ID 13000000 not found in provider".
  std::string to_string() const;
  // Structural form, for example NotFound(318767104) or
  // PathError { path: "/x", source: Os { code: 2, message: "..." } }.
  std::string debug_string() const;

  bool operator==(const DatError&) const = default;

 private:
  explicit DatError(Kind kind) : kind_(kind), read_(common::ReadError::io("")) {}

  Kind kind_;
  common::IoError io_;
  common::ReadError read_;
  std::uint32_t number_ = 0;
  std::string text_;
  std::filesystem::path path_;
};

template <class T>
using DatResult = std::expected<T, DatError>;

}  // namespace ravelin::dat
