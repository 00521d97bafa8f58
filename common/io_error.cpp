#include "ravelin/common/io_error.h"

#include <cstring>

#include "common/debug_format.h"

namespace ravelin::common {

IoError IoError::from_errno(int code) { return IoError{code, std::strerror(code)}; }

IoError IoError::failed_to_fill_whole_buffer() {
  return IoError{0, "failed to fill whole buffer"};
}

IoError IoError::not_a_regular_file() { return IoError{0, "not a regular file"}; }

std::string IoError::debug_string() const {
  if (code != 0) return "Os { code: " + std::to_string(code) + ", message: " + debug_quote(message) + " }";
  return "Custom { message: " + debug_quote(message) + " }";
}

}  // namespace ravelin::common
