#include "shell/desktop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/data_folder.h"
#include "platform/escapes.h"
#include "platform/files.h"
#include "platform/user_folders.h"
#include "shell/profile_file.h"

namespace pelvaro {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Byte positions of single-byte characters only: a GBK second byte may equal "\".
std::size_t LastSeparator(const Text& text) {
  std::size_t found = Text::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (IsSeparator(text[i])) {
      found = i;
    }
  }
  return found;
}

bool ContainsIgnoringAsciiCase(const Text& text, std::string_view part) {
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualsIgnoringAsciiCase(std::string_view(text).substr(i, part.size()), part)) return true;
    if (IsGbkLeadByte(static_cast<unsigned char>(text[i]))) ++i;
  }
  return false;
}

// A value of a launcher key: the string escapes of the desktop entry format.
std::string EscapeValue(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (AppendShortEscape(out, c, "\\\n\r\t")) continue;
    // A leading space would be trimmed by the reader.
    if (c == ' ' && i == 0) {
      out += "\\s";
    } else {
      out += c;
    }
  }
  return out;
}

// One Exec argument: quoted, with the characters that quoting does not protect escaped, and
// "%" doubled so that it is not read as a field code.
std::string QuoteExecArgument(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

bool HideInFolder(const Path& folder, const Path& name) {
  // File managers hide the names listed in a folder's ".hidden" file.
  const Path listPath = JoinPath(folder, ".hidden");
  // A list that is there but is no plain file, or cannot be read, is the user's own: it stays
  // as it is, and the marker is simply not hidden.
  struct stat st {};
  if (lstat(listPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  std::optional<std::string> read = ReadWholeFile(listPath);
  if (!read && PathExists(listPath)) return false;
  std::string list = read.value_or("");
  const std::string& entry = name.bytes();
  std::size_t start = 0;
  while (start < list.size()) {
    auto end = list.find('\n', start);
    if (list.compare(start, (end == std::string::npos ? list.size() : end) - start, entry) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!list.empty() && list.back() != '\n') list += '\n';
  return WriteFileAtomically(listPath, list + entry + "\n");
}

Text MarkerContent() { return Gbk("您已同意Tormel官方网站的软件使用协议。") + "\r\n\r\n" + DisclaimerText(); }

void WriteMarker(const Path& marker) {
  if (!WriteFileAtomically(marker, MarkerContent())) return;
  chmod(marker.c_str(), 0644);
  HideInFolder(marker.folder(), marker.name());
}

}  // namespace

Path DesktopFolder() { return XdgUserDir("DESKTOP", "Desktop"); }
Path DocumentsFolder() { return XdgUserDir("DOCUMENTS", "Documents"); }

Path ShortcutFilePath(const Path& desktopFolder, const Text& name) {
  Text shortName = name;
  if (auto separator = LastSeparator(name); separator != Text::npos) {
    shortName = name.substr(separator + 1);
    // Without its extension: from the last single-byte ".".
    std::size_t dot = Text::npos;
    for (std::size_t i = 0; i < shortName.size(); ++i) {
      if (IsGbkLeadByte(static_cast<unsigned char>(shortName[i]))) {
        ++i;
      } else if (shortName[i] == '.') {
        dot = i;
      }
    }
    if (dot != Text::npos) shortName.resize(dot);
  }
  if (!ContainsIgnoringAsciiCase(shortName, ".desktop")) shortName += ".desktop";
  return JoinPath(desktopFolder, GbkToUtf8(shortName));
}

std::string DesktopEntryContent(const Text& displayName, const Path& target, const Text& arguments,
                                const Text& icon, const Text& description) {
  std::string exec = QuoteExecArgument(target.bytes());
  if (!arguments.empty()) exec += " " + GbkToUtf8(arguments);
  auto slash = target.bytes().rfind('/');
  std::string folder = target.bytes().substr(0, slash + 1);
  std::string content = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  content += "Name=" + EscapeValue(GbkToUtf8(displayName)) + "\n";
  if (!description.empty()) content += "Comment=" + EscapeValue(GbkToUtf8(description)) + "\n";
  content += "Exec=" + EscapeValue(exec) + "\n";
  content += "Path=" + EscapeValue(folder) + "\n";
  content += "Icon=" + EscapeValue(GbkToUtf8(icon)) + "\n";
  content += "Terminal=false\n";
  return content;
}

bool CreateDesktopShortcut(const Text& name, const Path& target, const Text& arguments, const Text& icon,
                           int windowStyle, const Text& description, const Text& hotkey) {
  const Path file = ShortcutFilePath(DesktopFolder(), name);
  if (PathExists(file)) RemoveFile(file);
  if (target.bytes().rfind('/') == std::string::npos) return false;

  Text displayName = Utf8ToGbk(file.name().bytes());
  for (std::size_t i = 0; i + 8 <= displayName.size(); ++i) {
    if (EqualsIgnoringAsciiCase(std::string_view(displayName).substr(i, 8), ".desktop")) {
      displayName.erase(i, 8);
      break;
    }
  }
  Text iconName = icon;
  if (iconName.empty()) iconName = FolderExists(target) ? Text("folder") : Text(kProgramIconName);
  if (!WriteFileAtomically(file,
                           DesktopEntryContent(displayName, target, arguments, iconName, description))) {
    return false;
  }
  // Desktops start only launchers that are executable.
  return chmod(file.c_str(), 0755) == 0;
}

Text DisclaimerTitle() { return Gbk("免责声明"); }

Text DisclaimerText() {
  static constexpr const char* kLines[] = {
      "免责声明：",
      "  1、本软件是Tormel利用业余时间开发的一款安全、绿色的软件产品。",
      "  "
      "2、本软件仅供技术学习和交流使用，使用本软件下载或制作的任何内容均与本工作室无关，本工作室不承担任何责"
      "任。",
      "  "
      "3、本软件不针对任何平台，任何人不得将本软件用于违法用途，否则本工作室保留追究其民事及刑事责任的权利。",
      "  4、对于因使用本软件而引起的任何意外、疏忽、合约毁坏、诽谤、知识产权侵犯及由此造成的任何损失，"
      "本工作室概不负责，亦不承担任何法律责任。",
      "  "
      "5、从官方网站下载的本软件不含任何病毒或恶意代码；如遇杀毒软件报毒，属于误报，请将本软件设为信任或关闭"
      "杀毒软件后使用，也可以联系客服协助解除误报。",
      "  6、本软件的最终解释权归本工作室所有。",
      "如果您已认真阅读并同意以上内容，请点击“确定”，否则请删除与本软件相关的所有资源。",
      "本信息仅弹出一次。",
  };
  Text text;
  for (const char* line : kLines) {
    if (!text.empty()) text += "\r\n";
    text += Gbk(line);
  }
  return text;
}

namespace {

constexpr std::string_view kMarkerName = "tmbq.dll";

Path DataFolderMarkerPath() { return JoinPath(DataFolder(), kMarkerName); }

}  // namespace

Path DisclaimerMarkerPath() {
  const Path documents = DocumentsFolder();
  return FolderExists(documents) ? JoinPath(documents, kMarkerName) : DataFolderMarkerPath();
}

void ShowDisclaimerOnce(Form& owner) {
  // Either place counts: the documents folder may have come or gone since the acceptance.
  for (const Path& marker : {JoinPath(DocumentsFolder(), kMarkerName), DataFolderMarkerPath()}) {
    if (FileExists(marker)) {
      WriteMarker(marker);
      return;
    }
  }
  if (!owner.messageBox(DisclaimerText(), DisclaimerTitle(), MessageButtons::OkCancel)) return;
  const Path marker = DisclaimerMarkerPath();
  if (marker == DataFolderMarkerPath()) CreateFolders(DataFolder());
  WriteMarker(marker);
}

}  // namespace pelvaro
