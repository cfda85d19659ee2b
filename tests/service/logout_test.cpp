#include "form_decode.h"
#include "service_fixture.h"

TEST_F(ServiceTest, LogoutNoticeSendsOnlyTheSavedCode) {
  textCopy(app.savedLoginCode, "98 & 7=6%");
  app.serviceLoginOpen = true;
  EXPECT_TRUE(sendLogoutNotice());
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, LOGOUT_PATH);
  EXPECT_EQ(requests[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].body, "codigo=98%20%26%207%3D6%25");
  EXPECT_EQ(parseForm(requests[0].body),
            (std::map<std::string, std::string>{{"codigo", "98 & 7=6%"}}));
  EXPECT_TRUE(app.serviceLoginOpen);
  EXPECT_EQ(app.httpHandle, nullptr);
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
}

TEST_F(ServiceTest, LogoutAfterAFailedLoginCarriesThatLoginsCode) {
  textCopy(app.loginCode, "777");
  EXPECT_FALSE(loginWith("", 500));
  ASSERT_TRUE(app.serviceLoginOpen);
  textCopy(app.loginCode, "typed later"); // the notice uses the code that was sent
  EXPECT_TRUE(sendLogoutNotice());
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].path, LOGOUT_PATH);
  EXPECT_EQ(requests[1].body, "codigo=777");
}

TEST_F(ServiceTest, LogoutToAnUnreachableServiceStillReportsSent) {
  pointAtClosedPort();
  textCopy(app.savedLoginCode, "1");
  EXPECT_TRUE(sendLogoutNotice());
  EXPECT_TRUE(winapi_test::shownBoxes().empty());
}
