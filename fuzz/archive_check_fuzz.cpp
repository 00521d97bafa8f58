// The archive check over an arbitrary image: it must finish and report, never
// crash. Where it finds no fault, the reader must open the image and read every
// entry's stored bytes, and compact must turn it into an archive whose check
// finds nothing at all.
#include <string>

#include "ravelin/common/recording_file_system.h"
#include "ravelin/dat/archive_check.h"
#include "ravelin/dat/archive_compact.h"
#include "ravelin/dat/lib.h"
#include "fuzz/fuzz_entry.h"

RAVELIN_FUZZ_ENTRY(archive_check) {
  namespace dat = ravelin::dat;
  ravelin::common::RecordingFileSystem fs("/f");
  fs.put_file("/f/a.dat", {data, size});
  auto report = dat::check_archive("/f/a.dat", fs);
  RAVELIN_FUZZ_CHECK("archive_check", report.has_value());
  RAVELIN_FUZZ_CHECK("archive_check", report->totals.file_length == size);
  const std::string text = dat::check_report_text(*report);
  RAVELIN_FUZZ_CHECK("archive_check", text.ends_with("notes\n"));
  RAVELIN_FUZZ_CHECK("archive_check", !dat::check_report_json_lines(*report).empty());
  if (report->has_faults()) return 0;

  auto db = dat::DatDatabase::open("/f/a.dat", fs);
  RAVELIN_FUZZ_CHECK("archive_check", db.has_value());
  for (const dat::DatFileEntry& entry : db->entries())
    RAVELIN_FUZZ_CHECK("archive_check", db->read_file_data(entry.offset, entry.size).has_value());
  // A fresh archive starts at its first whole block: with huge blocks that is
  // gigabytes of zeros, more than a fuzz run holds in memory.
  if (report->totals.block_size > 65536) return 0;
  auto compacted = dat::compact_archive("/f/a.dat", ravelin::common::Path("/f/b.dat"), fs);
  RAVELIN_FUZZ_CHECK("archive_check", compacted.has_value());
  auto again = dat::check_archive("/f/b.dat", fs);
  RAVELIN_FUZZ_CHECK("archive_check", again.has_value() && again->findings.empty());
  RAVELIN_FUZZ_CHECK("archive_check", again->totals.entries == db->entry_count());
  return 0;
}
