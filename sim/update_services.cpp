// The three update hosts (probe, manifest, download, announcement), the quote service and the
// speech service.

#include <memory>
#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "sim/raw_server.h"
#include "sim/request_parts.h"
#include "sim/silent_mp3.h"
#include "sim/sim_context.h"
#include "sim/video_content.h"

namespace pelvaro::sim {
namespace {

using Json = nlohmann::ordered_json;

void SetManifest(const SimContext& context, const Json& value, httplib::Response& res) {
  std::string text = value.dump(2);
  if (context.options.manifest_gbk) {
    res.set_content(Utf8ToGbk(text), "application/json; charset=gbk");
  } else {
    res.set_content(text, "application/json; charset=utf-8");
  }
}

const char* const kQuotes[] = {
    "千里之行，始于足下。",     "学而不思则罔，思而不学则殆。",        "Stay hungry, stay foolish.",
    "海内存知己，天涯若比邻。", "生活不止眼前的苟且，还有诗和远方。🌄",
};

// The file name offered for the new version; with --hostile it tries to leave the folder.
std::string UpdateFileName(const SimOptions& o) {
  if (!o.update_file_name.empty()) return o.update_file_name;
  return (o.hostile ? "../../pelvaro-collector-" : "pelvaro-collector-") + o.offered_version;
}

}  // namespace

void InstallUpdateHost(RawServer& server, SimContext& context, int number) {
  auto json_faults = std::make_shared<std::atomic<std::uint64_t>>(0);
  const std::string service = "update" + std::to_string(number);

  server.Get("/test.txt", [&context, number](const httplib::Request&, httplib::Response& res) {
    if (context.options.update_hosts_ok.count(number) != 0) {
      res.set_content("ok", "text/plain");
    } else {
      res.status = 503;
      res.set_content("maintenance", "text/plain");
    }
  });

  server.Get("/down_pelvaro/index.json",
             [&context, json_faults, service](const httplib::Request&, httplib::Response& res) {
               if (JsonFault(*json_faults, context.options.faults, res)) return;
               const SimOptions& o = context.options;
               std::string url =
                   "http://127.0.0.1:" + std::to_string(context.ports.at(service)) +
                   "/down_pelvaro/download/" +
                   (o.update_download_name.empty() ? PercentEncodePath(o.offered_version) + ".bin"
                                                   : o.update_download_name);
               Json manifest{
                   {"版本", o.offered_version},
                   {"更新说明", "1. 新版本 " + o.offered_version + "，采集更稳定。\r\n2. 修复已知问题。"},
                   {"文件名", UpdateFileName(o)},
                   {"下载地址", url}};
               SetManifest(context, manifest, res);
             });

  server.Get(R"(/down_pelvaro/download/.*)", [&context](const httplib::Request& req, httplib::Response& res) {
    const SimOptions& o = context.options;
    if (req.path.ends_with(".minisig")) {
      if (context.update_signature.empty()) {
        res.status = 404;
        res.set_content("no signature", "text/plain");
      } else {
        res.set_content(context.update_signature, "text/plain");
      }
      return;
    }
    ServeFile(req, res, context, VideoContent::KeyForName("update:" + o.offered_version), o.update_size,
              "application/octet-stream", kNotAVideo);
  });

  server.Get("/gonggao.json", [&context, json_faults](const httplib::Request&, httplib::Response& res) {
    if (JsonFault(*json_faults, context.options.faults, res)) return;
    SetManifest(context, Json{{"all", context.options.announcement}}, res);
  });
}

void InstallQuote(RawServer& server, SimContext& context) {
  server.Get("/", [&context](const httplib::Request& req, httplib::Response& res) {
    std::string quote =
        context.options.quote.value_or(kQuotes[context.quote_count++ % (sizeof kQuotes / sizeof kQuotes[0])]);
    auto query = ParseQuery(req.target);
    if (QueryValue(query, "encode").value_or("") == "text") {
      res.set_content(quote, "text/plain; charset=utf-8");
    } else {
      res.set_content(Json{{"id", 1}, {"text", quote}, {"from", "pelvaro-sim"}}.dump(),
                      "application/json; charset=utf-8");
    }
  });
}

void InstallSpeech(RawServer& server, SimContext& context) {
  static const std::string mp3 = SilentMp3();
  server.Get("/gettts", [&context](const httplib::Request& req, httplib::Response& res) {
    auto query = ParseQuery(req.target);
    context.journal.Write({{"service", "speech"},
                           {"event", "speech"},
                           {"text", QueryValue(query, "text").value_or("")},
                           {"lan", QueryValue(query, "lan").value_or("")},
                           {"spd", QueryValue(query, "spd").value_or("")}});
    res.set_content(mp3, "audio/mpeg");
  });
}

}  // namespace pelvaro::sim
