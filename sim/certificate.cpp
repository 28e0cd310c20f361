#include "sim/certificate.h"

#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

namespace pelvaro::sim {
namespace {

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

}  // namespace

Certificate::Certificate(const char* altNames) {
  // P-256 keys are made in a millisecond, unlike RSA, and keep the start instant.
  key_ = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  if (key_ == nullptr) return;
  X509* cert = X509_new();
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
  BN_free(bn);
  X509_set_version(cert, 2);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 365L * 24 * 3600);
  X509_set_pubkey(cert, key_);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                             -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("pelvaro-sim"),
                             -1, -1, 0);
  X509_set_issuer_name(cert, name);
  bool ok = AddExtension(cert, NID_subject_alt_name, altNames) &&
            AddExtension(cert, NID_basic_constraints, "critical,CA:FALSE") &&
            X509_sign(cert, key_, EVP_sha256()) > 0;
  if (!ok) {
    X509_free(cert);
    return;
  }
  cert_ = cert;
}

Certificate::~Certificate() {
  X509_free(cert_);
  EVP_PKEY_free(key_);
}

std::string Certificate::Pem() const {
  if (!valid()) return {};
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert_);
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return pem;
}

}  // namespace pelvaro::sim
