// The window layer without a display: message order, controls, focus,
// accelerators, message boxes, resources and text widths.
#include <gtest/gtest.h>

#include <cstring>
#include <shellapi.h>
#include <thread>
#include <winapi_test.h>
#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "gdi.h"
#include "msgbox.h"
#include "presenter.h"
#include "resource_images.h"
#include "test_window.h"

namespace {

using namespace test_window;

struct Rec {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
};
std::vector<Rec> seen; // messages the test window procedure received
HWND combo;
HFONT labelFont;
int creates = 0;
HWND comboSelected = nullptr;
int comboIndex = -2;
char comboText[64];

const UINT kWatched[] = {WM_NCCREATE, WM_CREATE, WM_SIZE,       WM_MOVE,    WM_PARENTNOTIFY,
                         WM_COMMAND,  WM_CLOSE,  WM_DESTROY,    WM_KEYDOWN, WM_KEYUP,
                         WM_CHAR,     WM_PAINT,  WM_SYSKEYDOWN, WM_APP};

bool watched(UINT m) {
  for (UINT w : kWatched)
    if (w == m)
      return true;
  return false;
}

void buildControls(HWND hwnd) {
  buildLoginControls(hwnd, labelFont);
  combo = CreateWindowExA(0, "ComboBox", "",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS, 10,
                          10, 140, 200, hwnd, nullptr, nullptr, nullptr);
  for (const char *q : {"ATENDIMENTO", "FINANCEIRO",
                        "T\xc9"
                        "CNICO"})
    SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)q);
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
}

LRESULT CALLBACK testProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (watched(msg))
    seen.push_back({hwnd, msg, wp, lp});
  switch (msg) {
  case WM_CREATE:
    ++creates;
    buildControls(hwnd);
    return 0;
  case WM_COMMAND:
    if (HIWORD(wp) == CBN_SELCHANGE && lp) {
      comboSelected = (HWND)lp;
      comboIndex = (int)SendMessageA((HWND)lp, CB_GETCURSEL, 0, 0);
      SendMessageA((HWND)lp, CB_GETLBTEXT, comboIndex, (LPARAM)comboText);
    }
    if (LOWORD(wp) == 40007) { // the program's next-field rule
      HWND f = GetFocus();
      SetFocus(f == edit1 ? edit2 : f == edit2 ? button : edit1);
    }
    if (LOWORD(wp) == 2) { // rebuild
      for (HWND c : {label, edit1, edit2, button, combo})
        DestroyWindow(c);
      SendMessageA(hwnd, WM_CREATE, 0, 1);
    }
    return 0;
  case WM_APP:
    return 77;
  }
  return commonProc(hwnd, msg, wp, lp);
}

class Layer : public ::testing::Test {
protected:
  HWND main = nullptr;
  HACCEL accel = nullptr;
  void SetUp() override {
    winapi_test::setHeadless(true);
    winapi_test::reset();
    seen.clear();
    creates = 0;
    labelFont = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    main = openMainWindow("Teste", "Teste 1.1", testProc);
    ASSERT_NE(main, nullptr);
    accel = loadTestAccelerators();
    seen.clear();
  }
  // Messages the test procedure got, as (message, low word of wParam) pairs.
  std::vector<std::pair<UINT, int>> trace() {
    std::vector<std::pair<UINT, int>> t;
    for (const Rec &r : seen)
      if (r.msg != WM_PAINT)
        t.push_back({r.msg, (int)LOWORD(r.wp)});
    return t;
  }
  std::string text(HWND w) {
    char buf[256];
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
  }
};

TEST(LayerCreate, CreationSendsItsMessagesBeforeReturningAndChildrenExistByThen) {
  winapi_test::setHeadless(true);
  winapi_test::reset();
  seen.clear();
  labelFont = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = testProc;
  wc.lpszClassName = "Ordem";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  EXPECT_EQ(RegisterClassExA(&wc), 0) << "a class name is taken once";
  HWND w = CreateWindowExA(0, "ordem", "x", WS_OVERLAPPED | WS_CAPTION, CW_USEDEFAULT,
                           CW_USEDEFAULT, 390, 350, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0].msg, (UINT)WM_NCCREATE);
  EXPECT_EQ(seen[1].msg, (UINT)WM_CREATE);
  // The children built in WM_CREATE notify the parent while it is inside WM_CREATE.
  EXPECT_EQ(seen[2].msg, (UINT)WM_PARENTNOTIFY);
  EXPECT_EQ(seen[2].lp, (LPARAM)label);
  EXPECT_EQ(seen[seen.size() - 2].msg, (UINT)WM_SIZE);
  EXPECT_EQ(seen.back().msg, (UINT)WM_MOVE);
  EXPECT_EQ(winapi_test::children(w), (std::vector<HWND>{label, edit1, edit2, button, combo}));

  // Outer size as asked, client area inside a classic fixed frame.
  auto g = winapi_test::geometry(w);
  EXPECT_EQ(g.w, 390);
  EXPECT_EQ(g.h, 350);
  RECT rc;
  GetClientRect(w, &rc);
  EXPECT_EQ(rc.right, 384);
  EXPECT_EQ(rc.bottom, 325);
  auto eg = winapi_test::geometry(edit2);
  EXPECT_EQ(eg.x, 160);
  EXPECT_EQ(eg.y, 160);
  EXPECT_EQ(eg.w, 200);
  EXPECT_EQ(eg.h, 26);
  EXPECT_EQ(winapi_test::exStyle(edit1), (DWORD)(WS_EX_PALETTEWINDOW | WS_EX_CLIENTEDGE));
  EXPECT_TRUE(winapi_test::style(edit2) & ES_PASSWORD);
  EXPECT_EQ(winapi_test::controlId(button), 1);
  EXPECT_EQ(winapi_test::className(combo), "ComboBox");
  EXPECT_EQ(winapi_test::font(label), labelFont);
  EXPECT_EQ(winapi_test::fontInfo(labelFont).pixelSize, 14);

  EXPECT_EQ(CreateWindowExA(0, "Nenhuma", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(
      CreateWindowExA(0, "Edit", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
      nullptr)
      << "a child needs a live parent";
}

TEST_F(Layer, SendIsSynchronousPostedComeFirstThenQuitThenInput) {
  EXPECT_EQ(SendMessageA(main, WM_APP, 5, 6), 77);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].wp, 5u);

  seen.clear();
  winapi_test::click(button); // input
  PostMessageA(main, WM_APP, 1, 0);
  PostMessageA(main, WM_APP, 2, 0);
  EXPECT_TRUE(seen.empty()) << "posting calls nothing";
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_APP);
  EXPECT_EQ(m.wParam, 1u);
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.wParam, 2u);
  PostQuitMessage(3);
  EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_LBUTTONDOWN);
  EXPECT_EQ(m.hwnd, button);
}

// Other threads post while the window thread runs its loop and destroys a
// window: every post to a live window arrives once, in each thread's order,
// and none reaches a destroyed one (ThreadSanitizer watches the queue).
TEST_F(Layer, PostsFromOtherThreadsArriveInOrderAndStopAtDestruction) {
  HWND target =
      CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1, main, nullptr, nullptr, nullptr);
  const int kPerThread = 300;
  std::vector<std::thread> posters;
  for (int t = 0; t < 2; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i)
        PostMessageA(main, WM_APP, (WPARAM)t, (LPARAM)i);
      for (int i = 0; i < kPerThread; ++i)
        PostMessageA(target, WM_APP + 1, 0, 0);
    });
  std::vector<int> next(2, 0);
  int received = 0;
  bool destroyed = false;
  MSG m;
  while (received < 2 * kPerThread) {
    ASSERT_TRUE(winapi_test::waitForPosted(10000));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_APP, WM_APP, PM_REMOVE));
    ASSERT_EQ(m.hwnd, main);
    EXPECT_EQ((int)m.lParam, next[m.wParam]++);
    if (++received == kPerThread / 2 && !destroyed) {
      DestroyWindow(target);
      destroyed = true;
    }
  }
  for (std::thread &t : posters)
    t.join();
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_APP, WM_APP, PM_NOREMOVE));
  // What was posted to the window before it went is gone with it.
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_APP + 1, WM_APP + 1, PM_NOREMOVE));
  EXPECT_FALSE(PostMessageA(target, WM_APP + 1, 0, 0));
}

// A long operation on the window thread lets windows repaint and nothing
// else: posted messages and input stay queued, in order, for the loop.
TEST_F(Layer, PeekingForPaintLeavesPostedMessagesAndInputQueued) {
  winapi_test::pump(main, accel);
  winapi_test::click(button);
  PostMessageA(main, WM_APP, 9, 0);
  InvalidateRect(main, nullptr, TRUE);
  InvalidateRect(label, nullptr, TRUE);
  MSG m;
  EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  EXPECT_EQ(m.hwnd, main);
  std::vector<HWND> painted;
  while (PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
    ASSERT_EQ(m.message, (UINT)WM_PAINT);
    painted.push_back(m.hwnd);
    DispatchMessageA(&m);
    ASSERT_LT(painted.size(), 10u) << "painting does not end the paint message";
  }
  EXPECT_EQ(painted, (std::vector<HWND>{main, label}));
  EXPECT_TRUE(winapi_test::staticColors(label).painted);
  EXPECT_TRUE(trace().empty()) << "no command ran";
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_APP);
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, (UINT)WM_LBUTTONDOWN);
  EXPECT_EQ(m.hwnd, button);
  EXPECT_FALSE(PeekMessageA(&m, main, 0, 0, PM_REMOVE)) << "only NULL filters by window";
}

TEST_F(Layer, WaitCursorIsSetAndGivenBack) {
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), wait = LoadCursorA(nullptr, IDC_WAIT);
  ASSERT_NE(wait, nullptr);
  EXPECT_NE(wait, arrow);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), wait);
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_EQ(SetCursor(wait), arrow);
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(SetCursor((HCURSOR)labelFont), wait) << "not a cursor: nothing changes";
  EXPECT_EQ(SetCursor(arrow), wait);
  EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(Layer, EndEllipsisStaticShowsWhatFitsOnOneLine) {
  HWND status = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_ENDELLIPSIS, 160, 200,
                                120, 18, main, nullptr, nullptr, nullptr);
  SendMessageA(status, WM_SETFONT, (WPARAM)labelFont, TRUE);
  SetWindowTextA(status, "Pronto");
  EXPECT_EQ(winapi_test::shownText(status), "Pronto");
  const std::string longText = "Falha no registro: 403 Forbidden by the registrar";
  SetWindowTextA(status, longText.c_str());
  std::string shown = winapi_test::shownText(status);
  ASSERT_GT(shown.size(), 3u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "...");
  EXPECT_EQ(longText.compare(0, shown.size() - 3, shown, 0, shown.size() - 3), 0);
  EXPECT_LE(winapi::textWidth(shown, labelFont), 120);
  EXPECT_GT(winapi::textWidth(longText.substr(0, shown.size() - 2) + "...", labelFont), 120);
  EXPECT_EQ(winapi_test::windowText(status), longText) << "the text itself is kept whole";
  EXPECT_EQ(winapi_test::shownText(label), winapi_test::windowText(label)) << "not cut";
}

// Without SS_ENDELLIPSIS a static breaks its text between words into the
// lines its height holds; a word wider than the control keeps a line of its
// own.
TEST_F(Layer, WordBreakingStaticShowsTheLinesItsHeightHolds) {
  HWND status = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 160, 200, 210, 32,
                                main, nullptr, nullptr, nullptr);
  SendMessageA(status, WM_SETFONT, (WPARAM)labelFont, TRUE);
  struct Case {
    std::string text, shown;
  } cases[] = {
      {"Pronto para ligar", "Pronto para ligar"},
      {"Em liga\xe7\xe3o com Gest\xe3oTribut\xe1ria",
       "Em liga\xe7\xe3o com\nGest\xe3oTribut\xe1ria"},
      {"Em liga\xe7\xe3o com Gest\xe3o\x96 Tribut\xe1ria Empresarial",
       "Em liga\xe7\xe3o com Gest\xe3o\x96\nTribut\xe1ria Empresarial"},
      {"um dois tr\xeas quatro cinco seis sete oito nove dez onze doze treze catorze quinze "
       "dezesseis dezessete",
       "um dois tr\xeas quatro cinco seis\nsete oito nove dez onze doze"},
      {"curto " + std::string(40, 'W') + " fim", "curto\n" + std::string(40, 'W')},
  };
  for (const Case &c : cases) {
    SetWindowTextA(status, c.text.c_str());
    std::string shown = winapi_test::shownText(status);
    EXPECT_EQ(shown, c.shown);
    size_t start = 0;
    for (size_t end; (end = shown.find('\n', start)) != std::string::npos; start = end + 1)
      EXPECT_LE(winapi::textWidth(shown.substr(start, end - start), labelFont), 210) << shown;
  }
}

TEST_F(Layer, ClickSendsBnClickedWithIdAndHandleAndTakesFocus) {
  winapi_test::click(button);
  winapi_test::pump(main, accel);
  ASSERT_EQ(trace(), (std::vector<std::pair<UINT, int>>{{WM_COMMAND, 1}}));
  EXPECT_EQ(HIWORD(seen[0].wp), BN_CLICKED);
  EXPECT_EQ(seen[0].lp, (LPARAM)button);
  EXPECT_EQ(GetFocus(), button);
}

TEST_F(Layer, AcceleratorCommandComesFirstThenTheKeyReachesTheFocusedWindow) {
  EXPECT_EQ(GetFocus(), main) << "showing the window gives it the focus";
  winapi_test::pressKey(VK_RETURN);
  winapi_test::pump(main, accel);
  using T = std::vector<std::pair<UINT, int>>;
  EXPECT_EQ(
      trace(),
      (T{{WM_COMMAND, 40009}, {WM_KEYDOWN, VK_RETURN}, {WM_CHAR, '\r'}, {WM_KEYUP, VK_RETURN}}));
  EXPECT_EQ(HIWORD(seen[0].wp), 1);
  EXPECT_EQ(seen[0].lp, 0);

  // With a modifier there is no command, only the key.
  seen.clear();
  winapi_test::pressKey(VK_TAB, true);
  winapi_test::pressKey(VK_RETURN, false, true);
  winapi_test::pressKey(VK_RETURN, false, false, true);
  winapi_test::pump(main, accel);
  for (const Rec &r : seen)
    EXPECT_NE(r.msg, (UINT)WM_COMMAND);
  EXPECT_EQ(seen.front().msg, (UINT)WM_KEYDOWN);
  EXPECT_EQ(seen.back().msg, (UINT)WM_SYSKEYDOWN) << "Alt+Enter is a system key";

  // A character entry matches the typed character.
  seen.clear();
  winapi_test::pressKey('A');
  winapi_test::pump(main, accel);
  EXPECT_EQ(trace()[1], (std::pair<UINT, int>{WM_COMMAND, 40010}));
}

TEST_F(Layer, FocusMovesOnlyWhenTheProgramMovesIt) {
  // Tab with a loop that translates no accelerators: the key arrives, nothing moves.
  winapi_test::pressKey(VK_TAB);
  winapi_test::pump(main, nullptr);
  EXPECT_EQ(GetFocus(), main);
  // With them, the program's own next-field rule runs: edit1, edit2, button, edit1.
  HWND expected[] = {edit1, edit2, button, edit1};
  for (HWND e : expected) {
    winapi_test::pressKey(VK_TAB);
    winapi_test::pump(main, accel);
    EXPECT_EQ(GetFocus(), e);
  }
  EXPECT_EQ(text(edit1), "") << "the tab character is not typed into the field";
  // Destroying the focused control hands the focus to its parent.
  DestroyWindow(edit1);
  EXPECT_EQ(GetFocus(), main);
  EXPECT_EQ(SetFocus(edit1), nullptr) << "a destroyed control cannot take the focus";
  EXPECT_EQ(GetFocus(), main);
}

TEST_F(Layer, TypedTextLandsInTheFieldAndGetWindowTextTruncates) {
  winapi_test::typeText(edit1, "Jo\xe3o 123456789012345678");
  winapi_test::pump(main, accel);
  EXPECT_EQ(GetFocus(), edit1);
  EXPECT_EQ(winapi_test::windowText(edit1), "Jo\xe3o 123456789012345678");
  char buf[20];
  EXPECT_EQ(GetWindowTextA(edit1, buf, 20), 19);
  EXPECT_STREQ(buf, "Jo\xe3o 12345678901234");
  EXPECT_EQ(GetWindowTextA(edit1, buf, 1), 0);
  EXPECT_STREQ(buf, "");
  // Edits report changes to the parent, never with a combo box's selection code.
  int changes = 0;
  for (const Rec &r : seen)
    if (r.msg == WM_COMMAND && HIWORD(r.wp) == EN_CHANGE && r.lp == (LPARAM)edit1)
      ++changes;
  EXPECT_EQ(changes, 23);

  // Backspace deletes; a field without ES_AUTOHSCROLL takes what fits its width.
  winapi_test::typeText(edit2, std::string(60, 'x') + "\b");
  winapi_test::pump(main, accel);
  size_t taken = winapi_test::windowText(edit2).size();
  EXPECT_GT(taken, 20u);
  EXPECT_LT(taken, 59u);
}

// EM_LIMITTEXT holds what typing leaves in the field, as Win32's does
// (Backspace makes room again); the program's own WM_SETTEXT is not held to
// it. 0 gives a single-line field the most it can take.
TEST_F(Layer, TextLimitRefusesTypingBeyondItButNotSetText) {
  EXPECT_EQ(SendMessageA(edit1, EM_GETLIMITTEXT, 0, 0), 0x7FFF);
  SendMessageA(edit1, EM_LIMITTEXT, 3, 0);
  EXPECT_EQ(SendMessageA(edit1, EM_GETLIMITTEXT, 0, 0), 3);
  winapi_test::typeText(edit1, "abcd");
  winapi_test::pump(main, accel);
  EXPECT_EQ(text(edit1), "abc");
  winapi_test::typeText(edit1, "\bXY");
  winapi_test::pump(main, accel);
  EXPECT_EQ(text(edit1), "abX");
  SetWindowTextA(edit1, "longer");
  EXPECT_EQ(text(edit1), "longer");
  winapi_test::typeText(edit1, "z");
  winapi_test::pump(main, accel);
  EXPECT_EQ(text(edit1), "longer");
  SendMessageA(edit1, EM_LIMITTEXT, 0, 0);
  EXPECT_EQ(SendMessageA(edit1, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
}

// The keypad's digits and '*' and the shifted digit keys type their
// characters, as on Windows (US layout).
TEST_F(Layer, KeypadAndShiftedDigitKeysTypeTheirCharacters) {
  SetFocus(edit1);
  for (int vk : {VK_NUMPAD0, VK_NUMPAD9, VK_MULTIPLY})
    winapi_test::pressKey(vk);
  winapi_test::pressKey('3', true);
  winapi_test::pressKey('8', true);
  winapi_test::pump(main, accel);
  EXPECT_EQ(text(edit1), "09*#*");
  // Typed text reaches the field through the same keys.
  winapi_test::typeText(edit1, "#*!");
  winapi_test::pump(main, accel);
  EXPECT_EQ(text(edit1), "09*#*#*!");
}

TEST_F(Layer, ComboChoiceSendsSelChangeAfterSelectingAndTypingSendsNone) {
  EXPECT_EQ(winapi_test::comboSelection(combo), 1);
  EXPECT_EQ(winapi_test::windowText(combo), "FINANCEIRO");
  winapi_test::chooseComboItem(combo, 2);
  winapi_test::pump(main, accel);
  EXPECT_EQ(comboSelected, combo);
  EXPECT_EQ(comboIndex, 2);
  EXPECT_STREQ(comboText, "T\xc9"
                          "CNICO");
  EXPECT_EQ(winapi_test::windowText(combo), "T\xc9"
                                            "CNICO");

  // The picked text is selected: a key replaces it, and it stays selected
  // only while the box has the focus.
  EXPECT_TRUE(winapi_test::comboTextSelected(combo));
  winapi_test::pressKey('X');
  winapi_test::pump(main, accel);
  EXPECT_EQ(winapi_test::windowText(combo), "x");
  EXPECT_FALSE(winapi_test::comboTextSelected(combo));
  winapi_test::chooseComboItem(combo, 0);
  winapi_test::pump(main, accel);
  EXPECT_TRUE(winapi_test::comboTextSelected(combo));
  SetFocus(edit1);
  EXPECT_FALSE(winapi_test::comboTextSelected(combo));

  comboSelected = nullptr;
  winapi_test::typeText(combo, "AT");
  winapi_test::pump(main, accel);
  EXPECT_EQ(comboSelected, nullptr);
  EXPECT_EQ(winapi_test::windowText(combo).rfind("ATENDIMENTOA", 0), 0u)
      << "after a click into the text, typing adds to it";
  EXPECT_EQ(winapi_test::comboItems(combo).size(), 3u);

  char buf[64];
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 3, (LPARAM)buf), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, (WPARAM)-1, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

// Typed text selects nothing while the list is closed; opening the list
// highlights and fills in the entry the text begins, and Enter reports a
// choice only when keys moved the highlight. PageUp/PageDown, Home and End
// move it a page (three entries show) or to either end.
TEST_F(Layer, TypedTextSelectsNothingAndListKeysMoveThroughTheOpenList) {
  auto keys = [&](std::initializer_list<int> vks) {
    comboSelected = nullptr;
    for (int vk : vks)
      winapi_test::pressKey(vk);
    winapi_test::pump(main, accel);
  };
  SetFocus(combo);
  keys({'T'});
  EXPECT_EQ(winapi_test::windowText(combo), "t");
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "nothing selected";
  EXPECT_EQ(comboSelected, nullptr);
  keys({VK_F4});
  EXPECT_EQ(winapi_test::comboSelection(combo), 2);
  EXPECT_EQ(winapi_test::windowText(combo), "T\xc9"
                                            "CNICO");
  keys({VK_RETURN});
  EXPECT_EQ(comboSelected, nullptr) << "no choice without a move";
  keys({VK_F4, VK_HOME, VK_RETURN});
  EXPECT_EQ(comboSelected, combo);
  EXPECT_EQ(comboIndex, 0);
  keys({VK_F4, VK_NEXT, VK_RETURN});
  EXPECT_EQ(comboIndex, 2);
  keys({VK_F4, VK_PRIOR, VK_END, VK_PRIOR, VK_RETURN});
  EXPECT_EQ(comboIndex, 0);
  keys({VK_F4, VK_END, VK_RETURN});
  EXPECT_EQ(comboIndex, 2);
  // Closed, the page keys move the selection itself.
  keys({VK_PRIOR});
  EXPECT_EQ(comboSelected, combo);
  EXPECT_EQ(comboIndex, 0);
  // Typing into the open list highlights what it begins; Enter keeps the text.
  keys({VK_F4, 'F', VK_RETURN});
  EXPECT_EQ(comboSelected, nullptr);
  EXPECT_EQ(winapi_test::windowText(combo), "f");
  EXPECT_EQ(winapi_test::comboSelection(combo), 1);
}

// The open list closes without a change when the focus leaves the box or a
// message box comes up; CB_SHOWDROPDOWN opens it as the keys do.
TEST_F(Layer, OpenComboListClosesWithoutChangeWhenTheKeyboardLeaves) {
  auto dropped = [] { return SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; };
  winapi_test::typeText(combo, "");
  winapi_test::pressKey(VK_F4);
  winapi_test::pressKey(VK_DOWN);
  winapi_test::pump(main, accel);
  EXPECT_TRUE(dropped());
  SetFocus(edit1);
  EXPECT_FALSE(dropped());
  EXPECT_EQ(winapi_test::comboSelection(combo), 1);

  SetFocus(combo);
  SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
  winapi_test::pressKey(VK_DOWN);
  winapi_test::pump(main, accel);
  EXPECT_TRUE(dropped());
  winapi_test::queueBoxAnswer(IDOK);
  MessageBoxA(main, "Sair ?", "", MB_OKCANCEL);
  EXPECT_FALSE(dropped());
  EXPECT_EQ(winapi_test::comboSelection(combo), 1);
  EXPECT_EQ(winapi_test::windowText(combo), "FINANCEIRO");
  EXPECT_EQ(comboSelected, nullptr) << "no CBN_SELCHANGE";

  // Alt+Up opens it and, open, closes it choosing the highlighted entry.
  winapi_test::pressKey(VK_UP, false, false, true);
  winapi_test::pressKey(VK_DOWN);
  winapi_test::pressKey(VK_UP, false, false, true);
  winapi_test::pump(main, accel);
  EXPECT_FALSE(dropped());
  EXPECT_EQ(comboIndex, 2);
  EXPECT_EQ(winapi_test::windowText(combo), "T\xc9"
                                            "CNICO");
}

TEST_F(Layer, RebuildThroughWmCreateLeavesNoStaleControl) {
  HWND oldButton = button, oldCombo = combo;
  winapi_test::typeText(edit1, "abc");
  PostMessageA(main, WM_COMMAND, 2, 0);
  winapi_test::pump(main, accel);
  EXPECT_EQ(creates, 2);
  auto kids = winapi_test::children(main);
  EXPECT_EQ(kids, (std::vector<HWND>{label, edit1, edit2, button, combo}));
  EXPECT_FALSE(IsWindow(oldButton));
  EXPECT_FALSE(winapi_test::isAlive(oldCombo));
  EXPECT_EQ(SendMessageA(oldCombo, CB_GETCOUNT, 0, 0), 0);
  char buf[8] = "zz";
  EXPECT_EQ(GetWindowTextA(oldButton, buf, 8), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(winapi_test::windowText(edit1), "") << "a fresh field";
  EXPECT_EQ(GetFocus(), main) << "the focused field went, the focus went to the window";
}

TEST_F(Layer, CloseBoxSendsWmCloseAndDefaultHandlingEndsTheLoop) {
  winapi_test::closeWindow(main);
  EXPECT_EQ(runLoop(main, accel).wParam, 0u);
  std::vector<UINT> order;
  for (const Rec &r : seen)
    if (r.msg == WM_CLOSE || r.msg == WM_DESTROY)
      order.push_back(r.msg);
  EXPECT_EQ(order, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindow(edit1));
}

TEST_F(Layer, IdleScriptDrivesTheProgramsLoop) {
  int step = 0;
  winapi_test::setIdleScript([&] {
    switch (step++) {
    case 0:
      winapi_test::typeText(edit1, "ok");
      break;
    case 1:
      winapi_test::closeWindow(main);
      break;
    }
  });
  runLoop(main, accel);
  EXPECT_EQ(step, 2);
}

TEST_F(Layer, EmptyQueueWithoutDisplayAbortsInsteadOfHanging) {
  MSG m;
  winapi_test::pump(main, accel);
  EXPECT_DEATH(GetMessageA(&m, nullptr, 0, 0), "nothing to return");
}

TEST_F(Layer, StaticLabelsPaintWithTheColoursTheParentAnswers) {
  EXPECT_FALSE(winapi_test::staticColors(label).painted);
  winapi_test::pump(main, accel);
  auto c = winapi_test::staticColors(label);
  EXPECT_TRUE(c.painted);
  EXPECT_EQ(c.text, RGB(0, 0, 0));
  EXPECT_EQ(c.back, RGB(249, 249, 249));
  EXPECT_EQ(c.brush, RGB(249, 249, 249));
}

TEST_F(Layer, MessageBoxesAnswerInTurnAndRecordPortugueseButtons) {
  winapi_test::queueBoxAnswer(IDNO);
  winapi_test::queueBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(main, "Ligar para fila de X?", "", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(main, "Sair ?", "Teste", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Falha", "Erro!", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Deseja Desligar ?", "", MB_YESNO), IDYES);
  const auto &boxes = winapi_test::shownBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].owner, main);
  EXPECT_EQ(boxes[0].text, "Ligar para fila de X?");
  EXPECT_EQ(boxes[0].buttons, (std::vector<std::string>{"&Sim", "&N\xe3o"}));
  EXPECT_EQ(boxes[1].buttons, (std::vector<std::string>{"OK", "Cancelar"}));
  EXPECT_EQ(boxes[2].caption, "Erro!");
  EXPECT_EQ(boxes[2].buttons, (std::vector<std::string>{"OK"}));
  EXPECT_TRUE(seen.empty()) << "no accelerator or other message reached the window";
  winapi_test::resetBoxes();
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
}

// An edit field asked for with a border has a sunken client edge instead;
// other controls and a borderless field keep what they asked for.
TEST_F(Layer, EditBorderBecomesASunkenClientEdge) {
  EXPECT_EQ(winapi_test::style(edit2), WS_CHILD | WS_VISIBLE | ES_PASSWORD);
  EXPECT_EQ(winapi_test::exStyle(edit2), WS_EX_PALETTEWINDOW | WS_EX_CLIENTEDGE);
  EXPECT_EQ(winapi_test::style(button), WS_CHILD | WS_VISIBLE | WS_BORDER);
  HWND plain = CreateWindowExA(0, "Edit", "", WS_CHILD, 0, 0, 50, 20, main, nullptr, nullptr, 0);
  EXPECT_EQ(winapi_test::style(plain), WS_CHILD);
  EXPECT_EQ(winapi_test::exStyle(plain), 0u);
}

// While a box is open its button has the keyboard: GetFocus answers no window
// of the program's, and the control that had the focus has it again after
// the box, also after a nested box. A click into a window the box leaves
// usable takes the keyboard from the box.
TEST_F(Layer, MessageBoxesTakeTheKeyboardAndGiveItBack) {
  SetFocus(edit2);
  std::vector<HWND> during;
  winapi_test::queueBoxAnswer(IDOK, [&] {
    during.push_back(GetFocus());
    winapi_test::queueBoxAnswer(IDOK, [&] { during.push_back(GetFocus()); });
    MessageBoxA(main, "Dentro", "", MB_OK);
    during.push_back(GetFocus());
  });
  EXPECT_EQ(MessageBoxA(main, "Fora", "", MB_OK), IDOK);
  ASSERT_EQ(during.size(), 3u);
  for (HWND h : during) {
    EXPECT_NE(h, nullptr);
    for (HWND w : {main, label, edit1, edit2, button, combo})
      EXPECT_NE(h, w) << "a window of the program's has the keyboard under a box";
  }
  EXPECT_EQ(GetFocus(), edit2);
  HWND clicked = nullptr;
  winapi_test::queueBoxAnswer(IDOK, [&] {
    winapi_test::click(edit1);
    winapi_test::pump(main, accel);
    clicked = GetFocus();
  });
  MessageBoxA(nullptr, "Sem dono", "", MB_OK);
  EXPECT_EQ(clicked, edit1);
  EXPECT_EQ(GetFocus(), edit1);
}

TEST_F(Layer, ShellExecuteRecordsTheAddressWithoutOpeningHeadless) {
  HINSTANCE r =
      ShellExecuteA(nullptr, nullptr, "http://127.0.0.1/?url=/x.php", nullptr, nullptr, SW_SHOW);
  EXPECT_GT((intptr_t)r, 32);
  EXPECT_EQ(winapi_test::shellExecuted(),
            (std::vector<std::string>{"http://127.0.0.1/?url=/x.php"}));
  EXPECT_LE((intptr_t)ShellExecuteA(nullptr, nullptr, nullptr, nullptr, nullptr, SW_SHOW), 32);
}

// What opens an address for the FLTK presenter: xdg-open, as PATH finds it.
// Missing or failing, the open fails; one that ends well opened it.
TEST_F(Layer, DesktopOpenFailsWithoutAWorkingXdgOpen) {
  char folder[] = "/tmp/desktop-open-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string dir = folder, tool = dir + "/xdg-open", opened = dir + "/opened";
  std::string shell = dir + "/sh";
  ASSERT_EQ(symlink("/bin/sh", shell.c_str()), 0);
  // Nothing else on PATH: whatever xdg-open this machine has stays out.
  std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", dir.c_str(), 1);
  auto install = [&](const std::string &script) {
    std::ofstream(tool) << "#!/bin/sh\n" << script << "\n";
    chmod(tool.c_str(), 0700);
  };
  EXPECT_FALSE(winapi::startDesktopOpen("http://127.0.0.1/?url=/x.php")) << "no xdg-open";
  install("exit 3"); // as it ends when it finds no browser
  EXPECT_FALSE(winapi::startDesktopOpen("http://127.0.0.1/?url=/x.php")) << "xdg-open failed";
  install("echo \"$1\" > " + opened);
  EXPECT_TRUE(winapi::startDesktopOpen("http://127.0.0.1/?url=/x.php"));
  std::ifstream in(opened);
  std::string line;
  EXPECT_TRUE(std::getline(in, line) && line == "http://127.0.0.1/?url=/x.php");
  setenv("PATH", savedPath.c_str(), 1);
  for (const std::string &f : {tool, opened, shell})
    unlink(f.c_str());
  rmdir(folder);
}

TEST_F(Layer, ResourcesComeFromTheResourceScript) {
  HBITMAP bmp = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TILE));
  ASSERT_NE(bmp, nullptr);
  const winapi::Image *img = winapi::brushImage(CreatePatternBrush(bmp));
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->w, 5);
  EXPECT_EQ(img->h, 3);
  // Top-left pixel (0,0) is (0, 0, 10); bottom-right (4,2) is (200, 200, 10).
  EXPECT_EQ(img->pixels[0], 0);
  EXPECT_EQ(img->pixels[2], 10);
  size_t br = (2 * 5 + 4) * 3;
  EXPECT_EQ(img->pixels[br], 200);
  EXPECT_EQ(img->pixels[br + 1], 200);
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(214));
  ASSERT_NE(icon, nullptr);
  const auto *icons = winapi::iconImages(icon);
  ASSERT_EQ(icons->size(), 2u);
  EXPECT_EQ((*icons)[1].w, 32);
  EXPECT_EQ((*icons)[1].pixels[2], 255); // blue
  EXPECT_EQ((*icons)[1].pixels[3], 255); // left half opaque
  EXPECT_EQ((*icons)[1].pixels[31 * 4 + 3], 0);
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(999)), nullptr);
  EXPECT_EQ(LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(999)), nullptr);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

TEST(LayerImages, DamagedFilesGiveNoImage) {
  winapi::Image img;
  std::vector<winapi::Image> icons;
  const unsigned char tiny[] = {'B', 'M', 0, 0};
  EXPECT_FALSE(winapi::decodeBmp(tiny, sizeof tiny, &img));
  // A header that promises more pixels than the file holds.
  std::vector<unsigned char> bmp(54, 0);
  bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 100, bmp[22] = 100;
  bmp[26] = 1, bmp[28] = 24;
  EXPECT_FALSE(winapi::decodeBmp(bmp.data(), bmp.size(), &img));
  // A top-down bitmap of the most negative height (its magnitude has no int).
  bmp[22] = 0, bmp[25] = 0x80, bmp[18] = 1;
  bmp.resize(58, 0);
  EXPECT_FALSE(winapi::decodeBmp(bmp.data(), bmp.size(), &img));
  const unsigned char ico[] = {0, 0, 1, 0, 5, 0};
  EXPECT_FALSE(winapi::decodeIco(ico, sizeof ico, &icons));
}

// The typographic characters of code page 1252 (80..9F) are measured as
// Arial draws them: an en dash as wide as an 'n', an em dash and an ellipsis
// a whole em, single quotes as narrow as an 'l'.
TEST(LayerText, TypographicCharactersHaveArialsWidths) {
  HFONT font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  EXPECT_EQ(winapi::textWidth("\x96", font), winapi::textWidth("n", font));
  EXPECT_EQ(winapi::textWidth("\x97", font), winapi::textWidth("\x85", font));
  EXPECT_GT(winapi::textWidth("\x97", font), winapi::textWidth("n", font));
  EXPECT_EQ(winapi::textWidth("\x91\x92", font), winapi::textWidth("ll", font));
}

} // namespace
