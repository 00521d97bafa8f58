#include "ravelin/common/file.h"

namespace ravelin::common {

File::File(std::unique_ptr<OpenFile> file) : file_(std::move(file)) {}
File::File(File&& other) noexcept = default;
File& File::operator=(File&& other) noexcept = default;
File::~File() = default;

IoResult<File> File::open_read_only(const std::filesystem::path& path) {
  return open_read_only(path, default_file_system());
}

IoResult<File> File::open_read_only(const std::filesystem::path& path, FileSystem& fs) {
  auto file = fs.open_read_only(path);
  if (!file) return std::unexpected(std::move(file.error()));
  return File(std::move(*file));
}

IoResult<void> File::read_exact_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  auto n = file_->read_at(offset, out);
  if (!n) return std::unexpected(std::move(n.error()));
  if (*n != out.size()) return std::unexpected(IoError::failed_to_fill_whole_buffer());
  return {};
}

IoResult<std::uint64_t> File::size() const { return file_->size(); }

IoResult<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path, FileSystem& fs) {
  return fs.read_whole(path);
}

IoResult<void> write_whole_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                                FileSystem& fs) {
  auto file = fs.create(path, CreateMode::Truncate);
  if (!file) return std::unexpected(std::move(file.error()));
  return (*file)->write_at(0, bytes);
}

}  // namespace ravelin::common
