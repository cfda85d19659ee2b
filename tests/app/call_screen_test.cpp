// The call screen and the window commands, through the window layer without
// a display, against a loopback web service and (for calls) a sipp peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app_state.h"
#include "form_decode.h"
#include "main_window.h"
#include "program_driver.h"
#include "screen_table.h"
#include "service.h"
#include "sip.h"
#include "test_sound.h"
#include "winapi_test.h"

using namespace winapi_test;

namespace {
// While set, a thread other than the window's stops for a moment right after
// each of its posts, so that the window handles the news before that thread
// goes on.
std::atomic<bool> slowPosts{false};
std::thread::id windowThread;

// Every report of the SIP side reaches the window through here.
void postThenPause() {
  postSipChanged();
  if (slowPosts && std::this_thread::get_id() != windowThread)
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}
// Before any core exists, so before any other thread reads it.
const bool postsPausable = (notifyWindow = postThenPause, true);
} // namespace

namespace {

// A domain where nothing answers: the account never registers.
const char *const SILENT_DOMAIN = "127.0.0.29";

HWND combo() {
  std::vector<HWND> c = controlsOfClass("ComboBox");
  return c.size() == 1 ? c[0] : nullptr;
}

HWND statusLabel() {
  std::vector<HWND> labels = controlsOfClass("STATIC");
  return labels.size() == 1 ? labels[0] : nullptr;
}

// The queue's answer to every call: busy.
const std::vector<std::pair<std::string, std::string>> BUSY = {{"[status]", "486"},
                                                               {"[phrase]", "Busy Here"}};

const char *const NOT_REGISTERED_TEXT =
    "A conta SIP ainda n\xe3o est\xe1 registrada. Aguarde alguns instantes ou verifique a "
    "conex\xe3o.";

// Left edge with the combo box, below the help button, inside the white
// panel, overlapping no control; painted like the other labels.
void expectStatusLinePlaced() {
  HWND label = statusLabel();
  ASSERT_NE(label, nullptr);
  Rect r = geometry(label);
  Rect help = geometry(buttonLabelled("Ajuda \xe1reas Consultoria"));
  EXPECT_EQ(r.x, geometry(combo()).x);
  EXPECT_GE(r.y, help.y + help.h);
  EXPECT_LE(r.x + r.w, 372);
  EXPECT_LE(r.y + r.h, 234);
  for (HWND c : children(mainWindow())) {
    if (c == label || c == combo())
      continue; // the combo box's list is meant to open over the others
    Rect o = geometry(c);
    bool apart = o.x + o.w <= r.x || r.x + r.w <= o.x || o.y + o.h <= r.y || r.y + r.h <= o.y;
    EXPECT_TRUE(apart) << windowText(c);
  }
  EXPECT_EQ(font(label), app.labelFont);
}

// The status line shows its whole text, broken between words at most.
void expectStatusShownWhole() {
  std::string shown = shownText(statusLabel());
  EXPECT_LE(std::count(shown.begin(), shown.end(), '\n'), 1) << "two lines at most";
  std::replace(shown.begin(), shown.end(), '\n', ' ');
  EXPECT_EQ(shown, statusLine());
}

class CallScreen : public ProgramTest {};

} // namespace

TEST_F(CallScreen, AcceptedLoginReplacesTheLoginScreen) {
  grant(SILENT_DOMAIN,
        {{"Suporte", "suporte01"}, {"Fiscal", "fiscal01"}, {"ATENDIMENTO", "atendimento01"}});
  std::vector<HWND> loginControls;
  std::vector<HWND> callControls;
  int result = runProgram({
      [&] {
        loginControls = children(mainWindow());
        typeLogin("1001", "demo123");
      },
      [&] {
        EXPECT_TRUE(app.loggedIn);
        for (HWND c : loginControls)
          EXPECT_FALSE(isAlive(c));
        expectCallScreen(false);
        HWND list = combo();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(comboItems(list), (std::vector<std::string>{"Suporte", "Fiscal", "ATENDIMENTO"}));
        EXPECT_EQ(comboSelection(list), 2);
        // During a call (as the SIP side reports it) a rebuild adds "Desligar".
        app.callInProgress = true;
        rebuildCallScreen(mainWindow());
        expectCallScreen(true);
        app.callInProgress = false;
        rebuildCallScreen(mainWindow());
        expectCallScreen(false);
        callControls = children(mainWindow());
        // Tab and Enter never log in again: here they go round the controls
        // and press "Ligar" (Yes), which finds no registered account.
        for (int i = 0; i < 3; ++i)
          pressKey(VK_TAB);
        pressKey(VK_RETURN);
      },
      [&] {
        EXPECT_EQ(requestsTo(http, LOGIN_PATH).size(), 1u);
        EXPECT_TRUE(lastBoxSays(2, NOT_REGISTERED_TEXT, ATTENTION));
        expectCallScreen(false);
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  std::vector<RecordedRequest> logout = requestsTo(http, LOGOUT_PATH);
  ASSERT_EQ(logout.size(), 1u);
  EXPECT_EQ(parseForm(logout[0].body)["codigo"], "1001");
}

// Without a queue named ATENDIMENTO the first entry is shown selected, and it
// is the queue the prompt names and the call dials; a queue picked later
// survives the rebuild. With no queue at all "Ligar" says so and places
// nothing.
TEST_F(CallScreen, WithoutAtendimentoTheFirstEntryShownIsTheQueueCalled) {
  grant(SILENT_DOMAIN, {{"Fiscal", "fiscal01"}, {"Trabalhista", "trab01"}});
  runLoggedIn({
      [] {
        EXPECT_EQ(comboSelection(combo()), 0);
        EXPECT_STREQ(app.selectedQueue, "Fiscal");
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de Fiscal?"));
        EXPECT_EQ(std::string(app.calleeUser), "fiscal01");
        chooseComboItem(combo(), 1);
      },
      [] {
        rebuildCallScreen(mainWindow());
        EXPECT_EQ(comboSelection(combo()), 1);
        EXPECT_STREQ(app.selectedQueue, "Trabalhista");
        closeWindow(mainWindow());
      },
  });
}

// Two queues of one name are listed apart, and the second one picked calls
// its own user.
TEST_F(CallScreen, RepeatedQueueNamesEachCallTheirOwnQueue) {
  grant(SILENT_DOMAIN, {{"ATENDIMENTO", "primeira01"}, {"ATENDIMENTO", "segunda02"}});
  runLoggedIn({
      [] {
        EXPECT_EQ(comboItems(combo()), (std::vector<std::string>{"ATENDIMENTO", "ATENDIMENTO 2"}));
        EXPECT_EQ(comboSelection(combo()), 0);
        chooseComboItem(combo(), 1);
      },
      [] {
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de ATENDIMENTO 2?"));
        EXPECT_STREQ(app.calleeUser, "segunda02");
        rebuildCallScreen(mainWindow());
        EXPECT_EQ(comboSelection(combo()), 1) << "the pick survives the rebuild";
        closeWindow(mainWindow());
      },
  });
}

TEST_F(CallScreen, EmptyQueueListLeavesTheComboBoxEmptyAndCallsNothing) {
  grant(SILENT_DOMAIN, {});
  runLoggedIn({
      [] {
        ASSERT_NE(combo(), nullptr);
        EXPECT_TRUE(comboItems(combo()).empty());
        EXPECT_EQ(comboSelection(combo()), CB_ERR);
        click(buttonLabelled("Ligar"));
      },
      [] {
        ASSERT_TRUE(lastBoxSays(1, "Nenhuma fila dispon\xedvel para ligar.", ATTENTION, MB_OK));
        EXPECT_FALSE(app.callInProgress);
        EXPECT_STREQ(app.calleeUri, "");
        expectCallScreen(false);
        closeWindow(mainWindow());
      },
  });
}

TEST_F(CallScreen, PickedQueueStaysSelectedAndNoLeavesTheScreenAsItWas) {
  grant(SILENT_DOMAIN,
        {{"ATENDIMENTO", "atendimento01"}, {"Fiscal", "fiscal01"}, {"Trabalhista", "trab01"}});
  HWND firstCombo = nullptr;
  runLoggedIn({
      [&] {
        firstCombo = combo();
        EXPECT_EQ(comboSelection(firstCombo), 0);
        chooseComboItem(firstCombo, 1);
      },
      [&] {
        EXPECT_STREQ(app.selectedQueue, "Fiscal");
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_EQ(shownBoxes().size(), 1u);
        const BoxRecord &prompt = shownBoxes()[0];
        EXPECT_EQ(prompt.owner, mainWindow());
        EXPECT_EQ(prompt.text, "Ligar para fila de Fiscal?");
        EXPECT_EQ(prompt.caption, "");
        EXPECT_EQ(prompt.type, static_cast<UINT>(MB_YESNO));
        EXPECT_STREQ(app.calleeUser, "fiscal01"); // resolved before the answer
        EXPECT_EQ(combo(), firstCombo);           // not rebuilt
        click(buttonLabelled("Ligar"));           // Yes, while not registered
      },
      [&] {
        // Nothing placed; the user is told why; the screen was rebuilt.
        ASSERT_TRUE(lastBoxSays(3, NOT_REGISTERED_TEXT, ATTENTION, MB_OK));
        EXPECT_EQ(shownBoxes()[2].owner, mainWindow());
        EXPECT_FALSE(app.callInProgress);
        EXPECT_FALSE(isAlive(firstCombo));
        expectCallScreen(false);
        EXPECT_EQ(comboSelection(combo()), 1);
        closeWindow(mainWindow());
      },
  });
}

// Text typed into the list's edit part picks nothing: "Ligar" calls the
// queue picked from the list, which its prompt names, whatever the edit part
// holds (another queue's name or any text), and asks nothing else.
TEST_F(CallScreen, TypedTextPicksNothingAndLigarCallsThePickedQueue) {
  grant(SILENT_DOMAIN,
        {{"ATENDIMENTO", "atendimento01"}, {"Fiscal", "fiscal01"}, {"Trabalhista", "trab01"}});
  auto typeKeys = [](const std::string &text) {
    for (char c : text)
      pressKey(toupper(static_cast<unsigned char>(c)), isupper(static_cast<unsigned char>(c)));
  };
  HWND list = nullptr;
  runLoggedIn({
      [&] {
        list = combo();
        chooseComboItem(list, 1);
      },
      [&] {
        typeKeys("Trabalhista"); // replaces the picked name, which is selected
      },
      [&] {
        EXPECT_EQ(windowText(list), "Trabalhista");
        EXPECT_STREQ(app.selectedQueue, "Fiscal") << "typing picks nothing";
        EXPECT_EQ(comboSelection(list), CB_ERR);
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de Fiscal?"));
        EXPECT_STREQ(app.calleeUser, "fiscal01");
        SetFocus(list);
        typeKeys("trab");
      },
      [&] {
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(2, "Ligar para fila de Fiscal?"));
        EXPECT_STREQ(app.calleeUser, "fiscal01");
        EXPECT_STREQ(app.selectedQueue, "Fiscal");
        EXPECT_EQ(combo(), list) << "not rebuilt";
        closeWindow(mainWindow());
      },
  });
}

// The registrar held the account, then refuses it: the status line says so,
// and a call is still placed (no box besides its prompt), its failure told on
// the status line.
TEST_F(CallScreen, AfterARegistrationALaterRefusalStillLetsACallTellWhyItFailed) {
  ASSERT_TRUE(grantOnPeer("127.0.0.181", {{"ATENDIMENTO", "atendimento01"}}, ANY_SOUND,
                          "registrar_drops_account.xml"));
  runLoggedIn({
      [&] {
        // Accepted for two seconds: the flag is set only by an acceptance.
        ASSERT_TRUE(pumpUntilStatus("Falha no registro: acesso negado (403)"));
        EXPECT_TRUE(app.registered);
        click(buttonLabelled("Ligar")); // "Sim"
      },
      [&] {
        ASSERT_EQ(shownBoxes().size(), 1u) << shownBoxes().back().text;
        EXPECT_EQ(shownBoxes()[0].text, "Ligar para fila de ATENDIMENTO?");
        EXPECT_TRUE(peer.waitFor("INVITE sip:atendimento01@" + domain, 1, 10000));
        ASSERT_TRUE(pumpUntilStatus("Liga\xe7\xe3o n\xe3o completada (404)"));
        EXPECT_FALSE(app.callInProgress);
        expectCallScreen(false);
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(shownBoxes().back().text, "Sair ?");
}

TEST_F(CallScreen, HelpOpensTheServicesPageWithoutRebuilding) {
  grant(SILENT_DOMAIN, {{"ATENDIMENTO", "atendimento01"}});
  std::vector<HWND> before;
  runLoggedIn({
      [&] {
        before = children(mainWindow());
        click(buttonLabelled("Ajuda \xe1reas Consultoria"));
      },
      [&] {
        EXPECT_EQ(shellExecuted(), std::vector<std::string>{"http://" + http.hostPort() +
                                                            "/?url=/areas_assuntos.php"});
        EXPECT_EQ(children(mainWindow()), before);
        EXPECT_TRUE(shownBoxes().empty());
        // No browser to show the page: the user is told, and given the address.
        setShellFails(true);
        click(buttonLabelled("Ajuda \xe1reas Consultoria"));
      },
      [&] {
        ASSERT_TRUE(
            lastBoxSays(1,
                        "N\xe3o foi poss\xedvel abrir o navegador para mostrar a ajuda.\nAbra este "
                        "endere\xe7o em um navegador:\nhttp://" +
                            http.hostPort() + "/?url=/areas_assuntos.php",
                        ATTENTION));
        EXPECT_EQ(shownBoxes()[0].owner, mainWindow());
        EXPECT_EQ(children(mainWindow()), before);
        closeWindow(mainWindow());
      },
  });
}

// The session ends during a call (Windows: log-off or shut-down; Linux: a
// termination signal): nobody is asked, the queue gets its BYE, the
// registrar the unregistration, the service the logout notice, and the
// program ends normally.
TEST_F(CallScreen, SessionEndDuringACallHangsUpUnregistersAndLogsOut) {
  ASSERT_TRUE(grantOnPeer("127.0.0.30", {{"ATENDIMENTO", "atendimento01"}}));
  LRESULT mayEnd = FALSE;
  int result = runLoggedIn({
      [&] {
        ASSERT_TRUE(waitUntil([] { return app.registered.load(); }, 15000));
        click(buttonLabelled("Ligar")); // Yes
      },
      [&] {
        EXPECT_TRUE(peer.waitFor("ACK ", 1, 10000)); // answered and connected
        ASSERT_TRUE(app.callInProgress);
        mayEnd = SendMessageA(mainWindow(), WM_QUERYENDSESSION, 0, 0);
        PostMessageA(mainWindow(), WM_ENDSESSION, TRUE, 0);
      },
      [] {
        ADD_FAILURE() << "the window outlived the end of the session";
        DestroyWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(mayEnd, TRUE);
  EXPECT_EQ(shownBoxes().size(), 1u) << "only the call prompt: nobody is asked at the end";
  EXPECT_FALSE(app.callInProgress);
  EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000)) << "the queue received no BYE";
  auto unregistered = [&] {
    for (const std::string &r : peer.receivedWhole("REGISTER "))
      if (sipHeader(r, "Expires") == "0")
        return true;
    return false;
  };
  EXPECT_TRUE(waitUntil(unregistered, 10000))
      << "the registrar received no REGISTER with Expires: 0";
  std::vector<RecordedRequest> logout = requestsTo(http, LOGOUT_PATH);
  ASSERT_EQ(logout.size(), 1u);
  EXPECT_EQ(parseForm(logout[0].body)["codigo"], "1001");
}

// Names up to the buffers' size are used whole; longer ones (300 and 10,000
// characters here) are listed cut with "..." and still call their own queue.
TEST_F(CallScreen, LongestQueueNamesAreUsedWholeAndLongerOnesCutButCallable) {
  const std::string longName(199, 'Q');
  const std::string longUser(CALLEE_USER_CAP - 1, 'u');
  grant(SILENT_DOMAIN, {{"ATENDIMENTO", "atendimento01"},
                        {longName, longUser},
                        {std::string(300, 'R'), "trezentos"},
                        {std::string(10000, 'R'), "dezmil"}});
  const std::string cut10000 = std::string(194, 'R') + " 2...";
  runLoggedIn({
      [&] {
        EXPECT_EQ(comboItems(combo()),
                  (std::vector<std::string>{"ATENDIMENTO", longName, std::string(196, 'R') + "...",
                                            cut10000}));
        chooseComboItem(combo(), 1);
      },
      [&] {
        EXPECT_EQ(std::string(app.selectedQueue), longName);
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de " + longName + "?"));
        EXPECT_EQ(std::string(app.calleeUser), longUser);
        chooseComboItem(combo(), 3);
      },
      [&] {
        queueBoxAnswer(IDNO);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(2, "Ligar para fila de " + cut10000 + "?"));
        EXPECT_EQ(std::string(app.calleeUser), "dezmil");
        closeWindow(mainWindow());
      },
  });
}

// A whole call against a real registrar and queue: placed, refused a second
// time, closing refused while it runs, hung up, then a clean exit.
TEST_F(CallScreen, CallsHangsUpAndClosesAgainstARealPeer) {
  ASSERT_TRUE(
      grantOnPeer("127.0.0.21", {{"Fiscal", "fiscal01"}, {"ATENDIMENTO", "atendimento01"}}));
  int result = runLoggedIn({
      [&] {
        ASSERT_TRUE(waitUntil([] { return app.registered.load(); }, 15000));
        // The peer records the request after it has answered it.
        EXPECT_TRUE(peer.waitFor("REGISTER ", 1, 10000));
        click(buttonLabelled("Ligar")); // Yes
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de ATENDIMENTO?"));
        EXPECT_TRUE(app.callInProgress);
        expectCallScreen(true);
        EXPECT_EQ(comboSelection(combo()), 1);
        EXPECT_TRUE(peer.waitFor("INVITE sip:atendimento01@" + domain, 1, 10000));
        EXPECT_TRUE(peer.waitFor("ACK ", 1, 10000)); // answered and connected
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(3, "Liga\xe7\xe3o em Curso", ATTENTION));
        EXPECT_EQ(peer.received("INVITE ").size(), 1u); // no second call
        expectCallScreen(true);
        closeWindow(mainWindow());
      },
      [&] {
        ASSERT_TRUE(
            lastBoxSays(4, "Chamada em Curso, termine antes de fechar", "Dravik Tirn", MB_OK));
        EXPECT_NE(mainWindow(), nullptr);
        EXPECT_TRUE(requestsTo(http, LOGOUT_PATH).empty());
        click(buttonLabelled("Desligar")); // Yes
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(5, "Deseja Desligar ?", "", MB_YESNO));
        EXPECT_FALSE(app.callInProgress);
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        expectCallScreen(false);
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(shownBoxes().back().text, "Sair ?");
  std::vector<RecordedRequest> logout = requestsTo(http, LOGOUT_PATH);
  ASSERT_EQ(logout.size(), 1u);
  EXPECT_EQ(parseForm(logout[0].body)["codigo"], "1001");
}

// The registrar refuses the account: the status line says so with its
// answer, and "Ligar" / "Sim" explains instead of doing nothing.
TEST_F(CallScreen, RefusedRegistrationIsShownAndCallsExplainWhy) {
  ASSERT_TRUE(grantOnPeer("127.0.0.22", {{"ATENDIMENTO", "atendimento01"}}, ANY_SOUND,
                          "registrar_refuses.xml"));
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Falha no registro: acesso negado (403)"));
        expectStatusLinePlaced();
        expectStatusShownWhole();
        click(buttonLabelled("Ligar")); // Yes
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(2, NOT_REGISTERED_TEXT, ATTENTION));
        EXPECT_FALSE(app.callInProgress);
        expectCallScreen(false);
        EXPECT_EQ(statusLine(), "Falha no registro: acesso negado (403)");
        EXPECT_STREQ(app.calleeUri, "") << "no call was placed";
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(shownBoxes().back().text, "Sair ?");
}

// A registrar that never answers: the window goes on working (a queue is
// picked, the list stays open across the news) until the library gives up,
// which the status line then says.
TEST_F(CallScreen, UnansweredRegistrationFailsLateAndTheWindowStaysResponsive) {
  ASSERT_TRUE(grantOnPeer("127.0.0.23", {{"ATENDIMENTO", "atendimento01"}, {"Fiscal", "fiscal01"}},
                          ANY_SOUND, "registrar_silent.xml"));
  HWND list = nullptr;
  runLoggedIn({
      [&] {
        EXPECT_EQ(statusLine(), "Registrando conta...");
        list = combo();
        chooseComboItem(list, 1);
      },
      [&] {
        EXPECT_STREQ(app.selectedQueue, "Fiscal");
        SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
        // The library gives up after its transaction time-out (some 32 s).
        ASSERT_TRUE(pumpUntilStatus("Falha no registro: sem resposta", 60000));
        EXPECT_EQ(combo(), list) << "news of the registration rebuild nothing";
        EXPECT_TRUE(SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0)) << "the open list stayed open";
        EXPECT_FALSE(app.registered);
        pressKey(VK_ESCAPE);
      },
      [&] { closeWindow(mainWindow()); },
  });
}

// The queue is busy: the call ends by itself, "Desligar" goes with no user
// action, the status says why, and a new call and closing work at once.
TEST_F(CallScreen, BusyQueueEndsTheCallOnScreenByItself) {
  ASSERT_TRUE(grantOnPeer("127.0.0.24", {{"Fiscal", "fiscal01"}, {"ATENDIMENTO", "atendimento01"}},
                          NULL_SINK, "queue_refuses.xml", BUSY));
  int result = runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Pronto para ligar"));
        chooseComboItem(combo(), 0);
      },
      [&] { click(buttonLabelled("Ligar")); },
      [&] {
        // Only the queue answers 486.
        ASSERT_TRUE(pumpUntilStatus("Fila ocupada"));
        EXPECT_EQ(std::string(app.calleeUri), "sip:fiscal01@" + domain);
        EXPECT_FALSE(app.callInProgress);
        expectCallScreen(false);
        EXPECT_EQ(comboSelection(combo()), 0) << "the picked queue survives the rebuild";
        textCopy(app.calleeUri, "");
        click(buttonLabelled("Ligar"));
      },
      [&] {
        EXPECT_EQ(shownBoxes().back().text, "Ligar para fila de Fiscal?");
        EXPECT_EQ(std::string(app.calleeUri), "sip:fiscal01@" + domain) << "a new call was placed";
        ASSERT_TRUE(pumpUntil([] { return !app.callInProgress && !buttonLabelled("Desligar"); }));
        EXPECT_EQ(statusLine(), "Fila ocupada");
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(shownBoxes().back().text, "Sair ?") << "closing is not refused";
}

// With nowhere to keep the SIP core's files (neither the home folder nor the
// temporary folder can be written), the status line says why there is no
// phone.
TEST_F(CallScreen, WithNowhereToKeepItsFilesTheStatusLineSaysWhyThereIsNoPhone) {
  std::string file = dir.path() + "/not-a-folder";
  std::ofstream(file) << "x";
  setenv("HOME", file.c_str(), 1);
  const char *temp = getenv("TMPDIR");
  std::string savedTemp = temp ? temp : "";
  setenv("TMPDIR", file.c_str(), 1);
  grant(SILENT_DOMAIN, {{"ATENDIMENTO", "atendimento01"}});
  runLoggedIn({
      [] {
        EXPECT_TRUE(pumpUntilStatus("Telefone indispon\xedvel (sem pasta para os dados)"));
        closeWindow(mainWindow());
      },
  });
  if (temp)
    setenv("TMPDIR", savedTemp.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

// The queue is busy, call after call, and the SIP side is slow to go on
// after telling the window: whenever the window reads the call's flag, the
// screen must end up without "Desligar".
TEST_F(CallScreen, BusyQueueNeverLeavesAStaleHangUpButton) {
  ASSERT_TRUE(grantOnPeer("127.0.0.26", {{"ATENDIMENTO", "atendimento01"}}, NULL_SINK,
                          "queue_refuses.xml", BUSY));
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Pronto para ligar"));
        windowThread = std::this_thread::get_id();
        slowPosts = true;
        for (int round = 1; round <= 10; ++round) {
          size_t invites = peer.received("INVITE ").size();
          click(buttonLabelled("Ligar")); // "Sim"
          ASSERT_TRUE(pumpUntil([&] {
            return peer.received("INVITE ").size() > invites && !app.callInProgress &&
                   statusLine() == "Fila ocupada";
          })) << "round "
              << round;
          pump(mainWindow(), nullptr);
          ASSERT_EQ(buttonLabelled("Desligar"), nullptr) << "round " << round;
          ASSERT_NE(buttonLabelled("Ligar"), nullptr);
        }
        slowPosts = false;
        closeWindow(mainWindow());
      },
  });
  slowPosts = false;
}

// The queue answers and hangs up a second later. The first time the screen
// follows by itself; the second time the user's hang-up prompt is open when
// it happens, and answering "Sim" afterwards finds nothing left to end.
TEST_F(CallScreen, QueueHangingUpClearsTheCallEvenUnderAnOpenPrompt) {
  // A name with a dash (code page 1252's) that takes the status line's
  // second line.
  ASSERT_TRUE(grantOnPeer(
      "127.0.0.25", {{"Gest\xc3\xa3o \xe2\x80\x93 Tribut\xc3\xa1ria Empresarial", "atendimento01"}},
      NULL_SINK, "queue_hangs_up.xml"));
  const std::string inCall = "Em liga\xe7\xe3o com Gest\xe3o\x96 Tribut\xe1ria Empresarial";
  bool hungUpUnderPrompt = false;
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Pronto para ligar"));
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(pumpUntilStatus(inCall));
        expectStatusShownWhole();
        expectCallScreen(true);
        ASSERT_TRUE(pumpUntilStatus("Liga\xe7\xe3o encerrada"));
        expectCallScreen(false);
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(pumpUntilStatus(inCall));
        setBoxHook([&](const BoxRecord &box) {
          if (box.text != "Deseja Desligar ?")
            return;
          // The queue's BYE arrives while the prompt is open; its news stays
          // queued for the program's loop.
          hungUpUnderPrompt =
              waitUntil([] { return !app.callInProgress.load(); }, 10000) && waitForPosted(10000);
        });
        click(buttonLabelled("Desligar")); // "Sim" once the queue has hung up
      },
      [&] {
        setBoxHook(nullptr);
        EXPECT_TRUE(hungUpUnderPrompt);
        EXPECT_FALSE(app.callInProgress);
        expectCallScreen(false);
        EXPECT_EQ(statusLine(), "Liga\xe7\xe3o encerrada");
        EXPECT_EQ(app.currentCall, nullptr) << "nothing was left to hang up";
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(shownBoxes().back().text, "Sair ?");
}

// The queue holds the call and takes it back, twice (sendonly, then
// inactive): the status line says so with the queue's name, the call stays
// on screen with "Desligar", and hanging up ends it.
TEST_F(CallScreen, QueueHoldingTheCallIsShownUntilItTakesItBack) {
  ASSERT_TRUE(grantOnPeer("127.0.0.182", {{"Fiscal", "fiscal01"}}, NULL_SINK, "queue_holds.xml"));
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Pronto para ligar"));
        click(buttonLabelled("Ligar"));
      },
      [&] {
        for (int round = 1; round <= 2; ++round) {
          ASSERT_TRUE(pumpUntilStatus("Em espera com Fiscal")) << "round " << round;
          expectCallScreen(true);
          ASSERT_TRUE(pumpUntilStatus("Em liga\xe7\xe3o com Fiscal")) << "round " << round;
        }
        EXPECT_TRUE(app.callInProgress);
        click(buttonLabelled("Desligar"));
      },
      [&] {
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        EXPECT_EQ(statusLine(), "Liga\xe7\xe3o encerrada");
        closeWindow(mainWindow());
      },
  });
}

// No sound server and no sound card: once the account is ready the status
// line says so instead of "Pronto para ligar", and during a call (answered
// in G.722) after the queue's name. A device that appears afterwards is found
// when the next call is placed.
TEST_F(CallScreen, WithoutMicrophoneAndSpeakerTheStatusLineSaysSoBeforeAndDuringACall) {
  ASSERT_TRUE(sound.removeAll(dir.path()));
  ASSERT_TRUE(grantOnPeer("127.0.0.33", {{"ATENDIMENTO", "atendimento01"}}, ANY_SOUND,
                          "queue_answers_codec.xml",
                          {{"[answer]", "9"}, {"[rtpmap]", "a=rtpmap:9 G722/8000"}}));
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Sem microfone e alto-falante"));
        EXPECT_TRUE(app.registered);
        click(buttonLabelled("Ligar")); // "Sim": the call goes out all the same
      },
      [&] {
        // The whole note would take a third line.
        ASSERT_TRUE(pumpUntilStatus("Em liga\xe7\xe3o com ATENDIMENTO (sem \xe1udio)"));
        click(buttonLabelled("Desligar"));
      },
      [&] {
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        EXPECT_EQ(statusLine(), "Liga\xe7\xe3o encerrada");
        ASSERT_TRUE(sound.plugIn(dir.path()));
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Em liga\xe7\xe3o com ATENDIMENTO"));
        click(buttonLabelled("Desligar"));
      },
      [&] {
        EXPECT_TRUE(peer.waitFor("BYE ", 2, 10000));
        closeWindow(mainWindow());
      },
  });
}

// The queue answers in a format the program did not offer (GSM): the call
// ends by itself, with a BYE, and the status line says why.
TEST_F(CallScreen, QueueAnsweringWithoutCommonAudioIsHungUpAndTheStatusLineSaysWhy) {
  ASSERT_TRUE(grantOnPeer("127.0.0.34", {{"ATENDIMENTO", "atendimento01"}}, ANY_SOUND,
                          "queue_answers_codec.xml",
                          {{"[answer]", "3"}, {"[rtpmap]", "a=rtpmap:3 GSM/8000"}}));
  runLoggedIn({
      [&] {
        ASSERT_TRUE(pumpUntil([] { return app.registered.load(); }));
        click(buttonLabelled("Ligar"));
      },
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Liga\xe7\xe3o encerrada (sem \xe1udio em comum com a fila)"));
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        EXPECT_FALSE(app.callInProgress);
        expectCallScreen(false);
        closeWindow(mainWindow());
      },
  });
}

namespace {

// The control with the keyboard, by its text ("" for the list, "?" for
// none of the call screen's).
std::string focusedControl() {
  HWND focus = GetFocus();
  if (focus && focus == combo())
    return "";
  for (HWND b : controlsOfClass("BUTTON"))
    if (b == focus)
      return windowText(b);
  return "?";
}

} // namespace

// The whole call from the keyboard: the list has it after the login, Tab goes
// round the list, "Ligar", "Desligar" (during the call) and the help button;
// Enter picks an entry in the open list, calls from the list, and presses the
// focused button; Esc does nothing. A rebuild leaves the keyboard where it
// was.
TEST_F(CallScreen, KeyboardAloneGoesRoundTheControlsCallsAndHangsUp) {
  ASSERT_TRUE(
      grantOnPeer("127.0.0.186", {{"ATENDIMENTO", "atendimento01"}, {"Fiscal", "fiscal01"}}));
  const char *const HELP = "Ajuda \xe1reas Consultoria";
  int result = runLoggedIn({
      [&] {
        ASSERT_TRUE(waitUntil([] { return app.registered.load(); }, 15000));
        EXPECT_EQ(focusedControl(), "") << "the list has the keyboard after the login";
        pressKey(VK_TAB);
      },
      [&] {
        EXPECT_EQ(focusedControl(), "Ligar");
        pressKey(VK_TAB);
      },
      [&] {
        EXPECT_EQ(focusedControl(), HELP) << "no \"Desligar\" without a call";
        pressKey(VK_TAB);
      },
      [&] {
        EXPECT_EQ(focusedControl(), "");
        pressKey(VK_ESCAPE);
        pressKey(VK_F4); // the list opens on "ATENDIMENTO"
        pressKey(VK_DOWN);
        pressKey(VK_RETURN);
      },
      [&] {
        EXPECT_TRUE(shownBoxes().empty()) << "Enter in the open list only picks";
        EXPECT_STREQ(app.selectedQueue, "Fiscal");
        EXPECT_NE(mainWindow(), nullptr);
        EXPECT_EQ(focusedControl(), "");
        pressKey(VK_RETURN); // Yes
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(1, "Ligar para fila de Fiscal?", "", MB_YESNO));
        EXPECT_TRUE(peer.waitFor("INVITE sip:fiscal01@" + domain, 1, 10000));
        EXPECT_TRUE(peer.waitFor("ACK ", 1, 10000)); // answered and connected
        expectCallScreen(true);
        EXPECT_EQ(focusedControl(), "");
        pressKey(VK_TAB);
        pressKey(VK_TAB);
      },
      [&] {
        EXPECT_EQ(focusedControl(), "Desligar");
        pressKey(VK_TAB);
        pressKey(VK_TAB);
        pressKey(VK_TAB);
      },
      [&] {
        EXPECT_EQ(focusedControl(), "Ligar") << "round again: help, list, Ligar";
        pressKey(VK_TAB);
        pressKey(VK_RETURN); // Yes
      },
      [&] {
        ASSERT_TRUE(lastBoxSays(2, "Deseja Desligar ?", "", MB_YESNO));
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        expectCallScreen(false);
        EXPECT_EQ(focusedControl(), "") << "\"Desligar\" went: the list";
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(shownBoxes().back().text, "Sair ?");
}

// Digits typed in the answered call (main keyboard and keypad) go to the
// queue, here as INFO as its answer has no telephone-event, and the status
// line lists them; none reaches the list's edit part. While the queue has
// not answered, a digit cannot be sent and the status line says so. Once the
// call is over they are typing again.
TEST_F(CallScreen, DigitsTypedInTheCallGoToTheQueueAndAreShown) {
  ASSERT_TRUE(grantOnPeer("127.0.0.185", {{"ATENDIMENTO", "atendimento01"}}, ANY_SOUND,
                          "queue_takes_digits.xml",
                          {{"[event_format]", ""},
                           {"[event_rtpmap]", ""},
                           {"[audio_ip]", "127.0.0.185"},
                           {"[audio_port]", "16185"},
                           {"[answer_ms]", "1500"}}));
  // What the line says of the call, with a note when this machine has no
  // sound card.
  std::string inCall;
  int result = runLoggedIn({
      [&] {
        ASSERT_TRUE(waitUntil([] { return app.registered.load(); }, 15000));
        EXPECT_TRUE(peer.waitFor("REGISTER ", 1, 10000));
        click(buttonLabelled("Ligar")); // Yes
      },
      [&] {
        ASSERT_TRUE(pumpUntilStatus("Chamando ATENDIMENTO..."));
        SetFocus(combo());
        pressKey('4');
      },
      [&] {
        EXPECT_TRUE(pumpUntilStatus("Tecle ap\xf3s o atendimento - Chamando ATENDIMENTO...", 1000));
        EXPECT_EQ(windowText(combo()), "ATENDIMENTO");
        ASSERT_TRUE(pumpUntil([] { return statusLine().find("Em liga\xe7\xe3o com") == 0; }));
        inCall = statusLine();
        pressKey('1');
        pressKey('3', true); // #
        pressKey(VK_NUMPAD2);
        pressKey(VK_MULTIPLY);
      },
      [&] {
        EXPECT_TRUE(pumpUntilStatus("Teclas 1#2* - " + inCall));
        EXPECT_TRUE(peer.waitFor("INFO ", 4, 10000));
        std::vector<std::string> infos = peer.receivedWhole("INFO ");
        ASSERT_EQ(infos.size(), 4u);
        for (size_t i = 0; i < infos.size(); ++i)
          EXPECT_NE(infos[i].find(std::string("Signal=") + "1#2*"[i]), std::string::npos)
              << infos[i];
        EXPECT_EQ(windowText(combo()), "ATENDIMENTO");
        // A long number: the status line keeps its last digits, in sight.
        for (char digit : std::string("0123456789012345"))
          pressKey(digit);
      },
      [&] {
        // The queue's name is cut as needed to keep the whole line in sight.
        EXPECT_TRUE(pumpUntil([] {
          return statusLine().find("Teclas ...0123456789012345 - Em liga\xe7\xe3o com ") == 0;
        }));
        std::string shown = shownText(statusLabel());
        EXPECT_EQ(shown.substr(0, shown.find('\n')), "Teclas ...0123456789012345 -");
        EXPECT_TRUE(peer.waitFor("INFO ", 20, 15000));
        click(buttonLabelled("Desligar")); // Yes
      },
      [&] {
        EXPECT_TRUE(peer.waitFor("BYE ", 1, 10000));
        SetFocus(combo());
        pressKey('7');
      },
      [&] {
        EXPECT_EQ(peer.received("INFO ").size(), 20u);
        EXPECT_EQ(windowText(combo()), "7") << "no call: the digit is typed";
        closeWindow(mainWindow());
      },
  });
  EXPECT_EQ(result, 0);
}
