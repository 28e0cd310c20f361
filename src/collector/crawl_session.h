#pragma once
// The start/stop toggle of the crawl. The start button's caption holds the state: "开始" idle,
// "停止" a crawl worker running. Stopping never waits for the worker: it sets its stop token and
// returns, and the worker starts no further step.

#include "collector/crawl_context.h"
#include "platform/worker.h"

namespace pelvaro {

class CrawlSession {
 public:
  explicit CrawlSession(CrawlContext context) : context_(context) {}
  ~CrawlSession() { worker_.RequestStop(); }
  CrawlSession(const CrawlSession&) = delete;
  CrawlSession& operator=(const CrawlSession&) = delete;

  // A click of the start button.
  void Toggle();

  // Whether a worker runs (the caption says "停止").
  bool running();

  // The current worker (the terminal front end joins it after a stop).
  Worker& worker() { return worker_; }

 private:
  CrawlContext context_;
  Worker worker_;
};

}  // namespace pelvaro
