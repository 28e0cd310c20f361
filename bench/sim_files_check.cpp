// Judges a collector's run against the simulator from the files alone: every video file in the
// output folder must be, byte for byte and at full length, one version of some article's video;
// every such file has its history marker, and no marker stands for a file that is not there.
// Prints "figure" lines. Usage:
//   bench_sim_files_check RUN_DIR SEED ARTICLES SIZE_SCALE

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "sim/graph.h"
#include "sim/video_content.h"

namespace fs = std::filesystem;
using pelvaro::sim::VideoContent;

namespace {

struct Known {
  std::string docid;
  std::uint64_t key = 0;
  std::uint64_t size = 0;
};

std::string Head(std::uint64_t key) { return VideoContent::Bytes(key, 0, 64); }

bool SameAsServed(const fs::path& path, const Known& known) {
  std::ifstream in(path, std::ios::binary);
  std::string chunk(1 << 20, '\0');
  for (std::uint64_t offset = 0; offset < known.size;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), known.size - offset));
    if (!in.read(chunk.data(), static_cast<std::streamsize>(n))) return false;
    if (chunk.compare(0, n, VideoContent::Bytes(known.key, offset, n)) != 0) return false;
    offset += n;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s RUN_DIR SEED ARTICLES SIZE_SCALE\n", argv[0]);
    return 2;
  }
  const fs::path run = argv[1];
  pelvaro::sim::GraphOptions options;
  options.seed = std::strtoull(argv[2], nullptr, 10);
  options.articles = std::strtoull(argv[3], nullptr, 10);
  options.size_scale = std::atof(argv[4]);
  const pelvaro::sim::Graph graph(options);

  std::map<std::string, Known> byHead;  // the first 64 bytes tell every version of every file apart
  for (std::size_t i = 0; i < graph.size(); ++i) {
    const auto article = graph.ArticleAt(i);
    for (std::size_t v = 0; v < article.variant_sizes.size(); ++v) {
      const std::uint64_t key = VideoContent::KeyFor(article.docid, static_cast<int>(v));
      for (std::uint64_t version : {key, key ^ pelvaro::sim::kSecondVersion}) {
        byHead[Head(version)] = Known{article.docid, version, article.variant_sizes[v]};
      }
    }
  }

  std::size_t files = 0, corrupt = 0, partials = 0, unmarked = 0, stray = 0;
  std::set<std::string> complete;
  const fs::path videos = run / "video";
  if (fs::exists(videos)) {
    for (const auto& entry : fs::recursive_directory_iterator(videos)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".pelvaro-part")) {
        ++partials;
        continue;
      }
      ++files;
      std::string head(64, '\0');
      std::ifstream in(entry.path(), std::ios::binary);
      in.read(head.data(), 64);
      auto found = byHead.find(head);
      if (!in || found == byHead.end() || entry.file_size() != found->second.size ||
          !SameAsServed(entry.path(), found->second)) {
        ++corrupt;
        continue;
      }
      complete.insert(found->second.docid);
    }
  }
  std::set<std::string> markers;
  const fs::path history = run / "pelvarolishi";
  if (fs::exists(history)) {
    for (const auto& entry : fs::directory_iterator(history)) markers.insert(entry.path().filename().string());
  }
  for (const auto& docid : complete) {
    if (!markers.count(docid)) ++unmarked;
  }
  for (const auto& docid : markers) {
    if (!complete.count(docid)) ++stray;
  }
  std::printf("figure video_files %zu files\n", files);
  std::printf("figure complete_videos %zu videos\n", complete.size());
  std::printf("figure corrupt_files %zu files\n", corrupt);
  std::printf("figure orphan_partials %zu files\n", partials);
  std::printf("figure markers %zu files\n", markers.size());
  std::printf("figure complete_without_marker %zu videos\n", unmarked);
  std::printf("figure marker_without_complete_file %zu markers\n", stray);
  return 0;
}
