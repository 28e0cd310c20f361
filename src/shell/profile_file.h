#pragma once
// An INI file in GBK, read and written with the rules of the classic profile-string functions
// the settings file format was made for:
// - section and key names match without regard to ASCII case (double-byte characters compare
//   exactly); the first matching section and key win;
// - a value read has surrounding blanks removed, then one pair of matching surrounding quotes
//   (" or '), and is cut to 10239 bytes at a character boundary;
// - lines that are not "key=value" (comments, blank lines, foreign keys) are kept as they are.
// Unlike those functions, a file is written whole through a temporary file and a rename, and
// set() quotes a value where reading would otherwise lose blanks or quotes at its ends.

#include <optional>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

class ProfileFile {
 public:
  // The longest value a read returns, in bytes.
  static constexpr std::size_t kMaxValueBytes = 10239;

  ProfileFile() = default;
  explicit ProfileFile(std::string_view content);

  // A missing or unreadable file reads as empty.
  static ProfileFile Load(const Path& path);
  bool save(const Path& path) const;

  // The value as read back; the empty text when the section or key is missing.
  Text get(const Text& section, const Text& key) const;
  // Replaces the key's value or adds the key (at the end of its section, the section at the
  // end of the file). Line breaks in the value become blanks: a value is one line.
  void set(const Text& section, const Text& key, const Text& value);
  // Removes the key's line; nothing happens when there is none.
  void remove(const Text& section, const Text& key);

  std::string content() const;  // lines joined with CR LF

 private:
  struct Entry {
    std::size_t line;
    std::size_t valueStart;
  };
  std::optional<std::size_t> findSection(const Text& section) const;
  std::optional<Entry> findKey(std::size_t sectionLine, const Text& key) const;

  std::vector<std::string> lines_;
};

// ASCII-case-insensitive equality over GBK text: letters fold only where they stand as single
// bytes, never as the second byte of a double-byte character.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace pelvaro
