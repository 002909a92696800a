// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/fault_grammar.h"

#include <chrono>
#include <string>

#include <gtest/gtest.h>

namespace stravon::sim {
namespace {

using namespace std::chrono_literals;

// The examples of stravon-sim --help among them.
TEST(FaultGrammarTest, ReadsFaults) {
  const struct {
    std::string text;
    Fault fault;
  } cases[] = {
      {"error=97,times=2", Fault::Error(97).Times(2)},
      {"silence,on=status", Fault::Silence().For(CommandKind::kStatus)},
      {"reply=ZZ,on=read-byte", Fault::Reply("ZZ\r").For(CommandKind::kReadByte)},
      {"reply=", Fault::Reply("\r")},
      {"disconnect,skip=40", Fault::DisconnectAfter(0).Skip(40)},
      {"corrupt=3,skip=1", Fault::CorruptStore(3).Skip(1)},
      {"overlong=300", Fault::Overlong(300)},
      {"split=4/30", Fault::Split(4, 30ms)},
      // Scope settings before the action are kept.
      {"on=page-commit,times=all,skip=3,error=-5",
       Fault::Error(-5).For(CommandKind::kPageCommit).Times(-1).Skip(3)},
      {"on=unknown,error=20", Fault::Error(20).For(CommandKind::kUnknown)},
  };
  for (const auto& c : cases) {
    Fault fault;
    std::string error;
    EXPECT_TRUE(ParseFault(c.text, &fault, &error)) << c.text << ": " << error;
    EXPECT_EQ(fault, c.fault) << c.text;
  }
}

TEST(FaultGrammarTest, RefusesWhatDoesNotRead) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "a fault needs an action"},
      {"on=status,times=2", "a fault needs an action"},
      {"error=97,silence", "more than one action in a fault"},
      {"on=nothing,silence", "unknown command kind 'nothing'"},
      {"split=4", "split wants BYTES/MS"},
      {"split=0/10", "split wants BYTES/MS"},
      {"split=4/x", "split wants BYTES/MS"},
      {"error=x", "cannot read 'error=x'"},
      {"error=99999999999", "cannot read 'error=99999999999'"},
      {"silence=1", "cannot read 'silence=1'"},
      {"times=0,silence", "cannot read 'times=0'"},
      {"skip=-1,silence", "cannot read 'skip=-1'"},
      {"overlong=0", "cannot read 'overlong=0'"},
      {"silence,,", "cannot read ''"},
      {"stall", "cannot read 'stall'"},
  };
  for (const auto& c : cases) {
    Fault fault;
    std::string error;
    EXPECT_FALSE(ParseFault(c.text, &fault, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

}  // namespace
}  // namespace stravon::sim
