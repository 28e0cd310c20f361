#include "collector/video_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelvaro {
namespace {

// The crawl's own report of the video, if it makes one: before its download's end reaches the
// reporter (the two race), after it, or never (a stop or a limit came first).
enum class CrawlReport { None, BeforeTheEnd, AfterTheEnd };

TEST(VideoReporter, ReportsEachTakenVideoOnceWhoeverSeesItsEndFirst) {
  struct Case {
    const char* name;
    DownloadState state;
    EndWitness witness;
    CrawlReport crawl;
    int sentBeforeTheRunEnds;
    int sentAtTheRunsEnd;
  } cases[] = {
      {"awaited, reported by the crawl", DownloadState::Complete, EndWitness::Crawl, CrawlReport::AfterTheEnd,
       1, 0},
      {"awaited, the crawl's report came first", DownloadState::Complete, EndWitness::Crawl,
       CrawlReport::BeforeTheEnd, 1, 0},
      {"awaited, the crawl stopped before its report", DownloadState::Complete, EndWitness::Crawl,
       CrawlReport::None, 0, 1},
      {"ended in the background", DownloadState::Complete, EndWitness::Background, CrawlReport::None, 1, 0},
      {"ended after its crawl stopped", DownloadState::Complete, EndWitness::NoCrawl, CrawlReport::None, 0,
       1},
      {"failed in the background", DownloadState::Failed, EndWitness::Background, CrawlReport::None, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> sent;
    VideoReporter reporter(
        [&sent](const Text& category, const Text& docid) { sent.push_back(category + "/" + docid); });
    DownloadEnd end;
    end.docid = end.video.docid = "V1";
    end.video.category = "C";
    end.state = c.state;
    end.witness = c.witness;
    if (c.crawl == CrawlReport::BeforeTheEnd) reporter.reportTaken(end.video);
    reporter.onEnd(end);
    if (c.crawl == CrawlReport::AfterTheEnd) reporter.reportTaken(end.video);
    EXPECT_EQ(static_cast<int>(sent.size()), c.sentBeforeTheRunEnds) << c.name;
    std::vector<Text> told;
    reporter.reportOwed([&told](const Text& docid) { told.push_back(docid); });
    EXPECT_EQ(static_cast<int>(told.size()), c.sentAtTheRunsEnd) << c.name;
    EXPECT_EQ(static_cast<int>(sent.size()), c.sentBeforeTheRunEnds + c.sentAtTheRunsEnd) << c.name;
    for (const auto& one : sent) EXPECT_EQ(one, "C/V1") << c.name;
    reporter.reportOwed();
    EXPECT_EQ(static_cast<int>(sent.size()), c.sentBeforeTheRunEnds + c.sentAtTheRunsEnd)
        << c.name << ": once";
  }
}

}  // namespace
}  // namespace pelvaro
