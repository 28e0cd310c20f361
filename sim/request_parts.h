#pragma once
// Reading the parts of a request the way the vendor's services do: query values from the raw
// target (percent escapes give raw bytes, so GBK text arrives as GBK), the sign line, and the
// single byte range the platform honours.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelvaro::sim {

// %XX escapes become bytes and "+" a space; a malformed escape stays as it is.
std::string PercentDecode(std::string_view text);

// Every "%XX" escape for bytes other than ASCII letters and digits, so a docid with "/", "."
// or control bytes stays one path segment that no client normalises away.
std::string PercentEncodePath(std::string_view bytes);

// The decoded key/value pairs of the target's query, in order.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view target);
std::optional<std::string> QueryValue(const std::vector<std::pair<std::string, std::string>>& query,
                                      std::string_view key);

// True when value (what follows "sign:") is the digest of salt and timestamp, "@", timestamp.
bool SignValueValid(std::string_view value);

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};

enum class RangeKind { None, Satisfiable, Unsatisfiable };

// Reads one "bytes=a-b", "bytes=a-" or "bytes=-n" range against a file of size bytes. An absent
// header, another unit or a list of several ranges gives None (the whole file is sent).
RangeKind ParseRange(std::string_view header, std::uint64_t size, ByteRange& range);

}  // namespace pelvaro::sim
