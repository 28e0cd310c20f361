#include "collector/video_filter.h"

#include <cstdlib>
#include <vector>

#include "collector/collector_settings.h"
#include "collector/log_texts.h"
#include "collector/video_record.h"

namespace pelvaro {
namespace {

bool IsSeparator(char c) { return c == '-' || c == '/' || c == '.' || c == ':' || c == ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

constexpr double kSizeTolerance = 0.0000001;

}  // namespace

std::string_view RejectMessage(RejectReason reason) {
  switch (reason) {
    case RejectReason::Category:
      return collector_text::kRejectCategory;
    case RejectReason::Date:
      return collector_text::kRejectDate;
    case RejectReason::Duration:
      return collector_text::kRejectDuration;
    case RejectReason::Size:
      return collector_text::kRejectSize;
  }
  return {};
}

FilterLimits FilterLimits::Read(const CollectorSettings& settings) {
  FilterLimits limits;
  limits.maxAgeHours = settings.maxAgeHours();
  limits.minDuration = settings.minDuration();
  limits.maxDuration = settings.maxDuration();
  limits.minSizeMb = settings.minSizeMb();
  limits.maxSizeMb = settings.maxSizeMb();
  return limits;
}

std::optional<std::time_t> ReadLocalDateTime(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::vector<int> parts;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsDigit(text[i]) || parts.size() == 6) return std::nullopt;
    long value = 0;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      if (++digits > 4) return std::nullopt;
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    parts.push_back(static_cast<int>(value));
    if (i == text.size()) break;
    if (!IsSeparator(text[i])) return std::nullopt;
    // One separator, or a run of blanks between the date and the time.
    if (text[i] == ' ') {
      while (i < text.size() && text[i] == ' ') ++i;
    } else {
      ++i;
    }
    if (i == text.size()) return std::nullopt;
  }
  if (parts.size() < 3) return std::nullopt;
  parts.resize(6, 0);
  const int year = parts[0], month = parts[1], day = parts[2];
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (parts[3] > 23 || parts[4] > 59 || parts[5] > 59) return std::nullopt;
  return LocalTime(year, month, day, parts[3], parts[4], parts[5]);
}

std::int64_t AgeInHours(std::string_view date, std::time_t now) {
  const std::time_t published = ReadLocalDateTime(date).value_or(LocalTime(100, 1, 1, 0, 0, 0));
  const double seconds = static_cast<double>(now) - static_cast<double>(published);
  return static_cast<std::int64_t>((seconds + 0.5) / 3600.0);
}

std::optional<RejectReason> FilterVideo(const VideoRecord& record, const Text& selectedCategory,
                                        const FilterLimits& limits, std::time_t now) {
  if (record.category != selectedCategory && selectedCategory != Gbk(collector_text::kAllCategories)) {
    return RejectReason::Category;
  }
  if (AgeInHours(record.date, now) > limits.maxAgeHours) return RejectReason::Date;
  const std::int64_t duration = ReadLenientInt(record.duration);
  if (duration > limits.maxDuration || duration < limits.minDuration) return RejectReason::Duration;
  const double size = std::strtod(record.sizeMb.c_str(), nullptr);
  if (size - static_cast<double>(limits.maxSizeMb) > kSizeTolerance ||
      size - static_cast<double>(limits.minSizeMb) < -kSizeTolerance) {
    return RejectReason::Size;
  }
  return std::nullopt;
}

}  // namespace pelvaro
