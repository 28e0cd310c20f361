#pragma once
// A loopback HTTP server on raw sockets for tests that must see a request exactly as it went
// over the wire (line order and spelling of every header). One request per connection; the
// handler writes whatever bytes it likes and may hold the connection open until the client
// hangs up.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelvaro::testing {

struct RawRequest {
  std::string requestLine;
  std::vector<std::string> headerLines;  // in order, without CR LF
  std::string body;

  // Value of the first header of this name (exact spelling), or "" when absent.
  std::string Header(std::string_view name) const {
    for (const std::string& line : headerLines) {
      if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 && line[name.size()] == ':') {
        std::size_t start = line.find_first_not_of(' ', name.size() + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
      }
    }
    return {};
  }
  std::string Path() const {
    std::size_t first = requestLine.find(' ');
    std::size_t last = requestLine.rfind(' ');
    return requestLine.substr(first + 1, last - first - 1);
  }
};

class RawConnection {
 public:
  RawConnection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}
  // False once the client has gone.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }
  // Blocks until the client closes the connection or the server shuts down.
  void HoldUntilClientLeaves() {
    char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
      if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
    }
  }

 private:
  int fd_;
  int stopFd_;
};

// A loopback port that refuses connections: bound (so no other process can take it) but not
// listening.
class RefusingPort {
 public:
  RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { ::close(fd_); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

class RawHttpServer {
 public:
  using Handler = std::function<void(const RawRequest&, RawConnection&)>;

  explicit RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listenFd_, 16);
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe(stopPipe_) != 0) stopPipe_[0] = stopPipe_[1] = -1;
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~RawHttpServer() {
    if (::write(stopPipe_[1], "x", 1) != 1) ::shutdown(listenFd_, SHUT_RDWR);
    acceptor_.join();
    for (std::thread& t : connections_) t.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
  }

  int port() const { return port_; }
  std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::vector<RawRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  // Connections accepted so far, whether or not they sent an HTTP request.
  int connections() const { return accepted_.load(); }

  // A complete response with Content-Length and "Connection: close".
  static std::string Response(std::string_view statusLine, std::string_view body,
                              std::string_view extraHeaderLines = {}) {
    std::string out = "HTTP/1.1 " + std::string(statusLine) + "\r\n";
    out += extraHeaderLines;
    out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
  }

 private:
  void AcceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
      int fd = ::accept(listenFd_, nullptr, nullptr);
      if (fd < 0) continue;
      ++accepted_;
      connections_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  void Serve(int fd) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return Close(fd);
      ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return Close(fd);
      data.append(buffer, static_cast<std::size_t>(got));
    }
    RawRequest request;
    std::string_view head(data.data(), headEnd);
    std::size_t lineEnd = head.find("\r\n");
    request.requestLine = std::string(head.substr(0, lineEnd));
    while (lineEnd != std::string_view::npos) {
      std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      request.headerLines.emplace_back(
          head.substr(start, lineEnd == std::string_view::npos ? head.npos : lineEnd - start));
    }
    std::size_t bodyLength = 0;
    if (std::string length = request.Header("Content-Length"); !length.empty())
      bodyLength = std::stoul(length);
    request.body = data.substr(headEnd + 4);
    while (request.body.size() < bodyLength) {
      ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.body.append(buffer, static_cast<std::size_t>(got));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    RawConnection connection(fd, stopPipe_[0]);
    handler_(request, connection);
    Close(fd);
  }

  static void Close(int fd) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }

  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  int stopPipe_[2] = {-1, -1};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor only, joined after it
  mutable std::mutex mutex_;
  std::vector<RawRequest> requests_;
  std::atomic<int> accepted_{0};
};

}  // namespace pelvaro::testing
