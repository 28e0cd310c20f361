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

Text NumberedName(const Text& name, int number) {
  const Text suffix = " (" + std::to_string(number) + ")";
  // The number goes before the extension, so that the file keeps its type.
  const auto dot = name.rfind('.');
  if (dot == Text::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

Text FolderOf(const Text& path) {
  const auto slash = path.rfind('/');
  return slash == Text::npos ? Text{} : path.substr(0, slash);
}

Text NameOf(const Text& path) {
  const auto slash = path.rfind('/');
  return slash == Text::npos ? path : path.substr(slash + 1);
}

}  // namespace

Text UpdateFileName(const Text& manifestName) {
  if (manifestName.empty() || manifestName == "." || manifestName == "..") return {};
  if (manifestName.find_first_of("/\\") != Text::npos) return {};
  return SafeFileName(manifestName, kReservedBytes);
}

Text FreeFileIn(const Text& folder, const Text& name) {
  if (name.empty()) return {};
  Text path = JoinPath(folder, name);
  for (int number = 2; PathExists(path); ++number) {
    if (number > kMaxNumber) return {};
    path = JoinPath(folder, NumberedName(name, number));
  }
  return path;
}

Text WorkingFileFor(const Text& target) {
  Text path = target + ".download";
  for (int number = 2; PathExists(path); ++number) {
    if (number > kMaxNumber) return {};
    path = target + "." + std::to_string(number) + ".download";
  }
  return path;
}

Text MoveIntoPlace(const Text& working, const Text& target) {
  Text path = target;
  for (int attempt = 0; attempt < 3 && !path.empty(); ++attempt) {
    if (RenameNoReplace(working, path)) return path;
    if (!PathExists(working)) return {};
    path = FreeFileIn(FolderOf(target), NameOf(target));
  }
  return {};
}

bool MakeExecutable(const Text& path) {
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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
