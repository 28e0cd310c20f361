#pragma once
// The request journal: one JSON object per line, flushed line by line so a test can read it
// while the simulator runs. Strings that are valid UTF-8 are written as they are; any other
// byte is written as the code point of its value (U+0080 to U+00FF), so nothing is lost.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelvaro::sim {

// Members of one journal line, in order. A value is a JSON string unless raw is set.
struct JournalField {
  std::string name;
  std::string value;
  bool raw = false;  // value is already JSON (a number, an array, an object)
};

class Journal {
 public:
  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  bool Open(const std::string& path);
  bool enabled() const { return file_ != nullptr; }
  // Writes {"time": ..., fields...} as one line.
  void Write(const std::vector<JournalField>& fields);

  static std::string Quote(std::string_view bytes);
  static std::string QuoteList(const std::vector<std::string>& items);
  // Local time with milliseconds, "YYYY-MM-DD HH:MM:SS.mmm".
  static std::string Now();

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace pelvaro::sim
