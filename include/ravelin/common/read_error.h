// The error value of every decoder: a short-read, a rejected value, or a
// decoder-specific failure, optionally wrapped in field-context frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::common {

// Texts of the short-read and seek failures shared by all decoders.
inline constexpr std::string_view kFailedToFillWholeBuffer = "failed to fill whole buffer";
inline constexpr std::string_view kNotEnoughBytesInReader = "not enough bytes in reader";
inline constexpr std::string_view kInvalidSeek = "invalid seek to a negative or overflowing position";

// One "While parsing field '{}' in {}" frame: message, declaring source (path
// relative to the repository root, without extension) and line.
struct ContextFrame {
  std::string message;
  std::string path;
  std::uint32_t line = 0;

  bool operator==(const ContextFrame&) const = default;
};

class ReadError {
 public:
  enum class Kind : std::uint8_t { Io, AssertFail, Custom, Context };

  // An I/O-style failure; its display text is the message itself.
  static ReadError io(std::string_view message);
  // A rejected value at `position`; displayed "{message} at 0x{position:x}".
  static ReadError assert_fail(std::uint64_t position, std::string_view message);
  // A decoder-specific failure, displayed like assert_fail.
  static ReadError custom(std::uint64_t position, std::string_view message);

  // Context when at least one frame was added, otherwise the inner kind.
  Kind kind() const { return frames_.empty() ? inner_kind_ : Kind::Context; }
  // The kind of the innermost error, whatever frames wrap it.
  Kind inner_kind() const { return inner_kind_; }
  const std::string& message() const { return message_; }
  std::uint64_t position() const { return position_; }
  // Innermost frame first.
  const std::vector<ContextFrame>& frames() const { return frames_; }

  // Turns the error into a context chain (or extends one) with this frame.
  ReadError with_context(ContextFrame frame) &&;
  ReadError with_field_context(std::string_view field, std::string_view record,
                               std::string_view path, std::uint32_t line) &&;

  // Display text of the innermost error alone.
  std::string inner_to_string() const;
  // Display text: the inner error, then each frame with its location, on one line.
  std::string to_string() const;

  bool operator==(const ReadError&) const = default;

 private:
  ReadError(Kind kind, std::uint64_t position, std::string_view message)
      : inner_kind_(kind), position_(position), message_(message) {}

  Kind inner_kind_;
  std::uint64_t position_ = 0;
  std::string message_;
  std::vector<ContextFrame> frames_;
};

// "While parsing field '{field}' in {record}".
std::string field_context_message(std::string_view field, std::string_view record);

}  // namespace ravelin::common
