// The downloader on a network that breaks, refuses, stalls and changes files under it.

#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "web/download_test_server.h"
#include "web/file_writer.h"
#include "web/ranged_downloader.h"
#include "web/raw_http_server.h"
#include "web/retry_budget.h"
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
    result.task = downloader_.Download(url, Path(PathOf(name)), 2, nullptr, extras);
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
  int task = downloader_.Download(
      server.Url(), Path(PathOf("stall.mp4")), 2, [held](int, int, std::int64_t, std::int64_t) {}, extras);
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

TEST_F(DownloadFaultsTest, AServerThatComesBackIsWaitedForAndCappedAnswersRenewTheAttempts) {
  {
    // Refused while the server restarts: asked again until it listens.
    TransferLimits limits = CurrentTransferLimits();
    limits.firstPause = milliseconds(100);
    SetTransferLimits(limits);
    auto refusing = std::make_unique<testing::RefusingPort>();
    const int port = refusing->port();
    std::unique_ptr<DownloadTestServer> server;
    std::thread restart([&] {
      std::this_thread::sleep_for(milliseconds(250));
      refusing.reset();
      DownloadServerBehaviour behaviour;
      behaviour.port = port;
      server = std::make_unique<DownloadTestServer>(kMiB, behaviour);
    });
    Result result = Fetch("http://127.0.0.1:" + std::to_string(port) + "/files/clip.mp4", "restarted.mp4");
    restart.join();
    ASSERT_GT(result.task, 0) << FailureText(result.failure);
    EXPECT_EQ(result.outcome, DownloadOutcome::Finished);
    ASSERT_FALSE(result.retries.empty());
    EXPECT_NE(result.retries[0].find(Gbk("连接被拒绝")), std::string::npos) << result.retries[0];
  }
  {
    // Every answer ends after 200 KiB: a 1 MiB block takes six attempts, each one bringing data.
    DownloadServerBehaviour capped;
    capped.dropRangeStart = 0;
    capped.dropEveryRangeFrom = true;
    capped.dropAfter = 200 * 1024;
    DownloadTestServer server(2 * kMiB, capped);
    Result result = Fetch(server.Url(), "capped.mp4");
    ASSERT_EQ(result.outcome, DownloadOutcome::Finished) << FailureText(result.failure);
    EXPECT_EQ(ReadAll(PathOf("capped.mp4")), PatternBytes(0, 2 * kMiB));
  }
}

TEST_F(DownloadFaultsTest, ADripEndsAsTooSlowWithoutBeingAskedAgain) {
  TransferLimits limits = CurrentTransferLimits();
  limits.lowSpeedTime = milliseconds(1000);
  limits.stall = milliseconds(20000);
  limits.noData = milliseconds(20000);
  SetTransferLimits(limits);
  DownloadServerBehaviour drip;
  drip.dripPerSecond = 300;  // bytes keep coming, far below 1 KiB/s
  DownloadTestServer server(kMiB, drip);
  const int task = downloader_.Download(server.Url(), Path(PathOf("drip.mp4")), 2, nullptr);
  ASSERT_GT(task, 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, std::chrono::seconds(30)), DownloadOutcome::Failed);
  const DownloadFailure failure = downloader_.Progress(task).failure;
  EXPECT_EQ(failure.kind, FailureKind::TooSlow);
  EXPECT_EQ(FailureText(failure), Gbk("速度过低"));
  EXPECT_EQ(server.RangeRequests().size(), 1u) << "not asked again";
}

TEST(DownloadFailures, EveryKindHasWordsARetryRuleAndAnOwner) {
  struct Case {
    DownloadFailure failure;
    const char* words;
    bool retried;
    bool environment;
  } cases[] = {
      {{FailureKind::HttpStatus, 404}, "HTTP 404", false, false},
      {{FailureKind::HttpStatus, 503}, "HTTP 503", true, false},
      {{FailureKind::HttpStatus, 429}, "HTTP 429", true, false},
      {{FailureKind::NoData, 20}, "20秒没有收到数据", true, false},
      {{FailureKind::TooSlow, 60}, "速度过低", false, false},
      {{FailureKind::ConnectTimeout, 0}, "连接超时", true, true},
      {{FailureKind::Refused, 0}, "连接被拒绝", true, true},
      {{FailureKind::Reset, 0}, "连接被重置", true, false},
      {{FailureKind::HostNotFound, 0}, "找不到服务器", false, true},
      {{FailureKind::TlsUntrusted, 0}, "证书不受信任", false, true},
      {{FailureKind::TlsFailed, 0}, "TLS连接失败", false, true},
      {{FailureKind::TooManyRedirects, 0}, "重定向过多", false, false},
      {{FailureKind::BadAddress, 0}, "下载地址无效", false, false},
      {{FailureKind::DiskFull, 1048577}, "磁盘空间不足（需要 1048577 MB）", false, true},
      {{FailureKind::DiskError, EROFS}, "写入文件失败：文件夹是只读的", false, true},
      {{FailureKind::FolderGone, 0}, "文件夹已被删除", false, true},
      {{FailureKind::RangeIgnored, 0}, "服务器不支持分段下载", false, false},
      {{FailureKind::FileChanged, 0}, "服务器上的文件已改变", false, false},
      {{FailureKind::LengthMismatch, 0}, "长度与服务器不符", false, false},
      {{FailureKind::NoLength, 0}, "服务器没有给出文件长度", false, false},
      {{FailureKind::EmptyFile, 0}, "服务器上的文件是空的", false, false},
      {{FailureKind::Compressed, 0}, "服务器压缩了文件", false, false},
      {{FailureKind::HistoryUnwritable, ENOSPC}, "下载记录无法写入（磁盘已满）", false, true},
      {{FailureKind::Network, 55}, "网络错误", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    EXPECT_EQ(GbkToUtf8(FailureText(c.failure)), c.words);
    EXPECT_EQ(Retryable(c.failure), c.retried);
    EXPECT_EQ(IsEnvironmentFailure(c.failure), c.environment);
  }
  // The transport's and the file system's codes, in the program's words: no numbers of theirs.
  const std::pair<int, FailureKind> transport[] = {
      {CURLE_COULDNT_CONNECT, FailureKind::Refused},
      {CURLE_TOO_MANY_REDIRECTS, FailureKind::TooManyRedirects},
      {CURLE_UNSUPPORTED_PROTOCOL, FailureKind::ProtocolRefused},
      {CURLE_URL_MALFORMAT, FailureKind::BadAddress},
      {CURLE_BAD_CONTENT_ENCODING, FailureKind::Compressed},
      {CURLE_PEER_FAILED_VERIFICATION, FailureKind::TlsUntrusted},
  };
  for (const auto& [code, kind] : transport)
    EXPECT_EQ(TransferFailure(code, 0, false, {}).kind, kind) << code;
  EXPECT_EQ(FileFailure(ENOSPC, 3 * kMiB + 1), (DownloadFailure{FailureKind::DiskFull, 4}));
  EXPECT_EQ(FileFailure(ENOENT, 0).kind, FailureKind::FolderGone);
  EXPECT_EQ(FileFailure(EEXIST, 0).kind, FailureKind::FileExists);
  EXPECT_EQ(FileFailure(EACCES, 0), (DownloadFailure{FailureKind::DiskError, EACCES}));
  // The names the catalogue stores read back as their kinds; unknown names as none.
  EXPECT_EQ(FailureKindName(FailureKind::HttpStatus), "http_status");
  for (const FailureKind kind : AllFailureKinds()) {
    EXPECT_EQ(FailureKindNamed(FailureKindName(kind)), kind) << FailureKindName(kind);
  }
  EXPECT_EQ(FailureKindNamed("no such kind"), std::nullopt);
  EXPECT_EQ(FailureKindNamed(""), std::nullopt);
}

TEST(RetryBudget, AttemptsRenewWithDataAndNoPauseEndsPastTheDeadline) {
  TransferLimits limits;
  limits.firstPause = milliseconds(10);
  limits.attempts = 3;
  const auto far = RetryBudget::Clock::now() + std::chrono::hours(1);
  const DownloadFailure reset{FailureKind::Reset, 0};
  RetryBudget budget(limits);
  EXPECT_EQ(budget.next(reset, nullptr, 0, far), milliseconds(10));
  EXPECT_EQ(budget.next(reset, nullptr, 0, far), milliseconds(20));
  EXPECT_EQ(budget.next(reset, nullptr, 0, far), std::nullopt) << "three attempts";
  RetryBudget renewed(limits);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(renewed.next(reset, nullptr, RetryBudget::kRenewingBytes, far), milliseconds(10)) << i;
  }
  EXPECT_EQ(RetryBudget(limits).next({FailureKind::HttpStatus, 404}, nullptr, 0, far), std::nullopt);
  EXPECT_EQ(RetryBudget(limits).next(reset, nullptr, 0, RetryBudget::Clock::now() + milliseconds(5)),
            std::nullopt)
      << "a pause that would end past the deadline";
  EXPECT_LE(RetryBudget(limits).connectLimit(RetryBudget::Clock::now() + milliseconds(300)),
            milliseconds(300))
      << "no attempt outlasts the budget";
  EXPECT_EQ(RetryBudget(limits).connectLimit(far), limits.connect);
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
