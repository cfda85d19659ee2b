// The subset of the Win32 interface that the program calls, for Linux.
//
// Types, constants and signatures are Win32's, so the same program source
// builds against the real <windows.h> with MinGW. Windows, controls and the
// message queue are kept by this layer; a presenter shows them with FLTK 1.3,
// or, for tests that ask for it (winapi_test::setHeadless(true)), they exist
// only as layer state. Without a display nothing can be shown: creating a
// top-level window fails and message boxes write their text to standard
// error. The functions are declared by area in win32/ (windows and classes,
// message queue, GDI, resources, message boxes; the shell in <shellapi.h>),
// each noting where it differs from Win32; the differences below hold for
// all of them.
//
// General differences:
// - One thread owns the windows; calls from other threads are not supported,
//   except PostMessageA.
// - Handles are opaque numbers, never reused; a destroyed window's handle is
//   simply invalid afterwards, and calls given it fail as on Windows.
// - Texts are 8-bit, in the "ANSI" code page 1252; they are converted to and
//   from UTF-8 (app/code_page.h) only where FLTK sees them.
// - A top-level window is 390x350 when asked for 390x350: that is its outer
//   size. Its client area is smaller by a classic fixed frame: 3 pixels on
//   each side and a caption of 19 pixels, so 384x325 for the main window. On
//   screen the X window has that client size; the frame is the X window
//   manager's, whatever it draws.
#pragma once

#include "win32/types.h"

#include "win32/gdi.h"
#include "win32/message.h"
#include "win32/msgbox.h"
#include "win32/resource.h"
#include "win32/window.h"

// Declared for the program to define; on Linux the program's own main()
// calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLine, int showCmd);
