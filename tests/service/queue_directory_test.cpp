#include <gtest/gtest.h>

#include "service.h"

TEST(QueueDirectory, EmptyListsFindNothing) {
  EXPECT_EQ(findQueueIndex(), 0);
  EXPECT_STREQ(lookupQueueUser(), "erro");
  EXPECT_TRUE(copyQueueNames().empty());
  EXPECT_TRUE(copyQueueUsers().empty());
}

TEST(QueueDirectory, SelectedQueueMatchesExactlyAndTheFirstOfEqualNamesWins) {
  app.queueNames = {"Financeiro",  "atendimento", "ATENDIMENTO ",
                    "ATENDIMENTO", "Suporte",     "ATENDIMENTO"};
  app.queueUsers = {"1001", "1002", "1003", "atendimento01", "1005", "1006"};
  EXPECT_EQ(findQueueIndex(), 3); // initial selectedQueue
  EXPECT_STREQ(lookupQueueUser(), "atendimento01");

  textCopy(app.selectedQueue, "Suporte");
  EXPECT_EQ(findQueueIndex(), 4);
  EXPECT_STREQ(lookupQueueUser(), "1005");

  textCopy(app.selectedQueue, "suporte");
  EXPECT_EQ(findQueueIndex(), 0);
  EXPECT_STREQ(lookupQueueUser(), "erro");

  EXPECT_EQ(copyQueueNames(), app.queueNames);
  EXPECT_EQ(copyQueueUsers(), app.queueUsers);
}
