#include "sim/update_signer.h"

#include <openssl/rand.h>

#include <memory>

#include "toolkit/encoding.h"

namespace pelvaro::sim {
namespace {

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

UpdateSigner::UpdateSigner() {
  unsigned char id[8];
  if (RAND_bytes(id, sizeof id) != 1) return;
  keyId_.assign(reinterpret_cast<const char*>(id), sizeof id);
  key_ = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
}

UpdateSigner::~UpdateSigner() { EVP_PKEY_free(key_); }

std::string UpdateSigner::PublicKeyFile() const {
  if (!valid()) return {};
  unsigned char raw[32];
  std::size_t length = sizeof raw;
  if (EVP_PKEY_get_raw_public_key(key_, raw, &length) != 1 || length != sizeof raw) return {};
  const std::string blob = "Ed" + keyId_ + std::string(reinterpret_cast<const char*>(raw), length);
  return "untrusted comment: pelvaro-sim update key\n" + Base64Encode(blob) + "\n";
}

std::string UpdateSigner::RawSignature(std::string_view message) const {
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  unsigned char signature[64];
  std::size_t length = sizeof signature;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_) != 1 ||
      EVP_DigestSign(context.get(), signature, &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(signature), length);
}

std::string UpdateSigner::Sign(std::string_view bytes, const std::string& trustedComment) const {
  if (!valid()) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &digestLength, EVP_blake2b512(), nullptr) != 1)
    return {};
  const std::string signature =
      RawSignature(std::string_view(reinterpret_cast<const char*>(digest), digestLength));
  const std::string global = RawSignature(signature + trustedComment);
  if (signature.size() != 64 || global.size() != 64) return {};
  return "untrusted comment: signature from pelvaro-sim\n" + Base64Encode("ED" + keyId_ + signature) +
         "\ntrusted comment: " + trustedComment + "\n" + Base64Encode(global) + "\n";
}

}  // namespace pelvaro::sim
