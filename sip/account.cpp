// The customer's SIP account: its identity, its registration, and the
// registration handler that reports each state change.
#include "sip.h"
// Before anything that brings in windows.h: the library's headers need
// winsock2.h first on Windows.
#include "sip_internal.h"

#include <cstdio>
#include <string>

#include "app_state.h"

namespace {
// The callback table the core is created from; `app.coreVTable` points here.
LinphoneCoreVTable coreVTableStorage = {};
bool setupDone = false;

// A registrar on this host (the domain is checked: a host name, an IPv4
// address or a bracketed IPv6 one, then an optional port) is reached
// without any network, so the loss of the network must not drop the
// registration there.
bool registrarOnThisHost(const std::string &domain) {
  std::string host =
      domain.substr(0, domain.compare(0, 1, "[") == 0 ? domain.find(']') + 1 : domain.find(':'));
  return host.compare(0, 4, "127.") == 0 || host == "[::1]" || host == "localhost";
}
} // namespace

// Silenced only for these: the callback-table interface, the identity query
// of the report and the address release are deprecated in this generation of
// the library.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

void onRegistrationStateChanged(LinphoneCore *, LinphoneProxyConfig *config,
                                LinphoneRegistrationState state, const char *) {
  const char *name = linphone_registration_state_to_string(state);
  const char *identity = linphone_proxy_config_get_identity(config);
  const char *server = linphone_proxy_config_get_server_addr(config);
  printf("Novo estado de registro %s para o usuario id [%s] no proxy [%s]", name ? name : "",
         identity ? identity : "", server ? server : "");
  fflush(stdout);
  // Once the registrar has held the account, calls are placed whatever the
  // registration does later: a call that cannot go out then ends with its
  // reason on the status line, which already tells of the registration.
  if (state == LinphoneRegistrationOk)
    app.registered = true;

  if (state == LinphoneRegistrationOk) {
    publishRegistration(REGISTRATION_OK);
  } else if (state == LinphoneRegistrationProgress) {
    // A refresh of an accepted registration is no news for the user.
    if (sipReport().registration != REGISTRATION_OK)
      publishRegistration(REGISTRATION_PENDING);
  } else if (state == LinphoneRegistrationFailed) {
    char reason[REASON_CAP];
    registrarReason(config, reason);
    publishRegistration(REGISTRATION_FAILED, reason);
  } else {
    // Dropped without a failure: the library does so when it finds no
    // network left (only loopback), and then says so through
    // onNetworkReachable. Otherwise the account is not registered, and
    // "Registrando conta..." must not stay on screen for ever.
    RegistrationState shown = sipReport().registration;
    if (shown != REGISTRATION_FAILED && shown != REGISTRATION_UNAVAILABLE &&
        shown != REGISTRATION_NO_NETWORK)
      publishRegistration(REGISTRATION_FAILED);
  }
}

// The library looks for a network every few seconds. Without one it drops
// the registration without a word on the wire; once one is back it
// registers again by itself, and the registration handler tells the rest.
// The status line stops saying there is no network as soon as there is one.
void onNetworkReachable(LinphoneCore *, bool_t reachable) {
  if (!app.identityUri[0]) // no account that could register
    return;
  if (!reachable)
    publishRegistration(REGISTRATION_NO_NETWORK);
  else if (sipReport().registration == REGISTRATION_NO_NETWORK)
    publishRegistration(REGISTRATION_PENDING);
}

void setupSipAccount(const char *user, const char *password, const char *domain) {
  if (setupDone)
    return;
  setupDone = true;
  app.coreVTable = &coreVTableStorage;
  coreVTableStorage.registration_state_changed = onRegistrationStateChanged;
  // The core copies the table when it is created, so the other handlers
  // have to be in it now; the call-state handler ignores every call but the
  // one placed here.
  coreVTableStorage.call_state_changed = onCallStateChanged;
  coreVTableStorage.network_reachable = onNetworkReachable;
  LinphoneCore *core = startCore(&coreVTableStorage, !registrarOnThisHost(domain ? domain : ""));
  if (!core)
    return;
  secureSipTransport(core);

  app.proxyConfig = linphone_core_create_proxy_config(core);
  // An identity that does not fit whole, or does not parse into a user and a
  // domain, configures no account.
  bool fits = textAppend(app.identityUri, "sip:") && textAppend(app.identityUri, user) &&
              textAppend(app.identityUri, "@") && textAppend(app.identityUri, domain);
  app.identityAddress = fits ? linphone_address_new(app.identityUri) : nullptr;
  // The registrar is the domain as granted, port included; one the library
  // cannot take registers nothing, and the status line says so at once.
  if (!app.identityAddress || !linphone_address_get_username(app.identityAddress) ||
      !linphone_address_get_domain(app.identityAddress) ||
      linphone_proxy_config_set_server_addr(app.proxyConfig, sipServerAddress(domain).c_str()) !=
          0) {
    if (app.identityAddress)
      linphone_address_unref(app.identityAddress);
    app.identityAddress = nullptr;
    textCopy(app.identityUri, "");
    publishRegistration(REGISTRATION_FAILED, "conta inválida");
  } else {
    if (password) {
      app.authInfo = linphone_auth_info_new(user, nullptr, password, nullptr, nullptr, domain);
      linphone_core_add_auth_info(core, app.authInfo);
    }
    linphone_proxy_config_set_identity_address(app.proxyConfig, app.identityAddress);
    routeThroughServer(app.proxyConfig, domain);
    linphone_proxy_config_enable_register(app.proxyConfig, 1);
    linphone_address_destroy(app.identityAddress);
    app.identityAddress = nullptr;
    linphone_core_add_proxy_config(core, app.proxyConfig);
    linphone_core_set_default_proxy_config(core, app.proxyConfig);
  }
  runCore(core);
}

#pragma GCC diagnostic pop
