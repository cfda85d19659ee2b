// Program entry: window class, main window and the message loop.
#include <clocale>

#include "app_state.h"
#include "main_window.h"
#include "service.h"
#include "sip.h"

namespace {

// Windows knows the language by name; elsewhere ask for the language's
// 8-bit locale (ISO-8859-1, the nearest to code page 1252 there is). The
// program goes on with the default one when the locale is not installed.
#ifdef _WIN32
const char *const PROGRAM_LOCALE = "Portuguese";
#else
const char *const PROGRAM_LOCALE = "pt_BR.ISO-8859-1";
#endif

const char *const WINDOW_CLASS = "Dravik Tirn";
const char *const WINDOW_TITLE = "Dravik Tirn " PROGRAM_VERSION;
const int WINDOW_WIDTH = 390;
const int WINDOW_HEIGHT = 350;

int startUpFailure() {
  MessageBoxA(nullptr, "Falha na Abertura do programa!", "Erro!", MB_OK);
  return 1;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  setlocale(LC_ALL, PROGRAM_LOCALE);
  if (!leaveInstallationFolder())
    MessageBoxA(nullptr,
                "Não foi possível usar a sua pasta do Dravik Tirn: a chave de instalação "
                "(key.txt) não será guardada.",
                "Atenção", MB_OK);

  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground =
      CreatePatternBrush(LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BACKGROUND)));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = WINDOW_CLASS;
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  if (!RegisterClassExA(&windowClass))
    return startUpFailure();

  app.appInstance = instance;

  // Creation sends WM_CREATE, which builds the login screen before this returns.
  HWND window = CreateWindowExA(0, WINDOW_CLASS, WINDOW_TITLE,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_WIDTH, WINDOW_HEIGHT, nullptr,
                                nullptr, instance, nullptr);
  if (!window)
    return startUpFailure();

  ShowWindow(window, showCommand);
  UpdateWindow(window);

  // Tab and Enter become commands on both screens, whichever control has the
  // focus; the key itself still goes on to that control.
  HACCEL accelerators = LoadAcceleratorsA(app.appInstance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateAcceleratorA(window, accelerators, &message);
    if (callKeyTaken(window, message))
      continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
#ifdef _WIN32
  holdSipCoreForGood(); // on Linux, main does it: tests run this function again
#endif
  return static_cast<int>(message.wParam);
}
