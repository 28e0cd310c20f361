// Input: one byte of reserved room, then a name from the network, read once as UTF-8 (a title)
// and once as GBK (a docid or category). Checks that the name stays one path component within
// the file system's 255 bytes with the room added, is never "", "." or "..", holds no "/" and
// no NUL, is cut at a character boundary of well-formed UTF-8, and keeps a name that needed no
// change as it is.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/safe_name.h"
#include "platform/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckName(const std::string& name, std::size_t reserved) {
  Check(!name.empty() && name != "." && name != "..");
  Check(name.find('/') == std::string::npos && name.find('\0') == std::string::npos);
  Check(name.size() + reserved <= 255 || (reserved >= 255 && name.size() == 1));
  Check(pelvaro::IsUtf8(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t reserved = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string utf8 = pelvaro::SafeName(input, reserved).bytes();
  CheckName(utf8, reserved);
  // Every character that is kept is the input's own: a well-formed name without unsafe
  // characters that fits comes back unchanged.
  if (pelvaro::IsUtf8(input) && input.size() + reserved <= 255 && !input.empty() && input != "." &&
      input != ".." && input.find_first_of(std::string_view("/\\:*?\"<>|\0", 10)) == std::string_view::npos) {
    bool control = false;
    for (unsigned char c : input) control = control || c < 0x20 || c == 0x7F;
    if (!control && input.find("\xC2\x80") == std::string_view::npos) {
      bool c1 = false;
      for (std::size_t i = 0; i + 1 < input.size(); ++i)
        c1 = c1 || (static_cast<unsigned char>(input[i]) == 0xC2 &&
                    static_cast<unsigned char>(input[i + 1]) < 0xA0);
      if (!c1) Check(utf8 == input);
    }
  }
  CheckName(pelvaro::SafeNameOfGbk(std::string(input), reserved).bytes(), reserved);
  return 0;
}
