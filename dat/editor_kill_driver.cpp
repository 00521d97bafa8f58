// The program tools/editor_kill_test.sh kills: it edits an archive in a loop
// of commits, each a deterministic function of its number, so that whatever
// moment the process dies at, the archive must hold exactly the state after
// the commit whose number it records.
//
//   editor_kill_driver create ARCHIVE   a new archive holding commit 0
//   editor_kill_driver loop ARCHIVE     commits n + 1, n + 2, ... until killed
//   editor_kill_driver verify ARCHIVE   the archive is the state after its
//                                       commit n, its blocks sound; prints n
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "ravelin/dat/compress.h"
#include "dat/editor_test_support.h"
#include "ravelin/dat/archive_editor.h"

namespace {

using ravelin::dat::ArchiveEditor;
using ravelin::dat::test_support::Bytes;

// The file holding the number of the last commit, as a u32.
constexpr std::uint32_t kCounterId = 1;
constexpr std::uint32_t kFirstId = 0x1000;
constexpr std::uint32_t kIds = 400;

Bytes counter_bytes(std::uint32_t n) {
  Bytes out(4);
  std::memcpy(out.data(), &n, 4);
  return out;
}

Bytes content(std::uint32_t n, std::uint32_t k) {
  Bytes out((n * 31 + k * 17) % 900);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(n * 7 + k + (i % 13) * (i % 7));
  return out;
}

struct Change {
  std::uint32_t id;
  bool remove;
  bool compress;
  Bytes bytes;
};

// Commit n's changes: five puts (some compressed), one remove, the counter.
std::vector<Change> changes_of(std::uint32_t n) {
  std::vector<Change> out;
  for (std::uint32_t k = 0; k < 5; ++k)
    out.push_back({kFirstId + (n * 7 + k * 13) % kIds, false, (n + k) % 3 == 0, content(n, k)});
  out.push_back({kFirstId + (n * 11 + 5) % kIds, true, false, {}});
  out.push_back({kCounterId, false, false, counter_bytes(n)});
  return out;
}

// id -> (compressed, bytes) after commit n.
std::map<std::uint32_t, std::pair<bool, Bytes>> model(std::uint32_t n) {
  std::map<std::uint32_t, std::pair<bool, Bytes>> files{{kCounterId, {false, counter_bytes(0)}}};
  for (std::uint32_t c = 1; c <= n; ++c)
    for (const Change& change : changes_of(c)) {
      if (change.remove)
        files.erase(change.id);
      else
        files[change.id] = {change.compress, change.bytes};
    }
  return files;
}

int fail(const std::string& text) {
  std::fprintf(stderr, "editor_kill_driver: %s\n", text.c_str());
  return 1;
}

int create(const char* path) {
  auto editor = ArchiveEditor::create(path, 128, {});
  if (!editor) return fail(editor.error().to_string());
  if (auto r = editor->put(kCounterId, counter_bytes(0)); !r) return fail(r.error().to_string());
  if (auto r = editor->commit(); !r) return fail(r.error().to_string());
  return 0;
}

int loop(const char* path) {
  auto editor = ArchiveEditor::open(path);
  if (!editor) return fail(editor.error().to_string());
  auto counter = editor->stored_bytes(kCounterId);
  if (!counter || counter->size() != 4) return fail("no commit counter");
  std::uint32_t n;
  std::memcpy(&n, counter->data(), 4);
  for (;;) {
    ++n;
    for (const Change& change : changes_of(n)) {
      if (change.remove) {
        if (editor->find(change.id)) (void)editor->remove(change.id);
      } else if (auto r = editor->put(change.id, change.bytes, {.compress = change.compress}); !r) {
        return fail(r.error().to_string());
      }
    }
    if (auto r = editor->commit(); !r) return fail(r.error().to_string());
  }
}

int verify(const char* path) {
  std::string why;
  auto& fs = ravelin::common::default_file_system();
  const auto state = ravelin::dat::test_support::read_state(fs, path, why);
  if (!state) return fail("the reader cannot read the archive: " + why);
  const auto counter = state->find(kCounterId);
  if (counter == state->end() || counter->second.content.size() != 4) return fail("no commit counter");
  std::uint32_t n;
  std::memcpy(&n, counter->second.content.data(), 4);
  const auto expected = model(n);
  if (expected.size() != state->size()) return fail("commit " + std::to_string(n) + ": the wrong files");
  for (const auto& [id, file] : expected) {
    const auto it = state->find(id);
    if (it == state->end() || it->second.content != file.second ||
        ((it->second.bit_flags & 1) != 0) != file.first)
      return fail("commit " + std::to_string(n) + ": file " + std::to_string(id) + " is not as committed");
  }
  const auto report = ravelin::dat::test_support::walk_blocks(fs, path);
  if (!report.sound()) return fail("commit " + std::to_string(n) + ": " + report.text());
  std::printf("%u %zu\n", n, report.leaked);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return fail("usage: editor_kill_driver create|loop|verify ARCHIVE");
  const std::string mode = argv[1];
  if (mode == "create") return create(argv[2]);
  if (mode == "loop") return loop(argv[2]);
  if (mode == "verify") return verify(argv[2]);
  return fail("unknown mode " + mode);
}
