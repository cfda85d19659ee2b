// GDI objects and painting.
// Win32: CreateFontA, CreatePatternBrush, CreateSolidBrush, SetTextColor,
// SetBkColor, DeleteObject, GetDC, ReleaseDC, SelectObject,
// GetTextExtentPoint32A, BeginPaint, EndPaint, InvalidateRect,
// UpdateWindow; and Arial's metrics, by which text is measured.
#include "gdi.h"

#include <cmath>

namespace winapi {
namespace {

// Advance widths in 1/1000 em, characters 32..126.
const short kWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584};

int charWidth1000(unsigned char c) {
  if (c >= 32 && c <= 126)
    return kWidths[c - 32];
  // Code page 1252's typographic characters (80..9F), as Arial draws them.
  static const short upper[32] = {556, 556,  222, 556,  333, 1000, 556, 556, 333, 1000, 667,
                                  333, 1000, 556, 611,  556, 556,  222, 222, 333, 333,  350,
                                  556, 1000, 333, 1000, 500, 333,  944, 556, 500, 667};
  if (c >= 0x80 && c < 0xA0)
    return upper[c - 0x80];
  if (c < 0xC0)
    return c == 0xA0 ? 278 : 556;
  // Accented letters take the width of their base letter.
  static const char base[] = "AAAAAA?CEEEEIIIIDNOOOOO?OUUUUY??aaaaaa?ceeeeiiiidnooooo?ouuuuy?y";
  char b = base[c - 0xC0];
  if (b != '?')
    return charWidth1000((unsigned char)b);
  switch (c) {
  case 0xC6:
    return 1000;
  case 0xD7:
  case 0xF7:
    return 584;
  case 0xDF:
    return 611;
  case 0xE6:
    return 889;
  default:
    return 667;
  }
}

double emPixels(HFONT f) {
  const FontData *d = fontData(f);
  if (!d)
    return 13.0; // the system font when none was set
  if (d->height > 0)
    return d->height * 2048.0 / 2288.0;
  if (d->height < 0)
    return -d->height;
  return 13.0;
}

} // namespace

const FontData *fontData(HFONT f) {
  Gdi *g = gdi(f, GdiType::Font);
  return g ? &g->font : nullptr;
}

int fontPixelSize(HFONT f) { return (int)std::lround(emPixels(f)); }

// Ascent plus descent: Arial's 2288 units per 2048 of the em.
int fontCellHeight(HFONT f) { return (int)std::lround(emPixels(f) * 2288.0 / 2048.0); }

const Image *brushImage(HBRUSH b) {
  Gdi *g = gdi(b, GdiType::PatternBrush);
  return g ? g->image.get() : nullptr;
}

bool brushColor(HBRUSH b, COLORREF *color) {
  Gdi *g = gdi(b, GdiType::SolidBrush);
  if (g)
    *color = g->color;
  return g != nullptr;
}

const std::vector<Image> *iconImages(HICON i) {
  Gdi *g = gdi(i, GdiType::Icon);
  return g && g->icons ? g->icons.get() : nullptr;
}

int textWidth(const std::string &text, HFONT font) {
  double em = emPixels(font);
  int total = 0;
  for (unsigned char c : text) // GDI rounds each advance to whole pixels
    total += (int)std::lround(charWidth1000(c) * em / 1000.0);
  return total;
}

} // namespace winapi

using namespace winapi;

HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD, LPCSTR face) {
  Gdi g(GdiType::Font);
  g.font.height = height;
  g.font.weight = weight;
  g.font.italic = italic != 0;
  g.font.face = face ? face : "";
  return gdiHandle<HFONT>(g);
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap) {
  Gdi *b = gdi(bitmap, GdiType::Bitmap);
  if (!b)
    return nullptr;
  Gdi g(GdiType::PatternBrush);
  g.image = b->image;
  return gdiHandle<HBRUSH>(g);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  Gdi g(GdiType::SolidBrush);
  g.color = color & 0xFFFFFF;
  return gdiHandle<HBRUSH>(g);
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g)
    return CLR_INVALID;
  COLORREF old = g->text;
  g->text = color & 0xFFFFFF;
  return old;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g)
    return CLR_INVALID;
  COLORREF old = g->back;
  g->back = color & 0xFFFFFF;
  return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  auto &m = st().gdi;
  auto it = m.find(reinterpret_cast<uintptr_t>(object));
  if (it == m.end() || it->second.type == GdiType::DC || it->second.type == GdiType::Accel)
    return FALSE;
  m.erase(it);
  return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
  if (hwnd && !find(hwnd))
    return nullptr;
  return gdiHandle<HDC>(Gdi(GdiType::DC));
}

int WINAPI ReleaseDC(HWND, HDC dc) {
  if (!gdi(dc, GdiType::DC))
    return 0;
  st().gdi.erase(reinterpret_cast<uintptr_t>(dc));
  return 1;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g || !gdi(object, GdiType::Font))
    return nullptr;
  HFONT previous = g->selectedFont;
  g->selectedFont = static_cast<HFONT>(object);
  return previous;
}

BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g || !size || count < 0 || (count > 0 && !text))
    return FALSE;
  size->cx = textWidth(std::string(text ? text : "", static_cast<size_t>(count)), g->selectedFont);
  size->cy = fontCellHeight(g->selectedFont);
  return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  Window *w = find(hwnd);
  if (!w || !ps)
    return nullptr;
  HDC dc = gdiHandle<HDC>(Gdi(GdiType::DC));
  *ps = PAINTSTRUCT{};
  ps->hdc = dc;
  ps->rcPaint = RECT{0, 0, clientWidth(*w), clientHeight(*w)};
  w->needsPaint = false;
  if (w->needsErase) {
    w->needsErase = false;
    ps->fErase = send(w, WM_ERASEBKGND, (WPARAM)dc, 0) == 0;
  }
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *ps) {
  if (!ps)
    return FALSE;
  st().gdi.erase(reinterpret_cast<uintptr_t>(ps->hdc));
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *, BOOL erase) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  w->needsPaint = true;
  w->needsErase = w->needsErase || erase;
  update(*w);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  if (w->needsPaint && w->visible)
    send(w, WM_PAINT, 0, 0);
  return TRUE;
}
