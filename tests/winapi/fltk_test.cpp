// A real window under Xvfb: clicks and typing from xdotool arrive as Win32
// messages through the program's own loop; a screenshot is kept. A combo box
// is picked from with the keyboard and the mouse, and keeps showing its text
// while a message box is in front.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <winapi_test.h>
#include <windows.h>

#include "test_window.h"

namespace {

using namespace test_window;

std::vector<std::pair<int, HWND>> commands; // command id and focus at the time

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE:
    buildLoginControls(hwnd,
                       CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial"));
    return 0;
  case WM_COMMAND:
    if (LOWORD(wp) == 1 || LOWORD(wp) == 40007)
      commands.push_back({LOWORD(wp), GetFocus()});
    if (LOWORD(wp) == 40007)
      SetFocus(GetFocus() == edit1 ? edit2 : edit1);
    return 0;
  }
  return commonProc(hwnd, msg, wp, lp);
}

std::string run(const std::string &cmd) {
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p))
      out += buf;
    pclose(p);
  }
  return out;
}

int clickAt(const std::string &xWindow, int x, int y) {
  return std::system(("xdotool mousemove --window " + xWindow + " " + std::to_string(x) + " " +
                      std::to_string(y) + " click 1")
                         .c_str());
}

// Bounding box of the dark pixels inside a field of a screenshot (its 2-pixel
// sunken edge left out), relative to the field's top left.
struct Ink {
  int x = -1, y = -1, w = 0, h = 0;
};
Ink inkInside(const std::string &png, int x, int y, int w, int h) {
  std::string crop = std::to_string(w - 4) + "x" + std::to_string(h - 4) + "+" +
                     std::to_string(x + 2) + "+" + std::to_string(y + 2);
  std::string box = run("convert '" + png + "' -crop " + crop +
                        " +repage -colorspace Gray -threshold 50% -format '%@' info:");
  Ink ink;
  if (std::sscanf(box.c_str(), "%dx%d+%d+%d", &ink.w, &ink.h, &ink.x, &ink.y) == 4)
    ink.x += 2, ink.y += 2;
  return ink;
}

// Each test opens a real window through the layer with FLTK.
class LayerOnX : public ::testing::Test {
protected:
  HWND main = nullptr;
  HACCEL accel = nullptr;
  std::string wid; // the X window of main
  void SetUp() override { ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run"; }
  // Opens the main window, handles its first messages and finds it on X.
  void open(const char *cls, const char *title, WNDPROC proc, HBRUSH background = nullptr) {
    winapi_test::setHeadless(false);
    main = openMainWindow(cls, title, proc, background);
    ASSERT_NE(main, nullptr);
    accel = loadTestAccelerators();
    winapi_test::pump(main, accel);
    wid = run("xdotool search --sync --onlyvisible --name '" + std::string(title) + "' | head -1");
    ASSERT_FALSE(wid.empty());
    wid.pop_back();
  }
};

TEST_F(LayerOnX, ClicksAndTypingBecomeMessagesInARealWindow) {
  ASSERT_NO_FATAL_FAILURE(open("Teste", "Janela de teste", proc));
  EXPECT_NE(run("xdotool getwindowgeometry " + wid).find("384x325"), std::string::npos)
      << "the client area inside a 390x350 frame";
  // Click into the code field, type, Tab to the next field, type, click the button.
  std::string xdo = "xdotool mousemove --window " + wid + " 200 120 click 1 sleep 0.2 type " +
                    "--delay 30 'ab1' && xdotool key Tab && xdotool type --delay 30 'xy#' && " +
                    "xdotool key KP_1 KP_Multiply && " + "xdotool mousemove --window " + wid +
                    " 300 210 click 1";
  ASSERT_EQ(std::system(xdo.c_str()), 0);

  runLoop(main, accel, [] { return commands.size() < 2; });
  winapi_test::pump(main, accel);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0], (std::pair<int, HWND>{40007, edit1})) << "Tab: the program's command";
  EXPECT_EQ(commands[1], (std::pair<int, HWND>{1, button})) << "the click focused the button";
  EXPECT_EQ(winapi_test::windowText(edit1), "ab1");
  EXPECT_EQ(winapi_test::windowText(edit2), "xy#1*") << "the keypad types as the main keys do";
  EXPECT_TRUE(winapi_test::staticColors(label).painted);

  // Text from the fields' top left, as Win32 draws it (ink of "ab1" at about
  // 8,5 into the field); the password field shows '*', which sits as high.
  std::string fields = std::string(WINAPI_TEST_OUTPUT_DIR) + "/winapi_fields.png";
  run("import -window " + wid + " '" + fields + "'");
  Ink code = inkInside(fields, 160, 110, 200, 26), password = inkInside(fields, 160, 160, 200, 26);
  EXPECT_NEAR(code.x, 8, 1) << fields;
  EXPECT_NEAR(code.y, 5, 1) << fields;
  EXPECT_NEAR(password.y, code.y, 1) << fields;
  EXPECT_LE(password.h, 7) << "asterisks, not bullets nor letters";
  // The password's five characters are drawn as "*****" typed into a plain
  // field is drawn, pixel for pixel.
  SetWindowTextA(edit1, "*****");
  winapi_test::pump(main, accel);
  std::string stars = std::string(WINAPI_TEST_OUTPUT_DIR) + "/winapi_stars.png";
  run("import -window " + wid + " '" + stars + "'");
  std::string differing = run("compare -metric AE '" + stars + "[200x26+160+110]' '" + stars +
                              "[200x26+160+160]' null: 2>&1");
  EXPECT_EQ(differing, "0") << "the password field echoes other than '*': " << stars;

  std::string shot = std::string(WINAPI_TEST_OUTPUT_DIR) + "/winapi_screenshot.png";
  run("import -window root '" + shot + "'");
  FILE *f = fopen(shot.c_str(), "rb");
  EXPECT_NE(f, nullptr) << "screenshot " << shot;
  if (f)
    fclose(f);

  winapi_test::closeWindow(main);
  EXPECT_EQ(runLoop(main, nullptr).wParam, 0u);
  EXPECT_FALSE(IsWindow(main));
}

// Colour of one pixel of a screenshot, as "#RRGGBB".
std::string pixelAt(const std::string &png, int x, int y) {
  std::string out = run("convert '" + png + "' -crop 1x1+" + std::to_string(x) + "+" +
                        std::to_string(y) + " -depth 8 txt:- | grep -o '#[0-9A-F]\\{6\\}'");
  return out.substr(0, 7);
}

// The class's pattern brush fills the whole client area, repeated across and
// down, every row of the tile in its place. The tile (7x40, red and green by
// row, blue by column) is taller than the bands in which it is converted.
TEST_F(LayerOnX, PatternBrushTilesTheWindowRowForRow) {
  HBRUSH tall =
      CreatePatternBrush(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TALL_TILE)));
  ASSERT_NE(tall, nullptr);
  ASSERT_NO_FATAL_FAILURE(open("TesteFundo", "Janela de fundo", commonProc, tall));
  std::string shot = std::string(WINAPI_TEST_OUTPUT_DIR) + "/winapi_tiled.png";
  // Until the first expose has been drawn (the screen starts black).
  for (int i = 0; i < 100; ++i) {
    winapi_test::pump(main, accel);
    run("import -window " + wid + " '" + shot + "'");
    if (pixelAt(shot, 0, 0) != "#000000")
      break;
    usleep(50 * 1000);
  }
  for (int y : {0, 15, 16, 17, 31, 32, 39, 40, 56, 79, 300})
    for (int x : {0, 6, 7, 13, 380}) {
      char want[16];
      std::snprintf(want, sizeof want, "#%02X%02X%02X", y % 40 * 6, 250 - y % 40 * 6, x % 7 * 30);
      EXPECT_EQ(pixelAt(shot, x, y), want) << "at " << x << "," << y << " in " << shot;
    }
  DestroyWindow(main);
  winapi_test::pump(main, nullptr);
}

// A message posted by another thread ends the loop's wait for X events at
// once: nothing else happens on the display meanwhile.
TEST_F(LayerOnX, PostFromAnotherThreadWakesTheWaitingLoop) {
  ASSERT_NO_FATAL_FAILURE(open("TesteWake", "Janela acordada", proc));
  winapi_test::pump(main, accel);
  std::atomic<bool> done{false};
  std::thread watchdog([&done] {
    for (int i = 0; i < 300 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!done) {
      std::fprintf(stderr, "the posted message never woke the loop\n");
      std::_Exit(1);
    }
  });
  std::thread poster([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the loop is waiting by then
    PostMessageA(main, WM_APP, 42, 0);
  });
  MSG m;
  bool got = false;
  while (!got && GetMessageA(&m, nullptr, 0, 0)) {
    got = m.message == WM_APP && m.wParam == 42;
    DispatchMessageA(&m);
  }
  done = true;
  poster.join();
  watchdog.join();
  EXPECT_TRUE(got);
  DestroyWindow(main);
  winapi_test::pump(main, nullptr);
}

std::vector<std::pair<WPARAM, LPARAM>> endings; // WM_ENDSESSION's parameters
LRESULT CALLBACK endingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ENDSESSION) {
    endings.push_back({wp, lp});
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(7);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// A termination signal ends the session as Windows ends it: the window is
// posted WM_ENDSESSION, which the loop dispatches on the window thread;
// here the window quits, so the loop ends as the program ends it.
TEST_F(LayerOnX, TerminationSignalsEndTheSessionThroughTheLoop) {
  const struct {
    int signo;
    const char *title;
  } signals[] = {
      {SIGTERM, "Fim por SIGTERM"}, {SIGINT, "Fim por SIGINT"}, {SIGHUP, "Fim por SIGHUP"}};
  for (const auto &s : signals) {
    winapi_test::reset();
    endings.clear();
    ASSERT_NO_FATAL_FAILURE(open("TesteFim", s.title, endingProc));
    raise(s.signo); // the process would end here, were the signal not handled
    MSG last = runLoop(main, nullptr);
    EXPECT_EQ(last.message, static_cast<UINT>(WM_QUIT)) << s.title;
    EXPECT_EQ(last.wParam, 7u) << s.title;
    ASSERT_EQ(endings.size(), 1u) << s.title;
    EXPECT_EQ(endings[0].first, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(endings[0].second, static_cast<LPARAM>(ENDSESSION_CLOSEAPP));
  }
}

// ---- Combo box -------------------------------------------------------------

HWND combo;
struct Note {
  int code, sel; // CBN_ code and CB_GETCURSEL at the time
};
std::vector<Note> notes; // from the combo box
int submits = 0;         // the Enter accelerator's command
std::vector<int> closeAnswers;

LRESULT CALLBACK comboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: {
    HFONT font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    combo = CreateWindowExA(0, "ComboBox", "",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS, 160,
                            110, 210, 200, hwnd, nullptr, nullptr, nullptr);
    SendMessageA(combo, WM_SETFONT, (WPARAM)font, TRUE);
    for (const char *q : {"Alfa", "Beta", "Gama", "Delta"})
      SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)q);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    return 0;
  }
  case WM_COMMAND:
    if ((HWND)lp == combo)
      notes.push_back({HIWORD(wp), (int)SendMessageA(combo, CB_GETCURSEL, 0, 0)});
    if (LOWORD(wp) == 40009 && !lp)
      ++submits; // ignored, as the program's call screen does
    return 0;
  case WM_CLOSE: // asks, and stays
    closeAnswers.push_back(MessageBoxA(nullptr, "Sair ?", "Pergunta", MB_OKCANCEL));
    return 0;
  }
  return commonProc(hwnd, msg, wp, lp);
}

std::vector<int> selChanges() {
  std::vector<int> out;
  for (const Note &n : notes)
    if (n.code == CBN_SELCHANGE)
      out.push_back(n.sel);
  return out;
}

// Runs the program's loop until the condition holds; false after 10 s.
template <typename F> bool pumpUntil(HWND main, HACCEL accel, F done) {
  for (int i = 0; i < 500; ++i) {
    winapi_test::pump(main, accel);
    if (done())
      return true;
    usleep(20000);
  }
  return false;
}

std::set<std::string> visibleWindows() {
  std::set<std::string> out;
  std::istringstream in(run("xdotool search --onlyvisible --name '.*' 2>/dev/null"));
  for (std::string l; std::getline(in, l);)
    out.insert(l);
  return out;
}

// Windows shown now that were not in before (the open list, a message box).
std::vector<std::string> newWindows(const std::set<std::string> &before) {
  std::vector<std::string> out;
  for (const std::string &w : visibleWindows())
    if (!before.count(w))
      out.push_back(w);
  return out;
}

// Dark pixels in a rectangle of a screenshot.
int darkPixels(const std::string &png, const std::string &geometry) {
  return std::atoi(run("convert '" + png + "' -crop " + geometry +
                       " +repage -colorspace Gray -threshold 50% -negate -format "
                       "'%[fx:round(mean*w*h)]' info:")
                       .c_str());
}

// Pixels that differ between the same rectangle of two screenshots.
int differentPixels(const std::string &a, const std::string &b, const std::string &geometry) {
  std::string out = run("compare -metric AE '" + a + "[" + geometry + "]' '" + b + "[" + geometry +
                        "]' null: 2>&1");
  return out.empty() ? -1 : std::atoi(out.c_str());
}

TEST_F(LayerOnX, ComboPicksWithKeysAndMouseAndKeepsItsTextBehindAMessageBox) {
  ASSERT_NO_FATAL_FAILURE(
      open("TesteCombo", "Janela da lista", comboProc, CreateSolidBrush(RGB(200, 220, 240))));
  std::set<std::string> before = visibleWindows();
  auto dropped = [] { return SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; };
  auto key = [](const char *k) { return std::system(("xdotool key " + std::string(k)).c_str()); };

  // Closed box: Down steps the selection.
  ASSERT_EQ(clickAt(wid, 200, 122), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return GetFocus() == combo; }));
  ASSERT_EQ(key("Down"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return selChanges().size() == 1; }));
  EXPECT_EQ(selChanges(), std::vector<int>{1});
  EXPECT_EQ(winapi_test::windowText(combo), "Beta");

  // Alt+Down opens the list; Down moves in it; Enter, after the program's
  // accelerator has seen it, chooses and closes.
  ASSERT_EQ(key("alt+Down"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, dropped)) << "Alt+Down opens the list";
  EXPECT_EQ(newWindows(before).size(), 1u) << "the list is on the screen";
  ASSERT_EQ(key("Down"), 0);
  ASSERT_EQ(key("Return"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return selChanges().size() == 2; }));
  EXPECT_FALSE(dropped());
  EXPECT_EQ(selChanges(), (std::vector<int>{1, 2}));
  EXPECT_EQ(submits, 1);
  EXPECT_EQ(winapi_test::windowText(combo), "Gama");
  EXPECT_TRUE(pumpUntil(main, accel, [&] { return newWindows(before).empty(); }))
      << "Enter closes the list";

  // F4 opens; Escape closes without a change, so Up steps from "Gama".
  ASSERT_EQ(key("F4"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, dropped)) << "F4 opens the list";
  ASSERT_EQ(key("Down"), 0);
  ASSERT_EQ(key("Escape"), 0);
  ASSERT_EQ(key("Up"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return selChanges().size() == 3; }));
  EXPECT_EQ(selChanges(), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(winapi_test::windowText(combo), "Beta");

  // The mouse: the button opens the list, a click on the last entry picks it.
  ASSERT_EQ(clickAt(wid, 360, 122), 0);
  ASSERT_TRUE(pumpUntil(main, accel, dropped));
  std::vector<std::string> list;
  ASSERT_TRUE(pumpUntil(main, accel, [&] { return (list = newWindows(before)).size() == 1; }));
  std::string size = run("xdotool getwindowgeometry " + list[0] + " | sed -n 's/.*Geometry: //p'");
  int lw = 0, lh = 0;
  ASSERT_EQ(std::sscanf(size.c_str(), "%dx%d", &lw, &lh), 2) << size;
  EXPECT_EQ(lw, 210) << "as wide as the box";
  EXPECT_EQ(lh, 4 * 16 + 2) << "one row of 16 pixels (the font's line) per entry";
  ASSERT_EQ(clickAt(list[0], lw / 2, lh * 7 / 8), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return selChanges().size() == 4; }));
  EXPECT_EQ(selChanges(), (std::vector<int>{1, 2, 1, 3}));
  EXPECT_FALSE(dropped());
  EXPECT_EQ(winapi_test::windowText(combo), "Delta");
  EXPECT_TRUE(pumpUntil(main, accel, [&] { return newWindows(before).empty(); }));

  // Home and the page keys move through the open list, four entries a page.
  for (const char *move : {"Home", "Next"}) {
    size_t changes = selChanges().size();
    ASSERT_EQ(key("F4"), 0);
    ASSERT_TRUE(pumpUntil(main, accel, dropped));
    ASSERT_EQ(key(move), 0);
    ASSERT_EQ(key("Return"), 0);
    ASSERT_TRUE(pumpUntil(main, accel, [&] { return selChanges().size() == changes + 1; })) << move;
  }
  EXPECT_EQ(selChanges(), (std::vector<int>{1, 2, 1, 3, 0, 3}));
  EXPECT_EQ(winapi_test::windowText(combo), "Delta");
  EXPECT_TRUE(pumpUntil(main, accel, [&] { return newWindows(before).empty(); }));

  // What the box shows: the start of "Delta" (clear of the text cursor).
  const std::string dir = WINAPI_TEST_OUTPUT_DIR;
  const std::string text = "22x16+164+114", shown = dir + "/combo_shown.png",
                    behind = dir + "/combo_behind_box.png", after = dir + "/combo_after_box.png";
  run("import -window " + wid + " '" + shown + "'");
  EXPECT_GT(darkPixels(shown, text), 15) << shown;

  // Alt+F4 with the focus in the box asks through a message box; a helper
  // takes a picture of the main window while the box is in front, then
  // answers it.
  std::string helper = "(box=$(xdotool search --sync --onlyvisible --name '^Pergunta$' | head -1);"
                       " sleep 0.5; import -window " +
                       wid + " '" + behind + "'; xdotool windowfocus --sync $box;" +
                       " xdotool key Return) >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(helper.c_str()), 0);
  ASSERT_EQ(key("alt+F4"), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return closeAnswers.size() == 1; }));
  EXPECT_EQ(closeAnswers[0], IDOK);
  winapi_test::pump(main, accel);
  run("import -window " + wid + " '" + after + "'");
  // Behind the box the text stays drawn (unfocused, without its selection).
  EXPECT_GT(darkPixels(behind, text), 15) << behind;
  EXPECT_EQ(differentPixels(shown, after, text), 0) << after;
  EXPECT_EQ(winapi_test::windowText(combo), "Delta");

  DestroyWindow(main);
  runLoop(main, nullptr);
  EXPECT_FALSE(IsWindow(main));
}

// ---- Message boxes ---------------------------------------------------------

std::string mainWid; // X window of the main window, for the proc below
int boxesOpen = 0;
int questionAnswer = 0;
HWND focusInQuestion = nullptr;
struct Seen {
  UINT msg;
  int id;
  int boxesOpen;
  std::string edit1Text;
};
std::vector<Seen> boxSeen;
std::string boxLegacyName; // the unowned box's WM_NAME bytes, read while it is open

// What a window manager's close button sends: WM_DELETE_WINDOW.
void askToClose(const std::string &wid) {
  Display *d = XOpenDisplay(nullptr);
  if (!d)
    return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = std::stoul(wid);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  XCloseDisplay(d);
}

std::string legacyName(const std::string &wid) {
  std::string out;
  Display *d = XOpenDisplay(nullptr);
  if (!d)
    return out;
  Atom type;
  int format;
  unsigned long n, rest;
  unsigned char *data = nullptr;
  if (XGetWindowProperty(d, std::stoul(wid), XA_WM_NAME, 0, 256, False, AnyPropertyType, &type,
                         &format, &n, &rest, &data) == Success &&
      data) {
    out.assign((const char *)data, n);
    XFree(data);
  }
  XCloseDisplay(d);
  return out;
}

std::string fileText(const std::string &path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

LRESULT CALLBACK boxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE:
    buildLoginControls(hwnd,
                       CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial"));
    return 0;
  case WM_COMMAND:
    if (LOWORD(wp) != 1 && LOWORD(wp) != 40009)
      return 0;
    boxSeen.push_back({msg, LOWORD(wp), boxesOpen, winapi_test::windowText(edit1)});
    if (LOWORD(wp) == 1 && boxesOpen == 1) { // clicked while the box is open
      boxLegacyName = legacyName(fileText(std::string(WINAPI_TEST_OUTPUT_DIR) + "/box.wid"));
      askToClose(mainWid);
    } else if (LOWORD(wp) == 1 && boxSeen.size() == 1) {
      ++boxesOpen;
      MessageBoxA(nullptr, "Recusado", "Aten\xe7\xe3o", MB_OK);
      --boxesOpen;
    } else if (LOWORD(wp) == 1) {
      ++boxesOpen;
      PostMessageA(hwnd, WM_APP, 0, 0); // dispatched by the box's loop
      questionAnswer = MessageBoxA(hwnd,
                                   "Uma mensagem bem mais longa que a primeira, para uma caixa "
                                   "mais larga que a janela.",
                                   "Pergunta", MB_YESNO);
      --boxesOpen;
    }
    return 0;
  case WM_APP:
    focusInQuestion = GetFocus();
    return 0;
  case WM_CLOSE: // noted, and the window stays
    boxSeen.push_back({msg, 0, boxesOpen, winapi_test::windowText(edit1)});
    return 0;
  }
  return commonProc(hwnd, msg, wp, lp);
}

struct Geometry {
  int x = 0, y = 0, w = 0, h = 0;
};
Geometry geometryOf(const std::string &text) {
  Geometry g;
  std::sscanf(text.c_str(), "%*s %*s %*s %d,%d %*s %*s %*s %dx%d", &g.x, &g.y, &g.w, &g.h);
  return g;
}

// A box without owner leaves the window usable: a click and typing reach it
// while the box is open, handled by the box's loop without the program's
// accelerators, nothing is replayed after it, and a close asked meanwhile
// reaches the window. Boxes are as wide as their text and centred on the
// screen, with an owner too; their legacy X name is Latin-1.
TEST_F(LayerOnX, MessageBoxesLeaveUnownedWindowsUsableAndSitWhereWindowsPutsThem) {
  ASSERT_NO_FATAL_FAILURE(open("TesteCaixa", "Janela das caixas", boxProc));
  mainWid = wid;
  const std::string dir = WINAPI_TEST_OUTPUT_DIR;
  const std::string first = dir + "/box1.geometry", second = dir + "/box2.geometry";
  const std::string mainGeometry = run("xdotool getwindowgeometry " + wid);
  // While the first box is open: its place, then a click into the code
  // field, typing and Enter there, a click on the button; then the answer.
  std::string helper =
      "(box=$(xdotool search --sync --onlyvisible --name '^Aten' | head -1); echo $box > '" + dir +
      "/box.wid'; sleep 0.3; xdotool getwindowgeometry $box | tr '\\n' ' ' > '" + first +
      "'; xdotool mousemove --window " + wid + " 200 120 click 1; xdotool windowfocus --sync " +
      wid + "; xdotool type --delay 30 ab; xdotool key Return; xdotool mousemove --window " + wid +
      " 300 210 click 1; sleep 1; xdotool windowfocus --sync $box; xdotool key Return;" +
      " box=$(xdotool search --sync --onlyvisible --name '^Pergunta$' | head -1); sleep 0.3;" +
      " xdotool getwindowgeometry $box | tr '\\n' ' ' > '" + second +
      "'; xdotool windowfocus --sync $box; xdotool key alt+n; sleep 2;" +
      // a box Alt+N did not answer is answered with Enter, so the test fails, not hangs
      " xdotool search --onlyvisible --name '^Pergunta$' && xdotool key Return) >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(helper.c_str()), 0);
  ASSERT_EQ(clickAt(wid, 300, 210), 0);
  ASSERT_TRUE(pumpUntil(main, accel, [] { return boxSeen.size() >= 3; }));
  ASSERT_EQ(clickAt(wid, 300, 210), 0); // the owned box
  ASSERT_TRUE(pumpUntil(main, accel, [] { return boxSeen.size() >= 4 && boxesOpen == 0; }));
  winapi_test::pump(main, accel);

  ASSERT_EQ(boxSeen.size(), 4u);
  EXPECT_EQ(boxSeen[0].boxesOpen, 0);
  EXPECT_EQ(boxSeen[1].msg, (UINT)WM_COMMAND) << "the click while the box was open";
  EXPECT_EQ(boxSeen[1].boxesOpen, 1);
  EXPECT_EQ(boxSeen[1].edit1Text, "ab") << "typed into the window while the box was open";
  EXPECT_EQ(boxSeen[2].msg, (UINT)WM_CLOSE) << "the close reached the window";
  EXPECT_EQ(boxSeen[2].boxesOpen, 1);
  EXPECT_EQ(boxSeen[3].boxesOpen, 0) << "no Enter command, during the box or after it";
  EXPECT_EQ(boxLegacyName, "Aten\xe7\xe3o");
  EXPECT_EQ(questionAnswer, IDNO) << "Alt+N answers \"&N\xe3o\"";
  EXPECT_NE(focusInQuestion, nullptr);
  EXPECT_NE(focusInQuestion, button) << "the box's button has the keyboard";
  EXPECT_EQ(GetFocus(), button) << "the keyboard is back on the button clicked";

  Geometry screen{0, 0, 800, 600}, owner = geometryOf(mainGeometry);
  Geometry g1 = geometryOf(fileText(first)), g2 = geometryOf(fileText(second));
  EXPECT_NEAR(g1.x + g1.w / 2, screen.w / 2, 2) << fileText(first);
  EXPECT_NEAR(g1.y + g1.h / 2, screen.h / 2, 2) << fileText(first);
  EXPECT_LT(g1.w, 150) << "a short text makes a narrow box";
  // Owned boxes too sit in the middle of the screen, not over their owner
  // (whose centre is elsewhere: the window is at 100,100).
  ASSERT_GT(std::abs(owner.x + owner.w / 2 - screen.w / 2), 50) << mainGeometry;
  EXPECT_NEAR(g2.x + g2.w / 2, screen.w / 2, 2) << fileText(second) << mainGeometry;
  EXPECT_NEAR(g2.y + g2.h / 2, screen.h / 2, 2) << fileText(second) << mainGeometry;
  EXPECT_GT(g2.w, 400) << "a long text makes a wide box";

  DestroyWindow(main);
  runLoop(main, nullptr);
}

} // namespace
