#include "collector/catalogue_columns.h"

#include "web/download_failure.h"

namespace pelvaro {

std::string StoredFailureWords(std::string_view kind, std::int64_t detail, std::string_view storedWords) {
  const auto known = FailureKindNamed(kind);
  if (!known) return std::string(storedWords);
  return GbkToUtf8(FailureText({*known, static_cast<long>(detail)}));
}

}  // namespace pelvaro
