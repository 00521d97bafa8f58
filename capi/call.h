// What the C interface's calls in other files than ravelin.cpp share with it:
// guarded(), the one place that turns a call's failure or exception into a
// status and an error object, and the rule for path arguments. Both are
// defined in ravelin.cpp.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <type_traits>

#include "ravelin/common/file_system.h"
#include "ravelin/ravelin.h"

namespace ravelin::capi {

struct CallFailure {
  ravelin_status status;
  std::string message;
};

template <class T>
using CallResult = std::expected<T, CallFailure>;

inline std::unexpected<CallFailure> call_failure(ravelin_status status, std::string message) {
  return std::unexpected(CallFailure{status, std::move(message)});
}

// guarded() around body(context): the status, and on failure the error object.
ravelin_status run_guarded(ravelin_error** error, CallResult<void> (*body)(void*), void* context) noexcept;

template <class Body>
ravelin_status guarded_call(ravelin_error** error, Body&& body) noexcept {
  using Callable = std::remove_reference_t<Body>;
  return run_guarded(
      error, [](void* context) -> CallResult<void> { return (*static_cast<Callable*>(context))(); }, &body);
}

// A NUL-terminated UTF-8 path; RAVELIN_ERROR_ARGUMENT "FUNCTION: NAME is NULL"
// or "... is not UTF-8" otherwise.
CallResult<common::Path> path_parameter(std::string_view function, std::string_view name, const char* text);

}  // namespace ravelin::capi
