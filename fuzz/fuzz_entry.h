// Entry point of one fuzz target. Built for libFuzzer (RAVELIN_FUZZ_LIBFUZZER
// defined, one target per executable) the macro opens LLVMFuzzerTestOneInput;
// otherwise it opens ravelin_fuzz_<name>, so the replay program can link every
// target at once and run the checked-in corpus through the normal build.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(RAVELIN_FUZZ_LIBFUZZER)
#define RAVELIN_FUZZ_ENTRY(name) extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#else
#define RAVELIN_FUZZ_ENTRY(name) int ravelin_fuzz_##name(const std::uint8_t* data, std::size_t size)
#endif

// Every target, in the order the replay runs them.
#define RAVELIN_FUZZ_TARGETS(X) \
  X(dat_database)               \
  X(archive_check)              \
  X(decompress_lrs)             \
  X(compress_lrs)               \
  X(region)                     \
  X(setup_model)                \
  X(motion_table)               \
  X(animation)                  \
  X(physics_script)             \
  X(cell_landblock)             \
  X(landblock_info)             \
  X(record_json)                \
  X(read_pstring)               \
  X(setup_table)                \
  X(spawns_lines)               \
  X(whole_bake)

namespace ravelin::fuzz {

// A property the target checks on a decoded value failed: print `what` and
// abort, so libFuzzer keeps the input and the replay test fails.
[[noreturn]] void property_failed(const char* target, const char* what);

}  // namespace ravelin::fuzz

#define RAVELIN_FUZZ_CHECK(target, condition) \
  do {                                        \
    if (!(condition)) ::ravelin::fuzz::property_failed(target, #condition); \
  } while (0)
