#include <httplib.h>

#include <filesystem>

#include "form_decode.h"
#include "service_fixture.h"
#include "service_internal.h"

namespace {

const std::string TWO_GROUPS = R"([
  {"nome":"Geral","info":[
    {"nome":"ATENDIMENTO","info":{"user":"atendimento01"}},
    {"nome":"Suporte T\u00e9cnico","info":{"user":"1002"}}]},
  {"nome":"Outros","info":[
    {"nome":"Financeiro","info":{"user":"1003"}}]}])";

} // namespace

TEST_F(ServiceTest, AcceptedLoginPostsTheFormAndStoresAccountAndQueues) {
  EXPECT_TRUE(loginWith(acceptedWith(TWO_GROUPS)));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, LOGIN_PATH);
  EXPECT_EQ(requests[0].contentType, "application/x-www-form-urlencoded");
  // The login made key.txt and sent its key; a plain body keeps the order.
  std::string key = fileText("key.txt");
  ASSERT_EQ(key.size(), 20u);
  EXPECT_EQ(requests[0].body, "codigo=12345&senha=s3nha&version=1.1&chave=" + formEncode(key));
  EXPECT_EQ(parseForm(requests[0].body)["chave"], key);

  EXPECT_STREQ(app.sipDomain, "sip.example.net");
  EXPECT_STREQ(app.sipUser, "cliente7");
  EXPECT_STREQ(app.sipPassword, "pw");
  EXPECT_STREQ(app.savedLoginCode, "12345");
  EXPECT_EQ(app.queueNames, (TextList{"ATENDIMENTO",
                                      "SuporteT\xe9"
                                      "cnico",
                                      "Financeiro"}));
  EXPECT_EQ(app.queueUsers, (TextList{"atendimento01", "1002", "1003"}));
  EXPECT_TRUE(app.serviceLoginOpen);
  EXPECT_FALSE(app.loginRunning);
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
}

TEST_F(ServiceTest, QueueListShapes) {
  struct Case {
    const char *filas;
    TextList names, users;
  } cases[] = {
      // Groups of an object are walked in the order of their member names.
      {R"({"z":{"info":[{"nome":"Z","info":{"user":"9"}}]},"a":{"info":[{"nome":"A","info":{"user":"1"}}]}})",
       {"A", "Z"},
       {"1", "9"}},
      {"null", {}, {}},
      {R"("filas")", {}, {}},
      {"42", {}, {}},
      {"[]", {}, {}},
      {R"([{"nome":"sem info"}, null, {"info":"x"}])", {}, {}},
      // Absent name and absent user; numbers read as their text; a name
      // repeated is numbered.
      {R"([{"info":[{"info":{}}, {"nome":"Sem user"}, null, {"nome":7,"info":{"user":8}}]}])",
       {"UTF-8", "Semuser", "UTF-8 2", "7"},
       {"", "", "", "8"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.filas);
    forgetLogin();
    EXPECT_TRUE(loginWith(acceptedWith(c.filas)));
    EXPECT_EQ(app.queueNames, c.names);
    EXPECT_EQ(app.queueUsers, c.users);
  }
  // Without "filas" at all.
  forgetLogin();
  EXPECT_TRUE(loginWith(R"({"resposta":{"status":true,"dominio":"d","user":"u","pass":"p"}})"));
  EXPECT_TRUE(app.queueNames.empty() && app.queueUsers.empty());
}

TEST_F(ServiceTest, FormValuesArePercentEncodedAndSurviveTheTrip) {
  const char *code = "c=1&x";
  const char *password = "a&codigo=x%#+ \xe9";
  const std::string key = "#%&^*!@$aZ09xyzXYZ+=";
  textCopy(app.loginCode, code);
  textCopy(app.loginPassword, password);
  writeFile("key.txt", key);

  EXPECT_TRUE(loginWith(acceptedWith("[]")));
  ASSERT_EQ(server.requests().size(), 1u);
  auto fields = parseForm(server.requests()[0].body);
  EXPECT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields["codigo"], code);
  EXPECT_EQ(fields["senha"], password);
  EXPECT_EQ(fields["version"], "1.1");
  EXPECT_EQ(fields["chave"], key);
}

TEST_F(ServiceTest, UnreadableKeyFileIsLeftAloneAndAnEmptyKeyIsSent) {
  std::filesystem::create_directory("key.txt");
  EXPECT_TRUE(loginWith(acceptedWith("[]")));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(parseForm(server.requests()[0].body)["chave"], "");
  EXPECT_TRUE(std::filesystem::is_directory("key.txt"));
}

TEST_F(ServiceTest, RefusalShowsTheServiceTextAndClosesTheServiceLogin) {
  struct Case {
    const char *answer, *shown;
  } cases[] = {
      {R"({"resposta":{"status":false,"mensagem":"Usu\u00e1rio ou senha inv\u00e1lidos"}})",
       "Usu\xe1rioou senha inv\xe1lidos"},
      {R"({"resposta":{"status":false}})", "UTF-8"},
      {R"({"resposta":{"status":0,"mensagem":null}})", ""},
      {R"({"resposta":{"mensagem":12}})", "12"},
      {R"({"resposta":null})", "UTF-8"},
      {"{}", "UTF-8"},
      {"null", "UTF-8"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.answer);
    forgetLogin();
    app.serviceLoginOpen = true;
    EXPECT_FALSE(loginWith(c.answer));
    ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
    const auto &box = winapi_test::shownBoxes()[0];
    EXPECT_EQ(box.text, c.shown);
    EXPECT_EQ(box.caption, CAPTION_ATTENTION);
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_FALSE(app.serviceLoginOpen);
    EXPECT_STREQ(app.sipDomain, "");
    EXPECT_TRUE(app.queueNames.empty());
    EXPECT_STREQ(app.savedLoginCode, "12345");
  }
}

TEST_F(ServiceTest, NumericStatusAcceptsWhenNotZero) {
  EXPECT_TRUE(loginWith(R"({"resposta":{"status":1,"dominio":"d","user":"u","pass":"p"}})"));
  EXPECT_STREQ(app.sipDomain, "d");
}

// Every answer that is not a plain accept or refusal: the user is told the
// service failed, nothing stored changes, and the service login counts as
// open so the logout notice still goes out.
TEST_F(ServiceTest, FailedExchangesTellTheUserAndKeepWhatWasStored) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  struct Case {
    int status;
    std::string body;
  } cases[] = {
      {500, acceptedWith("[]")},
      {404, ""},
      {200, ""},
      {200, "<html>Service unavailable</html>"},
      {200, R"({"resposta":{"status":true)"}, // cut short
      {200, deep},
      {200, "[1,2]"},
      {200, "42"},
      {200, R"("resposta")"},
      {200, R"({"resposta":[true]})"},
      {200, R"({"resposta":"ok"})"},
      {200, R"({"resposta":{"status":"true","dominio":"d","user":"u","pass":"p"}})"},
      {200, R"({"resposta":{"status":[true],"dominio":"d","user":"u","pass":"p"}})"},
      {200, R"({"resposta":{"status":{},"dominio":"d","user":"u","pass":"p"}})"},
      {200, R"({"resposta":{"status":false,"mensagem":["a"]}})"},
      {200, R"({"resposta":{"status":false,"mensagem":{"a":1}}})"},
      {200, R"({"resposta":{"status":true,"user":"u","pass":"p"}})"},
      {200, R"({"resposta":{"status":true,"dominio":5,"user":"u","pass":"p"}})"},
      {200, R"({"resposta":{"status":true,"dominio":"d","user":["u"],"pass":"p"}})"},
      {200, R"({"resposta":{"status":true,"dominio":"d","user":"u","pass":null}})"},
      {200, acceptedWith(R"(["grupo"])")},
      {200, acceptedWith(R"([{"info":[["q"]]}])")},
      {200, acceptedWith(R"([{"info":[7]}])")},
      {200, acceptedWith(R"([{"info":[{"nome":"Q","info":"1001"}]}])")},
      {200, acceptedWith(R"([{"info":[{"nome":"Q","info":[1001]}]}])")},
      {200, acceptedWith(R"([{"info":[{"nome":{"pt":"Q"},"info":{"user":"1"}}]}])")},
      {200, acceptedWith(R"([{"info":[{"nome":"Q","info":{"user":["1"]}}]}])")},
      // Valid JSON, but far longer than any answer: the transfer is cut.
      {200, acceptedWith("[]") + std::string(5u << 20, ' ')},
      // A good queue before a bad one is not kept either.
      {200, acceptedWith(R"([{"info":[{"nome":"A","info":{"user":"1"}}]},[]])")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.body.substr(0, 100));
    forgetLogin();
    textCopy(app.sipDomain, "kept.example");
    textCopy(app.sipUser, "kept");
    app.queueNames = {"Kept"};
    app.queueUsers = {"1"};
    EXPECT_FALSE(loginWith(c.body, c.status));
    ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
    EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
    EXPECT_EQ(winapi_test::shownBoxes()[0].caption, CAPTION_ATTENTION);
    EXPECT_TRUE(app.serviceLoginOpen);
    EXPECT_FALSE(app.loginRunning);
    EXPECT_STREQ(app.sipDomain, "kept.example");
    EXPECT_STREQ(app.sipUser, "kept");
    EXPECT_STREQ(app.sipPassword, "");
    EXPECT_EQ(app.queueNames, TextList{"Kept"});
    EXPECT_EQ(app.queueUsers, TextList{"1"});
    EXPECT_STREQ(app.savedLoginCode, "12345");
  }
}

TEST_F(ServiceTest, SipFieldsThatDoNotFitFailTheAnswerInsteadOfBeingCut) {
  auto answer = [](size_t domain, size_t user, size_t pass) {
    return R"({"resposta":{"status":true,"dominio":")" + std::string(domain, 'd') +
           R"(","user":")" + std::string(user, 'u') + R"(","pass":")" + std::string(pass, 'p') +
           R"("}})";
  };
  EXPECT_TRUE(loginWith(answer(199, 39, 99)));
  EXPECT_EQ(std::string(app.sipDomain), std::string(199, 'd'));
  EXPECT_EQ(std::string(app.sipUser), std::string(39, 'u'));
  EXPECT_EQ(std::string(app.sipPassword), std::string(99, 'p'));

  for (const std::string &body : {answer(200, 1, 1), answer(1, 40, 1), answer(1, 1, 100)}) {
    forgetLogin();
    EXPECT_FALSE(loginWith(body));
    EXPECT_EQ(winapi_test::shownBoxes().size(), 1u);
    EXPECT_STREQ(app.sipDomain, "");
    EXPECT_STREQ(app.sipUser, "");
    EXPECT_STREQ(app.sipPassword, "");
  }
}

// A name too long for the program's buffers is listed cut with "...", each
// cut name still its own queue's; a queue whose user does not fit is left
// out, the user told so, and the lists stay aligned.
TEST_F(ServiceTest, LongQueueNamesAreCutAndQueuesWhoseUserDoesNotFitLeftOut) {
  std::string utf8Accents; // 100 x "á": 200 bytes of UTF-8, 100 after repair
  for (int i = 0; i < 100; ++i)
    utf8Accents += "\\u00e1";
  auto queue = [](const std::string &name, const std::string &user) {
    return R"({"nome":")" + name + R"(","info":{"user":")" + user + R"("}})";
  };
  const std::string longPrefix(250, 'L');
  std::string filas =
      "[{\"info\":[" + queue(std::string(199, 'n'), "1") + "," + queue(std::string(200, 'N'), "2") +
      "," + queue("a " + std::string(198, 'b'), "3") + "," + queue(utf8Accents, "4") + "," +
      queue("Curto", std::string(39, '5')) + "," + queue("Longo", std::string(40, '6')) + "," +
      queue("Nul\\u0000x", "7") + "," + queue("Usuario", "8\\u00009") + "," +
      queue(longPrefix + "x", "300") + "," + queue(longPrefix + std::string(9750, 'y'), "10000") +
      "," + queue(std::string(196, 'L') + "...", "cut") + "," + queue("Fim", "9") + "]}]";
  EXPECT_TRUE(loginWith(acceptedWith(filas)));
  EXPECT_EQ(
      app.queueNames,
      (TextList{std::string(199, 'n'), std::string(196, 'N') + "...", "a" + std::string(198, 'b'),
                std::string(100, '\xe1'), "Curto", "Nul?x", std::string(194, 'L') + " 2...",
                std::string(194, 'L') + " 3...", std::string(196, 'L') + "...", "Fim"}));
  EXPECT_EQ(app.queueUsers,
            (TextList{"1", "2", "3", "4", std::string(39, '5'), "7", "300", "10000", "cut", "9"}));
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text,
            "O servi\xe7o enviou 2 filas que este programa n\xe3o pode chamar; elas n\xe3o "
            "aparecem na lista.");
  for (const std::string &name : app.queueNames)
    EXPECT_LT(name.size(), static_cast<size_t>(QUEUE_NAME_CAP));
}

// The combo box lists names and the call looks its queue up by name: two
// queues of one name, or of names that differ only in characters the
// window's code page lacks, are numbered, and each name found calls its own
// queue's user.
TEST_F(ServiceTest, RepeatedNamesAreNumberedSoThatEachCallsItsOwnQueue) {
  auto queue = [](const std::string &name, const std::string &user) {
    return R"({"nome":")" + name + R"(","info":{"user":")" + user + R"("}})";
  };
  const std::string longName(199, 'n');
  std::string filas =
      "[{\"info\":[" + queue("ATENDIMENTO", "primeira01") + "," +
      queue("ATENDIMENTO", "segunda02") + "," + queue("Suporte \\ud83d\\ude00", "sorriso1") + "," +
      queue("Suporte \\ud83d\\ude03", "sorriso2") + "," + queue(longName, "longo1") + "," +
      queue(longName, "longo2") + "]},{\"info\":[" + queue("ATENDIMENTO", "terceira03") + "," +
      queue("ATENDIMENTO  2", "literal") + "]}]";
  EXPECT_TRUE(loginWith(acceptedWith(filas)));
  const TextList names = {"ATENDIMENTO",   "ATENDIMENTO 3", "Suporte?",
                          "Suporte? 2",    longName,        std::string(194, 'n') + " 2...",
                          "ATENDIMENTO 4", "ATENDIMENTO 2"};
  const TextList users = {"primeira01", "segunda02", "sorriso1",   "sorriso2",
                          "longo1",     "longo2",    "terceira03", "literal"};
  ASSERT_EQ(app.queueNames, names);
  ASSERT_EQ(app.queueUsers, users);
  for (size_t i = 0; i < names.size(); ++i) {
    textCopy(app.selectedQueue, names[i].c_str());
    EXPECT_EQ(findQueueIndex(), static_cast<int>(i)) << names[i];
    EXPECT_EQ(std::string(lookupQueueUser()), users[i]) << names[i];
  }
  textCopy(app.selectedQueue, "ATENDIMENTO");
}

// Services saved with a UTF-8 byte-order mark send it before the JSON, with
// white space around it: the answer is read all the same, a refusal too.
TEST_F(ServiceTest, AnswerAfterAByteOrderMarkIsRead) {
  const std::string bom = "\xEF\xBB\xBF";
  for (const std::string &before : {bom, bom + "\r\n", " \n" + bom + " \t", std::string("\r\n")}) {
    SCOPED_TRACE(::testing::PrintToString(before));
    forgetLogin();
    EXPECT_TRUE(loginWith(before + acceptedWith(TWO_GROUPS) + "\r\n"));
    EXPECT_STREQ(app.sipUser, "cliente7");
    EXPECT_EQ(app.queueUsers, (TextList{"atendimento01", "1002", "1003"}));
    EXPECT_TRUE(winapi_test::shownBoxes().empty());
  }
  forgetLogin();
  EXPECT_FALSE(loginWith(bom + R"({"resposta":{"status":false,"mensagem":"Senha errada"}})"));
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text, "Senhaerrada");
  // Only a mark at the start is skipped: one inside the text is no JSON.
  for (const std::string &body : {"{" + bom + "}", acceptedWith(bom + TWO_GROUPS)}) {
    forgetLogin();
    EXPECT_FALSE(loginWith(body));
    EXPECT_STREQ(app.sipUser, "");
    ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
    EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
  }
}

TEST_F(ServiceTest, LoginWhileAnotherIsRunningDoesNothing) {
  app.loginRunning = true;
  EXPECT_FALSE(loginWith(acceptedWith("[]")));
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
  EXPECT_STREQ(app.savedLoginCode, "");
  EXPECT_FALSE(app.serviceLoginOpen);
  EXPECT_TRUE(app.loginRunning); // still the first exchange's
}

TEST_F(ServiceTest, ClosedPortIsAFailedExchange) {
  pointAtClosedPort();
  EXPECT_FALSE(serviceLogin());
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
  EXPECT_TRUE(app.serviceLoginOpen);
}

// A 200 answer whose connection drops before the announced length arrived:
// what did arrive parses as an accepted login, but it is not the answer.
TEST_F(ServiceTest, AnswerCutOffMidwayIsAFailedExchange) {
  const std::string partial = acceptedWith("[]");
  httplib::Server cutting;
  cutting.Post(".*", [&partial](const httplib::Request &, httplib::Response &res) {
    res.set_content_provider(partial.size() + 100, "application/json",
                             [&partial](size_t offset, size_t, httplib::DataSink &sink) {
                               if (offset == 0)
                                 sink.write(partial.data(), partial.size());
                               return offset == 0;
                             });
  });
  int port = cutting.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread thread([&cutting] { cutting.listen_after_bind(); });
  setServiceHostForTests(("127.0.0.1:" + std::to_string(port)).c_str());

  bool accepted = serviceLogin();
  cutting.stop();
  thread.join();
  EXPECT_FALSE(accepted);
  EXPECT_STREQ(app.sipDomain, "");
  EXPECT_TRUE(app.serviceLoginOpen);
}
