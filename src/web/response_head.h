#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelvaro {

// The status and header lines of the latest response seen on a transfer. Fed line by line
// from the transport's header callback; a new status line (a redirect's target, an interim
// response) starts over, so after the transfer it describes the final response.
class ResponseHead {
 public:
  // One raw header line, with or without its CR LF.
  void Feed(std::string_view line);

  long Status() const { return status_; }
  // The first header of that name (case-insensitive), its value without surrounding blanks.
  std::optional<std::string> Find(std::string_view name) const;

 private:
  long status_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
};

// "bytes A-B/C" of a Content-Range value: A, or nullopt when the value has another form.
std::optional<long long> ContentRangeStart(std::string_view value);

// A decimal header value as a non-negative number; nullopt when it is not one.
std::optional<long long> ParseHeaderNumber(std::string_view value);

}  // namespace pelvaro
