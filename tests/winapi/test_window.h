// What the layer's tests share: a main window like the program's, the login
// screen's controls, the program's message loop.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "test_ids.h"

namespace test_window {

inline HWND label, edit1, edit2, button;

// The login screen's controls as the program builds them, in `font`.
inline void buildLoginControls(HWND parent, HFONT font) {
  label =
      CreateWindowExA(0, "STATIC",
                      "C\xf3"
                      "digo:",
                      WS_CHILD | WS_VISIBLE, 160, 90, 45, 16, parent, nullptr, nullptr, nullptr);
  edit1 = CreateWindowExA(WS_EX_PALETTEWINDOW, "Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 160,
                          110, 200, 26, parent, nullptr, nullptr, nullptr);
  edit2 = CreateWindowExA(WS_EX_PALETTEWINDOW, "Edit", "",
                          WS_CHILD | WS_VISIBLE | WS_BORDER | ES_PASSWORD, 160, 160, 200, 26,
                          parent, nullptr, nullptr, nullptr);
  button = CreateWindowExA(0, "BUTTON", "Logar", WS_CHILD | WS_VISIBLE | WS_BORDER, 260, 200, 100,
                           20, parent, (HMENU)1, nullptr, nullptr);
  for (HWND c : {label, edit1, edit2, button})
    SendMessageA(c, WM_SETFONT, (WPARAM)font, TRUE);
}

// What the test windows do alike: labels black on (249, 249, 249), painting,
// quitting when destroyed.
inline LRESULT commonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CTLCOLORSTATIC: {
    static HBRUSH brush = CreateSolidBrush(RGB(249, 249, 249));
    SetTextColor((HDC)wp, RGB(0, 0, 0));
    SetBkColor((HDC)wp, RGB(249, 249, 249));
    return (LRESULT)brush;
  }
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

// Registers `cls` with the script's icon and the tiled bitmap (or the given
// background), then creates and shows a 390x350 main window as the program does.
inline HWND openMainWindow(const char *cls, const char *title, WNDPROC proc,
                           HBRUSH background = nullptr) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = wc.hIconSm = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(214));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground =
      background ? background
                 : CreatePatternBrush(LoadBitmapA(wc.hInstance, MAKEINTRESOURCEA(IDB_TILE)));
  wc.lpszClassName = cls;
  EXPECT_NE(RegisterClassExA(&wc), 0);
  HWND main = CreateWindowExA(
      0, cls, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
      CW_USEDEFAULT, 390, 350, nullptr, nullptr, wc.hInstance, nullptr);
  if (main) {
    ShowWindow(main, SW_SHOWDEFAULT);
    UpdateWindow(main);
  }
  return main;
}

inline HACCEL loadTestAccelerators() {
  return LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDA_KEYS));
}

// The program's message loop, while `more()` holds; returns the last message.
template <typename F> MSG runLoop(HWND main, HACCEL accel, F more) {
  MSG m{};
  while (more() && GetMessageA(&m, nullptr, 0, 0)) {
    TranslateAcceleratorA(main, accel, &m);
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return m;
}
inline MSG runLoop(HWND main, HACCEL accel) {
  return runLoop(main, accel, [] { return true; });
}

} // namespace test_window
