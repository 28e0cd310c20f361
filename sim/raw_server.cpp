#include "sim/raw_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace pelvaro::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 50;
constexpr int kIoTimeoutMs = 10000;
constexpr int kKeepAliveMs = 5000;
constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
constexpr int kMaxRequestsPerConnection = 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

void IpAndPort(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  }
  ip = text;
}

// One connection's byte stream. Reads are buffered: the header block of each request is read
// whole first, recorded, and then served to the library from the buffer.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(socket_t sock, SSL* ssl, const RawServer& server, std::uint64_t rate_limit)
      : sock_(sock), ssl_(ssl), server_(server), rate_limit_(rate_limit), started_(Clock::now()) {}

  bool is_readable() const override { return pos_ < buffer_.size() || WaitReadable(kIoTimeoutMs); }
  bool is_writable() const override { return WaitFor(POLLOUT, kIoTimeoutMs); }

  ssize_t read(char* ptr, std::size_t size) override {
    if (pos_ < buffer_.size()) {
      std::size_t n = std::min(size, buffer_.size() - pos_);
      std::memcpy(ptr, buffer_.data() + pos_, n);
      pos_ += n;
      return static_cast<ssize_t>(n);
    }
    if (!WaitReadable(kIoTimeoutMs)) return -1;
    return RawRead(ptr, size);
  }

  ssize_t write(const char* ptr, std::size_t size) override {
    if (rate_limit_ > 0) {
      // Allow at most a twentieth of a second's worth per call, and no byte before its time.
      size = std::min<std::size_t>(size, std::max<std::uint64_t>(1, rate_limit_ / 20));
      auto due = started_ + std::chrono::microseconds(written_ * 1000000 / rate_limit_);
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
      if (wait > 0 && !server_.Pause(wait)) return -1;
    }
    ssize_t n;
    if (ssl_ != nullptr) {
      int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
      n = SSL_write(ssl_, ptr, chunk);
      if (n <= 0) return -1;
    } else {
      do {
        n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return -1;
    }
    written_ += static_cast<std::uint64_t>(n);
    return n;
  }

  // False once the server stops or the peer has closed or reset the connection.
  bool Alive() const {
    if (server_.stopping()) return false;
    pollfd pfd{sock_, static_cast<short>(POLLRDHUP), 0};
    return ::poll(&pfd, 1, 0) == 0 || (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getpeername(sock_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) IpAndPort(addr, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) IpAndPort(addr, ip, port);
  }
  socket_t socket() const override { return sock_; }

  // Waits for the next request's complete header block. False on end of stream, time-out,
  // stop, or a block too large to be a request.
  bool NextRequest(int timeout_ms) {
    if (pos_ > 0) {
      buffer_.erase(0, pos_);
      pos_ = 0;
    }
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (buffer_.size() > kMaxHeaderBlock) return false;
      if (!WaitReadable(buffer_.empty() ? timeout_ms : kIoTimeoutMs)) return false;
      char chunk[16384];
      ssize_t n = RawRead(chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    std::string block = buffer_.substr(0, end + 2);
    header_lines_.clear();
    std::string rewritten;
    std::size_t start = block.find("\r\n");
    rewritten = block.substr(0, start + 2);
    for (std::size_t at = start + 2; at < block.size();) {
      std::size_t eol = block.find("\r\n", at);
      std::string line = block.substr(at, eol - at);
      header_lines_.push_back(line);
      if (StartsWithNoCase(line, "range:")) line = std::string(kRangeHeader) + line.substr(5);
      rewritten += line + "\r\n";
      at = eol + 2;
    }
    buffer_.replace(0, end + 2, rewritten);
    return true;
  }

  const std::vector<std::string>& header_lines() const { return header_lines_; }

 private:
  bool WaitReadable(int timeout_ms) const {
    if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return true;
    return WaitFor(POLLIN, timeout_ms);
  }

  // Polls in short slices so a stopping server is noticed quickly.
  bool WaitFor(short events, int timeout_ms) const {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!server_.stopping()) {
      pollfd pfd{sock_, events, 0};
      int r = ::poll(&pfd, 1, kSliceMs);
      if (r > 0) return (pfd.revents & (events | POLLHUP | POLLERR)) != 0;
      if (r < 0 && errno != EINTR) return false;
      if (Clock::now() >= deadline) return false;
    }
    return false;
  }

  ssize_t RawRead(char* ptr, std::size_t size) {
    if (ssl_ != nullptr) {
      int n = SSL_read(ssl_, ptr, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
      return n > 0 ? n : -1;
    }
    ssize_t n;
    do {
      n = ::recv(sock_, ptr, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  socket_t sock_;
  SSL* ssl_;
  const RawServer& server_;
  std::uint64_t rate_limit_;
  Clock::time_point started_;
  std::uint64_t written_ = 0;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::vector<std::string> header_lines_;
};

thread_local const ConnectionStream* current_stream = nullptr;

}  // namespace

RawServer::RawServer(std::string service, SSL_CTX* tls, ConnectionSettings settings)
    : service_(std::move(service)), tls_(tls), settings_(settings) {
  int threads = std::max(1, settings_.threads);
  new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  set_keep_alive_max_count(kMaxRequestsPerConnection);
}

RawServer::~RawServer() = default;

int RawServer::Bind(int port) {
  int bound = port == 0 ? bind_to_any_port("127.0.0.1") : (bind_to_port("127.0.0.1", port) ? port : -1);
  // The library listens with a backlog of 5; a crawl opens connections in bursts.
  if (bound > 0) ::listen(svr_sock_, 128);
  return bound;
}

bool RawServer::PauseCurrent(std::int64_t ms) {
  if (current_stream == nullptr) return false;
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (current_stream->Alive()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(left, kSliceMs)));
  }
  return false;
}

void RawServer::ResetCurrent() {
  if (current_stream == nullptr) return;
  linger option{1, 0};
  ::setsockopt(current_stream->socket(), SOL_SOCKET, SO_LINGER, &option, sizeof option);
  ::shutdown(current_stream->socket(), SHUT_RDWR);
}

std::vector<std::string> RawServer::CurrentHeaderLines() {
  return current_stream != nullptr ? current_stream->header_lines() : std::vector<std::string>{};
}

bool RawServer::Pause(std::int64_t ms) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!stopping()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(left, kSliceMs)));
  }
  return false;
}

bool RawServer::Handshake(SSL* ssl, socket_t sock) const {
  // Non-blocking, so a silent peer neither holds the thread past the time-out nor delays a stop.
  int flags = fcntl(sock, F_GETFL, 0);
  fcntl(sock, F_SETFL, flags | O_NONBLOCK);
  bool done = false;
  auto deadline = Clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
  while (!stopping() && Clock::now() < deadline) {
    int r = SSL_accept(ssl);
    if (r == 1) {
      done = true;
      break;
    }
    int reason = SSL_get_error(ssl, r);
    if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE) break;
    pollfd pfd{sock, static_cast<short>(reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    ::poll(&pfd, 1, kSliceMs);
  }
  fcntl(sock, F_SETFL, flags);
  return done;
}

void RawServer::Shutdown() {
  stopping_ = true;
  stop();
}

bool RawServer::process_and_close_socket(socket_t sock) {
  // Answers are written in several small pieces; without this each one may wait for the
  // peer's delayed acknowledgement (tens of milliseconds on loopback).
  int noDelay = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  SSL* ssl = nullptr;
  bool ok = true;
  if (tls_ != nullptr) {
    ssl = SSL_new(tls_);
    ok = ssl != nullptr && SSL_set_fd(ssl, sock) == 1 && Handshake(ssl, sock);
  }
  if (ok) {
    ConnectionStream stream(sock, ssl, *this, settings_.rate_limit);
    current_stream = &stream;
    for (int count = 0; count < kMaxRequestsPerConnection && !stopping(); ++count) {
      if (!stream.NextRequest(kKeepAliveMs)) break;
      bool closed = false;
      bool last = count + 1 == kMaxRequestsPerConnection;
      if (!process_request(stream, last, closed, nullptr) || closed) break;
    }
    current_stream = nullptr;
  }
  if (ssl != nullptr) {
    if (ok) SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

}  // namespace pelvaro::sim
