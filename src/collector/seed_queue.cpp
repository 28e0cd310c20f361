#include "collector/seed_queue.h"

#include <utility>

namespace pelvaro {

bool SeedQueue::push(Text id) {
  if (capacity_ == 0) return false;
  const bool room = ids_.size() < capacity_;
  if (!room) ids_.pop_front();
  ids_.push_back(std::move(id));
  return room;
}

std::optional<Text> SeedQueue::pop() {
  if (ids_.empty()) return std::nullopt;
  Text front = std::move(ids_.front());
  ids_.pop_front();
  return front;
}

}  // namespace pelvaro
