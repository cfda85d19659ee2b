// Resources of the program: the Win32 functions of this area, for Linux.
// Part of <windows.h>; include that, not this file.
#pragma once

#include "types.h"

// Only IDC_ARROW and IDC_WAIT with no instance: stock cursor handles. Other
// cursors: NULL.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// Icon groups registered by id (winapi_resources.h), from the .ico file of
// the resource script; IDI_APPLICATION with no instance gives a stock icon.
// Difference: only integer ids; every call makes a new handle (Windows
// shares the one icon), harmless as icons are never released here.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);

// Bitmaps registered by id: 24- or 32-bit uncompressed BMP. Other formats or
// unknown ids: NULL. The instance is not looked at.
HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name);

// Accelerator tables registered by id, generated from the resource script.
HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);

HMODULE WINAPI GetModuleHandleA(LPCSTR name);
