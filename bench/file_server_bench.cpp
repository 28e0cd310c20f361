// A loopback file server for the download benchmark: one deterministic file of --size bytes
// at every path, with range answers, keep-alive, and an optional per-connection rate limit
// (--rate bytes per second, a token bucket with a 256 KiB burst, so a late wake-up on a busy machine costs no
// rate). Prints its port, then serves until it is terminated.
//   bench_file_server [--size BYTES] [--rate BYTES_PER_SECOND] [--delay-ms MS] [--port PORT]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "file_pattern.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::int64_t size = 1LL << 30;
  double rate = 0;  // bytes per second; 0 is unlimited
  int port = 0;
  int delayMs = 0;  // before every answer: a round trip of a distant server
};

const pelvaro::bench::FilePattern& Pattern() {
  static const pelvaro::bench::FilePattern pattern;
  return pattern;
}

// Paces one connection's bytes.
class TokenBucket {
 public:
  explicit TokenBucket(double rate) : rate_(rate), tokens_(kBurst), last_(Clock::now()) {}

  // Waits until `bytes` may go out.
  void Take(std::int64_t bytes) {
    if (rate_ <= 0) return;
    Refill();
    if (tokens_ < static_cast<double>(bytes)) {
      double missing = static_cast<double>(bytes) - tokens_;
      std::this_thread::sleep_for(std::chrono::duration<double>(missing / rate_));
      Refill();
    }
    tokens_ -= static_cast<double>(bytes);
  }

 private:
  static constexpr double kBurst = 256 * 1024;
  void Refill() {
    auto now = Clock::now();
    tokens_ = std::min(kBurst, tokens_ + std::chrono::duration<double>(now - last_).count() * rate_);
    last_ = now;
  }
  double rate_;
  double tokens_;
  Clock::time_point last_;
};

bool SendAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    ssize_t n = ::send(fd, data, count, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string HeaderValue(const std::string& head, const char* name) {
  std::size_t pos = 0;
  const std::size_t length = std::strlen(name);
  while ((pos = head.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    if (head.size() > pos + length && ::strncasecmp(head.c_str() + pos, name, length) == 0 &&
        head[pos + length] == ':') {
      std::size_t begin = head.find_first_not_of(' ', pos + length + 1);
      std::size_t end = head.find("\r\n", begin);
      return head.substr(begin, end - begin);
    }
  }
  return {};
}

void Serve(int fd, const Options& options) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  TokenBucket bucket(options.rate);
  std::string pending;
  char buffer[8192];
  for (;;) {
    std::size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string head = pending.substr(0, end + 4);
    pending.erase(0, end + 4);
    if (options.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
    const bool isHead = head.compare(0, 5, "HEAD ") == 0;
    const bool close = ::strcasecmp(HeaderValue(head, "Connection").c_str(), "close") == 0;

    std::int64_t first = 0;
    std::int64_t last = options.size - 1;
    std::string status = "200 OK";
    std::string extra;
    const std::string range = HeaderValue(head, "Range");
    if (range.compare(0, 6, "bytes=") == 0) {
      char* after = nullptr;
      first = std::strtoll(range.c_str() + 6, &after, 10);
      if (after != nullptr && *after == '-' && after[1] != '\0') last = std::strtoll(after + 1, nullptr, 10);
      last = std::min(last, options.size - 1);
      if (first > last) {
        std::string answer = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n";
        if (!SendAll(fd, answer.data(), answer.size())) return;
        continue;
      }
      status = "206 Partial Content";
      extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
              std::to_string(options.size) + "\r\n";
    }
    const std::int64_t length = last - first + 1;
    std::string answer = "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) +
                         "\r\nAccept-Ranges: bytes\r\nContent-Type: application/octet-stream\r\n" + extra +
                         (close ? "Connection: close\r\n" : "") + "\r\n";
    if (!SendAll(fd, answer.data(), answer.size())) return;
    if (!isHead) {
      const std::int64_t piece = options.rate > 0 ? 16 * 1024 : 256 * 1024;
      for (std::int64_t offset = first; offset <= last;) {
        std::int64_t count = std::min(piece, last + 1 - offset);
        bucket.Take(count);
        if (!SendAll(fd, Pattern().At(offset), static_cast<std::size_t>(count))) return;
        offset += count;
      }
    }
    if (close) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--size")
      options.size = std::atoll(argv[i + 1]);
    else if (flag == "--delay-ms")
      options.delayMs = std::atoi(argv[i + 1]);
    else if (flag == "--rate")
      options.rate = std::atof(argv[i + 1]);
    else if (flag == "--port")
      options.port = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "unknown flag %s\n", argv[i]);
      return 2;
    }
  }
  Pattern();
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(options.port));
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 64) != 0) {
    std::perror("bind");
    return 1;
  }
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  for (;;) {
    int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    std::thread([client, options] {
      Serve(client, options);
      ::close(client);
    }).detach();
  }
}
