// A sink that writes each item's JSON line (`to_json_line()`) into one output
// file, put in place synced when the job finishes and removed when it is
// abandoned.
#pragma once

#include <optional>
#include <string>

#include "ravelin/common/output_file.h"
#include "ravelin/common/sink.h"

namespace ravelin::tools {

template <class Item>
class JsonLinesSink final : public common::Sink<Item> {
 public:
  explicit JsonLinesSink(common::Path path) : path_(std::move(path)) {}

  common::SinkResult open() override {
    auto file = common::OutputFile::create(path_);
    if (!file) return std::unexpected(file.error().to_string());
    file_.emplace(std::move(*file));
    return {};
  }
  common::SinkResult add(const Item& item) override {
    line_ = item.to_json_line();
    line_ += '\n';
    if (auto r = file_->write(line_); !r) return std::unexpected(r.error().to_string());
    return {};
  }
  common::SinkResult finish(const common::JobEnd& /*end*/) override {
    if (auto r = file_->commit(); !r) return std::unexpected(r.error().to_string());
    return {};
  }
  void abandon() override {
    if (file_) file_->abandon();
  }

 private:
  common::Path path_;
  std::optional<common::OutputFile> file_;
  std::string line_;
};

}  // namespace ravelin::tools
