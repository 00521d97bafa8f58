// Reading an archive for editing: the header, the directory into a
// DirectoryTree and the free list, with the checks an edit relies on. An
// archive that fails them is refused with the finding; chains of file bodies
// are not walked here unless the block count says some blocks are unaccounted
// for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dat/archive_editor_blocks.h"
#include "dat/btree.h"
#include "ravelin/common/file_system.h"
#include "ravelin/dat/error.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {

struct LoadedArchive {
  DatHeader header;
  std::uint64_t file_length = 0;
  BlockGrid grid;
  DirectoryTree tree;
  std::vector<std::uint32_t> free_list;  // in chain order from free_head
  // Grid blocks that nothing uses: found by a walk of every chain, made only
  // when the blocks the items need and the free list do not add up to the grid.
  std::vector<std::uint32_t> leaked;
  bool walked = false;
  // Faults the walk met (a block in two items, a broken chain): with any,
  // leaked blocks are not reclaimed.
  std::vector<std::string> walk_faults;
};

// Why an archive could not be loaded for editing.
struct LoadProblem {
  enum class Kind : std::uint8_t { Io, Archive, Refused };
  Kind kind = Kind::Refused;
  std::string finding;                 // Refused
  std::optional<common::IoError> io;   // Io
  std::optional<DatError> archive;     // Archive
};

std::expected<LoadedArchive, LoadProblem> load_archive(const common::OpenFile& file);

// The header's 80 bytes as stored.
std::vector<std::uint8_t> encode_header(const DatHeader& header);

}  // namespace ravelin::dat
