#include "ravelin/dat/archive_check.h"

#include <algorithm>
#include <string_view>

#include "dat/block_map.h"
#include "ravelin/common/file.h"
#include "ravelin/common/json_text.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat {
namespace {

CheckReport from_map(const BlockMap& map, std::uint64_t length) {
  CheckReport report;
  for (const BlockFinding& f : map.findings())
    report.findings.push_back({is_fault(f.code) ? FindingSeverity::Fault : FindingSeverity::Note,
                               std::string(finding_code_text(f.code)), f.message});
  const TreeShape& tree = map.tree();
  report.totals = {.file_length = length,
                   .block_size = map.block_size(),
                   .entries = tree.entries,
                   .nodes = tree.nodes,
                   .depth = tree.depth,
                   .free_blocks = map.free_blocks(),
                   .leaked_blocks = map.leaked_count(),
                   .leaked_bytes = map.leaked_bytes()};
  return report;
}

// "1 node", "2 nodes", "0 nodes".
std::string counted(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::size_t count(const CheckReport& report, FindingSeverity severity) {
  return static_cast<std::size_t>(std::count_if(report.findings.begin(), report.findings.end(),
                                                [&](const CheckFinding& f) { return f.severity == severity; }));
}

const char* severity_text(FindingSeverity severity) { return severity == FindingSeverity::Fault ? "fault" : "note"; }

}  // namespace

bool CheckReport::has_faults() const {
  return std::any_of(findings.begin(), findings.end(),
                     [](const CheckFinding& f) { return f.severity == FindingSeverity::Fault; });
}

DatResult<CheckReport> check_archive(const common::Path& path, common::FileSystem& fs) {
  auto file = common::File::open_read_only(path, fs);
  if (!file) return std::unexpected(DatError::path_error(path, file.error()));
  // Where the file system gives no locks the check reads all the same.
  if (auto r = file->open_file().lock(kReaderLockByte, 1, common::LockKind::Shared, common::LockWait::Block); !r)
    return std::unexpected(DatError::io(r.error()));
  auto length = file->size();
  if (!length) return std::unexpected(DatError::io(length.error()));
  if (*length < kHeaderOffset + kHeaderSize) {
    CheckReport report;
    report.totals.file_length = *length;
    report.findings.push_back({FindingSeverity::Fault, "header",
                               "the file holds " + std::to_string(*length) +
                                   " bytes, too few for the header at 0x140 (it ends at 0x190)"});
    return report;
  }
  std::uint8_t bytes[kHeaderSize];
  if (auto r = file->read_exact_at(kHeaderOffset, bytes); !r) return std::unexpected(DatError::io(r.error()));
  common::Reader reader(bytes);
  auto header = DatHeader::read(reader);
  if (!header) return std::unexpected(DatError::bin_read(std::move(header).error()));
  auto map = map_blocks(*file, *header, *length);
  if (!map) return std::unexpected(std::move(map).error());
  return from_map(*map, *length);
}

std::string check_report_text(const CheckReport& report) {
  std::string out;
  for (const CheckFinding& f : report.findings) {
    out += severity_text(f.severity);
    out += ' ';
    out += f.code;
    out += ": ";
    out += f.message;
    out += '\n';
  }
  const CheckTotals& t = report.totals;
  out += "totals: " + counted(t.entries, "entry", "entries") + " in " + counted(t.nodes, "node", "nodes") +
         ", depth " + std::to_string(t.depth) + ", " + counted(t.free_blocks, "free block", "free blocks") + ", " +
         counted(t.leaked_blocks, "leaked block", "leaked blocks") + " (" + counted(t.leaked_bytes, "byte", "bytes") +
         "); " + counted(count(report, FindingSeverity::Fault), "fault", "faults") + ", " +
         counted(count(report, FindingSeverity::Note), "note", "notes") + "\n";
  return out;
}

std::string check_report_json_lines(const CheckReport& report) {
  std::string out;
  common::JsonWriter w(true);
  for (const CheckFinding& f : report.findings) {
    w.clear();
    w.begin_object();
    w.key("severity").text(severity_text(f.severity));
    w.key("code").text(f.code);
    w.key("message").text(f.message);
    w.end_object();
    out += w.view();
    out += '\n';
  }
  const CheckTotals& t = report.totals;
  w.clear();
  w.begin_object();
  w.key("totals").begin_object();
  w.key("file_length").number(t.file_length);
  w.key("block_size").number(t.block_size);
  w.key("entries").number(t.entries);
  w.key("nodes").number(t.nodes);
  w.key("depth").number(t.depth);
  w.key("free_blocks").number(t.free_blocks);
  w.key("leaked_blocks").number(t.leaked_blocks);
  w.key("leaked_bytes").number(t.leaked_bytes);
  w.key("faults").number(count(report, FindingSeverity::Fault));
  w.key("notes").number(count(report, FindingSeverity::Note));
  w.end_object();
  w.end_object();
  out += w.view();
  out += '\n';
  return out;
}

}  // namespace ravelin::dat
