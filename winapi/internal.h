// State shared by the toolkit-neutral core and the FLTK presenter.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace winapi {

enum class Kind { Custom, Static, Edit, Button, Combo };

// Frame of a top-level window with caption and fixed border.
constexpr int kFrame = 3;
constexpr int kCaption = 19;
// Height a CBS_DROPDOWN combo box shows when its list is closed.
constexpr int kComboClosedHeight = 24;
// Width of its drop-down button at the right end, border included.
constexpr int kComboArrowWidth = 22;
// Where a single-line edit field's text cell starts: its border and a gap
// of one pixel, then the left margin (x); the border, the gap and the
// font's internal leading (y).
constexpr int kEditTextX = 6;
constexpr int kEditTextY = 3;

struct Image {
  int w = 0, h = 0, depth = 3; // top-down rows, RGB or RGBA
  std::vector<unsigned char> pixels;
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Custom;
  std::string cls;
  WNDPROC proc = nullptr;
  HBRUSH background = nullptr;
  HICON icon = nullptr, iconSm = nullptr;
  HWND parent = nullptr;
  std::vector<HWND> children;
  std::string text; // Latin-1
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, w = 0, h = 0; // child: parent client coords; top-level: outer, screen
  int id = 0;
  HFONT font = nullptr;
  bool visible = false, minimized = false, needsPaint = false, needsErase = false;
  bool destroyed = false, pressed = false;
  bool disabled = false;          // owner of an open message box
  std::vector<std::string> items; // combo box list
  int sel = -1;
  bool dropped = false;      // the list is open
  int hot = -1;              // entry highlighted in the open list
  bool textSelected = false; // the edit part's text is selected
  bool painted = false;
  COLORREF textColor = 0, backColor = 0, brushColor = 0; // last static paint
  void *view = nullptr;                                  // presenter's widget
};

struct FontData {
  int height = 0, weight = 0;
  bool italic = false;
  std::string face;
};

// Window lookup; nullptr for a destroyed or unknown handle.
Window *find(HWND h);
Window *topLevelOf(Window *w);
int clientWidth(const Window &w);
int clientHeight(const Window &w);
// Client area origin relative to the outer rectangle (0,0 for children).
int clientOffsetX(const Window &w);
int clientOffsetY(const Window &w);
const FontData *fontData(HFONT f);
int fontPixelSize(HFONT f);
int fontCellHeight(HFONT f); // the line height of text in the font
// Image of a bitmap or of a pattern brush; solid colour of a solid brush.
const Image *brushImage(HBRUSH b);
bool brushColor(HBRUSH b, COLORREF *color);
// Icon images, all sizes (RGBA).
const std::vector<Image> *iconImages(HICON i);
// Sends WM_CTLCOLORSTATIC for a label and records the colours.
void paintStatic(Window &w);

// What the toolkit reports, turned into queued input.
enum Mods { ModShift = 1, ModCtrl = 2, ModAlt = 4 };
void postKey(bool down, int vk, unsigned char ch, int mods);
// The character of Tab, Enter, Backspace and Escape; 0 for other keys.
unsigned char controlKeyChar(int vk);
void postMouse(HWND w, UINT msg, int x, int y);
void postComboChoice(HWND combo, int index); // a click on an entry of the open list
void postListDismissed(HWND combo);          // a click outside the open list
void postClose(HWND topLevel);
bool inputPending();
bool postedPending();

// The presenter shows windows; the core tells it what changed.
struct Presenter {
  enum Cursor { Arrow, Wait, Hidden };
  void (*create)(Window &w);
  void (*destroy)(Window &w);
  void (*show)(Window &w);
  void (*update)(Window &w); // text, font, items, selection, pressed state, colours
  void (*focus)(Window *w);  // nullptr: no control focused
  void (*wait)();            // block until the toolkit has something
  void (*flush)();           // handle what the toolkit has, without blocking
  void (*wake)();            // from any thread: end a wait() in progress
  void (*cursor)(Cursor c);  // over every top-level window
  // Shows a box until it is answered, calling loopTurn after each wait for
  // toolkit events; when loopTurn answers false the box ends with answer 0.
  int (*messageBox)(HWND owner, const std::string &text, const std::string &caption, UINT type,
                    const std::vector<std::string> &buttons, const std::vector<int> &answers,
                    int closeAnswer, bool (*loopTurn)());
};
const Presenter *fltkPresenter();
// Opens the X display for the presenter; false when none can be opened.
bool openDisplay();

// Text at the toolkit boundary.
std::string latin1ToUtf8(const std::string &latin1);
std::string utf8ToLatin1(const std::string &utf8); // code points above 0xFF become '?'

// Image files.
bool decodeBmp(const unsigned char *data, size_t size, Image *out);
bool decodeIco(const unsigned char *data, size_t size, std::vector<Image> *out);

// Pixels an edit field has for text, and the width of a text in a font,
// from Arial's advance widths; the same rule with and without FLTK, so a
// field takes the same characters in both.
int textWidth(const std::string &latin1, HFONT font);
int editTextRoom(const Window &w);
// The text a static control shows: with SS_ENDELLIPSIS, on one line, cut
// with "..." to the control's width by the same rule.
std::string staticShownText(const Window &w);

} // namespace winapi
