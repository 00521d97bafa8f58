// The three-way merge of documents, one rule a case: what each side changed,
// what is merged, and where and why it conflicts.
#include "event_bake/document_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ravelin::event_bake {
namespace {

struct Conflict {
  std::string path;
  std::string_view why;
};

TEST(DocumentMerge, Rules) {
  struct Case {
    const char* name;
    const char* old_doc;
    const char* new_doc;
    const char* target_doc;
    const char* merged;  // null when it conflicts
    std::vector<Conflict> conflicts;
  };
  const Case cases[] = {
      {"new changed, target kept", R"({"a":1,"b":2})", R"({"a":5,"b":2})", R"({"a":1,"b":2})", R"({"a":5,"b":2})", {}},
      {"target changed, new kept", R"({"a":1,"b":2})", R"({"a":1,"b":2})", R"({"a":1,"b":7})", R"({"a":1,"b":7})", {}},
      {"each changed another member", R"({"a":1,"b":2})", R"({"a":5,"b":2})", R"({"a":1,"b":7})", R"({"a":5,"b":7})",
       {}},
      {"both changed the same way", R"({"a":1,"b":2})", R"({"a":5,"b":3})", R"({"a":5,"b":2})", R"({"a":5,"b":3})",
       {}},
      {"both changed differently", R"({"a":1})", R"({"a":5})", R"({"a":6})", nullptr, {{"/a", kBothChanged}}},
      {"both changed, to values of other kinds", R"({"a":1})", R"({"a":{"x":1}})", R"({"a":[1]})", nullptr,
       {{"/a", kBothChanged}}},
      {"nested members merged", R"({"h":{"x":1,"y":{"z":2,"w":3}}})", R"({"h":{"x":9,"y":{"z":2,"w":3}}})",
       R"({"h":{"x":1,"y":{"z":2,"w":8}}})", R"({"h":{"x":9,"y":{"z":2,"w":8}}})", {}},
      {"nested conflict", R"({"h":{"y":{"z":2}}})", R"({"h":{"y":{"z":3}}})", R"({"h":{"y":{"z":4}}})", nullptr,
       {{"/h/y/z", kBothChanged}}},
      {"every conflict, in document order", R"({"a":1,"b":[1,2],"c":3})", R"({"a":2,"b":[1,5],"c":4})",
       R"({"a":3,"b":[1,6],"c":5})", nullptr, {{"/a", kBothChanged}, {"/b/1", kBothChanged}, {"/c", kBothChanged}}},
      {"pointer escapes", R"({"a/b":{"c~d":1}})", R"({"a/b":{"c~d":2}})", R"({"a/b":{"c~d":3}})", nullptr,
       {{"/a~1b/c~0d", kBothChanged}}},
      {"member added by new, in target's order", R"({"b":1,"a":2})", R"({"b":1,"a":2,"n":3})", R"({"b":1,"a":4})",
       R"({"b":1,"a":4,"n":3})", {}},
      {"member added by both, the same", R"({})", R"({"n":3})", R"({"n":3})", R"({"n":3})", {}},
      {"member added by both, differently", R"({})", R"({"n":3})", R"({"n":4})", nullptr, {{"/n", kBothAdded}}},
      {"member removed by new", R"({"a":1,"b":2})", R"({"b":2})", R"({"a":1,"b":3})", R"({"b":3})", {}},
      {"member removed by new, changed by target", R"({"a":1})", R"({})", R"({"a":2})", nullptr,
       {{"/a", kNewRemovedChanged}}},
      {"member removed by target, changed by new", R"({"a":1})", R"({"a":2})", R"({})", nullptr,
       {{"/a", kTargetRemovedChanged}}},
      {"member removed by both", R"({"a":1,"b":1})", R"({"b":2})", R"({"b":1})", R"({"b":2})", {}},
      {"arrays of one length, element by element", R"([1,2,3])", R"([9,2,3])", R"([1,2,8])", R"([9,2,8])", {}},
      {"elements of arrays of one length merged inside", R"([{"x":1,"y":1}])", R"([{"x":2,"y":1}])",
       R"([{"x":1,"y":2}])", R"([{"x":2,"y":2}])", {}},
      {"new grew, target changed an old element", R"([1,2])", R"([1,2,3])", R"([7,2])", R"([7,2,3])", {}},
      {"new shrank, target changed a kept element", R"([1,2,3])", R"([1,2])", R"([7,2,3])", R"([7,2])", {}},
      {"new shrank, target changed the element it removed", R"([1,2,3])", R"([1,2])", R"([1,2,8])", nullptr,
       {{"", kNewResizedTouched}}},
      {"new grew and changed an element target changed", R"({"l":[1,2]})", R"({"l":[5,2,3]})", R"({"l":[6,2]})",
       nullptr, {{"/l", kNewResizedTouched}}},
      {"new grew and changed an element target changed the same way", R"([1,2])", R"([5,2,3])", R"([5,2])",
       R"([5,2,3])", {}},
      {"target grew, new changed an old element", R"([1,2])", R"([1,9])", R"([1,2,3])", R"([1,9,3])", {}},
      {"target shrank, new changed the element it removed", R"({"l":[1,2]})", R"({"l":[1,9]})", R"({"l":[1]})",
       nullptr, {{"/l", kTargetResizedTouched}}},
      {"target grew and changed an element new changed", R"({"l":[1,2]})", R"({"l":[4,2]})", R"({"l":[5,2,3]})",
       nullptr, {{"/l", kTargetResizedTouched}}},
      {"lengths changed on both sides", R"({"l":[1]})", R"({"l":[1,2]})", R"({"l":[1,3]})", nullptr,
       {{"/l", kBothResized}}},
      {"lengths changed the same way on both sides", R"({"l":[1]})", R"({"l":[1,2]})", R"({"l":[1,2]})",
       R"({"l":[1,2]})", {}},
      {"one side shrank, the other grew", R"({"l":[1,2]})", R"({"l":[1]})", R"({"l":[1,2,3]})", nullptr,
       {{"/l", kBothResized}}},
      {"not JSON", R"({"a":1})", R"({"a":)", R"({"a":1})", nullptr, {{"", kNotJson}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DocumentMerge got = merge_documents(c.old_doc, c.new_doc, c.target_doc);
    if (c.merged != nullptr) {
      EXPECT_EQ(got.merged, std::optional<std::string>(c.merged));
    } else {
      EXPECT_FALSE(got.merged.has_value()) << *got.merged;
    }
    EXPECT_EQ(got.conflicts.size(), c.conflicts.size());
    for (std::size_t i = 0; i < std::min(c.conflicts.size(), got.conflicts.size()); ++i) {
      EXPECT_EQ(got.conflicts[i].path, c.conflicts[i].path);
      EXPECT_EQ(got.conflicts[i].why, c.conflicts[i].why);
    }
  }
}

// A conflict carries each side's value at its path, absent where a side has
// no member there.
TEST(DocumentMerge, ConflictValues) {
  const auto changed = merge_documents(R"({"h":{"a":[1,"x"]}})", R"({"h":{"a":[1,"y"]}})", R"({"h":{"a":[1,{"z":null}]}})");
  ASSERT_EQ(changed.conflicts.size(), 1u);
  EXPECT_EQ(changed.conflicts[0], (MergeConflict{"/h/a/1", R"("x")", R"("y")", R"({"z":null})", std::string(kBothChanged)}));

  const auto removed = merge_documents(R"({"a":1})", R"({})", R"({"a":2})");
  ASSERT_EQ(removed.conflicts.size(), 1u);
  EXPECT_EQ(removed.conflicts[0], (MergeConflict{"/a", "1", std::nullopt, "2", std::string(kNewRemovedChanged)}));

  const auto not_json = merge_documents("[1]", "[2]", "[");
  ASSERT_EQ(not_json.conflicts.size(), 1u);
  EXPECT_EQ(not_json.conflicts[0], (MergeConflict{"", "[1]", "[2]", std::nullopt, std::string(kNotJson)}));
}

TEST(DocumentMerge, ValueAt) {
  const char* doc = R"({"a":[10,{"b/c":true,"d~e":"x"}],"n":null})";
  struct Case {
    const char* pointer;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"", R"({"a":[10,{"b/c":true,"d~e":"x"}],"n":null})"},
      {"/a/0", "10"},
      {"/a/1/b~1c", "true"},
      {"/a/1/d~0e", R"("x")"},
      {"/n", "null"},
      {"/a/2", std::nullopt},
      {"/a/01x", std::nullopt},
      {"/missing", std::nullopt},
      {"/a/0/deeper", std::nullopt},
      {"a", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(value_at(doc, c.pointer), c.value) << c.pointer;
  EXPECT_EQ(value_at("{", ""), std::nullopt);
}

}  // namespace
}  // namespace ravelin::event_bake
