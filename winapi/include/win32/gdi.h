// GDI objects and painting: the Win32 functions of this area, for Linux.
// Part of <windows.h>; include that, not this file.
#pragma once

#include "types.h"

// Sends WM_PAINT at once when the window needs painting (not its children).
BOOL WINAPI UpdateWindow(HWND hwnd);

// Begins painting: sends WM_ERASEBKGND when the background needs erasing,
// marks the window painted. Difference: the update rectangle is always the
// whole client area; drawing through the HDC is limited to the colour calls
// below (with FLTK the background is drawn by the presenter itself).
HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps);
BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT *ps);

// Marks the whole window as needing WM_PAINT (the rectangle is ignored).
BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase);

// Records the request. With FLTK: "Arial" and other sans faces become FLTK's
// Helvetica (Xft picks the closest installed sans face); weight >= 600 is
// bold; a positive height is the cell height and gives an em size of
// height * 2048 / 2288 pixels (Arial's ascent+descent), a negative height
// is the em size. Width, angles, underline, strike-out and quality are ignored.
HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR face);

// A brush tiling the bitmap from the top-left of the client area it fills.
HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);

// Device contexts exist only during painting (BeginPaint and the ones given
// with WM_CTLCOLORSTATIC). Return the previous colour; CLR_INVALID for an
// unknown HDC.
#define CLR_INVALID 0xFFFFFFFFu
COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);

// A device context for measuring text (GetTextExtentPoint32A) in the font
// selected into it. Difference: it draws nothing; SelectObject takes fonts
// only and returns nullptr for the system font the DC starts with.
HDC WINAPI GetDC(HWND hwnd);
int WINAPI ReleaseDC(HWND hwnd, HDC dc);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// The width and height of count characters of text in the DC's font, by
// Arial's advance widths as the controls measure text.
BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size);

// Releases fonts, brushes and bitmaps. Difference: a brush made from a
// bitmap keeps the pixels, so deleting the bitmap afterwards is harmless.
BOOL WINAPI DeleteObject(HGDIOBJ object);
