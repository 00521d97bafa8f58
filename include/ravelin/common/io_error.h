// The error value of every file operation: the system's errno and message, or
// a message of our own.
#pragma once

#include <expected>
#include <string>

namespace ravelin::common {

struct IoError {
  int code = 0;         // errno; 0 for failures the system did not report
  std::string message;  // display text: the system's message, or our own

  static IoError from_errno(int code);
  static IoError failed_to_fill_whole_buffer();
  // A FIFO, a device or a directory where a regular file was to be opened.
  static IoError not_a_regular_file();

  const std::string& to_string() const { return message; }
  // Os { code: 2, message: "..." } or Custom { message: "..." }.
  std::string debug_string() const;
  bool operator==(const IoError&) const = default;
};

template <class T>
using IoResult = std::expected<T, IoError>;

}  // namespace ravelin::common
