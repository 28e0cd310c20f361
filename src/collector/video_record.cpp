#include "collector/video_record.h"

#include <cstdio>
#include <string>

#include "toolkit/json_document.h"

namespace pelvaro {
namespace {

Text EntryPath(int k, std::string_view field) {
  return "recommend_video[" + std::to_string(k) + "]." + std::string(field);
}

Text VariantPath(int k, int j, std::string_view field) {
  return "recommend_video[" + std::to_string(k) + "].video_urls[" + std::to_string(j) + "]." +
         std::string(field);
}

}  // namespace

Text SizeMbText(std::int64_t bytes) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", static_cast<double>(bytes) / 1048576.0);
  return buffer;
}

std::string TitleUtf8(const VideoRecord& record) {
  return record.titleUtf8.empty() ? GbkToUtf8(record.title) : record.titleUtf8;
}

Text ReadDocid(JsonDocument& document, int k) { return document.textAt(EntryPath(k, "docid")); }

VideoRecord ReadVideoRecord(JsonDocument& document, int k) {
  VideoRecord record;
  record.docid = document.textAt(EntryPath(k, "docid"));
  record.date = document.textAt(EntryPath(k, "date"));
  record.width = document.textAt(EntryPath(k, "v_width"));
  record.height = document.textAt(EntryPath(k, "v_height"));
  record.duration = document.textAt(EntryPath(k, "duration"));
  record.titleUtf8 = RemoveBlanksUtf8(document.utf8At(EntryPath(k, "summary")));
  record.title = Utf8ToGbk(record.titleUtf8);
  record.category = document.textAt(EntryPath(k, "category"));
  int variant = 0;
  if (!document.textAt(VariantPath(k, 2, "url")).empty()) {
    variant = 2;
  } else if (!document.textAt(VariantPath(k, 1, "url")).empty()) {
    variant = 1;
  }
  record.url = document.textAt(VariantPath(k, variant, "url"));
  record.sizeMb = SizeMbText(ReadLenientInt(document.textAt(VariantPath(k, variant, "size"))));
  return record;
}

}  // namespace pelvaro
