#pragma once
// The simulated vendor's update-signing key: an Ed25519 key made at start, and signatures in
// minisign's format (prehashed, "ED") of the update file, so that the program's signature
// check runs against the real thing. The public key is written out for the program to trust.

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace pelvaro::sim {

class UpdateSigner {
 public:
  UpdateSigner();
  ~UpdateSigner();
  UpdateSigner(const UpdateSigner&) = delete;
  UpdateSigner& operator=(const UpdateSigner&) = delete;

  bool valid() const { return key_ != nullptr; }
  // The public key file: an untrusted comment line and the key's base64 line.
  std::string PublicKeyFile() const;
  // The signature file of `bytes` with the trusted comment.
  std::string Sign(std::string_view bytes, const std::string& trustedComment) const;

 private:
  std::string RawSignature(std::string_view message) const;

  EVP_PKEY* key_ = nullptr;
  std::string keyId_;  // 8 random bytes
};

}  // namespace pelvaro::sim
