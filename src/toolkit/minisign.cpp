#include "toolkit/minisign.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

namespace pelvaro {
namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";

// The lines of a text, CR LF or LF, the last one without its end.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

template <std::size_t N>
void CopyBytes(std::array<std::uint8_t, N>& into, std::string_view from) {
  std::memcpy(into.data(), from.data(), N);
}

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

bool VerifyEd25519(const MinisignPublicKey& key, const std::array<std::uint8_t, 64>& signature,
                   std::string_view message) {
  std::unique_ptr<EVP_PKEY, KeyDeleter> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.key.data(), key.key.size()));
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  if (!pkey || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

// The whole file, or its BLAKE2b-512 hash read in pieces; nothing when it cannot be read.
std::optional<std::string> SignedMessage(const std::string& path, bool prehashed) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> hash(prehashed ? EVP_MD_CTX_new() : nullptr);
  if (prehashed && (!hash || EVP_DigestInit_ex(hash.get(), EVP_blake2b512(), nullptr) != 1)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string whole;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (prehashed) {
      ok = EVP_DigestUpdate(hash.get(), buffer, static_cast<std::size_t>(n)) == 1;
      if (!ok) break;
    } else {
      whole.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  if (!prehashed) return whole;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(hash.get(), digest, &length) != 1) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  for (std::size_t i = 0; i < text.size() - padding; ++i) {
    const char c = text[i];
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/')) return std::nullopt;
  }
  std::string bytes(text.size() / 4 * 3, '\0');
  const int length =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (length < 0 || static_cast<std::size_t>(length) != bytes.size()) return std::nullopt;
  bytes.resize(bytes.size() - padding);
  return bytes;
}

std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view text) {
  std::vector<std::string_view> lines = Lines(text);
  if (!lines.empty() && lines.front().starts_with(kUntrusted)) lines.erase(lines.begin());
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() != 1) return std::nullopt;
  const std::optional<std::string> bytes = DecodeBase64(lines.front());
  if (!bytes || bytes->size() != 42 || bytes->substr(0, 2) != "Ed") return std::nullopt;
  MinisignPublicKey key;
  CopyBytes(key.id, std::string_view(*bytes).substr(2, 8));
  CopyBytes(key.key, std::string_view(*bytes).substr(10, 32));
  return key;
}

std::optional<MinisignSignature> ParseMinisignSignature(std::string_view text) {
  std::vector<std::string_view> lines = Lines(text);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() != 4 || !lines[0].starts_with(kUntrusted) || !lines[2].starts_with(kTrusted)) {
    return std::nullopt;
  }
  const std::optional<std::string> signature = DecodeBase64(lines[1]);
  const std::optional<std::string> global = DecodeBase64(lines[3]);
  if (!signature || signature->size() != 74 || !global || global->size() != 64) return std::nullopt;
  MinisignSignature result;
  const std::string_view algorithm = std::string_view(*signature).substr(0, 2);
  if (algorithm != "ED" && algorithm != "Ed") return std::nullopt;
  result.prehashed = algorithm == "ED";
  CopyBytes(result.keyId, std::string_view(*signature).substr(2, 8));
  CopyBytes(result.signature, std::string_view(*signature).substr(10, 64));
  result.trustedComment = std::string(lines[2].substr(kTrusted.size()));
  CopyBytes(result.globalSignature, *global);
  return result;
}

MinisignCheck VerifyMinisignFile(const std::string& path, const MinisignSignature& signature,
                                 const std::vector<MinisignPublicKey>& keys) {
  const auto key = std::find_if(keys.begin(), keys.end(),
                                [&](const MinisignPublicKey& k) { return k.id == signature.keyId; });
  if (key == keys.end()) return MinisignCheck::UnknownKey;
  const std::optional<std::string> message = SignedMessage(path, signature.prehashed);
  if (!message) return MinisignCheck::Unreadable;
  if (!VerifyEd25519(*key, signature.signature, *message)) return MinisignCheck::BadSignature;
  std::string signedComment(reinterpret_cast<const char*>(signature.signature.data()),
                            signature.signature.size());
  signedComment += signature.trustedComment;
  return VerifyEd25519(*key, signature.globalSignature, signedComment) ? MinisignCheck::Valid
                                                                       : MinisignCheck::BadGlobalSignature;
}

}  // namespace pelvaro
