#pragma once
// What every service of one simulator shares: the options, the graph, the journal, the bound
// ports, and the state the vendor's services learn while running.

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/graph.h"
#include "sim/journal.h"
#include "sim/sim_options.h"

namespace pelvaro::sim {

class RawServer;

// One report of a video to the collection service.
struct Report {
  std::string category;  // UTF-8
  std::string id;
  std::string del;
};

// State of the collection and notification services, in memory for the run.
class VendorState {
 public:
  // Records a report; true the first time this id is reported.
  bool AddReport(Report report);
  // The next seed for a category: a reported id not handed out yet, else the graph's choice.
  std::string NextSeed(const std::string& category_key,
                       const std::function<std::string(std::uint64_t)>& pick);
  std::vector<Report> Reports() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Report> reports_;
  std::set<std::string> reported_ids_;
  std::map<std::string, std::deque<std::string>> pending_seeds_;
  std::map<std::string, std::uint64_t> seeds_handed_out_;
};

// How many requests each served file has had, for the faults of the first few requests, and
// how many of its body bytes were sent, for the in-place overwrite.
class FileRequests {
 public:
  // Counts one more request of the file and returns its number (from 1).
  std::uint64_t Next(std::uint64_t key);
  // Counts body bytes sent of the file; returns the total so far.
  std::uint64_t AddSent(std::uint64_t key, std::uint64_t bytes);
  std::uint64_t Sent(std::uint64_t key);

 private:
  std::mutex mutex_;
  std::map<std::uint64_t, std::uint64_t> counts_;
  std::map<std::uint64_t, std::uint64_t> sent_;
};

struct SimContext {
  SimContext(const SimOptions& o, const Graph& g, Journal& j) : options(o), graph(g), journal(j) {}

  const SimOptions& options;
  const Graph& graph;
  Journal& journal;
  std::map<std::string, int> ports;  // filled once every service is bound
  VendorState vendor;
  std::atomic<std::uint64_t> quote_count{0};
  FileRequests file_requests;
  // The signature file served beside the update download; empty: there is none (404).
  std::string update_signature;
};

// Installs the parts every service shares: the journal line, latency and error statuses.
void InstallCommon(RawServer& server, SimContext& context);

// True when this JSON answer should be replaced by garbage or nothing; sets the answer then.
bool JsonFault(std::atomic<std::uint64_t>& counter, const Faults& faults, httplib::Response& res);

// The index of a file that no every-Nth fault touches (the update download).
inline constexpr std::uint64_t kNotAVideo = ~std::uint64_t{0};

// Serves the bytes of a generated file with an ETag and Last-Modified, honouring one byte
// range, If-Range and the file faults. `index` picks the files of the every-Nth faults.
void ServeFile(const httplib::Request& req, httplib::Response& res, SimContext& context, std::uint64_t key,
               std::uint64_t size, const char* content_type, std::uint64_t index = 0);

void InstallPlatform(RawServer& server, SimContext& context);
void InstallVendorApi(RawServer& server, SimContext& context);
void InstallVendorList(RawServer& server, SimContext& context);
void InstallUpdateHost(RawServer& server, SimContext& context, int number);
void InstallQuote(RawServer& server, SimContext& context);
void InstallSpeech(RawServer& server, SimContext& context);

}  // namespace pelvaro::sim
