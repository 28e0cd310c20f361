#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelvaro {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ReadConfig(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

Path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return Path(home);
  if (passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return Path(entry->pw_dir);
  return Path("/");
}

Path XdgUserDir(std::string_view key, std::string_view fallback) {
  const std::string home = HomeFolder().bytes();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configHome != nullptr && *configHome == '/' ? configHome : home + "/.config";
  const std::string wanted = "XDG_" + std::string(key) + "_DIR=";
  const std::string content = ReadConfig(config + "/user-dirs.dirs");
  std::string_view text = content;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? text.size() : end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!line.starts_with(wanted)) continue;
    std::string_view value = line.substr(wanted.size());
    if (value.size() < 2 || value.front() != '"') continue;
    const auto close = value.find('"', 1);
    if (close == std::string_view::npos) continue;
    value = value.substr(1, close - 1);
    std::string path;
    if (value.starts_with("$HOME")) {
      path = home + std::string(value.substr(5));
    } else if (value.starts_with("/")) {
      path = value;
    } else {
      continue;
    }
    path = WithoutTrailingSlashes(path);
    if (path == WithoutTrailingSlashes(home)) break;
    return Path(std::move(path));
  }
  return JoinPath(Path(home), fallback);
}

}  // namespace pelvaro
