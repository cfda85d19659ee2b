// SIP telephony as the window code sees it. Deliberately free of the SIP
// library's headers, which do not build for Windows with MinGW.
#pragma once

void setupSipAccount(const char *user, const char *password, const char *domain);
void placeCall(const char *domain);
void terminateCall();
