#include "e2e/crawl_harness.h"

#include <chrono>

#include "collector/collection_service.h"
#include "collector/crawl_log.h"
#include "collector/crawl_worker.h"
#include "collector/output_layout.h"
#include "platform/window_layout.h"
#include "platform/worker.h"

namespace pelvaro::e2e {

namespace mw = main_window;

namespace {
// Every pause of the crawl a few milliseconds; the wait for a download 300 steps of 50 ms, long
// enough that no download of a test outlives it by chance.
CrawlTiming ShortTiming() {
  using std::chrono::milliseconds;
  CrawlTiming timing;
  timing.passWait = milliseconds(30);
  timing.guardWait = milliseconds(30);
  timing.progressStep = milliseconds(50);
  timing.step = milliseconds(1);
  timing.pageStep = milliseconds(1);
  timing.rowShown = milliseconds(2);
  timing.rowShownBriefly = milliseconds(1);
  return timing;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
}  // namespace

CrawlHarness::CrawlHarness(Catalogue* catalogue)
    : form_(MemoryForm::MainWindow()),
      timing_(ShortTiming()),
      catalogue_(catalogue),
      session_(CrawlContext{*form_, downloads_, subscribers_.reporter(), timing_, &NoCrawlObserver(), catalogue_}) {
  form_->setTextUtf8(mw::kOutputFolder, DefaultOutputFolder().bytes());
  form_->clearItems(mw::kCategoryBox);
  form_->addItem(mw::kCategoryBox, Gbk("所有类目"));
  form_->setCurrentIndex(mw::kCategoryBox, 0);
  set(mw::kHours, "100000");
  set(mw::kMinDuration, "0");
  set(mw::kMaxDuration, "100000");
  set(mw::kMinSize, "0");
  set(mw::kMaxSize, "100000");
  set(mw::kPauseMs, "0");
  set(mw::kMaxFiles, "100000");
  set(mw::kMinFreeMb, "0");
  form_->setLineObserver([this](std::string_view control, const Text& line) {
    if (control != mw::kLog) return;
    {
      std::lock_guard lock(mutex_);
      for (auto& l : SplitLines(GbkToUtf8(line) + "\r\n")) lines_.push_back(l);
    }
    changed();
  });
  form_->setCellObserver([this](RowHandle row, int column, const Text& value) {
    // A title keeps every character in the list; the observer hears its GBK form.
    const std::string utf8 =
        column == mw::kColTitle ? form_->cellUtf8(mw::kVideoList, row, column) : GbkToUtf8(value);
    {
      std::lock_guard lock(mutex_);
      auto& cells = rows_[row];
      cells.resize(mw::kColumnCount);
      cells[static_cast<std::size_t>(column)] = utf8;
    }
    changed();
  });
}

CrawlHarness::~CrawlHarness() {
  session_.worker().RequestStop();
  session_.worker().Join();
  downloads_.waitAll();
}

std::string CrawlHarness::outputFolder() const { return form_->textUtf8(mw::kOutputFolder); }

void CrawlHarness::set(std::string_view control, const std::string& utf8) {
  form_->setText(control, Utf8ToGbk(utf8));
}

std::vector<std::string> CrawlHarness::runPass(const std::string& seed) {
  std::vector<std::string> seeds;
  Worker worker;
  const CrawlContext context = this->context();
  worker.Start([&] {
    CrawlWorker crawl(context);
    crawl.SeedPass(Utf8ToGbk(seed));
    for (const Text& id : crawl.seeds().ids()) seeds.push_back(GbkToUtf8(id));
  });
  worker.Join();
  return seeds;
}

std::vector<std::string> CrawlHarness::runPassToTheEnd(const std::string& seed) {
  auto seeds = runPass(seed);
  downloads_.waitAll();
  return seeds;
}

std::vector<std::string> CrawlHarness::log() { return SplitLines(GbkToUtf8(form_->text(mw::kLog))); }

std::vector<std::string> CrawlHarness::allLogLines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::vector<std::string>> CrawlHarness::rows() {
  std::lock_guard lock(mutex_);
  std::vector<std::vector<std::string>> result;
  for (const auto& [handle, cells] : rows_) result.push_back(cells);
  return result;
}

void CrawlHarness::changed() {
  std::lock_guard lock(mutex_);
  ++changes_;
  changed_.notify_all();
}

bool CrawlHarness::waitUntil(const std::function<bool()>& pred) {
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  std::unique_lock lock(mutex_);
  while (true) {
    const auto seen = changes_;
    lock.unlock();
    const bool done = pred();
    lock.lock();
    if (done) return true;
    if (!changed_.wait_until(lock, guard, [&] { return changes_ != seen; })) return pred();
  }
}

std::string SeedFromService() { return GbkToUtf8(QueryCollectionService(Gbk("所有类目"))); }

}  // namespace pelvaro::e2e
