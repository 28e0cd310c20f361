// The crawl against the simulator: what it logs, takes, skips, writes and sends.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "collector/collection_service.h"
#include "collector/platform_api.h"
#include "collector/history.h"
#include "collector/output_layout.h"
#include "collector/video_filter.h"
#include "collector/video_record.h"
#include "e2e/crawl_harness.h"
#include "e2e/e2e_names.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "sim/video_content.h"
#include "support/refused_port.h"
#include "support/sim_process.h"
#include "toolkit/encoding.h"
#include "toolkit/json_document.h"

namespace pelvaro::e2e {
namespace {

// Small files so that a pass takes moments.
const std::vector<std::string> kSmall = {"--size-scale", "0.01"};

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// The entries of the related-videos answer for a seed, as the crawl reads them.
std::vector<VideoRecord> Answer(const std::string& seed) {
  JsonDocument document;
  document.parseUtf8(AskRelatedVideos(Utf8ToGbk(seed)).utf8);
  std::vector<VideoRecord> records;
  for (int k = 0; k < document.countAt("recommend_video"); ++k)
    records.push_back(ReadVideoRecord(document, k));
  return records;
}

// Whether the file holds exactly the bytes the simulator serves for the video's url.
bool HoldsServedBytes(const std::string& path, const std::string& url) {
  const auto at = url.find("/video/");
  if (at == std::string::npos) return false;
  const auto slash = url.find('/', at + 7);
  const std::string docid = url.substr(at + 7, slash - at - 7);
  const int variant = url[slash + 1] - '0';
  const auto content = ReadWholeFile(Path(path));
  return content &&
         *content == sim::VideoContent::Bytes(sim::VideoContent::KeyFor(docid, variant), 0, content->size());
}

bool Complete(const std::vector<std::string>& row) { return row[mw::kColDownload] == "100%"; }

std::string Marker(const std::string& docid) { return HistoryMarkerPath(Utf8ToGbk(docid)).bytes(); }

std::vector<std::string> VideoTargets(const SimProcess& sim) {
  std::vector<std::string> targets;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/video/", 0) == 0 && r.value("method", "") == "GET") targets.push_back(target);
  }
  return targets;
}

TEST(Crawl, AnAnswerWithoutEntriesLogsZeroAndAnEmptyLine) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  EXPECT_TRUE(crawl.runPass("V_nosuchdoc").empty());
  EXPECT_EQ(crawl.log(), (std::vector<std::string>{"读取到数据：0", "", "【操作完成】"}));
  EXPECT_TRUE(crawl.rows().empty());
}

TEST(Crawl, TakesVideosIntoEitherLayoutAndASecondPassTakesNothingNew) {
  for (const bool categoryFolders : {false, true}) {
    SCOPED_TRACE(categoryFolders ? "category folders" : "flat");
    SimProcess sim(kSmall);
    ASSERT_TRUE(sim.started());
    CrawlHarness crawl;
    crawl.form().setChecked(mw::kNoSubfolders, !categoryFolders);
    const std::string seed = SeedFromService();
    const auto answer = Answer(seed);
    ASSERT_FALSE(answer.empty());

    const auto seeds = crawl.runPass(seed);
    // Every docid of the answer is queued, in order, whatever became of its video.
    std::vector<std::string> docids;
    for (const auto& r : answer) docids.push_back(GbkToUtf8(r.docid));
    EXPECT_EQ(seeds, docids);

    const auto rows = crawl.rows();
    std::set<std::string> expectedFiles;
    int complete = 0;
    for (const auto& row : rows) {
      if (!Complete(row)) continue;
      ++complete;
      VideoRecord record;
      record.category = Utf8ToGbk(row[mw::kColCategory]);
      record.width = row[mw::kColWidth];
      record.height = row[mw::kColHeight];
      const Path folder = TargetFolder(Path(crawl.outputFolder()), !categoryFolders, record);
      const std::string path = JoinPath(folder, VideoFileName(row[mw::kColTitle])).bytes();
      expectedFiles.insert(fs::relative(path, crawl.outputFolder()).string());
      // The whole file, as large as the answer said.
      const auto bytes = std::llround(std::stod(row[mw::kColSizeMb]) * 1048576.0);
      EXPECT_EQ(static_cast<long long>(fs::file_size(path)), bytes) << path;
      EXPECT_TRUE(HoldsServedBytes(path, row[mw::kColUrl])) << path;
      EXPECT_TRUE(fs::exists(Marker(row[mw::kColDocid]))) << row[mw::kColDocid];
      if (!categoryFolders) {
        EXPECT_EQ(fs::path(path).parent_path().filename() == "竖屏",
                  std::stoi(row[mw::kColWidth]) < std::stoi(row[mw::kColHeight]));
      }
    }
    ASSERT_GT(complete, 0);
    // A percentage travels with its fraction, for a window that draws the cell as a bar.
    MemoryForm& form = crawl.form();
    for (int i = 0; i < form.rowCount(mw::kVideoList); ++i) {
      const RowHandle row = form.rowAt(mw::kVideoList, i);
      if (form.cell(mw::kVideoList, row, mw::kColDownload) == "100%") {
        EXPECT_EQ(form.cellFraction(mw::kVideoList, row, mw::kColDownload), 1.0);
      }
    }
    const auto files = FilesBelow(crawl.outputFolder());
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), expectedFiles);
    EXPECT_EQ(Count(crawl.log(), "任务完成，开始下一个。"), static_cast<std::size_t>(complete));
    EXPECT_EQ(VideoTargets(sim).empty(), false);

    // Second pass over the same seed: every taken video is in the history, nothing is fetched.
    const auto before = VideoTargets(sim).size();
    EXPECT_EQ(crawl.runPass(seed), docids);
    EXPECT_EQ(VideoTargets(sim).size(), before);
    EXPECT_EQ(Count(crawl.log(), "已存在，"), static_cast<std::size_t>(complete));
    EXPECT_EQ(FilesBelow(crawl.outputFolder()), files);
  }
}

TEST(Crawl, RejectedVideosAreQueuedAndTheirRowsRemoved) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  crawl.set(mw::kHours, "0");  // every video is at least an hour old
  const std::string seed = SeedFromService();
  const auto answer = Answer(seed);
  const auto seeds = crawl.runPass(seed);
  EXPECT_EQ(seeds.size(), answer.size());
  EXPECT_EQ(Count(crawl.log(), "日期不符"), answer.size());
  EXPECT_EQ(crawl.form().rowCount(mw::kVideoList), 0);
  EXPECT_TRUE(VideoTargets(sim).empty());
  EXPECT_TRUE(FilesBelow(crawl.outputFolder()).empty());

  // A category nobody has: every video fails the first rule instead.
  crawl.form().addItem(mw::kCategoryBox, Gbk("没有的类目"));
  crawl.form().setCurrentIndex(mw::kCategoryBox, 1);
  crawl.runPass(seed);
  EXPECT_EQ(Count(crawl.log(), "不符要求"), answer.size());
}

TEST(Crawl, AnExistingFileIsNeitherOverwrittenNorMarked) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  const std::string seed = SeedFromService();
  const auto answer = Answer(seed);
  // The first entry with a title whose date can be read and that is landscape.
  const VideoRecord* chosen = nullptr;
  for (const auto& r : answer) {
    if (!r.title.empty() && ReadLocalDateTime(r.date) && !IsPortrait(r)) {
      chosen = &r;
      break;
    }
  }
  ASSERT_NE(chosen, nullptr);
  const Path path = JoinPath(Path(crawl.outputFolder()), VideoFileName(chosen->titleUtf8));
  ASSERT_TRUE(CreateFolders(Path(crawl.outputFolder())));
  ASSERT_TRUE(WriteFileAtomically(path, "mine"));
  crawl.runPass(seed);
  EXPECT_GE(Count(crawl.log(), "视频已存在放弃，"), 1u);
  EXPECT_EQ(ReadWholeFile(path), "mine");
  EXPECT_FALSE(HistoryHolds(chosen->docid));
}

TEST(Crawl, AVideoWithoutSummaryIsNamedAfterItsArticlePage) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  // Passes until an entry without summary was taken.
  std::set<std::string> untitled;
  for (int pass = 0; pass < 20 && untitled.empty(); ++pass) {
    const std::string seed = SeedFromService();
    for (const auto& r : Answer(seed)) {
      if (r.title.empty()) untitled.insert(GbkToUtf8(r.docid));
    }
    if (!untitled.empty()) crawl.runPass(seed);
  }
  ASSERT_FALSE(untitled.empty());
  int checked = 0;
  for (const auto& row : crawl.rows()) {
    if (!untitled.count(row[mw::kColDocid]) || !Complete(row)) continue;
    const Text page = FetchArticlePage(Utf8ToGbk(row[mw::kColDocid]));
    EXPECT_EQ(row[mw::kColTitle], ArticlePageTitle(page).utf8);
    EXPECT_TRUE(IsUtf8(row[mw::kColTitle])) << row[mw::kColTitle];
    EXPECT_FALSE(row[mw::kColTitle].empty());
    ++checked;
  }
  EXPECT_GT(checked, 0);
  std::set<std::string> pages;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/article/", 0) == 0) pages.insert(target);
  }
  for (const auto& docid : untitled) {
    EXPECT_TRUE(pages.count("/article/" + docid + "?title_sn=0")) << docid;
  }
}

TEST(Crawl, AFailedDownloadLeavesNoFileAndNoMarker) {
  // Every file is larger than the connection's 1000 bytes, however often it is asked again.
  SimProcess sim({"--size-scale", "0.05", "--drop-after", "1000"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  const std::string seed = SeedFromService();
  crawl.runPass(seed);
  int failed = 0;
  for (const auto& row : crawl.rows()) {
    if (row[mw::kColDownload] != "下载失败：连接被重置") continue;
    ++failed;
    EXPECT_FALSE(HistoryHolds(Utf8ToGbk(row[mw::kColDocid])));
  }
  EXPECT_GT(failed, 0);
  EXPECT_EQ(Count(crawl.log(), "下载失败：连接被重置"), static_cast<std::size_t>(failed));
  const auto lines = crawl.log();
  const auto retries = std::count_if(lines.begin(), lines.end(),
                                     [](const std::string& line) { return line.starts_with("重试：连接被重置"); });
  EXPECT_GE(retries, 4 * failed) << "each broken block is asked again, four times";
  EXPECT_EQ(Count(crawl.log(), "任务完成，开始下一个。"), 0u);
  EXPECT_TRUE(FilesBelow(crawl.outputFolder()).empty());
  // A failed video is not reported to the service as downloaded.
  for (const auto& r : sim.requests("vendor_api")) {
    EXPECT_NE(r.value("target", "").find("&id=&"), std::string::npos) << r.value("target", "");
  }
}

TEST(Crawl, HostileNamesWriteNothingOutsideTheOutputAndHistoryFolders) {
  SimProcess sim({"--size-scale", "0.01", "--hostile"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  crawl.form().setChecked(mw::kNoSubfolders, false);
  for (int pass = 0; pass < 3; ++pass) crawl.runPass(SeedFromService());
  const auto files = FilesBelow(sim.runDir());
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    EXPECT_TRUE(file.rfind("video/", 0) == 0 || file.rfind("pelvarolishi/", 0) == 0) << file;
    EXPECT_LE(fs::path(file).filename().string().size(), 255u);
  }
  // The data folder's parent holds only what the test put there.
  for (const auto& entry : fs::directory_iterator(fs::path(sim.runDir()).parent_path())) {
    const auto name = entry.path().filename().string();
    EXPECT_TRUE(name == "run" || name == "journal.jsonl" || name == "ports.json" || name == "cert.pem" ||
                name == "update-key.pub")
        << name;
  }
}

// Before a video's first byte: its folders are opened below the output folder without
// following a link (a portrait folder that is a link fails its videos, and nothing arrives
// where it points), and the server's own size, not the answer's claim, must be within the
// limits; no file is ever written beyond it.
TEST(Crawl, AVideoIsRefusedBeforeItsFirstByteForALinkedFolderOrTheServersSize) {
  SimProcess sim({"--size-scale", "0.2", "--answer-size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  crawl.set(mw::kMaxSize, "1");
  const std::string outside = sim.runDir() + "/outside";
  fs::create_directories(outside);
  fs::create_directories(crawl.outputFolder());
  fs::create_directory_symlink(outside, crawl.outputFolder() + "/竖屏");
  crawl.runPass(SeedFromService());
  std::size_t linked = 0;
  std::size_t tooLarge = 0;
  std::size_t taken = 0;
  for (const auto& row : crawl.rows()) {
    const std::string& outcome = row[mw::kColDownload];
    if (outcome.empty()) continue;
    const bool refused = outcome.starts_with("下载失败：");
    if (ReadLenientInt(row[mw::kColWidth]) < ReadLenientInt(row[mw::kColHeight])) {
      EXPECT_EQ(outcome, "下载失败：文件夹是符号链接") << row[mw::kColDocid];
      ++linked;
    } else if (outcome.starts_with("下载失败：文件大小超出限制：")) {
      ++tooLarge;
    } else {
      taken += Complete(row);
    }
    if (refused) {
      EXPECT_FALSE(HistoryHolds(Utf8ToGbk(row[mw::kColDocid])));
    }
  }
  EXPECT_GT(linked, 0u);
  EXPECT_GT(tooLarge, 0u);
  EXPECT_GT(taken, 0u);
  EXPECT_TRUE(fs::is_empty(outside));
  for (const auto& file : FilesBelow(crawl.outputFolder())) {
    EXPECT_LE(fs::file_size(crawl.outputFolder() + "/" + file), 1048576u) << file;
  }
}

TEST(Crawl, CollectionServiceRequestsCarryTheEncodedCategoryAndTheSignLine) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  crawl.form().addItem(mw::kCategoryBox, Gbk("娱乐"));
  crawl.form().setCurrentIndex(mw::kCategoryBox, 1);
  crawl.session().Toggle();
  ASSERT_TRUE(crawl.waitUntil([&] {
    for (const auto& r : sim.requests("vendor_api")) {
      if (r.value("target", "").find("&id=&") == std::string::npos) return true;
    }
    return false;
  }));
  crawl.session().Toggle();
  crawl.session().worker().Join();

  const auto requests = sim.requests("vendor_api");
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].value("target", ""), "/pelvaro?leimu=%D3%E9%C0%D6&id=&del=");
  EXPECT_EQ(requests[0].value("method", ""), "GET");
  bool reported = false;
  for (const auto& r : requests) {
    const std::string target = r.value("target", "");
    int signLines = 0;
    for (const auto& header : r.at("headers")) {
      const std::string line = header.get<std::string>();
      // The request function writes header names capitalised.
      if (line.rfind("Sign:", 0) != 0) continue;
      ++signLines;
      const auto at = line.find('@');
      ASSERT_NE(at, std::string::npos);
      const std::string timestamp = line.substr(at + 1);
      EXPECT_EQ(timestamp.size(), 10u);
      EXPECT_EQ(line, "S" + SignLineFor(timestamp).substr(1));
    }
    EXPECT_EQ(signLines, 1) << target;
    if (target.find("&id=&") == std::string::npos) {
      // A report: the video's own category and its docid, unencoded.
      EXPECT_EQ(target.rfind("/pelvaro?leimu=%D3%E9%C0%D6&id=V_", 0), 0u) << target;
      EXPECT_EQ(target.substr(target.size() - 5), "&del=");
      reported = true;
    }
  }
  EXPECT_TRUE(reported);
}

TEST(Crawl, TheFirstSeedComesFromTheSeedLinkWhenTheServiceHasNone) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  const testing::RefusedPort refused;
  setenv("PELVARO_VENDOR_API_HOST", refused.address().c_str(), 1);
  CrawlHarness crawl;
  crawl.set(mw::kSeedLink, " https://example/article/V_fromLink?title_sn=0");
  crawl.session().Toggle();
  ASSERT_TRUE(crawl.waitUntil([&] { return Count(crawl.allLogLines(), "5秒后执行下一个数据") >= 2; }));
  crawl.session().Toggle();
  crawl.session().worker().Join();
  std::vector<std::string> docids;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    docids.push_back(target.substr(0, target.find('&')));
  }
  // The link's id first; then the service's empty seeds make passes with an empty docid.
  ASSERT_GE(docids.size(), 2u);
  EXPECT_EQ(docids[0], "/home/q/getrelatedvideoall?docid=V_fromLink");
  EXPECT_EQ(docids[1], "/home/q/getrelatedvideoall?docid=");
}

TEST(Crawl, TheListViewIsClearedRatherThanGrowingPastFiveHundredRows) {
  SimProcess sim(kSmall);
  ASSERT_TRUE(sim.started());
  CrawlHarness crawl;
  for (int i = 0; i < 500; ++i) crawl.form().addRow(mw::kVideoList);
  const std::string seed = SeedFromService();
  ASSERT_FALSE(Answer(seed).empty());
  crawl.runPass(seed);
  EXPECT_LE(crawl.form().rowCount(mw::kVideoList), 50);
}

}  // namespace
}  // namespace pelvaro::e2e
