#pragma once
// The self-signed certificate of the HTTPS services, made in memory at start.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace pelvaro::sim {

class Certificate {
 public:
  // For the subject alternative names given (OpenSSL's form); the services use the default.
  explicit Certificate(const char* altNames = "IP:127.0.0.1,DNS:localhost");
  ~Certificate();
  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;

  bool valid() const { return cert_ != nullptr && key_ != nullptr; }
  X509* cert() const { return cert_; }
  EVP_PKEY* key() const { return key_; }
  std::string Pem() const;

 private:
  X509* cert_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

}  // namespace pelvaro::sim
