// The service over https: the password and the SIP account cross the network
// only to a peer that proves it is the service.
#include "form_decode.h"
#include "service_fixture.h"
#include "test_certs.h"

namespace {

const std::string GOOD_ANSWER =
    acceptedWith(R"([{"info":[{"nome":"Fiscal","info":{"user":"1"}}]}])");

class HttpsServiceTest : public ServiceTest {
protected:
  TestCa ca{workDir.path()};

  void TearDown() override { setServiceCaFileForTests(nullptr); }

  // An https server on 127.0.0.1 showing the given certificate, with the
  // client pointed at it by host name.
  std::unique_ptr<LoopbackHttp> httpsServer(const CertFiles &cert) {
    LoopbackOptions options;
    options.certFile = cert.cert;
    options.keyFile = cert.key;
    std::unique_ptr<LoopbackHttp> server(new LoopbackHttp(options));
    server->setAnswer(LOGIN_PATH, 200, GOOD_ANSWER);
    server->setAnswer(LOGOUT_PATH, 200, "ok", "text/plain");
    setServiceHostForTests(("https://localhost:" + std::to_string(server->port())).c_str());
    return server;
  }
};

} // namespace

TEST_F(HttpsServiceTest, TrustedCertificateCarriesLoginAndLogoutWhole) {
  forgetLogin();
  auto https = httpsServer(ca.issue("service", {"localhost", "127.0.0.1"}));
  setServiceCaFileForTests(ca.caFile().c_str());
  textCopy(app.loginPassword, "s3nha & =%");
  writeFile("key.txt", "01234567890123456789");

  EXPECT_TRUE(serviceLogin());
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
  EXPECT_STREQ(app.sipUser, "cliente7");
  EXPECT_EQ(app.queueUsers, TextList{"1"});
  EXPECT_TRUE(sendLogoutNotice());

  auto requests = https->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, LOGIN_PATH);
  EXPECT_EQ(requests[0].body,
            "codigo=12345&senha=s3nha%20%26%20%3D%25&version=1.1&chave=01234567890123456789");
  EXPECT_EQ(requests[1].path, LOGOUT_PATH);
  EXPECT_EQ(requests[1].body, "codigo=12345");
  EXPECT_TRUE(server.requests().empty());
}

// A peer that cannot prove it is the service gets nothing readable: neither
// the login (the user sees the failure box, nothing is stored) nor the
// logout notice; and there is no second try in plain http.
TEST_F(HttpsServiceTest, UntrustedPeersFailTheExchangeAndReceiveNothing) {
  struct Case {
    const char *what;
    CertFiles cert;
    bool withCaFile;
  } cases[] = {
      {"self-signed", ca.selfSigned("self", {"localhost", "127.0.0.1"}), true},
      {"wrong host name", ca.issue("other", {"other.example"}), true},
      {"expired", ca.issue("expired", {"localhost", "127.0.0.1"}, true), true},
      {"CA not in the system store", ca.issue("private", {"localhost", "127.0.0.1"}), false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    forgetLogin();
    auto https = httpsServer(c.cert);
    setServiceCaFileForTests(c.withCaFile ? ca.caFile().c_str() : "");

    EXPECT_FALSE(serviceLogin());
    ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
    EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
    EXPECT_EQ(winapi_test::shownBoxes()[0].caption, CAPTION_ATTENTION);
    EXPECT_STREQ(app.sipDomain, "");
    EXPECT_STREQ(app.sipPassword, "");
    EXPECT_TRUE(app.queueNames.empty());
    EXPECT_TRUE(app.serviceLoginOpen); // the notice is still owed at exit

    EXPECT_TRUE(sendLogoutNotice());
    EXPECT_EQ(winapi_test::shownBoxes().size(), 1u);
    EXPECT_TRUE(https->requests().empty());
  }
  EXPECT_TRUE(server.requests().empty());
}

// An https location whose port speaks plain http: no downgrade.
TEST_F(HttpsServiceTest, PlainHttpBehindAnHttpsLocationIsAFailedExchange) {
  server.setAnswer(LOGIN_PATH, 200, GOOD_ANSWER);
  setServiceHostForTests(("https://localhost:" + std::to_string(server.port())).c_str());
  setServiceCaFileForTests(ca.caFile().c_str());
  EXPECT_FALSE(serviceLogin());
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
  EXPECT_TRUE(sendLogoutNotice());
  EXPECT_TRUE(server.requests().empty());
}
