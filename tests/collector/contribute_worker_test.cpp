#include "collector/contribute_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <thread>

#include "collector/contribute_session.h"
#include "collector/platform_api.h"
#include "collector/sim_fixture.h"
#include "collector/storage.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "toolkit/encoding.h"

namespace pelvaro {
namespace {

namespace mw = main_window;
using testing::RefusedPort;
using testing::SimFixture;

constexpr ContributeTiming kQuick{std::chrono::milliseconds(1), std::chrono::milliseconds(1)};
constexpr ContributeTiming kEndlessEntryPause{std::chrono::hours(1), std::chrono::hours(1)};

// Runs one pass the way the worker's thread does, and returns its result.
bool PassOnWorker(Form& form, ContributeTiming timing, ContributeObserver* observer = nullptr) {
  bool result = false;
  Worker worker;
  worker.Start([&] { result = ContributeWorker(form, timing, observer).Pass(); });
  worker.Join();
  return result;
}

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

class ContributeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.started()); }

  // A seed article with a full related list, and that list.
  std::size_t Seed() {
    for (std::size_t i = 0;; ++i) {
      if (sim_.graph().Related(i).size() >= 10) return i;
    }
  }
  std::string Docid(std::size_t index) { return sim_.graph().DocidAt(index); }
  std::vector<nlohmann::json> RelatedRequests() {
    std::vector<nlohmann::json> found;
    for (auto& r : sim_.requests("platform")) {
      if (r["target"].get<std::string>().starts_with("/home/q/getrelatedvideoall")) found.push_back(r);
    }
    return found;
  }

  SimFixture sim_;
  std::unique_ptr<MemoryForm> form_ = MemoryForm::MainWindow();
};

TEST_F(ContributeTest, PassReportsEveryUnseenRelatedVideoAndWalksOnFromTheLast) {
  const std::size_t seed = Seed();
  const auto related = sim_.graph().Related(seed);
  // One in the middle and the last entry are in the history: not reported, but the last one
  // still becomes the next seed.
  RecordHistory(Docid(related[1]));
  RecordHistory(Docid(related.back()));
  form_->setText(mw::kSeedLink, " " + ArticleLink(Docid(seed)) + "&s=13&appid=pelvaro&ver=5.3.9.3");

  Counter counter;
  ASSERT_TRUE(PassOnWorker(*form_, kQuick, &counter));

  const auto related_requests = RelatedRequests();
  ASSERT_EQ(related_requests.size(), 1u);
  EXPECT_EQ(related_requests[0]["target"],
            "/home/q/getrelatedvideoall?docid=" + Docid(seed) + "&count=50&s=&column=b");

  std::vector<std::size_t> expected;
  for (std::size_t k = 0; k < related.size(); ++k) {
    if (k != 1 && k + 1 != related.size()) expected.push_back(related[k]);
  }
  const auto reports = sim_.events("vendor_api", "report");
  const auto report_requests = sim_.requests("vendor_api");
  ASSERT_EQ(reports.size(), expected.size());
  ASSERT_EQ(report_requests.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const sim::Article article = sim_.graph().ArticleAt(expected[i]);
    EXPECT_EQ(reports[i]["id"], article.docid);
    EXPECT_EQ(reports[i]["category"], article.category);
    EXPECT_EQ(reports[i]["del"], "");
    // The exact request: every GBK byte of the category encoded, the id as it is, empty del,
    // and the signature line as the one extra header.
    EXPECT_EQ(report_requests[i]["target"], "/pelvaro?leimu=" + PercentEncode(Utf8ToGbk(article.category)) +
                                                "&id=" + article.docid + "&del=");
    bool signed_line = false;
    for (const auto& header : report_requests[i]["headers"]) {
      std::string line = header.get<std::string>();
      std::transform(line.begin(), line.begin() + std::min<std::size_t>(line.size(), 5), line.begin(),
                     ::tolower);
      signed_line = signed_line || (line.starts_with("sign:") && line.find('@') != std::string::npos);
    }
    EXPECT_TRUE(signed_line);
  }
  EXPECT_EQ(counter.reports, static_cast<int>(expected.size()));
  EXPECT_EQ(counter.inHistory, 2);
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("收录成功：") + Docid(expected.back()));
  EXPECT_EQ(form_->text(mw::kSeedLink), ArticleLink(Docid(related.back())));
  EXPECT_EQ(form_->text(mw::kLog), "");

  // The next pass starts from the last entry; a video reported before gets the service's
  // second answer, shown as it is.
  ASSERT_TRUE(PassOnWorker(*form_, kQuick, &counter));
  ASSERT_EQ(RelatedRequests().size(), 2u);
  EXPECT_EQ(RelatedRequests()[1]["target"],
            "/home/q/getrelatedvideoall?docid=" + Docid(related.back()) + "&count=50&s=&column=b");
  EXPECT_EQ(form_->text(mw::kSeedLink), ArticleLink(Docid(sim_.graph().Related(related.back()).back())));
}

// A pass that yields no next seed reports nothing and keeps the user's link, so the article
// the user pasted is asked again rather than lost.
TEST_F(ContributeTest, PassWithoutEntriesKeepsTheSeedLink) {
  RefusedPort refused;
  const struct {
    const char* name;
    Text link;
    bool platformDown;
  } cases[] = {
      {"no article marker", "https://example.invalid/watch?v=1", false},
      {"no question mark after it", "https://example.invalid/article/" + Docid(Seed()), false},
      {"unknown article", ArticleLink("V_no_such_article"), false},
      {"platform refused", ArticleLink(Docid(Seed())), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.platformDown) setenv("PELVARO_PLATFORM_WEB_HOST", refused.address().c_str(), 1);
    form_->setText(mw::kSeedLink, c.link);
    ASSERT_TRUE(PassOnWorker(*form_, kQuick));
    EXPECT_EQ(form_->text(mw::kSeedLink), c.link);
    EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("提示"));
    EXPECT_TRUE(sim_.events("vendor_api", "report").empty());
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
  ASSERT_TRUE(SimFixture::WaitUntil([&] { return counter.passes == 1; }));
  // Room for a worker that does not wait to show itself; a waiting one stays quiet however long.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session.Toggle();
  session.worker().Join();
  EXPECT_EQ(counter.passes, 1);
  EXPECT_EQ(RelatedRequests().size(), 1u);
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
}

TEST_F(ContributeTest, ToggleStopsAWaitingPassAtOnceAndLeavesTheWindowAsItWas) {
  const Text link = ArticleLink(Docid(Seed()));
  form_->setText(mw::kSeedLink, link);
  ContributeSession session(*form_, kEndlessEntryPause);
  EXPECT_FALSE(session.running());

  session.Toggle();
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("停止"));
  EXPECT_TRUE(session.running());
  // The crawl's toggle is a different one.
  EXPECT_EQ(form_->text(mw::kCrawlButton), Gbk("开始"));
  ASSERT_TRUE(SimFixture::WaitUntil([&] { return RelatedRequests().size() == 1; }));

  session.Toggle();
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("共建大数据"));
  EXPECT_FALSE(session.running());
  session.worker().Join();  // returns only because the hour-long pause ended with the stop

  EXPECT_TRUE(sim_.events("vendor_api", "report").empty());
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("提示"));
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
  EXPECT_EQ(RelatedRequests().size(), 1u);

  // A caption that is neither state starts nothing.
  form_->setText(mw::kContributeButton, "x");
  session.Toggle();
  EXPECT_FALSE(session.worker().Running());
}

TEST_F(ContributeTest, StopBetweenReportsSendsNothingMoreAndKeepsTheLabelsLastText) {
  const Text link = ArticleLink(Docid(Seed()));
  form_->setText(mw::kSeedLink, link);
  Counter counter;
  ContributeSession session(*form_, kQuick, &counter);
  counter.stopAfter = 3;
  counter.stop = [&session] { session.Toggle(); };

  session.Toggle();
  ASSERT_TRUE(SimFixture::WaitUntil([&] { return !session.worker().Running(); }));

  const auto reports = sim_.events("vendor_api", "report");
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(form_->text(mw::kContributeStatus), Gbk("收录成功：") + reports[2]["id"].get<std::string>());
  // The pass was cut short: the seed link is not rewritten.
  EXPECT_EQ(form_->text(mw::kSeedLink), link);
  EXPECT_EQ(counter.passes, 0);
  EXPECT_EQ(form_->text(mw::kContributeButton), Gbk("共建大数据"));
}

}  // namespace
}  // namespace pelvaro
