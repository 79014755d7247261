#include "script_parser.h"

#include <gtest/gtest.h>

#include <sstream>

#include "script_error.h"

namespace tabulo::app {
namespace {

using Words = std::vector<std::string>;

Words Split(std::string_view text) {
  auto line = SplitLine(text, 1);
  if (!line) return {};
  Words words{line->command};
  words.insert(words.end(), line->args.begin(), line->args.end());
  return words;
}

int ErrorLine(std::string_view text, int number) {
  try {
    SplitLine(text, number);
  } catch (const ScriptError& e) {
    return e.line();
  }
  return -1;
}

TEST(ScriptParser, CommandAndArgumentsSplitAtBlanks) {
  EXPECT_EQ(Split("  let   Text\t\"a  b\"   "), (Words{"let", "Text", "\"a  b\""}));
  EXPECT_EQ(Split("size 9600 3600"), (Words{"size", "9600", "3600"}));
  EXPECT_EQ(Split("show"), (Words{"show"}));
}

TEST(ScriptParser, DoubledQuotesStayInsideTheText) {
  EXPECT_EQ(Split(R"(let T "say ""hi there""" next)"),
            (Words{"let", "T", R"("say ""hi there""")", "next"}));
  EXPECT_EQ(Split(R"(let T "")"), (Words{"let", "T", R"("")"}));
}

TEST(ScriptParser, BracedArraysAreOneArgument) {
  EXPECT_EQ(Split(R"(call Fill {1, "x y}", {2,  3}} 5)"),
            (Words{"call", "Fill", R"({1, "x y}", {2,  3}})", "5"}));
  EXPECT_EQ(Split("call F {{1, 2}, {3, 4}}"), (Words{"call", "F", "{{1, 2}, {3, 4}}"}));
}

TEST(ScriptParser, HashOutsideQuotesStartsAComment) {
  EXPECT_EQ(Split("get Text # the caption"), (Words{"get", "Text"}));
  EXPECT_EQ(Split("get Text#caption"), (Words{"get", "Text"}));
  EXPECT_EQ(Split(R"(let Text "a # b" # c)"), (Words{"let", "Text", R"("a # b")"}));
  EXPECT_EQ(Split(R"(call F {"#", 1})"), (Words{"call", "F", R"({"#", 1})"}));
}

TEST(ScriptParser, BlankAndCommentLinesHoldNothing) {
  EXPECT_FALSE(SplitLine("", 1).has_value());
  EXPECT_FALSE(SplitLine(" \t ", 1).has_value());
  EXPECT_FALSE(SplitLine("#", 1).has_value());
  EXPECT_FALSE(SplitLine("# size 1 2", 1).has_value());
  EXPECT_FALSE(SplitLine("   # indented comment", 1).has_value());
}

TEST(ScriptParser, UnbalancedTextsAndBracesCarryTheLineNumber) {
  EXPECT_EQ(ErrorLine(R"(let Text "open)", 7), 7);
  EXPECT_EQ(ErrorLine(R"(let Text "a"" b)", 8), 8);
  EXPECT_EQ(ErrorLine("call F {1, 2", 9), 9);
  EXPECT_EQ(ErrorLine("call F 1}", 10), 10);
  EXPECT_EQ(ErrorLine("call F {1, # 2}", 11), 11);
  EXPECT_EQ(ErrorLine("call F {{1}", 12), 12);
}

TEST(ScriptParser, ReaderNumbersLinesAndDropsLineEndsAndTheByteOrderMark) {
  std::istringstream in("\xEF\xBB\xBFsize 1 2\r\n\n# comment\r\nshow\r\nget \"x\"");
  ScriptReader reader(in);
  auto first = reader.Next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number, 1);
  EXPECT_EQ(first->command, "size");
  EXPECT_EQ(first->args, (Words{"1", "2"}));
  auto second = reader.Next();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->number, 4);
  EXPECT_EQ(second->command, "show");
  EXPECT_TRUE(second->args.empty());
  auto third = reader.Next();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->number, 5);
  EXPECT_EQ(third->args, (Words{"\"x\""}));
  EXPECT_FALSE(reader.Next());
}

TEST(ScriptParser, ReaderReportsTheLineOfAnError) {
  std::istringstream in("show\n\nlet T \"x\n");
  ScriptReader reader(in);
  ASSERT_TRUE(reader.Next());
  try {
    reader.Next();
    FAIL() << "an unterminated text was accepted";
  } catch (const ScriptError& e) {
    EXPECT_EQ(e.line(), 3);
  }
}

}  // namespace
}  // namespace tabulo::app
