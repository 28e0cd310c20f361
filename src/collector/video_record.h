#pragma once

#include <cstdint>

#include "platform/text.h"

namespace pelvaro {

class JsonDocument;

// One entry of the related-videos answer as the collector uses it. Every field is text, as the
// answer gives it, except the two derived ones: the title (the summary without any ASCII or
// full-width space) and the size in MB ("%.13g" of the chosen variant's bytes / 1048576).
struct VideoRecord {
  Text docid;
  Text date;
  Text width;
  Text height;
  Text duration;
  Text title;
  Text category;
  Text url;
  Text sizeMb;
};

// The docid of entry k (from 0) of "recommend_video"; read alone, before the history test.
Text ReadDocid(JsonDocument& document, int k);

// Every field of entry k, in the order docid, date, width, height, duration, title, category,
// url, size. The variant is the highest index (2, 1, 0) whose url is not empty; url and size
// both come from it. Missing values read as empty texts.
VideoRecord ReadVideoRecord(JsonDocument& document, int k);

// "%.13g" of bytes / 1048576.
Text SizeMbText(std::int64_t bytes);

}  // namespace pelvaro
