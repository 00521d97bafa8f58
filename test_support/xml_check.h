// A small XML well-formedness check for the SVG tests: one root element,
// balanced and correctly nested tags, quoted attributes without duplicates,
// no raw '<' or stray '&' in text or values, and only the XML declaration as
// a processing instruction.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::test_support {

inline bool xml_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == ':' || c == '.';
}

// Character data is fine when every '&' starts a known or numeric entity.
inline std::optional<std::string> xml_check_text(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '<') return "raw '<' in character data";
    if (text[i] != '&') continue;
    const auto end = text.find(';', i);
    if (end == std::string_view::npos) return "unterminated entity";
    const auto name = text.substr(i + 1, end - i - 1);
    if (name != "amp" && name != "lt" && name != "gt" && name != "quot" && name != "apos" &&
        !(name.size() > 1 && name[0] == '#'))
      return "unknown entity &" + std::string(name) + ";";
  }
  return std::nullopt;
}

// Nothing when `doc` is well-formed, else the first problem found.
inline std::optional<std::string> xml_well_formedness_error(std::string_view doc) {
  std::size_t i = 0;
  if (doc.starts_with("<?xml")) {
    i = doc.find("?>");
    if (i == std::string_view::npos) return "unterminated XML declaration";
    i += 2;
  }
  std::vector<std::string> open;
  bool root_seen = false;
  while (i < doc.size()) {
    const auto lt = doc.find('<', i);
    const auto text = doc.substr(i, lt == std::string_view::npos ? doc.size() - i : lt - i);
    if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string_view::npos)
      return "text outside the root element";
    if (auto e = xml_check_text(text)) return e;
    if (lt == std::string_view::npos) break;
    i = lt + 1;
    if (doc.substr(i).starts_with("?")) return "processing instruction after the start";
    if (doc.substr(i).starts_with("!--")) {
      const auto end = doc.find("-->", i);
      if (end == std::string_view::npos) return "unterminated comment";
      i = end + 3;
      continue;
    }
    const bool closing = i < doc.size() && doc[i] == '/';
    if (closing) ++i;
    const auto name_start = i;
    while (i < doc.size() && xml_name_char(doc[i])) ++i;
    const std::string name(doc.substr(name_start, i - name_start));
    if (name.empty()) return "tag without a name";
    if (closing) {
      while (i < doc.size() && doc[i] == ' ') ++i;
      if (i >= doc.size() || doc[i] != '>') return "malformed end tag </" + name;
      ++i;
      if (open.empty() || open.back() != name) return "end tag </" + name + "> does not match";
      open.pop_back();
      continue;
    }
    if (open.empty() && root_seen) return "second root element <" + name + ">";
    root_seen = true;
    std::set<std::string> attributes;
    for (;;) {
      const bool had_space = i < doc.size() && (doc[i] == ' ' || doc[i] == '\n');
      while (i < doc.size() && (doc[i] == ' ' || doc[i] == '\n')) ++i;
      if (i >= doc.size()) return "unterminated tag <" + name;
      if (doc[i] == '>' || doc.substr(i).starts_with("/>")) break;
      if (!had_space) return "attributes of <" + name + "> not separated";
      const auto attr_start = i;
      while (i < doc.size() && xml_name_char(doc[i])) ++i;
      const std::string attr(doc.substr(attr_start, i - attr_start));
      if (attr.empty()) return "bad character in <" + name + ">";
      if (!attributes.insert(attr).second) return "duplicate attribute " + attr;
      if (i + 1 >= doc.size() || doc[i] != '=' || (doc[i + 1] != '"' && doc[i + 1] != '\''))
        return "unquoted attribute " + attr;
      const char quote = doc[i + 1];
      const auto end = doc.find(quote, i + 2);
      if (end == std::string_view::npos) return "unterminated attribute " + attr;
      if (auto e = xml_check_text(doc.substr(i + 2, end - i - 2))) return e;
      i = end + 1;
    }
    if (doc[i] == '/') {
      i += 2;
    } else {
      ++i;
      open.push_back(name);
    }
  }
  if (!root_seen) return "no root element";
  if (!open.empty()) return "unclosed <" + open.back() + ">";
  return std::nullopt;
}

}  // namespace ravelin::test_support
