#include "shell/update_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/safe_name.h"

namespace pelvaro {
namespace {

constexpr int kMaxNumber = 999;
// Room kept for " (999)" and ".999.download" within the file system's name limit.
constexpr std::size_t kReservedBytes = 20;

std::string NumberedName(const std::string& name, int number) {
  const std::string suffix = " (" + std::to_string(number) + ")";
  // The number goes before the extension, so that the file keeps its type.
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace

Path UpdateFileName(const Text& manifestName) {
  if (manifestName.empty() || manifestName == "." || manifestName == "..") return {};
  if (manifestName.find_first_of("/\\") != Text::npos) return {};
  return SafeNameOfGbk(manifestName, kReservedBytes);
}

Path FreeFileIn(const Path& folder, const Path& name) {
  if (name.empty()) return {};
  Path path = JoinPath(folder, name);
  for (int number = 2; PathExists(path); ++number) {
    if (number > kMaxNumber) return {};
    path = JoinPath(folder, NumberedName(name.bytes(), number));
  }
  return path;
}

Path WorkingFileFor(const Path& target) {
  Path path = target + ".download";
  for (int number = 2; PathExists(path); ++number) {
    if (number > kMaxNumber) return {};
    path = target + ("." + std::to_string(number) + ".download");
  }
  return path;
}

Path MoveIntoPlace(const Path& working, const Path& target) {
  Path path = target;
  for (int attempt = 0; attempt < 3 && !path.empty(); ++attempt) {
    if (RenameNoReplace(working, path)) return path;
    if (!PathExists(working)) return {};
    path = FreeFileIn(target.folder(), target.name());
  }
  return {};
}

bool MakeExecutable(const Path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool done = false;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    // Execute permission for whoever may read it.
    mode_t mode = st.st_mode | S_IXUSR | ((st.st_mode & S_IRGRP) ? S_IXGRP : 0) |
                  ((st.st_mode & S_IROTH) ? S_IXOTH : 0);
    done = fchmod(fd, mode & 07777) == 0;
  }
  ::close(fd);
  return done;
}

}  // namespace pelvaro
