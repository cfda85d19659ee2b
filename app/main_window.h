// The main window: its procedure, its two screens and the commands they
// carry out.
#pragma once

#include <windows.h>

#include "app_state.h"
#include "resource.h"
#include "sip.h"

// Command ids, carried in the low word of WM_COMMAND's wParam.
enum {
  CMD_LOGIN = 1,
  CMD_CALL = 2,
  CMD_HANGUP = 3,
  CMD_HELP = 4,
  CMD_NEXT_FIELD = IDC_NEXT_FIELD, // Tab, from the accelerator table
  CMD_SUBMIT = IDC_SUBMIT,         // Enter, from the accelerator table
};

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Message handlers of WndProc.
LRESULT onCreate(HWND window);
LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onClose(HWND window);
LRESULT onDestroy();
LRESULT onPaint(HWND window);
LRESULT onCtlColorStatic(HDC dc);
LRESULT onSipChanged(HWND window);
LRESULT onEndSession(HWND window, WPARAM ending);

// The end of the program, once decided: hangs up, unregisters and sends the
// logout notice (within logoutLimitMs), each step bounded.
void endProgram(long logoutLimitMs);

// Creates a child control of the main window, stores its handle in field and
// gives it the label font.
void createControl(HWND &field, HWND window, DWORD exStyle, const char *className, const char *text,
                   DWORD style, int x, int y, int width, int height, int id);

// Login screen.
void buildLoginScreen(HWND window);
void loginCommand(HWND window);
void nextFieldCommand();

// Call screen and window commands.
void buildCallScreen(HWND window);
void selectionChange(HWND control);
void callCommand(HWND window);
void hangUpCommand(HWND window);
void helpCommand(HWND window);
void rebuildCallScreen(HWND window);
// Tab and Enter on the call screen: the keyboard goes round the list,
// "Ligar", "Desligar" (when shown) and the help button; Enter presses the
// focused button ("Ligar" from the list).
void nextCallControl();
void pressFocusedButton(HWND window);
// A digit typed during a call (the message loop's WM_CHAR): sent to the
// queue instead of reaching the control with the focus. False for any
// other message, which goes on as usual.
bool callKeyTaken(HWND window, const MSG &message);
// The status line's text for what the SIP side reported, with the queue the
// call was placed to; composeStatus for what it last reported.
// `prefix` goes before the words and is laid out with them (the digits sent
// in the call, say).
void statusText(const SipReport &report, const char *queue, char (&text)[STATUS_CAP],
                const char *prefix = "");
void composeStatus(char (&text)[STATUS_CAP]);
// The name the status line gives the far side of a call the queue handed on,
// given the queue lists shown.
std::string farSideName(const SipReport &report, const TextList &queueNames,
                        const TextList &queueUsers);
void updateStatusLine();
