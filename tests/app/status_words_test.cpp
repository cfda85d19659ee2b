// What the status line says for each outcome the SIP library reports: pure
// mappings, tested as tables of cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "main_window.h"
#include "sip_internal.h"
#include "winapi_test.h"

// The toolkit that draws the windows on Linux, looked at by the test on X
// (after the rest: its X headers define names that others use).
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

namespace {

std::string statusFor(const SipReport &report, const char *queue = "Fiscal") {
  char text[STATUS_CAP] = "unchanged";
  statusText(report, queue, text);
  return text;
}

SipReport registration(RegistrationState state, const char *reason = "") {
  SipReport r = {state, "", CALL_NONE, 0, false, false, false};
  textCopy(r.registrationReason, reason);
  return r;
}

SipReport call(CallState state, int code = 0, bool newer = true,
               RegistrationState reg = REGISTRATION_OK) {
  SipReport r = registration(reg);
  r.call = state;
  r.callCode = code;
  r.callNewer = newer;
  return r;
}

SipReport withSound(SipReport r, bool microphone, bool speaker) {
  r.noMicrophone = !microphone;
  r.noSpeaker = !speaker;
  return r;
}

// Every report the status line tells differently: each registration state
// with the reasons it can give, each call state, each without a microphone,
// a speaker or both.
std::vector<SipReport> everyReport() {
  std::vector<SipReport> reports;
  for (RegistrationState state : {REGISTRATION_PENDING, REGISTRATION_OK, REGISTRATION_NO_NETWORK})
    reports.push_back(registration(state));
  for (const char *reason : {"", "acesso negado (403)", "servidor indispon\xedvel (503)",
                             "servidor pede autentica\xe7\xe3o n\xe3o suportada",
                             "recusado (c\xf3"
                             "digo 606)",
                             "conta inv\xe1lida", "sem conex\xe3o segura"})
    reports.push_back(registration(REGISTRATION_FAILED, reason));
  for (const char *reason : {"", "sem pasta para os dados", "falha ao iniciar o SIP"})
    reports.push_back(registration(REGISTRATION_UNAVAILABLE, reason));
  for (int c = CALL_CALLING; c <= CALL_REDIRECT_LOOP; ++c)
    reports.push_back(call(static_cast<CallState>(c), c == CALL_FAILED ? 606 : 0));
  size_t plain = reports.size();
  for (size_t i = 0; i < plain; ++i)
    for (int sound = 1; sound < 4; ++sound)
      reports.push_back(withSound(reports[i], sound & 2, sound & 1));
  return reports;
}

// The longest names a queue can have (the chosen queue's buffer, the
// directory's names, cut ones), of the widest characters code page 1252
// has, and long names of words.
const std::vector<std::string> LONG_NAMES = {
    std::string(SELECTED_QUEUE_CAP - 1, 'W'),
    std::string(QUEUE_NAME_CAP - 1, '\xc6'),
    std::string(QUEUE_NAME_CAP - 6, 'M') + " 2...",
    "Gest\xe3oTribut\xe1riaEmpresarialdeS\xe3oPaulo",
    "Consultoria Jur\xed"
    "dica Trabalhista e Previdenci\xe1ria das Empresas do Simples Nacional",
    "W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W W",
};

int widthInLabelFont(const std::string &text) {
  HDC dc = GetDC(nullptr);
  SelectObject(dc, app.labelFont);
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

std::string withoutSpaces(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; }),
             text.end());
  return text;
}

} // namespace

TEST(StatusWords, EachReportedStateHasItsPortugueseLine) {
  struct Case {
    SipReport report;
    const char *line;
  } cases[] = {
      {registration(REGISTRATION_PENDING), "Registrando conta..."},
      {registration(REGISTRATION_OK), "Pronto para ligar"},
      {registration(REGISTRATION_FAILED), "Falha no registro: sem resposta"},
      {registration(REGISTRATION_FAILED, "acesso negado (403)"),
       "Falha no registro: acesso negado (403)"},
      {registration(REGISTRATION_NO_NETWORK), "Sem conex\xe3o de rede"},
      {registration(REGISTRATION_UNAVAILABLE), "Telefone indispon\xedvel"},
      {registration(REGISTRATION_UNAVAILABLE, "sem pasta para os dados"),
       "Telefone indispon\xedvel (sem pasta para os dados)"},
      {call(CALL_CALLING), "Chamando Fiscal..."},
      {call(CALL_CONNECTED), "Em liga\xe7\xe3o com Fiscal"},
      {call(CALL_HELD), "Em espera com Fiscal"},
      {call(CALL_HELD, 0, false, REGISTRATION_FAILED), "Em espera com Fiscal"},
      {call(CALL_ENDED), "Liga\xe7\xe3o encerrada"},
      {call(CALL_LOST), "Liga\xe7\xe3o encerrada (conex\xe3o perdida)"},
      {call(CALL_NOT_SECURE), "Liga\xe7\xe3o recusada (fila sem criptografia)"},
      {call(CALL_BUSY, 486), "Fila ocupada"},
      {call(CALL_DECLINED, 603), "Chamada recusada"},
      {call(CALL_FAILED, 404), "Liga\xe7\xe3o n\xe3o completada (404)"},
      {call(CALL_FAILED, 0), "Liga\xe7\xe3o n\xe3o completada (sem resposta)"},
      {call(CALL_NOT_PLACED), "Liga\xe7\xe3o n\xe3o completada (endere\xe7o inv\xe1lido)"},
      {call(CALL_REDIRECT_LOOP, 302),
       "Liga\xe7\xe3o n\xe3o completada (redirecionamento em la\xe7o)"},
      // A transfer under way is news whatever the registration did since.
      {call(CALL_TRANSFERRING, 0, false, REGISTRATION_FAILED), "Transferindo..."},
      // A call in progress is news whatever the registration did since; an
      // ended call only until the registration changes again.
      {call(CALL_CONNECTED, 0, false, REGISTRATION_FAILED), "Em liga\xe7\xe3o com Fiscal"},
      {call(CALL_ENDED, 0, false), "Pronto para ligar"},
      {call(CALL_BUSY, 486, false, REGISTRATION_FAILED), "Falha no registro: sem resposta"},
      {call(CALL_NONE, 0, true), "Pronto para ligar"},
      // A call that waits for the network says so, whichever changed last.
      {call(CALL_CONNECTED, 0, false, REGISTRATION_NO_NETWORK),
       "Sem conex\xe3o de rede, em liga\xe7\xe3o com Fiscal"},
      {call(CALL_CONNECTED, 0, true, REGISTRATION_NO_NETWORK),
       "Sem conex\xe3o de rede, em liga\xe7\xe3o com Fiscal"},
      // A phone that cannot work says so before anything about a call.
      {call(CALL_CONNECTED, 0, true, REGISTRATION_UNAVAILABLE), "Telefone indispon\xedvel"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(statusFor(c.report), c.line)
        << "registration " << c.report.registration << ", call " << c.report.call;
  // Without the network, the news goes before a name, which is cut to leave
  // room for it.
  std::string longest(SELECTED_QUEUE_CAP - 1, 'Q');
  std::string lost =
      statusFor(call(CALL_CONNECTED, 0, true, REGISTRATION_NO_NETWORK), longest.c_str());
  const std::string start = "Sem conex\xe3o de rede, em liga\xe7\xe3o com Q";
  EXPECT_EQ(lost.substr(0, start.size()), start) << lost;
}

// The registrar's answer in the user's words, its code kept.
TEST(StatusWords, RegistrarRefusalsAreSaidInPortugueseWithTheirCode) {
  struct Case {
    int code;
    const char *line;
  } cases[] = {
      {401, "Falha no registro: credenciais recusadas (401)"},
      {407, "Falha no registro: credenciais recusadas (407)"},
      {403, "Falha no registro: acesso negado (403)"},
      {404, "Falha no registro: conta n\xe3o encontrada (404)"},
      {408, "Falha no registro: servidor indispon\xedvel (408)"},
      {480, "Falha no registro: servidor indispon\xedvel (480)"},
      {503, "Falha no registro: servidor indispon\xedvel (503)"},
      {504, "Falha no registro: servidor indispon\xedvel (504)"},
      {423, "Falha no registro: intervalo recusado (423)"},
      {500, "Falha no registro: recusado (c\xf3"
            "digo 500)"},
      {606, "Falha no registro: recusado (c\xf3"
            "digo 606)"},
  };
  for (const Case &c : cases) {
    SipReport report = registration(REGISTRATION_FAILED);
    registrarRefusal(c.code, report.registrationReason);
    EXPECT_EQ(statusFor(report), c.line);
  }
}

// The far side's status code, or 0 when none came: the library's own codes
// for a time-out or an unreachable peer are no answer.
TEST(StatusWords, OnlyAnAnswerOfTheFarSideGivesACode) {
  struct Case {
    LinphoneReason reason;
    int protocolCode, code;
  } cases[] = {
      {LinphoneReasonForbidden, 403, 403}, {LinphoneReasonBusy, 486, 486},
      {LinphoneReasonUnknown, 500, 500},   {LinphoneReasonNoResponse, 408, 0},
      {LinphoneReasonIOError, 503, 0},     {LinphoneReasonNotAnswered, 487, 0},
      {LinphoneReasonNone, 200, 0},        {LinphoneReasonNone, 0, 0},
  };
  EXPECT_EQ(answerCode(nullptr), 0);
  for (const Case &c : cases) {
    LinphoneErrorInfo *info = linphone_error_info_new();
    linphone_error_info_set_reason(info, c.reason);
    linphone_error_info_set_protocol_code(info, c.protocolCode);
    EXPECT_EQ(answerCode(info), c.code) << c.protocolCode;
    linphone_error_info_unref(info);
  }
}

// Every status, whatever the queue's name, is shown whole on the status line
// (210 by 32 pixels: two lines of the label font), each line within its
// width; a note about the sound is shortened before the name is cut, and a
// cut name keeps as much of its start as fits.
TEST(StatusWords, EveryStatusFitsTheStatusLineWithTheLongestNames) {
  winapi_test::setHeadless(true);
  HWND label = CreateWindowExA(0, "STATIC", "", WS_POPUP | SS_LEFT, 160, 200, 210, 32, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(label, nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(app.labelFont), TRUE);
  for (const SipReport &report : everyReport()) {
    std::string usual = statusFor(report);
    for (const std::string &name : LONG_NAMES) {
      std::string status = statusFor(report, name.c_str());
      SCOPED_TRACE("registration " + std::to_string(report.registration) + ", call " +
                   std::to_string(report.call) + ": " + status);
      SetWindowTextA(label, status.c_str());
      std::string shown = winapi_test::shownText(label);
      EXPECT_LE(std::count(shown.begin(), shown.end(), '\n'), 1) << "two lines at most";
      EXPECT_EQ(withoutSpaces(shown), withoutSpaces(status)) << "shown: " << shown;
      size_t from = 0;
      for (size_t end; from != std::string::npos; from = end == std::string::npos ? end : end + 1) {
        end = shown.find('\n', from);
        EXPECT_LE(widthInLabelFont(shown.substr(from, end - from)), 210) << shown;
      }
      // What the status says besides the name stays: its words before the
      // name, and the note (shortened) after it.
      size_t at = usual.find("Fiscal");
      if (at == std::string::npos) {
        EXPECT_EQ(status, usual);
        continue;
      }
      std::string start = withoutSpaces(usual.substr(0, at) + name.substr(0, 3));
      EXPECT_EQ(withoutSpaces(status).compare(0, start.size(), start), 0);
      if (usual.back() == ')')
        EXPECT_EQ(status.back(), ')') << "the note about the sound";
    }
  }
  DestroyWindow(label);
}

// A name that fits is never cut, and the note is shortened only when the
// whole of it does not fit.
TEST(StatusWords, NamesAreCutOnlyWhenTheyMustBe) {
  SipReport noSound = withSound(call(CALL_CONNECTED), false, false);
  EXPECT_EQ(statusFor(noSound), "Em liga\xe7\xe3o com Fiscal (sem microfone e alto-falante)");
  EXPECT_EQ(statusFor(noSound, "Gest\xe3o Tribut\xe1ria"),
            "Em liga\xe7\xe3o com Gest\xe3o Tribut\xe1ria (sem \xe1udio)");
  EXPECT_EQ(statusFor(noSound, "Consultoria Jur\xed"
                               "dica Trabalhista e Previdenci\xe1ria"),
            "Em liga\xe7\xe3o com Consultoria Jur\xed"
            "dica Trabalhist... (sem \xe1udio)");
  EXPECT_EQ(statusFor(call(CALL_CONNECTED), "Consultoria Jur\xed"
                                            "dica Trabalhista"),
            "Em liga\xe7\xe3o com Consultoria Jur\xed"
            "dica Trabalhista");
  std::string longest(SELECTED_QUEUE_CAP - 1, 'Q');
  std::string calling = statusFor(call(CALL_CALLING), longest.c_str());
  EXPECT_EQ(calling.substr(0, 20), "Chamando QQQQQQQQQQQ");
  EXPECT_EQ(calling.substr(calling.size() - 4), "Q...") << "one set of dots after a cut name";
  // A word too long for a line is broken inside it where the line ends.
  std::string connected = statusFor(call(CALL_CONNECTED), longest.c_str());
  EXPECT_EQ(connected.substr(0, 16), "Em liga\xe7\xe3o com Q");
  EXPECT_NE(connected.find("Q\nQ"), std::string::npos) << connected;
}

// The digest challenges the SIP stack cannot answer: a first quality of
// protection other than "auth", an algorithm other than MD5 and SHA-256.
TEST(StatusWords, ChallengesTheStackCannotAnswerAreKnown) {
  struct Case {
    const char *challenge;
    bool unanswerable;
  } cases[] = {
      {"Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\", algorithm=MD5", true},
      {"Digest realm=\"r\", nonce=\"n\", qop=\"auth-int,auth\"", true},
      {"Digest realm=\"r\",nonce=\"n\",qop=auth-int", true},
      {"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256", true},
      {"Digest realm=\"r\", nonce=\"n\", qop=\"auth\", algorithm=MD5", false},
      {"Digest realm=\"r\", nonce=\"n\", qop=\"auth,auth-int\"", false},
      {"Digest realm=\"r\", nonce=\"n\", QOP=\"Auth\", algorithm=sha-256", false},
      {"Digest realm=\"r\", nonce=\"n\"", false},
      {"Digest realm=\"noqop=auth-int\", nonce=\"n\"", false},
      {nullptr, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(unanswerableChallenge(c.challenge), c.unanswerable)
        << (c.challenge ? c.challenge : "none");
}

namespace {

std::string commandOutput(const std::string &command) {
  std::string out;
  if (FILE *p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p))
      out += buffer;
    pclose(p);
  }
  return out;
}

// The toolkit's widget at a control's place in the first window.
Fl_Widget *widgetAt(int x, int y) {
  Fl_Window *window = Fl::first_window();
  for (int i = 0; window && i < window->children(); ++i) {
    Fl_Widget *child = window->child(i);
    if (child->x() == x && child->y() == y)
      return child;
  }
  return nullptr;
}

} // namespace

// The status line on a real window (under Xvfb): each status, with the
// longest names, is drawn whole: every line the toolkit draws fits the
// label's width in the font it draws with, the lines fit its height, and the
// screenshot's ink stays inside it.
TEST(StatusLineOnX, EveryStatusIsDrawnWholeWithTheLongestNames) {
  const char *display = getenv("DISPLAY");
  if (!display || !display[0])
    GTEST_SKIP() << "run under xvfb-run";
  winapi_test::setHeadless(false);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "StatusLineOnX";
  wc.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND main = CreateWindowExA(0, wc.lpszClassName, "Linha de estado",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                              390, 350, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(main, nullptr);
  HWND label = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 160, 200, 210, 32,
                               main, nullptr, nullptr, nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(app.labelFont), TRUE);
  ShowWindow(main, SW_SHOW);
  UpdateWindow(main);
  winapi_test::pump(main, nullptr);
  std::string window =
      commandOutput("xdotool search --sync --onlyvisible --name 'Linha de estado' | head -1");
  ASSERT_FALSE(window.empty());
  window.pop_back();
  Fl_Widget *drawn = widgetAt(160, 200);
  ASSERT_NE(drawn, nullptr);

  int shots = 0;
  for (const SipReport &report : everyReport()) {
    for (const std::string &name : LONG_NAMES) {
      std::string status = statusFor(report, name.c_str());
      SCOPED_TRACE(status);
      SetWindowTextA(label, status.c_str());
      winapi_test::pump(main, nullptr);
      ASSERT_TRUE(drawn->label());
      std::string lines = drawn->label();
      fl_font(drawn->labelfont(), drawn->labelsize());
      int count = 0;
      for (size_t from = 0, end = 0; end != std::string::npos; from = end + 1, ++count) {
        end = lines.find('\n', from);
        std::string line = lines.substr(from, end == std::string::npos ? end : end - from);
        EXPECT_LE(fl_width(line.c_str()), drawn->w()) << line;
      }
      EXPECT_LE(count * fl_height(), drawn->h()) << count << " lines of " << fl_height();
      // A screenshot of the statuses the longest names make longest.
      if (report.call != CALL_CONNECTED && report.call != CALL_CALLING && report.call != CALL_HELD)
        continue;
      std::string shot =
          std::string(SCREENSHOT_DIR) + "/status-line-" + std::to_string(shots++) + ".png";
      Fl::flush();
      commandOutput("import -window " + window + " '" + shot + "'");
      // The ink of the label and of the window's white around it: text runs
      // from the label's left edge and never reaches its right one, where a
      // line too long would be cut.
      std::string box = commandOutput("convert '" + shot +
                                      "' -crop 212x34+159+199 +repage -colorspace Gray "
                                      "-threshold 50% -format '%@' info:");
      int w = 0, h = 0, x = 0, y = 0;
      ASSERT_EQ(std::sscanf(box.c_str(), "%dx%d+%d+%d", &w, &h, &x, &y), 4) << shot;
      EXPECT_GT(w, 0) << shot;
      EXPECT_GE(x, 1) << shot;
      EXPECT_LE(x + w, 210) << shot;
      EXPECT_GE(y, 1) << shot;
    }
  }
  DestroyWindow(main);
}

// Whom the customer talks to after the queue handed the call on: the queue
// with that SIP user (the first of two with the same user), else the far
// side's display name in the window's code page, else its SIP user.
TEST(StatusWords, TheFarSideOfAHandedOnCallIsNamedByQueueNameOrItsOwnName) {
  const TextList names = {"ATENDIMENTO", "Fiscal",
                          "Cont\xe1"
                          "bil"};
  const TextList users = {"atend01", "fiscal02", "fiscal02"};
  auto farSide = [&](const char *user, const char *name) {
    SipReport r = call(CALL_CONNECTED);
    r.handedOn = true;
    textCopy(r.farUser, user);
    textCopy(r.farName, name);
    return farSideName(r, names, users);
  };
  EXPECT_EQ(farSide("fiscal02", "Someone Else"), "Fiscal");
  EXPECT_EQ(farSide("outrafila", "Jo\xc3\xa3o Gest\xc3\xa3o"), "Jo\xe3o Gest\xe3o");
  EXPECT_EQ(farSide("outrafila", ""), "outrafila");
  EXPECT_EQ(farSide("", ""), "");
  // The user is matched whole, not by its beginning.
  EXPECT_EQ(farSide("fiscal0", ""), "fiscal0");
  EXPECT_EQ(statusFor(call(CALL_CONNECTED), farSide("atend01", "").c_str()),
            "Em liga\xe7\xe3o com ATENDIMENTO");
}
