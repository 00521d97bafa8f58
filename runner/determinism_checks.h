// The two determinism checks over landblock 0xA9B4: a baseline bake and one
// hundred repetitions that must serialise to the baseline's bytes, first with
// the placed objects of the landblock's LandblockInfo, then with those of the
// staged spawns manifest. The checks print their report line by line and
// return their verdict as a value; the bake functions and the report stream
// are injected, so tests can drive every failure path.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "ravelin/common/file_system.h"
#include "ravelin/event_bake/landblock.h"
#include "runner/site_dirs.h"

namespace ravelin::runner {

inline constexpr std::uint32_t kCheckLandblockId = 0xA9B40000;
inline constexpr std::uint32_t kCheckRegionDid = 0x13000000;
inline constexpr std::uint32_t kCheckLandblockInfoId = 0xA9B4FFFE;
inline constexpr int kRepetitions = 100;
inline constexpr std::size_t kSampleCount = 3;
inline constexpr std::string_view kScratchFileName = "0xA9B4.events.jsonl";

using SimpleBake = std::function<event_bake::BakeResult<event_bake::LandblockEventBake>(
    std::uint32_t landblock_id, const std::filesystem::path& dat_dir)>;
using FullBake =
    std::function<event_bake::BakeResult<event_bake::LandblockEventBake>(const event_bake::BakeInputs& inputs)>;

// Everything a check touches outside itself.
struct CheckEnv {
  std::ostream* report = nullptr;  // standard error in the runner
  SiteDirs site;
  SimpleBake bake_simple;
  FullBake bake;
  // Where the checks look for the staged files and write the scratch copy
  // (the bakes open their archives themselves).
  common::FileSystem* files = &common::default_file_system();
};

// A failed equality assertion: this run's value on the left, the baseline's on
// the right, each already rendered.
struct EqualityFailure {
  std::string this_run;
  std::string baseline;
};

// Why a check failed: the message, and for the equality assertions their two
// values.
struct CheckFailure {
  std::string message;
  std::optional<EqualityFailure> equality;
};

using CheckResult = std::expected<void, CheckFailure>;

// determinism_100x_tessmark_a9b4_real_dats: the LandblockInfo source, byte
// and record comparison, minimum counts, sample lines and the scratch copy.
CheckResult run_real_dats_check(const CheckEnv& env);
// determinism_100x_tessmark_a9b4_with_spawns_manifest: the spawns manifest
// source, byte comparison only.
CheckResult run_spawns_manifest_check(const CheckEnv& env);

// Nothing when the bytes are equal; otherwise the offset text of the first
// difference: its decimal offset, or "tail-length" when one is a prefix of the
// other.
std::optional<std::string> first_difference(std::string_view baseline, std::string_view run);

// The message of the first minimum count the bake misses (ambient, physics
// particle, sky, in that order), or nothing.
std::optional<std::string> minimum_count_failure(const event_bake::LandblockEventBake& bake);

}  // namespace ravelin::runner
