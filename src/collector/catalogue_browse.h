#pragma once
// What the desktop's page of collected videos reads from the catalogue: the videos, the
// remembered failures, and the file of one docid's video. Everything goes through the
// catalogue's reading connection, never the writing one, so a crawl's writes never wait for it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collector/catalogue.h"

namespace pelvaro {

struct CatalogueFailure {
  std::string docid;  // UTF-8
  std::int64_t attempts = 0;
  std::string reason;  // UTF-8, as the program said it
  std::string lastAt;  // local time, ISO 8601
};

// Every videos row, in the order they were written. The rows come in pages of `pageRows`, with
// the reading connection let go between pages, so that the crawl's own reads wait for one page
// at most. False when the catalogue could not be read (the rows read so far stay).
bool ReadCatalogueVideos(Catalogue& catalogue, std::vector<CatalogueVideo>* videos, int pageRows = 500);

// Every remembered failure, the latest first.
bool ReadCatalogueFailures(Catalogue& catalogue, std::vector<CatalogueFailure>* failures);

// The stored file of the docid's video (a file-system path), or empty when it has no row.
std::string CatalogueVideoPath(Catalogue& catalogue, std::string_view docid);

}  // namespace pelvaro
