#include "platform/path.h"

namespace pelvaro {

Path Path::folder() const {
  const auto slash = bytes_.rfind('/');
  if (slash == std::string::npos) return Path();
  return Path(slash == 0 ? std::string("/") : bytes_.substr(0, slash));
}

Path Path::name() const { return Path(bytes_.substr(bytes_.rfind('/') + 1)); }

Path JoinPath(const Path& folder, std::string_view name) {
  const std::string& base = folder.bytes();
  if (base.empty()) return Path(name);
  if (base.back() == '/') return Path(base + std::string(name));
  return Path(base + "/" + std::string(name));
}

Path JoinPath(const Path& folder, const Path& name) {
  return JoinPath(folder, std::string_view(name.bytes()));
}

Text PathText(const Path& path) { return Utf8ToGbk(path.bytes()); }

Path PathFromGbk(const Text& text) { return Path(GbkToUtf8(text)); }

}  // namespace pelvaro
