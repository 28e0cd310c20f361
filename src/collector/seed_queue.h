#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "platform/text.h"

namespace pelvaro {

// The crawl's article ids still to visit, first in first out. It belongs to one crawl worker
// alone and is not locked. An empty id is a valid entry (it makes a pass with an empty docid).
// The queue is bounded so that a crawl running for days keeps its memory: when it is full, the
// oldest id makes room for the new one, so a fresh seed (one from the collection service above
// all) is never lost and the front never lags thousands of passes behind.
class SeedQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 10000;

  explicit SeedQueue(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  // False when the queue was full and its oldest id was dropped to make room.
  bool push(Text id);
  // Removes and returns the front id; std::nullopt when empty.
  std::optional<Text> pop();
  void clear() { ids_.clear(); }
  std::size_t size() const { return ids_.size(); }
  bool empty() const { return ids_.empty(); }
  const std::deque<Text>& ids() const { return ids_; }

 private:
  std::size_t capacity_;
  std::deque<Text> ids_;
};

}  // namespace pelvaro
