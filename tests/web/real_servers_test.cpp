// The downloader against web servers no one here wrote (nginx, lighttpd): a file overwritten in
// place while it downloads is never completed from two versions, and an untouched one completes.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "web/ranged_downloader.h"
#include "web/transfer_limits.h"

extern char** environ;

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
constexpr std::int64_t kSize = 2 * 1048576;  // two blocks, fetched at once by two connections

// A free loopback port when `port` is 0; else whether `port` accepts connections.
int Probe(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  int result = 0;
  if (port == 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    result = ntohs(address.sin_port);
  } else if (port != 0) {
    result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  }
  ::close(fd);
  return result;
}

std::string RandomBytes(unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(static_cast<std::size_t>(kSize), '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// One server serving root/www at 512 KiB/s per connection, for the test's length.
class ServerProcess {
 public:
  ServerProcess(const std::string& kind, const fs::path& root) : port_(Probe(0)) {
    const std::string r = root.string(), port = std::to_string(port_);
    std::vector<std::string> arguments;
    if (kind == "nginx") {
      std::ofstream(root / "server.conf")
          << "daemon off; master_process off; pid " << r << "/pid; error_log " << r << "/error.log;\n"
          << "events {}\nhttp { access_log off; client_body_temp_path " << r << "; proxy_temp_path " << r
          << "; fastcgi_temp_path " << r << "; uwsgi_temp_path " << r << "; scgi_temp_path " << r
          << "; types { video/mp4 mp4; }\n server { listen 127.0.0.1:" << port << "; root " << r
          << "/www; limit_rate 512k; } }\n";
      arguments = {"nginx", "-p", r, "-c", r + "/server.conf"};
    } else {
      // Without a stat cache every request sees the file as it is now; without a type for
      // .mp4 no validator is sent at all.
      std::ofstream(root / "server.conf")
          << "server.document-root = \"" << r << "/www\"\nserver.bind = \"127.0.0.1\"\nserver.port = " << port
          << "\nserver.errorlog = \"" << r << "/error.log\"\nmimetype.assign = (\".mp4\" => \"video/mp4\")\n"
          << "server.stat-cache-engine = \"disable\"\nconnection.kbytes-per-second = 512\n";
      arguments = {"lighttpd", "-D", "-f", r + "/server.conf"};
    }
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    for (int i = 0; i < 500 && pid_ > 0 && !Probe(port_); ++i) std::this_thread::sleep_for(milliseconds(10));
  }
  ~ServerProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  bool installed() const { return pid_ > 0; }
  bool running() const { return pid_ > 0 && Probe(port_); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/clip.mp4"; }

 private:
  int port_;
  pid_t pid_ = -1;
};

class RealServersTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "real_servers_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "www");
    TransferLimits limits;
    limits.firstPause = milliseconds(50);
    SetTransferLimits(limits);
  }
  void TearDown() override {
    SetTransferLimits(TransferLimits());
    fs::remove_all(root_);
  }
  std::string Fetch(int task) {
    EXPECT_GT(task, 0);
    downloader_.WaitForEnd(task, std::chrono::seconds(60));
    return GbkToUtf8(FailureText(downloader_.Progress(task).failure));
  }

  fs::path root_;
  RangedDownloader downloader_;
};

TEST_P(RealServersTest, AFileOverwrittenInPlaceIsNeverCompletedMixed) {
  // The served file is an hour old, so that a change now shows in its validators.
  const fs::path served = root_ / "www" / "clip.mp4";
  std::ofstream(served, std::ios::binary) << RandomBytes(1);
  fs::last_write_time(served, fs::file_time_type::clock::now() - std::chrono::hours(1));
  std::ofstream(root_ / "fresh.bin", std::ios::binary) << RandomBytes(2);
  ServerProcess server(GetParam(), root_);
  if (!server.installed()) GTEST_SKIP() << GetParam() << " is not installed";
  ASSERT_TRUE(server.running());

  // Untouched, it completes: the look at the version after the last byte agrees.
  const fs::path steady = root_ / "steady.mp4";
  EXPECT_EQ(Fetch(downloader_.Download(server.Url(), Path(steady.string()), 2, nullptr)), "");
  EXPECT_EQ(fs::file_size(steady), static_cast<std::uintmax_t>(kSize));

  // A new version of the same size written over the old one while both ranges are under way.
  const int task = downloader_.Download(server.Url(), Path((root_ / "mixed.mp4").string()), 2, nullptr);
  while (downloader_.Progress(task).done < 256 * 1024 &&
         downloader_.Progress(task).outcome == DownloadOutcome::Running) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  const std::string dd = "dd if='" + (root_ / "fresh.bin").string() + "' of='" + served.string() +
                         "' bs=1M conv=notrunc status=none";
  ASSERT_EQ(std::system(dd.c_str()), 0);
  EXPECT_EQ(Fetch(task), "服务器上的文件已改变");
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServersTest, ::testing::Values("nginx", "lighttpd"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pelvaro
