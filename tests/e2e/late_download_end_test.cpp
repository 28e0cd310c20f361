// Downloads that outlive the crawl's wait: their end still reaches the row, the log and the
// collection service, and only the truth does (a failure is shown, a video reported only once
// its file is complete).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <set>
#include <thread>

#include "collector/crawl_session.h"
#include "collector/history.h"
#include "collector/video_downloads.h"
#include "e2e/crawl_harness.h"
#include "e2e/e2e_names.h"
#include "platform/window_layout.h"
#include "support/sim_process.h"
#include "web/ranged_downloader.h"

namespace pelvaro::e2e {
namespace {

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
}

std::set<std::string> ReportedIds(const SimProcess& sim) {
  std::set<std::string> ids;
  for (const auto& r : sim.requests("vendor_api")) {
    const std::string target = r.value("target", "");
    const auto at = target.find("&id=");
    if (at == std::string::npos) continue;
    const std::string id = target.substr(at + 4, target.find('&', at + 4) - at - 4);
    if (!id.empty()) ids.insert(id);
  }
  return ids;
}

TEST(LateDownloadEnd, AFailureAfterTheWaitShowsInTheRowAndTheLogAndIsNeverReported) {
  SimProcess sim({"--size-scale", "0.05", "--stall-after", "65536"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  CrawlContext context = crawl.context();
  context.timing.progressSteps = 1;  // the wait gives up after one 50 ms step
  CrawlSession session(context);
  session.Toggle();
  ASSERT_TRUE(crawl.waitUntil([&] { return AnyStartsWith(crawl.allLogLines(), "下载失败："); }));
  session.Toggle();
  session.worker().Join();
  crawl.downloads().waitAll();
  bool rowShowsIt = false;
  for (const auto& row : crawl.rows()) {
    rowShowsIt = rowShowsIt || row[mw::kColDownload].starts_with("下载失败：");
  }
  EXPECT_TRUE(rowShowsIt);
  EXPECT_TRUE(ReportedIds(sim).empty()) << "a failed video is never reported";
}

TEST(LateDownloadEnd, AVideoIsReportedOnlyOnceItsFileIsComplete) {
  // Slow files: every download outlives the crawl's single-step wait.
  SimProcess sim({"--size-scale", "0.05", "--drip", "400000"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  CrawlContext context = crawl.context();
  context.timing.progressSteps = 1;
  CrawlSession session(context);
  session.Toggle();
  ASSERT_TRUE(crawl.waitUntil([&] { return ReportedIds(sim).size() >= 2; }));
  // Each report came after its marker, not when the wait gave up on a file still arriving.
  for (const auto& id : ReportedIds(sim)) EXPECT_TRUE(HistoryHolds(Utf8ToGbk(id))) << id;
  // Nor does the log call such a download done.
  EXPECT_TRUE(AnyStartsWith(crawl.allLogLines(), "下载仍在后台进行，开始下一个。"));
  session.Toggle();
  session.worker().Join();
  crawl.downloads().waitAll();
}

// The downloads' owner takes down what their ends call (the catalogue, the window) right after
// the downloads: an end still calling out when they go has returned by then, and a later end
// calls nothing.
TEST(LateDownloadEnd, AnEndCallingOutIsDoneBeforeTheDownloadsAreGone) {
  SimProcess sim;
  ASSERT_TRUE(sim.started());
  auto owned = std::make_unique<std::atomic<int>>(0);  // stands for the catalogue
  std::promise<void> entered;
  // A subscriber still busy with the end when the downloads go.
  struct SlowSubscriber : DownloadSubscriber {
    std::promise<void>* entered;
    std::atomic<int>* catalogue;
    void onEnd(const DownloadEnd&) override {
      entered->set_value();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      catalogue->fetch_add(1);
    }
  } slow;
  slow.entered = &entered;
  slow.catalogue = owned.get();
  {
    RangedDownloader downloader;
    VideoDownloads downloads(downloader);
    const VideoDownloads::Subscription subscription = downloads.subscribe(slow);
    VideoRecord video;
    video.url = "https://" + sim.address("platform") + "/bench/30000.mp4";
    video.docid = "V_a";
    DownloadRequest request;
    request.video = video;
    request.place = VideoPlace{Path(sim.runDir() + "/video"), {}, Path("a.mp4")};
    downloads.start(request);
    entered.get_future().wait();
  }
  owned.reset();
  EXPECT_TRUE(HistoryHolds("V_a"));
}

}  // namespace
}  // namespace pelvaro::e2e
