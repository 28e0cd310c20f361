#include "shell/profile_file.h"

#include "platform/files.h"

namespace pelvaro {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The section name of a "[name]" line, or std::nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  // "]" can be the second byte of a double-byte character; only a single-byte one closes.
  std::size_t close = std::string_view::npos;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(line[i]))) {
      ++i;
    } else if (line[i] == ']') {
      close = i;
      break;
    }
  }
  std::string_view name =
      line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  return Trim(name);
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (IsBlank(value.front()) || IsBlank(value.back())) return true;
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

ProfileFile::ProfileFile(std::string_view content) {
  std::size_t start = 0;
  while (start < content.size()) {
    auto end = content.find('\n', start);
    std::string_view line =
        content.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

ProfileFile ProfileFile::Load(const Path& path) {
  auto content = ReadWholeFile(path);
  return content ? ProfileFile(*content) : ProfileFile();
}

bool ProfileFile::save(const Path& path) const { return WriteFileAtomically(path, content()); }

std::string ProfileFile::content() const {
  std::string out;
  for (const auto& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::optional<std::size_t> ProfileFile::findSection(const Text& section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i]);
    if (name && EqualsIgnoringAsciiCase(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<ProfileFile::Entry> ProfileFile::findKey(std::size_t sectionLine, const Text& key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    if (SectionName(line)) break;
    auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = Trim(line.substr(0, equals));
    if (!name.empty() && name.front() == ';') continue;
    if (EqualsIgnoringAsciiCase(name, key)) return Entry{i, equals + 1};
  }
  return std::nullopt;
}

Text ProfileFile::get(const Text& section, const Text& key) const {
  auto sectionLine = findSection(section);
  if (!sectionLine) return {};
  auto entry = findKey(*sectionLine, key);
  if (!entry) return {};
  std::string_view value = Trim(std::string_view(lines_[entry->line]).substr(entry->valueStart));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return Text(GbkPrefix(value, kMaxValueBytes));
}

void ProfileFile::remove(const Text& section, const Text& key) {
  const auto sectionLine = findSection(section);
  if (!sectionLine) return;
  if (auto entry = findKey(*sectionLine, key))
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entry->line));
}

void ProfileFile::set(const Text& section, const Text& key, const Text& value) {
  Text oneLine = value;
  for (char& c : oneLine) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  if (NeedsQuotes(oneLine)) oneLine = "\"" + oneLine + "\"";

  auto sectionLine = findSection(section);
  if (!sectionLine) {
    lines_.push_back("[" + section + "]");
    lines_.push_back(key + "=" + oneLine);
    return;
  }
  if (auto entry = findKey(*sectionLine, key)) {
    std::string& line = lines_[entry->line];
    line = line.substr(0, entry->valueStart) + oneLine;
    return;
  }
  // After the section's last non-blank line, so that a blank line before the next section stays.
  std::size_t insertAt = *sectionLine + 1;
  for (std::size_t i = *sectionLine + 1; i < lines_.size() && !SectionName(lines_[i]); ++i) {
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + oneLine);
}

}  // namespace pelvaro
