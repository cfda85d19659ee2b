// Runs for the full 10-second transfer limit of the service client.
#include "service_fixture.h"

namespace {

bool inTransfer = false;
int paintsDuringTransfer = 0, waitCursorPaints = 0, otherMessagesDuringTransfer = 0, posts = 0;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && inTransfer) {
    ++paintsDuringTransfer;
    if (GetCursor() == LoadCursorA(nullptr, IDC_WAIT))
      ++waitCursorPaints;
  } else if (message == WM_APP || message == WM_CLOSE) {
    otherMessagesDuringTransfer += inTransfer;
    posts += message == WM_APP;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

// The exchange runs on the window thread: meanwhile the window is painted
// (under the wait cursor), and nothing else is handled until it is over.
TEST_F(ServiceTest, SlowServiceIsAFailedExchangeAfterTheTimeLimit) {
  winapi_test::setHeadless(true);
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = recordingProc;
  windowClass.lpszClassName = "Janela lenta";
  ASSERT_NE(RegisterClassExA(&windowClass), 0);
  HWND window =
      CreateWindowExA(0, "Janela lenta", "Janela lenta", WS_OVERLAPPED | WS_VISIBLE, CW_USEDEFAULT,
                      CW_USEDEFAULT, 390, 350, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  winapi_test::pump(window, nullptr);
  InvalidateRect(window, nullptr, TRUE); // uncovered meanwhile
  PostMessageA(window, WM_APP, 0, 0);
  winapi_test::closeWindow(window); // the user's click on the close box

  server.setDelayMs(20000); // cut short when the server is torn down
  inTransfer = true;
  // The transfer is over when the failure's box opens.
  winapi_test::setBoxHook([](const winapi_test::BoxRecord &) { inTransfer = false; });
  EXPECT_FALSE(loginWith(acceptedWith("[]")));
  winapi_test::setBoxHook(nullptr);
  EXPECT_EQ(server.requests().size(), 1u);
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
  EXPECT_TRUE(app.serviceLoginOpen);
  EXPECT_STREQ(app.sipDomain, "");
  EXPECT_FALSE(app.loginRunning);

  EXPECT_GE(paintsDuringTransfer, 1) << "the window was not painted during the exchange";
  EXPECT_EQ(waitCursorPaints, paintsDuringTransfer);
  EXPECT_EQ(otherMessagesDuringTransfer, 0);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
  winapi_test::pump(window, nullptr);
  EXPECT_EQ(posts, 1) << "the post is handled once, after the transfer";
  EXPECT_FALSE(IsWindow(window)) << "the close is handled after the transfer";
}
