// The three-way merge of JSON documents: the changes from OLD to NEW carried
// onto TARGET, member by member and array element by array element.
//
// At every place: what NEW left as OLD had it stays as TARGET has it; what
// TARGET left as OLD had it takes NEW's value; what both changed the same way
// takes that value; what both changed differently is a conflict, unless both
// are objects (merged member by member) or arrays of one length on all three
// sides (merged element by element). An array whose length one side changed
// merges when the other side kept OLD's length and changed no element the
// first side touched (an element it changed, or one past the shorter of its
// two lengths); an array whose length both changed differently is a conflict.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::event_bake {

// One place the documents could not be merged at.
struct MergeConflict {
  std::string path;  // JSON Pointer; "" for the whole document
  // The compact JSON of each side's value there; nothing where the side has
  // no such member.
  std::optional<std::string> old_value, new_value, target_value;
  std::string why;  // one of the fixed texts below

  bool operator==(const MergeConflict&) const = default;
};

// The fixed texts a conflict's `why` holds.
inline constexpr std::string_view kBothChanged = "both changed";
inline constexpr std::string_view kBothAdded = "both added the member with different values";
inline constexpr std::string_view kNewRemovedChanged = "new removed what target changed";
inline constexpr std::string_view kTargetRemovedChanged = "target removed what new changed";
inline constexpr std::string_view kBothResized = "array lengths changed on both sides";
inline constexpr std::string_view kNewResizedTouched = "new changed the array's length and target changed elements it touched";
inline constexpr std::string_view kTargetResizedTouched = "target changed the array's length and new changed elements it touched";
inline constexpr std::string_view kNotJson = "not a JSON document";

// The merged document (compact JSON, members in TARGET's order, members only
// NEW has after them), or every conflict, in document order.
struct DocumentMerge {
  std::optional<std::string> merged;
  std::vector<MergeConflict> conflicts;
};

DocumentMerge merge_documents(std::string_view old_document, std::string_view new_document,
                              std::string_view target_document);

// The compact JSON of the value at `pointer` in `document`; nothing when the
// document is not JSON or has no such value.
std::optional<std::string> value_at(std::string_view document, std::string_view pointer);

}  // namespace ravelin::event_bake
