#include "shell/settings_store.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "platform/files.h"
#include "shell/date_time_text.h"
#include "shell/profile_file.h"

namespace pelvaro {
namespace {

const Text& kLineBreakMark() {
  static const Text mark = "><br><";
  return mark;
}
const Text& kQuoteMark() {
  static const Text mark = Gbk("#引号");
  return mark;
}

Text ReplaceAll(const Text& text, const Text& from, const Text& to) {
  Text out;
  std::size_t start = 0;
  for (;;) {
    auto at = text.find(from, start);
    if (at == Text::npos) break;
    out.append(text, start, at - start);
    out += to;
    start = at + from.size();
  }
  out.append(text, start);
  return out;
}

bool IsExcluded(const Text& name, const Text& excluded) {
  std::size_t start = 0;
  while (start <= excluded.size()) {
    auto bar = excluded.find('|', start);
    std::size_t end = bar == Text::npos ? excluded.size() : bar;
    if (excluded.compare(start, end - start, name) == 0 && end > start) return true;
    if (bar == Text::npos) break;
    start = bar + 1;
  }
  return false;
}

Path Resolve(Path& path) {
  if (path.empty()) path = SettingsStore::defaultPath();
  return path;
}

// The control's stored text, or std::nullopt to skip it.
using SaveStep = std::function<Text(Form&, const std::string& name)>;
using LoadStep = std::function<void(Form&, const std::string& name, const Text& stored)>;

// Writes what `fill` sets into the file, keeping every other key. A file that exists but cannot
// be read is not replaced by one holding only these keys.
void Update(const Path& file, const std::function<void(ProfileFile&)>& fill) {
  if (PathExists(file) && !ReadWholeFile(file)) return;
  ProfileFile profile = ProfileFile::Load(file);
  fill(profile);
  profile.save(file);
}

int Save(Form& window, Path& path, const Text& excluded, ControlKind kind, const char* sectionUtf8,
         const SaveStep& step) {
  const Path file = Resolve(path);
  auto names = window.controlsOfKind(kind);
  Update(file, [&](ProfileFile& profile) {
    Text section = Gbk(sectionUtf8);
    for (const auto& name : names) {
      Text key = Utf8ToGbk(name);
      if (IsExcluded(key, excluded)) continue;
      profile.set(section, key, step(window, name));
    }
  });
  return static_cast<int>(names.size());
}

int Load(Form& window, Path& path, ControlKind kind, const char* sectionUtf8, const LoadStep& step) {
  const Path file = Resolve(path);
  auto names = window.controlsOfKind(kind);
  ProfileFile profile = ProfileFile::Load(file);
  Text section = Gbk(sectionUtf8);
  for (const auto& name : names) step(window, name, profile.get(section, Utf8ToGbk(name)));
  return static_cast<int>(names.size());
}

constexpr const char* kEditSection = "编辑框";
constexpr const char* kCheckSection = "选择框";
constexpr const char* kDateSection = "日期框";
constexpr const char* kWindowSection = "窗口";
constexpr const char* kPlaceKey = "位置";
constexpr const char* kMaximizedKey = "最大化";
constexpr const char* kColumnSection = "列宽";
constexpr const char* kCatalogueSection = "目录数据库";
constexpr const char* kCatalogueUriKey = "地址";

Text JoinNumbers(const std::vector<int>& numbers) {
  Text text;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(numbers[i]);
  }
  return text;
}

// The comma-separated numbers of a stored text, read leniently; empty when there are none.
std::vector<int> SplitNumbers(const Text& text) {
  std::vector<int> numbers;
  if (text.empty()) return numbers;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    const auto value = ReadLenientInt(text.substr(start, comma == Text::npos ? Text::npos : comma - start));
    numbers.push_back(static_cast<int>(std::clamp<std::int64_t>(value, -1000000, 1000000)));
    if (comma == Text::npos) break;
    start = comma + 1;
  }
  return numbers;
}

}  // namespace

Path SettingsStore::defaultPath() {
  const Path folder = DataFolder();
  if (!FolderExists(folder)) CreateFolders(folder);
  return JoinPath(folder, "setsoft.ini");
}

Text SettingsStore::escapeEditText(const Text& content) {
  Text out;
  out.reserve(content.size());
  for (std::size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c == '\r' || c == '\n') {
      // A lone CR or LF would end the line in the file and let the rest of the value be read
      // as a key of its own; it is stored as a line break too.
      if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
      out += kLineBreakMark();
    } else {
      out += c;
    }
  }
  return ReplaceAll(out, "\"", kQuoteMark());
}

Text SettingsStore::unescapeEditText(const Text& stored) {
  return ReplaceAll(ReplaceAll(stored, kLineBreakMark(), "\r\n"), kQuoteMark(), "\"");
}

Text SettingsStore::escapeFullText(std::string_view utf8) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  Text out;
  for (unsigned char c : utf8) {
    if (c < 0x20 || c >= 0x7F || c == '%' || c == '"') {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> SettingsStore::unescapeFullText(const Text& stored) {
  std::string out;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] != '%') {
      out += stored[i];
      continue;
    }
    if (i + 2 >= stored.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = i + 1; k <= i + 2; ++k) {
      const char c = stored[k];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

int SettingsStore::saveEditBoxes(Form& window, Path& path, const Text& excluded) {
  const Path file = Resolve(path);
  const auto names = window.controlsOfKind(ControlKind::EditBox);
  Update(file, [&](ProfileFile& profile) {
    const Text section = Gbk(kEditSection);
    for (const auto& name : names) {
      const Text key = Utf8ToGbk(name);
      if (IsExcluded(key, excluded)) continue;
      const Text text = window.text(name);
      profile.set(section, key, escapeEditText(text));
      // Only a content that GBK cannot hold (a folder such as "Köln") needs its full form; the
      // key goes again once the box holds GBK text.
      const std::string full = window.textUtf8(name);
      if (GbkToUtf8(Utf8ToGbk(full)) == full) {
        profile.remove(section, key + Text(kFullFormSuffix));
      } else {
        profile.set(section, key + Text(kFullFormSuffix), escapeFullText(full));
      }
    }
  });
  return static_cast<int>(names.size());
}

int SettingsStore::loadEditBoxes(Form& window, Path& path) {
  const ProfileFile profile = ProfileFile::Load(Resolve(path));
  const Text section = Gbk(kEditSection);
  const auto names = window.controlsOfKind(ControlKind::EditBox);
  for (const auto& name : names) {
    const Text key = Utf8ToGbk(name);
    const Text stored = profile.get(section, key);
    if (stored.empty()) continue;
    // The full form counts only while it agrees with the GBK value beside it: a program that
    // knows no full forms may have saved another value since and left the old one in the file.
    const auto full = unescapeFullText(profile.get(section, key + Text(kFullFormSuffix)));
    if (full && !full->empty() && escapeEditText(Utf8ToGbk(*full)) == stored) {
      window.setTextUtf8(name, *full);
    } else {
      window.setText(name, unescapeEditText(stored));
    }
  }
  return static_cast<int>(names.size());
}

int SettingsStore::saveCheckBoxes(Form& window, Path& path, const Text& excluded) {
  return Save(window, path, excluded, ControlKind::CheckBox, kCheckSection,
              [](Form& w, const std::string& name) { return Gbk(w.checked(name) ? "真" : "假"); });
}

int SettingsStore::loadCheckBoxes(Form& window, Path& path) {
  return Load(window, path, ControlKind::CheckBox, kCheckSection,
              [](Form& w, const std::string& name, const Text& stored) {
                // Any text but "假" checks the box.
                if (!stored.empty()) w.setChecked(name, stored != Gbk("假"));
              });
}

int SettingsStore::saveDateBoxes(Form& window, Path& path, const Text& excluded) {
  return Save(window, path, excluded, ControlKind::DateBox, kDateSection,
              [](Form& w, const std::string& name) {
                return DateTimeText(ParseDateTimeText(w.text(name)).value_or(LocalDateTime{}));
              });
}

int SettingsStore::loadDateBoxes(Form& window, Path& path) {
  return Load(window, path, ControlKind::DateBox, kDateSection,
              [](Form& w, const std::string& name, const Text& stored) {
                // Even an empty or unreadable text sets the box: to the default date.
                w.setText(name, DateTimeText(ParseDateTimeText(stored).value_or(LocalDateTime{})));
              });
}

int SettingsStore::saveWindowPlacement(Form& window, Path& path) {
  const Path file = Resolve(path);
  const WindowPlacement place = window.windowPlacement();
  if (place.width <= 0 || place.height <= 0) return 0;
  Update(file, [&place](ProfileFile& profile) {
    const Text section = Gbk(kWindowSection);
    profile.set(section, Gbk(kPlaceKey), JoinNumbers({place.left, place.top, place.width, place.height}));
    profile.set(section, Gbk(kMaximizedKey), Gbk(place.maximized ? "真" : "假"));
  });
  return 1;
}

int SettingsStore::loadWindowPlacement(Form& window, Path& path) {
  const ProfileFile profile = ProfileFile::Load(Resolve(path));
  const Text section = Gbk(kWindowSection);
  const std::vector<int> numbers = SplitNumbers(profile.get(section, Gbk(kPlaceKey)));
  if (numbers.size() != 4 || numbers[2] <= 0 || numbers[3] <= 0) return 0;
  WindowPlacement place{numbers[0], numbers[1], numbers[2], numbers[3], false};
  const Text maximized = profile.get(section, Gbk(kMaximizedKey));
  place.maximized = !maximized.empty() && maximized != Gbk("假");
  window.setWindowPlacement(place);
  return 1;
}

int SettingsStore::saveColumnWidths(Form& window, Path& path, const Text& excluded) {
  const Path file = Resolve(path);
  const auto names = window.controlsOfKind(ControlKind::ListView);
  std::vector<std::pair<Text, Text>> stored;
  for (const auto& name : names) {
    const Text key = Utf8ToGbk(name);
    const std::vector<int> widths = window.columnWidths(name);
    if (!IsExcluded(key, excluded) && !widths.empty()) stored.emplace_back(key, JoinNumbers(widths));
  }
  if (!stored.empty()) {
    Update(file, [&stored](ProfileFile& profile) {
      for (const auto& [key, value] : stored) profile.set(Gbk(kColumnSection), key, value);
    });
  }
  return static_cast<int>(names.size());
}

int SettingsStore::loadColumnWidths(Form& window, Path& path) {
  const auto names = window.controlsOfKind(ControlKind::ListView);
  const ProfileFile profile = ProfileFile::Load(Resolve(path));
  for (const auto& name : names) {
    std::vector<int> widths = SplitNumbers(profile.get(Gbk(kColumnSection), Utf8ToGbk(name)));
    // A width the list cannot show means a damaged value: the list keeps its own sizes.
    if (widths.empty() || std::any_of(widths.begin(), widths.end(), [](int w) { return w <= 0; })) continue;
    window.setColumnWidths(name, widths);
  }
  return static_cast<int>(names.size());
}

std::string SettingsStore::sharedCatalogueUri(Path path) {
  const ProfileFile profile = ProfileFile::Load(Resolve(path));
  std::string uri = GbkToUtf8(profile.get(Gbk(kCatalogueSection), Gbk(kCatalogueUriKey)));
  while (!uri.empty() && (uri.back() == ' ' || uri.back() == '\t')) uri.pop_back();
  uri.erase(0, uri.find_first_not_of(" \t"));
  return uri;
}

void SettingsStore::LoadOnCreate(Form& window) {
  Path path;
  loadEditBoxes(window, path);
  loadCheckBoxes(window, path);
  loadDateBoxes(window, path);
  loadColumnWidths(window, path);
  loadWindowPlacement(window, path);
}

void SettingsStore::SaveOnClose(Form& window) {
  Path path;
  saveEditBoxes(window, path);
  saveCheckBoxes(window, path);
  saveDateBoxes(window, path);
  saveColumnWidths(window, path);
  saveWindowPlacement(window, path);
}

}  // namespace pelvaro
