#include "shell/settings_store.h"

#include <functional>

#include "platform/files.h"
#include "shell/app_identity.h"
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

Text Resolve(Text& path) {
  if (path.empty()) path = SettingsStore::defaultPath();
  return path;
}

// The control's stored text, or std::nullopt to skip it.
using SaveStep = std::function<Text(Form&, const std::string& name)>;
using LoadStep = std::function<void(Form&, const std::string& name, const Text& stored)>;

int Save(Form& window, Text& path, const Text& excluded, ControlKind kind, const char* sectionUtf8,
         const SaveStep& step) {
  Text file = Resolve(path);
  auto names = window.controlsOfKind(kind);
  // A file that exists but cannot be read is not replaced by one holding only our keys.
  if (PathExists(file) && !ReadWholeFile(file)) return static_cast<int>(names.size());
  ProfileFile profile = ProfileFile::Load(file);
  Text section = Gbk(sectionUtf8);
  for (const auto& name : names) {
    Text key = Utf8ToGbk(name);
    if (IsExcluded(key, excluded)) continue;
    profile.set(section, key, step(window, name));
  }
  profile.save(file);
  return static_cast<int>(names.size());
}

int Load(Form& window, Text& path, ControlKind kind, const char* sectionUtf8, const LoadStep& step) {
  Text file = Resolve(path);
  auto names = window.controlsOfKind(kind);
  ProfileFile profile = ProfileFile::Load(file);
  Text section = Gbk(sectionUtf8);
  for (const auto& name : names) step(window, name, profile.get(section, Utf8ToGbk(name)));
  return static_cast<int>(names.size());
}

constexpr const char* kEditSection = "编辑框";
constexpr const char* kCheckSection = "选择框";
constexpr const char* kDateSection = "日期框";

}  // namespace

Text SettingsStore::defaultPath() {
  Text folder = DataFolder();
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

int SettingsStore::saveEditBoxes(Form& window, Text& path, const Text& excluded) {
  return Save(window, path, excluded, ControlKind::EditBox, kEditSection,
              [](Form& w, const std::string& name) { return escapeEditText(w.text(name)); });
}

int SettingsStore::loadEditBoxes(Form& window, Text& path) {
  return Load(window, path, ControlKind::EditBox, kEditSection,
              [](Form& w, const std::string& name, const Text& stored) {
                if (!stored.empty()) w.setText(name, unescapeEditText(stored));
              });
}

int SettingsStore::saveCheckBoxes(Form& window, Text& path, const Text& excluded) {
  return Save(window, path, excluded, ControlKind::CheckBox, kCheckSection,
              [](Form& w, const std::string& name) { return Gbk(w.checked(name) ? "真" : "假"); });
}

int SettingsStore::loadCheckBoxes(Form& window, Text& path) {
  return Load(window, path, ControlKind::CheckBox, kCheckSection,
              [](Form& w, const std::string& name, const Text& stored) {
                // Any text but "假" checks the box.
                if (!stored.empty()) w.setChecked(name, stored != Gbk("假"));
              });
}

int SettingsStore::saveDateBoxes(Form& window, Text& path, const Text& excluded) {
  return Save(window, path, excluded, ControlKind::DateBox, kDateSection,
              [](Form& w, const std::string& name) {
                return DateTimeText(ParseDateTimeText(w.text(name)).value_or(LocalDateTime{}));
              });
}

int SettingsStore::loadDateBoxes(Form& window, Text& path) {
  return Load(window, path, ControlKind::DateBox, kDateSection,
              [](Form& w, const std::string& name, const Text& stored) {
                // Even an empty or unreadable text sets the box: to the default date.
                w.setText(name, DateTimeText(ParseDateTimeText(stored).value_or(LocalDateTime{})));
              });
}

void SettingsStore::LoadOnCreate(Form& window) {
  Text path;
  loadEditBoxes(window, path);
  loadCheckBoxes(window, path);
  loadDateBoxes(window, path);
}

void SettingsStore::SaveOnClose(Form& window) {
  Text path;
  saveEditBoxes(window, path);
  saveCheckBoxes(window, path);
  saveDateBoxes(window, path);
}

}  // namespace pelvaro
