// docs/manifest.md shows one line of each kind from a bake of the sample
// world's landblock 0xA9B4; this test keeps those lines true. With
// RAVELIN_UPDATE_DOCS=1 it rewrites them from a fresh bake.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ravelin/common/file.h"
#include "ravelin/event_bake/landblock.h"
#include "test_support/test_world.h"
#include "dat_writer/sample_world.h"

namespace ravelin::event_bake {
namespace {

std::filesystem::path manifest_doc_path() {
  const char* root = std::getenv("RAVELIN_SOURCE_DIR");
  const std::filesystem::path base = root != nullptr && *root != '\0'
                                         ? std::filesystem::path(root)
                                         : std::filesystem::path(__FILE__).parent_path().parent_path();
  return base / "docs/manifest.md";
}

// The first line of `jsonl` whose "source" member is `source`.
std::string first_line_of(const std::string& jsonl, std::string_view source) {
  const std::string marker = "{\"source\":\"" + std::string(source) + "\"";
  for (std::size_t at = 0; at < jsonl.size();) {
    const auto end = jsonl.find('\n', at);
    const std::string line = jsonl.substr(at, end - at);
    if (line.starts_with(marker)) return line;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

// The body of the fenced block after "<!-- example:KIND -->": its position and length.
std::optional<std::pair<std::size_t, std::size_t>> example_block(const std::string& doc, std::string_view kind) {
  const auto marker = doc.find("<!-- example:" + std::string(kind) + " -->");
  if (marker == std::string::npos) return std::nullopt;
  const auto fence = doc.find("```json\n", marker);
  if (fence == std::string::npos) return std::nullopt;
  const auto start = fence + 8;
  const auto close = doc.find("\n```", start);
  if (close == std::string::npos) return std::nullopt;
  return std::pair{start, close - start};
}

TEST(ManifestDoc, ExampleLinesAreTheFirstOfEachKindInTheSampleBake) {
  test_support::ScratchDir dir;
  ASSERT_TRUE(dat_writer::write_sample_world(dir.path(), dat_writer::build_sample_world({})).has_value());
  const auto bake = bake_landblock_events_simple(dat_writer::kSampleFocusLandblock << 16, dir.path());
  ASSERT_TRUE(bake.has_value()) << bake.error().to_string();
  const std::string jsonl = bake->to_jsonl_bytes();

  const auto bytes = common::read_whole_file(manifest_doc_path());
  ASSERT_TRUE(bytes.has_value()) << manifest_doc_path();
  std::string doc(bytes->begin(), bytes->end());
  const char* update = std::getenv("RAVELIN_UPDATE_DOCS");
  const bool rewrite = update != nullptr && *update == '1';
  bool changed = false;
  for (const std::string_view kind : {"ambient", "animation_sound", "physics_script_particle", "sky_chain"}) {
    const std::string expected = first_line_of(jsonl, kind);
    ASSERT_FALSE(expected.empty()) << "the sample bake has no " << kind << " line";
    const auto block = example_block(doc, kind);
    ASSERT_TRUE(block.has_value()) << "no example block for " << kind;
    if (doc.compare(block->first, block->second, expected) == 0) continue;
    if (rewrite) {
      doc.replace(block->first, block->second, expected);
      changed = true;
    } else {
      ADD_FAILURE() << "docs/manifest.md example for " << kind << " is stale (RAVELIN_UPDATE_DOCS=1 rewrites it); "
                    << "expected:\n" << expected;
    }
  }
  if (changed) {
    const auto* first = reinterpret_cast<const std::uint8_t*>(doc.data());
    ASSERT_TRUE(common::write_whole_file(manifest_doc_path(), {first, doc.size()}).has_value());
  }
}

}  // namespace
}  // namespace ravelin::event_bake
