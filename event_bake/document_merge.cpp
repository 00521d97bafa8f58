#include "event_bake/document_merge.h"

#include <algorithm>
#include <cstddef>
#include <nlohmann/json.hpp>

namespace ravelin::event_bake {
namespace {

// Ordered: a merged document keeps its members in the record's field order.
using Json = nlohmann::ordered_json;

std::string dump(const Json& value) { return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

std::optional<std::string> dump(const Json* value) {
  if (value == nullptr) return std::nullopt;
  return dump(*value);
}

// Absent members are equal to each other and to nothing else.
bool same(const Json* a, const Json* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return *a == *b;
}

std::optional<Json> copy(const Json* value) {
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::string child_path(const std::string& path, std::string_view key) {
  std::string out = path + '/';
  for (const char c : key) {
    if (c == '~') out += "~0";
    else if (c == '/') out += "~1";
    else out += c;
  }
  return out;
}

std::string child_path(const std::string& path, std::size_t index) { return path + '/' + std::to_string(index); }

const Json* member(const Json& object, const std::string& key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

class Merger {
 public:
  std::vector<MergeConflict> conflicts;

  // The merged value at `path`; nothing where it is absent.
  std::optional<Json> place(const Json* o, const Json* n, const Json* t, const std::string& path) {
    if (same(n, o)) return copy(t);
    if (same(t, o) || same(t, n)) return copy(n);
    if (o != nullptr && n != nullptr && t != nullptr) {
      if (o->is_object() && n->is_object() && t->is_object()) return objects(*o, *n, *t, path);
      if (o->is_array() && n->is_array() && t->is_array()) return arrays(*o, *n, *t, path);
    }
    const std::string_view why = o == nullptr   ? kBothAdded
                                 : n == nullptr ? kNewRemovedChanged
                                 : t == nullptr ? kTargetRemovedChanged
                                                : kBothChanged;
    conflict(o, n, t, path, why);
    return copy(t);
  }

 private:
  void conflict(const Json* o, const Json* n, const Json* t, const std::string& path, std::string_view why) {
    conflicts.push_back({path, dump(o), dump(n), dump(t), std::string(why)});
  }

  Json objects(const Json& o, const Json& n, const Json& t, const std::string& path) {
    Json out = Json::object();
    for (const auto& [key, value] : t.items()) {
      if (auto merged = place(member(o, key), member(n, key), &value, child_path(path, key)))
        out[key] = std::move(*merged);
    }
    for (const auto& [key, value] : n.items()) {
      if (t.contains(key)) continue;
      if (auto merged = place(member(o, key), &value, nullptr, child_path(path, key))) out[key] = std::move(*merged);
    }
    return out;
  }

  Json arrays(const Json& o, const Json& n, const Json& t, const std::string& path) {
    const std::size_t lo = o.size();
    const std::size_t ln = n.size();
    const std::size_t lt = t.size();
    if (ln == lo && lt == lo) {
      Json out = Json::array();
      for (std::size_t i = 0; i < lo; ++i) {
        if (auto merged = place(&o[i], &n[i], &t[i], child_path(path, i))) out.push_back(std::move(*merged));
      }
      return out;
    }
    if (ln != lo && lt != lo) {
      conflict(&o, &n, &t, path, kBothResized);
      return t;
    }
    // One side (`resized`) changed the length; the other (`kept`) kept OLD's.
    const bool new_resized = ln != lo;
    const Json& resized = new_resized ? n : t;
    const Json& kept = new_resized ? t : n;
    const std::size_t common = std::min(lo, resized.size());
    Json out = resized;
    for (std::size_t i = 0; i < lo; ++i) {
      if (kept[i] == o[i]) continue;
      if (i >= common || (resized[i] != o[i] && resized[i] != kept[i])) {
        conflict(&o, &n, &t, path, new_resized ? kNewResizedTouched : kTargetResizedTouched);
        return t;
      }
      out[i] = kept[i];
    }
    return out;
  }
};

}  // namespace

DocumentMerge merge_documents(std::string_view old_document, std::string_view new_document,
                              std::string_view target_document) {
  const Json o = Json::parse(old_document, nullptr, false);
  const Json n = Json::parse(new_document, nullptr, false);
  const Json t = Json::parse(target_document, nullptr, false);
  DocumentMerge result;
  if (o.is_discarded() || n.is_discarded() || t.is_discarded()) {
    auto text = [](const Json& j, std::string_view raw) -> std::optional<std::string> {
      if (j.is_discarded()) return std::nullopt;
      return std::string(raw);
    };
    result.conflicts.push_back(
        {"", text(o, old_document), text(n, new_document), text(t, target_document), std::string(kNotJson)});
    return result;
  }
  Merger merger;
  auto merged = merger.place(&o, &n, &t, "");
  if (merger.conflicts.empty() && merged) result.merged = dump(*merged);
  result.conflicts = std::move(merger.conflicts);
  return result;
}

std::optional<std::string> value_at(std::string_view document, std::string_view pointer) {
  const Json root = Json::parse(document, nullptr, false);
  if (root.is_discarded()) return std::nullopt;
  const Json* at = &root;
  while (!pointer.empty()) {
    if (pointer.front() != '/') return std::nullopt;
    pointer.remove_prefix(1);
    const std::size_t end = std::min(pointer.find('/'), pointer.size());
    std::string token;
    for (std::size_t i = 0; i < end; ++i) {
      if (pointer[i] == '~' && i + 1 < end && (pointer[i + 1] == '0' || pointer[i + 1] == '1')) {
        token += pointer[++i] == '0' ? '~' : '/';
      } else {
        token += pointer[i];
      }
    }
    pointer.remove_prefix(end);
    if (at->is_object()) {
      at = member(*at, token);
      if (at == nullptr) return std::nullopt;
    } else if (at->is_array()) {
      std::size_t index = 0;
      if (token.empty() || token.size() > 9 || !std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
      for (const char c : token) index = index * 10 + static_cast<std::size_t>(c - '0');
      if (index >= at->size()) return std::nullopt;
      at = &(*at)[index];
    } else {
      return std::nullopt;
    }
  }
  return dump(*at);
}

}  // namespace ravelin::event_bake
