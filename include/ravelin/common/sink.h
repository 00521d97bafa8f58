// Where a long job hands what it produces: a manifest directory, a database, a
// page, a progress line. The job opens its sinks, prepares each item with
// every sink on the worker that made it, adds it to every sink in the job's
// order, and finishes them in reverse order (so that the sink opened first,
// whose files the others' refer to, commits last); or, when one of them fails,
// abandons them all, so that no output is left half-written.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace ravelin::common {

// Errors are the display text of what went wrong, naming the file.
using SinkResult = std::expected<void, std::string>;

// How the job ended: every item added, or interrupted by a signal after the
// first `done` of `total`.
struct JobEnd {
  std::size_t done = 0;
  std::size_t total = 0;
  std::string_view interrupted_by;  // "SIGINT", "SIGTERM"; empty when complete

  bool complete() const { return interrupted_by.empty(); }
};

template <class Item>
class Sink {
 public:
  virtual ~Sink() = default;

  // Before the first item: creates what the sink writes into.
  virtual SinkResult open() { return {}; }
  // The per-item work that needs no order (a file of its own written, a
  // picture drawn): called on the worker that made the item, for several items
  // at once, after the sinks before it prepared the same item. May add to the
  // item what add() or later sinks need of it.
  virtual SinkResult prepare(Item& /*item*/) { return {}; }
  // Every item once, in the job's order, on one thread.
  virtual SinkResult add(const Item& item) = 0;
  // Every fraction of a second on the ordering thread while items are made:
  // for a sink that shows the job's progress.
  virtual void tick() {}
  // After the last item. A sink that cannot stand for part of a job leaves
  // its files as they were when the job is interrupted.
  virtual SinkResult finish(const JobEnd& /*end*/) { return {}; }
  // The job failed: removes what this sink started and has not committed.
  virtual void abandon() {}
};

}  // namespace ravelin::common
