#include <gtest/gtest.h>

#include "app_state.h"

TEST(TextBuffer, CopyAndAppendFitExactlyOrLeaveTheBufferAlone) {
  char buf[6] = "old";
  EXPECT_TRUE(textCopy(buf, "abcde")); // 5 chars + NUL = capacity
  EXPECT_STREQ(buf, "abcde");
  EXPECT_FALSE(textCopy(buf, "abcdef"));
  EXPECT_STREQ(buf, "abcde");

  EXPECT_TRUE(textCopy(buf, "ab"));
  EXPECT_TRUE(textAppend(buf, "cde"));
  EXPECT_STREQ(buf, "abcde");
  EXPECT_FALSE(textAppend(buf, "x"));
  EXPECT_STREQ(buf, "abcde");
  EXPECT_TRUE(textAppend(buf, ""));
  EXPECT_TRUE(textCopy(buf, nullptr));
  EXPECT_STREQ(buf, "");
}

TEST(TextBuffer, UnterminatedBufferIsRefusedNotOverread) {
  char buf[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(textAppend(buf, "x"));
  EXPECT_EQ(buf[3], 'd');
}

TEST(AppStateRecord, StartsEmptyWithTheDefaultQueue) {
  EXPECT_STREQ(app.selectedQueue, "ATENDIMENTO");
  EXPECT_FALSE(app.loggedIn || app.serviceLoginOpen || app.registered || app.callInProgress);
  EXPECT_TRUE(app.queueNames.empty() && app.queueUsers.empty() && app.shownQueueNames.empty() &&
              app.shownQueueUsers.empty());
  EXPECT_EQ(sizeof app.loginCode, 20u);
  EXPECT_EQ(sizeof app.installKey, 21u);
  EXPECT_EQ(sizeof app.sipUser, 40u);
}
