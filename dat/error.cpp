#include "ravelin/dat/error.h"

#include "ravelin/common/debug_format.h"

namespace ravelin::dat {

using common::debug_quote;
using common::hex8;

DatError DatError::io(common::IoError error) {
  DatError e(Kind::Io);
  e.io_ = std::move(error);
  return e;
}

DatError DatError::bin_read(common::ReadError error) {
  DatError e(Kind::BinRead);
  e.read_ = std::move(error);
  return e;
}

#define RAVELIN_NUMBER_CTOR(fn, kind)     \
  DatError DatError::fn(std::uint32_t v) { \
    DatError e(Kind::kind);                \
    e.number_ = v;                         \
    return e;                              \
  }
RAVELIN_NUMBER_CTOR(not_found, NotFound)
RAVELIN_NUMBER_CTOR(duplicate_id, DuplicateId)
RAVELIN_NUMBER_CTOR(unsupported_version, UnsupportedVersion)
RAVELIN_NUMBER_CTOR(decompression_failed, DecompressionFailed)
#undef RAVELIN_NUMBER_CTOR

#define RAVELIN_TEXT_CTOR(fn, kind)    \
  DatError DatError::fn(std::string t) { \
    DatError e(Kind::kind);              \
    e.text_ = std::move(t);              \
    return e;                            \
  }
RAVELIN_TEXT_CTOR(invalid_magic, InvalidMagic)
RAVELIN_TEXT_CTOR(invalid_namespace, InvalidNamespace)
RAVELIN_TEXT_CTOR(corruption, Corruption)
RAVELIN_TEXT_CTOR(other, Other)
#undef RAVELIN_TEXT_CTOR

DatError DatError::duplicate_namespaced_id(std::string ns, std::uint32_t file_id) {
  DatError e(Kind::DuplicateNamespacedId);
  e.text_ = std::move(ns);
  e.number_ = file_id;
  return e;
}

DatError DatError::path_error(std::filesystem::path path, common::IoError source) {
  DatError e(Kind::PathError);
  e.path_ = std::move(path);
  e.io_ = std::move(source);
  return e;
}

std::string DatError::to_string() const {
  switch (kind_) {
    case Kind::Io: return "IO error: " + io_.to_string();
    case Kind::BinRead: return "Binary read error: " + read_.to_string();
    case Kind::NotFound: return "File ID " + hex8(number_) + " not found in provider";
    case Kind::DuplicateId: return "Duplicate File ID " + hex8(number_) + " detected";
    case Kind::DuplicateNamespacedId:
      return "Duplicate namespaced file " + text_ + ":" + hex8(number_) + " detected";
    case Kind::InvalidMagic: return "Invalid magic for format: " + text_;
    case Kind::UnsupportedVersion: return "Unsupported version: " + std::to_string(number_);
    case Kind::InvalidNamespace: return "Invalid namespace: " + text_;
    case Kind::Corruption: return "Corruption detected: " + text_;
    case Kind::DecompressionFailed: return "Failed to recover compressed file " + hex8(number_);
    case Kind::PathError:
      return "Failed to open file at " + common::display_path(path_) + ": " + io_.to_string();
    case Kind::Other: return "Other error: " + text_;
  }
  return {};
}

namespace {

std::string read_error_debug(const common::ReadError& e) {
  using K = common::ReadError::Kind;
  std::string inner;
  switch (e.inner_kind()) {
    case K::Io: inner = "Io(" + debug_quote(e.message()) + ")"; break;
    case K::AssertFail:
      inner = "AssertFail { pos: " + std::to_string(e.position()) + ", message: " + debug_quote(e.message()) + " }";
      break;
    case K::Custom:
      inner = "Custom { pos: " + std::to_string(e.position()) + ", message: " + debug_quote(e.message()) + " }";
      break;
    case K::Context: break;
  }
  if (e.frames().empty()) return inner;
  std::string out = "Context { err: " + inner + ", frames: [";
  for (std::size_t i = 0; i < e.frames().size(); ++i) {
    const auto& f = e.frames()[i];
    if (i > 0) out += ", ";
    out += "Frame { message: " + debug_quote(f.message) + ", path: " + debug_quote(f.path) +
           ", line: " + std::to_string(f.line) + " }";
  }
  return out + "] }";
}

}  // namespace

std::string DatError::debug_string() const {
  switch (kind_) {
    case Kind::Io: return "Io(" + io_.debug_string() + ")";
    case Kind::BinRead: return "BinRead(" + read_error_debug(read_) + ")";
    case Kind::NotFound: return "NotFound(" + std::to_string(number_) + ")";
    case Kind::DuplicateId: return "DuplicateId(" + std::to_string(number_) + ")";
    case Kind::DuplicateNamespacedId:
      return "DuplicateNamespacedId { namespace: " + debug_quote(text_) +
             ", file_id: " + std::to_string(number_) + " }";
    case Kind::InvalidMagic: return "InvalidMagic(" + debug_quote(text_) + ")";
    case Kind::UnsupportedVersion: return "UnsupportedVersion(" + std::to_string(number_) + ")";
    case Kind::InvalidNamespace: return "InvalidNamespace(" + debug_quote(text_) + ")";
    case Kind::Corruption: return "Corruption(" + debug_quote(text_) + ")";
    case Kind::DecompressionFailed: return "DecompressionFailed(" + std::to_string(number_) + ")";
    case Kind::PathError:
      return "PathError { path: " + debug_quote(common::display_path(path_)) +
             ", source: " + io_.debug_string() + " }";
    case Kind::Other: return "Other(" + debug_quote(text_) + ")";
  }
  return {};
}

}  // namespace ravelin::dat
