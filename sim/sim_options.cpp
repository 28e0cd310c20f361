#include "sim/sim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>

namespace pelvaro::sim {
namespace {

template <typename T>
bool ReadInteger(const std::string& text, T& value) {
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

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
      if (!next()) return false;
      char* end = nullptr;
      options.size_scale = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !(options.size_scale > 0)) return bad();
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
      if (!next()) return false;
      options.ports_file = value;
    } else if (flag == "--journal") {
      if (!next()) return false;
      options.journal = value;
    } else if (flag == "--cert-out") {
      if (!next()) return false;
      options.cert_out = value;
    } else if (flag == "--env-file") {
      if (!next()) return false;
      options.env_file = value;
    } else if (flag == "--threads") {
      if (!integer(options.threads)) return false;
    } else if (flag == "--latency-ms") {
      if (!integer(options.faults.latency_ms)) return false;
    } else if (flag == "--rate-limit") {
      if (!integer(options.faults.rate_limit)) return false;
    } else if (flag == "--drop-after") {
      if (!integer(options.faults.drop_after)) return false;
    } else if (flag == "--stall-after") {
      if (!integer(options.faults.stall_after)) return false;
      if (options.faults.stall_every == 0) options.faults.stall_every = 1;
    } else if (flag == "--reset-after") {
      if (!integer(options.faults.reset_after)) return false;
      if (options.faults.reset_every == 0) options.faults.reset_every = 1;
    } else if (flag == "--reset-first") {
      if (!integer(options.faults.reset_first)) return false;
    } else if (flag == "--busy-first") {
      if (!integer(options.faults.busy_first)) return false;
      if (options.faults.busy_every == 0) options.faults.busy_every = 1;
    } else if (flag == "--retry-after") {
      if (!integer(options.faults.retry_after)) return false;
    } else if (flag == "--change-after") {
      if (!integer(options.faults.change_after)) return false;
      if (options.faults.change_every == 0) options.faults.change_every = 1;
    } else if (flag == "--file-delay-ms") {
      if (!integer(options.faults.delay_ms)) return false;
      if (options.faults.delay_every == 0) options.faults.delay_every = 1;
    } else if (flag == "--drip") {
      if (!integer(options.faults.drip)) return false;
      if (options.faults.drip_every == 0) options.faults.drip_every = 1;
    } else if (flag == "--overwrite-after") {
      if (!integer(options.faults.overwrite_after)) return false;
      if (options.faults.overwrite_every == 0) options.faults.overwrite_every = 1;
    } else if (flag == "--overwrite-every") {
      if (!integer(options.faults.overwrite_every)) return false;
    } else if (flag == "--video-host") {
      if (!next()) return false;
      options.video_host = value;
    } else if (flag == "--broken-every") {
      if (!integer(options.faults.broken_every)) return false;
    } else if (flag == "--stall-every") {
      if (!integer(options.faults.stall_every)) return false;
    } else if (flag == "--reset-every") {
      if (!integer(options.faults.reset_every)) return false;
    } else if (flag == "--busy-every") {
      if (!integer(options.faults.busy_every)) return false;
    } else if (flag == "--change-every") {
      if (!integer(options.faults.change_every)) return false;
    } else if (flag == "--delay-every") {
      if (!integer(options.faults.delay_every)) return false;
    } else if (flag == "--drip-every") {
      if (!integer(options.faults.drip_every)) return false;
    } else if (flag == "--ignore-range") {
      options.faults.ignore_range = true;
    } else if (flag == "--wrong-length") {
      if (!integer(options.faults.length_delta)) return false;
    } else if (flag == "--garbage-every") {
      if (!integer(options.faults.garbage_every)) return false;
    } else if (flag == "--empty-every") {
      if (!integer(options.faults.empty_every)) return false;
    } else if (flag == "--error-every") {
      if (!integer(options.faults.error_every)) return false;
    } else if (flag == "--error-status") {
      if (!integer(options.faults.error_status)) return false;
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
      if (!next()) return false;
      options.offered_version = value;
    } else if (flag == "--update-size") {
      if (!integer(options.update_size)) return false;
    } else if (flag == "--update-file-name") {
      if (!next()) return false;
      options.update_file_name = value;
    } else if (flag == "--update-download-name") {
      if (!next()) return false;
      options.update_download_name = value;
    } else if (flag == "--manifest-encoding") {
      if (!next()) return false;
      if (value == "gbk")
        options.manifest_gbk = true;
      else if (value == "utf8" || value == "utf-8")
        options.manifest_gbk = false;
      else
        return bad();
    } else if (flag == "--update-key-out") {
      if (!next()) return false;
      options.update_key_out = value;
    } else if (flag == "--update-signature") {
      if (!next()) return false;
      static const std::set<std::string> kModes = {"good",      "none",          "tampered",
                                                   "other-key", "wrong-comment", "garbage"};
      if (kModes.count(value) == 0) return bad();
      options.update_signature = value;
    } else if (flag == "--answer-size-scale") {
      if (!next()) return false;
      char* end = nullptr;
      options.answer_size_scale = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !(options.answer_size_scale > 0)) return bad();
    } else if (flag == "--announcement") {
      if (!next()) return false;
      options.announcement = value;
    } else if (flag == "--quote") {
      if (!next()) return false;
      options.quote = value;
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
