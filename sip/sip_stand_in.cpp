// SIP stand-in, for builds where the SIP library is not available (the
// Windows executable built on Linux). It registers nothing and places no
// call: `registered` stays 0, so the call screen offers the call and then
// does nothing, and its status line says that the phone is unavailable.
#include "app_state.h"
#include "sip.h"

void setupSipAccount(const char *, const char *, const char *) {}

void placeCall(const char *) {}

void terminateCall() { app.callInProgress = false; }

SipReport sipReport() { return SipReport{REGISTRATION_UNAVAILABLE, "", CALL_NONE, 0, false}; }
