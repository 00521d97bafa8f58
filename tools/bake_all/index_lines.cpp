#include "tools/bake_all/index_lines.h"

#include "ravelin/common/json_text.h"
#include "tools/bake_all/output_directory.h"

namespace ravelin::tools {
namespace {

void end_line(std::string& out, common::JsonWriter& w) {
  w.end_object();
  out += w.view();
  out += '\n';
}

}  // namespace

void append_index_line(std::string& out, const LandblockOutcome& outcome) {
  common::JsonWriter w(true, common::JsonEscaping::Manifest);
  w.begin_object();
  w.key("landblock_id").hex_word(outcome.landblock_id);
  if (outcome.failed()) {
    w.key("error").text(outcome.error);
    return end_line(out, w);
  }
  w.key("file").text(manifest_name(outcome.landblock_id));
  for (const event_bake::EventFamilyInfo& family : event_bake::kEventFamilies)
    w.key(family.source).number(outcome.counts[index_of(family.family)]);
  w.key("bytes").number(outcome.bytes.value_or(0));
  end_line(out, w);
}

void append_interrupted_line(std::string& out, const common::JobEnd& end) {
  common::JsonWriter w(true);
  w.begin_object();
  w.key("interrupted").text(end.interrupted_by);
  w.key("baked").number(end.done);
  w.key("of").number(end.total);
  end_line(out, w);
}

}  // namespace ravelin::tools
