// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signal_watch.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstddef>
#include <optional>

namespace stravon::app {
namespace {

// The handler each signal had before; a shell may have left some ignored.
std::array<void (*)(int), kEndingSignals.size()> Handlers() {
  std::array<void (*)(int), kEndingSignals.size()> handlers{};
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    struct sigaction action {};
    sigaction(kEndingSignals[i], nullptr, &action);
    handlers[i] = action.sa_handler;
  }
  return handlers;
}

TEST(SignalWatchTest, EachEndingSignalWaitsInThePipe) {
  const auto before = Handlers();
  for (const int signal : kEndingSignals) {
    SignalWatch watch;
    ASSERT_TRUE(watch.Ok());
    EXPECT_FALSE(watch.Take());
    ASSERT_EQ(std::raise(signal), 0);
    // The process lives on; the signal is there for the event loop to take.
    EXPECT_EQ(watch.Take(), std::optional<int>(signal)) << signal;
    EXPECT_FALSE(watch.Take());
  }
  // Gone with the watch: the actions from before it are back.
  EXPECT_EQ(Handlers(), before);
}

TEST(SignalWatchDeathTest, ASecondSignalEndsTheProcessAtOnce) {
  EXPECT_EXIT(
      {
        SignalWatch watch;
        std::raise(SIGTERM);
        std::raise(SIGINT);
      },
      ::testing::ExitedWithCode(128 + SIGINT), "");
}

}  // namespace
}  // namespace stravon::app
