#pragma once
// A file-system path or one name in a folder: the bytes of the user or the system, used as they
// are and never passed through GBK. It is a type of its own so that the compiler keeps it apart
// from Text: the two meet only where a path is shown or stored in a GBK text (PathText) or read
// back from one (PathFromGbk).

#include <compare>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace pelvaro {

class Path {
 public:
  Path() = default;
  explicit Path(std::string bytes) : bytes_(std::move(bytes)) {}
  explicit Path(std::string_view bytes) : bytes_(bytes) {}
  explicit Path(const char* bytes) : bytes_(bytes) {}

  const std::string& bytes() const { return bytes_; }
  const char* c_str() const { return bytes_.c_str(); }
  bool empty() const { return bytes_.empty(); }
  // What stands before the last "/" ("/" for a name in the root, empty when there is no "/")
  // and what stands after it: the one way to split a path, so that every caller agrees.
  Path folder() const;
  Path name() const;

  // The path with tail appended to its last name ("a/b" + ".tmp" is "a/b.tmp").
  friend Path operator+(const Path& path, std::string_view tail) {
    return Path(path.bytes_ + std::string(tail));
  }

  friend bool operator==(const Path&, const Path&) = default;
  friend std::strong_ordering operator<=>(const Path&, const Path&) = default;

 private:
  std::string bytes_;
};

// folder + "/" + name, without doubling a separator; name alone when folder is empty.
Path JoinPath(const Path& folder, const Path& name);
Path JoinPath(const Path& folder, std::string_view name);

// The path as a GBK text for a log line, a message or a box: characters GBK lacks become "?",
// so this is for showing only, never for finding the file again.
Text PathText(const Path& path);
// A path that was typed or stored as a GBK text.
Path PathFromGbk(const Text& text);

}  // namespace pelvaro
