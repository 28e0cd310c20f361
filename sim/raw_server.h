#pragma once
// An HTTP server that owns its connections: it runs the keep-alive loop and (for HTTPS) the TLS
// session itself and hands each request to cpp-httplib's request processing. Owning the byte
// stream lets the simulator record every request's header lines exactly as they arrived, limit
// the rate per connection, and answer byte ranges itself: an incoming "Range" line reaches the
// library renamed to kRangeHeader, so the library never applies ranges on its own.

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace pelvaro::sim {

inline constexpr const char* kRangeHeader = "X-Sim-Range";

struct ConnectionSettings {
  std::uint64_t rate_limit = 0;  // bytes per second per connection; 0 means none
  int threads = 8;
};

class RawServer : public httplib::Server {
 public:
  // tls may be null (plain HTTP); the server does not own it.
  RawServer(std::string service, SSL_CTX* tls, ConnectionSettings settings);
  ~RawServer() override;

  const std::string& service() const { return service_; }

  // Binds to 127.0.0.1:port (0 picks a free port) and listens; returns the port or -1.
  int Bind(int port);

  // The header lines, as received, of the request being handled on the calling thread.
  static std::vector<std::string> CurrentHeaderLines();

  // Sleeps up to ms milliseconds; returns early (false) when the server stops.
  bool Pause(std::int64_t ms) const;

  // For the request being handled on the calling thread: sleeps up to ms milliseconds and
  // returns false early when the server stops or the client has closed the connection.
  static bool PauseCurrent(std::int64_t ms);
  // Makes the connection of the current request end with a reset (RST) instead of a close.
  static void ResetCurrent();

  // Stops accepting and makes every open connection end at its next wait. The library's own
  // running flag stays set until its threads are joined, so connections watch this one.
  void Shutdown();
  bool stopping() const { return stopping_.load(); }

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool Handshake(SSL* ssl, socket_t sock) const;

  std::string service_;
  SSL_CTX* tls_;
  ConnectionSettings settings_;
  std::atomic<bool> stopping_{false};
};

}  // namespace pelvaro::sim
