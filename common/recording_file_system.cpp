// The in-memory file system of the crash and fault tests.
//
// The names (directories, files) are a map from normalised path to node; a
// regular file's node points at an inode, which holds the content as the
// process sees it, the content as last synced, and the writes and size changes
// since. Every change of the names is an entry of `changes`, kept for the
// whole life of the state and marked durable once a directory sync (or a file
// system sync) covers it; the names as they are now are `base` with all
// changes applied, and a power cut replays `base` with the durable changes and
// a seeded choice of the others. Inodes are never dropped, because a lost
// rename or remove brings an old one back.
#include "ravelin/common/recording_file_system.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "ravelin/common/concurrency.h"

namespace ravelin::common {
namespace {

constexpr std::uint64_t kSectorSize = 512;
constexpr std::uint64_t kDevice = 1;

IoError error_of(int code) { return IoError::from_errno(code); }
IoError not_a_regular_file() { return IoError{0, "not a regular file"}; }
IoError stopped() { return IoError{0, "refused: the process stopped before this operation"}; }

enum class NodeKind : std::uint8_t { Directory, Regular, Special };

struct Node {
  NodeKind kind = NodeKind::Directory;
  std::uint64_t inode = 0;  // Regular
  std::string stream;       // Special: what reading it gives
};

using Names = std::map<std::string, Node>;

std::string parent_of(const std::string& path) { return Path(path).parent_path().string(); }

// A write of `bytes` at `offset`, or (resize) the file set to `size` bytes.
struct ContentChange {
  bool resize = false;
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> bytes;
  std::uint64_t size = 0;
};

void apply_content(std::vector<std::uint8_t>& content, const ContentChange& change) {
  if (change.resize) {
    content.resize(change.size);
    return;
  }
  const std::uint64_t end = change.offset + change.bytes.size();
  if (content.size() < end) content.resize(end);
  std::copy(change.bytes.begin(), change.bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(change.offset));
}

struct LockRange {
  std::uint64_t owner = 0;  // the open file holding it
  std::uint64_t start = 0;
  std::uint64_t end = 0;  // exclusive; max for "to the end and beyond"
  LockKind kind = LockKind::Shared;
};

struct Inode {
  std::vector<std::uint8_t> content;
  std::vector<std::uint8_t> durable;
  std::vector<ContentChange> pending;  // since the last sync, in order
  std::vector<LockRange> locks;
  int open_count = 0;

  void sync() {
    durable = content;
    pending.clear();
  }
};

// One change of the names. Replaying one checks that it can still happen
// (its parent is there, the file it renames exists) and skips it otherwise,
// so any subset of changes replays into a consistent tree.
struct NameChange {
  enum class Kind : std::uint8_t { Link, MakeDirectory, MakeSpecial, Rename, Unlink };
  Kind kind = Kind::Link;
  std::string path;
  std::string to;            // Rename
  std::uint64_t inode = 0;   // Link
  std::string stream;        // MakeSpecial
  std::string durable_by;    // the directory whose sync makes it durable
  bool durable = false;
};

bool is_directory(const Names& names, const std::string& path) {
  const auto it = names.find(path);
  return it != names.end() && it->second.kind == NodeKind::Directory;
}

void apply_name_change(Names& names, const NameChange& change) {
  using Kind = NameChange::Kind;
  switch (change.kind) {
    case Kind::Link:
      if (!is_directory(names, parent_of(change.path)) || is_directory(names, change.path)) return;
      names[change.path] = Node{NodeKind::Regular, change.inode, {}};
      return;
    case Kind::MakeDirectory:
      if (!is_directory(names, parent_of(change.path)) || names.contains(change.path)) return;
      names[change.path] = Node{NodeKind::Directory, 0, {}};
      return;
    case Kind::MakeSpecial:
      if (!is_directory(names, parent_of(change.path)) || is_directory(names, change.path)) return;
      names[change.path] = Node{NodeKind::Special, 0, change.stream};
      return;
    case Kind::Rename: {
      const auto from = names.find(change.path);
      if (from == names.end() || from->second.kind == NodeKind::Directory) return;
      if (!is_directory(names, parent_of(change.to)) || is_directory(names, change.to)) return;
      if (change.path == change.to) return;
      Node node = from->second;
      names.erase(from);
      names[change.to] = std::move(node);
      return;
    }
    case Kind::Unlink: {
      const auto it = names.find(change.path);
      if (it != names.end() && it->second.kind != NodeKind::Directory) names.erase(it);
      return;
    }
  }
}

std::vector<std::string> children_of(const Names& names, const std::string& dir) {
  const std::string prefix = dir == "/" ? dir : dir + "/";
  std::vector<std::string> out;
  for (auto it = names.lower_bound(prefix); it != names.end() && it->first.starts_with(prefix); ++it) {
    const std::string_view rest = std::string_view(it->first).substr(prefix.size());
    if (!rest.empty() && rest.find('/') == std::string_view::npos) out.emplace_back(rest);
  }
  return out;
}

// Seeded choices, from raw generator output only: the standard distributions
// differ between library implementations, and equal seeds must give equal
// states everywhere.
class Choices {
 public:
  explicit Choices(std::uint64_t seed) : rng_(seed) {}
  bool coin() { return (rng_() >> 63) != 0; }
  std::uint64_t below(std::uint64_t n) { return rng_() % n; }

 private:
  std::mt19937_64 rng_;
};

// What survives of an inode's unsynced changes: each write lost, kept whole or
// torn into its sectors (each kept or not), each size change kept or not; what
// is kept lands in a shuffled order over the synced content.
std::vector<std::uint8_t> content_after_power_loss(const Inode& inode, Choices& choices) {
  std::vector<const ContentChange*> whole;
  std::vector<ContentChange> pieces;
  for (const ContentChange& change : inode.pending) {
    if (change.resize) {
      if (choices.coin()) whole.push_back(&change);
      continue;
    }
    switch (choices.below(3)) {
      case 0: break;  // lost
      case 1: whole.push_back(&change); break;
      default:
        for (std::uint64_t at = change.offset, end = change.offset + change.bytes.size(); at < end;) {
          const std::uint64_t sector_end = std::min(end, (at / kSectorSize + 1) * kSectorSize);
          if (choices.coin()) {
            const auto first = change.bytes.begin() + static_cast<std::ptrdiff_t>(at - change.offset);
            pieces.push_back({false, at, {first, first + static_cast<std::ptrdiff_t>(sector_end - at)}, 0});
          }
          at = sector_end;
        }
    }
  }
  std::vector<const ContentChange*> landing = whole;
  for (const ContentChange& piece : pieces) landing.push_back(&piece);
  for (std::size_t i = landing.size(); i > 1; --i) std::swap(landing[i - 1], landing[choices.below(i)]);
  std::vector<std::uint8_t> content = inode.durable;
  for (const ContentChange* change : landing) apply_content(content, *change);
  return content;
}

}  // namespace

class RecordingState {
 public:
  mutable Mutex mutex;
  std::string root;
  Names base;  // the names before the first change
  Names names;
  std::vector<NameChange> changes;
  std::map<std::uint64_t, Inode> inodes;
  std::uint64_t next_inode = 1;
  std::uint64_t next_open_file = 1;
  std::set<std::string> read_only;
  std::vector<Operation> operations;
  std::map<std::size_t, int> faults;
  std::optional<std::uint64_t> capacity;
  std::optional<std::size_t> stop;
  bool locks_supported = true;

  std::string normalise(const Path& path) const {
    Path full = path.is_absolute() ? path : Path(root) / path;
    std::string text = full.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
  }

  const Node* find(const std::string& path) const {
    const auto it = names.find(path);
    return it == names.end() ? nullptr : &it->second;
  }

  // Why `path` is not there: ENOENT, or ENOTDIR when a component on the way
  // is not a directory.
  int missing_error(const std::string& path) const {
    for (std::string at = parent_of(path);; at = parent_of(at)) {
      if (const Node* node = find(at)) return node->kind == NodeKind::Directory ? ENOENT : ENOTDIR;
      if (at == "/") return ENOENT;
    }
  }

  // 0 when a name can be made or dropped in the directory holding `path`.
  int parent_error(const std::string& path) const {
    const std::string parent = parent_of(path);
    const Node* node = find(parent);
    if (node == nullptr) return missing_error(parent);
    if (node->kind != NodeKind::Directory) return ENOTDIR;
    if (read_only.contains(parent)) return EACCES;
    return 0;
  }

  void change_names(NameChange change, bool durable) {
    change.durable = durable;
    apply_name_change(names, change);
    changes.push_back(std::move(change));
  }

  void make_directories(const std::string& path, bool durable) {
    if (path == "/" || find(path) != nullptr) return;
    make_directories(parent_of(path), durable);
    change_names({NameChange::Kind::MakeDirectory, path, {}, 0, {}, parent_of(path)}, durable);
  }

  std::uint64_t new_inode() {
    const std::uint64_t id = next_inode++;
    inodes[id];
    return id;
  }

  // Bytes held by regular files that are named or open.
  std::uint64_t used_bytes() const {
    std::set<std::uint64_t> live;
    for (const auto& [path, node] : names)
      if (node.kind == NodeKind::Regular) live.insert(node.inode);
    std::uint64_t used = 0;
    for (const auto& [id, inode] : inodes)
      if (inode.open_count > 0 || live.contains(id)) used += inode.content.size();
    return used;
  }

  bool fits(std::uint64_t old_size, std::uint64_t new_size) const {
    return !capacity || new_size <= old_size || used_bytes() + (new_size - old_size) <= *capacity;
  }

  // Numbers and records an operation; an injected failure or the stop point
  // answers for it here. A real failure found later marks it failed().
  std::optional<IoError> admit(Operation operation) {
    const std::size_t index = operations.size();
    std::optional<IoError> error;
    if (stop && index >= *stop) {
      operation.outcome = OperationOutcome::Refused;
      error = stopped();
    } else if (const auto fault = faults.find(index); fault != faults.end()) {
      operation.outcome = OperationOutcome::Failed;
      error = error_of(fault->second);
    }
    operations.push_back(std::move(operation));
    return error;
  }

  template <class T>
  IoResult<T> failed(IoError error) {
    operations.back().outcome = OperationOutcome::Failed;
    return std::unexpected(std::move(error));
  }

  Names replay(const std::function<bool(const NameChange&)>& keep) const {
    Names out = base;
    for (const NameChange& change : changes)
      if (keep(change)) apply_name_change(out, change);
    return out;
  }

  // A new state holding `kept` names, every inode they name with the content
  // `content_of` gives, all of it durable.
  std::shared_ptr<RecordingState> durable_copy(Names kept,
                                               const std::function<std::vector<std::uint8_t>(const Inode&)>& content_of) const {
    auto copy = std::make_shared<RecordingState>();
    copy->root = root;
    copy->read_only = read_only;
    copy->next_inode = next_inode;
    for (const auto& [path, node] : kept) {
      if (node.kind != NodeKind::Regular || copy->inodes.contains(node.inode)) continue;
      Inode& inode = copy->inodes[node.inode];
      inode.content = content_of(inodes.at(node.inode));
      inode.durable = inode.content;
    }
    copy->base = kept;
    copy->names = std::move(kept);
    return copy;
  }
};

namespace {

class RecordingOpenFile final : public OpenFile {
 public:
  RecordingOpenFile(std::shared_ptr<RecordingState> state, std::uint64_t inode, std::string path, bool writable,
                    bool appending = false)
      : state_(std::move(state)), inode_(inode), path_(std::move(path)), writable_(writable), appending_(appending) {
    const LockGuard lock(state_->mutex);
    id_ = state_->next_open_file++;
    ++state_->inodes.at(inode_).open_count;
  }
  ~RecordingOpenFile() override {
    const LockGuard lock(state_->mutex);
    Inode& inode = state_->inodes.at(inode_);
    --inode.open_count;
    std::erase_if(inode.locks, [&](const LockRange& r) { return r.owner == id_; });
  }
  RecordingOpenFile(const RecordingOpenFile&) = delete;
  RecordingOpenFile& operator=(const RecordingOpenFile&) = delete;

  IoResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    const LockGuard lock(state_->mutex);
    const auto& content = state_->inodes.at(inode_).content;
    if (offset >= content.size()) return 0;
    const std::size_t n = std::min<std::uint64_t>(out.size(), content.size() - offset);
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return n;
  }

  IoResult<void> write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    RecordingState& s = *state_;
    const LockGuard lock(s.mutex);
    return write_locked(offset, bytes);
  }

  // At the file's own position, or at its end when opened to append.
  IoResult<void> append(std::span<const std::uint8_t> bytes) override {
    RecordingState& s = *state_;
    const LockGuard lock(s.mutex);
    const std::uint64_t offset = appending_ ? s.inodes.at(inode_).content.size() : position_;
    if (auto r = write_locked(offset, bytes); !r) return r;
    position_ = offset + bytes.size();
    return {};
  }

  IoResult<void> write_locked(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    RecordingState& s = *state_;
    if (auto e = s.admit({.kind = OperationKind::Write, .path = path_, .offset = offset, .length = bytes.size()})) return std::unexpected(*e);
    if (!writable_) return s.failed<void>(error_of(EBADF));
    Inode& inode = s.inodes.at(inode_);
    if (bytes.empty()) return {};
    if (!s.fits(inode.content.size(), std::max<std::uint64_t>(inode.content.size(), offset + bytes.size())))
      return s.failed<void>(error_of(ENOSPC));
    ContentChange change{false, offset, {bytes.begin(), bytes.end()}, 0};
    apply_content(inode.content, change);
    inode.pending.push_back(std::move(change));
    return {};
  }

  IoResult<void> sync() override {
    RecordingState& s = *state_;
    const LockGuard lock(s.mutex);
    if (auto e = s.admit({.kind = OperationKind::Sync, .path = path_})) return std::unexpected(*e);
    s.inodes.at(inode_).sync();
    return {};
  }

  IoResult<std::uint64_t> size() const override {
    const LockGuard lock(state_->mutex);
    return state_->inodes.at(inode_).content.size();
  }

  IoResult<void> truncate(std::uint64_t size) override {
    RecordingState& s = *state_;
    const LockGuard lock(s.mutex);
    if (auto e = s.admit({.kind = OperationKind::Truncate, .path = path_, .length = size})) return std::unexpected(*e);
    if (!writable_) return s.failed<void>(error_of(EINVAL));
    Inode& inode = s.inodes.at(inode_);
    if (!s.fits(inode.content.size(), size)) return s.failed<void>(error_of(ENOSPC));
    ContentChange change{true, 0, {}, size};
    apply_content(inode.content, change);
    inode.pending.push_back(std::move(change));
    return {};
  }

  IoResult<LockResult> lock(std::uint64_t offset, std::uint64_t length, LockKind kind, LockWait wait) override {
    const LockGuard lock(state_->mutex);
    if (!state_->locks_supported) return LockResult::Unsupported;
    // As fcntl: a shared lock needs read access, an exclusive one write access.
    if (kind == LockKind::Exclusive && !writable_) return std::unexpected(error_of(EBADF));
    Inode& inode = state_->inodes.at(inode_);
    const auto [start, end] = range(offset, length);
    for (const LockRange& held : inode.locks) {
      const bool overlaps = held.start < end && start < held.end;
      if (held.owner == id_ || !overlaps) continue;
      if (held.kind == LockKind::Shared && kind == LockKind::Shared) continue;
      if (wait == LockWait::NoWait) return LockResult::Busy;
      return std::unexpected(error_of(EDEADLK));
    }
    release(inode, start, end);
    inode.locks.push_back({id_, start, end, kind});
    return LockResult::Taken;
  }

  IoResult<void> unlock(std::uint64_t offset, std::uint64_t length) override {
    const LockGuard lock(state_->mutex);
    const auto [start, end] = range(offset, length);
    release(state_->inodes.at(inode_), start, end);
    return {};
  }

  IoResult<FileIdentity> identity() const override { return FileIdentity{kDevice, inode_}; }

 private:
  // A length of 0 reaches past any end of file, as with fcntl.
  static std::pair<std::uint64_t, std::uint64_t> range(std::uint64_t offset, std::uint64_t length) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t end = length == 0 || length > kMax - offset ? kMax : offset + length;
    return {offset, end};
  }

  // Drops this file's locks on [start, end), splitting ranges that stick out.
  void release(Inode& inode, std::uint64_t start, std::uint64_t end) const {
    std::vector<LockRange> kept;
    for (const LockRange& held : inode.locks) {
      if (held.owner != id_ || held.end <= start || end <= held.start) {
        kept.push_back(held);
        continue;
      }
      if (held.start < start) kept.push_back({held.owner, held.start, start, held.kind});
      if (end < held.end) kept.push_back({held.owner, end, held.end, held.kind});
    }
    inode.locks = std::move(kept);
  }

  std::shared_ptr<RecordingState> state_;
  std::uint64_t inode_;
  std::uint64_t id_ = 0;
  std::string path_;
  bool writable_;
  bool appending_;
  std::uint64_t position_ = 0;
};

// Opening is no change of the file system: not recorded, never refused.
IoResult<std::unique_ptr<OpenFile>> open_regular(const std::shared_ptr<RecordingState>& state, const Path& path,
                                                 bool writable) {
  std::uint64_t inode = 0;
  std::string at;
  {
    const LockGuard lock(state->mutex);
    at = state->normalise(path);
    const Node* node = state->find(at);
    if (node == nullptr) return std::unexpected(error_of(state->missing_error(at)));
    if (node->kind != NodeKind::Regular) return std::unexpected(not_a_regular_file());
    inode = node->inode;
  }
  return std::make_unique<RecordingOpenFile>(state, inode, std::move(at), writable);
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string_view to_string(OperationKind kind) {
  switch (kind) {
    case OperationKind::Create: return "create";
    case OperationKind::Write: return "write";
    case OperationKind::Truncate: return "truncate";
    case OperationKind::Sync: return "sync";
    case OperationKind::Rename: return "rename";
    case OperationKind::Remove: return "remove";
    case OperationKind::CreateDirectories: return "create_directories";
    case OperationKind::SyncDirectory: return "sync_directory";
    case OperationKind::SyncFileSystem: return "sync_file_system";
  }
  return "?";
}

std::string to_string(const Operation& operation) {
  std::string text(to_string(operation.kind));
  text += ' ';
  text += display_path(operation.path);
  if (operation.kind == OperationKind::Rename) text += ' ' + display_path(operation.to);
  if (operation.kind == OperationKind::Write)
    text += ' ' + std::to_string(operation.offset) + '+' + std::to_string(operation.length);
  if (operation.kind == OperationKind::Truncate) text += ' ' + std::to_string(operation.length);
  if (operation.outcome == OperationOutcome::Failed) text += " (failed)";
  if (operation.outcome == OperationOutcome::Refused) text += " (refused)";
  return text;
}

RecordingFileSystem::RecordingFileSystem(const Path& root) : state_(std::make_shared<RecordingState>()) {
  RecordingState& s = *state_;
  s.root = "/";
  s.names["/"] = Node{};
  s.root = s.normalise(root);
  s.make_directories(s.root, true);
  s.base = s.names;
  s.changes.clear();
}

RecordingFileSystem::RecordingFileSystem(std::shared_ptr<RecordingState> state) : state_(std::move(state)) {}
RecordingFileSystem::~RecordingFileSystem() = default;
RecordingFileSystem::RecordingFileSystem(RecordingFileSystem&&) noexcept = default;
RecordingFileSystem& RecordingFileSystem::operator=(RecordingFileSystem&&) noexcept = default;

Path RecordingFileSystem::normalise(const Path& path) const { return state_->normalise(path); }

void RecordingFileSystem::put_file(const Path& path, std::span<const std::uint8_t> bytes) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  s.make_directories(parent_of(at), true);
  const Node* node = s.find(at);
  std::uint64_t id = node != nullptr && node->kind == NodeKind::Regular ? node->inode : 0;
  if (id == 0) {
    id = s.new_inode();
    s.change_names({NameChange::Kind::Link, at, {}, id, {}, parent_of(at)}, true);
  }
  Inode& inode = s.inodes.at(id);
  inode.content.assign(bytes.begin(), bytes.end());
  inode.sync();
}

void RecordingFileSystem::put_file(const Path& path, std::string_view text) { put_file(path, bytes_of(text)); }

void RecordingFileSystem::put_directory(const Path& path) {
  const LockGuard lock(state_->mutex);
  state_->make_directories(state_->normalise(path), true);
}

void RecordingFileSystem::put_special(const Path& path, std::string_view bytes) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  s.make_directories(parent_of(at), true);
  s.change_names({NameChange::Kind::MakeSpecial, at, {}, 0, std::string(bytes), parent_of(at)}, true);
}

void RecordingFileSystem::set_writable(const Path& directory, bool writable) {
  const LockGuard lock(state_->mutex);
  const std::string at = state_->normalise(directory);
  if (writable)
    state_->read_only.erase(at);
  else
    state_->read_only.insert(at);
}

std::optional<std::vector<std::uint8_t>> RecordingFileSystem::file_bytes(const Path& path) const {
  const LockGuard lock(state_->mutex);
  const Node* node = state_->find(state_->normalise(path));
  if (node == nullptr || node->kind != NodeKind::Regular) return std::nullopt;
  return state_->inodes.at(node->inode).content;
}

std::optional<std::string> RecordingFileSystem::file_text(const Path& path) const {
  auto bytes = file_bytes(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

std::vector<Path> RecordingFileSystem::list_files() const {
  const LockGuard lock(state_->mutex);
  std::vector<Path> out;
  for (const auto& [path, node] : state_->names)
    if (node.kind == NodeKind::Regular) out.emplace_back(path);
  return out;
}

std::vector<Operation> RecordingFileSystem::operations() const {
  const LockGuard lock(state_->mutex);
  return state_->operations;
}

void RecordingFileSystem::fail_operation(std::size_t index, int error_code) {
  const LockGuard lock(state_->mutex);
  state_->faults[index] = error_code;
}

void RecordingFileSystem::set_capacity(std::uint64_t bytes) {
  const LockGuard lock(state_->mutex);
  state_->capacity = bytes;
}

void RecordingFileSystem::stop_after(std::size_t count) {
  const LockGuard lock(state_->mutex);
  state_->stop = count;
}

void RecordingFileSystem::clear_faults() {
  const LockGuard lock(state_->mutex);
  state_->faults.clear();
  state_->capacity.reset();
  state_->stop.reset();
}

void RecordingFileSystem::set_locks_supported(bool supported) {
  const LockGuard lock(state_->mutex);
  state_->locks_supported = supported;
}

RecordingFileSystem RecordingFileSystem::power_loss(std::uint64_t seed) const {
  const RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  Choices choices(seed);
  Names kept = s.replay([&](const NameChange& change) { return change.durable || choices.coin(); });
  return RecordingFileSystem(
      s.durable_copy(std::move(kept), [&](const Inode& inode) { return content_after_power_loss(inode, choices); }));
}

RecordingFileSystem RecordingFileSystem::synced_state() const {
  const RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  Names kept = s.replay([](const NameChange& change) { return change.durable; });
  return RecordingFileSystem(s.durable_copy(std::move(kept), [](const Inode& inode) { return inode.durable; }));
}

IoResult<std::unique_ptr<OpenFile>> RecordingFileSystem::open_read_only(const Path& path) {
  return open_regular(state_, path, false);
}

IoResult<std::unique_ptr<OpenFile>> RecordingFileSystem::open_read_write(const Path& path) {
  return open_regular(state_, path, true);
}

IoResult<std::unique_ptr<OpenFile>> RecordingFileSystem::create(const Path& path, CreateMode mode) {
  RecordingState& s = *state_;
  std::uint64_t id = 0;
  std::string at;
  {
    const LockGuard lock(s.mutex);
    at = s.normalise(path);
    if (auto e = s.admit({.kind = OperationKind::Create, .path = at})) return std::unexpected(*e);
    const Node* node = s.find(at);
    if (node == nullptr) {
      if (const int error = s.parent_error(at); error != 0) return s.failed<std::unique_ptr<OpenFile>>(error_of(error));
      id = s.new_inode();
      s.change_names({NameChange::Kind::Link, at, {}, id, {}, parent_of(at)}, false);
    } else if (mode == CreateMode::Exclusive) {
      return s.failed<std::unique_ptr<OpenFile>>(error_of(EEXIST));
    } else if (node->kind == NodeKind::Directory) {
      return s.failed<std::unique_ptr<OpenFile>>(error_of(EISDIR));
    } else if (node->kind != NodeKind::Regular) {
      return s.failed<std::unique_ptr<OpenFile>>(not_a_regular_file());
    } else if (mode == CreateMode::Append) {
      id = node->inode;
    } else {
      id = node->inode;
      Inode& inode = s.inodes.at(id);
      ContentChange change{true, 0, {}, 0};
      apply_content(inode.content, change);
      inode.pending.push_back(std::move(change));
    }
  }
  return std::make_unique<RecordingOpenFile>(state_, id, std::move(at), true, mode == CreateMode::Append);
}

IoResult<std::vector<std::uint8_t>> RecordingFileSystem::read_whole(const Path& path) {
  const LockGuard lock(state_->mutex);
  const std::string at = state_->normalise(path);
  const Node* node = state_->find(at);
  if (node == nullptr) return std::unexpected(error_of(state_->missing_error(at)));
  switch (node->kind) {
    case NodeKind::Directory: return std::unexpected(error_of(EISDIR));
    case NodeKind::Special: return std::vector<std::uint8_t>(node->stream.begin(), node->stream.end());
    case NodeKind::Regular: break;
  }
  return state_->inodes.at(node->inode).content;
}

IoResult<FileKind> RecordingFileSystem::kind(const Path& path) {
  const LockGuard lock(state_->mutex);
  const Node* node = state_->find(state_->normalise(path));
  if (node == nullptr) return FileKind::Missing;
  switch (node->kind) {
    case NodeKind::Directory: return FileKind::Directory;
    case NodeKind::Regular: return FileKind::Regular;
    case NodeKind::Special: break;
  }
  return FileKind::Other;
}

IoResult<void> RecordingFileSystem::rename(const Path& from, const Path& to) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string source = s.normalise(from);
  const std::string target = s.normalise(to);
  if (auto e = s.admit({.kind = OperationKind::Rename, .path = source, .to = target})) return std::unexpected(*e);
  const Node* node = s.find(source);
  if (node == nullptr) return s.failed<void>(error_of(s.missing_error(source)));
  if (node->kind == NodeKind::Directory) return s.failed<void>(error_of(EOPNOTSUPP));
  if (const int error = s.parent_error(source); error != 0) return s.failed<void>(error_of(error));
  if (const int error = s.parent_error(target); error != 0) return s.failed<void>(error_of(error));
  if (const Node* there = s.find(target); there != nullptr && there->kind == NodeKind::Directory)
    return s.failed<void>(error_of(EISDIR));
  if (source == target) return {};
  s.change_names({NameChange::Kind::Rename, source, target, 0, {}, parent_of(target)}, false);
  return {};
}

IoResult<void> RecordingFileSystem::remove(const Path& path) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  if (auto e = s.admit({.kind = OperationKind::Remove, .path = at})) return std::unexpected(*e);
  const Node* node = s.find(at);
  if (node == nullptr) {
    const int error = s.missing_error(at);
    if (error == ENOENT) return {};
    return s.failed<void>(error_of(error));
  }
  if (node->kind == NodeKind::Directory) return s.failed<void>(error_of(EISDIR));
  if (const int error = s.parent_error(at); error != 0) return s.failed<void>(error_of(error));
  s.change_names({NameChange::Kind::Unlink, at, {}, 0, {}, parent_of(at)}, false);
  return {};
}

IoResult<void> RecordingFileSystem::create_directories(const Path& path) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  if (auto e = s.admit({.kind = OperationKind::CreateDirectories, .path = at})) return std::unexpected(*e);
  // The nearest existing part must be a directory we may write.
  std::string existing = at;
  while (s.find(existing) == nullptr) existing = parent_of(existing);
  if (s.find(existing)->kind != NodeKind::Directory) return s.failed<void>(error_of(ENOTDIR));
  if (existing == at) return {};
  if (s.read_only.contains(existing)) return s.failed<void>(error_of(EACCES));
  s.make_directories(at, false);
  return {};
}

IoResult<std::vector<std::string>> RecordingFileSystem::list_directory(const Path& path) {
  const LockGuard lock(state_->mutex);
  const std::string at = state_->normalise(path);
  const Node* node = state_->find(at);
  if (node == nullptr) return std::unexpected(error_of(state_->missing_error(at)));
  if (node->kind != NodeKind::Directory) return std::unexpected(error_of(ENOTDIR));
  return children_of(state_->names, at);
}

IoResult<void> RecordingFileSystem::sync_directory(const Path& path) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  if (auto e = s.admit({.kind = OperationKind::SyncDirectory, .path = at})) return std::unexpected(*e);
  const Node* node = s.find(at);
  if (node == nullptr) return s.failed<void>(error_of(s.missing_error(at)));
  if (node->kind != NodeKind::Directory) return s.failed<void>(error_of(ENOTDIR));
  for (NameChange& change : s.changes)
    if (change.durable_by == at) change.durable = true;
  return {};
}

IoResult<void> RecordingFileSystem::sync_file_system(const Path& path) {
  RecordingState& s = *state_;
  const LockGuard lock(s.mutex);
  const std::string at = s.normalise(path);
  if (auto e = s.admit({.kind = OperationKind::SyncFileSystem, .path = at})) return std::unexpected(*e);
  const Node* node = s.find(at);
  if (node == nullptr) return s.failed<void>(error_of(s.missing_error(at)));
  if (node->kind != NodeKind::Directory) return s.failed<void>(error_of(ENOTDIR));
  for (NameChange& change : s.changes) change.durable = true;
  for (auto& [id, inode] : s.inodes) inode.sync();
  return {};
}

IoResult<void> RecordingFileSystem::check_writable(const Path& path) {
  const LockGuard lock(state_->mutex);
  const std::string at = state_->normalise(path);
  const Node* node = state_->find(at);
  if (node == nullptr) return std::unexpected(error_of(state_->missing_error(at)));
  if (node->kind != NodeKind::Directory) return std::unexpected(error_of(ENOTDIR));
  if (state_->read_only.contains(at)) return std::unexpected(error_of(EACCES));
  return {};
}

}  // namespace ravelin::common
