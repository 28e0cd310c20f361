#include "sim/sim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string_view>
#include <variant>

namespace pelvaro::sim {
namespace {

template <typename T>
bool ReadInteger(const std::string& text, T& value) {
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The fault flags that take a number. A count that means something only with an every-value
// switches that on for every file when the command line leaves it off.
struct FaultFlag {
  std::string_view name;
  std::variant<std::int64_t Faults::*, std::uint64_t Faults::*, int Faults::*> field;
  std::uint64_t Faults::*switchesOn = nullptr;
};

const FaultFlag kFaultFlags[] = {
    {"--latency-ms", &Faults::latency_ms},
    {"--rate-limit", &Faults::rate_limit},
    {"--drop-after", &Faults::drop_after},
    {"--stall-after", &Faults::stall_after, &Faults::stall_every},
    {"--reset-after", &Faults::reset_after, &Faults::reset_every},
    {"--reset-first", &Faults::reset_first},
    {"--busy-first", &Faults::busy_first, &Faults::busy_every},
    {"--retry-after", &Faults::retry_after},
    {"--change-after", &Faults::change_after, &Faults::change_every},
    {"--file-delay-ms", &Faults::delay_ms, &Faults::delay_every},
    {"--drip", &Faults::drip, &Faults::drip_every},
    {"--overwrite-after", &Faults::overwrite_after, &Faults::overwrite_every},
    {"--overwrite-every", &Faults::overwrite_every},
    {"--broken-every", &Faults::broken_every},
    {"--stall-every", &Faults::stall_every},
    {"--reset-every", &Faults::reset_every},
    {"--busy-every", &Faults::busy_every},
    {"--change-every", &Faults::change_every},
    {"--delay-every", &Faults::delay_every},
    {"--drip-every", &Faults::drip_every},
    {"--wrong-length", &Faults::length_delta},
    {"--garbage-every", &Faults::garbage_every},
    {"--empty-every", &Faults::empty_every},
    {"--error-every", &Faults::error_every},
    {"--error-status", &Faults::error_status},
};

// A line of the titles file: "\xHH" stands for the byte HH, everything else for itself.
std::string UnescapeBytes(const std::string& line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    unsigned byte = 0;
    if (line.compare(i, 2, "\\x") == 0 && i + 4 <= line.size() &&
        std::from_chars(line.data() + i + 2, line.data() + i + 4, byte, 16).ptr == line.data() + i + 4) {
      out.push_back(static_cast<char>(byte));
      i += 3;
    } else {
      out.push_back(line[i]);
    }
  }
  return out;
}

}  // namespace

std::string SimUsage() {
  return R"(Usage: pelvaro-sim [OPTION]...
Serves the Pelvaro platform and the vendor's services on loopback, so that pelvaro-collector
and pelvaro-cli can be tried without the platform. Runs until SIGINT or SIGTERM.

Options:
  --seed N                 graph seed (1)
  --articles N             number of articles (5000)
  --size-scale F           multiplies every declared file size (1.0)
  --hostile                some docids, titles and categories try to escape folders
  --titles FILE            the articles' titles in turn, one a line ("\xHH" a raw byte); a
                           title that is not UTF-8 is shown on its article page only
  --ephemeral              every service on a free port instead of its default
  --port NAME=PORT         one service on a given port (names as in the ports file)
  --ports-file PATH        write the ports in use as JSON once every service listens
  --journal PATH           append one JSON line per request received
  --cert-out PATH          write the HTTPS certificate (PEM)
  --env-file PATH          once every service listens, write the PELVARO_* variables that
                           point the programs at the simulator, for a shell to source
                           (the certificate goes to PATH.pem unless --cert-out names one)
  --threads N              connection threads of the platform (32)
  --latency-ms N           wait before every answer
  --rate-limit BYTES       per-connection rate limit of file answers, bytes per second
  --drop-after BYTES       cut every file answer after this many body bytes
  --ignore-range           answer ranged file requests with 200 and the whole file
  --wrong-length DELTA     add DELTA to the Content-Length of file answers
  --garbage-every N        every Nth JSON answer is not JSON
  --empty-every N          every Nth JSON answer is empty
  --error-every N          every Nth request of each service gets an error status
  --error-status S         the status of --error-every (503)
  --stall-after BYTES      a video answer goes silent after BYTES, the connection left open
  --reset-after BYTES      a video answer is reset after BYTES, for the first K requests
  --reset-first K          ... of each file (1)
  --busy-first K           the first K requests of each video get 503 with Retry-After
  --retry-after S          the Retry-After of --busy-first (1)
  --change-after K         after K requests a video's bytes and ETag change
  --file-delay-ms N        wait before every answer of a video
  --drip BYTES             a video answer comes at BYTES per second
  --stall-every N, --reset-every N, --busy-every N, --change-every N, --delay-every N,
  --drip-every N           the fault for every Nth video only (1: every video)
  --broken-every N         every Nth video is reset after 1000 bytes at every request
  --overwrite-after BYTES  once BYTES of a video were sent, it is overwritten in place (same size)
  --overwrite-every N      ... for every Nth video only (1)
  --video-host HOST:PORT   the related videos' file addresses name this host instead
  --update-hosts LIST      update hosts whose /test.txt answers "ok", e.g. 2,3 (1,2,3)
  --offered-version TEXT   version in the update manifest (4.6, no update)
  --update-size BYTES      size of the update download (2097152)
  --update-file-name NAME  file name in the update manifest
  --update-download-name P the download address ends in /down_pelvaro/download/P
  --manifest-encoding E    utf8 or gbk, for index.json and gonggao.json (utf8)
  --update-key-out PATH    write the public key that signs the update file (minisign format)
  --update-signature MODE  the update file's signature (download address + ".minisig"):
                           good, none, tampered, other-key, wrong-comment or garbage (good)
  --answer-size-scale F    the related-videos answers state each file's size times F (1.0)
  --announcement TEXT      the announcement in gonggao.json
  --quote TEXT             always answer this quote
  --no-category-service    the collection service answers "all" with an empty body
  -h, --help               this text
  --version                the simulator's version
)";
}

bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error, bool& help,
                     bool& version) {
  help = false;
  version = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string flag = args[i];
    std::string value;
    bool has_inline = false;
    if (auto eq = flag.find('='); flag.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = flag.substr(eq + 1);
      flag = flag.substr(0, eq);
      has_inline = true;
    }
    auto next = [&]() -> bool {
      if (has_inline) return true;
      if (i + 1 >= args.size()) {
        error = flag + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    auto bad = [&]() {
      error = "bad value for " + flag + ": " + value;
      return false;
    };
    auto integer = [&](auto& target) -> bool { return next() && (ReadInteger(value, target) || bad()); };
    auto text = [&](auto& target) {
      if (!next()) return false;
      target = value;
      return true;
    };
    auto positive = [&](double& target) {
      if (!next()) return false;
      char* end = nullptr;
      target = std::strtod(value.c_str(), &end);
      return (end != value.c_str() && *end == '\0' && target > 0) || bad();
    };

    const auto fault = std::find_if(std::begin(kFaultFlags), std::end(kFaultFlags),
                                    [&](const FaultFlag& f) { return f.name == flag; });
    if (fault != std::end(kFaultFlags)) {
      if (!std::visit([&](auto field) { return integer(options.faults.*field); }, fault->field)) return false;
      if (fault->switchesOn != nullptr && options.faults.*fault->switchesOn == 0)
        options.faults.*fault->switchesOn = 1;
      continue;
    }
    if (flag == "--help" || flag == "-h") {
      help = true;
      return true;
    } else if (flag == "--version") {
      version = true;
      return true;
    } else if (flag == "--seed") {
      if (!integer(options.seed)) return false;
    } else if (flag == "--articles") {
      if (!integer(options.articles)) return false;
    } else if (flag == "--size-scale") {
      if (!positive(options.size_scale)) return false;
    } else if (flag == "--hostile") {
      options.hostile = true;
    } else if (flag == "--titles") {
      if (!next()) return false;
      std::ifstream in(value, std::ios::binary);
      if (!in) {
        error = "pelvaro-sim: cannot read the titles file " + value;
        return false;
      }
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) options.titles.push_back(UnescapeBytes(line));
      }
    } else if (flag == "--ephemeral") {
      options.ephemeral = true;
    } else if (flag == "--port") {
      if (!next()) return false;
      auto eq = value.find('=');
      int port = 0;
      if (eq == std::string::npos || !ReadInteger(value.substr(eq + 1), port) ||
          std::find(ServiceNames().begin(), ServiceNames().end(), value.substr(0, eq)) ==
              ServiceNames().end()) {
        return bad();
      }
      options.ports[value.substr(0, eq)] = port;
    } else if (flag == "--ports-file") {
      if (!text(options.ports_file)) return false;
    } else if (flag == "--journal") {
      if (!text(options.journal)) return false;
    } else if (flag == "--cert-out") {
      if (!text(options.cert_out)) return false;
    } else if (flag == "--env-file") {
      if (!text(options.env_file)) return false;
    } else if (flag == "--threads") {
      if (!integer(options.threads)) return false;
    } else if (flag == "--video-host") {
      if (!text(options.video_host)) return false;
    } else if (flag == "--ignore-range") {
      options.faults.ignore_range = true;
    } else if (flag == "--update-hosts") {
      if (!next()) return false;
      options.update_hosts_ok.clear();
      for (char c : value) {
        if (c >= '1' && c <= '3')
          options.update_hosts_ok.insert(c - '0');
        else if (c != ',' && c != ' ')
          return bad();
      }
    } else if (flag == "--offered-version") {
      if (!text(options.offered_version)) return false;
    } else if (flag == "--update-size") {
      if (!integer(options.update_size)) return false;
    } else if (flag == "--update-file-name") {
      if (!text(options.update_file_name)) return false;
    } else if (flag == "--update-download-name") {
      if (!text(options.update_download_name)) return false;
    } else if (flag == "--manifest-encoding") {
      if (!next()) return false;
      if (value == "gbk")
        options.manifest_gbk = true;
      else if (value == "utf8" || value == "utf-8")
        options.manifest_gbk = false;
      else
        return bad();
    } else if (flag == "--update-key-out") {
      if (!text(options.update_key_out)) return false;
    } else if (flag == "--update-signature") {
      if (!next()) return false;
      static const std::set<std::string> kModes = {"good",      "none",          "tampered",
                                                   "other-key", "wrong-comment", "garbage"};
      if (kModes.count(value) == 0) return bad();
      options.update_signature = value;
    } else if (flag == "--answer-size-scale") {
      if (!positive(options.answer_size_scale)) return false;
    } else if (flag == "--announcement") {
      if (!text(options.announcement)) return false;
    } else if (flag == "--quote") {
      if (!text(options.quote)) return false;
    } else if (flag == "--no-category-service") {
      options.no_category_service = true;
    } else {
      error = "unknown flag " + flag;
      return false;
    }
  }
  return true;
}

}  // namespace pelvaro::sim
