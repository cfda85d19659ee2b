// The program's one outgoing call: placing it, hanging it up, following its
// state, and holding its reference until the library is done with it.
#include "sip.h"
// Before anything that brings in windows.h: the library's headers need
// winsock2.h first on Windows.
#include "sip_internal.h"

#include <chrono>
#include <vector>

#include "app_state.h"

namespace {
// The program's call was answered (it went through the connected state).
bool currentCallAnswered = false;
// Its audio started (it went through the streams-running state).
bool currentCallStreamsRan = false;
// The queue put the program's call on hold and has not taken it off yet.
bool currentCallHeld = false;
// The queue's answer has no audio format in common with the offer: the call
// is hung up after the iteration that found it.
bool currentCallLacksCommonAudio = false;

// How the program's own call ended, as the status line tells it: `failed`
// for the error state. A queue that declines ends the call in the end state,
// with its reason. An answered call that ends on a transport error lost its
// connection: the audio stopped arriving (the library's no-RTP time-out) or
// the signalling went.
CallState endedCallState(LinphoneCall *call, bool failed, int &code) {
  LinphoneReason reason = linphone_call_get_reason(call);
  code = answerCode(linphone_call_get_error_info(call));
  if (currentCallLacksCommonAudio)
    return CALL_NO_COMMON_AUDIO;
  if (reason == LinphoneReasonBusy)
    return CALL_BUSY;
  if (reason == LinphoneReasonDeclined)
    return CALL_DECLINED;
  // A redirection that ends the call is one the stack would not follow: a
  // loop, or one redirection too many.
  if (code >= 300 && code < 400)
    return CALL_REDIRECT_LOOP;
  if (currentCallAnswered && answerLacksRequiredEncryption(call))
    return CALL_NOT_SECURE;
  if (currentCallAnswered && reason == LinphoneReasonIOError)
    return CALL_LOST;
  // The library itself gives up on an answer it can make no audio of (one
  // with nothing but DTMF events, say): the answered call fails before its
  // audio starts.
  if (currentCallAnswered && !currentCallStreamsRan && failed)
    return CALL_NO_COMMON_AUDIO;
  return failed ? CALL_FAILED : CALL_ENDED;
}

// The library goes on with an answer that shares no audio format with the
// offer: it sends in the first format it offered, which the queue never
// accepted, so the queue hears nothing. The format the call sends in was
// accepted by the queue only when the library marked it as one it may send.
// The older interface is the one that shows that mark.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool queueAcceptsTheAudioSent(LinphoneCall *call) {
  const LinphoneCallParams *params = linphone_call_get_current_params(call);
  const OrtpPayloadType *sent =
      params ? linphone_call_params_get_used_audio_codec(params) : nullptr;
  return !sent || (sent->flags & PAYLOAD_TYPE_FLAG_CAN_SEND);
}
#pragma GCC diagnostic pop

// References on calls the program has let go of, released only once the
// library has returned from the iteration, invitation or termination in
// which they were let go: released inside it, the last reference could take
// the call away while the library is still handling it (sending the
// acknowledgement of the answer that ended it, say).
std::vector<LinphoneCall *> forgottenCalls;

// Calls the program let go of while there was no network (hung up, or given
// up as lost): their BYE could not leave, so they are ended once the network
// is back, and the queue is not left in a dead call.
std::vector<LinphoneCall *> callsToEndWithNetwork;

// The program's call is over: the flag is cleared and the handle forgotten,
// so whatever reports the same call afterwards finds nothing to release.
// Runs with `coreMutex` held.
void forgetCurrentCall(std::vector<LinphoneCall *> &keptIn = forgottenCalls) {
  LinphoneCall *call = app.currentCall;
  app.callInProgress = false;
  app.currentCall = nullptr;
  if (call)
    keptIn.push_back(call);
}

// A network back within this keeps the call: the core repairs it with a
// re-INVITE once registered again, and the audio resumes. Longer, and the
// customer is told the call was lost. Shorter than the core's own 30 s
// limit on missing audio, counted from the last packet, which came up to
// 5 s before the core noticed the network gone.
const std::chrono::seconds CALL_KEPT_WITHOUT_NETWORK(20);
// Since when the core has found no network; unset while it has one.
bool networkGone = false;
std::chrono::steady_clock::time_point networkGoneSince;

// Runs after each iteration. The core looks for a network every few seconds.
void followNetwork() {
  if (!app.core)
    return;
  if (linphone_core_is_network_reachable(app.core)) {
    networkGone = false;
    for (LinphoneCall *call : callsToEndWithNetwork) {
      linphone_call_terminate(call);
      forgottenCalls.push_back(call);
    }
    callsToEndWithNetwork.clear();
    return;
  }
  auto now = std::chrono::steady_clock::now();
  if (!networkGone) {
    networkGone = true;
    networkGoneSince = now;
  }
  if (app.currentCall && currentCallAnswered &&
      now - networkGoneSince >= CALL_KEPT_WITHOUT_NETWORK) {
    forgetCurrentCall(callsToEndWithNetwork);
    publishCall(CALL_LOST);
  }
}

// A queue hands the customer on (a transfer): the call to the transfer's
// target becomes the program's call, and the call transferred from is held,
// with a reference of ours, until the new one is answered or fails; it is
// then hung up, unless the queue has hung it up already.
LinphoneCall *transferorCall = nullptr;
// The queue asked for a transfer: the core creates the call to its target
// within the same handling, with the room opened for it.
bool awaitingReferredCall = false;
// Calls to hang up after the iteration (each with a reference of ours),
// outside the library's handling of whatever decided it.
std::vector<LinphoneCall *> callsToEnd;

// When the call transferred from is to be hung up, if the queue has not
// done so itself by then.
bool transferorEndDue = false;
std::chrono::steady_clock::time_point transferorEndTime;

void endTransferorCall() {
  if (transferorCall)
    callsToEnd.push_back(transferorCall);
  transferorCall = nullptr;
  transferorEndDue = false;
}

// The transfer's outcome is known. The queue is told it with a NOTIFY that
// waits behind the earlier ones in the call transferred from; a BYE would
// drop it. The queue normally hangs up once told; otherwise the program
// does, a little later.
void endTransferorCallSoon() {
  if (!transferorCall || transferorEndDue)
    return;
  transferorEndDue = true;
  transferorEndTime = std::chrono::steady_clock::now() + std::chrono::seconds(2);
}

void endTransferorCallWhenDue() {
  if (transferorEndDue && std::chrono::steady_clock::now() >= transferorEndTime)
    endTransferorCall();
}

// The window learns who the customer talks to now.
void publishFarSideOf(LinphoneCall *call) {
  const LinphoneAddress *remote = linphone_call_get_remote_address(call);
  publishFarSide(true, remote ? linphone_address_get_username(remote) : "",
                 remote ? linphone_address_get_display_name(remote) : "");
}

// `call` is the program's call from now on, in place of the current one,
// which the caller has taken care of. The flag stays as it is: the customer
// is in a call throughout.
void followCall(LinphoneCall *call) {
  app.currentCall = linphone_call_ref(call);
  currentCallAnswered = false;
  currentCallStreamsRan = false;
  currentCallLacksCommonAudio = false;
  publishFarSideOf(call);
}

// The core made the call to the transfer's target: it becomes the program's
// call, and the call transferred from waits for its outcome.
void followReferredCall(LinphoneCall *call) {
  awaitingReferredCall = false;
  linphone_core_set_max_calls(app.core, 0);
  endTransferorCall(); // a transfer still under way when the next one came
  transferorCall = app.currentCall;
  followCall(call);
}

// A transfer the core could not even start (a target that does not parse):
// the queue was told so; the customer's call, put on hold for it, ends.
void endUnstartedTransfer() {
  if (!awaitingReferredCall)
    return;
  awaitingReferredCall = false;
  linphone_core_set_max_calls(app.core, 0);
  LinphoneCall *call = app.currentCall;
  if (!call)
    return;
  linphone_call_ref(call);
  callsToEnd.push_back(call);
  forgetCurrentCall();
  publishCall(CALL_NOT_PLACED);
}

void hangUpCallsToEnd() {
  std::vector<LinphoneCall *> calls;
  calls.swap(callsToEnd);
  for (LinphoneCall *call : calls) {
    LinphoneCallState state = linphone_call_get_state(call);
    if (state != LinphoneCallEnd && state != LinphoneCallError && state != LinphoneCallReleased)
      linphone_call_terminate(call);
    forgottenCalls.push_back(call);
  }
}

// Not inside the library's handling of the answer: terminating there would
// pull the call away under it. Tried once: the call is the program's no
// longer afterwards.
void endCallWithoutCommonAudio() {
  LinphoneCall *call = app.currentCall;
  if (!currentCallLacksCommonAudio || !call)
    return;
  linphone_call_terminate(call);
  // The end state normally came inside the termination and told the window.
  if (app.currentCall == call) {
    forgetCurrentCall();
    publishCall(CALL_NO_COMMON_AUDIO);
  }
}

} // namespace

void afterIteration() {
  endCallWithoutCommonAudio();
  sendPendingDigit();
  endUnstartedTransfer();
  endTransferorCallWhenDue();
  hangUpCallsToEnd();
  followNetwork();
  for (LinphoneCall *call : forgottenCalls)
    linphone_call_unref(call);
  forgottenCalls.clear();
}

// The call termination is deprecated in this generation of the library.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

void terminateCall() {
  app.callInProgress = false;
  std::lock_guard<std::mutex> lock(coreMutex);
  LinphoneCall *call = app.currentCall;
  if (!app.core)
    return;
  // The call a transfer came from goes with the one it led to.
  endTransferorCall();
  // Ended for the customer now; its BYE waits for the network.
  if (call && !linphone_core_is_network_reachable(app.core)) {
    forgetCurrentCall(callsToEndWithNetwork);
    publishCall(CALL_ENDED);
    call = nullptr;
  }
  if (!call) {
    afterIteration();
    return;
  }
  linphone_core_terminate_call(app.core, call);
  // The end state is normally raised inside the termination, which then
  // forgot the call already.
  if (app.currentCall == call) {
    forgetCurrentCall();
    publishCall(CALL_ENDED);
  }
  afterIteration();
}

#pragma GCC diagnostic pop

namespace {
// An incoming call that takes the place of the program's call (Replaces:
// the queue's attendant hands the customer to a colleague). The core
// answers it and ends the call it replaces.
bool replacesCurrentCall(LinphoneCall *call) {
  return app.currentCall && linphone_call_get_replaced_call(call) == app.currentCall;
}

// Nobody answers a call coming in to this program, which only calls out.
// The core refuses them before it creates a call (see CORE_DEFAULTS); one
// that reaches this far all the same is declined with 486 Busy Here the
// moment it arrives, before the core rings for it or tells the caller it
// rings. True for every state of an incoming call; the program's own call
// state is never touched by one. The one exception is a call replacing the
// program's own, which the program follows from then on.
bool declineIncomingCall(LinphoneCall *call, LinphoneCallState state) {
  if (!call || linphone_call_get_dir(call) != LinphoneCallIncoming || call == app.currentCall)
    return false;
  if (state == LinphoneCallIncomingReceived) {
    if (replacesCurrentCall(call)) {
      forgottenCalls.push_back(app.currentCall);
      followCall(call);
      return true;
    }
    linphone_call_decline(call, LinphoneReasonBusy);
  }
  return true;
}

// The call a transfer came from ended by itself (the queue hung up once it
// had handed the customer on): nothing of it is left to wait for.
bool transferorCallEnded(LinphoneCall *call, LinphoneCallState state) {
  if (!call || call != transferorCall)
    return false;
  if (state == LinphoneCallEnd || state == LinphoneCallError || state == LinphoneCallReleased) {
    forgottenCalls.push_back(transferorCall);
    transferorCall = nullptr;
    transferorEndDue = false;
  }
  return true;
}
} // namespace

// Runs with `coreMutex` held (inside an iteration, an invitation or a
// termination). Only the call the program placed, and holds a reference on,
// is followed. A failed call ends in the error state and then the released
// one, without the end state: whichever of the three comes first ends the
// program's call, once. The flag is cleared before the news goes to the
// window, so that the window never reads the flag of the call that ended.
void onCallStateChanged(LinphoneCore *, LinphoneCall *call, LinphoneCallState state, const char *) {
  if (declineIncomingCall(call, state) || transferorCallEnded(call, state))
    return;
  if (call && awaitingReferredCall && call != app.currentCall &&
      linphone_call_get_dir(call) == LinphoneCallOutgoing &&
      (state == LinphoneCallOutgoingInit || state == LinphoneCallOutgoingProgress)) {
    followReferredCall(call);
    return;
  }
  if (!call || call != app.currentCall)
    return;
  switch (state) {
  case LinphoneCallRefered:
    // The core follows the transfer at once with a call of its own: room
    // for it, which followReferredCall closes again.
    linphone_core_set_max_calls(app.core, linphone_core_get_calls_nb(app.core) + 1);
    awaitingReferredCall = true;
    publishCall(CALL_TRANSFERRING);
    break;
  case LinphoneCallConnected:
    currentCallAnswered = true;
    app.callInProgress = true;
    publishCall(CALL_CONNECTED);
    // Handed on: the call transferred from is over.
    endTransferorCallSoon();
    break;
  case LinphoneCallPausedByRemote:
    // The queue holds the call (its offer sends only, or nothing).
    currentCallHeld = true;
    publishCall(CALL_HELD);
    break;
  case LinphoneCallStreamsRunning:
    if (currentCallHeld) { // taken off hold
      currentCallHeld = false;
      publishCall(CALL_CONNECTED);
    }
    currentCallStreamsRan = true;
    if (!queueAcceptsTheAudioSent(call))
      currentCallLacksCommonAudio = true;
    break;
  case LinphoneCallError:
  case LinphoneCallEnd:
  case LinphoneCallReleased: {
    int code = 0;
    CallState ended = endedCallState(call, state == LinphoneCallError, code);
    forgetCurrentCall();
    // A transfer whose target failed ends the customer's call too.
    endTransferorCallSoon();
    publishCall(ended, code);
    break;
  }
  default:
    break;
  }
}

// A call that cannot be placed (a target that does not fit or does not
// parse, no core, an invitation refused at once) sends nothing and leaves no
// call in progress; the status line says so.
void placeCall(const char *domain) {
  app.callInProgress = true;
  publishFarSide(false);
  publishCall(CALL_CALLING);
  bool fits = textCopy(app.calleeUri, "") && textAppend(app.calleeUri, "sip:") &&
              textAppend(app.calleeUri, app.calleeUser) && textAppend(app.calleeUri, "@") &&
              textAppend(app.calleeUri, domain);
  if (!fits)
    textCopy(app.calleeUri, ""); // no partial target is ever invited
  std::lock_guard<std::mutex> lock(coreMutex);
  if (app.currentCall) // an earlier call the program still holds
    forgetCurrentCall();
  app.callInProgress = true;
  app.calleeAddress = fits && app.core ? linphone_address_new(app.calleeUri) : nullptr;
  if (!app.calleeAddress || !linphone_address_get_username(app.calleeAddress)) {
    if (app.calleeAddress)
      linphone_address_unref(app.calleeAddress);
    app.calleeAddress = nullptr;
    app.callInProgress = false;
    publishCall(CALL_NOT_PLACED);
    return;
  }
  // A headset plugged in since the last look is found now; the status line
  // tells when the call goes out without a microphone or speaker.
  linphone_core_reload_sound_devices(app.core);
  publishSoundDevices(app.core);
  // Room for this one call while it is created; the call then fills it.
  // A call still being let go of (one a transfer came from) takes none.
  endTransferorCall();
  afterIteration();
  linphone_core_set_max_calls(app.core, linphone_core_get_calls_nb(app.core) + 1);
  LinphoneCall *call = linphone_core_invite_address(app.core, app.calleeAddress);
  linphone_core_set_max_calls(app.core, 0);
  linphone_address_unref(app.calleeAddress);
  app.calleeAddress = nullptr;
  if (!call) {
    app.callInProgress = false;
    publishCall(CALL_FAILED);
    return;
  }
  linphone_call_ref(call);
  app.currentCall = call;
  currentCallAnswered = false;
  currentCallStreamsRan = false;
  currentCallHeld = false;
  currentCallLacksCommonAudio = false;
  // A call that already failed inside the invitation was not yet the
  // program's when the library reported it.
  LinphoneCallState now = linphone_call_get_state(call);
  if (now == LinphoneCallError || now == LinphoneCallEnd || now == LinphoneCallReleased)
    onCallStateChanged(app.core, call, now, nullptr);
}
