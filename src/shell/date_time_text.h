#pragma once
// Local date-times as the program writes them: "2026年12月8日12时5分3秒", with the time cut to
// the shortest form that keeps every non-zero part and no leading zeros.

#include <optional>

#include "platform/text.h"

namespace pelvaro {

struct LocalDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;

  bool operator==(const LocalDateTime&) const = default;
};

// The current local time (TZ applies).
LocalDateTime LocalNow();

// "%d年%d月%d日" followed by "%d时%d分%d秒", "%d时%d分", "%d时" or nothing (GBK).
Text DateTimeText(const LocalDateTime& value);

// Reads what DateTimeText writes, and the numeric forms "2026-12-08 12:05:03" and
// "2026/12/8 12:05" (time optional); std::nullopt for anything else or an impossible date.
std::optional<LocalDateTime> ParseDateTimeText(const Text& text);

}  // namespace pelvaro
