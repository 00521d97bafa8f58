// Archives as folders behind the C interface (ravelin_extract, ravelin_pack),
// with the rules of the other calls.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capi/call.h"
#include "ravelin/dat/archive_folder.h"
#include "ravelin/ravelin.h"

namespace ravelin::capi {
namespace {

ravelin_status status_of(dat::FolderError::Kind kind) {
  using Kind = dat::FolderError::Kind;
  switch (kind) {
    case Kind::Io: return RAVELIN_ERROR_IO;
    case Kind::Archive: return RAVELIN_ERROR_DAT;
    case Kind::BadInput:
    case Kind::NotEmpty: return RAVELIN_ERROR_ARGUMENT;
    case Kind::NotFound: return RAVELIN_ERROR_NOT_FOUND;
    case Kind::Busy: return RAVELIN_ERROR_BUSY;
    case Kind::TooLarge: return RAVELIN_ERROR_TOO_LARGE;
  }
  return RAVELIN_ERROR_INTERNAL;
}

std::unexpected<CallFailure> folder_failure(const dat::FolderError& error) {
  return call_failure(status_of(error.kind()), error.to_string());
}

}  // namespace
}  // namespace ravelin::capi

using namespace ravelin;
using namespace ravelin::capi;

extern "C" {

ravelin_status ravelin_extract(const char* archive, const char* dir, const uint32_t* ids, size_t count, int stored,
                               int force, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_extract";
    auto archive_path = path_parameter(fn, "archive", archive);
    if (!archive_path) return std::unexpected(archive_path.error());
    auto dir_path = path_parameter(fn, "dir", dir);
    if (!dir_path) return std::unexpected(dir_path.error());
    if (ids == nullptr && count != 0) return call_failure(RAVELIN_ERROR_ARGUMENT, std::string(fn) + ": ids is NULL");
    dat::ExtractOptions options{.stored = stored != 0, .force = force != 0};
    if (count != 0) options.ids.assign(ids, ids + count);
    if (auto done = dat::extract_archive(*archive_path, *dir_path, options); !done) return folder_failure(done.error());
    return {};
  });
}

ravelin_status ravelin_pack(const char* dir, const char* archive, uint32_t block_size, ravelin_error** error) {
  return guarded_call(error, [&]() -> CallResult<void> {
    constexpr std::string_view fn = "ravelin_pack";
    auto dir_path = path_parameter(fn, "dir", dir);
    if (!dir_path) return std::unexpected(dir_path.error());
    auto archive_path = path_parameter(fn, "archive", archive);
    if (!archive_path) return std::unexpected(archive_path.error());
    dat::PackOptions options;
    if (block_size != 0) options.block_size = block_size;
    if (auto done = dat::pack_folder(*dir_path, *archive_path, options); !done) return folder_failure(done.error());
    return {};
  });
}

}  // extern "C"
