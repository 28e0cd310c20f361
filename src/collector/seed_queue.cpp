#include "collector/seed_queue.h"

#include <utility>

namespace pelvaro {

bool SeedQueue::push(Text id) {
  if (ids_.size() >= capacity_) return false;
  ids_.push_back(std::move(id));
  return true;
}

std::optional<Text> SeedQueue::pop() {
  if (ids_.empty()) return std::nullopt;
  Text front = std::move(ids_.front());
  ids_.pop_front();
  return front;
}

}  // namespace pelvaro
