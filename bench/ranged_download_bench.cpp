// The downloader side of the download benchmark.
//   bench_ranged_download URL PATH THREADS   downloads; exit status 0 when it finished
//   bench_ranged_download --check PATH SIZE  exit status 0 when PATH holds the served file

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "file_pattern.h"
#include "web/ranged_downloader.h"

namespace {

int Check(const std::string& path, std::int64_t size) {
  pelvaro::bench::FilePattern pattern;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(pelvaro::bench::FilePattern::kMaxSpan);
  std::int64_t offset = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    std::int64_t count = in.gcount();
    if (count == 0) break;
    if (!pattern.Matches(offset, buffer.data(), count)) {
      std::fprintf(stderr, "%s: wrong bytes near offset %lld\n", path.c_str(),
                   static_cast<long long>(offset));
      return 1;
    }
    offset += count;
  }
  if (offset != size) {
    std::fprintf(stderr, "%s: %lld bytes instead of %lld\n", path.c_str(), static_cast<long long>(offset),
                 static_cast<long long>(size));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--check") return Check(argv[2], std::atoll(argv[3]));
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL PATH THREADS | --check PATH SIZE\n", argv[0]);
    return 2;
  }
  pelvaro::RangedDownloader downloader;
  int task = downloader.Download(argv[1], pelvaro::Path(argv[2]), std::atoi(argv[3]), nullptr);
  if (task < 0) return 1;
  auto outcome = downloader.WaitForEnd(task, std::chrono::hours(1));
  return outcome == pelvaro::DownloadOutcome::Finished ? 0 : 1;
}
