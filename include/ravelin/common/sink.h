// Where a long job hands what it produces: a manifest directory, a database, a
// page, a progress line. A job opens its sinks, hands each item to every sink
// and finishes them, or abandons them all when it is interrupted or one of them
// fails, so that no output is left half-written.
#pragma once

#include <expected>
#include <string>

namespace ravelin::common {

// Errors are the display text of what went wrong, naming the file.
using SinkResult = std::expected<void, std::string>;

template <class Item>
class Sink {
 public:
  virtual ~Sink() = default;

  // Before the first item: creates what the sink writes into.
  virtual SinkResult open() { return {}; }
  // The per-item work that needs no order (a file of its own written, a
  // picture drawn): called on the worker that made the item, for several items
  // at once. May add to the item what add() needs of it.
  virtual SinkResult prepare(Item& /*item*/) { return {}; }
  // Every item once, in the job's order, on one thread.
  virtual SinkResult add(const Item& item) = 0;
  // After the last item: commits the sink's files.
  virtual SinkResult finish() { return {}; }
  // The job ends without finishing: removes what this sink started and has not
  // committed. Also called after a failed open, add or finish.
  virtual void abandon() {}
};

}  // namespace ravelin::common
