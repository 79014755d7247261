// Script texts: control characters are printed as escapes that read back as the same text,
// and a line without end is refused instead of filling the memory.
#include <gtest/gtest.h>

#include <sstream>

#include "container/control_file.h"
#include "container/script/error.h"
#include "container/script/parser.h"
#include "container/script/value.h"

namespace tabulo::container {
namespace {

TEST(ScriptEscapes, ControlCharactersPrintAsEscapesThatReadBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\x1b[2Jb", "\"a\\x1B[2Jb\""},
      {"\x07\x7f\xc2\x9b", "\"\\x07\\x7F\\xC2\\x9B\""},
      {"tab\tline\r\n", "\"tab\\tline\\r\\n\""},
      {"Grüße \"q\" \\", "\"Grüße \"\"q\"\" \\\\\""}};
  for (const auto& [text, printed] : cases) {
    SCOPED_TRACE(printed);
    EXPECT_EQ(FormatValue(platform::Variant(text)), printed);
    EXPECT_EQ(ParseValue(printed).AsString(), text);
  }
  for (const char* bad : {"\"\\x1\"", "\"\\xG0\"", "\"\\x\""}) {
    EXPECT_THROW(ParseValue(bad), ScriptError) << bad;
  }
}

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

TEST(ControlFileRead, ADeviceIsRefusedInsteadOfRead) {
  try {
    ReadControlFile("/dev/zero");
    ADD_FAILURE() << "no error";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.description(), "Path/File access error (/dev/zero: not a regular file)");
  }
}

}  // namespace
}  // namespace tabulo::container
