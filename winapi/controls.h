// Controls: the window procedures of the built-in classes and what they
// share.
#pragma once

#include <string>

#include "state.h"

namespace winapi {

// Private messages of the combo box class: an entry clicked in its open
// list, and a click outside the open list.
constexpr UINT kChooseItem = 0x7FF0;
constexpr UINT kDismissList = 0x7FF1;

LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK editProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK comboProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// Messages every control handles alike (font, text, erasing, painting);
// false for the others.
bool commonControlMessage(Window &w, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result);
// Sets the text, telling the parent (EN_CHANGE, CBN_EDITCHANGE) when asked.
void setText(Window &w, std::string text, bool notify);
// WM_COMMAND(MAKEWPARAM(id, code), control) to the parent.
void notifyParent(Window &w, int code);

// The text of an edit field, or of a combo box's edit part, after the
// character c is typed at its end (8: Backspace); false when the control
// refuses it. Without ES_AUTOHSCROLL a field takes only what fits its width.
bool typedText(const Window &w, std::string text, unsigned char c, std::string *out);
// Pixels an edit field has for text, by the same rule with and without a
// toolkit, so a field takes the same characters in both.
int editTextRoom(const Window &w);

// The text a static control shows: with SS_ENDELLIPSIS, on one line, cut
// with "..." to the control's width; otherwise broken between words into
// lines ('\n' between them), as many as its height holds.
std::string staticShownText(const Window &w);
// Sends WM_CTLCOLORSTATIC for a label and records the colours.
void paintStatic(Window &w);

// Entries the open list of a combo box shows at once: as tall as the control
// was made, less its closed part; one at least.
int comboListRows(const Window &w);
// A message box takes the keyboard: the open list closes without a change.
void closeComboList(Window &w);

} // namespace winapi
