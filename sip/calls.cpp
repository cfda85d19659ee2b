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
  if (!call || !app.core)
    return;
  // Ended for the customer now; its BYE waits for the network.
  if (!linphone_core_is_network_reachable(app.core)) {
    forgetCurrentCall(callsToEndWithNetwork);
    publishCall(CALL_ENDED);
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
// Nobody answers a call coming in to this program, which only calls out.
// The core refuses them before it creates a call (see CORE_DEFAULTS); one
// that reaches this far all the same is declined with 486 Busy Here the
// moment it arrives, before the core rings for it or tells the caller it
// rings. True for every state of an incoming call; the program's own call
// state is never touched by one.
bool declineIncomingCall(LinphoneCall *call, LinphoneCallState state) {
  if (!call || linphone_call_get_dir(call) != LinphoneCallIncoming)
    return false;
  if (state == LinphoneCallIncomingReceived)
    linphone_call_decline(call, LinphoneReasonBusy);
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
  if (declineIncomingCall(call, state))
    return;
  if (!call || call != app.currentCall)
    return;
  switch (state) {
  case LinphoneCallConnected:
    currentCallAnswered = true;
    app.callInProgress = true;
    publishCall(CALL_CONNECTED);
    break;
  case LinphoneCallStreamsRunning:
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
  linphone_core_set_max_calls(app.core, 1);
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
  currentCallLacksCommonAudio = false;
  // A call that already failed inside the invitation was not yet the
  // program's when the library reported it.
  LinphoneCallState now = linphone_call_get_state(call);
  if (now == LinphoneCallError || now == LinphoneCallEnd || now == LinphoneCallReleased)
    onCallStateChanged(app.core, call, now, nullptr);
}
