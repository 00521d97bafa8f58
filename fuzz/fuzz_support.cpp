#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "ravelin/dat/lib.h"
#include "fuzz/fuzz_entry.h"
#include "dat_writer/archive_writer.h"

namespace ravelin::fuzz {

void property_failed(const char* target, const char* what) {
  std::fprintf(stderr, "fuzz target %s: property failed: %s\n", target, what);
  std::abort();
}

namespace {

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "fuzz support: %s\n", what.c_str());
  std::abort();
}

}  // namespace

MemoryFile::MemoryFile() : fd_(memfd_create("ravelin-fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) die("memfd_create failed");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { close(fd_); }

void MemoryFile::assign(std::span<const std::uint8_t> bytes) {
  if (ftruncate(fd_, 0) != 0) die("ftruncate failed");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) die("pwrite failed");
    done += static_cast<std::size_t>(n);
  }
}

std::vector<ArchiveFile> archive_files(std::span<const std::uint8_t> image) {
  MemoryFile file;
  file.assign(image);
  auto db = dat::DatDatabase::open(file.path());
  if (!db) die("archive image does not open: " + db.error().to_string());
  std::vector<ArchiveFile> files;
  for (const dat::DatFileEntry& entry : db->sorted_entries()) {
    auto bytes = db->get_file(entry.id);
    if (!bytes) die("archive file does not read: " + bytes.error().to_string());
    files.push_back({entry.id, entry.is_compressed(), std::move(*bytes)});
  }
  return files;
}

std::vector<std::uint8_t> archive_image(std::span<const ArchiveFile> files, std::uint32_t block_size) {
  dat_writer::ArchiveWriter writer({.block_size = block_size, .entries_per_node = 16});
  for (const ArchiveFile& f : files) writer.add_file(f.id, f.bytes, {.compressed = f.compressed});
  return writer.build().bytes;
}

dat_writer::SampleWorldParams small_world_params() {
  dat_writer::SampleWorldParams p;
  p.grid_width = 1;
  p.grid_height = 1;
  p.first_x = 0xA9;
  p.first_y = 0xB4;
  p.setup_count = 5;
  p.motion_table_count = 2;
  p.animation_count = 3;
  p.script_count = 3;
  p.day_group_count = 3;
  return p;
}

namespace {

struct ScratchDir {
  std::filesystem::path path;
  ScratchDir() {
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    std::string templ = ((ec ? std::filesystem::path("/tmp") : base) / "ravelin-fuzz-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) die("mkdtemp failed");
    path = templ;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace

const std::filesystem::path& scratch_dir() {
  static const ScratchDir dir;
  return dir.path;
}

}  // namespace ravelin::fuzz
