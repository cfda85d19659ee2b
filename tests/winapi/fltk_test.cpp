// A real window under Xvfb: clicks and typing from xdotool arrive as Win32
// messages through the program's own loop; a screenshot is kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <winapi_test.h>
#include <windows.h>

#include "test_ids.h"

namespace {

HWND edit1, edit2, button, label;
std::vector<std::pair<int, HWND>> commands; // command id and focus at the time

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: {
    HFONT font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    label =
        CreateWindowExA(0, "STATIC",
                        "C\xf3"
                        "digo:",
                        WS_CHILD | WS_VISIBLE, 160, 90, 45, 16, hwnd, nullptr, nullptr, nullptr);
    edit1 = CreateWindowExA(WS_EX_PALETTEWINDOW, "Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 160,
                            110, 200, 26, hwnd, nullptr, nullptr, nullptr);
    edit2 = CreateWindowExA(WS_EX_PALETTEWINDOW, "Edit", "",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | ES_PASSWORD, 160, 160, 200, 26,
                            hwnd, nullptr, nullptr, nullptr);
    button = CreateWindowExA(0, "BUTTON", "Logar", WS_CHILD | WS_VISIBLE | WS_BORDER, 260, 200, 100,
                             20, hwnd, (HMENU)1, nullptr, nullptr);
    for (HWND c : {label, edit1, edit2, button})
      SendMessageA(c, WM_SETFONT, (WPARAM)font, TRUE);
    return 0;
  }
  case WM_COMMAND:
    if (LOWORD(wp) == 1 || LOWORD(wp) == 40007)
      commands.push_back({LOWORD(wp), GetFocus()});
    if (LOWORD(wp) == 40007)
      SetFocus(GetFocus() == edit1 ? edit2 : edit1);
    return 0;
  case WM_CTLCOLORSTATIC:
    SetTextColor((HDC)wp, RGB(0, 0, 0));
    SetBkColor((HDC)wp, RGB(249, 249, 249));
    return (LRESULT)CreateSolidBrush(RGB(249, 249, 249));
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
  }
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
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

TEST(LayerOnX, ClicksAndTypingBecomeMessagesInARealWindow) {
  ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
  winapi_test::setHeadless(false);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = wc.hIconSm = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(214));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = CreatePatternBrush(LoadBitmapA(wc.hInstance, MAKEINTRESOURCEA(IDB_TILE)));
  wc.lpszClassName = "Teste";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND main = CreateWindowExA(
      0, "Teste", "Janela de teste", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
      CW_USEDEFAULT, CW_USEDEFAULT, 390, 350, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(main, nullptr);
  ShowWindow(main, SW_SHOWDEFAULT);
  UpdateWindow(main);
  HACCEL accel = LoadAcceleratorsA(wc.hInstance, MAKEINTRESOURCEA(IDA_KEYS));
  winapi_test::pump(main, accel);

  std::string wid = run("xdotool search --sync --name 'Janela de teste' | head -1");
  ASSERT_FALSE(wid.empty());
  wid.pop_back();
  EXPECT_NE(run("xdotool getwindowgeometry " + wid).find("384x325"), std::string::npos)
      << "the client area inside a 390x350 frame";
  // Click into the code field, type, Tab to the next field, type, click the button.
  std::string xdo = "xdotool mousemove --window " + wid + " 200 120 click 1 sleep 0.2 type " +
                    "--delay 30 'ab1' && xdotool key Tab && xdotool type --delay 30 'xy' && " +
                    "xdotool mousemove --window " + wid + " 300 210 click 1";
  ASSERT_EQ(std::system(xdo.c_str()), 0);

  MSG m;
  while (commands.size() < 2 && GetMessageA(&m, nullptr, 0, 0)) {
    TranslateAcceleratorA(main, accel, &m);
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  winapi_test::pump(main, accel);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0], (std::pair<int, HWND>{40007, edit1})) << "Tab: the program's command";
  EXPECT_EQ(commands[1], (std::pair<int, HWND>{1, button})) << "the click focused the button";
  EXPECT_EQ(winapi_test::windowText(edit1), "ab1");
  EXPECT_EQ(winapi_test::windowText(edit2), "xy");
  EXPECT_TRUE(winapi_test::staticColors(label).painted);

  std::string shot = std::string(WINAPI_TEST_OUTPUT_DIR) + "/winapi_screenshot.png";
  run("import -window root '" + shot + "'");
  FILE *f = fopen(shot.c_str(), "rb");
  EXPECT_NE(f, nullptr) << "screenshot " << shot;
  if (f)
    fclose(f);

  winapi_test::closeWindow(main);
  while (GetMessageA(&m, nullptr, 0, 0))
    DispatchMessageA(&m);
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_FALSE(IsWindow(main));
}

} // namespace
