#pragma once

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace pelvaro {

class JsonDocument;

// One entry of the related-videos answer as the collector uses it. Every field is text, as the
// answer gives it, except the two derived ones: the title (the summary without any ASCII or
// full-width space) and the size in MB ("%.13g" of the chosen variant's bytes / 1048576). The
// title also comes as the platform gave it, every character kept: GBK lacks many (emoji,
// Hangul, most Latin letters), and the file name, the catalogue and every screen use that one.
struct VideoRecord {
  Text docid;
  Text date;
  Text width;
  Text height;
  Text duration;
  Text title;
  std::string titleUtf8;
  Text category;
  Text url;
  Text sizeMb;
};

// The title with every character kept; for a record made without it, its GBK title's UTF-8 form.
std::string TitleUtf8(const VideoRecord& record);

// The docid of entry k (from 0) of "recommend_video"; read alone, before the history test.
Text ReadDocid(JsonDocument& document, int k);

// Every field of entry k, in the order docid, date, width, height, duration, title, category,
// url, size. The variant is the highest index (2, 1, 0) whose url is not empty; url and size
// both come from it. Missing values read as empty texts.
VideoRecord ReadVideoRecord(JsonDocument& document, int k);

// "%.13g" of bytes / 1048576.
Text SizeMbText(std::int64_t bytes);

}  // namespace pelvaro
