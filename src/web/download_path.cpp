#include "web/download_path.h"

#include "platform/path.h"

namespace pelvaro {

bool HasFileExtension(std::string_view path) {
  bool dotSeen = false;
  for (char c : path) {
    if (c == '/' || c == ' ') {
      dotSeen = false;
    } else if (c == '.') {
      dotSeen = true;
    }
  }
  return dotSeen;
}

Text DownloadNameFromLocation(std::string_view locationOrUrl) {
  Text name(locationOrUrl);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  name = Path(name).name().bytes();
  auto query = name.find('?');
  if (query != Text::npos) name.erase(query);
  return name;
}

Text ResolveDownloadPath(const Text& path, const std::function<Text()>& nameFromServer) {
  Text result = path;
  if (!HasFileExtension(result)) {
    if (result.empty() || result.back() != '/') result += '/';
    result += nameFromServer();
  }
  if (result.find('.') == Text::npos) {
    const Text last = Path(result).name().bytes();
    if (result.empty() || result.back() != '/') result += '/';
    result += last;
  }
  return result;
}

}  // namespace pelvaro
