#include "collector/collector_settings.h"

#include "platform/window_layout.h"

namespace pelvaro {

namespace mw = main_window;

std::int64_t CollectorSettings::number(std::string_view control) const {
  return ReadLenientInt(form_.text(control));
}

Text CollectorSettings::category() const {
  const int index = form_.currentIndex(mw::kCategoryBox);
  return index < 0 ? Text() : form_.itemText(mw::kCategoryBox, index);
}

Text CollectorSettings::seedLink() const { return form_.text(mw::kSeedLink); }
std::int64_t CollectorSettings::maxAgeHours() const { return number(mw::kHours); }
std::int64_t CollectorSettings::minDuration() const { return number(mw::kMinDuration); }
std::int64_t CollectorSettings::maxDuration() const { return number(mw::kMaxDuration); }
std::int64_t CollectorSettings::minSizeMb() const { return number(mw::kMinSize); }
std::int64_t CollectorSettings::maxSizeMb() const { return number(mw::kMaxSize); }
std::int64_t CollectorSettings::pauseMs() const { return number(mw::kPauseMs); }
Path CollectorSettings::outputFolder() const { return Path(form_.textUtf8(mw::kOutputFolder)); }
bool CollectorSettings::noSubfolders() const { return form_.checked(mw::kNoSubfolders); }
std::int64_t CollectorSettings::maxFiles() const { return number(mw::kMaxFiles); }
std::int64_t CollectorSettings::minFreeMb() const { return number(mw::kMinFreeMb); }

}  // namespace pelvaro
