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

  // Fetches blocks until the task has none left, is stopped or has failed. Any transfer
  // error, a response that is not the requested range, or more bytes than the block marks
  // the task failed; nothing is ever written outside the block.
  void Run();

 private:
  bool FetchBlock(const BlockSpan& block);

  DownloadTask& task_;
  CURL* easy_ = nullptr;
};

}  // namespace pelvaro
