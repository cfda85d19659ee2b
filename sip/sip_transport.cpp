// How the SIP account reaches its registrar: over UDP, or, when the program
// is built for it, over TLS only, with the registrar's certificate verified
// and every call's audio encrypted (SRTP) or no call at all.
#include "sip_internal.h"

#include <string>

#ifdef _WIN32
#include <wincrypt.h>
#endif

namespace {
std::string caFileOverride;
bool caFileOverridden = false;

const char *sipCaFile() {
  if (caFileOverridden)
    return caFileOverride.c_str();
  if (*SIP_CA_FILE)
    return SIP_CA_FILE;
#ifdef _WIN32
  return ""; // Windows' own root store
#else
  return "/etc/ssl/certs/ca-certificates.crt";
#endif
}
} // namespace

#ifdef _WIN32
namespace {
// The certificates Windows trusts as roots (its "ROOT" store), in PEM, for
// the TLS library, which reads files or PEM text, not the system's store.
std::string windowsRootCertificates() {
  std::string pem;
  HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
  if (!store)
    return pem;
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
    DWORD size = 0;
    if (!CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                              nullptr, &size))
      continue;
    std::string one(size, '\0');
    if (CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                             &one[0], &size))
      pem.append(one.c_str());
  }
  CertCloseStore(store, 0);
  return pem;
}
} // namespace
#endif

void setSipCaFileForTests(const char *pemFile) {
  caFileOverridden = pemFile != nullptr;
  caFileOverride = pemFile ? pemFile : "";
}

bool sipOverTls() { return SIP_OVER_TLS != 0; }

void secureSipTransport(LinphoneCore *core) {
  if (!sipOverTls())
    return;
  // TLS is the only transport: with no UDP or TCP listener there is nothing
  // a failed handshake could fall back to.
  LinphoneTransports *transports = linphone_factory_create_transports(linphone_factory_get());
  linphone_transports_set_udp_port(transports, LC_SIP_TRANSPORT_DISABLED);
  linphone_transports_set_tcp_port(transports, LC_SIP_TRANSPORT_DISABLED);
  linphone_transports_set_tls_port(transports, LC_SIP_TRANSPORT_RANDOM);
  linphone_core_set_transports(core, transports);
  linphone_transports_unref(transports);

  if (*sipCaFile())
    linphone_core_set_root_ca(core, sipCaFile());
#ifdef _WIN32
  else
    linphone_core_set_root_ca_data(core, windowsRootCertificates().c_str());
#endif
  linphone_core_verify_server_certificates(core, TRUE);
  linphone_core_verify_server_cn(core, TRUE);

  // The keys of SRTP travel in the signalling, which TLS protects.
  linphone_core_set_media_encryption(core, LinphoneMediaEncryptionSRTP);
  linphone_core_set_media_encryption_mandatory(core, TRUE);
}

bool answerLacksRequiredEncryption(LinphoneCall *call) {
  if (!sipOverTls())
    return false;
  const LinphoneCallParams *answered = linphone_call_get_remote_params(call);
  return !answered ||
         linphone_call_params_get_media_encryption(answered) != LinphoneMediaEncryptionSRTP;
}

std::string sipServerAddress(const char *domain) {
  if (!sipOverTls())
    return std::string("sip:") + domain;
  return std::string("<sip:") + domain + ";transport=tls>";
}

void routeThroughServer(LinphoneProxyConfig *proxyConfig, const char *domain) {
  if (!sipOverTls())
    return;
  // Calls go the same way as the registration, not straight to the
  // callee's domain over the default transport.
  std::string route = sipServerAddress(domain);
  bctbx_list_t *routes = bctbx_list_append(nullptr, const_cast<char *>(route.c_str()));
  linphone_proxy_config_set_routes(proxyConfig, routes);
  bctbx_list_free(routes);
}
