// The SIP side's own interface: handlers, core iteration and the lock that
// keeps the two threads from being inside the core at the same time.
#pragma once

#include <linphone/core.h>

#include "sip.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Held by the worker around each iteration and by the window thread around
// each of its calls into the core. The library runs the handlers inside those
// calls, so the handlers always run with it held and never take it.
extern std::mutex coreMutex;

void onRegistrationStateChanged(LinphoneCore *core, LinphoneProxyConfig *config,
                                LinphoneRegistrationState state, const char *message);
void onNetworkReachable(LinphoneCore *core, bool_t reachable);
void onCallStateChanged(LinphoneCore *core, LinphoneCall *call, LinphoneCallState state,
                        const char *message);

// The worker's function: one iteration of `app.core`, read at each call.
void iterateCore();

// The core (core.cpp): created from the callback table with the program's
// defaults and data folders, or nullptr when it cannot be, the status line
// then saying why. Unless watchNetwork, the core does not look for a network
// (whose loss makes it drop the registration). runCore makes its first
// iteration and starts the worker.
LinphoneCore *startCore(LinphoneCoreVTable *table, bool watchNetwork);
void runCore(LinphoneCore *core);
// Writes the ringing tone into the data folder `dataDir` (ending with '/')
// and hands it to the core (ringback.cpp).
void useOwnRingback(LinphoneCore *core, const std::string &dataDir);
// A WAV file's bytes: 16-bit mono samples at `rate` per second.
std::string wavFile(const std::vector<int16_t> &samples, unsigned rate);
// Reports whether the core has a microphone and a speaker to use.
void publishSoundDevices(LinphoneCore *core);

// The report behind the status line (report.cpp), written on any thread.
void publishRegistration(RegistrationState state, const char *reason = "");
void publishCall(CallState state, int code = 0);
void publishSound(bool microphone, bool speaker);
// The far side of the call now followed when it is not the queue called
// (handedOn); publishFarSide(false) for a call as placed.
void publishFarSide(bool handedOn, const char *user = "", const char *name = "");
// The status code of the far side's answer; 0 when none came: the library
// reports a time-out or an unreachable peer with codes of its own.
int answerCode(const LinphoneErrorInfo *info);
// The registrar's answer in words, "acesso negado (403)"; empty when none came.
void registrarReason(LinphoneProxyConfig *config, char (&out)[REASON_CAP]);
// A digest challenge (WWW-Authenticate or Proxy-Authenticate value) that
// the stack cannot answer: a quality of protection or algorithm it lacks.
bool unanswerableChallenge(const char *challenge);
// The words for a registrar's answer of this status code.
void registrarRefusal(int code, char (&out)[REASON_CAP]);

// What the call handlers leave for after an iteration, with `coreMutex` held
// and outside any call into the library (calls.cpp): hanging up a call the
// queue answered in no audio format the program offered, and releasing the
// references on calls the program let go of.
void afterIteration();
// Sends the next digit typed in the call, when one waits and its time has
// come (digits.cpp). With `coreMutex` held.
void sendPendingDigit();

// Transport of the account (sip_transport.cpp): UDP, or TLS only when the
// program is built with SIP_TRANSPORT=tls.
bool sipOverTls();
// TLS build: TLS as the only transport, verified certificates, SRTP required.
// Nothing in the UDP build. Called once the core exists, before the account.
void secureSipTransport(LinphoneCore *core);
// The registrar's address: the account's domain as granted (host, IPv4 or
// [IPv6], port included when it has one), over UDP, or over TLS in the TLS
// build.
std::string sipServerAddress(const char *domain);
// TLS build: the queue answered the call without the encrypted audio
// (SRTP) this build requires. False in the UDP build.
bool answerLacksRequiredEncryption(LinphoneCall *call);
// TLS build: every request of the account goes through its registrar.
void routeThroughServer(LinphoneProxyConfig *proxyConfig, const char *domain);
// Replaces the compiled-in CA file of the registrar's certificate (nullptr:
// back to it); the program never calls it.
void setSipCaFileForTests(const char *pemFile);
