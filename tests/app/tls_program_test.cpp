// The program built for SIP over TLS, against a registrar whose certificate
// cannot be verified: the user is told on the call screen, nothing is
// registered.
#include "app_state.h"
#include "child_process.h"
#include "program_driver.h"
#include "sip_internal.h"
#include "test_certs.h"
#include "test_sound.h"
#include "winapi_test.h"

#include <fstream>

namespace {
const char REGISTRAR[] = "127.0.0.125";
} // namespace

TEST_F(ProgramTest, UntrustedTlsRegistrarIsShownAsARegistrationFailure) {
  TestCa ca(dir.path());
  pid_t tlsFront = startTlsFront(dir.path(), REGISTRAR, ca.selfSigned("registrar", {REGISTRAR}));
  ASSERT_TRUE(waitUntil([] { return tcpListening(REGISTRAR, 5061); }));
  setSipCaFileForTests(ca.caFile().c_str());
  grant(REGISTRAR, {{"ATENDIMENTO", "atendimento01"}});
  runLoggedIn({
      [] {
        EXPECT_TRUE(pumpUntilStatus("Falha no registro: sem conex\xe3o segura")) << statusLine();
        EXPECT_FALSE(app.registered);
        winapi_test::closeWindow(mainWindow());
      },
  });
  finishChild(tlsFront, 0);
  std::ifstream log(dir.path() + "/stunnel.log");
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("unknown ca"), std::string::npos) << "the program refused the certificate";
}

// Log in, "Ligar", "Sim": the queue behind the TLS registrar answers with
// plain audio, from a Contact the program cannot reach over TLS. The window
// stays, says why the call ended, and closing sends the logout notice.
TEST_F(ProgramTest, TlsRegistrarQueueAnsweringPlainAudioIsShownAsRefused) {
  ASSERT_TRUE(sound.startNullSink(dir.path()));
  TestCa ca(dir.path());
  std::ifstream in(SIP_SCENARIO_DIR "/tls_queue_plain_rtp.xml");
  std::string scenario((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string contact = "[contact]";
  for (size_t at = scenario.find(contact); at != std::string::npos; at = scenario.find(contact))
    scenario.replace(at, contact.size(), std::string("<sip:") + REGISTRAR + ":5060;transport=tcp>");
  std::ofstream(dir.path() + "/queue.xml") << scenario;
  pid_t queue = spawnLogged({"sipp", "-sf", dir.path() + "/queue.xml", "-t", "t1", "-i", REGISTRAR,
                             "-p", "5060", "-nostdin", "-m", "2", "-timeout", "40s"},
                            dir.path() + "/sipp.log");
  pid_t tlsFront = startTlsFront(dir.path(), REGISTRAR, ca.issue("registrar", {REGISTRAR}));
  ASSERT_TRUE(
      waitUntil([] { return tcpListening(REGISTRAR, 5060) && tcpListening(REGISTRAR, 5061); }));
  setSipCaFileForTests(ca.caFile().c_str());
  grant(REGISTRAR, {{"ATENDIMENTO", "atendimento01"}});
  runLoggedIn({
      [] {
        ASSERT_TRUE(pumpUntilStatus("Pronto para ligar"));
        winapi_test::click(buttonLabelled("Ligar")); // "Sim"
      },
      [] {
        EXPECT_TRUE(pumpUntilStatus("Liga\xe7\xe3o recusada (fila sem criptografia)"));
        EXPECT_EQ(buttonLabelled("Desligar"), nullptr);
        winapi_test::closeWindow(mainWindow());
      },
  });
  finishChild(tlsFront, 0);
  finishChild(queue, 0);
  EXPECT_EQ(requestsTo(http, LOGOUT_PATH).size(), 1u);
}
