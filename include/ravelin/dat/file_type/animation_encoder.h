// The animation file as stored: its whole flags word (the bake keeps bit 0)
// and the bytes after its last frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/graphics.h"

namespace ravelin::dat::file_type {

struct StoredAnimation {
  std::uint32_t id = 0;
  std::uint32_t flags = 0;  // bit 0: one object frame per frame is stored; others kept
  std::uint32_t part_count = 0;
  std::vector<Frame> object_frames;    // one per frame with flags bit 0, else none
  std::vector<AnimationFrame> frames;  // their number is the stored frame count
  Bytes trailing;

  // Decodes what Animation::read decodes, from the file's first byte, and
  // fails where it fails (Animation::read's error is the one to show).
  static common::ReadResult<StoredAnimation> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredAnimation&) const = default;
};

// The animation's bytes. Fails when object_frames disagree with the flags and
// the frame count, a frame holds another number of part frames than
// part_count, or a hook is not of a known type with its type's payload.
RecordResult<Bytes> encode_animation(const StoredAnimation& animation);

}  // namespace ravelin::dat::file_type
