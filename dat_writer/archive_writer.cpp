#include "dat_writer/archive_writer.h"

#include <algorithm>
#include <cstring>

#include "dat_writer/byte_writer.h"
#include "ravelin/dat/compress.h"

namespace ravelin::dat_writer {
namespace {

constexpr std::uint32_t kHeaderAt = 0x140;
constexpr std::uint32_t kHeaderEnd = 0x190;
constexpr std::size_t kNodeBytes = 1716;
constexpr std::size_t kSlots = 61;
// Offset recorded for a file with no stored bytes: outside any archive this
// writer makes, so a reader that touches it fails loudly.
constexpr std::uint32_t kNoBlocks = 0xFFFFFF00u;
// Fill of the unused blocks between scattered chain blocks.
constexpr std::uint8_t kGapFill = 0xCD;

void put_u32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Entries a tree of `height` levels holds when every node is full.
std::uint64_t capacity(std::uint64_t height, std::uint64_t per_node) {
  std::uint64_t cap = 0;
  for (std::uint64_t h = 0; h < height && cap < (1ull << 40); ++h) cap = per_node + (per_node + 1) * cap;
  return cap;
}

// A B-tree over `sorted` (ascending ids): each subtree takes the fewest levels
// that hold it, an internal node as few separators as keep its children within
// one level less, so leaves come out nearly full.
NodeDef make_tree(std::span<const FileHandle> sorted, std::uint64_t per_node) {
  NodeDef node;
  const std::uint64_t n = sorted.size();
  std::uint64_t height = 1;
  while (capacity(height, per_node) < n) ++height;
  if (height == 1) {
    node.files.assign(sorted.begin(), sorted.end());
    return node;
  }
  const std::uint64_t child_cap = capacity(height - 1, per_node);
  const std::uint64_t children = (n + 1 + child_cap) / (child_cap + 1);  // ceil((n+1)/(cap+1))
  const std::uint64_t in_children = n - (children - 1);
  std::size_t at = 0;
  for (std::uint64_t c = 0; c < children; ++c) {
    const std::size_t take = in_children / children + (c < in_children % children ? 1 : 0);
    node.children.push_back(make_tree(sorted.subspan(at, take), per_node));
    at += take;
    if (c + 1 < children) node.files.push_back(sorted[at++]);
  }
  return node;
}

}  // namespace

void patch_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  put_u32(bytes.data() + offset, value);
}

ArchiveWriter::ArchiveWriter(ArchiveOptions options) : options_(options) {
  options_.entries_per_node = std::clamp<std::uint32_t>(options_.entries_per_node, 1, kSlots);
}

FileHandle ArchiveWriter::add_file(std::uint32_t id, std::span<const std::uint8_t> bytes,
                                   FileOptions options) {
  StoredFile f{};
  f.id = id;
  f.bit_flags = options.extra_flags | (options.compressed ? 1u : 0u);
  f.timestamp = options.timestamp;
  f.version = options.version;
  f.layout = options.layout;
  f.body_at = arena_.size();
  if (options.compressed && !options.raw) {
    // Test bodies are far below the 4 GiB a compressed body can declare.
    const std::vector<std::uint8_t> body = dat::compress_lrs(bytes).value();
    arena_.insert(arena_.end(), body.begin(), body.end());
  } else {
    arena_.insert(arena_.end(), bytes.begin(), bytes.end());
  }
  f.body_size = arena_.size() - f.body_at;
  f.recorded_size = options.size_override.value_or(static_cast<std::uint32_t>(f.body_size));
  files_.push_back(f);
  return files_.size() - 1;
}

// Two passes: plan every chain's block offsets (nodes in depth-first order, then
// file bodies in order of first appearance), then write the bytes.
class ArchiveWriter::Builder {
 public:
  explicit Builder(const ArchiveWriter& writer)
      : w_(writer), block_size_(writer.options_.block_size), payload_(block_size_ - 4) {
    next_ = (kHeaderEnd + block_size_ - 1) / block_size_ * block_size_;
  }

  ArchiveLayout run(const NodeDef* root) {
    ArchiveLayout layout;
    layout.block_size = block_size_;
    layout.file_blocks.resize(w_.files_.size());
    std::vector<bool> placed(w_.files_.size(), false);
    if (root != nullptr) {
      plan_node(*root);
      for (const Planned& p : nodes_)
        for (const FileHandle h : p.def->files) {
          if (placed[h]) continue;
          placed[h] = true;
          const StoredFile& f = w_.files_[h];
          layout.file_blocks[h] = allocate(f.body_size, f.layout);
        }
      layout.root_offset = nodes_.front().blocks.front();
    }

    std::vector<std::uint8_t>& out = layout.bytes;
    out.assign(next_, 0);
    for (const auto& [at, length] : gaps_) std::memset(out.data() + at, kGapFill, length);
    write_header(out, layout.root_offset);

    std::vector<std::uint8_t> node(kNodeBytes);
    for (const Planned& p : nodes_) {
      std::fill(node.begin(), node.end(), 0);
      for (std::size_t i = 0; i < p.branches.size() && i < 62; ++i) put_u32(node.data() + 4 * i, p.branches[i]);
      const std::size_t slots = std::min(p.def->files.size(), kSlots);
      put_u32(node.data() + 248, p.def->entry_count.value_or(static_cast<std::uint32_t>(slots)));
      for (std::size_t s = 0; s < slots; ++s) {
        const FileHandle h = p.def->files[s];
        const StoredFile& f = w_.files_[h];
        const auto& blocks = layout.file_blocks[h];
        std::uint8_t* e = node.data() + 252 + 24 * s;
        put_u32(e, f.bit_flags);
        put_u32(e + 4, f.id);
        put_u32(e + 8, blocks.empty() ? kNoBlocks : blocks.front());
        put_u32(e + 12, f.recorded_size);
        put_u32(e + 16, f.timestamp);
        put_u32(e + 20, f.version);
      }
      write_chain(out, p.blocks, node);
      layout.node_blocks.push_back(p.blocks);
    }
    for (std::size_t h = 0; h < w_.files_.size(); ++h) {
      const StoredFile& f = w_.files_[h];
      write_chain(out, layout.file_blocks[h],
                  std::span(w_.arena_.data() + f.body_at, f.body_size));
    }
    return layout;
  }

 private:
  struct Planned {
    const NodeDef* def;
    std::vector<std::uint32_t> blocks;
    std::vector<std::uint32_t> branches;
  };

  void plan_node(const NodeDef& def) {
    const std::size_t me = nodes_.size();
    nodes_.push_back(Planned{&def, allocate(kNodeBytes, w_.options_.node_layout), {}});
    std::vector<std::uint32_t> branches(def.children.size(), 0);
    for (std::size_t i = 0; i < def.children.size(); ++i) {
      if (def.children[i].absent) continue;
      // Pre-order: the child's own blocks are the first ones its planning takes.
      const std::size_t child = nodes_.size();
      plan_node(def.children[i]);
      branches[i] = nodes_[child].blocks.front();
    }
    nodes_[me].branches = std::move(branches);
  }

  // Block offsets, in chain order, for an item of `size` bytes.
  std::vector<std::uint32_t> allocate(std::size_t size, ChainLayout layout) {
    std::vector<std::uint32_t> blocks;
    if (size == 0) return blocks;
    const std::size_t count = (size + payload_ - 1) / payload_;
    switch (layout) {
      case ChainLayout::Contiguous:
        for (std::size_t j = 0; j < count; ++j) blocks.push_back(block_at(j));
        next_ += count * block_size_;
        break;
      case ChainLayout::Scattered:
        for (std::size_t j = 0; j < count; ++j) {
          blocks.push_back(block_at(2 * j));
          if (j + 1 < count) gaps_.emplace_back(block_at(2 * j + 1), block_size_);
        }
        next_ += (2 * count - 1) * block_size_;
        break;
      case ChainLayout::Reversed:
        for (std::size_t j = 0; j < count; ++j) blocks.push_back(block_at(count - 1 - j));
        next_ += count * block_size_;
        break;
      case ChainLayout::OversizedLast: {
        blocks.push_back(block_at(0));
        if (count == 1) {
          next_ += block_size_;
          break;
        }
        blocks.push_back(block_at(1));
        const std::size_t tail = 4 + (size - payload_);
        next_ += block_size_ + (tail + block_size_ - 1) / block_size_ * block_size_;
        break;
      }
    }
    return blocks;
  }

  std::uint32_t block_at(std::size_t index) const {
    return static_cast<std::uint32_t>(next_ + index * block_size_);
  }

  // Links each block to the next; the last block (link 0) takes all the rest.
  void write_chain(std::vector<std::uint8_t>& out, const std::vector<std::uint32_t>& blocks,
                   std::span<const std::uint8_t> item) const {
    std::size_t done = 0;
    for (std::size_t j = 0; j < blocks.size(); ++j) {
      const bool last = j + 1 == blocks.size();
      put_u32(out.data() + blocks[j], last ? 0 : blocks[j + 1]);
      const std::size_t chunk = last ? item.size() - done : std::min<std::size_t>(payload_, item.size() - done);
      if (chunk > 0) std::memcpy(out.data() + blocks[j] + 4, item.data() + done, chunk);
      done += chunk;
    }
  }

  void write_header(std::vector<std::uint8_t>& out, std::uint32_t root_offset) const {
    const HeaderFields& h = w_.header_;
    const ArchiveOptions& o = w_.options_;
    ByteWriter bw;
    bw.u32(h.magic)
        .u32(o.header_block_size.value_or(block_size_))
        .u32(static_cast<std::uint32_t>(out.size()))
        .u32(h.dataset)
        .u32(h.subset)
        .u32(h.free_head)
        .u32(h.free_tail)
        .u32(h.free_count)
        .u32(o.header_root_offset.value_or(root_offset))
        .u32(h.new_lru)
        .u32(h.old_lru)
        .u32(h.use_lru)
        .u32(h.master_map_id)
        .u32(h.engine_version)
        .u32(h.game_version)
        .bytes(h.version_string)
        .u32(h.version_minor);
    std::memcpy(out.data() + kHeaderAt, bw.data().data(), bw.size());
  }

  const ArchiveWriter& w_;
  std::uint32_t block_size_;
  std::uint32_t payload_;
  std::uint64_t next_;
  std::vector<Planned> nodes_;
  std::vector<std::pair<std::size_t, std::size_t>> gaps_;
};

std::size_t ArchiveWriter::remove_file(std::uint32_t id) {
  return std::erase_if(files_, [id](const StoredFile& f) { return f.id == id; });
}

ArchiveLayout ArchiveWriter::build() const {
  if (files_.empty()) return Builder(*this).run(nullptr);
  std::vector<FileHandle> order(files_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](FileHandle a, FileHandle b) { return files_[a].id < files_[b].id; });
  // Keep the last added of every id.
  std::vector<FileHandle> unique;
  unique.reserve(order.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    if (i + 1 == order.size() || files_[order[i + 1]].id != files_[order[i]].id) unique.push_back(order[i]);
  const NodeDef root = make_tree(unique, options_.entries_per_node);
  return Builder(*this).run(&root);
}

ArchiveLayout ArchiveWriter::build_tree(const NodeDef& root) const { return Builder(*this).run(&root); }

common::IoResult<void> ArchiveWriter::write(const std::filesystem::path& path, common::FileSystem& fs) const {
  const ArchiveLayout layout = build();
  return common::write_whole_file(path, layout.bytes, fs);
}

}  // namespace ravelin::dat_writer
