// Seed inputs for every fuzz target, generated from the encoders and the sample
// world so that no binary seeds need to be checked in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ravelin::fuzz {

struct Seed {
  std::string target;  // a name of RAVELIN_FUZZ_TARGETS
  std::vector<std::uint8_t> bytes;
};

// Whole-bake input layout: byte 0 holds the part to replace (low two bits) and
// the bake options, bytes 1-2 the file index (little-endian, modulo the file
// count), and the rest is the replacement content.
inline constexpr std::uint8_t kBakeReplacePortal = 0;
inline constexpr std::uint8_t kBakeReplaceCell = 1;
inline constexpr std::uint8_t kBakeReplaceSpawns = 2;
inline constexpr std::uint8_t kBakeReplaceSetupTable = 3;
inline constexpr std::uint8_t kBakeSkyBit = 0x4;
inline constexpr std::uint8_t kBakeSpawnsSourceBit = 0x8;

// Every seed, grouped by target; equal on every run.
std::vector<Seed> seed_corpus();

// Writes the seeds as `root/<target>/seed-NNNN` and returns how many.
std::size_t write_seed_corpus(const std::filesystem::path& root);

}  // namespace ravelin::fuzz
