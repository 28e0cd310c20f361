#include "shell/update_trust.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/files.h"
#include "shell/app_identity.h"

#ifndef PELVARO_UPDATE_PUBLIC_KEY
#error "the build names the vendor's update-signing key (src/shell/CMakeLists.txt)"
#endif

namespace pelvaro {
namespace {

// The parts of a dotted number, each without its leading zeros; nothing when it is none.
std::optional<std::vector<std::string_view>> VersionParts(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = text.find('.');
    std::string_view part = text.substr(0, dot);
    if (part.empty()) return std::nullopt;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    while (part.size() > 1 && part.front() == '0') part.remove_prefix(1);
    parts.push_back(part);
    if (dot == std::string_view::npos) return parts;
    text.remove_prefix(dot + 1);
  }
}

// -1, 0 or 1 for two digit runs without leading zeros, of any length.
int CompareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

std::vector<MinisignPublicKey> TrustedUpdateKeys() {
  std::vector<MinisignPublicKey> keys;
  if (auto vendor = ParseMinisignPublicKey(PELVARO_UPDATE_PUBLIC_KEY)) keys.push_back(*vendor);
  const char* file = std::getenv("PELVARO_UPDATE_KEY_FILE");
  if (file != nullptr && *file != '\0') {
    if (auto text = ReadWholeFile(Path(file))) {
      if (auto extra = ParseMinisignPublicKey(*text)) keys.push_back(*extra);
    }
  }
  return keys;
}

std::string UpdateSignatureComment(std::string_view version) {
  return "pelvaro-collector " + std::string(version);
}

bool IsNewerVersion(std::string_view offered, std::string_view current) {
  const auto a = VersionParts(offered);
  const auto b = VersionParts(current);
  if (!a || !b) return false;
  for (std::size_t i = 0; i < std::max(a->size(), b->size()); ++i) {
    const std::string_view x = i < a->size() ? (*a)[i] : "0";
    const std::string_view y = i < b->size() ? (*b)[i] : "0";
    if (const int order = CompareNumbers(x, y); order != 0) return order > 0;
  }
  return false;
}

Text UpdateRefusal(const Path& path, std::string_view signature, const Text& version) {
  if (signature.empty()) return Gbk("没有签名");
  const std::optional<MinisignSignature> parsed = ParseMinisignSignature(signature);
  if (!parsed) return Gbk("签名格式不对");
  switch (VerifyMinisignFile(path.bytes(), *parsed, TrustedUpdateKeys())) {
    case MinisignCheck::Valid:
      break;
    case MinisignCheck::UnknownKey:
      return Gbk("签名的密钥不受信任");
    case MinisignCheck::BadGlobalSignature:
      return Gbk("签名的可信注释被改动");
    case MinisignCheck::BadSignature:
      return Gbk("签名与文件不符");
    case MinisignCheck::Unreadable:
      return Gbk("读不出下载的文件");
  }
  // The comment is signed: it ties the file to the version it was released as, so an old
  // release cannot be offered as a new one.
  if (parsed->trustedComment != UpdateSignatureComment(version)) {
    return Gbk("签名的版本不符：") + Utf8ToGbk(parsed->trustedComment);
  }
  if (!IsNewerVersion(version, AppVersion())) return Gbk("版本不比当前版本新：") + version;
  return {};
}

}  // namespace pelvaro
