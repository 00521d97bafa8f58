// Assembly of the atlas page: the fixed page text around the embedded index.
#include "tools/draw/atlas.h"

#include "tools/draw/atlas_page.h"

namespace ravelin::draw {

std::string embed_index_json(std::string_view index_jsonl) {
  std::string out;
  out.reserve(index_jsonl.size() + 64);
  out += '[';
  bool first = true;
  while (!index_jsonl.empty()) {
    const auto end = index_jsonl.find('\n');
    const std::string_view line = index_jsonl.substr(0, end);
    index_jsonl.remove_prefix(end == std::string_view::npos ? index_jsonl.size() : end + 1);
    if (line.empty()) continue;
    if (!first) out += ",\n";
    first = false;
    // These can only stand inside the index's strings, where a \u escape means
    // the same character; raw, "</script" or "<!--" would end or bend the element.
    for (const char c : line) {
      switch (c) {
        case '<': out += "\\u003c"; break;
        case '>': out += "\\u003e"; break;
        case '&': out += "\\u0026"; break;
        default: out += c;
      }
    }
  }
  out += ']';
  return out;
}

std::string render_atlas_html(std::string_view index_jsonl, bool with_pictures) {
  std::string out;
  out.reserve(kAtlasPageHead.size() + kAtlasPageBody.size() + kAtlasPageScript.size() + index_jsonl.size() + 256);
  out += kAtlasPageHead;
  out += with_pictures ? "<body data-pictures=\"1\">\n" : "<body data-pictures=\"0\">\n";
  out += kAtlasPageBody;
  out += "<script type=\"application/json\" id=\"atlas-data\">";
  out += embed_index_json(index_jsonl);
  out += "</script>\n<script>\n";
  out += kAtlasPageScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace ravelin::draw
