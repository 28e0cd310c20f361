#include "web/download_path.h"

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
  auto slash = name.rfind('/');
  if (slash != Text::npos) name.erase(0, slash + 1);
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
    auto slash = result.rfind('/');
    Text last = slash == Text::npos ? result : result.substr(slash + 1);
    if (result.empty() || result.back() != '/') result += '/';
    result += last;
  }
  return result;
}

}  // namespace pelvaro
