#include "sim/journal.h"

#include <chrono>
#include <ctime>

#include "platform/escapes.h"
#include "platform/text.h"

namespace pelvaro::sim {

Journal::~Journal() {
  if (file_ != nullptr) std::fclose(file_);
}

bool Journal::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void Journal::Write(const std::vector<JournalField>& fields) {
  if (file_ == nullptr) return;
  std::string line = "{\"time\":" + Quote(Now());
  for (const auto& field : fields) {
    line += ',';
    line += Quote(field.name);
    line += ':';
    line += field.raw ? field.value : Quote(field.value);
  }
  line += "}\n";
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

std::string Journal::Quote(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size();) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      const char ch = static_cast<char>(c);
      if (!AppendShortEscape(out, ch, "\"\\\n\r\t")) {
        if (c < 0x20 || c == 0x7F) {
          AppendUnicodeEscape(out, c);
        } else {
          out += ch;
        }
      }
      ++i;
      continue;
    }
    std::size_t len = Utf8CharLength(bytes.substr(i));
    if (len > 0) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      // A stray byte becomes the code point of its value, in UTF-8.
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string Journal::QuoteList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += Quote(items[i]);
  }
  return out + "]";
}

std::string Journal::Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}

}  // namespace pelvaro::sim
