// The data contribution against the simulator: what a pass reports, as the collection service
// saw it in its journal, and how a stop ends it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "collector/collection_service.h"
#include "collector/contribute_session.h"
#include "collector/contribute_worker.h"
#include "collector/history.h"
#include "collector/platform_api.h"
#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "support/refused_port.h"
#include "support/sim_process.h"
#include "toolkit/encoding.h"
#include "web/web_request.h"

namespace pelvaro::e2e {
namespace {

constexpr ContributeTiming kQuick{std::chrono::milliseconds(1), std::chrono::milliseconds(1)};
constexpr ContributeTiming kEndless{std::chrono::hours(1), std::chrono::hours(1)};

struct Entry {
  std::string docid;
  std::string category;  // UTF-8
};

class Counter : public ContributeObserver {
 public:
  void onReported(const Text&, const Text&, const Text&) override {
    if (++reports == stopAfter && stop) stop();
  }
  void onInHistory(const Text&) override { ++inHistory; }
  void onPassDone(int) override { ++passes; }

  std::atomic<int> reports{0}, inHistory{0}, passes{0};
  int stopAfter = 0;
  std::function<void()> stop;
};

// Waits until condition holds; false after a generous minute (a hang guard, not a timing check).
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class ContributeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.started());
    seed_ = QueryCollectionService(Gbk("所有类目"));
    ASSERT_FALSE(seed_.empty());
  }

  // The related videos of a docid as the platform lists them, read from its raw UTF-8 answer.
  std::vector<Entry> Related(const std::string& docid) {
    WebRequestOptions options;
    WebResult result;
    WebRequest(RelatedVideosUrl(docid), options, result);
    std::vector<Entry> entries;
    const auto answer = nlohmann::json::parse(result.body, nullptr, false);
    if (answer.is_discarded()) return entries;
    for (const auto& video : answer.value("recommend_video", nlohmann::json::array())) {
      entries.push_back({video.value("docid", ""), video.value("category", "")});
    }
    return entries;
  }

  std::vector<nlohmann::json> Events(const std::string& event) {
    std::vector<nlohmann::json> found;
    for (auto& line : sim_.journal()) {
      if (line.value("service", "") == "vendor_api" && line.value("event", "") == event)
        found.push_back(line);
    }
    return found;
  }

  std::vector<std::string> RelatedTargets() {
    std::vector<std::string> targets;
    for (const auto& r : sim_.requests("platform")) {
      const auto target = r["target"].get<std::string>();
      if (target.starts_with("/home/q/getrelatedvideoall")) targets.push_back(target);
    }
    return targets;
  }

  // Runs one pass the way the worker's thread does.
  bool PassOnWorker(ContributeTiming timing, ContributeObserver* observer = nullptr) {
    bool result = false;
    Worker worker;
    worker.Start([&] { result = ContributeWorker(*form_, timing, observer).Pass(); });
    worker.Join();
    return result;
  }

  static std::string RelatedTarget(const std::string& docid) {
    return "/home/q/getrelatedvideoall?docid=" + docid + "&count=50&s=&column=b";
  }

  SimProcess sim_;
  Text seed_;
  std::unique_ptr<MemoryForm> form_ = MemoryForm::MainWindow();
};

TEST_F(ContributeTest, PassReportsEveryUnseenRelatedVideoAndWalksOnFromTheLast) {
  const auto related = Related(seed_);
  ASSERT_GE(related.size(), 3u);
  const auto requestsBefore = sim_.requests("vendor_api").size();
  // One in the middle and the last entry are in the history: not reported, but the last one
  // still becomes the next seed.
  RecordHistory(related[1].docid);
  RecordHistory(related.back().docid);
  form_->setText(mw::kSeedLink, " " + ArticleLink(seed_) + "&s=13&appid=pelvaro&ver=5.3.9.3");

  Counter counter;
  ASSERT_TRUE(PassOnWorker(kQuick, &counter));

  const auto targets = RelatedTargets();
  ASSERT_GE(targets.size(), 1u);
  EXPECT_EQ(targets.back(), RelatedTarget(seed_));

  std::vector<Entry> expected = related;
  expected.erase(expected.end() - 1);
  expected.erase(expected.begin() + 1);
  const auto reports = Events("report");
  auto requests = sim_.requests("vendor_api");
  requests.erase(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(requestsBefore));
  ASSERT_EQ(reports.size(), expected.size());
  ASSERT_EQ(requests.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(reports[i]["id"], expected[i].docid);
    EXPECT_EQ(reports[i]["category"], expected[i].category);
    EXPECT_EQ(reports[i]["del"], "");
    // Every GBK byte of the category encoded, the id as it is, an empty del, and the
    // signature line as the one extra header.
    EXPECT_EQ(requests[i]["target"], "/pelvaro?leimu=" + PercentEncode(Utf8ToGbk(expected[i].category)) +
                                         "&id=" + expected[i].docid + "&del=");
    int signatureLines = 0;
    for (const auto& header : requests[i]["headers"]) {
      std::string line = header.get<std::string>();
      std::transform(line.begin(), line.begin() + std::min<std::size_t>(line.size(), 5), line.begin(),
                     [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
      if (line.starts_with("sign:") && line.find('@') != std::string::npos) ++signatureLines;
    }
    EXPECT_EQ(signatureLines, 1);
  }
  EXPECT_EQ(counter.reports, static_cast<int>(expected.size()));
  EXPECT_EQ(counter.inHistory, 2);
  EXPECT_EQ(counter.passes, 1);
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("收录成功：") + expected.back().docid);
  EXPECT_EQ(form_->text(mw::kSeedLink), ArticleLink(related.back().docid));
  EXPECT_EQ(form_->text(mw::kLog), "");

  // The next pass starts from the last entry.
  ASSERT_TRUE(PassOnWorker(kQuick));
  EXPECT_EQ(RelatedTargets().back(), RelatedTarget(related.back().docid));
  const auto next = Related(related.back().docid);
  ASSERT_FALSE(next.empty());
  EXPECT_EQ(form_->text(mw::kSeedLink), ArticleLink(next.back().docid));
}

// A pass that yields no next seed reports nothing and keeps the user's link, so the article the
// user pasted is asked again rather than lost.
TEST_F(ContributeTest, PassWithoutEntriesKeepsTheSeedLink) {
  RefusedPort refused;
  const struct {
    const char* name;
    Text link;
    bool platformDown;
  } cases[] = {
      {"no article marker", "https://example.invalid/watch?v=1", false},
      {"no question mark after it", "https://example.invalid/article/" + seed_, false},
      {"unknown article", ArticleLink("V_no_such_article"), false},
      {"platform refused", ArticleLink(seed_), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.platformDown) setenv("PELVARO_PLATFORM_WEB_HOST", refused.address().c_str(), 1);
    form_->setText(mw::kSeedLink, c.link);
    ASSERT_TRUE(PassOnWorker(kQuick));
    EXPECT_EQ(form_->text(mw::kSeedLink), c.link);
    EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("提示"));
    EXPECT_TRUE(Events("report").empty());
  }
}

// After a pass without entries the worker waits before asking again instead of asking the
// platform for the same nothing as fast as it answers.
TEST_F(ContributeTest, EmptyPassWaitsBeforeTheNextRequest) {
  const Text link = "https://example.invalid/watch?v=1";
  form_->setText(mw::kSeedLink, link);
  Counter counter;
  ContributeSession session(*form_, ContributeTiming{std::chrono::milliseconds(1), std::chrono::hours(1)},
                            &counter);
  session.Toggle();
  ASSERT_TRUE(WaitUntil([&] { return counter.passes == 1; }));
  // Room for a worker that does not wait to show itself; a waiting one stays quiet however long.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session.Toggle();
  session.worker().Join();
  EXPECT_EQ(counter.passes, 1);
  EXPECT_EQ(RelatedTargets().size(), 1u);
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
}

TEST_F(ContributeTest, ToggleStopsAWaitingPassAtOnceAndLeavesTheWindowAsItWas) {
  const Text link = ArticleLink(seed_);
  form_->setText(mw::kSeedLink, link);
  ContributeSession session(*form_, kEndless);
  EXPECT_FALSE(session.running());

  session.Toggle();
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("停止"));
  EXPECT_TRUE(session.running());
  // The crawl's toggle is a different one.
  EXPECT_EQ(form_->text(mw::kCrawlButton), Gbk("开始"));
  ASSERT_TRUE(WaitUntil([&] { return RelatedTargets().size() == 1; }));

  session.Toggle();
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("共建大数据"));
  EXPECT_FALSE(session.running());
  session.worker().Join();  // returns only because the hour-long pause ended with the stop

  EXPECT_TRUE(Events("report").empty());
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("提示"));
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
  EXPECT_EQ(RelatedTargets().size(), 1u);

  // A caption that is neither state starts nothing.
  form_->setText(mw::kContributeButton, "x");
  session.Toggle();
  EXPECT_FALSE(session.worker().Running());
}

TEST_F(ContributeTest, StopBetweenReportsSendsNothingMoreAndKeepsTheLabelsLastText) {
  const Text link = ArticleLink(seed_);
  form_->setText(mw::kSeedLink, link);
  Counter counter;
  ContributeSession session(*form_, kQuick, &counter);
  counter.stopAfter = 3;
  counter.stop = [&session] { session.Toggle(); };

  session.Toggle();
  ASSERT_TRUE(WaitUntil([&] { return !session.worker().Running(); }));

  const auto reports = Events("report");
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("收录成功：") + reports[2]["id"].get<std::string>());
  // The pass was cut short: the seed link is not rewritten.
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
  EXPECT_EQ(counter.passes, 0);
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("共建大数据"));
}

// pelvaro-cli --contribute: the same job in a terminal, ended by a number of reports or Ctrl-C.
TEST_F(ContributeTest, TerminalRunStopsAfterTheAskedNumberOfReports) {
  auto run = [&](std::vector<std::string> flags, bool interrupt) {
    const std::size_t reportsBefore = Events("report").size();
    std::vector<std::string> arguments = {"--contribute", "--seed-link", ArticleLink(seed_)};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    CliRun cli(sim_.runDir(), arguments);
    if (interrupt) {
      EXPECT_TRUE(WaitUntil([&] { return Events("report").size() > reportsBefore; }));
      cli.interrupt();
    }
    const int status = cli.wait();
    const std::string out = cli.out();
    return std::make_pair(status, out.substr(0, out.find('\n')));
  };

  const auto [limited, summary] = run({"--max-videos", "2"}, false);
  EXPECT_EQ(limited, 0);
  EXPECT_TRUE(summary.starts_with("summary reported=2 in_history=0 passes=0 seconds=")) << summary;
  EXPECT_EQ(Events("report").size(), 2u);

  const auto [interrupted, ignored] = run({}, true);
  EXPECT_EQ(interrupted, 130);
}

}  // namespace
}  // namespace pelvaro::e2e
