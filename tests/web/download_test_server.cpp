#include "web/download_test_server.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace pelvaro {

char PatternByte(std::int64_t offset) {
  std::uint64_t x = static_cast<std::uint64_t>(offset) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  return static_cast<char>(x >> 56);
}

std::string PatternBytes(std::int64_t offset, std::int64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  for (std::int64_t i = 0; i < count; ++i) bytes[static_cast<std::size_t>(i)] = PatternByte(offset + i);
  return bytes;
}

namespace {

// "bytes=A-B" or "bytes=A-": the first and last byte, clamped to the file.
bool ParseRange(const std::string& value, std::int64_t size, std::int64_t& first, std::int64_t& last) {
  const std::string prefix = "bytes=";
  if (value.compare(0, prefix.size(), prefix) != 0) return false;
  auto dash = value.find('-', prefix.size());
  if (dash == std::string::npos) return false;
  const char* begin = value.data() + prefix.size();
  if (std::from_chars(begin, value.data() + dash, first).ec != std::errc()) return false;
  last = size - 1;
  if (dash + 1 < value.size()) {
    if (std::from_chars(value.data() + dash + 1, value.data() + value.size(), last).ec != std::errc())
      return false;
  }
  last = std::min(last, size - 1);
  return first <= last;
}

}  // namespace

DownloadTestServer::DownloadTestServer(std::int64_t size, DownloadServerBehaviour behaviour)
    : size_(size), behaviour_(std::move(behaviour)) {
  server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response);
  });
  if (behaviour_.port > 0) {
    port_ = server_.bind_to_port("127.0.0.1", behaviour_.port) ? behaviour_.port : 0;
  } else {
    port_ = server_.bind_to_any_port("127.0.0.1");
  }
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::yield();
}

DownloadTestServer::~DownloadTestServer() {
  Release();
  server_.stop();
  thread_.join();
}

std::string DownloadTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<ServedRequest> DownloadTestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<ServedRequest> DownloadTestServer::RangeRequests() const {
  std::vector<ServedRequest> ranges;
  for (auto& request : Requests()) {
    if (!request.range.empty()) ranges.push_back(request);
  }
  return ranges;
}

void DownloadTestServer::Release() {
  std::lock_guard lock(mutex_);
  releasedFlag_ = true;
  released_.notify_all();
}

void DownloadTestServer::WaitForRelease() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return releasedFlag_; });
}

void DownloadTestServer::Serve(const httplib::Request& request, httplib::Response& response) {
  std::string range = request.get_header_value("Range");
  int number = 0;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(ServedRequest{request.path, range, request.headers, request.remote_port});
    number = ++served_;
  }
  if (number <= behaviour_.failFirst) {
    response.status = behaviour_.failStatus;
    if (!behaviour_.retryAfter.empty()) response.set_header("Retry-After", behaviour_.retryAfter);
    response.set_content("busy", "text/plain");
    return;
  }
  // A changed file has other bytes and another ETag; a range asked If-Range of the old
  // version gets the whole new file.
  const bool changed = behaviour_.changeAfter > 0 && number > behaviour_.changeAfter;
  const std::int64_t shift = changed ? 7 : 0;
  if (!behaviour_.etag.empty()) {
    const std::string etag = changed ? behaviour_.etag + "2" : behaviour_.etag;
    response.set_header("ETag", etag);
    if (request.has_header("If-Range") && request.get_header_value("If-Range") != etag) range.clear();
  }
  if (!behaviour_.contentLocation.empty())
    response.set_header("Content-Location", behaviour_.contentLocation);

  std::int64_t first = 0;
  std::int64_t last = size_ - 1;
  std::int64_t sourceStart = 0;
  std::int64_t length = size_;
  std::int64_t rangeLength = size_;
  if (!range.empty() && !behaviour_.ignoreRange) {
    if (!ParseRange(range, size_, first, last)) {
      response.status = 416;
      return;
    }
    response.status = 206;
    const std::int64_t rangeStart = behaviour_.wrongRangeStart ? 0 : first;
    sourceStart = rangeStart + shift;
    response.set_header("Content-Range", "bytes " + std::to_string(rangeStart) + "-" +
                                             std::to_string(rangeStart + last - first) + "/" +
                                             std::to_string(size_));
    rangeLength = last - first + 1;
    length = rangeLength + behaviour_.extraBytes;
  }
  // This library version applies ranges to a provider's output on its own and reads past
  // the end for ranges that end beyond the file; the answer above is already the range.
  const_cast<httplib::Request&>(request).ranges.clear();

  if (range.empty()) sourceStart = shift;
  const bool drop = !range.empty() && (behaviour_.dropEveryRangeFrom ? first >= behaviour_.dropRangeStart
                                                                       : first == behaviour_.dropRangeStart);
  const bool hold = !range.empty() && behaviour_.holdFrom >= 0 && first >= behaviour_.holdFrom;
  response.set_content_provider(
      static_cast<std::size_t>(length), "application/octet-stream",
      [this, sourceStart, length, rangeLength, drop, hold](std::size_t offset, std::size_t count,
                                                           httplib::DataSink& sink) {
        std::int64_t from = static_cast<std::int64_t>(offset);
        std::int64_t end = std::min<std::int64_t>(length, from + static_cast<std::int64_t>(count));
        end = std::min<std::int64_t>(end, from + 256 * 1024);
        if (behaviour_.dripPerSecond > 0) {
          end = std::min<std::int64_t>(end, from + std::max<std::int64_t>(1, behaviour_.dripPerSecond / 10));
          std::this_thread::sleep_for(
              std::chrono::milliseconds((end - from) * 1000 / behaviour_.dripPerSecond));
        }
        if (drop && end > behaviour_.dropAfter) {
          if (from < behaviour_.dropAfter) {
            std::string bytes = PatternBytes(sourceStart + from, behaviour_.dropAfter - from);
            sink.write(bytes.data(), bytes.size());
          }
          return false;
        }
        if (hold && from >= behaviour_.holdAfter) WaitForRelease();
        if (hold && from < behaviour_.holdAfter) end = std::min(end, behaviour_.holdAfter);
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(end - from));
        for (std::int64_t i = from; i < end; ++i) {
          // Bytes beyond the range asked for (extraBytes) are a constant marker.
          bytes.push_back(i < rangeLength ? PatternByte(sourceStart + i) : '\xEE');
        }
        return sink.write(bytes.data(), bytes.size());
      });
}

}  // namespace pelvaro
