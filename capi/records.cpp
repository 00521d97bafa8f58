// The C interface's records as JSON documents, both ways: ravelin_record_decode
// and ravelin_record_encode. The same rules as the rest of the interface
// (capi/call.h): arguments checked, results in malloc'd buffers, every error a
// status and a text, no exception leaving a ravelin_* function.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capi/call.h"
#include "ravelin/dat/record_json.h"
#include "ravelin/ravelin.h"

namespace ravelin::capi {
namespace {

std::unexpected<CallFailure> argument_failure(std::string_view function, std::string_view text) {
  return call_failure(RAVELIN_ERROR_ARGUMENT, std::string(function) + ": " + std::string(text));
}

// A malloc'd copy of `bytes` with a NUL after the last one.
template <class Byte>
CallResult<Byte*> copied_out(std::span<const std::uint8_t> bytes) {
  auto* buffer = static_cast<Byte*>(std::malloc(bytes.size() + 1));
  if (buffer == nullptr) return call_failure(RAVELIN_ERROR_MEMORY, "out of memory");
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  return buffer;
}

std::optional<dat::RecordType> type_argument(const char* name) {
  return name == nullptr ? std::nullopt : dat::parse_record_type(name);
}

std::unexpected<CallFailure> unknown_type(std::string_view function, const char* name) {
  return argument_failure(function,
                          "unknown record type '" + std::string(name) + "': one of " + dat::record_type_names());
}

}  // namespace
}  // namespace ravelin::capi

using namespace ravelin;
using namespace ravelin::capi;

extern "C" {

ravelin_status ravelin_record_decode(const char* type, const uint8_t* data, size_t size, int compact, char** json,
                                     size_t* json_size, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_record_decode";
    if (type == nullptr) return argument_failure(fn, "type is NULL");
    const auto record_type = type_argument(type);
    if (!record_type) return unknown_type(fn, type);
    if (data == nullptr && size != 0) return argument_failure(fn, "data is NULL");
    if (json == nullptr) return argument_failure(fn, "json is NULL");
    if (json_size == nullptr) return argument_failure(fn, "json_size is NULL");
    auto document = dat::record_json(*record_type, {data, size}, compact != 0);
    if (!document) return call_failure(RAVELIN_ERROR_DAT, document.error().to_string());
    auto copy = copied_out<char>({reinterpret_cast<const std::uint8_t*>(document->data()), document->size()});
    if (!copy) return std::unexpected(std::move(copy).error());
    *json = *copy;
    *json_size = document->size();
    return {};
  });
}

ravelin_status ravelin_record_encode(const char* type, const char* json, uint8_t** data, size_t* size,
                                     ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_record_encode";
    const auto record_type = type_argument(type);
    if (type != nullptr && !record_type) return unknown_type(fn, type);
    if (json == nullptr) return argument_failure(fn, "json is NULL");
    if (data == nullptr) return argument_failure(fn, "data is NULL");
    if (size == nullptr) return argument_failure(fn, "size is NULL");
    auto bytes = dat::encode_record_json(record_type, json);
    if (!bytes) return call_failure(RAVELIN_ERROR_ARGUMENT, bytes.error().to_string());
    auto copy = copied_out<std::uint8_t>(*bytes);
    if (!copy) return std::unexpected(std::move(copy).error());
    *data = *copy;
    *size = bytes->size();
    return {};
  });
}

}  // extern "C"
