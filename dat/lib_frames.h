// Field-context frames of dat/lib: the archive header and directory entry
// records, their path and the line each field's frame carries. Kept in one
// table so that messages do not depend on the compiler or on where the
// reading code sits.
#pragma once

#include "ravelin/common/reader.h"

namespace ravelin::dat::lib_frames {

inline constexpr std::string_view kPath = "dat/lib";

inline constexpr common::RecordSite kDatHeader{"DatHeader", kPath};
inline constexpr common::FieldSite kHeaderMagic{"magic", 172};
inline constexpr common::FieldSite kHeaderBlockSize{"block_size", 173};
inline constexpr common::FieldSite kHeaderFileSize{"file_size", 174};
inline constexpr common::FieldSite kHeaderDataset{"dataset", 175};
inline constexpr common::FieldSite kHeaderSubset{"subset", 176};
inline constexpr common::FieldSite kHeaderFreeHead{"free_head", 177};
inline constexpr common::FieldSite kHeaderFreeTail{"free_tail", 178};
inline constexpr common::FieldSite kHeaderFreeCount{"free_count", 179};
inline constexpr common::FieldSite kHeaderRootOffset{"root_offset", 180};
inline constexpr common::FieldSite kHeaderNewLru{"new_lru", 181};
inline constexpr common::FieldSite kHeaderOldLru{"old_lru", 182};
inline constexpr common::FieldSite kHeaderUseLru{"use_lru", 183};
inline constexpr common::FieldSite kHeaderMasterMapId{"master_map_id", 184};
inline constexpr common::FieldSite kHeaderEngineVersion{"engine_version", 185};
inline constexpr common::FieldSite kHeaderGameVersion{"game_version", 186};
inline constexpr common::FieldSite kHeaderVersionString{"version_string", 188};
inline constexpr common::FieldSite kHeaderVersionMinor{"version_minor", 189};

inline constexpr common::RecordSite kDatFileEntry{"DatFileEntry", kPath};
inline constexpr common::FieldSite kEntryBitFlags{"bit_flags", 218};
inline constexpr common::FieldSite kEntryId{"id", 219};
inline constexpr common::FieldSite kEntryOffset{"offset", 220};
inline constexpr common::FieldSite kEntrySize{"size", 221};
inline constexpr common::FieldSite kEntryTimestamp{"timestamp", 222};
inline constexpr common::FieldSite kEntryVersion{"version", 223};

}  // namespace ravelin::dat::lib_frames
