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
  if (state == LinphoneRegistrationOk) {
    app.registered = true;
    publishRegistration(REGISTRATION_OK);
  } else if (state == LinphoneRegistrationProgress) {
    // A refresh of an accepted registration is no news for the user.
    if (sipReport().registration != REGISTRATION_OK)
      publishRegistration(REGISTRATION_PENDING);
  } else if (state == LinphoneRegistrationFailed) {
    char reason[REASON_CAP];
    registrarReason(config, reason);
    publishRegistration(REGISTRATION_FAILED, reason);
  } else if (state == LinphoneRegistrationNone || state == LinphoneRegistrationCleared) {
    // The library drops an attempt it gives up on without a failure (no
    // network left but loopback, say): the account is not registered, and
    // "Registrando conta..." must not stay on screen for ever.
    RegistrationView shown = sipReport().registration;
    if (shown != REGISTRATION_FAILED && shown != REGISTRATION_UNAVAILABLE)
      publishRegistration(REGISTRATION_FAILED);
  }
}

void setupSipAccount(const char *user, const char *password, const char *domain) {
  if (setupDone)
    return;
  setupDone = true;
  app.coreVTable = &coreVTableStorage;
  coreVTableStorage.registration_state_changed = onRegistrationStateChanged;
  // The core copies the table when it is created, so the call-state handler
  // has to be in it now; it ignores every call but the one placed here.
  coreVTableStorage.call_state_changed = onCallStateChanged;
  LinphoneCore *core = startCore(&coreVTableStorage);
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
