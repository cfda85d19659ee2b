// The program built for SIP over TLS, against a registrar whose certificate
// cannot be verified: the user is told on the call screen, nothing is
// registered.
#include "app_state.h"
#include "child_process.h"
#include "program_driver.h"
#include "sip_internal.h"
#include "test_certs.h"
#include "winapi_test.h"

#include <fstream>

namespace {
const char REGISTRAR[] = "127.0.0.125";
} // namespace

TEST_F(ProgramTest, UntrustedTlsRegistrarIsShownAsARegistrationFailure) {
  TestCa ca(dir.path());
  CertFiles self = ca.selfSigned("registrar", {REGISTRAR});
  std::ofstream(dir.path() + "/stunnel.conf")
      << "foreground = yes\npid =\ndebug = info\noutput = " << dir.path() << "/stunnel.log\n"
      << "[sip]\naccept = " << REGISTRAR << ":5061\nconnect = " << REGISTRAR << ":5060\n"
      << "cert = " << self.cert << "\nkey = " << self.key << "\n";
  pid_t tlsFront =
      spawnLogged({"stunnel", dir.path() + "/stunnel.conf"}, dir.path() + "/stunnel.out");
  ASSERT_TRUE(waitUntil([] { return tcpListening(REGISTRAR, 5061); }));
  setSipCaFileForTests(ca.caFile().c_str());
  http.setAnswer(LOGIN_PATH, 200, acceptedAnswer(REGISTRAR, {{"ATENDIMENTO", "atendimento01"}}));
  http.setAnswer(LOGOUT_PATH, 200, "ok", "text/plain");
  runProgram({
      [] { typeLogin("1001", "demo123"); },
      [] {
        EXPECT_TRUE(pumpUntil([] { return statusLine().rfind("Falha no registro: ", 0) == 0; }))
            << statusLine();
        EXPECT_FALSE(app.registered);
        winapi_test::closeWindow(mainWindow());
      },
  });
  finishChild(tlsFront, 0);
  std::ifstream log(dir.path() + "/stunnel.log");
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("unknown ca"), std::string::npos) << "the program refused the certificate";
}
