// What the C interface's calls in other files than ravelin.cpp share with it:
// guarded(), the one place that turns a call's failure or exception into a
// status and an error object, and the rule for path arguments.
//
// run_guarded and path_rule are defined in ravelin.cpp beside what they wrap.
// That file cannot include this header: it stands for ravelin.h's module, and
// this header includes ravelin.h, so the layers check would see a cycle. The
// linker checks that the definitions match (a C++ name carries its types).
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

// guarded() around body(context): RAVELIN_OK, or the status body returns with
// `message` in the error object.
using GuardedBody = ravelin_status (*)(void* context, std::string& message);
ravelin_status run_guarded(ravelin_error** error, GuardedBody body, void* context) noexcept;

// A call's body returning CallResult<void>, run by guarded().
template <class Body>
ravelin_status guarded_call(ravelin_error** error, Body&& body) noexcept {
  using Callable = std::remove_reference_t<Body>;
  return run_guarded(
      error,
      [](void* context, std::string& message) -> ravelin_status {
        CallResult<void> done = (*static_cast<Callable*>(context))();
        if (done) return RAVELIN_OK;
        message = std::move(done.error().message);
        return done.error().status;
      },
      &body);
}

// The C interface's rule for a path argument: NUL-terminated UTF-8. Sets
// `path`, or returns RAVELIN_ERROR_ARGUMENT with "FUNCTION: NAME is NULL" or
// "... is not UTF-8" in `message`.
ravelin_status path_rule(std::string_view function, std::string_view name, const char* text, common::Path& path,
                         std::string& message);

inline CallResult<common::Path> path_parameter(std::string_view function, std::string_view name, const char* text) {
  common::Path path;
  std::string message;
  if (const ravelin_status status = path_rule(function, name, text, path, message); status != RAVELIN_OK)
    return call_failure(status, std::move(message));
  return path;
}

}  // namespace ravelin::capi
