// Starter: headless message boxes for tests.
#include <deque>

#include "winapi_test.h"

namespace {
std::deque<int> answers;
std::vector<winapi_test::BoxRecord> shown;
} // namespace

namespace winapi_test {
void queueBoxAnswer(int answer) { answers.push_back(answer); }
const std::vector<BoxRecord> &shownBoxes() { return shown; }
void resetBoxes() {
  answers.clear();
  shown.clear();
}
} // namespace winapi_test

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  shown.push_back({owner, text ? text : "", caption ? caption : "", type});
  if (!answers.empty()) {
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
}
