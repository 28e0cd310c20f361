// The downloader on a network that breaks, refuses, stalls and changes files under it.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "web/download_test_server.h"
#include "web/file_writer.h"
#include "web/ranged_downloader.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
constexpr std::int64_t kMiB = 1048576;
const auto kForever = std::chrono::hours(1);

class DownloadFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "download_faults_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    TransferLimits limits;
    limits.connect = milliseconds(2000);
    limits.noData = milliseconds(300);
    limits.stall = milliseconds(1500);
    limits.firstPause = milliseconds(5);
    SetTransferLimits(limits);
  }
  void TearDown() override {
    SetTransferLimits(TransferLimits());
    fs::remove_all(dir_);
  }

  struct Result {
    int task = -1;
    DownloadOutcome outcome = DownloadOutcome::Failed;
    DownloadFailure failure;
    std::vector<std::string> retries;
  };

  Result Fetch(const std::string& url, const std::string& name) {
    Result result;
    auto retries = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    DownloadExtras extras;
    extras.startFailure = &result.failure;
    extras.onRetry = [retries, mutex](const std::string& line) {
      std::lock_guard lock(*mutex);
      retries->push_back(line);
    };
    result.task = downloader_.Download(url, PathOf(name), 2, nullptr, extras);
    if (result.task > 0) {
      result.outcome = downloader_.WaitForEnd(result.task, kForever);
      result.failure = downloader_.Progress(result.task).failure;
    }
    std::lock_guard lock(*mutex);
    result.retries = *retries;
    return result;
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  RangedDownloader downloader_;
};

TEST_F(DownloadFaultsTest, TransientBreaksAndBusyAnswersAreAskedAgainAndTheFileCompletes) {
  struct Case {
    const char* name;
    DownloadServerBehaviour behaviour;
    std::size_t retries;
  };
  DownloadServerBehaviour reset;
  reset.dropRangeStart = kMiB;
  reset.dropAfter = 100 * 1024;
  DownloadServerBehaviour busy;  // the probe and the first range are refused for now
  busy.failFirst = 2;
  busy.retryAfter = "0";
  DownloadServerBehaviour timeout;
  timeout.failFirst = 1;
  timeout.failStatus = 408;
  const Case cases[] = {{"reset", reset, 1}, {"503", busy, 2}, {"408", timeout, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadTestServer server(5 * kMiB / 2, c.behaviour);
    Result result = Fetch(server.Url(), std::string(c.name) + ".mp4");
    ASSERT_GT(result.task, 0);
    ASSERT_EQ(result.outcome, DownloadOutcome::Finished);
    EXPECT_EQ(ReadAll(PathOf(std::string(c.name) + ".mp4")), PatternBytes(0, 5 * kMiB / 2));
    EXPECT_EQ(result.retries.size(), c.retries);
  }
  // The broken block is asked again for its remaining bytes only.
  DownloadTestServer server(5 * kMiB / 2, reset);
  ASSERT_EQ(Fetch(server.Url(), "again.mp4").outcome, DownloadOutcome::Finished);
  bool resumed = false;
  for (const auto& request : server.RangeRequests()) {
    resumed = resumed || request.range == "bytes=" + std::to_string(kMiB + 100 * 1024) + "-2097151";
  }
  EXPECT_TRUE(resumed);
}

TEST_F(DownloadFaultsTest, PersistentFaultsFailWithTheirReasonAfterBoundedAttempts) {
  DownloadServerBehaviour reset;
  reset.dropRangeStart = kMiB;
  reset.dropEveryRangeFrom = true;
  reset.dropAfter = 10 * 1024;
  {
    DownloadTestServer server(2 * kMiB, reset);  // only the second block breaks
    Result result = Fetch(server.Url(), "reset.mp4");
    ASSERT_EQ(result.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(result.failure.kind, FailureKind::Reset);
    EXPECT_EQ(result.retries.size(), 4u) << "five attempts for the broken block";
  }
  {
    // A status that will not heal fails the start at once, without a file.
    DownloadServerBehaviour gone;
    gone.failFirst = 100;
    gone.failStatus = 404;
    DownloadTestServer server(1000, gone);
    Result result = Fetch(server.Url(), "gone.mp4");
    EXPECT_EQ(result.task, -1);
    EXPECT_EQ(result.failure, (DownloadFailure{FailureKind::HttpStatus, 404}));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(fs::exists(PathOf("gone.mp4")));
    EXPECT_EQ(FailureText(result.failure), "HTTP 404");
  }
  {
    DownloadServerBehaviour busy;
    busy.failFirst = 100;
    DownloadTestServer server(1000, busy);
    Result result = Fetch(server.Url(), "busy.mp4");
    EXPECT_EQ(result.failure, (DownloadFailure{FailureKind::HttpStatus, 503}));
    EXPECT_EQ(server.Requests().size(), 5u);
  }
}

TEST_F(DownloadFaultsTest, StalledTransferEndsAsFailedAndReleasesItsCallback) {
  DownloadServerBehaviour stall;
  stall.holdFrom = 0;
  stall.holdAfter = 64 * 1024;  // then silent with the connection open, until the server ends
  DownloadTestServer server(5 * kMiB / 2, stall);
  auto held = std::make_shared<int>(0);
  std::weak_ptr<int> watch = held;
  DownloadFailure failure;
  DownloadExtras extras;
  int task = downloader_.Download(server.Url(), PathOf("stall.mp4"), 2,
                                  [held](int, int, std::int64_t, std::int64_t) {}, extras);
  held.reset();
  ASSERT_GT(task, 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Failed);
  failure = downloader_.Progress(task).failure;
  EXPECT_EQ(failure.kind, FailureKind::NoData);
  EXPECT_TRUE(watch.expired()) << "an ended task keeps no callback";
}

TEST_F(DownloadFaultsTest, FileThatChangesOnTheServerIsNeverCompletedFromTwoVersions) {
  DownloadServerBehaviour change;
  change.etag = "\"v1\"";
  change.changeAfter = 2;  // the probe and the first range see version 1
  DownloadTestServer server(5 * kMiB / 2, change);
  Result result = Fetch(server.Url(), "changed.mp4");
  ASSERT_GT(result.task, 0);
  EXPECT_EQ(result.outcome, DownloadOutcome::Failed);
  EXPECT_EQ(result.failure.kind, FailureKind::FileChanged);
  for (const auto& request : server.RangeRequests()) {
    EXPECT_EQ(request.headers.find("If-Range")->second, "\"v1\"");
  }
}

TEST(FileWriter, NeverReplacesAFileAndLocksTheOneItWrites) {
  const fs::path dir = fs::temp_directory_path() / ("file_writer_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "a.mp4.part").string();
  std::ofstream(path) << "keep";
  FileWriter writer;
  EXPECT_FALSE(writer.Create(path, 100));
  EXPECT_EQ(writer.Error(), EEXIST);
  EXPECT_EQ(fs::file_size(path), 4u);
  fs::remove(path);

  ASSERT_TRUE(writer.Create(path, 100));
  EXPECT_EQ(fs::file_size(path), 100u);
  int other = ::open(path.c_str(), O_RDONLY);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "another holder sees the lock";
  EXPECT_TRUE(writer.Sync());
  writer.Close();
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pelvaro
