#pragma once

#include <curl/curl.h>

#include "web/download_task.h"

namespace pelvaro {

// One worker of a download. It owns one transport handle for its whole life, so the
// connection of one block is reused for the next, and it only moves bytes: the task decides
// which block comes next. Used by one thread.
class BlockFetcher {
 public:
  explicit BlockFetcher(DownloadTask& task);
  ~BlockFetcher();
  BlockFetcher(const BlockFetcher&) = delete;
  BlockFetcher& operator=(const BlockFetcher&) = delete;

  // Fetches blocks until the task has none left, is stopped or has failed. A transfer that
  // breaks, falls silent or gets a 5xx, 408 or 429 is asked again for the rest of its block,
  // a few times with growing pauses. Any other answer that is not the requested range of the
  // probed version of the file, more bytes than the block, a failed write, or a download
  // silent for too long fails the task; nothing is ever written outside the block.
  void Run();

 private:
  bool FetchBlock(const BlockSpan& block);

  DownloadTask& task_;
  CURL* easy_ = nullptr;
};

}  // namespace pelvaro
