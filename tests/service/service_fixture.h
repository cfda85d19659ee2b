// A login exchange against a real loopback server, in a fresh working
// directory, with message boxes answered headlessly and recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "loopback_http.h"
#include "service.h"
#include "temp_work_dir.h"
#include "winapi_test.h"

const char LOGIN_PATH[] = "/appConsultoria/mirtavel.php";
const char LOGOUT_PATH[] = "/appConsultoria/remove_login.php";
const char CAPTION_ATTENTION[] = "Aten\xe7\xe3o";
const char FAILURE_TEXT[] = "N\xe3o foi poss\xedvel falar com o servi\xe7o, ou ele respondeu de "
                            "forma inesperada. Tente novamente.";

class ServiceTest : public ::testing::Test {
protected:
  TempWorkDir workDir;
  LoopbackHttp server;

  void SetUp() override {
    setServiceHostForTests(server.hostPort().c_str());
    winapi_test::resetBoxes();
    app.sessionEnding = false;
    textCopy(app.loginCode, "12345");
    textCopy(app.loginPassword, "s3nha");
  }

  // Runs one login against an answer of the login endpoint.
  bool loginWith(const std::string &body, int status = 200) {
    server.setAnswer(LOGIN_PATH, status, body);
    return serviceLogin();
  }

  // Points the client at a port where nothing listens any more.
  void pointAtClosedPort() {
    std::string closed = LoopbackHttp().hostPort();
    setServiceHostForTests(closed.c_str());
  }

  // Back to the state before any login, keeping key.txt and the server.
  void forgetLogin() {
    app.loggedIn = app.serviceLoginOpen = false;
    app.sipDomain[0] = app.sipUser[0] = app.sipPassword[0] = app.savedLoginCode[0] = '\0';
    app.queueNames.clear();
    app.queueUsers.clear();
    winapi_test::resetBoxes();
  }
};

// An accepted answer with the given "filas" member (JSON text).
inline std::string acceptedWith(const std::string &filas) {
  return R"({"resposta":{"status":true,"mensagem":"ok","dominio":"sip.example.net",)"
         R"("user":"cliente7","pass":"pw"},"filas":)" +
         filas + "}";
}
