// The archive reader over an arbitrary image: open (header, directory walk with
// its node and chain guards), then fetch every entry and one absent id.
#include <unordered_set>

#include "ravelin/dat/lib.h"
#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_support.h"

RAVELIN_FUZZ_ENTRY(dat_database) {
  using ravelin::dat::DatDatabase;
  static ravelin::fuzz::MemoryFile file;
  file.assign({data, size});
  auto db = DatDatabase::open(file.path());
  if (!db) return 0;
  RAVELIN_FUZZ_CHECK("dat_database", db->file_length() == size);
  std::unordered_set<std::uint32_t> ids;
  for (const ravelin::dat::DatFileEntry& entry : db->entries()) {
    RAVELIN_FUZZ_CHECK("dat_database", ids.insert(entry.id).second);
    const ravelin::dat::DatFileEntry* found = db->find_entry(entry.id);
    RAVELIN_FUZZ_CHECK("dat_database", found != nullptr && *found == entry);
    auto bytes = db->get_file(entry.id);
    // A stored body cannot be longer than the archive it came from.
    if (bytes && !entry.is_compressed()) RAVELIN_FUZZ_CHECK("dat_database", bytes->size() == entry.size);
    if (bytes && !entry.is_compressed()) RAVELIN_FUZZ_CHECK("dat_database", bytes->size() <= size);
  }
  std::uint32_t absent = 0x7FFFFFFF;
  while (ids.contains(absent)) ++absent;
  auto missing = db->get_file(absent);
  RAVELIN_FUZZ_CHECK("dat_database", !missing && missing.error().kind() == ravelin::dat::DatError::Kind::NotFound);
  return 0;
}
