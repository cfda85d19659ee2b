// Test hooks of the Linux window layer: scripted answers for message boxes
// and a record of every box shown.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winapi_test {

struct BoxRecord {
  HWND owner;
  std::string text;    // as the program passed it (Latin-1)
  std::string caption; // as the program passed it (Latin-1)
  UINT type;
};

// Every following MessageBoxA answers from this queue, in order, without
// showing anything; with the queue empty it answers IDOK (or IDYES for
// MB_YESNO). Headless mode is on once any of these hooks is used.
void queueBoxAnswer(int answer);
const std::vector<BoxRecord> &shownBoxes();
void resetBoxes();

} // namespace winapi_test
