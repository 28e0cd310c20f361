#include "shell/date_time_text.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace pelvaro {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool Valid(const LocalDateTime& v) {
  return v.year >= 100 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
         v.day <= DaysInMonth(v.year, v.month) && v.hour >= 0 && v.hour <= 23 && v.minute >= 0 &&
         v.minute <= 59 && v.second >= 0 && v.second <= 59;
}

// Splits text into runs of ASCII digits and the separators between them; each separator must
// be the expected one for its position.
std::optional<LocalDateTime> ReadFields(const Text& text, const std::vector<Text>& separators,
                                        std::size_t required) {
  std::vector<int> numbers;
  std::size_t i = 0;
  std::size_t field = 0;
  while (i < text.size()) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    long value = 0;
    std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 6) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    numbers.push_back(static_cast<int>(value));
    if (field < separators.size() && text.compare(i, separators[field].size(), separators[field]) == 0) {
      i += separators[field].size();
    } else if (i != text.size()) {
      return std::nullopt;
    }
    ++field;
  }
  if (numbers.size() < required || numbers.size() > 6) return std::nullopt;
  numbers.resize(6, 0);
  LocalDateTime v{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]};
  if (!Valid(v)) return std::nullopt;
  return v;
}

}  // namespace

LocalDateTime LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

Text DateTimeText(const LocalDateTime& v) {
  char buffer[96];
  std::string utf8;
  std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", v.year, v.month, v.day);
  utf8 = buffer;
  if (v.second != 0) {
    std::snprintf(buffer, sizeof buffer, "%d时%d分%d秒", v.hour, v.minute, v.second);
    utf8 += buffer;
  } else if (v.minute != 0) {
    std::snprintf(buffer, sizeof buffer, "%d时%d分", v.hour, v.minute);
    utf8 += buffer;
  } else if (v.hour != 0) {
    std::snprintf(buffer, sizeof buffer, "%d时", v.hour);
    utf8 += buffer;
  }
  return Gbk(utf8);
}

std::optional<LocalDateTime> ParseDateTimeText(const Text& text) {
  Text trimmed = TrimBlanks(text);
  if (auto v = ReadFields(trimmed, {Gbk("年"), Gbk("月"), Gbk("日"), Gbk("时"), Gbk("分"), Gbk("秒")}, 3)) {
    return v;
  }
  for (const char* dateSeparator : {"-", "/"}) {
    if (auto v = ReadFields(trimmed, {dateSeparator, dateSeparator, " ", ":", ":"}, 3)) return v;
  }
  return std::nullopt;
}

}  // namespace pelvaro
