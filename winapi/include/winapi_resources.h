// Resources of the program, registered by id before WinMain runs. The code
// that registers them is generated from the Windows resource script by the
// CMake function winapi_embed_resources(target rcfile), so the script stays
// the one source of truth for images and accelerator entries.
#pragma once

#include <windows.h>

#include <cstddef>

// type: 2 (RT_BITMAP, the whole .bmp file) or 14 (RT_GROUP_ICON, the whole
// .ico file). The data is not copied: it must stay valid (embedded data does).
void winapiRegisterResource(int id, int type, const unsigned char *data, size_t size);
// An accelerator table; the entries are copied.
void winapiRegisterAccelerators(int id, const ACCEL *entries, int count);
