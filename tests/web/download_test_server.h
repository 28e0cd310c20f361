#pragma once
// A loopback file server for the downloader tests: serves a file of deterministic bytes with
// range answers it builds itself, records every request, and can misbehave on request.

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelvaro {

// The byte at `offset` of every served file; no period, so a block written at the wrong
// place never matches.
char PatternByte(std::int64_t offset);
std::string PatternBytes(std::int64_t offset, std::int64_t count);

struct ServedRequest {
  std::string path;
  std::string range;  // the Range value, empty when there was none
  httplib::Headers headers;
  int remotePort = 0;
};

// Ways the server misbehaves; the default behaves.
struct DownloadServerBehaviour {
  bool ignoreRange = false;          // every answer is 200 with the whole file
  bool wrongRangeStart = false;      // every range answer carries the file's first bytes
  std::int64_t extraBytes = 0;       // a range answer carries this many bytes too many
  std::int64_t dropRangeStart = -1;  // the answer to the range starting here breaks off
  std::int64_t dropAfter = 0;        //   after this many bytes
  std::int64_t holdFrom = -1;        // answers to ranges starting at or after this offset
  std::int64_t holdAfter = 0;        //   send this many bytes, then wait for Release()
  std::string contentLocation;       // sent with every answer when not empty
  bool dropEveryRangeFrom = false;   // every range starting at or after dropRangeStart breaks
  int failFirst = 0;                 // the first this many requests get failStatus
  int failStatus = 503;
  std::string retryAfter;            //   with this Retry-After when not empty
  std::string etag;                  // sent with every answer when not empty; If-Range honoured
  int changeAfter = 0;               // after this many requests the file (bytes, ETag) changes
  std::int64_t dripPerSecond = 0;    // answers come at this many bytes per second
  int port = 0;                      // listen on this port (0: any free one)
};

class DownloadTestServer {
 public:
  explicit DownloadTestServer(std::int64_t size,
                              DownloadServerBehaviour behaviour = DownloadServerBehaviour());
  ~DownloadTestServer();
  DownloadTestServer(const DownloadTestServer&) = delete;
  DownloadTestServer& operator=(const DownloadTestServer&) = delete;

  std::string Url(const std::string& path = "/files/clip.mp4") const;
  std::vector<ServedRequest> Requests() const;
  std::vector<ServedRequest> RangeRequests() const;
  // Lets held answers go on.
  void Release();

 private:
  void Serve(const httplib::Request& request, httplib::Response& response);
  void WaitForRelease();

  const std::int64_t size_;
  const DownloadServerBehaviour behaviour_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool releasedFlag_ = false;
  std::vector<ServedRequest> requests_;
  int served_ = 0;
};

}  // namespace pelvaro
