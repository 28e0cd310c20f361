// The storage guards pause and resume; a stop lands at once wherever the crawl is, and nothing
// comes from it afterwards except the end of a download it had already started.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "collector/crawl_session.h"
#include "collector/history.h"
#include "e2e/crawl_harness.h"
#include "e2e/e2e_names.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

const std::string kTooMany = "成品文件夹视频数量超过上限，暂停下载，15秒后继续检测";
const std::string kLowSpace = "磁盘空间不足，暂停下载，暂停15秒后继续检测";

// Everything the crawl has shown or sent so far.
struct Snapshot {
  std::vector<std::string> lines;
  std::vector<std::vector<std::string>> rows;
  int rowCount = 0;
  std::size_t requests = 0;  // other than video ranges

  static Snapshot Take(CrawlHarness& crawl, const SimProcess& sim) {
    Snapshot s;
    s.lines = crawl.allLogLines();
    s.rows = crawl.rows();
    s.rowCount = crawl.form().rowCount(mw::kVideoList);
    for (const auto& r : sim.journal()) {
      if (r.contains("method") && r.value("target", "").rfind("/video/", 0) != 0) ++s.requests;
    }
    return s;
  }
  bool operator==(const Snapshot&) const = default;
};

TEST(StorageGuards, PauseWhileTheConditionHoldsAndResumeByThemselves) {
  struct Case {
    const char* name;
    std::string_view control;
    const char* pausing;
    const std::string& line;
  } cases[] = {
      {"file count", mw::kMaxFiles, "0", kTooMany},
      {"free space", mw::kMinFreeMb, "999999999999", kLowSpace},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimProcess sim({"--size-scale", "0.01"});
    ASSERT_TRUE(sim.started());
    CrawlHarness crawl;
    // One finished video in a category folder: it counts against the limit too.
    fs::create_directories(crawl.outputFolder() + "/娱乐");
    ASSERT_TRUE(CreateEmptyFile(Path(crawl.outputFolder() + "/娱乐/x.mp4")));
    crawl.set(c.control, c.pausing);
    crawl.session().Toggle();
    ASSERT_TRUE(crawl.waitUntil([&] { return Count(crawl.allLogLines(), c.line) >= 3; }));
    EXPECT_EQ(Count(crawl.allLogLines(), "1"), 0u);  // no entry was handled
    crawl.set(c.control, c.control == mw::kMaxFiles ? "100000" : "0");
    ASSERT_TRUE(crawl.waitUntil([&] { return Count(crawl.allLogLines(), "2") >= 1; }));
    crawl.session().Toggle();
    crawl.session().worker().Join();
  }
}

TEST(Stop, DuringAGuardPauseOrTheWaitBetweenPassesNothingFollows) {
  for (const bool inGuard : {true, false}) {
    SCOPED_TRACE(inGuard ? "guard pause" : "wait between passes");
    SimProcess sim({"--size-scale", "0.01"});
    ASSERT_TRUE(sim.started());
    CrawlHarness crawl;
    CrawlContext context = crawl.context();
    context.timing.guardWait = std::chrono::hours(1);
    context.timing.passWait = std::chrono::hours(1);
    CrawlSession session(context);
    if (inGuard) {
      crawl.set(mw::kMinFreeMb, "999999999999");
    } else {
      crawl.set(mw::kHours, "0");  // a quick pass: every entry rejected
    }
    const std::string awaited = inGuard ? kLowSpace : "5秒后执行下一个数据";
    session.Toggle();
    ASSERT_TRUE(crawl.waitUntil([&] { return Count(crawl.allLogLines(), awaited) == 1; }));
    const Snapshot before = Snapshot::Take(crawl, sim);
    session.Toggle();
    EXPECT_EQ(crawl.form().text(mw::kCrawlButton), Gbk("开始"));
    session.worker().Join();  // returns at once: the hour-long wait was cut short
    crawl.downloads().waitAll();
    EXPECT_EQ(Snapshot::Take(crawl, sim), before);
  }
}

TEST(Stop, DuringADownloadTheDownloadStillEndsWholeAndMarked) {
  // 0.05 of the declared sizes at 200 KB/s per connection: each video takes a while.
  SimProcess sim({"--size-scale", "0.05", "--rate-limit", "200000"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  crawl.session().Toggle();
  std::vector<std::string> row;
  ASSERT_TRUE(crawl.waitUntil([&] {
    for (const auto& r : crawl.rows()) {
      const std::string& status = r[mw::kColDownload];
      if (!status.empty() && status.back() == '%' && status != "100%") {
        row = r;
        return true;
      }
    }
    return false;
  }));
  const Snapshot before = Snapshot::Take(crawl, sim);
  crawl.session().Toggle();
  crawl.session().worker().Join();
  const std::string docid = row[mw::kColDocid];
  crawl.downloads().waitAll();
  EXPECT_EQ(Snapshot::Take(crawl, sim), before);
  // The download the crawl had started went on to its end: renamed and marked.
  EXPECT_TRUE(HistoryHolds(Utf8ToGbk(docid)));
  bool found = false;
  for (const auto& file : FilesBelow(crawl.outputFolder())) {
    EXPECT_FALSE(file.ends_with(".pelvaro-part")) << file;
    found = found || fs::path(file).filename() == row[mw::kColTitle] + ".mp4";
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace pelvaro::e2e
