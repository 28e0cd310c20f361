#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <strings.h>

namespace pelvaro {
namespace {

bool StatIs(const Path& path, mode_t type) {
  struct stat st {};
  return stat(path.bytes().c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool FileExists(const Path& path) { return StatIs(path, S_IFREG); }
bool FolderExists(const Path& path) { return StatIs(path, S_IFDIR); }

bool PathExists(const Path& path) {
  struct stat st {};
  return lstat(path.bytes().c_str(), &st) == 0;
}

bool CreateFolders(const Path& path) {
  std::string native = path.bytes();
  if (native.empty()) return false;
  for (std::size_t i = 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      std::string part = native.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return FolderExists(path);
}

int FolderWriteError(const Path& path) {
  const std::string native = path.bytes();
  errno = 0;
  if (!CreateFolders(path)) return errno != 0 && errno != EEXIST ? errno : ENOTDIR;
  // An unnamed file shows no reader of the folder a name; where the file system has none, a
  // named one of the program's own (kScratchPrefix) is made and removed again.
  int fd = open(native.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  const bool unnamed = fd >= 0;
  const std::string probe = native + "/" + std::string(kScratchPrefix) + "write-test-" + std::to_string(getpid());
  if (!unnamed) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return errno;
  }
  const int error = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  if (!unnamed) unlink(probe.c_str());
  return error;
}

std::optional<std::uint64_t> FreeSpaceBytes(const Path& path) {
  std::string native = path.bytes();
  for (;;) {
    struct statvfs fs {};
    if (!native.empty() && statvfs(native.c_str(), &fs) == 0) {
      return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
    }
    const Path folder = Path(native).folder();
    if (folder.empty()) {
      if (native == ".") return std::nullopt;
      native = std::string(1, '.');  // not `= "."`: GCC 12 warns falsely (-Wrestrict) on that
      continue;
    }
    native = folder.bytes();
    if (native == "/" && statvfs("/", &fs) != 0) return std::nullopt;
  }
}

namespace {

// Calls visit(name, type) for every entry of folder but "." and ".."; type is the entry's file
// type as lstat (links not followed) or, for a link, stat (followed) reports it.
template <typename Visit>
void ForEachEntry(const std::string& native, Visit visit) {
  DIR* dir = opendir(native.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    mode_t type = entry->d_type == DT_REG ? S_IFREG : entry->d_type == DT_DIR ? S_IFDIR : 0;
    bool isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      if (lstat((native + "/" + name).c_str(), &st) == 0) {
        type = st.st_mode & S_IFMT;
        isLink = S_ISLNK(st.st_mode);
      }
    }
    visit(name, type, isLink);
  }
  closedir(dir);
}

}  // namespace

std::vector<Path> ListFiles(const Path& folder, std::string_view suffix) {
  std::vector<Path> names;
  std::string native = folder.bytes();
  ForEachEntry(native, [&](const std::string& name, mode_t type, bool isLink) {
    if (name.size() < suffix.size() ||
        strncasecmp(name.c_str() + name.size() - suffix.size(), suffix.data(), suffix.size()) != 0) {
      return;
    }
    // A link to a regular file counts as one.
    bool regular = type == S_IFREG;
    if (isLink) {
      struct stat st {};
      regular = stat((native + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.emplace_back(name);
  });
  return names;
}

std::vector<Path> ListFolders(const Path& folder) {
  std::vector<Path> names;
  // Links to folders are not followed: a walk over the result never leaves the tree.
  ForEachEntry(folder.bytes(), [&](const std::string& name, mode_t type, bool isLink) {
    if (type == S_IFDIR && !isLink) names.emplace_back(name);
  });
  return names;
}

std::optional<std::uint64_t> FileSizeBytes(const Path& path) {
  struct stat st {};
  if (stat(path.bytes().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::int64_t> FileModifiedTime(const Path& path) {
  struct stat st {};
  if (stat(path.bytes().c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtime);
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const Path& path) {
  struct stat st {};
  if (lstat(path.bytes().c_str(), &st) != 0) return std::nullopt;
  return std::make_pair(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
}

std::optional<std::string> ReadWholeFile(const Path& path) {
  int fd = open(path.bytes().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return content;
}

bool WriteFileAtomically(const Path& path, std::string_view bytes) {
  std::string native = path.bytes();
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string temporary = native + ".tmp" + std::to_string(random() % 1000000000);
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), native.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

bool CreateEmptyFile(const Path& path) {
  int fd = open(path.bytes().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool RemoveFile(const Path& path) { return unlink(path.bytes().c_str()) == 0; }

int LastFileError() { return errno; }

bool RenameNoReplace(const Path& from, const Path& to) {
  std::string a = from.bytes();
  std::string b = to.bytes();
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
  if (link(a.c_str(), b.c_str()) != 0) return false;
  unlink(a.c_str());
  return true;
}

}  // namespace pelvaro
