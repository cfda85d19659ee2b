// Digits sent to the queue during a call (its menus' "tecle 1"): as
// telephone events in the call's audio when the queue's answer accepts
// them, else as SIP INFO requests.
#include "sip.h"
// Before anything that brings in windows.h: the library's headers need
// winsock2.h first on Windows.
#include "sip_internal.h"

#include <chrono>
#include <cstring>
#include <string>

#include "app_state.h"

// The call's media streams. Exported by the library but declared only in
// its private headers; the audio stream's sending profile is the outcome of
// the offer and the queue's answer.
extern "C" MediaStream *linphone_call_get_stream(LinphoneCall *call, LinphoneStreamType type);

namespace {

// The library plays a telephone event for 100 ms of the call's audio and
// takes the next one only once the first has ended: a digit given earlier
// replaces the one not yet begun, a digit given during one is dropped. So
// the digits typed go one by one, this far apart, and a telephone event
// only once the previous one's packets have gone out (4 with the event, 3
// ending it): a busy machine plays the audio late, the clock goes on.
const std::chrono::milliseconds DIGIT_SPACING(200);
const uint64_t EVENT_PACKETS = 7;
// Should the call send nothing at all, the next digit goes after this.
const std::chrono::milliseconds EVENT_LIMIT(1000);

// Under coreMutex: the digits typed and not sent yet, the call they belong
// to, when the next may go, and the call's packets sent when the last
// telephone event was handed over (none: 0).
std::string pendingDigits;
LinphoneCall *digitsCall = nullptr;
std::chrono::steady_clock::time_point lastDigitAt;
uint64_t packetsAtEvent = 0;

bool answered(LinphoneCall *call) {
  switch (linphone_call_get_state(call)) {
  case LinphoneCallConnected:
  case LinphoneCallStreamsRunning:
  case LinphoneCallUpdating:
  case LinphoneCallUpdatedByRemote:
    return true;
  default:
    return false;
  }
}

RtpSession *audioSession(LinphoneCall *call) {
  MediaStream *stream = linphone_call_get_stream(call, LinphoneStreamTypeAudio);
  return stream ? stream->sessions.rtp_session : nullptr;
}

uint64_t packetsSent(RtpSession *session) {
  const rtp_stats_t *stats = session ? rtp_session_get_stats(session) : nullptr;
  return stats ? stats->packet_sent : 0;
}

// Whether the audio sent to the queue may carry telephone events: the queue
// answered with one of the program's telephone-event formats.
bool queueTakesTelephoneEvents(LinphoneCall *call) {
  RtpSession *session = audioSession(call);
  RtpProfile *profile = session ? rtp_session_get_send_profile(session) : nullptr;
  if (!profile)
    return false;
  for (int i = 0; i < RTP_PROFILE_MAX_PAYLOADS; ++i) {
    PayloadType *pt = rtp_profile_get_payload(profile, i);
    if (pt && pt->mime_type && strcasecmp(pt->mime_type, "telephone-event") == 0 &&
        (pt->flags & PAYLOAD_TYPE_FLAG_CAN_SEND))
      return true;
  }
  return false;
}

} // namespace

// Runs with coreMutex held. The library sends a digit the way the core's
// settings say; they are chosen for this call, digit by digit, and put back
// at once, so that every offer keeps its telephone-event format.
void sendPendingDigit() {
  LinphoneCall *call = app.currentCall;
  if (call != digitsCall) { // that call is over (or another took its place)
    pendingDigits.clear();
    digitsCall = nullptr;
    packetsAtEvent = 0;
  }
  if (pendingDigits.empty() || !app.core || !call)
    return;
  if (linphone_call_get_state(call) != LinphoneCallStreamsRunning)
    return; // the audio is not there yet (or paused): later
  auto now = std::chrono::steady_clock::now();
  RtpSession *session = audioSession(call);
  if (now < lastDigitAt + DIGIT_SPACING ||
      (packetsAtEvent && packetsSent(session) < packetsAtEvent + EVENT_PACKETS &&
       now < lastDigitAt + EVENT_LIMIT))
    return;
  bool byInfo = !queueTakesTelephoneEvents(call);
  packetsAtEvent = byInfo ? 0 : packetsSent(session);
  linphone_core_set_use_rfc2833_for_dtmf(app.core, !byInfo);
  linphone_core_set_use_info_for_dtmf(app.core, byInfo);
  linphone_call_send_dtmf(call, pendingDigits[0]);
  linphone_core_set_use_rfc2833_for_dtmf(app.core, TRUE);
  linphone_core_set_use_info_for_dtmf(app.core, FALSE);
  pendingDigits.erase(0, 1);
  lastDigitAt = now;
}

bool sendDigit(char digit) {
  if (!digit || !std::strchr("0123456789*#", digit))
    return false;
  std::lock_guard<std::mutex> lock(coreMutex);
  LinphoneCall *call = app.currentCall;
  if (!call || !answered(call))
    return false;
  if (call != digitsCall) {
    pendingDigits.clear();
    digitsCall = call;
    packetsAtEvent = 0;
  }
  pendingDigits += digit;
  sendPendingDigit();
  return true;
}
