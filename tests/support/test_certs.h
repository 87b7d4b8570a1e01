// Certificates made on the fly with OpenSSL for the TLS tests: a CA, leaves
// it signs, self-signed ones, with chosen names and validity periods.
//
//   TestCert ca = MakeCert({.commonName = "Test CA", .isCa = true}, nullptr);
//   TestCert leaf = MakeCert({}, &ca);        // "localhost", valid for a month
//   server.chainPem = leaf.chainPem;
#pragma once

#include <string>
#include <vector>

namespace tarn::testing {

struct CertRequest {
  std::string commonName = "localhost";
  std::vector<std::string> dnsNames = {"localhost"};   // subjectAltName DNS entries
  std::vector<std::string> ipAddresses = {"127.0.0.1"};  // subjectAltName IP entries
  long notBeforeSeconds = -3600;       // from now
  long notAfterSeconds = 30L * 86400;  // from now
  bool isCa = false;                   // basicConstraints CA:TRUE, may sign certificates
  bool rsa = false;                    // RSA 2048 instead of EC P-256
};

struct TestCert {
  std::string certPem;   // the certificate alone
  std::string keyPem;    // its private key, unencrypted
  std::string chainPem;  // the certificate, then its issuers below the root: what a server sends
};

// Makes a key and a certificate for `want`, signed by `issuer` (its chain
// extends the result's), or self-signed when `issuer` is null. Aborts the
// test program on a library failure: nothing can be tested without it.
TestCert MakeCert(const CertRequest& want, const TestCert* issuer);

// The key in PEM form encrypted with AES-256 under `password`.
std::string EncryptedKeyPem(const std::string& keyPem, const std::string& password);

}  // namespace tarn::testing
