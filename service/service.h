// The program's side of the consulting service: the installation key in
// key.txt, the login exchange that grants the SIP account and the queues,
// the queue directory built from it, and the logout notice.
#pragma once

#include <cstddef>
#include <string>

#include "app_state.h"

// Started in the folder the program is installed in (Explorer's double-click
// on the executable starts it there), the program works in the customer's
// own folder instead, the one its shortcuts and launcher use, so that every
// way of starting it finds the same key.txt and nothing is written where it
// is installed. False when that folder cannot be used: then no key is made.
bool leaveInstallationFolder();
// Creates key.txt with a fresh random key when (and only when) it does not
// exist. An existing key.txt is never changed, even when it cannot be read.
void ensureInstallKey();
// The first line of key.txt; empty when it cannot be read or is too long.
std::string readInstallKey();

// Logs the typed code and password in to the service. True only when the
// service accepted them; the SIP fields and queue lists are then filled.
// False after a refusal or a failed exchange (each with its message box), and
// at once, doing nothing, while another login exchange is still running.
bool serviceLogin();
// Turns the service's UTF-8 into the window's code page 1252 (see
// code_page.h), then removes the first space.
void repairAccents(std::string &text);

TextList copyQueueNames();
TextList copyQueueUsers();
// Index of the first queue named exactly selectedQueue, or 0.
int findQueueIndex();
// SIP user of the first queue named exactly selectedQueue, or "erro".
const char *lookupQueueUser();

// Tells the service that the login of savedLoginCode ended, giving the
// transfer at most limitMs (the platform may allow less than the usual 10 s
// when the program is being ended). False only when no transfer could be
// set up; the answer is not looked at.
enum { TRANSFER_LIMIT_MS = 10000 };
bool sendLogoutNotice(long limitMs = TRANSFER_LIMIT_MS);

// "http://host[:port]" or "https://host[:port]" of the service's web
// endpoints and help page (compiled in), without a trailing slash.
const char *serviceBaseUrl();
// Point the client at a test server; the program never calls them. A
// location without a scheme means http://. The CA file replaces the
// compiled-in one (nullptr: back to the compiled-in one, "": system store).
void setServiceHostForTests(const char *location);
void setServiceCaFileForTests(const char *pemFile);
