// Pieces of the service client shared between its files, and with its tests
// and benchmark.
#pragma once

#include <string>

#include "service.h"

// Form value encoding: everything but A-Z a-z 0-9 - . _ ~ becomes %XX.
std::string formEncode(const std::string &value);

enum TransferResult {
  TRANSFER_NO_HANDLE, // nothing was sent
  TRANSFER_FAILED,    // no complete answer (unreachable, time-out, cut off)
  TRANSFER_DONE,      // a complete answer arrived; status holds its HTTP code
};
// POSTs body as form data to path on the service host; the whole transfer
// may take limitMs. With stopsAtEnd it fails at once when the session ends.
TransferResult postForm(const char *path, const std::string &body, std::string &response,
                        long &status, long limitMs = TRANSFER_LIMIT_MS, bool stopsAtEnd = false);

enum LoginAnswer { ANSWER_ACCEPTED, ANSWER_REFUSED, ANSWER_FAILED, ANSWER_UNUSABLE_ACCOUNT };
// Reads the body of a 200 answer of the login endpoint. An accepted answer
// stores the SIP account and appends the queues; a refusal gives its repaired
// text in refusalText; an acceptance whose SIP account cannot be used as it
// stands is ANSWER_UNUSABLE_ACCOUNT; anything else unexpected is
// ANSWER_FAILED. Only an accepted answer stores anything.
LoginAnswer applyLoginAnswer(const std::string &body, std::string &refusalText);

// The SIP account values of a login answer. A domain is a host name, an IPv4
// address or a bracketed IPv6 address, with an optional port and nothing
// else; a user is made of the characters a SIP user part allows, without ':'
// and '@' (an empty text passes: the caller decides whether it may be
// empty); a password holds no control characters.
bool validSipDomain(const std::string &domain);
bool validSipUser(const std::string &user);
bool validSipPassword(const std::string &password);
