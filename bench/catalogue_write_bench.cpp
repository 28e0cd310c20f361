// The time the catalogue takes per video row, written the way a finished download writes it
// (one transaction per row, into a file in WAL mode). Prints "figure catalogue_write_ms".
// Usage: bench_catalogue_write FOLDER [ROWS]   (the folder is created; default 2000 rows)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "collector/catalogue.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  using namespace pelvaro;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_catalogue_write FOLDER [ROWS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int rows = argc > 2 ? std::atoi(argv[2]) : 2000;
  Catalogue catalogue(Path(folder + "/catalogue.db"),
                      [](const Text& line) { std::fprintf(stderr, "%s\n", GbkToUtf8(line).c_str()); });
  if (!catalogue.usable()) return 1;
  CatalogueVideo video;
  video.title = "一段标题，带着逗号和\"引号\"的视频";
  video.category = "娱乐";
  video.published = "2026-12-09 08:00:00";
  video.durationS = 95;
  video.width = 1280;
  video.height = 720;
  video.sizeBytes = 12345678;
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < rows; ++i) {
    video.docid = "V_bench" + std::to_string(i);
    video.url = "https://127.0.0.1/video/" + video.docid + "/2";
    video.path = folder + "/video/" + video.docid + ".mp4";
    video.takenAt = LocalIsoTime();
    if (!catalogue.recordVideo(video)) return 1;
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  std::printf("figure catalogue_write_ms %.3f ms\n", ms / rows);
  return 0;
}
