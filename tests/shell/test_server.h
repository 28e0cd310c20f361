#pragma once
// A real HTTP server on a free loopback port, running on its own thread, that records every
// request it answers. Routes are added before Start().

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelvaro::testing {

struct SeenRequest {
  std::string target;  // path and query as sent
  httplib::Headers headers;
};

class TestServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // The port is bound at once, so that address() can go into the answers of routes.
  TestServer() { port_ = server_.bind_to_any_port("127.0.0.1"); }
  ~TestServer() { Stop(); }

  void Get(const std::string& pattern, Handler handler) {
    server_.Get(pattern, [this, handler](const httplib::Request& request, httplib::Response& response) {
      {
        std::lock_guard lock(mutex_);
        seen_.push_back({request.target, request.headers});
      }
      handler(request, response);
    });
  }
  // Answers a fixed body.
  void Serve(const std::string& path, std::string body, std::string type = "text/plain") {
    Get(path, [body, type](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, type);
    });
  }

  void Start() {
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void Stop() {
    if (thread_.joinable()) {
      server_.stop();
      thread_.join();
    }
  }

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<SeenRequest> seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  std::vector<std::string> targets() {
    std::vector<std::string> out;
    for (const auto& request : seen()) out.push_back(request.target);
    return out;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<SeenRequest> seen_;
};

// "127.0.0.1:<port>" where nothing listens: a server that was started and stopped again.
inline std::string ClosedAddress() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace pelvaro::testing
