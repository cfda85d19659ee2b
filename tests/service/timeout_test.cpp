// A slow service: the full 10-second transfer limit, and the end of the
// session that cuts a login short.
#include "service_fixture.h"

#include <chrono>
#include <thread>

namespace {

bool inTransfer = false;
int sessionEnds = 0;
int paintsDuringTransfer = 0, waitCursorPaints = 0, otherMessagesDuringTransfer = 0, posts = 0;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && inTransfer) {
    ++paintsDuringTransfer;
    if (GetCursor() == LoadCursorA(nullptr, IDC_WAIT))
      ++waitCursorPaints;
  } else if (message == WM_ENDSESSION) {
    ++sessionEnds;
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

// The session ends (Linux: a termination signal, posted to the window) while
// the service holds the login's answer back: the exchange stops at once,
// without a box, long before its time limit; the login counts as open, so
// the end that follows in the window's loop sends the logout notice, which
// the end of the session does not cut short.
TEST_F(ServiceTest, SessionEndStopsASlowLoginWhoseNoticeStillGoesOut) {
  winapi_test::setHeadless(true);
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = recordingProc;
  windowClass.lpszClassName = "Janela que termina";
  ASSERT_NE(RegisterClassExA(&windowClass), 0);
  HWND window =
      CreateWindowExA(0, "Janela que termina", "Janela que termina", WS_OVERLAPPED | WS_VISIBLE,
                      CW_USEDEFAULT, CW_USEDEFAULT, 390, 350, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  winapi_test::pump(window, nullptr);

  server.setDelayMs(20000); // cut short when the server is torn down
  std::thread sessionEnd([&] {
    if (server.waitForRequests(1, 10000))
      PostMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loginWith(acceptedWith("[]")));
  long long spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  sessionEnd.join();
  // Stopped by the end, not by the transfer's own limit.
  EXPECT_LT(spentMs, TRANSFER_LIMIT_MS);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].path, LOGIN_PATH);
  EXPECT_TRUE(winapi_test::shownBoxes().empty()) << "a box at the end of the session";
  EXPECT_TRUE(app.serviceLoginOpen);
  EXPECT_FALSE(app.loginRunning);
  EXPECT_EQ(sessionEnds, 0) << "the end is left to the window's loop";

  server.setDelayMs(200);
  EXPECT_TRUE(sendLogoutNotice(3000));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].path, LOGOUT_PATH);
  EXPECT_EQ(server.requests()[1].body, "codigo=12345");
  winapi_test::pump(window, nullptr);
  EXPECT_EQ(sessionEnds, 1);
  app.sessionEnding = false;
}
