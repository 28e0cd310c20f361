#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

struct VideoRecord;
class CollectorSettings;

enum class RejectReason { Category, Date, Duration, Size };

// The log line and status cell of a rejection (UTF-8).
std::string_view RejectMessage(RejectReason reason);

// The thresholds of the filters, read from their boxes at the moment of the check.
struct FilterLimits {
  std::int64_t maxAgeHours = 0;
  std::int64_t minDuration = 0;
  std::int64_t maxDuration = 0;
  std::int64_t minSizeMb = 0;
  std::int64_t maxSizeMb = 0;

  static FilterLimits Read(const CollectorSettings& settings);
};

// A local date-time in a numeric form: year, month, day, then optionally hour, minute and second,
// separated by "-", "/", ".", ":" or blanks. std::nullopt when the text is no such date-time.
std::optional<std::time_t> ReadLocalDateTime(std::string_view text);

// Whole hours from the publish time to now, truncated toward zero; a date that cannot be read
// counts as 0100-01-01 00:00:00, a future one gives 0 or less.
std::int64_t AgeInHours(std::string_view date, std::time_t now);

// The first rule (category, age, duration, size) that the record fails, or std::nullopt when
// it passes all four. "所有类目" as the selected category accepts every category.
std::optional<RejectReason> FilterVideo(const VideoRecord& record, const Text& selectedCategory,
                                        const FilterLimits& limits, std::time_t now);

}  // namespace pelvaro
