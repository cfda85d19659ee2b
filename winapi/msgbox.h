// Message boxes and the shell: what the test hooks and presenters share.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace winapi {

// Button labels (code page 1252) of a box type, their answers, and the answer of
// closing the box (0: closing is disabled).
std::vector<std::string> buttonsFor(UINT type, std::vector<int> *answers, int *closeAnswer);
// Opens a document or address with xdg-open: false when xdg-open is missing
// or fails; waits for it a few seconds at most.
bool startDesktopOpen(const char *file);

} // namespace winapi
