// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/command_grammar.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace stravon::sim {
namespace {

TEST(CommandGrammarTest, ClassifiesByTheLettersAfterTheAddress) {
  const struct {
    std::string line;
    CommandKind kind;
    std::string rest;
  } cases[] = {
      {"0?S", CommandKind::kStatus, ""},
      {"12?R 2", CommandKind::kIdentify, " 2"},  // any address
      {"0?h", CommandKind::kQueryH, ""},
      {"0S", CommandKind::kStop, ""},
      {"0Sx", CommandKind::kStop, "x"},  // arguments are the model's to refuse
      {"0G", CommandKind::kGo, ""},
      {"0d 1", CommandKind::kDirection, " 1"},
      {"0v -64000", CommandKind::kSpeed, " -64000"},
      {"0M 12", CommandKind::kMove, " 12"},
      {"0P 1 -415 2052", CommandKind::kLimits, " 1 -415 2052"},
      {"0F13C01020304", CommandKind::kPageLoad, "3C01020304"},
      {"0F26E40", CommandKind::kPageCommit, "6E40"},
      {"0F36E40", CommandKind::kReadByte, "6E40"},
      {"0F46E40", CommandKind::kUnknown, ""},
      {"\x1c"
       "c(46)",
       CommandKind::kVariantQuery, "46)"},
      {"\x1c"
       "c()",
       CommandKind::kUnknown, ""},
      {"?S", CommandKind::kUnknown, ""},  // no address
      {"0", CommandKind::kUnknown, ""},
      {"", CommandKind::kUnknown, ""},
  };
  for (const auto& c : cases) {
    const ClassifiedCommand got = Classify(c.line);
    EXPECT_EQ(got.kind, c.kind) << c.line;
    EXPECT_EQ(got.rest, c.rest) << c.line;
  }
}

TEST(CommandGrammarTest, KindNamesReadBack) {
  for (int i = 0; i < kCommandKindCount; ++i) {
    const auto kind = static_cast<CommandKind>(i);
    EXPECT_EQ(CommandKindByName(CommandKindName(kind)), kind) << CommandKindName(kind);
  }
  EXPECT_EQ(CommandKindByName("page_load"), std::nullopt);
  EXPECT_EQ(CommandKindByName(""), std::nullopt);
}

TEST(CommandGrammarTest, Arguments) {
  const struct {
    std::string text;
    std::size_t count;
    bool ok;
    std::vector<std::int64_t> values;
  } cases[] = {
      {"", 0, true, {}},
      {"  ", 0, true, {}},
      {"x", 0, false, {}},
      {" 5", 1, true, {5}},
      {"   -7  ", 1, true, {-7}},
      {" +3", 1, true, {3}},
      {"5", 1, false, {}},  // a blank must come first
      {" 1 2", 1, false, {}},
      {" 1", 2, false, {}},
      {" 1 -415 2052", 3, true, {1, -415, 2052}},
      {" 1,2", 2, false, {}},
      {" -", 1, false, {}},
      {" 12x", 1, false, {}},
      {" 2147483647", 1, true, {2147483647}},
      {" -2147483648", 1, true, {-2147483648}},
      {" 2147483648", 1, false, {}},
      {" 99999999999999999999999", 1, false, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::int64_t> values(c.count, 99);
    EXPECT_EQ(ParseArgs(c.text, values), c.ok) << "'" << c.text << "'";
    if (c.ok) {
      EXPECT_EQ(values, c.values) << "'" << c.text << "'";
    }
  }
}

TEST(CommandGrammarTest, HexDigits) {
  const struct {
    std::string text;
    bool ok;
    std::uint32_t value;
  } cases[] = {
      {"6E40", true, 0x6E40},  {"ff", true, 0xFF}, {"DEADBEEF", true, 0xDEADBEEF},
      {"123456789", false, 0}, {"", false, 0},     {"G1", false, 0},
      {" 6E40", false, 0},     {"-1", false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t value = 7;
    EXPECT_EQ(ParseHex(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : 7u) << c.text;
  }
}

TEST(CommandGrammarTest, FramesLines) {
  using Lines = std::vector<LineFramer::Line>;
  const std::string over(300, '7');
  const struct {
    const char* what;
    std::vector<std::string> feeds;
    Lines lines;
  } cases[] = {
      {"one line", {"0?S\r"}, {{"0?S", false}}},
      {"line feed after the return", {"0?S\r\n0G\r"}, {{"0?S", false}, {"0G", false}}},
      {"empty line", {"\r"}, {{"", false}}},
      {"in pieces", {"0?", "S", "\r"}, {{"0?S", false}}},
      {"unfinished", {"0?S"}, {}},
      {"variant query ends at its bracket",
       {"\x1c"
        "c(4)0?S\r"},
       {{"\x1c"
         "c(4)",
         false},
        {"0?S", false}}},
      {"variant query in pieces",
       {"\x1c", "c(", "6", ")"},
       {{"\x1c"
         "c(6)",
         false}}},
      {"not a variant query after all",
       {"\x1c"
        "cx\r"},
       {{"\x1c"
         "cx",
         false}}},
      {"no digits",
       {"\x1c"
        "c()\r"},
       {{"\x1c"
         "c()",
         false}}},
      {"over-long line keeps its head",
       {over + "\r0G\r"},
       {{over.substr(0, 256), true}, {"0G", false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LineFramer framer;
    Lines lines;
    for (const std::string& feed : c.feeds) {
      for (LineFramer::Line& line : framer.Feed(feed)) lines.push_back(std::move(line));
    }
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(CommandGrammarTest, ResetDropsAPartLine) {
  LineFramer framer;
  EXPECT_TRUE(framer.Feed("0?").empty());
  framer.Reset();
  EXPECT_EQ(framer.Feed("S\r"), (std::vector<LineFramer::Line>{{"S", false}}));
}

}  // namespace
}  // namespace stravon::sim
