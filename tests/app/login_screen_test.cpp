// Start-up and the login screen, through the window layer without a display.
#include <gtest/gtest.h>

#include <cstdlib>

#include <fstream>
#include <iterator>

#include "app_state.h"
#include "form_decode.h"
#include "main_window.h"
#include "program_driver.h"
#include "screen_table.h"
#include "service.h"
#include "winapi_test.h"

using namespace winapi_test;

namespace {

class Program : public ProgramTest {};

} // namespace

TEST_F(Program, StartsOnTheLoginScreenAndClosesWithoutLogoutNotice) {
  int result = runProgram({[&] {
    HWND main = mainWindow();
    ASSERT_NE(main, nullptr);
    Rect outer = geometry(main);
    EXPECT_EQ(outer.w, 390);
    EXPECT_EQ(outer.h, 350);
    DWORD frame = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(style(main) & frame, frame);
    EXPECT_EQ(style(main) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u);

    expectLoginScreen();
    EXPECT_NE(app.labelFont, nullptr);
    FontInfo labelFont = fontInfo(app.labelFont);
    EXPECT_EQ(labelFont.face, "Arial");
    EXPECT_EQ(labelFont.height, 16);
    // No field has the focus after start.
    HWND focus = GetFocus();
    for (HWND c : children(main))
      EXPECT_NE(focus, c);
    closeWindow(main);
  }});
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(lastBoxSays(1, "Sair ?", "Dravik Tirn", MB_OKCANCEL));
  EXPECT_TRUE(http.requests().empty()); // no login, so no logout notice
  std::ifstream key("key.txt", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(key)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content.size(), 20u);
}

TEST_F(Program, LabelsArePaintedBlackOnNearWhite) {
  runProgram({[&] {
    for (HWND label : {app.codeLabel, app.passwordLabel}) {
      StaticColors colors = staticColors(label);
      EXPECT_TRUE(colors.painted);
      EXPECT_EQ(colors.text, RGB(0, 0, 0));
      EXPECT_EQ(colors.back, RGB(249, 249, 249));
      EXPECT_EQ(colors.brush, RGB(249, 249, 249));
    }
    closeWindow(mainWindow());
  }});
}

TEST_F(Program, StartUpFailureIsReportedAndReturnsOne) {
  // A class of the same name already exists, so the program cannot register its own.
  WNDCLASSEXA other = {};
  other.cbSize = sizeof other;
  other.lpfnWndProc = DefWindowProcA;
  other.lpszClassName = "Dravik Tirn";
  ASSERT_NE(RegisterClassExA(&other), 0);
  EXPECT_EQ(runProgram({}), 1);
  ASSERT_EQ(shownBoxes().size(), 1u);
  EXPECT_EQ(shownBoxes()[0].owner, nullptr);
  EXPECT_EQ(shownBoxes()[0].text, "Falha na Abertura do programa!");
  EXPECT_EQ(shownBoxes()[0].caption, "Erro!");
  EXPECT_EQ(shownBoxes()[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(mainWindow(), nullptr);
}

TEST_F(Program, EmptyFieldsAreRefusedOnceEachWithoutRequest) {
  auto expectOneMoreFormError = [](size_t before) {
    ASSERT_TRUE(lastBoxSays(before + 1, "Preencha todos os Campos.", ATTENTION, MB_OK));
    EXPECT_EQ(shownBoxes().back().owner, mainWindow());
  };
  runProgram({
      [] { pressKey(VK_RETURN); }, // both empty
      [&] {
        expectOneMoreFormError(0);
        typeText(app.passwordEdit, "segredo"); // code still empty
        click(app.loginButton);
      },
      [&] {
        expectOneMoreFormError(1);
        EXPECT_FALSE(app.loggedIn);
        closeWindow(mainWindow());
      },
  });
  EXPECT_TRUE(http.requests().empty());
}

TEST_F(Program, PasswordMissingIsRefusedWithoutRequest) {
  runProgram({
      [] { typeLogin("1001", ""); },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Preencha todos os Campos."));
        closeWindow(mainWindow());
      },
  });
  EXPECT_TRUE(http.requests().empty());
}

TEST_F(Program, RefusedLoginKeepsTheScreenAndTheTexts) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("Inv\xc3\xa1lida"));
  std::vector<HWND> loginControls;
  int result = runProgram({
      [&] {
        loginControls = children(mainWindow());
        typeLogin("4711", "errada");
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Inv\xe1lida", ATTENTION));
        EXPECT_FALSE(app.loggedIn);
        EXPECT_FALSE(app.serviceLoginOpen);
        EXPECT_EQ(children(mainWindow()), loginControls);
        EXPECT_EQ(windowText(app.codeEdit), "4711");
        EXPECT_EQ(windowText(app.passwordEdit), "errada");
        pressKey(VK_RETURN); // another try sends the login again
      },
      [&] {
        EXPECT_EQ(requestsTo(http, LOGIN_PATH).size(), 2u);
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  std::vector<RecordedRequest> requests = http.requests();
  ASSERT_EQ(requests.size(), 2u); // two logins, no logout notice
  std::map<std::string, std::string> form = parseForm(requests[0].body);
  EXPECT_EQ(form["codigo"], "4711");
  EXPECT_EQ(form["senha"], "errada");
  EXPECT_EQ(form["version"], "1.1");
  EXPECT_EQ(form["chave"].size(), 20u);
}

TEST_F(Program, LongFieldsAreSentCutToNineteenCharacters) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("n\xc3\xa3o"));
  runProgram({
      [] { typeLogin("1234567890123456789XYZ", "abcdefghijklmnopqrsTUV"); },
      [] { closeWindow(mainWindow()); },
  });
  ASSERT_EQ(requestsTo(http, LOGIN_PATH).size(), 1u);
  std::map<std::string, std::string> form = parseForm(http.requests()[0].body);
  // The fields may refuse what does not fit their width; whatever they hold
  // is sent up to its first 19 characters.
  EXPECT_LE(form["codigo"].size(), 19u);
  EXPECT_EQ(std::string("1234567890123456789").compare(0, form["codigo"].size(), form["codigo"]),
            0);
  EXPECT_LE(form["senha"].size(), 19u);
  EXPECT_EQ(std::string("abcdefghijklmnopqrs").compare(0, form["senha"].size(), form["senha"]), 0);
}

// Narrow characters that the fields' width would take: the fields stop at
// the 19 characters the login keeps, so what they show is what is sent.
TEST_F(Program, FieldsTakeNoMoreThanTheNineteenCharactersSent) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("n\xc3\xa3o"));
  std::string code(25, '1'), password(25, 'i');
  runProgram({
      [&] { typeLogin(code, password); },
      [&] {
        EXPECT_EQ(windowText(app.codeEdit), code.substr(0, 19));
        EXPECT_EQ(windowText(app.passwordEdit), password.substr(0, 19));
        closeWindow(mainWindow());
      },
  });
  ASSERT_EQ(requestsTo(http, LOGIN_PATH).size(), 1u);
  std::map<std::string, std::string> form = parseForm(http.requests()[0].body);
  EXPECT_EQ(form["codigo"], code.substr(0, 19));
  EXPECT_EQ(form["senha"], password.substr(0, 19));
}

TEST_F(Program, TabCyclesTheFocusStartingAtTheCodeField) {
  runProgram({
      [] { pressKey(VK_TAB); },
      [] {
        EXPECT_EQ(GetFocus(), app.codeEdit);
        pressKey(VK_TAB);
      },
      [] {
        EXPECT_EQ(GetFocus(), app.passwordEdit);
        pressKey(VK_TAB);
      },
      [] {
        EXPECT_EQ(GetFocus(), app.loginButton);
        pressKey(VK_TAB);
      },
      [] {
        EXPECT_EQ(GetFocus(), app.codeEdit);
        pressKey(VK_TAB, true); // Shift+Tab is no command
      },
      [] {
        EXPECT_EQ(GetFocus(), app.codeEdit);
        closeWindow(mainWindow());
      },
  });
}

TEST_F(Program, EnterLogsInWhereverTheFocusIs) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("Tente de novo"));
  runProgram({
      [] {
        typeText(app.codeEdit, "77");
        typeText(app.passwordEdit, "pw"); // focus in the password field
        pressKey(VK_RETURN);
      },
      [] {
        SetFocus(app.loginButton);
        pressKey(VK_RETURN);
      },
      [] {
        SetFocus(app.codeEdit);
        pressKey(VK_RETURN);
      },
      [] {
        SetFocus(mainWindow());
        pressKey(VK_RETURN);
      },
      [] { click(app.loginButton); },
      [&] {
        EXPECT_EQ(requestsTo(http, LOGIN_PATH).size(), 5u);
        closeWindow(mainWindow());
      },
  });
}

TEST_F(Program, LoginWhileAnotherIsRunningDoesNothing) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("Tente de novo"));
  runProgram({
      [] {
        typeText(app.codeEdit, "77");
        typeText(app.passwordEdit, "pw");
        app.loginRunning = true; // as inside the exchange or its message box
        pressKey(VK_RETURN);
      },
      [&] {
        EXPECT_TRUE(shownBoxes().empty());
        app.loginRunning = false;
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(requestsTo(http, LOGIN_PATH).size(), 0u);
}

TEST_F(Program, FailedExchangeStaysOnLoginAndStillSendsTheLogoutNotice) {
  http.setAnswer(LOGIN_PATH, 500, "falhou", "text/plain");
  int result = runProgram({
      [] { typeLogin("5150", "senha"); },
      [] {
        EXPECT_FALSE(app.loggedIn);
        EXPECT_TRUE(app.serviceLoginOpen);
        EXPECT_TRUE(isAlive(app.codeEdit));
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(http.waitForRequests(2, 5000));
  EXPECT_EQ(http.requests()[1].path, LOGOUT_PATH);
  EXPECT_EQ(parseForm(http.requests()[1].body)["codigo"], "5150");
}

// The refusal box has no owner: while it is open the user can still type
// into the window, and what the user does there is handled then, by the
// box's loop, without the program's accelerators; the running login keeps a
// second one from starting. Nothing is left over to run once the box is
// gone, and a close asked meanwhile is handled while the box is still open.
TEST_F(Program, InputWhileTheRefusalBoxIsOpenIsHandledThenAndNeverReplayed) {
  http.setAnswer(LOGIN_PATH, 200, refusedAnswer("Inv\xc3\xa1lida"));
  bool ranAfterClose = false;
  int result = runProgram({
      [] {
        queueBoxAnswer(IDOK, [] {
          typeText(app.codeEdit, "8");
          pressKey(VK_RETURN);
          click(app.loginButton);
        });
        typeLogin("77", "pw");
      },
      [] {
        EXPECT_EQ(windowText(app.codeEdit), "778") << "typed while the box was open";
        ASSERT_EQ(shownBoxes().size(), 1u);
        queueBoxAnswer(IDOK, [] { closeWindow(mainWindow()); });
        pressKey(VK_RETURN);
      },
      [&] { ranAfterClose = true; },
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(ranAfterClose) << "the close asked during the box ended the program";
  ASSERT_EQ(shownBoxes().size(), 3u);
  EXPECT_EQ(shownBoxes()[1].text, "Inv\xe1lida");
  EXPECT_EQ(shownBoxes()[2].text, "Sair ?");
  EXPECT_EQ(requestsTo(http, LOGIN_PATH).size(), 2u) << "one login per Enter the user meant";
}

// Account values that the SIP library would bend into another host, another
// transport or a password in the address fail the login: the user stays on
// the login screen with the failure box and nothing is registered until an
// answer with plain values comes.
TEST_F(Program, AccountValuesThatAreNotPlainSipNeverRegister) {
  domain = "127.0.0.61";
  ASSERT_TRUE(peer.start(domain, dir.path()));
  auto answer = [](const std::string &dominio, const std::string &user) {
    return R"({"resposta":{"status":true,"dominio":")" + dominio + R"(","user":")" + user +
           R"(","pass":"segredo"},"filas":[{"info":[{"nome":"ATENDIMENTO","info":{"user":"a1"}}]}]})";
  };
  const std::vector<std::string> refused = {
      answer(domain + " >x", "cliente7"),
      answer(domain + ";transport=tcp", "cliente7"),
      answer(domain, "cliente7:outra"),
      answer(domain, "cliente7@127.0.0.62"),
  };
  // Each step checks the outcome of the previous login, then logs in again.
  std::vector<std::function<void()>> steps;
  for (size_t i = 0; i <= refused.size(); ++i) {
    steps.push_back([&, i] {
      // No ASSERT here: the step must always leave input for the loop.
      if (app.loggedIn) {
        ADD_FAILURE() << "a refused answer logged in";
        closeWindow(mainWindow());
        return;
      }
      EXPECT_EQ(shownBoxes().size(), i);
      if (i > 0 && shownBoxes().size() == i) {
        EXPECT_EQ(shownBoxes()[i - 1].caption, ATTENTION);
        EXPECT_FALSE(app.loggedIn);
        EXPECT_TRUE(isAlive(app.codeEdit));
      }
      EXPECT_TRUE(peer.received("REGISTER ").empty());
      http.setAnswer(LOGIN_PATH, 200, i < refused.size() ? refused[i] : answer(domain, "cliente7"));
      typeLogin("1001", "demo123");
    });
  }
  steps.push_back([&] {
    ASSERT_TRUE(waitUntil([] { return app.registered.load(); }, 15000));
    closeWindow(mainWindow());
  });
  runProgram(steps);
  // Only the plain account ever reached the registrar, and nothing of the
  // refused values did.
  EXPECT_EQ(peer.received("REGISTER ").size(),
            peer.received("REGISTER sip:" + domain + " ").size());
  std::string seen = fileText(dir.path() + "/sipp-" + domain + ".msg");
  EXPECT_NE(seen.find("From: <sip:cliente7@" + domain + ">"), std::string::npos);
  for (const char *refusedPiece : {"outra", "transport=tcp", "127.0.0.62", ">x"})
    EXPECT_EQ(seen.find(refusedPiece), std::string::npos) << refusedPiece;
}
