#include "dat_writer/archive_copy.h"

namespace ravelin::dat_writer {

dat::DatResult<ArchiveWriter> copy_archive(const dat::DatDatabase& archive, std::uint32_t entries_per_node) {
  const dat::DatHeader& from = archive.header();
  ArchiveWriter writer({.block_size = from.block_size, .entries_per_node = entries_per_node});
  HeaderFields& to = writer.header();
  to.magic = from.magic;
  to.dataset = from.dataset;
  to.subset = from.subset;
  to.master_map_id = from.master_map_id;
  to.engine_version = from.engine_version;
  to.game_version = from.game_version;
  to.version_string = from.version_string;
  to.version_minor = from.version_minor;
  for (const dat::DatFileEntry& entry : archive.sorted_entries()) {
    auto body = archive.read_file_data(entry.offset, entry.size);
    if (!body) return std::unexpected(std::move(body.error()));
    writer.add_file(entry.id, *body,
                    {.compressed = entry.is_compressed(),
                     .raw = true,
                     .extra_flags = entry.bit_flags & ~dat::kCompressedFlag,
                     .timestamp = entry.timestamp,
                     .version = entry.version});
  }
  return writer;
}

}  // namespace ravelin::dat_writer
