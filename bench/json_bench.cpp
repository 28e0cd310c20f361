// Loads a related-videos answer of 50 entries (about 60 KB) and reads every path the
// collector reads, against nlohmann::json::parse alone on the same answer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/text.h"
#include "toolkit/json_document.h"

namespace {

using pelvaro::JsonDocument;
using pelvaro::Text;

std::string Answer() {
  const char* summaries[] = {"小伙在山里发现一只受伤的小鹿，悉心照顾三个月后放归自然，场面感人",
                             "城市夜景航拍：灯火通明的街道与川流不息的车辆，记录繁华都市的另一面",
                             "老师傅手工打铁五十年，一把菜刀要经过上百道工序，看完让人佩服不已"};
  const char* categories[] = {"娱乐", "社会", "生活", "科技", "体育"};
  std::string json = R"({"status":"ok","errno":0,"msg":"","total":50,"recommend_video":[)";
  for (int k = 0; k < 50; ++k) {
    std::string id = "9a" + std::to_string(100000 + k * 7919) + "f2c";
    if (k > 0) json += ",";
    json += R"({"docid":")" + id + R"(","title":")" + summaries[(k + 1) % 3] + R"(","summary":")" +
            summaries[k % 3] + R"(","date":"2026-12-0)" + std::to_string(1 + k % 8) + " 0" +
            std::to_string(k % 10) + R"(:15:30","duration":)" + std::to_string(30 + k * 3) +
            R"(,"v_width":)" + (k % 4 == 0 ? "720" : "1280") + R"(,"v_height":)" +
            (k % 4 == 0 ? "1280" : "720") + R"(,"category":")" + categories[k % 5] +
            R"(","source":"本地新闻","play_count":)" + std::to_string(1000 + k * 37) +
            R"(,"img":"https://img.example.com/thumb/)" + id +
            R"(_640x360.jpg","cover":"https://img.example.com/cover/)" + id +
            R"(_1280x720.jpg","share_url":"https://m.example.com/share/video/)" + id +
            R"(?from=related&pos=)" + std::to_string(k) + R"(","tags":["热门","推荐","视频"],"like":)" +
            std::to_string(k * 11) + R"(,"comment_count":)" + std::to_string(k * 3) + R"(,"video_urls":[)";
    int variants = 1 + k % 3;
    for (int j = 0; j < variants; ++j) {
      if (j > 0) json += ",";
      json += R"({"url":"https://video.example.com/mp4/)" + id + "_" + std::to_string(j) +
              R"(.mp4?sign=8c1f0e5d2b&t=1765250000","size":)" +
              std::to_string(4000000 + k * 104729 + j * 999983) + R"(,"definition":")" +
              (j == 0   ? "sd"
               : j == 1 ? "hd"
                        : "fhd") +
              R"("})";
    }
    json +=
        R"(],"extra":{"author":"作者)" + std::to_string(k) + R"(","verified":true,"score":)" +
        std::to_string(k) +
        R"(.5,"desc":"这是一段用于填充的视频描述文字，内容与标题相关，长度和真实答复相近。画面清晰，配乐轻快，适合在闲暇时观看，也适合分享给身边的朋友和家人。"}})";
  }
  json += "]}";
  return json;
}

// Reads what the collector reads, so the optimiser cannot drop the work.
std::size_t ReadLikeTheCollector(const JsonDocument& document) {
  std::size_t bytes = 0;
  int count = document.countAt("recommend_video");
  for (int k = 0; k < count; ++k) {
    Text entry = "recommend_video[" + std::to_string(k) + "]";
    bytes += document.textAt(entry + ".docid").size();
    bytes += document.textAt(entry + ".date").size();
    bytes += document.textAt(entry + ".v_width").size();
    bytes += document.textAt(entry + ".v_height").size();
    bytes += document.textAt(entry + ".duration").size();
    bytes += document.textAt(entry + ".summary").size();
    bytes += document.textAt(entry + ".category").size();
    int j = !document.textAt(entry + ".video_urls[2].url").empty()   ? 2
            : !document.textAt(entry + ".video_urls[1].url").empty() ? 1
                                                                     : 0;
    Text variant = entry + ".video_urls[" + std::to_string(j) + "]";
    bytes += document.textAt(variant + ".url").size();
    bytes += document.textAt(variant + ".size").size();
  }
  return bytes;
}

template <typename Work>
double BestMicroseconds(int rounds, int iterations, Work work) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) work();
    std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count() / iterations);
  }
  return best;
}

}  // namespace

int main() {
  const std::string utf8 = Answer();
  const Text gbk = pelvaro::Utf8ToGbk(utf8);
  std::size_t sink = 0;
  {
    JsonDocument check;
    if (!check.parse(gbk) || check.countAt("recommend_video") != 50) {
      std::fprintf(stderr, "the answer did not load\n");
      return 1;
    }
  }
  double ours = 1e300;
  double peer = 1e300;
  // Interleaved rounds so that a busy machine slows both sides alike.
  for (int round = 0; round < 5; ++round) {
    ours = std::min(ours, BestMicroseconds(3, 40, [&] {
                      JsonDocument document;
                      document.parse(gbk);
                      sink += ReadLikeTheCollector(document);
                    }));
    peer = std::min(peer, BestMicroseconds(3, 40, [&] { sink += nlohmann::json::parse(utf8).size(); }));
  }
  std::fprintf(stderr, "answer: %zu bytes UTF-8, %zu bytes GBK (checksum %zu)\n", utf8.size(), gbk.size(),
               sink % 10);
  std::printf("figure json_parse_read_us %.1f us\n", ours);
  std::printf("ratio json_vs_nlohmann_parse %.2f\n", ours / peer);
  return 0;
}
