// Runs for the full 10-second transfer limit of the service client.
#include "service_fixture.h"

TEST_F(ServiceTest, SlowServiceIsAFailedExchangeAfterTheTimeLimit) {
  server.setDelayMs(20000); // cut short when the server is torn down
  EXPECT_FALSE(loginWith(acceptedWith("[]")));
  EXPECT_EQ(server.requests().size(), 1u);
  ASSERT_EQ(winapi_test::shownBoxes().size(), 1u);
  EXPECT_EQ(winapi_test::shownBoxes()[0].text, FAILURE_TEXT);
  EXPECT_TRUE(app.serviceLoginOpen);
  EXPECT_STREQ(app.sipDomain, "");
  EXPECT_FALSE(app.loginRunning);
}
