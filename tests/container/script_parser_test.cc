#include "container/script/parser.h"

#include <gtest/gtest.h>

#include <sstream>

#include "container/script/error.h"

namespace tabulo::container {
namespace {

using Words = std::vector<std::string>;

// The command and its arguments; none for a line that holds nothing.
Words Split(std::string_view text) {
  auto line = SplitLine(text, 1);
  if (!line) return {};
  Words words{line->command};
  words.insert(words.end(), line->args.begin(), line->args.end());
  return words;
}

TEST(ScriptParser, LinesSplitAtBlanksOutsideTextsBracesAndComments) {
  const std::pair<const char*, Words> cases[] = {
      {"  let   Text\t\"a  b\"   ", {"let", "Text", "\"a  b\""}},
      // Doubled quotes stay inside the text.
      {R"(let T "say ""hi there""" next)", {"let", "T", R"("say ""hi there""")", "next"}},
      {R"(let T "")", {"let", "T", R"("")"}},
      // A braced array is one argument.
      {R"(call Fill {1, "x y}", {2,  3}} 5)", {"call", "Fill", R"({1, "x y}", {2,  3}})", "5"}},
      // '#' outside quotes starts a comment.
      {"get Text#caption", {"get", "Text"}},
      {R"(let Text "a # b" # c)", {"let", "Text", R"("a # b")"}},
      {R"(call F {"#", 1})", {"call", "F", R"({"#", 1})"}},
      // Blank and comment lines hold nothing.
      {" \t ", {}},
      {"   # indented comment", {}}};
  for (const auto& [text, words] : cases) EXPECT_EQ(Split(text), words) << text;
}

TEST(ScriptParser, UnbalancedTextsAndBracesCarryTheLineNumber) {
  int number = 7;
  for (const char* text : {R"(let Text "open)", R"(let Text "a"" b)", "call F {1, 2", "call F 1}",
                           "call F {1, # 2}", "call F {{1}"}) {
    try {
      SplitLine(text, number);
      ADD_FAILURE() << text << " was accepted";
    } catch (const ScriptError& e) {
      EXPECT_EQ(e.line(), number) << text;
    }
    ++number;
  }
}

// A last line without its line end is read too; then there is nothing more. (A fault's line
// number through the reader: script_runner_test.cc's fault table.)
TEST(ScriptParser, ReaderNumbersLinesAndDropsLineEndsAndTheByteOrderMark) {
  std::istringstream in("\xEF\xBB\xBFsize 1 2\r\n\n# comment\r\nshow\r\nget \"x\"");
  ScriptReader reader(in);
  const std::tuple<int, const char*, Words> expected[] = {
      {1, "size", {"1", "2"}}, {4, "show", {}}, {5, "get", {"\"x\""}}};
  for (const auto& [number, command, args] : expected) {
    auto line = reader.Next();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->number, number);
    EXPECT_EQ(line->command, command);
    EXPECT_EQ(line->args, args);
  }
  EXPECT_FALSE(reader.Next());
}

// A line without end is refused instead of filling the memory.
TEST(ScriptReader, ALineLongerThanTheLimitIsRefusedWithItsNumber) {
  const std::string longest(size_t{1} << 20, 'x');
  std::istringstream fits("show\n" + longest + "\n");
  ScriptReader fitting(fits);
  EXPECT_EQ(fitting.Next()->command, "show");
  EXPECT_EQ(fitting.Next()->command.size(), longest.size());
  EXPECT_FALSE(fitting.Next());
  std::istringstream endless("show\n" + longest + "y");
  ScriptReader reader(endless);
  EXPECT_EQ(reader.Next()->number, 1);
  try {
    reader.Next();
    ADD_FAILURE() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(e.line(), 2);
    EXPECT_STREQ(e.what(), "the line is longer than 1 MiB");
  }
}

}  // namespace
}  // namespace tabulo::container
