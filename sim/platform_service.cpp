// The platform's web interface: related videos, article pages and video files (HTTPS).

#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>

#include "sim/raw_server.h"
#include "sim/request_parts.h"
#include "sim/sim_context.h"
#include "sim/video_content.h"

namespace pelvaro::sim {
namespace {

using Json = nlohmann::ordered_json;

const char* const kDefinitions[] = {"sd", "hd", "fhd"};

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The address of a video file: on the platform itself, or on the host the options name.
std::string VideoUrl(const SimContext& context, const std::string& docid, int variant) {
  const std::string host = context.options.video_host.empty()
                               ? "127.0.0.1:" + std::to_string(context.ports.at("platform"))
                               : context.options.video_host;
  return "https://" + host + "/video/" + PercentEncodePath(docid) + "/" + std::to_string(variant) + ".mp4";
}

Json Entry(const Article& a, const SimContext& context) {
  const int port = context.ports.at("platform");
  const double sizeScale = context.options.answer_size_scale;
  Json urls = Json::array();
  for (std::size_t v = 0; v < a.variant_sizes.size(); ++v) {
    // The size the answer states; with a scale other than 1 it is not the file's.
    const auto stated = static_cast<std::uint64_t>(static_cast<double>(a.variant_sizes[v]) * sizeScale);
    urls.push_back({{"url", VideoUrl(context, a.docid, static_cast<int>(v))},
                    {"size", stated},
                    {"definition", kDefinitions[v]}});
  }
  return Json{
      {"docid", a.docid},
      {"summary", a.summary},
      {"date", a.date},
      {"duration", a.duration},
      {"v_width", std::to_string(a.width)},
      {"v_height", std::to_string(a.height)},
      {"category", a.category},
      {"source", "Pelvaro"},
      {"play_count", 1000 + (a.index * 7919) % 900000},
      {"img", "https://127.0.0.1:" + std::to_string(port) + "/img/" + PercentEncodePath(a.docid) + ".jpg"},
      {"video_urls", urls}};
}

}  // namespace

void InstallPlatform(RawServer& server, SimContext& context) {
  auto json_faults = std::make_shared<std::atomic<std::uint64_t>>(0);

  server.Get("/home/q/getrelatedvideoall", [&context, json_faults](const httplib::Request& req,
                                                                   httplib::Response& res) {
    if (JsonFault(*json_faults, context.options.faults, res)) return;
    auto query = ParseQuery(req.target);
    std::string docid = QueryValue(query, "docid").value_or("");
    Json list = Json::array();
    if (auto index = context.graph.Find(docid)) {
      for (std::size_t related : context.graph.Related(*index)) {
        list.push_back(Entry(context.graph.ArticleAt(related), context));
      }
    }
    Json answer{{"errno", 0},           {"msg", "success"},          {"docid", docid},
                {"count", list.size()}, {"has_more", !list.empty()}, {"recommend_video", std::move(list)}};
    res.set_content(answer.dump(), "application/json; charset=utf-8");
  });

  server.Get(R"(/article/(.*))", [&context](const httplib::Request& req, httplib::Response& res) {
    auto index = context.graph.Find(req.matches[1].str());
    if (!index) {
      res.status = 404;
      res.set_content(
          "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>404</title></head>"
          "<body><p>文章不存在</p></body></html>",
          "text/html; charset=utf-8");
      return;
    }
    Article a = context.graph.ArticleAt(*index);
    std::string title = HtmlEscape(a.title);
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                       " - Pelvaro</title></head>\n<body><div class=\"article\">\n<h2>" + title +
                       "</h2>\n<p class=\"meta\">" + HtmlEscape(a.category) + " " + HtmlEscape(a.date) +
                       "</p>\n<video src=\"" + VideoUrl(context, a.docid, 0) +
                       "\"></video>\n</div></body></html>\n";
    res.set_content(page, "text/html; charset=utf-8");
  });

  server.Get(R"(/video/(.+)/([0-2])\.mp4)", [&context](const httplib::Request& req, httplib::Response& res) {
    std::string docid = req.matches[1].str();
    int variant = req.matches[2].str()[0] - '0';
    auto index = context.graph.Find(docid);
    if (!index) {
      res.status = 404;
      return;
    }
    Article a = context.graph.ArticleAt(*index);
    if (static_cast<std::size_t>(variant) >= a.variant_sizes.size()) {
      res.status = 404;
      return;
    }
    ServeFile(req, res, context, VideoContent::KeyFor(docid, variant), a.variant_sizes[variant], "video/mp4",
              a.index);
  });

  // Files of any size for benchmarks: /bench/<bytes>.mp4.
  server.Get(R"(/bench/(\d+)\.mp4)", [&context](const httplib::Request& req, httplib::Response& res) {
    std::string digits = req.matches[1].str();
    std::uint64_t size = 0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (result.ec != std::errc() || size == 0) {
      res.status = 404;
      return;
    }
    ServeFile(req, res, context, VideoContent::KeyForName("bench"), size, "video/mp4");
  });
}

}  // namespace pelvaro::sim
