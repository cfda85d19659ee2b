// SIP telephony as the window code sees it. Deliberately free of the SIP
// library's headers, which do not build for Windows with MinGW.
#pragma once

#include <atomic>

void setupSipAccount(const char *user, const char *password, const char *domain);
void placeCall(const char *domain);
void terminateCall();
// The end of the program: hangs up the program's call (BYE) and unregisters
// the account (REGISTER with Expires: 0), then waits up to timeoutMs for
// their answers, which the worker receives. Only the first call sends
// anything; a later one waits again for what is still unanswered (0: no
// wait at all). True when nothing is left unanswered. Window thread only.
bool shutdownSip(int timeoutMs);
// The program's very end, once WinMain's loop is over: keeps the worker out
// of the core from now on. The exit handlers tear down what the library made
// while it ran (its objects made after the worker started go first, before
// any handler of ours registered then), and a worker still iterating would
// use them torn down. Once per process; nothing may call into the core after.
void holdSipCoreForGood();
// Sends one digit (0-9, * or #) to the queue in the answered call: a
// telephone event in the call's audio when the queue's answer accepts them,
// else a SIP INFO request. Digits typed in quick succession go one after the
// other, none lost. False when there is no answered call to send it in.
// Window thread.
bool sendDigit(char digit);
// Removes this run's data folder (the ringing tone) now: at the end of a
// Windows session the process may be ended before its exit handlers run.
void removeSipRunFolder();

// What the SIP side last reported, for the call screen's status line. The
// callbacks record it (on whichever thread is inside the library) and post
// WM_SIP_CHANGED to the main window; the window thread reads it with
// sipReport().
enum RegistrationState {
  REGISTRATION_PENDING,     // set up, no answer yet (or trying again)
  REGISTRATION_OK,          // the registrar accepted the account
  REGISTRATION_FAILED,      // refused or unanswered: see registrationReason
  REGISTRATION_UNAVAILABLE, // the SIP core could not be started
  REGISTRATION_NO_NETWORK,  // dropped: no network left to reach the registrar
};
enum CallState {
  CALL_NONE,
  CALL_CALLING,    // invited, not answered yet
  CALL_CONNECTED,  // answered
  CALL_ENDED,      // ended normally, by either side
  CALL_LOST,       // ended because the connection with the queue was lost
  CALL_NOT_SECURE, // answered without the encryption the build requires
  CALL_BUSY,       // the queue answered busy
  CALL_DECLINED,   // the queue refused the call
  CALL_FAILED,     // any other failure: callCode (0: no answer)
  CALL_NOT_PLACED, // the queue's address is not valid: nothing was sent
  // answered, but in no audio format the program offered: hung up
  CALL_NO_COMMON_AUDIO,
  CALL_HELD,          // answered, and put on hold by the queue
  CALL_TRANSFERRING,  // the queue hands the call to another target
  CALL_REDIRECT_LOOP, // redirected too often, or back to a target tried
};
enum { REASON_CAP = 64 };
struct SipReport {
  RegistrationState registration;
  // The registrar's answer to a failed registration ("acesso negado (403)"); empty
  // when none came; "conta inválida" when there was no account to register;
  // why the core could not be started, when it could not.
  char registrationReason[REASON_CAP];
  CallState call;
  int callCode;
  // The call's outcome is newer than the registration's last change, so the
  // status line shows the outcome.
  bool callNewer;
  // The SIP core found no microphone / no speaker (when it started, and
  // again before each call): calls then go out without that side of audio.
  bool noMicrophone;
  bool noSpeaker;
  // Who the customer talks to when the queue handed the call on (a transfer,
  // or another party taking the call's place): the SIP user and display name
  // (UTF-8) of the far side, each empty when unknown or too long.
  bool handedOn;
  char farUser[REASON_CAP];
  char farName[REASON_CAP];
};
SipReport sipReport();
// How the main window hears of a change: postSipChanged posts WM_SIP_CHANGED
// to it. Tests may put a function of their own here before the core starts.
void postSipChanged();
// Atomic: a test may swap it while the worker reports.
extern std::atomic<void (*)()> notifyWindow;
