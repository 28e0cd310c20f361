// Loads arbitrary bytes as an answer, reads it the way the collector does, and checks that the
// JSON text of whatever loaded loads again to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "toolkit/json_document.h"

using pelvaro::JsonDocument;
using pelvaro::Text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text text(reinterpret_cast<const char*>(data), size);
  JsonDocument document;
  bool loaded = document.parse(text);

  int count = document.countAt("recommend_video");
  for (int k = 0; k < count && k < 4; ++k) {
    Text entry = "recommend_video[" + std::to_string(k) + "]";
    document.textAt(entry + ".docid");
    document.textAt(entry + ".video_urls[0].url");
    document.typeAt(entry + ".duration");
  }
  document.textAt("");
  std::vector<Text> list;
  document.memberNames(list);
  document.nodeValues(list, "", true);
  // The input doubles as a path.
  Text path = text.substr(0, 64);
  document.textAt(path);
  document.typeAt(path);
  document.subDocument(path).toJson();
  Text json = document.toJson();

  // "2400" may spell the backslash placeholder, which JSON output writes as a bare backslash.
  if (loaded && text.find("2400") == Text::npos) {
    JsonDocument again;
    if (again.parse(json, true)) {
      Text second = again.toJson();
      JsonDocument third;
      if (!third.parse(second, true) || third.toJson() != second) std::abort();
    }
  }
  return 0;
}
