#include "test_certs.h"

#include "child_process.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

void check(bool ok, const char *what) {
  if (!ok)
    throw std::runtime_error(std::string("test certificates: ") + what);
}

EVP_PKEY *newKey() {
  EVP_PKEY *key = EVP_EC_gen("P-256");
  check(key != nullptr, "key");
  return key;
}

void addExtension(X509 *cert, X509 *issuer, int nid, const std::string &value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  check(ext != nullptr, "extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

bool isAddress(const std::string &name) {
  unsigned char buf[16];
  return inet_pton(AF_INET, name.c_str(), buf) == 1 || inet_pton(AF_INET6, name.c_str(), buf) == 1;
}

// Signed by issuerKey; issuer == nullptr makes it sign itself.
X509 *newCert(EVP_PKEY *key, const std::string &commonName, const std::vector<std::string> &names,
              bool isCa, X509 *issuer, EVP_PKEY *issuerKey, bool expired) {
  static long serial = 1;
  X509 *cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
  const long day = 24 * 3600;
  X509_gmtime_adj(X509_getm_notBefore(cert), expired ? -2 * day : -day);
  X509_gmtime_adj(X509_getm_notAfter(cert), expired ? -day : 2 * day);
  X509_set_pubkey(cert, key);
  X509_NAME *subject = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1,
                             0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : subject);
  X509 *signer = issuer ? issuer : cert;
  addExtension(cert, signer, NID_basic_constraints, isCa ? "critical,CA:TRUE" : "CA:FALSE");
  addExtension(cert, signer, NID_subject_key_identifier, "hash");
  addExtension(cert, signer, NID_authority_key_identifier, "keyid:always");
  if (isCa) {
    addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    std::string alt;
    // An address is named twice: as an address, and as a name for TLS
    // stacks that compare names only.
    for (const std::string &n : names) {
      alt += (alt.empty() ? "DNS:" : ",DNS:") + n;
      if (isAddress(n))
        alt += ",IP:" + n;
    }
    addExtension(cert, signer, NID_subject_alt_name, alt);
    addExtension(cert, signer, NID_ext_key_usage, "serverAuth");
  }
  check(X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
  return cert;
}

void writePem(const std::string &path, X509 *cert, EVP_PKEY *key) {
  FILE *f = std::fopen(path.c_str(), "w");
  check(f != nullptr, "write");
  bool ok = cert ? PEM_write_X509(f, cert) == 1
                 : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  std::fclose(f);
  check(ok, "write");
}

} // namespace

TestCa::TestCa(const std::string &dir) : dir(dir), caPem(dir + "/ca.pem") {
  EVP_PKEY *key = newKey();
  X509 *cert = newCert(key, "Test CA", {}, true, nullptr, nullptr, false);
  caKey = key;
  caCert = cert;
  writePem(caPem, cert, nullptr);
}

TestCa::~TestCa() {
  X509_free(static_cast<X509 *>(caCert));
  EVP_PKEY_free(static_cast<EVP_PKEY *>(caKey));
}

CertFiles TestCa::issue(const std::string &stem, const std::vector<std::string> &names,
                        bool expired) {
  EVP_PKEY *key = newKey();
  X509 *cert = newCert(key, names.at(0), names, false, static_cast<X509 *>(caCert),
                       static_cast<EVP_PKEY *>(caKey), expired);
  CertFiles files{dir + "/" + stem + ".pem", dir + "/" + stem + ".key"};
  writePem(files.cert, cert, nullptr);
  writePem(files.key, nullptr, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return files;
}

CertFiles TestCa::selfSigned(const std::string &stem, const std::vector<std::string> &names) {
  EVP_PKEY *key = newKey();
  X509 *cert = newCert(key, names.at(0), names, false, nullptr, nullptr, false);
  CertFiles files{dir + "/" + stem + ".pem", dir + "/" + stem + ".key"};
  writePem(files.cert, cert, nullptr);
  writePem(files.key, nullptr, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return files;
}

pid_t startTlsFront(const std::string &dir, const std::string &ip, const CertFiles &cert) {
  std::ofstream(dir + "/stunnel.conf")
      << "foreground = yes\npid =\ndebug = info\noutput = " << dir << "/stunnel.log\n"
      << "[sip]\naccept = " << ip << ":5061\nconnect = " << ip << ":5060\n"
      << "cert = " << cert.cert << "\nkey = " << cert.key << "\n";
  return spawnLogged({"stunnel", dir + "/stunnel.conf"}, dir + "/stunnel.out");
}
