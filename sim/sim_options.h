#pragma once
// Everything the simulator can be told on its command line.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pelvaro::sim {

// The services in the order of the ports file.
inline const std::vector<std::string>& ServiceNames() {
  static const std::vector<std::string> names = {"platform", "vendor_api", "vendor_list", "update1",
                                                 "update2",  "update3",    "quote",       "speech"};
  return names;
}

// The fixed default ports, in the order of ServiceNames(): the program's built-in host defaults.
inline const std::vector<int>& DefaultPorts() {
  static const std::vector<int> ports = {47801, 47802, 47803, 47804, 47805, 47806, 47807, 47808};
  return ports;
}

struct Faults {
  std::int64_t latency_ms = 0;      // before every answer
  std::uint64_t rate_limit = 0;     // bytes per second per connection (platform and update hosts)
  std::uint64_t drop_after = 0;     // a file answer ends after this many body bytes
  bool ignore_range = false;        // files always come whole with 200
  std::int64_t length_delta = 0;    // added to the Content-Length of file answers
  std::uint64_t garbage_every = 0;  // every Nth JSON answer is not JSON
  std::uint64_t empty_every = 0;    // every Nth JSON answer is empty
  std::uint64_t error_every = 0;    // every Nth request of a service gets error_status
  int error_status = 503;

  // Faults of the video files, each for every Nth video (by article index; 1 means every
  // video), off while its every-value is 0. Request counts are per file, from 1.
  std::uint64_t stall_every = 0;  // after stall_after body bytes the answer goes silent
  std::uint64_t stall_after = 0;
  std::uint64_t reset_every = 0;  // requests 1..reset_first break with a reset after reset_after bytes
  std::uint64_t reset_after = 0;
  std::uint64_t reset_first = 1;
  std::uint64_t busy_every = 0;   // requests 1..busy_first get 503 with Retry-After
  std::uint64_t busy_first = 1;
  std::uint64_t retry_after = 1;
  std::uint64_t change_every = 0;  // after change_after requests the file's bytes and ETag change
  std::uint64_t change_after = 1;
  std::uint64_t delay_every = 0;  // delay_ms before every answer of the file
  std::int64_t delay_ms = 0;
  std::uint64_t drip_every = 0;   // the body comes at drip bytes per second
  std::uint64_t drip = 0;
  std::uint64_t broken_every = 0;  // every answer of the file is reset after 1000 bytes
  // Once overwrite_after body bytes of a file have been sent (all its answers together), the
  // file is overwritten in place: answers still under way go on with the new bytes, later
  // answers carry the new ETag and date.
  std::uint64_t overwrite_every = 0;
  std::uint64_t overwrite_after = 0;
};

struct SimOptions {
  std::uint64_t seed = 1;
  std::size_t articles = 5000;
  double size_scale = 1.0;
  bool hostile = false;
  std::vector<std::string> titles;  // --titles FILE: one a line, "\xHH" a raw byte
  bool ephemeral = false;
  std::map<std::string, int> ports;  // explicit ports by service name
  std::string ports_file;
  std::string journal;
  std::string cert_out;
  // Shell lines that point the programs at the simulator; the certificate goes beside it
  // (PATH + ".pem") unless cert_out names a file.
  std::string env_file;
  int threads = 32;  // connection threads of the platform; the other services use 16
  Faults faults;
  // Update hosts (1 to 3) whose /test.txt answers "ok".
  std::set<int> update_hosts_ok = {1, 2, 3};
  std::string offered_version = "4.6";  // "版本" of the update manifest
  std::uint64_t update_size = 2 * 1024 * 1024;
  std::string update_file_name;      // default "pelvaro-collector-" + version
  std::string update_download_name;  // the download address's last part; default version + ".bin"
  bool manifest_gbk = false;
  std::string update_key_out;             // where the update-signing public key is written
  std::string update_signature = "good";  // good, none, tampered, other-key, wrong-comment, garbage
  double answer_size_scale = 1.0;         // multiplies the sizes the related-videos answers state
  std::string announcement = "欢迎使用！本公告来自模拟更新服务器。";
  std::optional<std::string> quote;  // a fixed quote instead of the rotating list
  bool no_category_service = false;  // the collection service answers "all" with nothing
  // "host:port" that the video addresses of the related-videos answers name instead of the
  // platform's own (empty: the platform).
  std::string video_host;
};

// Parses argv; on a bad flag returns false with a message. help is set for --help, version for
// --version.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error, bool& help,
                     bool& version);
std::string SimUsage();

}  // namespace pelvaro::sim
