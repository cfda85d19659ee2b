// Message boxes: the Win32 functions of this area, for Linux.
// Part of <windows.h>; include that, not this file.
#pragma once

#include "types.h"

// Modal box with its own loop: it dispatches what arrives meanwhile, posted
// messages and input alike, without the program's accelerators. With an
// owner, the owner's top-level window is disabled while the box is open
// (input for it is dropped); without one, every window stays usable. The
// box is centred on the screen (the owner's, with one), not over the owner,
// as on Windows. The box is
// as wide as its text (wrapped beyond four fifths of the screen) or its
// buttons, which are centred below the text and labelled as in Portuguese
// (Brazil): "OK", "Cancelar", "&Sim", "&Não" (and "&Anular", "&Repetir",
// "&Ignorar"); the underlined letter, with or without Alt, presses the button. Closing the box
// answers IDCANCEL when there is a Cancel button, IDOK for MB_OK, and is disabled for MB_YESNO and
// MB_ABORTRETRYIGNORE. Escape does the same as the close box, Enter presses
// the first button. A quit message ends the box with answer 0 and stays
// queued for the program's loop. Differences: icons are not shown; fonts
// and margins are the toolkit's. Headless or with answers queued by
// winapi_test, it shows nothing and answers from the queue (IDOK/IDYES when
// empty) after its loop has dispatched what is pending. Without a display
// it writes "caption: text" to standard error and returns 0.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
