#include "tests/support/test_certs.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tarn::testing {

namespace {

template <typename T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "test certificates: %s failed\n", what);
  std::abort();
}

std::string BioText(BIO* b) {
  char* data = nullptr;
  long n = BIO_get_mem_data(b, &data);
  return std::string(data, static_cast<size_t>(n));
}

std::string CertText(X509* cert) {
  BioPtr b(BIO_new(BIO_s_mem()));
  if (!PEM_write_bio_X509(b.get(), cert)) Die("PEM_write_bio_X509");
  return BioText(b.get());
}

std::string KeyText(EVP_PKEY* key, const EVP_CIPHER* cipher, const std::string& password) {
  BioPtr b(BIO_new(BIO_s_mem()));
  auto* pw = cipher ? reinterpret_cast<unsigned char*>(const_cast<char*>(password.data())) : nullptr;
  if (!PEM_write_bio_PrivateKey(b.get(), key, cipher, pw, static_cast<int>(password.size()), nullptr, nullptr))
    Die("PEM_write_bio_PrivateKey");
  return BioText(b.get());
}

KeyPtr ReadKey(const std::string& pem) {
  BioPtr b(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  KeyPtr key(PEM_read_bio_PrivateKey(b.get(), nullptr, nullptr, nullptr));
  if (!key) Die("PEM_read_bio_PrivateKey");
  return key;
}

CertPtr ReadCert(const std::string& pem) {
  BioPtr b(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  CertPtr cert(PEM_read_bio_X509(b.get(), nullptr, nullptr, nullptr));
  if (!cert) Die("PEM_read_bio_X509");
  return cert;
}

void AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
  if (!ext) Die("X509V3_EXT_conf_nid");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

}  // namespace

TestCert MakeCert(const CertRequest& want, const TestCert* issuer) {
  KeyPtr key(want.rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"));
  if (!key) Die("key generation");
  CertPtr cert(X509_new());
  X509_set_version(cert.get(), 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7f;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), want.notBeforeSeconds);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), want.notAfterSeconds);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(want.commonName.c_str()), -1, -1, 0);

  CertPtr issuerCert;
  KeyPtr issuerKey;
  if (issuer) {
    issuerCert = ReadCert(issuer->certPem);
    issuerKey = ReadKey(issuer->keyPem);
  }
  X509* signerCert = issuer ? issuerCert.get() : cert.get();
  EVP_PKEY* signerKey = issuer ? issuerKey.get() : key.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signerCert));

  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, signerCert, cert.get(), nullptr, nullptr, 0);
  AddExtension(cert.get(), &ctx, NID_basic_constraints, want.isCa ? "critical,CA:TRUE" : "critical,CA:FALSE");
  AddExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
  if (issuer) AddExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
  if (want.isCa) {
    AddExtension(cert.get(), &ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    std::string san;
    for (const auto& d : want.dnsNames) san += (san.empty() ? "DNS:" : ",DNS:") + d;
    for (const auto& ip : want.ipAddresses) san += (san.empty() ? "IP:" : ",IP:") + ip;
    if (!san.empty()) AddExtension(cert.get(), &ctx, NID_subject_alt_name, san);
  }
  if (!X509_sign(cert.get(), signerKey, EVP_sha256())) Die("X509_sign");

  TestCert out;
  out.certPem = CertText(cert.get());
  out.keyPem = KeyText(key.get(), nullptr, "");
  out.chainPem = out.certPem;
  // The chain a server sends stops below the root: a self-signed issuer is
  // the trust anchor and stays out.
  if (issuer && X509_check_issued(issuerCert.get(), issuerCert.get()) != X509_V_OK)
    out.chainPem += issuer->chainPem;
  return out;
}

std::string EncryptedKeyPem(const std::string& keyPem, const std::string& password) {
  KeyPtr key = ReadKey(keyPem);
  return KeyText(key.get(), EVP_aes_256_cbc(), password);
}

}  // namespace tarn::testing
