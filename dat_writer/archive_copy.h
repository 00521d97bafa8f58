// An open archive loaded back into a writer, so that a changed copy of it can
// be written: each file keeps its stored body (compressed ones are not
// recompressed), flags, timestamp and version, and the header its version
// fields. The directory tree is laid out afresh.
#pragma once

#include <cstdint>

#include "dat_writer/archive_writer.h"
#include "ravelin/dat/error.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat_writer {

// Every file of `archive`, in the writer with the archive's block size and
// `entries_per_node`. Fails with the archive's error when a body cannot be read.
dat::DatResult<ArchiveWriter> copy_archive(const dat::DatDatabase& archive, std::uint32_t entries_per_node);

}  // namespace ravelin::dat_writer
