#include "ravelin/common/read_error.h"

#include <cstdio>

namespace ravelin::common {

ReadError ReadError::io(std::string_view message) { return ReadError(Kind::Io, 0, message); }

ReadError ReadError::assert_fail(std::uint64_t position, std::string_view message) {
  return ReadError(Kind::AssertFail, position, message);
}

ReadError ReadError::custom(std::uint64_t position, std::string_view message) {
  return ReadError(Kind::Custom, position, message);
}

ReadError ReadError::with_context(ContextFrame frame) && {
  frames_.push_back(std::move(frame));
  return std::move(*this);
}

ReadError ReadError::with_field_context(std::string_view field, std::string_view record,
                                        std::string_view path, std::uint32_t line) && {
  return std::move(*this).with_context(
      ContextFrame{field_context_message(field, record), std::string(path), line});
}

std::string ReadError::inner_to_string() const {
  if (inner_kind_ == Kind::Io) return message_;
  char hex[24];
  std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(position_));
  return message_ + " at 0x" + hex;
}

std::string ReadError::to_string() const {
  std::string out = inner_to_string();
  if (frames_.empty()) return out;
  out += " (context: ";
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    if (i > 0) out += " <- ";
    out += frames_[i].message;
    out += " at ";
    out += frames_[i].path;
    out += ':';
    out += std::to_string(frames_[i].line);
  }
  out += ')';
  return out;
}

std::string field_context_message(std::string_view field, std::string_view record) {
  std::string out = "While parsing field '";
  out += field;
  out += "' in ";
  out += record;
  return out;
}

}  // namespace ravelin::common
