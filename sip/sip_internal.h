// The SIP side's own interface: handlers, core iteration and the lock that
// keeps the two threads from being inside the core at the same time.
#pragma once

#include <linphone/core.h>

#include <mutex>

// Held by the worker around each iteration and by the window thread around
// each of its calls into the core. The library runs the handlers inside those
// calls, so the handlers always run with it held and never take it.
extern std::mutex coreMutex;

void onRegistrationStateChanged(LinphoneCore *core, LinphoneProxyConfig *config,
                                LinphoneRegistrationState state, const char *message);
void onCallStateChanged(LinphoneCore *core, LinphoneCall *call, LinphoneCallState state,
                        const char *message);

// The worker's function: one iteration of `app.core`, read at each call.
void iterateCore();
