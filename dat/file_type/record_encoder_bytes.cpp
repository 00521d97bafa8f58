#include "dat/file_type/record_encoder_bytes.h"

#include <algorithm>
#include <vector>

namespace ravelin::dat::file_type {

std::string RecordPath::pointer() const {
  std::vector<const RecordPath*> chain;
  for (const RecordPath* p = this; p->parent_ != nullptr; p = p->parent_) chain.push_back(p);
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    out += '/';
    if ((*it)->is_index_) {
      out += std::to_string((*it)->index_);
      continue;
    }
    for (const char c : (*it)->member_) {
      if (c == '~') out += "~0";
      else if (c == '/') out += "~1";
      else out += c;
    }
  }
  return out;
}

RecordResult<void> RecordOutput::skip(const SkippedBytes& skipped, std::size_t needed, const RecordPath& path) {
  if (!skipped) {
    out_.resize(out_.size() + needed, 0);
    return {};
  }
  if (skipped->size() > needed)
    return path.fail("expected " + std::to_string(needed) + " bytes, found " + std::to_string(skipped->size()));
  bytes(*skipped);
  if (skipped->size() < needed && !cut_end_) {
    cut_end_ = out_.size();
    cut_pointer_ = path.pointer();
    cut_needed_ = needed;
  }
  return {};
}

RecordResult<Bytes> RecordOutput::finish(std::span<const std::uint8_t> trailing) && {
  if (cut_end_ && (out_.size() != *cut_end_ || !trailing.empty()))
    return std::unexpected(RecordError{cut_pointer_, "expected " + std::to_string(cut_needed_) +
                                                         " bytes: fewer only where the record ends"});
  bytes(trailing);
  return std::move(out_);
}

RecordResult<void> check_count(std::size_t size, std::uint64_t max, const RecordPath& path) {
  if (size > max) return path.fail("expected at most " + std::to_string(max) + " entries, found " + std::to_string(size));
  return {};
}

void write_vector3(RecordOutput& out, const common::Vector3& v) {
  out.f32(v.x);
  out.f32(v.y);
  out.f32(v.z);
}

void write_quaternion(RecordOutput& out, const common::Quaternion& q) {
  out.f32(q.w);
  out.f32(q.x);
  out.f32(q.y);
  out.f32(q.z);
}

void write_sphere(RecordOutput& out, const common::Sphere& s) {
  write_vector3(out, s.center);
  out.f32(s.radius);
}

RecordResult<void> write_text(RecordOutput& out, const StoredText& text, const RecordPath& text_path,
                              const RecordPath& padding_path) {
  if (text.bytes.size() > 0xFFFF)
    return text_path.fail("expected a text of at most 65535 bytes as stored, found " +
                          std::to_string(text.bytes.size()));
  out.u16(static_cast<std::uint16_t>(text.bytes.size()));
  out.text(text.bytes);
  return out.align(text.padding, padding_path);
}

RecordResult<void> write_hook(RecordOutput& out, const AnimationHook& hook, const RecordPath& path) {
  const auto stored = stored_payload_size(hook);
  if (!hook_payload_size(hook.hook_type))
    return RecordPath(path, "hook_type").fail("expected a hook type from 0 to " + std::to_string(kMaxAnimationHookType));
  const std::size_t padded = stored ? *stored + hook_padding_size(*stored) : 0;
  if (!stored || hook.payload.size() != padded)
    return RecordPath(path, "payload")
        .fail("expected " + std::to_string(padded < 4 ? 4 : padded) + " bytes for hook type " +
              std::to_string(hook.hook_type) + ", found " + std::to_string(hook.payload.size()));
  out.u32(hook.hook_type);
  out.u32(hook.hook_word);
  out.bytes(hook.payload);
  return {};
}

RecordResult<void> write_anim_frame(RecordOutput& out, const AnimationFrame& frame, std::uint32_t part_count,
                                    const RecordPath& path) {
  if (frame.part_frames.size() != part_count)
    return RecordPath(path, "part_frames")
        .fail("expected " + std::to_string(part_count) + " entries (part_count), found " +
              std::to_string(frame.part_frames.size()));
  for (const Frame& f : frame.part_frames) write_frame(out, f);
  const RecordPath hooks(path, "hooks");
  RAVELIN_TRY_VOID(check_count(frame.hooks.size(), 0xFFFFFFFF, hooks));
  out.u32(static_cast<std::uint32_t>(frame.hooks.size()));
  for (std::size_t i = 0; i < frame.hooks.size(); ++i)
    RAVELIN_TRY_VOID(write_hook(out, frame.hooks[i], RecordPath(hooks, i)));
  return {};
}

common::ReadResult<SkippedBytes> read_skipped(common::Reader& reader, std::size_t needed) {
  const std::uint64_t at = reader.position();
  const std::uint64_t available = std::min<std::uint64_t>(needed, reader.remaining());
  RAVELIN_TRY_VOID(reader.skip(needed));
  const auto bytes = reader.data().subspan(at < reader.size() ? at : reader.size(), available);
  if (available == needed && std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }))
    return SkippedBytes{};
  return SkippedBytes{Bytes(bytes.begin(), bytes.end())};
}

common::ReadResult<SkippedBytes> read_alignment(common::Reader& reader) {
  return read_skipped(reader, (4 - reader.position() % 4) % 4);
}

common::ReadResult<StoredText> read_stored_text(common::Reader& reader) {
  StoredText text;
  std::uint16_t length = 0;
  RAVELIN_TRY(length, reader.read_u16());
  std::span<const std::uint8_t> bytes;
  RAVELIN_TRY(bytes, reader.read_exact(length));
  text.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  RAVELIN_TRY(text.padding, read_alignment(reader));
  return text;
}

Bytes trailing_bytes(const common::Reader& reader) {
  if (reader.remaining() == 0) return {};
  const auto rest = reader.data().subspan(reader.position());
  return Bytes(rest.begin(), rest.end());
}

}  // namespace ravelin::dat::file_type
