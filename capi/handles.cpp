#include "capi/handles.h"

#include <unordered_map>

#include "ravelin/common/concurrency.h"

namespace ravelin::capi {
namespace {

using Entry = std::variant<std::shared_ptr<const OpenArchive>, std::shared_ptr<const OpenSession>,
                           std::shared_ptr<const OpenEditor>>;

template <class T>
constexpr std::string_view kind_name() {
  if constexpr (std::is_same_v<T, OpenEditor>) return "editor";
  return std::is_same_v<T, OpenArchive> ? "archive" : "session";
}

class HandleTable {
 public:
  std::uintptr_t add(Entry entry) {
    const common::LockGuard lock(mutex_);
    const std::uintptr_t handle = next_++;
    open_.emplace(handle, std::move(entry));
    return handle;
  }

  template <class T>
  Lookup<T> find(std::uintptr_t handle) const {
    const common::LockGuard lock(mutex_);
    const auto it = open_.find(handle);
    if (it != open_.end()) {
      if (const auto* object = std::get_if<std::shared_ptr<const T>>(&it->second)) return {*object, {}};
      return {nullptr, "not " + article<T>() + " handle (a handle of another kind)"};
    }
    return {nullptr, missing<T>(handle)};
  }

  template <class T>
  std::string remove(std::uintptr_t handle) {
    Entry dropped;  // destroyed after the lock is released
    const common::LockGuard lock(mutex_);
    const auto it = open_.find(handle);
    if (it == open_.end()) return missing<T>(handle);
    if (!std::holds_alternative<std::shared_ptr<const T>>(it->second))
      return "not " + article<T>() + " handle (a handle of another kind)";
    dropped = std::move(it->second);
    open_.erase(it);
    return {};
  }

 private:
  template <class T>
  static std::string article() {
    if constexpr (std::is_same_v<T, OpenEditor>) return "an editor";
    return std::is_same_v<T, OpenArchive> ? "an archive" : "a session";
  }

  template <class T>
  std::string missing(std::uintptr_t handle) const {
    if (handle == 0) return std::string(kind_name<T>()) + " is NULL";
    if (handle >= kFirst && handle < next_) return std::string(kind_name<T>()) + " is closed";
    return "not " + article<T>() + " handle";
  }

  // Far from small integers and from heap addresses a confused caller might pass.
  static constexpr std::uintptr_t kFirst = 0x5241'0001;
  mutable common::Mutex mutex_;
  std::uintptr_t next_ = kFirst;
  std::unordered_map<std::uintptr_t, Entry> open_;
};

// Never destroyed: handles may be closed from other threads' exit paths after
// static destructors would have run.
HandleTable& table() {
  static auto* instance = new HandleTable;
  return *instance;
}

}  // namespace

std::uintptr_t add_handle(std::shared_ptr<const OpenArchive> archive) { return table().add(std::move(archive)); }
std::uintptr_t add_handle(std::shared_ptr<const OpenSession> session) { return table().add(std::move(session)); }
std::uintptr_t add_handle(std::shared_ptr<const OpenEditor> editor) { return table().add(std::move(editor)); }

Lookup<OpenArchive> find_archive(std::uintptr_t handle) { return table().find<OpenArchive>(handle); }
Lookup<OpenSession> find_session(std::uintptr_t handle) { return table().find<OpenSession>(handle); }
Lookup<OpenEditor> find_editor(std::uintptr_t handle) { return table().find<OpenEditor>(handle); }

std::string remove_archive(std::uintptr_t handle) { return table().remove<OpenArchive>(handle); }
std::string remove_session(std::uintptr_t handle) { return table().remove<OpenSession>(handle); }
std::string remove_editor(std::uintptr_t handle) { return table().remove<OpenEditor>(handle); }

}  // namespace ravelin::capi
