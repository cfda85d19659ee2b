// SIP over TLS (the program built with SIP_TRANSPORT=tls): a registrar behind
// a TLS front (stunnel, in front of sipp over TCP) on 127.0.3.121:5061.
#include "app_state.h"
#include "child_process.h"
#include "sip.h"
#include "sip_internal.h"
#include "sip_test_support.h"
#include "test_certs.h"

namespace {

const char REGISTRAR[] = "127.0.3.121";

class SipTls : public SipTest {
protected:
  TestCa ca{dir};
  pid_t tlsFront = -1, tcpRegistrar = -1;

  void TearDown() override {
    finishChild(tlsFront, 0);
    finishChild(tcpRegistrar, 0);
    if (HasFailure())
      printf("--- stunnel ---\n%s\n", readFile(dir + "/stunnel.log").c_str());
    SipTest::TearDown();
  }

  // sipp with a scenario of tests/sip/scenarios or at an absolute path (by
  // default a registrar with digest, one call) on TCP REGISTRAR:5060, and a
  // TLS front on REGISTRAR:5061 showing `cert`.
  void startRegistrar(const CertFiles &cert,
                      const std::string &scenario = "registrar_challenge.xml", int calls = 1) {
    tcpRegistrar = spawnLogged({"sipp",
                                "-sf",
                                scenario[0] == '/' ? scenario : SCENARIO_DIR "/" + scenario,
                                "-t",
                                "t1",
                                "-i",
                                REGISTRAR,
                                "-p",
                                "5060",
                                "-nostdin",
                                "-m",
                                std::to_string(calls),
                                "-timeout",
                                "40s",
                                "-timeout_error",
                                "-trace_msg",
                                "-message_file",
                                dir + "/sipp-tcp.msg",
                                "-key",
                                "user",
                                "cliente7",
                                "-key",
                                "pass",
                                "segredo"},
                               dir + "/sipp.log");
    tlsFront = startTlsFront(dir, REGISTRAR, cert);
    ASSERT_TRUE(
        waitUntil([] { return tcpListening(REGISTRAR, 5060) && tcpListening(REGISTRAR, 5061); }));
  }

  void expectRefused(const CertFiles &cert);
  std::string callQueueAnsweringPlainAudio(const std::string &contact);

  // A plain UDP registrar on REGISTRAR:5060: the way back to UDP, were
  // there one.
  void startUdpDecoy() {
    // Same scenario and credentials as the TLS registrar.
    ASSERT_TRUE(startPeer("registrar_challenge.xml", REGISTRAR, 0,
                          {"-trace_msg", "-message_file", dir + "/sipp-udp.msg", "-key", "user",
                           "cliente7", "-key", "pass", "segredo"}));
  }
};

} // namespace

TEST_F(SipTls, RegistersWithDigestThroughAVerifiedTlsRegistrar) {
  startRegistrar(ca.issue("registrar", {REGISTRAR}));
  setSipCaFileForTests(ca.caFile().c_str());
  setupSipAccount("cliente7", "segredo", REGISTRAR);
  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  EXPECT_EQ(finishChild(tcpRegistrar, 30000), 0) << "the registrar saw wrong or no credentials";
  EXPECT_NE(output().find("LinphoneRegistrationOk para o usuario id [sip:cliente7@127.0.3.121] "
                          "no proxy [<sip:127.0.3.121;transport=tls>]"),
            std::string::npos);
  // The registrar saw the requests of a TLS client.
  std::string seen = readFile(dir + "/sipp-tcp.msg");
  EXPECT_NE(seen.find("SIP/2.0/TLS"), std::string::npos);
}

// A registrar that cannot prove its name gets no request: the registration
// fails, is reported, and nothing goes out over UDP instead.
void SipTls::expectRefused(const CertFiles &cert) {
  startUdpDecoy();
  startRegistrar(cert);
  setSipCaFileForTests(ca.caFile().c_str());
  setupSipAccount("cliente7", "segredo", REGISTRAR);
  ASSERT_TRUE(waitUntil(
      [this] { return output().find("LinphoneRegistrationFailed") != std::string::npos; }));
  EXPECT_FALSE(app.registered);
  EXPECT_EQ(readFile(dir + "/sipp-tcp.msg").find("REGISTER"), std::string::npos);
  EXPECT_EQ(readFile(dir + "/sipp-udp.msg").find("REGISTER"), std::string::npos);
}

TEST_F(SipTls, SelfSignedRegistrarIsRefused) { expectRefused(ca.selfSigned("self", {REGISTRAR})); }

TEST_F(SipTls, RegistrarCertifiedForAnotherNameIsRefused) {
  expectRefused(ca.issue("other", {"127.0.3.122"}));
}

// Calls carry their audio over SRTP or not at all: the offer holds only
// encrypted audio with its keys, and a call that a queue answers with plain
// audio (its answers naming `contact`) ends at once, reported as refused for
// that reason. Returns what the queue received.
std::string SipTls::callQueueAnsweringPlainAudio(const std::string &contact) {
  std::string scenario = fillScenario("tls_queue_plain_rtp.xml", {{"[contact]", contact}});
  startRegistrar(ca.issue("registrar", {REGISTRAR}), scenario, 2);
  setSipCaFileForTests(ca.caFile().c_str());
  setupSipAccount("cliente7", "segredo", REGISTRAR);
  EXPECT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall(REGISTRAR);
  EXPECT_TRUE(waitUntil([] {
    std::lock_guard<std::mutex> lock(coreMutex);
    return !app.callInProgress && !app.currentCall;
  }));
  EXPECT_EQ(sipReport().call, CALL_NOT_SECURE);
  // The peer's exit code also covers its own answer to the hang-up, which the
  // TLS front can cut off when the program hangs up at once: the hang-up
  // itself is read from what the peer received.
  finishChild(tcpRegistrar, 30000);
  {
    // Still running, with nothing left of the call.
    std::lock_guard<std::mutex> lock(coreMutex);
    EXPECT_EQ(linphone_core_get_calls_nb(app.core), 0);
  }

  std::string seen = readFile(dir + "/sipp-tcp.msg");
  size_t invite = seen.find("INVITE sip:fila@127.0.3.121");
  EXPECT_NE(invite, std::string::npos);
  if (invite == std::string::npos)
    return seen;
  std::string offer = seen.substr(invite, seen.find("-----", invite) - invite);
  EXPECT_NE(offer.find("m=audio"), std::string::npos);
  EXPECT_NE(offer.find("RTP/SAVP"), std::string::npos);
  EXPECT_NE(offer.find("a=crypto:"), std::string::npos);
  EXPECT_EQ(offer.find("RTP/AVP "), std::string::npos);
  EXPECT_EQ(offer.find("RTP/AVPF "), std::string::npos);
  return seen;
}

TEST_F(SipTls, CallsOfferOnlySrtpAndEndWhenTheQueueAnswersPlainAudio) {
  std::string seen = callQueueAnsweringPlainAudio("<sip:127.0.3.121:5061;transport=tls>");
  EXPECT_NE(seen.find("BYE sip:"), std::string::npos) << "the queue was not hung up on";
}

// The queue's answers name its own TCP address, which a caller that speaks
// only TLS cannot reach: the hang-up cannot even be sent, and the program
// still ends the call and goes on.
TEST_F(SipTls, PlainAudioFromAQueueOutOfReachEndsTheCallAndTheProgramGoesOn) {
  std::string seen = callQueueAnsweringPlainAudio("<sip:127.0.3.121:5060;transport=tcp>");
  EXPECT_EQ(seen.find("BYE sip:"), std::string::npos) << "a plain TCP request left the program";
}
