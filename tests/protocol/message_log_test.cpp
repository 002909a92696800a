// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/message_log.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(MessageLogTest, DeliversToSinkAndStandardOutputUntilUnregistered) {
  MessageLog log;
  testing::internal::CaptureStdout();
  log.Log("before\n");  // no sink yet: standard output only

  std::vector<std::string> received;
  const auto token = log.Register([&](const std::string& text) { received.push_back(text); });
  ASSERT_NE(token, 0u);
  EXPECT_EQ(log.Register([](const std::string&) {}), 0u) << "the first sink stays";

  log.Log("\nReading Device... Success\n");
  log.Unregister(token + 1);  // a stale token removes nothing
  log.Log("second\n");
  log.Unregister(token);
  log.Log("after\n");

  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "before\n\nReading Device... Success\nsecond\nafter\n");
  EXPECT_EQ(received, (std::vector<std::string>{"\nReading Device... Success\n", "second\n"}));
  EXPECT_FALSE(log.HasSink());
}

TEST(MessageLogTest, ObtainReturnsOneLogPerProcess) {
  EXPECT_EQ(&MessageLog::Obtain(), &MessageLog::Obtain());
}

}  // namespace
}  // namespace stravon
