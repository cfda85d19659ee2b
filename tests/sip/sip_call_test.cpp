#include <atomic>
#include <chrono>
#include <cmath>
#include <iostream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "app_state.h"
#include "child_process.h"
#include "sip.h"
#include "sip_internal.h"
#include "sip_test_support.h"

namespace {

// State of the call the program holds, read under the core's lock.
bool currentCallIn(std::initializer_list<LinphoneCallState> states) {
  std::lock_guard<std::mutex> lock(coreMutex);
  if (!app.currentCall)
    return false;
  LinphoneCallState now = linphone_call_get_state(app.currentCall);
  for (LinphoneCallState s : states)
    if (now == s)
      return true;
  return false;
}

bool noCurrentCall() {
  std::lock_guard<std::mutex> lock(coreMutex);
  return app.currentCall == nullptr;
}

// The UDP port the core's SIP listens on.
int sipPort() {
  std::lock_guard<std::mutex> lock(coreMutex);
  LinphoneTransports *used = linphone_core_get_transports_used(app.core);
  int port = linphone_transports_get_udp_port(used);
  linphone_transports_unref(used);
  return port;
}

// Runs sipp as a stranger calling our contact from `ip` `calls` times, 100
// calls a second, to the end: its exit code, 0 when every call was declined
// without ringing. The process is gone when this returns, however it went.
int strangerCalls(const std::string &dir, const std::string &ip, int port, int calls = 1) {
  SippProcess stranger;
  return stranger.run(ip,
                      {"127.0.0.1:" + std::to_string(port), "-sf",
                       SCENARIO_DIR "/incoming_caller.xml", "-m", std::to_string(calls), "-r",
                       "100", "-s", "alice", "-nostdin", "-timeout", "40s", "-timeout_error"},
                      dir, dir + "/stranger.log", 50000);
}

// Pages this process has had the system give it (minor faults) so far.
long pagesTaken() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  return use.ru_minflt;
}

// RTP packets of the program's call's audio, counted each way from the start
// of the call: unlike a bandwidth figure, a count cannot drop back to zero
// before it is read. Both 0 when there is no call or no audio yet.
struct AudioPackets {
  uint64_t sent = 0, received = 0;
};
AudioPackets currentCallAudio() {
  std::lock_guard<std::mutex> lock(coreMutex);
  AudioPackets counts;
  LinphoneCallStats *stats =
      app.currentCall ? linphone_call_get_audio_stats(app.currentCall) : nullptr;
  const rtp_stats_t *rtp = stats ? linphone_call_stats_get_rtp_stats(stats) : nullptr;
  if (rtp) {
    counts.sent = rtp->packet_sent;
    counts.received = rtp->packet_recv;
  }
  if (stats)
    linphone_call_stats_unref(stats);
  return counts;
}

// This machine may have no sound card, and without a microphone the core
// sends no audio. A recording stands in for it: a second of a 440 Hz tone,
// 16-bit mono at 8 kHz, which the core plays into the call over and over.
void speakFromARecording(const std::string &dir) {
  std::string path = dir + "/voice.wav";
  const unsigned rate = 8000;
  std::vector<int16_t> samples(rate);
  for (unsigned i = 0; i < rate; ++i)
    samples[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / rate));
  std::ofstream(path, std::ios::binary) << wavFile(samples, rate);
  std::lock_guard<std::mutex> lock(coreMutex);
  linphone_core_set_use_files(app.core, TRUE);
  linphone_core_set_play_file(app.core, path.c_str());
}

// The queue's end of the call's audio: the caller's RTP arriving at one UDP
// address, of which the telephone events (RFC 4733) are kept, one per event
// (RTP timestamp), in the order they began.
class RtpListener {
public:
  struct Event {
    int code = -1;
    int endPackets = 0; // packets with the E bit
    int duration = 0;   // the last packet's, in samples at 8 kHz
  };
  std::vector<Event> events;

  ~RtpListener() {
    if (fd >= 0)
      close(fd);
  }
  // False while the address is taken (the socket is then let go again), so
  // that it can be tried until its holder has let it go.
  bool listen(const std::string &ip, int port) {
    fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &at.sin_addr);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0)
      return true;
    if (fd >= 0)
      close(fd);
    fd = -1;
    return false;
  }
  // The datagrams of any kind that arrived since the last look.
  int arrived() {
    unsigned char packet[1500];
    int n = 0;
    while (recv(fd, packet, sizeof packet, MSG_DONTWAIT) >= 0)
      ++n;
    return n;
  }
  // Takes in what has arrived; telephone events are sent with payloadType.
  void poll(int payloadType) {
    unsigned char packet[1500];
    ssize_t n;
    while ((n = recv(fd, packet, sizeof packet, MSG_DONTWAIT)) >= 16) {
      if ((packet[0] >> 6) != 2 || (packet[1] & 0x7F) != payloadType)
        continue;
      size_t header = 12 + 4 * (packet[0] & 0x0F);
      if (size_t(n) < header + 4)
        continue;
      uint32_t timestamp = uint32_t(packet[4]) << 24 | packet[5] << 16 | packet[6] << 8 | packet[7];
      const unsigned char *event = packet + header;
      if (timestamps.empty() || timestamps.back() != timestamp) {
        timestamps.push_back(timestamp);
        events.push_back(Event{event[0]});
      }
      Event &e = events.back();
      if (e.code != event[0])
        e.code = 100 + event[0]; // one event changing its code: never right
      e.endPackets += (event[1] & 0x80) != 0;
      e.duration = event[2] << 8 | event[3];
    }
  }

private:
  int fd = -1;
  std::vector<uint32_t> timestamps;
};

class SipCall : public SipTest {
protected:
  // A registered account on a peer that also plays the queue.
  ::testing::AssertionResult registerWith(const std::string &scenario, const std::string &ip,
                                          const std::vector<std::string> &extra = {}) {
    ::testing::AssertionResult started = startPeer(scenario, ip, 2, extra);
    if (!started)
      return started;
    setupSipAccount("alice", "pw", ip.c_str());
    if (!waitUntil([] { return app.registered.load(); }))
      return ::testing::AssertionFailure() << "no registration with " << ip;
    return ::testing::AssertionSuccess();
  }

  // Starts the queue of a table's case and calls "fila" there: the first case
  // also registers the account with it, later ones find it registered.
  ::testing::AssertionResult callQueueOfCase(const std::string &scenario, const std::string &ip,
                                             bool &first) {
    ::testing::AssertionResult started =
        first ? registerWith(scenario, ip) : startPeer(scenario, ip, 1);
    first = false;
    if (started) {
      textCopy(app.calleeUser, "fila");
      placeCall(ip.c_str());
    }
    return started;
  }
};

TEST_F(SipCall, CallEndedByTheQueueClearsTheFlagThroughTheEndState) {
  ASSERT_TRUE(registerWith("queue_hangs_up.xml", "127.0.3.3"));
  textCopy(app.calleeUser, "fila12345");
  placeCall("127.0.3.3");
  EXPECT_STREQ(app.calleeUri, "sip:fila12345@127.0.3.3");
  EXPECT_TRUE(app.callInProgress);
  EXPECT_EQ(app.calleeAddress, nullptr) << "the callee address is released after the invitation";
  // Nobody hangs up here: only the handler can clear the flag and drop the
  // program's reference.
  ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); }));
  EXPECT_EQ(sipReport().call, CALL_ENDED);
  EXPECT_EQ(finishPeer(), 0) << "the queue's call did not complete";
  terminateCall(); // closing the window afterwards passes no stale call
  EXPECT_FALSE(app.callInProgress);
}

// The queue holds the call (its re-INVITE sends only, or nothing) and takes
// it back: the report follows, and the call stays the program's throughout.
TEST_F(SipCall, QueueHoldingTheCallIsReportedUntilItTakesItBack) {
  ASSERT_TRUE(registerWith("queue_holds.xml", "127.0.3.183"));
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.183");
  for (const char *step : {"sendonly", "sendrecv", "inactive", "sendrecv"}) {
    CallState expected = std::string(step) == "sendrecv" ? CALL_CONNECTED : CALL_HELD;
    ASSERT_TRUE(waitUntil([&] { return sipReport().call == expected; }))
        << "after the queue's " << step << " the report says " << sipReport().call;
    EXPECT_TRUE(app.callInProgress);
  }
  terminateCall();
  EXPECT_EQ(finishPeer(), 0) << "the queue's call did not complete";
  EXPECT_EQ(sipReport().call, CALL_ENDED);
}

// A busy or failed call ends in the error state and then the released one,
// never the end state (a declined one in the end state): either way the flag
// clears and the reference goes at once, with no hang-up, and the report
// says why.
TEST_F(SipCall, RefusedCallsEndByThemselvesAndSayWhy) {
  const std::string ip = "127.0.3.4";
  struct Case {
    const char *status, *phrase;
    CallState state;
  } cases[] = {{"486", "Busy Here", CALL_BUSY},
               {"603", "Decline", CALL_DECLINED},
               {"404", "Not Found", CALL_FAILED}};
  bool first = true;
  for (const Case &c : cases) {
    std::string scenario =
        fillScenario("queue_refuses.xml", {{"[status]", c.status}, {"[phrase]", c.phrase}});
    ASSERT_TRUE(callQueueOfCase(scenario, ip, first));
    ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); })) << c.status;
    SipReport report = sipReport();
    EXPECT_EQ(report.call, c.state) << c.status;
    if (c.state == CALL_FAILED) {
      EXPECT_EQ(report.callCode, std::atoi(c.status));
    }
    EXPECT_TRUE(report.callNewer);
    EXPECT_EQ(finishPeer(), 0) << c.status;
    terminateCall(); // a hang-up or close afterwards finds nothing to end
    EXPECT_FALSE(app.callInProgress);
  }
}

// The queue answers and then sends no audio at all: the core gives up on the
// call after its no-RTP time-out (shortened here), hangs up, and the report
// says the connection was lost rather than that the call simply ended.
TEST_F(SipCall, CallWhoseAudioStopsEndsAsALostConnection) {
  ASSERT_TRUE(registerWith("queue_awaits_bye.xml", "127.0.3.12"));
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    linphone_core_set_nortp_timeout(app.core, 2);
  }
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.12");
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); }));
  EXPECT_EQ(sipReport().call, CALL_LOST);
  EXPECT_EQ(finishPeer(), 0) << "the queue was not hung up on";
}

// The queue answers with one codec. G.722 is offered (the peer fails the run
// otherwise), and a G.722 answer gives a call with audio that the caller
// ends. An answer with no codec the program offered ends the call with a BYE
// and a report that says why, whether the library would go on with it (GSM,
// AMR) or gives up on it by itself (DTMF events alone).
TEST_F(SipCall, QueueAnsweringWithOneCodecIsTalkedToOnlyInACodecOffered) {
  const std::string ip = "127.0.3.23";
  struct Case {
    const char *answer, *rtpmap;
    bool common;
  } cases[] = {{"9", "a=rtpmap:9 G722/8000", true},
               {"3", "a=rtpmap:3 GSM/8000", false},
               {"97", "a=rtpmap:97 AMR/8000", false},
               {"101", "a=rtpmap:101 telephone-event/8000", false}};
  bool first = true;
  for (const Case &c : cases) {
    std::string scenario =
        fillScenario("queue_answers_codec.xml", {{"[answer]", c.answer}, {"[rtpmap]", c.rtpmap}});
    ASSERT_TRUE(callQueueOfCase(scenario, ip, first));
    if (c.common) {
      ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
      {
        std::lock_guard<std::mutex> lock(coreMutex);
        const LinphonePayloadType *used = linphone_call_params_get_used_audio_payload_type(
            linphone_call_get_current_params(app.currentCall));
        ASSERT_NE(used, nullptr);
        EXPECT_STREQ(linphone_payload_type_get_mime_type(used), "G722");
      }
      EXPECT_EQ(sipReport().call, CALL_CONNECTED);
      terminateCall();
    } else {
      ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); })) << c.rtpmap;
      EXPECT_EQ(sipReport().call, CALL_NO_COMMON_AUDIO) << c.rtpmap;
    }
    EXPECT_EQ(finishPeer(), 0) << c.rtpmap << ": no G.722 offered, or no BYE";
  }
}

// Digits typed in the call: telephone events in the audio (each with its
// code, ended by end packets, some 100 to 250 ms long) when the queue's
// answer names a telephone-event format, else one INFO each; never both.
// Typed faster than they can be played, none is lost or reordered. Before
// the answer, and for a key that is no digit, nothing is sent.
TEST_F(SipCall, DigitsGoAsTelephoneEventsOrAsInfoAsTheQueueAnswered) {
  const std::string ip = "127.0.3.185";
  const int audioPort = 16180, eventFormat = 101;
  RtpListener queueAudio;
  ASSERT_TRUE(queueAudio.listen(ip, audioPort)) << "cannot listen on " << ip;
  struct Case {
    const char *format, *rtpmap;
    bool events;
  } cases[] = {{" 101", "\na=rtpmap:101 telephone-event/8000\na=fmtp:101 0-15", true},
               {"", "", false}};
  bool first = true;
  for (const Case &c : cases) {
    std::string scenario =
        fillScenario("queue_takes_digits.xml", {{"[event_format]", c.format},
                                                {"[event_rtpmap]", c.rtpmap},
                                                {"[audio_ip]", ip},
                                                {"[audio_port]", std::to_string(audioPort)},
                                                {"[answer_ms]", "0"}});
    ASSERT_TRUE(first ? registerWith(scenario, ip, traceMessages())
                      : startPeer(scenario, ip, 1, traceMessages()));
    first = false;
    textCopy(app.calleeUser, "fila");
    placeCall(ip.c_str());
    EXPECT_FALSE(sendDigit('5')) << "the queue has not answered";
    ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
    EXPECT_FALSE(sendDigit('A'));
    EXPECT_FALSE(sendDigit('\0'));
    for (char digit : std::string("1#2*09"))
      EXPECT_TRUE(sendDigit(digit)) << digit;
    const std::vector<int> codes = {1, 11, 2, 10, 0, 9};
    size_t eventsBefore = queueAudio.events.size();
    if (c.events) {
      EXPECT_TRUE(waitUntil([&] {
        queueAudio.poll(eventFormat);
        return queueAudio.events.size() >= codes.size() && queueAudio.events.back().endPackets > 0;
      })) << queueAudio.events.size()
          << " events";
      ASSERT_EQ(queueAudio.events.size(), codes.size());
      for (size_t i = 0; i < codes.size(); ++i) {
        const RtpListener::Event &e = queueAudio.events[i];
        EXPECT_EQ(e.code, codes[i]) << i;
        EXPECT_GE(e.endPackets, 1) << i;
        EXPECT_GE(e.duration, 800) << i;
        EXPECT_LE(e.duration, 2000) << i;
      }
      EXPECT_EQ(requestsSeen("INFO"), 0);
    } else {
      EXPECT_TRUE(waitUntil([&] { return requestsSeen("INFO") >= 6; }));
      std::vector<std::string> infos = requestsReceived("INFO");
      ASSERT_EQ(infos.size(), 6u);
      for (size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(sipHeader(infos[i], "Content-Type"), "application/dtmf-relay");
        EXPECT_NE(infos[i].find(std::string("Signal=") + "1#2*09"[i]), std::string::npos)
            << infos[i];
      }
      queueAudio.poll(eventFormat);
      EXPECT_EQ(queueAudio.events.size(), eventsBefore) << "no telephone events as well";
    }
    terminateCall();
    EXPECT_FALSE(sendDigit('1')) << "the call is over";
    EXPECT_EQ(finishPeer(), 0) << (c.events ? "events" : "INFO");
  }
}

TEST_F(SipCall, HangUpSendsByeToTheQueue) {
  ASSERT_TRUE(registerWith("queue_awaits_bye.xml", "127.0.3.5"));
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.5");
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  EXPECT_TRUE(app.callInProgress);
  terminateCall();
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());
  EXPECT_EQ(finishPeer(), 0) << "the queue did not receive the BYE";
  EXPECT_FALSE(app.callInProgress);
}

// The end of the program in a call: the queue gets its BYE and the
// registrar the unregistration, both answered while shutdownSip waits.
TEST_F(SipCall, ShutdownHangsUpAndUnregistersAndWaitsForTheAnswers) {
  std::vector<std::string> args = traceMessages();
  args.insert(args.end(),
              {"-aa", "-key", "user", "alice", "-key", "pass", "pw", "-key", "expires", "3600"});
  ASSERT_TRUE(startPeer("demo_peer.xml", "127.0.3.30", 0, args));
  setupSipAccount("alice", "pw", "127.0.3.30");
  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.30");
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));

  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(shutdownSip(5000)) << "the BYE or the unregistration went unanswered";
  std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::cerr << "shutdownSip: answers in " << took.count() << " ms\n";
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());
  EXPECT_TRUE(waitUntil([&] { return requestsSeen("BYE") == 1; })) << "the queue received no BYE";
  auto unregistrations = [&] {
    int n = 0;
    for (const std::string &r : requestsReceived("REGISTER"))
      n += sipHeader(r, "Expires") == "0";
    return n;
  };
  EXPECT_TRUE(waitUntil([&] { return unregistrations() >= 1; })) << "no REGISTER with Expires: 0";
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    EXPECT_EQ(linphone_proxy_config_get_state(app.proxyConfig), LinphoneRegistrationCleared);
  }
  EXPECT_TRUE(shutdownSip(0)) << "a second end has nothing left to wait for";
}

// "Desligar" while the queue rings, and the queue's answer crosses the
// CANCEL: the program acknowledges that 200 OK, then hangs up with one BYE.
TEST_F(SipCall, AnswerCrossingTheCancelIsAcknowledgedThenEndedWithOneBye) {
  ASSERT_TRUE(registerWith("queue_answers_across_cancel.xml", "127.0.3.32", traceMessages()));
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.32");
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallOutgoingRinging}); }));
  terminateCall();
  EXPECT_FALSE(app.callInProgress);
  EXPECT_EQ(finishPeer(), 0) << "the queue's 200 OK was not acknowledged before the BYE";
  ASSERT_TRUE(waitUntil([] { return noCurrentCall(); }));
  EXPECT_EQ(requestsSeen("CANCEL"), 1);
  EXPECT_EQ(requestsSeen("BYE"), 1);
}

// Calls the core created for someone calling in.
std::atomic<int> incomingCallsCreated{0};
void countIncomingCall(LinphoneCore *, LinphoneCall *call) {
  if (linphone_call_get_dir(call) == LinphoneCallIncoming)
    ++incomingCallsCreated;
}

// A stranger who finds the contact address is declined at once, idle or
// during the program's own call, before the core creates a call for him (no
// ringing, no media ports), and the program's call is left as it was.
TEST_F(SipCall, IncomingCallsAreDeclinedWithoutRingingAndLeaveTheOwnCallAlone) {
  ASSERT_TRUE(registerWith("queue_awaits_bye.xml", "127.0.3.7"));
  int port = sipPort();
  ASSERT_GT(port, 0);
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    LinphoneCoreCbs *cbs = linphone_factory_create_core_cbs(linphone_factory_get());
    linphone_core_cbs_set_call_created(cbs, countIncomingCall);
    linphone_core_add_callbacks(app.core, cbs);
    linphone_core_cbs_unref(cbs);
  }

  EXPECT_EQ(strangerCalls(dir, "127.0.3.8", port), 0) << readFile(dir + "/stranger.log");
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());

  // A flood of them is declined call by call too, without the process
  // taking fresh pages for every message it parses: that made each refusal
  // cost milliseconds (under Wine most of all), and a flood outran the core.
  // A few pages a call are the transactions' own memory. (The sanitizers'
  // allocators take fresh pages for everything.)
  const int flood = 300;
  long pagesBefore = pagesTaken();
  EXPECT_EQ(strangerCalls(dir, "127.0.3.8", port, flood), 0) << readFile(dir + "/stranger.log");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(pagesTaken() - pagesBefore, 30 * flood);
#endif
  EXPECT_FALSE(app.callInProgress);

  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.7");
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  LinphoneCall *own = app.currentCall;
  EXPECT_EQ(strangerCalls(dir, "127.0.3.8", port), 0) << readFile(dir + "/stranger.log");
  EXPECT_TRUE(app.callInProgress);
  EXPECT_TRUE(currentCallIn({LinphoneCallStreamsRunning}));
  EXPECT_EQ(app.currentCall, own);
  terminateCall();
  EXPECT_EQ(finishPeer(), 0) << "the queue did not see the INVITE it expects, or no BYE";
  EXPECT_FALSE(app.callInProgress);
  EXPECT_EQ(incomingCallsCreated, 0);
}

// No peer listens on this address: invitations go nowhere, which is enough
// to see what is (and is not) invited.
TEST_F(SipCall, CalleeUriIsBuiltAfreshAndBadTargetsAreNotInvited) {
  setupSipAccount("alice", "pw", "127.0.3.9");
  ASSERT_NE(app.core, nullptr);

  // Too long for calleeUri, or not parsing: nothing invited, no call in
  // progress, and the report says the call was not placed.
  std::string domain(196, 'd');
  textCopy(app.calleeUser, "fila");
  placeCall(domain.c_str());
  EXPECT_FALSE(app.callInProgress);
  EXPECT_STREQ(app.calleeUri, "");
  EXPECT_TRUE(noCurrentCall());
  EXPECT_EQ(sipReport().call, CALL_NOT_PLACED);

  textCopy(app.calleeUser, "");
  placeCall("127.0.3.9");
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());
  EXPECT_EQ(app.calleeAddress, nullptr);
  EXPECT_EQ(sipReport().call, CALL_NOT_PLACED);
  terminateCall();

  textCopy(app.calleeUser, "123456789");
  placeCall("127.0.3.9");
  EXPECT_STREQ(app.calleeUri, "sip:123456789@127.0.3.9");
  EXPECT_FALSE(noCurrentCall());
  terminateCall();
  EXPECT_TRUE(noCurrentCall());
  textCopy(app.calleeUser, "q");
  placeCall("127.0.3.9");
  EXPECT_STREQ(app.calleeUri, "sip:q@127.0.3.9");
  EXPECT_FALSE(noCurrentCall());
  terminateCall();
  EXPECT_TRUE(noCurrentCall());
  EXPECT_FALSE(app.callInProgress);
}

// The SIP user of the far side of the call the program follows.
std::string currentFarUser() {
  std::lock_guard<std::mutex> lock(coreMutex);
  if (!app.currentCall)
    return "";
  const LinphoneAddress *remote = linphone_call_get_remote_address(app.currentCall);
  const char *user = remote ? linphone_address_get_username(remote) : nullptr;
  return user ? user : "";
}

// What the reports to the window showed since the last `ReportWatch` was
// made: whether the flag that keeps the window from closing ever read 0, and
// whether a transfer was under way (a state that may last only a moment, so
// it is caught as it is reported).
std::atomic<bool> flagDropped{false};
std::atomic<bool> transferReported{false};
void recordReport() {
  if (!app.callInProgress)
    flagDropped = true;
  if (sipReport().call == CALL_TRANSFERRING)
    transferReported = true;
}
struct ReportWatch {
  ReportWatch() {
    flagDropped = false;
    transferReported = false;
    notifyWindow = recordReport;
  }
  ~ReportWatch() { notifyWindow = postSipChanged; }
};

// The final NOTIFY a transferor received: the status line of its sipfrag
// body ("SIP/2.0 200 Ok"), empty when none came.
std::string transferOutcome(const std::vector<std::string> &notifies) {
  std::string outcome;
  for (const std::string &notify : notifies)
    if (sipHeader(notify, "Subscription-State").rfind("terminated", 0) == 0) {
      size_t body = notify.find("\r\n\r\n");
      if (body != std::string::npos)
        outcome = notify.substr(body + 4, notify.find("\r\n", body + 4) - body - 4);
    }
  return outcome;
}

// The queue answers, then hands the customer to another queue (a REFER):
// the program calls the target, tells the first queue how it went with a
// NOTIFY, ends the first call, and follows the new one, which "Desligar"
// then ends. The window is never told the call is over meanwhile.
TEST_F(SipCall, QueueTransferIsFollowedToTheTargetAndReportedToTheQueue) {
  const std::string queue = "127.0.3.160", target = "127.0.3.161";
  // The first queue's audio is received by the test, on a port of its own.
  const int queueAudioPort = 41010;
  RtpListener firstQueueRtp, firstQueueRtcp;
  ASSERT_TRUE(firstQueueRtp.listen(queue, queueAudioPort));
  ASSERT_TRUE(firstQueueRtcp.listen(queue, queueAudioPort + 1));
  SippProcess second;
  ASSERT_TRUE(
      second.start(target,
                   {"-sf", SCENARIO_DIR "/queue_awaits_bye.xml", "-m", "1", "-nostdin", "-rtp_echo",
                    "-trace_msg", "-message_file", dir + "/target-messages.log"},
                   dir, dir + "/target.log"));
  std::string scenario =
      fillScenario("queue_transfers.xml", {{"[referto]", "<sip:outrafila@" + target + ">"},
                                           {"[media_port]", std::to_string(queueAudioPort)}});
  ASSERT_TRUE(registerWith(scenario, queue, traceMessages()));
  speakFromARecording(dir);
  ReportWatch watch;
  textCopy(app.calleeUser, "fila");
  placeCall(queue.c_str());
  ASSERT_TRUE(waitUntil([] {
    return currentFarUser() == "outrafila" && currentCallIn({LinphoneCallStreamsRunning});
  })) << "the transfer's target is not the call in progress";
  EXPECT_EQ(finishPeer(), 0) << "the first queue's call was not ended with a BYE";
  EXPECT_GT(firstQueueRtp.arrived(), 0) << "the first queue never got the program's audio";
  firstQueueRtcp.arrived();
  // From its BYE on, the first queue gets nothing, while the second queue
  // and the program hear each other (it sends back what it gets): three
  // seconds of 20 ms packets each way.
  AudioPackets before = currentCallAudio();
  EXPECT_TRUE(waitUntil([&] {
    AudioPackets now = currentCallAudio();
    return now.sent >= before.sent + 150 && now.received >= before.received + 150;
  })) << "no audio both ways with the second queue: sent "
      << currentCallAudio().sent << ", received " << currentCallAudio().received;
  AudioPackets after = currentCallAudio();
  int stray = firstQueueRtp.arrived() + firstQueueRtcp.arrived();
  EXPECT_EQ(stray, 0) << "the first queue still gets the program's audio after its call ended";
  std::cerr << "second queue: " << after.sent - before.sent << " packets sent, "
            << after.received - before.received << " received; first queue meanwhile: " << stray
            << "\n";
  EXPECT_EQ(transferOutcome(requestsReceived("NOTIFY")), "SIP/2.0 200 Ok");
  EXPECT_TRUE(app.callInProgress);
  EXPECT_FALSE(flagDropped) << "the window was told the call was over during the transfer";
  SipReport report = sipReport();
  EXPECT_EQ(report.call, CALL_CONNECTED);
  EXPECT_TRUE(report.handedOn);
  EXPECT_STREQ(report.farUser, "outrafila");

  terminateCall();
  EXPECT_EQ(second.finish(30000), 0) << "the target got no BYE from \"Desligar\"";
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());
}

// A transfer to a target that refuses ends the customer's call: the first
// queue is told the target's answer and hung up on, and the report says why.
TEST_F(SipCall, TransferToARefusingTargetEndsTheCallWithItsReason) {
  const std::string queue = "127.0.3.162", target = "127.0.3.163";
  struct Case {
    const char *status, *phrase;
    CallState state;
  } cases[] = {{"486", "Busy Here", CALL_BUSY}, {"404", "Not Found", CALL_FAILED}};
  bool first = true;
  for (const Case &c : cases) {
    SippProcess second;
    ASSERT_TRUE(second.start(
        target,
        {"-sf", fillScenario("queue_refuses.xml", {{"[status]", c.status}, {"[phrase]", c.phrase}}),
         "-m", "1", "-nostdin"},
        dir, dir + "/target.log"));
    std::string scenario =
        fillScenario("queue_transfers.xml", {{"[referto]", "<sip:outrafila@" + target + ">"}});
    std::remove((dir + "/messages.log").c_str());
    ASSERT_TRUE(first ? registerWith(scenario, queue, traceMessages())
                      : startPeer(scenario, queue, 1, traceMessages()));
    first = false;
    textCopy(app.calleeUser, "fila");
    ReportWatch watch;
    placeCall(queue.c_str());
    ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); })) << c.status;
    EXPECT_TRUE(transferReported) << c.status << ": no \"Transferindo...\" on the way";
    SipReport report = sipReport();
    EXPECT_EQ(report.call, c.state) << c.status;
    if (c.state == CALL_FAILED) {
      EXPECT_EQ(report.callCode, std::atoi(c.status));
    }
    EXPECT_EQ(finishPeer(), 0) << c.status << ": the first queue was not hung up on";
    EXPECT_EQ(transferOutcome(requestsReceived("NOTIFY")).substr(0, 11),
              std::string("SIP/2.0 ") + c.status);
    EXPECT_EQ(second.finish(30000), 0) << c.status;
    terminateCall(); // a hang-up afterwards finds nothing to end
  }
}

// The queue's attendant takes the customer's call over with an INVITE that
// replaces it: the program answers it, the queue's call ends, and the
// attendant's call is the one followed and hung up.
TEST_F(SipCall, CallReplacedByTheAttendantIsFollowed) {
  const std::string queue = "127.0.3.164", attendant = "127.0.3.165";
  ASSERT_TRUE(registerWith("queue_awaits_bye.xml", queue, traceMessages()));
  ReportWatch watch;
  textCopy(app.calleeUser, "fila");
  placeCall(queue.c_str());
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  ASSERT_TRUE(waitUntil([&] { return requestsSeen("ACK") >= 1; }));
  // The dialog as the program sees it: its own tag is the From tag of its
  // requests, the queue's the To tag.
  std::string ack = requestsReceived("ACK").front();
  auto tagOf = [](const std::string &header) {
    size_t at = header.find("tag=");
    return at == std::string::npos ? std::string() : header.substr(at + 4);
  };
  std::string replaces = sipHeader(ack, "Call-ID") + ";to-tag=" + tagOf(sipHeader(ack, "From")) +
                         ";from-tag=" + tagOf(sipHeader(ack, "To"));
  SippProcess second;
  ASSERT_TRUE(second.start(attendant,
                           {"127.0.0.1:" + std::to_string(sipPort()), "-sf",
                            fillScenario("attendant_replaces.xml", {{"[replaces]", replaces}}),
                            "-m", "1", "-s", "alice", "-nostdin"},
                           dir, dir + "/attendant.log"));
  ASSERT_TRUE(waitUntil([] {
    return currentFarUser() == "atendente" && currentCallIn({LinphoneCallStreamsRunning});
  })) << readFile(dir + "/attendant.log");
  EXPECT_EQ(finishPeer(), 0) << "the replaced call was not ended";
  EXPECT_TRUE(app.callInProgress);
  EXPECT_FALSE(flagDropped);
  SipReport report = sipReport();
  EXPECT_EQ(report.call, CALL_CONNECTED);
  EXPECT_STREQ(report.farName, "Ana Atendente");
  terminateCall();
  EXPECT_EQ(second.finish(30000), 0) << "the attendant got no BYE";
  EXPECT_TRUE(noCurrentCall());
}

// A queue redirecting in a loop. A hang-up while the redirections go on
// ends the call. A chain of
// new targets is followed five times, a target already tried not at all;
// the call then ends, saying why.
TEST_F(SipCall, RedirectionsAreBoundedAndAHangUpAmidThemIsSafe) {
  const std::string queue = "127.0.3.166";
  // As many calls as the program makes: each redirected INVITE is one.
  ASSERT_TRUE(startPeer(
      fillScenario("queue_redirects.xml", {{"[target]", "fila[call_number]"}, {"[delay]", "300"}}),
      queue, 0, traceMessages()));
  setupSipAccount("alice", "pw", queue.c_str());
  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall(queue.c_str());
  ASSERT_TRUE(waitUntil([&] { return requestsSeen("INVITE") >= 2; }));
  terminateCall();
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(noCurrentCall());
  // The INVITE under way is cancelled, and no other follows.
  EXPECT_TRUE(waitUntil([&] { return requestsSeen("CANCEL") >= 1; }));
  EXPECT_LE(requestsSeen("INVITE"), 3);
  peer.stop();

  struct Case {
    const char *target;
    int minInvites, maxInvites;
  } cases[] = {{"fila[call_number]", 6, 6}, {"fila", 2, 3}};
  for (const Case &c : cases) {
    std::remove((dir + "/messages.log").c_str());
    std::string scenario =
        fillScenario("queue_redirects.xml", {{"[target]", c.target}, {"[delay]", "0"}});
    ASSERT_TRUE(startPeer(scenario, queue, 0, traceMessages()));
    placeCall(queue.c_str());
    ASSERT_TRUE(waitUntil([] { return !app.callInProgress && noCurrentCall(); })) << c.target;
    EXPECT_EQ(sipReport().call, CALL_REDIRECT_LOOP) << c.target << " code " << sipReport().callCode;
    // Every redirection was acknowledged (the last one too) before counting.
    ASSERT_TRUE(waitUntil([&] { return requestsSeen("ACK") >= requestsSeen("INVITE"); }));
    int invites = requestsSeen("INVITE");
    EXPECT_GE(invites, c.minInvites) << c.target;
    EXPECT_LE(invites, c.maxInvites) << c.target;
    peer.stop();
  }
}

// Sends one command to baresip's control port (a netstring of JSON), as its
// own remote control does; true once it is sent.
bool baresipCommand(const std::string &ip, int port, const std::string &command,
                    const std::string &params) {
  std::string json =
      "{\"command\":\"" + command + "\",\"params\":\"" + params + "\",\"token\":\"1\"}";
  std::string netstring = std::to_string(json.size()) + ":" + json + ",";
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(port));
  inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
  bool sent = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
              send(fd, netstring.data(), netstring.size(), 0) == ssize_t(netstring.size());
  if (fd >= 0) {
    char answer[512];
    recv(fd, answer, sizeof answer, 0); // its answer: the command was taken
    close(fd);
  }
  return sent;
}

// baresip plays the queue, as a PBX's attendant would: it answers the call
// by itself and, told to, transfers the customer to a second queue with its
// own "transfer" command. The program follows, the call it left ends, and
// the customer talks with the second queue: audio goes both ways there (the
// second queue sends back what it gets), and none to the first queue.
TEST_F(SipCall, TransferByABaresipQueueIsFollowed) {
  const std::string queue = "127.0.3.170", target = "127.0.3.171";
  const int control = 4444;
  // baresip's audio on its own address and one port, so that the test
  // knows where it was.
  const int queueAudioPort = 41000;
  SippProcess second;
  ASSERT_TRUE(second.start(
      target, {"-sf", SCENARIO_DIR "/queue_awaits_bye.xml", "-m", "1", "-nostdin", "-rtp_echo"},
      dir, dir + "/target.log"));
  std::string config = dir + "/baresip";
  ASSERT_EQ(mkdir(config.c_str(), 0700), 0);
  std::ofstream(config + "/config")
      << "sip_listen " << queue << ":5060\n"
      << "module_path /usr/lib/baresip/modules\n"
      << "module opus.so\nmodule g711.so\nmodule ausine.so\nmodule aufile.so\nmodule account.so\n"
      << "module_app menu.so\nmodule_app ctrl_tcp.so\n"
      << "ctrl_tcp_listen " << queue << ":" << control << "\n"
      << "net_interface " << queue << "\n"
      << "rtp_ports " << queueAudioPort << "-" << queueAudioPort + 2 << "\n"
      << "audio_source ausine,440\naudio_player aufile," << dir << "/heard.wav\n"
      << "audio_alert aufile," << dir << "/alert.wav\n";
  std::ofstream(config + "/accounts") << "<sip:fila@" << queue << ">;regint=0;answermode=auto\n";
  pid_t baresip = spawnLogged({"baresip", "-f", config}, dir + "/baresip.log", dir);
  ASSERT_GT(baresip, 0);
  struct Stop {
    pid_t &pid;
    ~Stop() { finishChild(pid, 0); }
  } stop{baresip};
  ASSERT_TRUE(waitUntil([&] { return udpListening(queue) && tcpListening(queue, control); }))
      << readFile(dir + "/baresip.log");

  // Nothing registers the account with baresip: the call goes straight to it.
  setupSipAccount("alice", "pw", queue.c_str());
  speakFromARecording(dir);
  ReportWatch watch;
  textCopy(app.calleeUser, "fila");
  placeCall(queue.c_str());
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }))
      << readFile(dir + "/baresip.log");
  ASSERT_TRUE(waitUntil([] {
    AudioPackets audio = currentCallAudio();
    return audio.sent > 0 && audio.received > 0;
  })) << "no audio both ways with the first queue";
  RtpListener probe;
  ASSERT_FALSE(probe.listen(queue, queueAudioPort)) << "baresip's audio is elsewhere";
  ASSERT_TRUE(baresipCommand(queue, control, "transfer", "sip:outrafila@" + target));
  ASSERT_TRUE(waitUntil([] {
    return currentFarUser() == "outrafila" && currentCallIn({LinphoneCallStreamsRunning});
  })) << readFile(dir + "/baresip.log");
  EXPECT_TRUE(waitUntil([] {
    std::lock_guard<std::mutex> lock(coreMutex);
    return linphone_core_get_calls_nb(app.core) == 1;
  })) << "the call with baresip did not end";
  EXPECT_TRUE(app.callInProgress);
  EXPECT_FALSE(flagDropped);

  // baresip lets its audio ports go with its call; whatever the program
  // still sends to the first queue then arrives here.
  RtpListener firstQueueRtp, firstQueueRtcp;
  bool rtpHeard = false, rtcpHeard = false;
  EXPECT_TRUE(waitUntil([&] {
    rtpHeard = rtpHeard || firstQueueRtp.listen(queue, queueAudioPort);
    rtcpHeard = rtcpHeard || firstQueueRtcp.listen(queue, queueAudioPort + 1);
    return rtpHeard && rtcpHeard;
  })) << "baresip still holds its audio ports";
  // Three seconds of the second queue's call (20 ms packets) each way.
  AudioPackets before = currentCallAudio();
  auto from = std::chrono::steady_clock::now();
  EXPECT_TRUE(waitUntil([&] {
    AudioPackets now = currentCallAudio();
    return now.sent >= before.sent + 150 && now.received >= before.received + 150;
  })) << "no audio both ways with the second queue: sent "
      << currentCallAudio().sent << ", received " << currentCallAudio().received;
  AudioPackets after = currentCallAudio();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  int strayRtp = firstQueueRtp.arrived(), strayRtcp = firstQueueRtcp.arrived();
  EXPECT_EQ(strayRtp + strayRtcp, 0) << "the first queue still gets the program's audio";
  std::cerr << "second queue: " << after.sent - before.sent << " packets sent, "
            << after.received - before.received << " received in " << seconds << " s (call total "
            << after.sent << "/" << after.received << "); first queue meanwhile: " << strayRtp
            << " RTP, " << strayRtcp << " RTCP\n";
  terminateCall();
  EXPECT_EQ(second.finish(30000), 0) << "the target got no BYE";
}

// A text message from anyone is refused as something this phone does not
// take, not accepted and dropped unseen.
TEST_F(SipCall, TextMessagesAreRefused) {
  ASSERT_TRUE(registerWith("queue_awaits_bye.xml", "127.0.3.167"));
  SippProcess stranger;
  EXPECT_EQ(stranger.run("127.0.3.168",
                         {"127.0.0.1:" + std::to_string(sipPort()), "-sf",
                          SCENARIO_DIR "/stranger_message.xml", "-m", "1", "-s", "alice",
                          "-nostdin", "-timeout", "20s", "-timeout_error"},
                         dir, dir + "/stranger.log", 30000),
            0)
      << readFile(dir + "/stranger.log");
}

// The demo peer: challenged registration with refreshes, then as many calls
// as wanted, each answered with audio and ended by the caller.
TEST_F(SipCall, DemoPeerRegistersRefreshesAndServesRepeatedCallsWithAudio) {
  ASSERT_TRUE(
      startPeer("demo_peer.xml", "127.0.3.6", 0,
                {"-aa", "-key", "user", "alice", "-key", "pass", "pw", "-key", "expires", "2"}));
  setupSipAccount("alice", "pw", "127.0.3.6");
  const std::string ok = "Novo estado de registro LinphoneRegistrationOk";
  auto oks = [&] {
    std::string out = output();
    int n = 0;
    for (size_t at = out.find(ok); at != std::string::npos; at = out.find(ok, at + 1))
      ++n;
    return n;
  };
  ASSERT_TRUE(waitUntil([&] { return oks() >= 2; })) << "no refreshed registration";
  speakFromARecording(dir);
  EXPECT_TRUE(app.registered);

  for (const char *queue : {"fila1", "fila2"}) {
    textCopy(app.calleeUser, queue);
    placeCall("127.0.3.6");
    ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); })) << queue;
    EXPECT_TRUE(waitUntil([] {
      AudioPackets audio = currentCallAudio();
      return audio.sent > 0 && audio.received > 0;
    })) << "no audio both ways between the program and the queue";
    terminateCall();
    // The peer answers the BYE; the core then lets the call go.
    EXPECT_TRUE(waitUntil([] {
      std::lock_guard<std::mutex> lock(coreMutex);
      return linphone_core_get_calls_nb(app.core) == 0;
    }));
  }
}

} // namespace
