// What several fuzz targets share: in-memory files that decoders and the
// archive reader can open by path, and the files of a small sample world.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "dat_writer/sample_world.h"

namespace ravelin::fuzz {

// An anonymous in-memory file (memfd) reachable by path through /proc, so the
// archive reader opens fuzz input without touching the disk.
class MemoryFile {
 public:
  MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile();

  // Replaces the whole content.
  void assign(std::span<const std::uint8_t> bytes);
  // "/proc/self/fd/N": valid for this process while the object lives.
  const std::filesystem::path& path() const { return path_; }

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// One file of an archive as `get_file` returned it, with its stored form.
struct ArchiveFile {
  std::uint32_t id = 0;
  bool compressed = false;
  std::vector<std::uint8_t> bytes;
};

// Every file of an archive image, ascending by id; aborts when the image does
// not open (the images come from our own writer).
std::vector<ArchiveFile> archive_files(std::span<const std::uint8_t> image);

// An archive image holding `files` with the given block size.
std::vector<std::uint8_t> archive_image(std::span<const ArchiveFile> files, std::uint32_t block_size);

// The sample world the seeds and the whole-bake target start from: every
// family present, small enough to rebuild for each input.
dat_writer::SampleWorldParams small_world_params();

// A scratch directory created at first use and removed at exit.
const std::filesystem::path& scratch_dir();

}  // namespace ravelin::fuzz
