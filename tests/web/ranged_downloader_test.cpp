#include "web/ranged_downloader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "support/refused_port.h"
#include "web/download_path.h"
#include "web/download_test_server.h"
#include "web/file_writer.h"
#include "web/transfer_limits.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kMiB = 1048576;
const auto kForever = std::chrono::hours(1);

struct Call {
  int task;
  int code;
  std::int64_t total;
  std::int64_t done;
};

// Records every callback; lets a test wait until a number of bytes has been reported.
class CallbackLog {
 public:
  DownloadCallback Callback() {
    return [this](int task, int code, std::int64_t total, std::int64_t done) {
      std::lock_guard lock(mutex_);
      calls_.push_back({task, code, total, done});
      changed_.notify_all();
    };
  }
  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void WaitForDone(std::int64_t bytes) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !calls_.empty() && calls_.back().done >= bytes; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Call> calls_;
};

class DownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "downloader_test_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    SetTransferLimits(TransferLimits());
    fs::remove_all(dir_);
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  RangedDownloader downloader_;
};

std::string HeaderOf(const httplib::Headers& headers, const std::string& name) {
  auto found = headers.find(name);
  return found == headers.end() ? std::string() : found->second;
}

DownloadServerBehaviour Behaving(void (*change)(DownloadServerBehaviour&)) {
  DownloadServerBehaviour behaviour;
  change(behaviour);
  return behaviour;
}

// Checks the callback contract of a task that ran to its end: progress calls only, with a
// growing done value, then exactly one final call, last.
void ExpectFinalCallLast(const std::vector<Call>& calls, int task, int finalCode, std::int64_t total,
                         std::int64_t finalDone) {
  ASSERT_FALSE(calls.empty());
  std::int64_t previous = 0;
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    EXPECT_EQ(calls[i].task, task);
    EXPECT_EQ(calls[i].code, kDownloadProgress) << "call " << i;
    EXPECT_EQ(calls[i].total, total);
    EXPECT_GT(calls[i].done, previous);
    previous = calls[i].done;
  }
  EXPECT_EQ(calls.back().task, task);
  EXPECT_EQ(calls.back().code, finalCode);
  EXPECT_EQ(calls.back().total, finalCode == kDownloadFailed ? 0 : total);
  EXPECT_EQ(calls.back().done, finalDone);
}

TEST(DownloadPath, FolderPathsTakeTheServerNameAndDotlessPathsRepeatTheirLastSegment) {
  struct Case {
    Text path;
    Text serverName;
    Text expected;
    bool asksServer;
  } cases[] = {
      {"/v/abc.mp4", "x.mp4", "/v/abc.mp4", false},
      {"/v", "x.mp4", "/v/x.mp4", true},
      {"/v/", "x.mp4", "/v/x.mp4", true},
      {"/a.b/c", "x", "/a.b/c/x", true},                        // a "." elsewhere stops the repeat
      {"/v", "clip", "/v/clip/clip", true},                     // no "." at all
      {"/v/my file. x", "y.mp4", "/v/my file. x/y.mp4", true},  // a blank after the dot: no extension
  };
  for (const auto& c : cases) {
    bool asked = false;
    Text result = ResolveDownloadPath(c.path, [&] {
      asked = true;
      return c.serverName;
    });
    EXPECT_EQ(result, c.expected) << c.path;
    EXPECT_EQ(asked, c.asksServer) << c.path;
  }
  EXPECT_EQ(DownloadNameFromLocation("http://h/p/v.mp4?sig=1"), "v.mp4");
  EXPECT_EQ(DownloadNameFromLocation("a\\b\\c.mp4"), "c.mp4");
  EXPECT_EQ(DownloadNameFromLocation("http://h/"), "");
  EXPECT_EQ(DownloadNameFromLocation("name?q"), "name");
}

TEST(DownloadBlocks, SplitsIntoMegabyteBlocksWithSixtyFourBitOffsets) {
  struct Case {
    std::int64_t size;
    std::int64_t blocks;
    std::int64_t lastStart;
  } cases[] = {
      {5 * kMiB / 2, 3, 2 * kMiB},        {300 * 1024, 1, 0}, {kMiB, 1, 0}, {kMiB + 1, 2, kMiB},
      {(5LL << 30) + 3, 5121, 5LL << 30},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(DownloadTask::BlockCount(c.size), c.blocks) << c.size;
    BlockSpan last = DownloadTask::Block(c.blocks, c.size);
    EXPECT_EQ(last.start, c.lastStart);
    EXPECT_EQ(last.rangeEnd, c.size);  // the last range names the size itself
    EXPECT_EQ(last.length, c.size - c.lastStart);
    if (c.blocks > 1) {
      BlockSpan before = DownloadTask::Block(c.blocks - 1, c.size);
      EXPECT_EQ(before.rangeEnd, c.lastStart - 1);
      EXPECT_EQ(before.length, kMiB);
    }
  }
}

TEST_F(DownloaderTest, FetchesAscendingBlocksWithExactRangesOverKeptConnections) {
  struct Case {
    std::int64_t size;
    int threads;
    std::vector<std::string> ranges;
    std::size_t connections;
  } cases[] = {
      {5 * kMiB / 2, 2, {"bytes=0-1048575", "bytes=1048576-2097151", "bytes=2097152-2621440"}, 2},
      {300 * 1024, 2, {"bytes=0-307200"}, 1},
      {3 * kMiB, 8, {"bytes=0-1048575", "bytes=1048576-2097151", "bytes=2097152-3145728"}, 3},
  };
  for (const auto& c : cases) {
    DownloadTestServer server(c.size);
    CallbackLog log;
    const std::string path = PathOf("video" + std::to_string(c.size) + ".mp4");
    int task = downloader_.Download(server.Url(), Path(path), c.threads, log.Callback());
    ASSERT_GT(task, 0);
    ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Finished);

    EXPECT_EQ(ReadAll(path), PatternBytes(0, c.size));
    ExpectFinalCallLast(log.Calls(), task, kDownloadFinished, c.size, c.size);
    DownloadSnapshot snapshot = downloader_.Progress(task);
    EXPECT_EQ(snapshot.outcome, DownloadOutcome::Finished);
    EXPECT_EQ(snapshot.done, c.size);

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), c.ranges.size() + 1);
    EXPECT_TRUE(requests[0].range.empty());  // the size probe
    std::vector<std::string> ranges;
    std::set<int> ports;
    for (const auto& request : requests) {
      EXPECT_EQ(request.path, "/files/clip.mp4");
      EXPECT_EQ(HeaderOf(request.headers, "Accept"), "*/*");
      EXPECT_EQ(HeaderOf(request.headers, "Accept-Language"), "zh-cn");
      EXPECT_EQ(HeaderOf(request.headers, "Accept-Encoding"), "gzip, deflate");
      EXPECT_EQ(HeaderOf(request.headers, "User-Agent"),
                "Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)");
      if (!request.range.empty()) {
        ranges.push_back(request.range);
        ports.insert(request.remotePort);
      }
    }
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, c.ranges);
    EXPECT_EQ(ports.size(), c.connections) << "one connection per worker";
  }
}

// A listener that answers by hand and keeps each request head exactly as it arrived.
class RawServer {
 public:
  explicit RawServer(std::string body) : body_(std::move(body)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Accept(); });
  }
  ~RawServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/a.bin"; }
  std::vector<std::string> Heads() {
    std::lock_guard lock(mutex_);
    return heads_;
  }

 private:
  void Accept() {
    for (;;) {
      int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      std::string pending;
      char buffer[4096];
      for (;;) {
        auto end = pending.find("\r\n\r\n");
        if (end == std::string::npos) {
          ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
          if (n <= 0) break;
          pending.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        std::string head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        {
          std::lock_guard lock(mutex_);
          heads_.push_back(head);
        }
        bool ranged = head.find("\r\nRange:") != std::string::npos;
        std::string answer =
            std::string(ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n") +
            "Content-Length: " + std::to_string(body_.size()) + "\r\n\r\n" + body_;
        ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
      ::close(client);
    }
  }

  std::string body_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> heads_;
};

TEST_F(DownloaderTest, SendsTheHeaderBlockAndRangeLineByteForByte) {
  RawServer server("0123456789");
  CallbackLog log;
  int task = downloader_.Download(server.Url(), Path(PathOf("a.bin")), 2, log.Callback());
  ASSERT_GT(task, 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Finished);
  EXPECT_EQ(ReadAll(PathOf("a.bin")), "0123456789");

  const std::string host = server.Url().substr(7, server.Url().find('/', 7) - 7);
  const std::string block =
      "Host: " + host +
      "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nAccept-Encoding: gzip, deflate\r\n"
      "User-Agent: Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)\r\n"
      "Pragma: no-cache\r\nCache-Control: no-cache\r\n";
  auto heads = server.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[0], "GET /a.bin HTTP/1.1\r\n" + block + "\r\n");
  EXPECT_EQ(heads[1], "GET /a.bin HTTP/1.1\r\n" + block + "Range:bytes=0-10\r\n\r\n");
}

TEST_F(DownloaderTest, StoppedTaskEndsWithoutFinalCallAndKeepsFullLength) {
  DownloadServerBehaviour behaviour;
  behaviour.holdFrom = 0;
  behaviour.holdAfter = 64 * 1024;
  DownloadTestServer server(5 * kMiB / 2, behaviour);
  CallbackLog log;
  const std::string path = PathOf("stopped.mp4");
  int task = downloader_.Download(server.Url(), Path(path), 2, log.Callback());
  ASSERT_GT(task, 0);
  log.WaitForDone(128 * 1024);  // both workers hold their first 64 KiB
  downloader_.Stop(task);
  server.Release();
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Stopped);

  for (const auto& call : log.Calls()) EXPECT_EQ(call.code, kDownloadProgress);
  std::string expected(5 * kMiB / 2, '\0');
  expected.replace(0, 64 * 1024, PatternBytes(0, 64 * 1024));
  expected.replace(kMiB, 64 * 1024, PatternBytes(kMiB, 64 * 1024));
  EXPECT_EQ(ReadAll(path), expected);
  EXPECT_EQ(server.RangeRequests().size(), 2u) << "no block starts after the stop";
  downloader_.Resume(task);  // an ended task stays as it ended
  EXPECT_EQ(downloader_.Progress(task).outcome, DownloadOutcome::Stopped);
}

TEST_F(DownloaderTest, BrokenReadGivesExactlyOneFailureCallAfterEveryWorker) {
  TransferLimits limits;
  limits.firstPause = std::chrono::milliseconds(5);
  SetTransferLimits(limits);
  DownloadServerBehaviour behaviour;
  behaviour.dropRangeStart = kMiB;
  behaviour.dropEveryRangeFrom = true;  // every retry breaks as well, too early to count as progress
  behaviour.dropAfter = 10 * 1024;
  DownloadTestServer server(5 * kMiB / 2, behaviour);
  CallbackLog log;
  int task = downloader_.Download(server.Url(), Path(PathOf("broken.mp4")), 2, log.Callback());
  ASSERT_GT(task, 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Failed);
  ExpectFinalCallLast(log.Calls(), task, kDownloadFailed, 5 * kMiB / 2, 0);
  downloader_.Resume(task);  // failure is final
  EXPECT_EQ(downloader_.Progress(task).state, DownloadTask::kFailed);
}

TEST_F(DownloaderTest, AnswersThatAreNotTheBlockFailTheTaskWithoutWritingOutsideIt) {
  struct Case {
    const char* name;
    std::int64_t size;
    DownloadServerBehaviour behaviour;
    DownloadOutcome outcome;
    FailureKind kind;
  } cases[] = {
      {"whole file for a block", 5 * kMiB / 2, Behaving([](auto& b) { b.ignoreRange = true; }),
       DownloadOutcome::Failed, FailureKind::RangeIgnored},
      {"whole file for a block, same ETag", 5 * kMiB / 2, Behaving([](auto& b) {
         b.ignoreRange = true;
         b.etag = "\"e\"";
       }),
       DownloadOutcome::Failed, FailureKind::RangeIgnored},
      {"whole file for the only block", 300 * 1024, Behaving([](auto& b) { b.ignoreRange = true; }),
       DownloadOutcome::Finished, FailureKind::None},
      {"another range", 5 * kMiB / 2, Behaving([](auto& b) { b.wrongRangeStart = true; }),
       DownloadOutcome::Failed, FailureKind::LengthMismatch},
      {"bytes past the block", 300 * 1024, Behaving([](auto& b) { b.extraBytes = 4096; }),
       DownloadOutcome::Failed, FailureKind::LengthMismatch},
      {"bytes past a middle block", 5 * kMiB / 2, Behaving([](auto& b) { b.extraBytes = 4096; }),
       DownloadOutcome::Failed, FailureKind::LengthMismatch},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadTestServer server(c.size, c.behaviour);
    CallbackLog log;
    const std::string path = PathOf(std::string(c.name) + ".mp4");
    int task = downloader_.Download(server.Url(), Path(path), 2, log.Callback());
    ASSERT_GT(task, 0);
    ASSERT_EQ(downloader_.WaitForEnd(task, kForever), c.outcome);
    EXPECT_EQ(downloader_.Progress(task).failure.kind, c.kind);
    std::string content = ReadAll(path);
    ASSERT_EQ(static_cast<std::int64_t>(content.size()), c.size);
    if (c.outcome == DownloadOutcome::Finished) {
      EXPECT_EQ(content, PatternBytes(0, c.size));
      continue;
    }
    ExpectFinalCallLast(log.Calls(), task, kDownloadFailed, c.size, 0);
    for (std::int64_t i = 0; i < c.size; ++i) {
      // Every byte is either unwritten or the file's own.
      char byte = content[static_cast<std::size_t>(i)];
      if (byte != '\0' && byte != PatternByte(i)) {
        ADD_FAILURE() << "stray byte at " << i;
        break;
      }
    }
  }
}

TEST_F(DownloaderTest, NumbersEveryStartAcrossObjectsAndIgnoresUnknownTasks) {
  DownloadTestServer server(1000);
  RangedDownloader other;
  TransferLimits limits;
  limits.firstPause = std::chrono::milliseconds(5);  // the refused start is asked again quickly
  SetTransferLimits(limits);
  CallbackLog log;
  const testing::RefusedPort refused;
  int first = downloader_.Download(server.Url(), Path(PathOf("one.mp4")), 2, log.Callback());
  ASSERT_GT(first, 0);
  EXPECT_EQ(other.Download("http://" + refused.address() + "/none.mp4", Path(PathOf("refused.mp4")), 2,
                           log.Callback()),
            -1);
  EXPECT_EQ(other.Download(server.Url(), Path(PathOf("no/such/folder/x.mp4")), 2, log.Callback()), -1);
  int fourth = other.Download(server.Url(), Path(PathOf("four.mp4")), 2, log.Callback());
  EXPECT_EQ(fourth, first + 3) << "failed starts keep their numbers";
  EXPECT_EQ(downloader_.WaitForEnd(fourth, kForever), DownloadOutcome::Finished);
  EXPECT_EQ(downloader_.WaitForEnd(first, kForever), DownloadOutcome::Finished);

  for (int task : {-1, 0, first + 1, first + 2, first, 1 << 30}) {
    downloader_.Pause(task);
    downloader_.StopThenResume(task);
    downloader_.Stop(task);
    downloader_.Resume(task);
  }
  downloader_.PauseAll();
  downloader_.StopThenResumeAll();
  downloader_.ResumeAll();
  EXPECT_EQ(downloader_.WaitForEnd(first + 1, kForever), DownloadOutcome::Failed);
  EXPECT_EQ(downloader_.Progress(-1).outcome, DownloadOutcome::Failed);
  EXPECT_EQ(downloader_.Progress(first).outcome, DownloadOutcome::Finished);
  auto calls = log.Calls();
  EXPECT_EQ(
      std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.code != kDownloadProgress; }), 2)
      << "one final call each, none for failed starts";
}

TEST_F(DownloaderTest, FolderDestinationTakesTheServerName) {
  struct Case {
    std::string contentLocation;
    std::string url;
    std::string file;
  } cases[] = {
      {"/store/named.mp4", "/files/clip.mp4?sig=1", "named.mp4"},
      {"", "/files/clip.mp4?sig=1", "clip.mp4"},
  };
  for (const auto& c : cases) {
    DownloadServerBehaviour behaviour;
    behaviour.contentLocation = c.contentLocation;
    DownloadTestServer server(2000, behaviour);
    fs::create_directory(dir_ / "folder");
    CallbackLog log;
    int task = downloader_.Download(server.Url(c.url), Path(PathOf("folder")), 2, log.Callback());
    ASSERT_GT(task, 0);
    ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Finished);
    EXPECT_EQ(ReadAll(PathOf("folder/" + c.file)), PatternBytes(0, 2000));
    fs::remove_all(dir_ / "folder");
  }
}

TEST_F(DownloaderTest, PauseAndStopThenResumeStillDeliverEveryByte) {
  DownloadServerBehaviour behaviour;
  behaviour.holdFrom = 0;
  behaviour.holdAfter = 64 * 1024;
  DownloadTestServer server(5 * kMiB / 2, behaviour);
  std::mutex mutex;
  std::condition_variable pausedChanged;
  std::vector<Call> calls;
  int task = 0;
  bool paused = false;
  // Control calls from inside the callback must not deadlock.
  task = downloader_.Download(server.Url(), Path(PathOf("paused.mp4")), 2,
                              [&](int number, int code, std::int64_t total, std::int64_t done) {
                                std::lock_guard lock(mutex);
                                calls.push_back({number, code, total, done});
                                if (!paused) {
                                  downloader_.Pause(number);
                                  paused = true;
                                  pausedChanged.notify_all();
                                }
                              });
  ASSERT_GT(task, 0);
  {
    std::unique_lock lock(mutex);
    pausedChanged.wait(lock, [&] { return paused; });
  }
  EXPECT_EQ(downloader_.WaitForEnd(task, std::chrono::milliseconds(0)), DownloadOutcome::Running);
  EXPECT_EQ(downloader_.Progress(task).state, DownloadTask::kPaused);
  downloader_.StopThenResume(task);
  downloader_.Resume(task);
  server.Release();
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Finished);
  EXPECT_EQ(ReadAll(PathOf("paused.mp4")), PatternBytes(0, 5 * kMiB / 2));
  auto ranges = server.RangeRequests();
  EXPECT_TRUE(std::any_of(ranges.begin(), ranges.end(), [](const ServedRequest& r) {
    return std::stoll(r.range.substr(6)) % kMiB != 0;
  })) << "an interrupted block is asked for again from where it stopped";
  std::lock_guard lock(mutex);
  ExpectFinalCallLast(calls, task, kDownloadFinished, 5 * kMiB / 2, 5 * kMiB / 2);
}

TEST_F(DownloaderTest, WaitEndsWhenTheWaiterIsStoppedOrTheTaskStoppedWhilePaused) {
  DownloadTestServer server(5 * kMiB / 2, Behaving([](auto& b) { b.holdFrom = 0; }));
  CallbackLog log;
  int task = downloader_.Download(server.Url(), Path(PathOf("held.mp4")), 2, log.Callback());
  ASSERT_GT(task, 0);
  std::stop_source waiter;
  waiter.request_stop();
  EXPECT_EQ(downloader_.WaitForEnd(task, kForever, waiter.get_token()), DownloadOutcome::Running);
  downloader_.Pause(task);
  downloader_.Stop(task);
  server.Release();
  EXPECT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Stopped);
  EXPECT_TRUE(log.Calls().empty());
}

TEST_F(DownloaderTest, FilesOfFiveGibibytesUseSixtyFourBitOffsets) {
  const std::int64_t size = (5LL << 30) + 3;
  DownloadTestServer server(size, Behaving([](auto& b) { b.holdFrom = 2 * kMiB; }));
  CallbackLog log;
  const std::string path = PathOf("huge.mp4");
  int task = downloader_.Download(server.Url(), Path(path), 2, log.Callback());
  ASSERT_GT(task, 0);
  log.WaitForDone(2 * kMiB);
  EXPECT_EQ(log.Calls().back().total, size);
  downloader_.Stop(task);
  server.Release();
  ASSERT_EQ(downloader_.WaitForEnd(task, kForever), DownloadOutcome::Stopped);
  EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(path)), size);
  std::ifstream in(path, std::ios::binary);
  std::string head(2 * kMiB, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  EXPECT_EQ(head, PatternBytes(0, 2 * kMiB));

  // Positioned writes past 4 GiB land where they belong.
  fs::remove(path);
  FileWriter writer;
  ASSERT_TRUE(writer.Create(path, size));
  ASSERT_TRUE(writer.WriteAt(size - 3, "xyz", 3));
  writer.Close();
  in = std::ifstream(path, std::ios::binary);
  in.seekg(size - 4);
  char tail[4] = {};
  in.read(tail, 4);
  EXPECT_EQ(std::string(tail, 4), std::string("\0xyz", 4));
}

}  // namespace
}  // namespace pelvaro
