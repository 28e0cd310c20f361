#pragma once
// The crawl's run parameters. Each is the live value of a main-window control, read at the
// moment it is used and never copied at start, so an edit made during a crawl takes effect at
// its next use. Numbers are read the lenient way (ReadLenientInt).

#include <cstdint>

#include "platform/form.h"
#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

class CollectorSettings {
 public:
  explicit CollectorSettings(Form& form) : form_(form) {}

  Text category() const;  // the selected item of the category box; empty when none is selected
  Text seedLink() const;
  std::int64_t maxAgeHours() const;
  std::int64_t minDuration() const;
  std::int64_t maxDuration() const;
  std::int64_t minSizeMb() const;
  std::int64_t maxSizeMb() const;
  std::int64_t pauseMs() const;
  Path outputFolder() const;  // every byte of the box, never through GBK
  bool noSubfolders() const;
  std::int64_t maxFiles() const;
  std::int64_t minFreeMb() const;

 private:
  std::int64_t number(std::string_view control) const;
  Form& form_;
};

}  // namespace pelvaro
