#pragma once
// Percent-encoding, the vendor's timestamp and signature line, MD5 and Base64. All texts are
// GBK bytes unless a function says it converts to UTF-8 first.

#include <string>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

inline constexpr std::string_view kSignatureSalt = "lurimbake48213q@@##706";

std::string Utf8FromLocal(std::string_view gbk);

// Every byte as "%XX" (upper-case hex); with keepUnreserved, "-", ".", digits and ASCII
// letters stay as they are. With utf8First the text's UTF-8 bytes are encoded.
Text PercentEncode(std::string_view text, bool keepUnreserved = false, bool utf8First = false);

// An id from the network (a docid) ready for a request's path or query: unchanged when it holds
// only ASCII letters, digits, "_" and "-" (every ordinary id), otherwise with every other byte
// of its UTF-8 form as "%XX", so that "/", "?", "&", "#", "." and ".." stay inside the one
// component.
Text UrlComponentId(std::string_view gbk);

// Seconds (10 digits) or milliseconds (13 digits) since local 1970-01-01 08:00:00. The base is
// local time, not UTC: the vendor's services expect exactly this value.
Text UnixTimestamp(bool inSeconds);

// The MD5 digest as 32 hexadecimal digits (lower case unless upperCase), or its characters
// 9 to 24 with middle16; the empty text when the digest cannot be computed.
Text Md5Hex(std::string_view bytes, bool upperCase = false, bool middle16 = false);
Text Md5HexOfText(std::string_view text, bool utf8First = false, bool upperCase = false, bool middle16 = false);

// "sign:" + MD5(salt + t) + "@" + t, with t the ten-digit UnixTimestamp.
Text SignLine();
// The same for a given timestamp (the services recompute it this way).
Text SignLineFor(std::string_view timestamp);

Text Base64Encode(std::string_view bytes);

}  // namespace pelvaro
