// A throw-away certificate authority for tests: made at run time, so that
// nothing that expires is kept in the repository.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct CertFiles {
  std::string cert, key; // PEM files
};

class TestCa {
public:
  // Makes the CA's key and certificate and writes the certificate to
  // dir/ca.pem.
  explicit TestCa(const std::string &dir);
  ~TestCa();
  TestCa(const TestCa &) = delete;
  TestCa &operator=(const TestCa &) = delete;

  const std::string &caFile() const { return caPem; }
  // A server certificate signed by this CA for the given names ("localhost",
  // "127.0.0.1", ...: the first is the common name, all are alternative
  // names), valid now, or expired since yesterday. Files dir/<stem>.pem/.key.
  CertFiles issue(const std::string &stem, const std::vector<std::string> &names,
                  bool expired = false);
  // A certificate that signs itself: no CA vouches for it.
  CertFiles selfSigned(const std::string &stem, const std::vector<std::string> &names);

private:
  std::string dir, caPem;
  void *caKey = nullptr, *caCert = nullptr; // EVP_PKEY, X509
};

// A TLS front (stunnel) on ip:5061 showing cert, in front of ip:5060 over
// TCP; its files in dir. The child's pid (see child_process.h).
pid_t startTlsFront(const std::string &dir, const std::string &ip, const CertFiles &cert);
