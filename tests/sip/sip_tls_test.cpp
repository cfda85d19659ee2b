// SIP over TLS (the program built with SIP_TRANSPORT=tls): a registrar behind
// a TLS front (stunnel, in front of sipp over TCP) on 127.0.3.121:5061.
#include <sys/prctl.h>

#include "app_state.h"
#include "sip.h"
#include "sip_internal.h"
#include "sip_test_support.h"
#include "test_certs.h"

namespace {

const char REGISTRAR[] = "127.0.3.121";

// Runs a peer with its output in `log`; the kernel stops it should the test
// process die first.
pid_t spawnLogged(std::vector<std::string> args, const std::string &log) {
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
      _exit(127);
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// The peer's exit code once it ended by itself; -1 when it had to be killed.
int finish(pid_t &pid, int timeoutMs) {
  int status = 0;
  bool ended =
      pid > 0 && waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
  if (!ended && pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = -1;
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SipTls : public SipTest {
protected:
  TestCa ca{dir};
  pid_t tlsFront = -1, tcpRegistrar = -1;

  void TearDown() override {
    finish(tlsFront, 0);
    finish(tcpRegistrar, 0);
    if (HasFailure())
      printf("--- stunnel ---\n%s\n", readFile(dir + "/stunnel.log").c_str());
    SipTest::TearDown();
  }

  // sipp with a scenario (by default a registrar with digest, one call) on
  // TCP REGISTRAR:5060, and a TLS front on REGISTRAR:5061 showing `cert`.
  void startRegistrar(const CertFiles &cert, const char *scenario = "registrar_challenge.xml",
                      int calls = 1) {
    tcpRegistrar = spawnLogged({"sipp",
                                "-sf",
                                SCENARIO_DIR "/" + std::string(scenario),
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
    std::ofstream(dir + "/stunnel.conf")
        << "foreground = yes\npid =\ndebug = info\noutput = " << dir << "/stunnel.log\n"
        << "[sip]\naccept = " << REGISTRAR << ":5061\nconnect = " << REGISTRAR << ":5060\n"
        << "cert = " << cert.cert << "\nkey = " << cert.key << "\n";
    tlsFront = spawnLogged({"stunnel", dir + "/stunnel.conf"}, dir + "/stunnel.out");
    ASSERT_TRUE(
        waitUntil([] { return tcpListening(REGISTRAR, 5060) && tcpListening(REGISTRAR, 5061); }));
  }

  void expectRefused(const CertFiles &cert);

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
  EXPECT_EQ(finish(tcpRegistrar, 30000), 0) << "the registrar saw wrong or no credentials";
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
// encrypted audio with its keys, and a queue that answers with plain audio
// is hung up on.
TEST_F(SipTls, CallsOfferOnlySrtpAndEndWhenTheQueueAnswersPlainAudio) {
  startRegistrar(ca.issue("registrar", {REGISTRAR}), "tls_queue_plain_rtp.xml", 2);
  setSipCaFileForTests(ca.caFile().c_str());
  setupSipAccount("cliente7", "segredo", REGISTRAR);
  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall(REGISTRAR);
  EXPECT_EQ(finish(tcpRegistrar, 30000), 0) << "the queue was not hung up on";

  std::string seen = readFile(dir + "/sipp-tcp.msg");
  size_t invite = seen.find("INVITE sip:fila@127.0.3.121");
  ASSERT_NE(invite, std::string::npos);
  std::string offer = seen.substr(invite, seen.find("-----", invite) - invite);
  EXPECT_NE(offer.find("m=audio"), std::string::npos);
  EXPECT_NE(offer.find("RTP/SAVP"), std::string::npos);
  EXPECT_NE(offer.find("a=crypto:"), std::string::npos);
  EXPECT_EQ(offer.find("RTP/AVP "), std::string::npos);
  EXPECT_EQ(offer.find("RTP/AVPF "), std::string::npos);
}
