// The SIP side's part in the end of the program: the call hung up, the
// account unregistered, and a bounded wait for the far side's answers, which
// the worker receives meanwhile.
#include "sip.h"
// Before anything that brings in windows.h: the library's headers need
// winsock2.h first on Windows.
#include "sip_internal.h"

#include <chrono>
#include <thread>

#include "app_state.h"

namespace {
// Window thread only, like every caller of shutdownSip.
bool shutdownBegun = false;
// The call being hung up, with a reference of this file's own until the
// library has released it (the BYE's answer came, or it gave up).
LinphoneCall *hungUpCall = nullptr;
// The account whose unregistration is awaited; null when there is none.
LinphoneProxyConfig *unregisteringAccount = nullptr;

// The BYE (or, while the queue rings, the CANCEL) and the REGISTER with
// Expires: 0 go out with the next iterations. Runs without `coreMutex`:
// terminateCall takes it.
void beginShutdown() {
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    if (!app.core)
      return;
    if (app.currentCall)
      hungUpCall = linphone_call_ref(app.currentCall);
  }
  terminateCall();
  std::lock_guard<std::mutex> lock(coreMutex);
  LinphoneProxyConfig *account = app.proxyConfig;
  // Only an account the core took (a valid one) was ever registered.
  if (!account || linphone_core_get_default_proxy_config(app.core) != account)
    return;
  linphone_proxy_config_edit(account);
  linphone_proxy_config_enable_register(account, FALSE);
  linphone_proxy_config_done(account);
  unregisteringAccount = account;
}

// With `coreMutex` held: nothing is left to wait for.
bool settled() {
  if (hungUpCall && linphone_call_get_state(hungUpCall) == LinphoneCallReleased) {
    linphone_call_unref(hungUpCall);
    hungUpCall = nullptr;
  }
  if (unregisteringAccount) {
    // Progress until the registrar answered the unregistration (Cleared) or
    // the library gave up on it (Failed); Ok until it has gone out.
    LinphoneRegistrationState state = linphone_proxy_config_get_state(unregisteringAccount);
    if (state != LinphoneRegistrationOk && state != LinphoneRegistrationProgress)
      unregisteringAccount = nullptr;
  }
  return !hungUpCall && !unregisteringAccount;
}
} // namespace

bool shutdownSip(int timeoutMs) {
  if (!shutdownBegun) {
    shutdownBegun = true;
    beginShutdown();
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(coreMutex);
      if (settled())
        return true;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    // The worker iterates every 10 ms; the answers arrive through it.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
