#include "ravelin/dat/error.h"

#include <array>
#include <cstddef>

#include "common/debug_format.h"
#include "ravelin/common/id_text.h"

namespace ravelin::dat {

using common::debug_quote;

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

namespace {

// What a kind carries and how its texts are built from it.
enum class Payload : std::uint8_t {
  IoSource,      // "{prefix}{io}"; debug Name({io debug})
  Read,          // "{prefix}{read error}"; debug Name({read error debug})
  HexId,         // "{prefix}{id:08X}{suffix}"; debug Name({id})
  Decimal,       // "{prefix}{number}"; debug Name({number})
  Text,          // "{prefix}{text}"; debug Name("{text}")
  NamespacedId,  // "{prefix}{namespace}:{id:08X}{suffix}"; debug Name { namespace: "..", file_id: .. }
  PathAndIo,     // "{prefix}{path}: {io}"; debug Name { path: "..", source: {io debug} }
};

struct KindText {
  DatError::Kind kind;
  std::string_view name;  // the debug form's name
  Payload payload;
  std::string_view prefix;
  std::string_view suffix;
};

using Kind = DatError::Kind;

// Every kind's texts, in the order of the enumeration.
constexpr std::array kKindTexts = {
    KindText{Kind::Io, "Io", Payload::IoSource, "IO error: ", ""},
    KindText{Kind::BinRead, "BinRead", Payload::Read, "Binary read error: ", ""},
    KindText{Kind::NotFound, "NotFound", Payload::HexId, "File ID ", " not found in provider"},
    KindText{Kind::DuplicateId, "DuplicateId", Payload::HexId, "Duplicate File ID ", " detected"},
    KindText{Kind::DuplicateNamespacedId, "DuplicateNamespacedId", Payload::NamespacedId,
             "Duplicate namespaced file ", " detected"},
    KindText{Kind::InvalidMagic, "InvalidMagic", Payload::Text, "Invalid magic for format: ", ""},
    KindText{Kind::UnsupportedVersion, "UnsupportedVersion", Payload::Decimal, "Unsupported version: ", ""},
    KindText{Kind::InvalidNamespace, "InvalidNamespace", Payload::Text, "Invalid namespace: ", ""},
    KindText{Kind::Corruption, "Corruption", Payload::Text, "Corruption detected: ", ""},
    KindText{Kind::DecompressionFailed, "DecompressionFailed", Payload::HexId, "Failed to recover compressed file ",
             ""},
    KindText{Kind::PathError, "PathError", Payload::PathAndIo, "Failed to open file at ", ""},
    KindText{Kind::Other, "Other", Payload::Text, "Other error: ", ""},
};

constexpr bool every_kind_at_its_index() {
  for (std::size_t i = 0; i < kKindTexts.size(); ++i)
    if (static_cast<std::size_t>(kKindTexts[i].kind) != i) return false;
  return true;
}
static_assert(kKindTexts.size() == static_cast<std::size_t>(Kind::Other) + 1, "one text entry per kind");
static_assert(every_kind_at_its_index(), "text entries follow the enumeration");

const KindText& texts_of(Kind kind) { return kKindTexts[static_cast<std::size_t>(kind)]; }

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

std::string DatError::to_string() const {
  const KindText& t = texts_of(kind_);
  std::string out(t.prefix);
  switch (t.payload) {
    case Payload::IoSource: out += io_.to_string(); break;
    case Payload::Read: out += read_.to_string(); break;
    case Payload::HexId: out += common::hex8(number_); break;
    case Payload::Decimal: out += std::to_string(number_); break;
    case Payload::Text: out += text_; break;
    case Payload::NamespacedId: out += text_ + ":" + common::hex8(number_); break;
    case Payload::PathAndIo: out += common::display_path(path_) + ": " + io_.to_string(); break;
  }
  out += t.suffix;
  return out;
}

std::string DatError::debug_string() const {
  const KindText& t = texts_of(kind_);
  std::string out(t.name);
  switch (t.payload) {
    case Payload::IoSource: return out + "(" + io_.debug_string() + ")";
    case Payload::Read: return out + "(" + read_error_debug(read_) + ")";
    case Payload::HexId:
    case Payload::Decimal: return out + "(" + std::to_string(number_) + ")";
    case Payload::Text: return out + "(" + debug_quote(text_) + ")";
    case Payload::NamespacedId:
      return out + " { namespace: " + debug_quote(text_) + ", file_id: " + std::to_string(number_) + " }";
    case Payload::PathAndIo:
      return out + " { path: " + debug_quote(common::display_path(path_)) + ", source: " + io_.debug_string() + " }";
  }
  return out;
}

}  // namespace ravelin::dat
