#include "collector/text_between.h"

namespace pelvaro {

Text TextBetween(std::string_view text, std::string_view start, std::string_view end) {
  const auto from = text.find(start);
  if (from == std::string_view::npos) return {};
  const auto begin = from + start.size();
  const auto to = text.find(end, begin);
  if (to == std::string_view::npos) return {};
  return Text(text.substr(begin, to - begin));
}

}  // namespace pelvaro
