#pragma once
// What the desktop's page of collected videos reads from the catalogue: the videos, the
// remembered failures, and the file of one docid's video.
//
// The page reads through a reading connection of its own to the catalogue's file. WAL lets it
// read while the crawl reads and writes, and nothing it does waits for them or they for it:
// sharing the catalogue's own reading connection would make the crawl's question before each
// video wait behind the page's reads, which take their lock page after page.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "collector/catalogue.h"

namespace pelvaro {

struct CatalogueFailure {
  std::string docid;  // UTF-8
  std::int64_t attempts = 0;
  std::string reason;  // UTF-8, made from the stored kind and detail
  std::string lastAt;  // local time, ISO 8601
};

class CatalogueReader {
 public:
  // Opens a connection to the catalogue's file when the catalogue is usable; it only reads.
  explicit CatalogueReader(const Catalogue& catalogue);
  CatalogueReader(const CatalogueReader&) = delete;
  CatalogueReader& operator=(const CatalogueReader&) = delete;

  bool usable() const { return usable_; }

  // As Catalogue::read: a query with text parameters bound in order; false when it failed.
  bool read(std::string_view sql, const std::vector<std::string>& parameters,
            const std::function<void(const SqliteStatement&)>& row);

 private:
  std::mutex mutex_;
  SqliteDatabase db_;
  bool usable_ = false;
};

// Every videos row, in the order they were written, appended to `videos`. False when the
// catalogue could not be read (the rows read so far stay).
bool ReadCatalogueVideos(CatalogueReader& reader, std::vector<CatalogueVideo>* videos);

// Every remembered failure, the latest first.
bool ReadCatalogueFailures(CatalogueReader& reader, std::vector<CatalogueFailure>* failures);

// The stored file of the docid's video (a file-system path), or empty when it has no row. A
// single lookup by key, on the catalogue's own reading connection.
std::string CatalogueVideoPath(Catalogue& catalogue, std::string_view docid);

}  // namespace pelvaro
