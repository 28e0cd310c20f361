#pragma once

#include <cstdint>
#include <string>

namespace pelvaro {

// One row of the videos table; texts are UTF-8.
struct CatalogueVideo {
  std::string docid;
  std::string title;
  std::string category;
  std::string published;  // as the answer gave it
  std::int64_t durationS = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::int64_t sizeBytes = 0;
  std::string url;
  std::string path;     // the file's full path
  std::string takenAt;  // local time, ISO 8601
};

}  // namespace pelvaro
