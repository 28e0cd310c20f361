// The downloader against web servers no one here wrote (nginx, lighttpd): a file overwritten in
// place while it downloads is never completed from two versions, and an untouched one completes.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string Which(const std::string& program) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    const std::string path = std::string(dir) + "/" + program;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// One server serving `root`/www at 512 KiB/s per connection, for the test's length.
class ServerProcess {
 public:
  ServerProcess(const std::string& kind, const fs::path& root) : port_(FreePort()) {
    const std::string www = (root / "www").string();
    std::vector<std::string> arguments;
    if (kind == "nginx") {
      const std::string tmp = (root / "tmp").string();
      fs::create_directories(tmp);
      std::ofstream(root / "nginx.conf")
          << "daemon off; master_process off; pid " << (root / "nginx.pid").string() << "; error_log "
          << (root / "error.log").string() << ";\nevents {}\nhttp { access_log off;\n"
          << " client_body_temp_path " << tmp << "; proxy_temp_path " << tmp << "; fastcgi_temp_path " << tmp
          << "; uwsgi_temp_path " << tmp << "; scgi_temp_path " << tmp << ";\n"
          << " types { video/mp4 mp4; }\n server { listen 127.0.0.1:" << port_ << "; root " << www
          << "; limit_rate 512k; } }\n";
      arguments = {Which("nginx"), "-p", root.string(), "-c", (root / "nginx.conf").string()};
    } else {
      // Without a stat cache, every request sees the file as it is now.
      std::ofstream(root / "lighttpd.conf")
          << "server.document-root = \"" << www << "\"\nserver.bind = \"127.0.0.1\"\nserver.port = " << port_
          << "\nserver.errorlog = \"" << (root / "error.log").string() << "\"\n"
          << "mimetype.assign = (\".mp4\" => \"video/mp4\")\nserver.stat-cache-engine = \"disable\"\n"
          << "connection.kbytes-per-second = 512\n";
      arguments = {Which("lighttpd"), "-D", "-f", (root / "lighttpd.conf").string()};
    }
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    for (int i = 0; i < 500 && pid_ > 0 && !Accepts(port_); ++i)
      std::this_thread::sleep_for(milliseconds(10));
  }
  ~ServerProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool running() const { return pid_ > 0 && Accepts(port_); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/clip.mp4"; }

 private:
  int port_;
  pid_t pid_ = -1;
};

std::string RandomBytes(std::int64_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RealServersTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (Which(GetParam()).empty()) GTEST_SKIP() << GetParam() << " is not installed";
    std::string pattern = (fs::temp_directory_path() / "real_servers_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "www");
    TransferLimits limits;
    limits.noData = milliseconds(5000);
    limits.stall = milliseconds(10000);
    limits.firstPause = milliseconds(50);
    SetTransferLimits(limits);
  }
  void TearDown() override {
    SetTransferLimits(TransferLimits());
    if (!root_.empty()) fs::remove_all(root_);
  }

  // The served file, an hour old, so that a change now shows in its validators.
  void Serve(const std::string& bytes) {
    const fs::path file = root_ / "www" / "clip.mp4";
    std::ofstream(file, std::ios::binary) << bytes;
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }

  fs::path root_;
  RangedDownloader downloader_;
};

TEST_P(RealServersTest, AFileOverwrittenInPlaceIsNeverCompletedMixed) {
  const std::string old = RandomBytes(kSize, 1);
  Serve(old);
  ServerProcess server(GetParam(), root_);
  ASSERT_TRUE(server.running());

  // Untouched, it completes: the look at the version after the last byte agrees.
  const fs::path steady = root_ / "steady.mp4";
  int task = downloader_.Download(server.Url(), steady.string(), 2, nullptr);
  ASSERT_GT(task, 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, std::chrono::seconds(60)), DownloadOutcome::Finished)
      << FailureText(downloader_.Progress(task).failure);
  EXPECT_EQ(ReadAll(steady), old);

  // A new version of the same size written over the old one while both ranges are under way.
  const fs::path fresh = root_ / "fresh.bin";
  std::ofstream(fresh, std::ios::binary) << RandomBytes(kSize, 2);
  task = downloader_.Download(server.Url(), (root_ / "mixed.mp4").string(), 2, nullptr);
  ASSERT_GT(task, 0);
  while (downloader_.Progress(task).done < 256 * 1024 &&
         downloader_.Progress(task).outcome == DownloadOutcome::Running) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  const std::string dd = "dd if='" + fresh.string() + "' of='" + (root_ / "www" / "clip.mp4").string() +
                         "' bs=1M conv=notrunc status=none";
  ASSERT_EQ(std::system(dd.c_str()), 0);
  ASSERT_EQ(downloader_.WaitForEnd(task, std::chrono::seconds(60)), DownloadOutcome::Failed);
  EXPECT_EQ(downloader_.Progress(task).failure.kind, FailureKind::FileChanged);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServersTest, ::testing::Values("nginx", "lighttpd"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pelvaro
