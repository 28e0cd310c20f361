#pragma once
// The crawl: from a first seed, one related-videos request per seed, every entry of each
// answer checked and taken or skipped, every docid seen queued as a later seed. It runs until
// its worker is asked to stop; after that it starts no further step (no log line, row,
// request, file or marker).

#include "collector/crawl_context.h"
#include "collector/seed_queue.h"
#include "platform/form.h"
#include "platform/text.h"

namespace pelvaro {

class JsonDocument;
struct RelatedVideosAnswer;

class CrawlWorker {
 public:
  // The list view is cleared when it holds this many rows, so that it never grows further.
  static constexpr int kMaxRows = 500;

  explicit CrawlWorker(CrawlContext context) : context_(context) {}

  // The worker body: returns only once the calling thread's job was asked to stop.
  void Run();

  // One related-videos request and its entries. False when stopped on the way.
  bool SeedPass(const Text& seed);

  SeedQueue& seeds() { return seeds_; }

 private:
  // A pass without an answer names the host and the reason in the log, the status bar and to
  // the observer; the first answer after such passes clears the status bar.
  void ShowAnswerState(const RelatedVideosAnswer& answer);
  bool HandleEntry(JsonDocument& document, int k, const Text& category);
  // A marker could not be written: says why (log, box, observer), sets the start button back
  // and returns true; the worker then starts no further step.
  bool Halted();
  bool RejectEntry(RowHandle row, std::string_view utf8Message);
  // An entry not to take (in the history, or failed too often): logged, queued as a later
  // seed, row deleted.
  bool PassOver(RowHandle row, const Text& docid, std::string_view utf8Log, std::string_view utf8Cell);

  CrawlContext context_;
  SeedQueue seeds_;
  bool unanswered_ = false;
};

}  // namespace pelvaro
