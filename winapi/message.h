// Message queue and dispatch: what the layer's other areas and the
// presenters use of the queue.
#pragma once

#include "state.h"

namespace winapi {

// Takes (or, without remove, only looks at) the next message in Win32's
// order whose number is in the filter (0, 0: any); false when there is none.
bool takeMessage(MSG *out, UINT filterMin = 0, UINT filterMax = 0, bool remove = true);
// Drops what is queued for a window that goes.
void purgeQueued(HWND h);
bool postedPending();
bool inputPending();
// One turn of a message box's own loop; false once a quit message is pending.
bool runBoxLoop();

// The session ends as Windows ends it, for every live top-level window.
// A termination signal (the first; later ones change nothing): each is
// posted WM_ENDSESSION (TRUE, ENDSESSION_CLOSEAPP), which the program's loop
// or an open message box's dispatches; WM_QUERYENDSESSION is not asked, a
// signal cannot be refused. Once the last of them has been dispatched the
// process ends, with 128 + the signal's number, unless the program posted
// its quit message meanwhile (then its loop ends it). With no window yet,
// the signal does what it does by default.
void endSessionBySignal(int signo);
// The display is gone: nothing is shown any more (window calls change the
// layer's state alone) and each window is sent WM_ENDSESSION (TRUE,
// ENDSESSION_CRITICAL) at once. The caller ends the process.
void endSessionWithoutDisplay();

// What the toolkit (or a test) reports, turned into queued input.
enum Mods { ModShift = 1, ModCtrl = 2, ModAlt = 4 };
void postKey(bool down, int vk, unsigned char ch, int mods);
void postMouse(HWND w, UINT msg, int x, int y);
void postComboChoice(HWND combo, int index); // a click on an entry of the open list
void postListDismissed(HWND combo);          // a click outside the open list
void postClose(HWND topLevel);
// The character of Tab, Enter, Backspace and Escape; 0 for other keys.
unsigned char controlKeyChar(int vk);
// The 8-bit text (code page 1252) of a key, for the character message that
// follows it.
unsigned char keyChar(int vk, int mods);
// Virtual key (and Shift) that types a character of code page 1252.
int charKey(unsigned char c, int *mods);

} // namespace winapi
