// Hash map for decoded records whose iteration order must never reach output:
// it offers look-ups and a walk over the keys sorted ascending, but no walk in
// the map's own order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <unordered_map>
#include <vector>

namespace ravelin::common {

template <class Key, class Value>
class IdMap {
 public:
  // A key already present keeps the value inserted last.
  void insert_or_assign(const Key& key, Value value) { map_.insert_or_assign(key, std::move(value)); }

  const Value* find(const Key& key) const {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  Value* find(const Key& key) {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  bool contains(const Key& key) const { return map_.contains(key); }
  std::size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }

  // The keys, ascending (as the key type compares; use unsigned keys for ids).
  std::vector<Key> sorted_keys() const {
    std::vector<Key> keys;
    keys.reserve(map_.size());
    for (const auto& entry : map_) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    return keys;
  }

  // Calls f(key, value) for every entry in ascending key order.
  template <class F>
  void for_each_sorted(F&& f) const {
    for (const Key& key : sorted_keys()) f(key, map_.find(key)->second);
  }

  // Equal when both hold the same keys with equal values (order plays no part).
  bool operator==(const IdMap& other) const { return map_ == other.map_; }

 private:
  std::unordered_map<Key, Value> map_;
};

}  // namespace ravelin::common
