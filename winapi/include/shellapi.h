// Shell functions of the Win32 subset, for Linux.
#pragma once

#include <windows.h>

// Opens `file` with the desktop's default handler: `xdg-open file`, started
// in the background by a shell that ends at once (only the shell is waited
// for), so it blocks nothing and is not the program's child. Differences: only the default verb
// (NULL or "open"); parameters, directory and show command are ignored; the result is 42 (success,
// as Windows reports above 32) once xdg-open is started, 2 (file not found) without a file, 31 (no
// association) when it cannot be started; whether the browser then shows the page is not known.
// Headless, nothing is started and the address is only recorded (winapi_test::shellExecuted).
HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, INT showCmd);
