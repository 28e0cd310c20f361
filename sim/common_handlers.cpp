#include <cstdio>
#include <memory>

#include "sim/raw_server.h"
#include "sim/request_parts.h"
#include "sim/sim_context.h"
#include "sim/video_content.h"

namespace pelvaro::sim {
namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;
// Chunks of a file that is overwritten in place: small, so that the change falls inside answers.
constexpr std::size_t kOverwriteChunkBytes = 16 * 1024;

}  // namespace

bool VendorState::AddReport(Report report) {
  std::lock_guard lock(mutex_);
  bool first = reported_ids_.insert(report.id).second;
  if (first) pending_seeds_[report.category].push_back(report.id);
  reports_.push_back(std::move(report));
  return first;
}

std::string VendorState::NextSeed(const std::string& category_key,
                                  const std::function<std::string(std::uint64_t)>& pick) {
  std::uint64_t k;
  {
    std::lock_guard lock(mutex_);
    auto& pending = pending_seeds_[category_key];
    if (!pending.empty()) {
      std::string id = pending.front();
      pending.pop_front();
      return id;
    }
    k = seeds_handed_out_[category_key]++;
  }
  return pick(k);
}

std::vector<Report> VendorState::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

void InstallCommon(RawServer& server, SimContext& context) {
  auto counter = std::make_shared<std::atomic<std::uint64_t>>(0);
  server.set_pre_routing_handler([&server, &context, counter](const httplib::Request& req,
                                                              httplib::Response& res) {
    context.journal.Write({{"service", server.service()},
                           {"method", req.method},
                           {"target", req.target},
                           {"version", req.version},
                           {"headers", Journal::QuoteList(RawServer::CurrentHeaderLines()), true},
                           {"body", req.body}});
    const Faults& faults = context.options.faults;
    if (faults.latency_ms > 0) server.Pause(faults.latency_ms);
    std::uint64_t n = ++*counter;
    if (faults.error_every > 0 && n % faults.error_every == 0) {
      res.status = faults.error_status;
      res.set_content("<html><body>" + std::to_string(faults.error_status) + " simulated error</body></html>",
                      "text/html");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    // Keep deliberate empty answers (the 403 of a bad sign line) empty.
    if (res.status == 404 && res.body.empty()) res.set_content("not found", "text/plain");
  });
}

bool JsonFault(std::atomic<std::uint64_t>& counter, const Faults& faults, httplib::Response& res) {
  if (faults.garbage_every == 0 && faults.empty_every == 0) return false;
  std::uint64_t n = ++counter;
  if (faults.garbage_every > 0 && n % faults.garbage_every == 0) {
    res.set_content("<html><body>502 Bad Gateway</body></html>\n{\"recommend_video\":[", "application/json");
    return true;
  }
  if (faults.empty_every > 0 && n % faults.empty_every == 0) {
    res.set_content("", "application/json");
    return true;
  }
  return false;
}

std::uint64_t FileRequests::Next(std::uint64_t key) {
  std::lock_guard lock(mutex_);
  return ++counts_[key];
}

std::uint64_t FileRequests::AddSent(std::uint64_t key, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  return sent_[key] += bytes;
}

std::uint64_t FileRequests::Sent(std::uint64_t key) {
  std::lock_guard lock(mutex_);
  return sent_[key];
}

void ServeFile(const httplib::Request& req, httplib::Response& res, SimContext& context, std::uint64_t key,
               std::uint64_t size, const char* content_type, std::uint64_t index) {
  const Faults& faults = context.options.faults;
  auto chosen = [index](std::uint64_t every) { return every > 0 && index != kNotAVideo && index % every == 0; };
  const std::uint64_t request = context.file_requests.Next(key);
  if (chosen(faults.delay_every) && faults.delay_ms > 0) RawServer::PauseCurrent(faults.delay_ms);
  if (chosen(faults.busy_every) && request <= faults.busy_first) {
    res.status = 503;
    res.set_header("Retry-After", std::to_string(faults.retry_after));
    res.set_content("<html><body>503 busy</body></html>", "text/html");
    return;
  }
  // A changed file is another version: other bytes, another ETag and date. A file overwritten
  // in place becomes that version as well, in the middle of the answers under way.
  const bool overwrites = chosen(faults.overwrite_every) && faults.overwrite_after > 0;
  auto overwritten = [&context, key, overwrites, after = faults.overwrite_after] {
    return overwrites && context.file_requests.Sent(key) >= after;
  };
  const bool changed = (chosen(faults.change_every) && request > faults.change_after) || overwritten();
  const std::uint64_t version_key = changed ? key ^ kSecondVersion : key;
  char etag[40];
  std::snprintf(etag, sizeof etag, "\"%016llx-%d\"", static_cast<unsigned long long>(key), changed ? 2 : 1);
  const char* last_modified = changed ? "Tue, 08 Dec 2026 10:00:00 GMT" : "Mon, 07 Dec 2026 10:00:00 GMT";
  res.set_header("ETag", etag);
  res.set_header("Last-Modified", last_modified);
  // A conditional request of the version the server has gets 304 without a body.
  if ((req.has_header("If-None-Match") && req.get_header_value("If-None-Match") == etag) ||
      (!req.has_header("If-None-Match") && req.get_header_value("If-Modified-Since") == last_modified)) {
    res.status = 304;
    return;
  }

  ByteRange range;
  RangeKind kind = RangeKind::None;
  if (!faults.ignore_range) kind = ParseRange(req.get_header_value(kRangeHeader), size, range);
  // A range asked of another version than this one gets the whole file (RFC 9110 If-Range).
  if (req.has_header("If-Range") && req.get_header_value("If-Range") != etag &&
      req.get_header_value("If-Range") != res.get_header_value("Last-Modified")) {
    kind = RangeKind::None;
  }
  res.set_header("Accept-Ranges", "bytes");
  if (kind == RangeKind::Unsatisfiable) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    return;
  }
  if (kind == RangeKind::None) {
    range.first = 0;
    range.length = size;
    res.status = 200;
  } else {
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                        std::to_string(range.first + range.length - 1) + "/" +
                                        std::to_string(size));
  }
  std::int64_t declared = static_cast<std::int64_t>(range.length) + faults.length_delta;
  if (declared < 1) declared = 1;
  std::uint64_t sent = std::min<std::uint64_t>(range.length, static_cast<std::uint64_t>(declared));
  if (faults.drop_after > 0) sent = std::min(sent, faults.drop_after);
  const bool broken = chosen(faults.broken_every);
  const bool reset = broken || (chosen(faults.reset_every) && request <= faults.reset_first);
  if (reset) sent = std::min<std::uint64_t>(sent, broken ? 1000 : faults.reset_after);
  const bool stall = chosen(faults.stall_every) && sent > faults.stall_after;
  if (stall) sent = faults.stall_after;
  const std::uint64_t drip = chosen(faults.drip_every) ? faults.drip : 0;
  std::uint64_t first = range.first;
  res.set_content_provider(static_cast<std::size_t>(declared), content_type,
                           [version_key, first, sent, reset, stall, drip, key, overwrites, overwritten,
                            &context](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                             if (offset >= sent) {
                               // A stalled answer stays silent with the connection open until the client
                               // gives up.
                               if (stall) {
                                 while (RawServer::PauseCurrent(1000)) {
                                 }
                               }
                               if (reset) RawServer::ResetCurrent();
                               return false;  // past the bytes this answer may send, the connection is cut
                             }
                             thread_local std::unique_ptr<char[]> buffer(new char[kChunkBytes]);
                             std::size_t n = std::min<std::uint64_t>(
                                 {length, sent - offset, overwrites ? kOverwriteChunkBytes : kChunkBytes});
                             if (drip > 0) {
                               // A tenth of a second's worth at a time.
                               n = std::min<std::size_t>(n, std::max<std::uint64_t>(1, drip / 10));
                               if (!RawServer::PauseCurrent(static_cast<std::int64_t>(n * 1000 / drip)))
                                 return false;
                             }
                             VideoContent::Fill(overwritten() ? key ^ kSecondVersion : version_key,
                                                first + offset, buffer.get(), n);
                             if (!sink.write(buffer.get(), n)) return false;
                             if (overwrites) context.file_requests.AddSent(key, n);
                             return true;
                           });
}

}  // namespace pelvaro::sim
