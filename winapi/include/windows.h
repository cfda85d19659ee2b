// The subset of the Win32 interface that the program calls, for Linux.
// (Starter: types and MessageBoxA; the window layer fills in the rest.)
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef const char *LPCSTR;

struct HWND__;
typedef HWND__ *HWND;
struct HFONT__;
typedef HFONT__ *HFONT;
struct HINSTANCE__;
typedef HINSTANCE__ *HINSTANCE;

#define TRUE 1
#define FALSE 0

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
