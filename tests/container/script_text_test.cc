// The script's text: lines split into words and read with their numbers, and the values the
// words stand for, read and printed back.
#include "container/script/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>

#include "container/script/error.h"
#include "container/script/parser.h"
#include "platform/values/conversions.h"
#include "platform/widgets/std_font.h"

namespace tabulo::container {
namespace {

using platform::SafeArray;
using platform::Variant;
using platform::VarType;

// The elements of a one-dimensional array.
std::vector<Variant> Elements(const Variant& v) {
  std::vector<Variant> out;
  for (int32_t i = 0; i < v.AsArray().size(); ++i) out.push_back(v.AsArray().At(i));
  return out;
}

// Decimal integers are Long until they leave 32 bits; fractions and exponents are Double;
// hexadecimal is Long with the high bit negative; texts take doubled quotes and four escapes;
// keywords in any case.
TEST(ScriptValue, InputFormsParseToTheirValues) {
  // clang-format off
  const std::pair<const char*, Variant> cases[] = {
      {"+5", Variant::Long(5)}, {"2147483647", Variant::Long(INT32_MAX)},
      {"-2147483648", Variant::Long(INT32_MIN)}, {"2147483648", Variant::Double(2147483648.0)},
      {"-2147483649", Variant::Double(-2147483649.0)},
      {"123456789012345678901234", Variant::Double(1.2345678901234568e23)},
      {"0.1", Variant::Double(0.1)}, {".5", Variant::Double(0.5)}, {"2E-3", Variant::Double(0.002)},
      {"1e308", Variant::Double(1e308)}, {"3e0", Variant::Double(3.0)},
      {"0x1f", Variant::Long(31)}, {"0X10", Variant::Long(16)},
      {"0x7FFFFFFF", Variant::Long(INT32_MAX)}, {"0x80000000", Variant::Long(INT32_MIN)},
      {"0xFFFFFFFF", Variant::Long(-1)}, {"0x00000000FF", Variant::Long(255)},
      {R"("a ""b"" c")", Variant("a \"b\" c")}, {R"("x\r\n\ty\\z")", Variant("x\r\n\ty\\z")},
      {R"("")", Variant("")}, {R"("Grüße, 日本 😀")", Variant("Grüße, 日本 😀")},
      {"true", Variant::Boolean(true)}, {"FALSE", Variant::Boolean(false)},
      {"Null", Variant::Null()}, {"empty", Variant()}};
  // clang-format on
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseValue(text), value) << text;
  Variant negative_zero = ParseValue("-0.0");
  ASSERT_EQ(negative_zero.type(), VarType::Double);
  EXPECT_TRUE(std::signbit(negative_zero.AsDouble()));
  Variant nothing = ParseValue("Nothing");
  ASSERT_TRUE(nothing.IsObject());
  EXPECT_EQ(nothing.AsObject(), nullptr);
}

TEST(ScriptValue, MalformedInputIsRefused) {
  for (const char* text : {// numbers
                           "1e309", "1.2.3", "1e", "1e+", "--1", "12abc", "-", ".", "0x", "0x1G",
                           "0x100000000", "-0x1", "1,5", "abc", "",
                           // texts
                           R"("open)", R"("a\qb")", R"("a\")", R"("a"b)", R"("a" "b")", R"("a\)",
                           R"("\x1")", R"("\xG0")", R"("\x")",
                           // arrays
                           "{{1, 2}, {3}}", "{1, {2}}", "{{1}, 2}", "{{{1}}}", "{1 2}", "{1,",
                           "{1,}", "{,1}", "{1}}", "{1} 2", "{", "{\"a}"}) {
    EXPECT_THROW(ParseValue(text), ScriptError) << text;
  }
}

TEST(ScriptValue, BracesAreOneDimensionalArraysAndNestedBracesRowsOfTwo) {
  Variant v = ParseValue(R"({1,"a, }b" ,  true, null})");
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.AsArray().dims(), 1);
  EXPECT_EQ(Elements(v), (std::vector<Variant>{Variant::Long(1), Variant("a, }b"),
                                               Variant::Boolean(true), Variant::Null()}));
  EXPECT_EQ(ParseValue("{ }").AsArray().size(), 0);

  const Variant matrix = ParseValue(R"({{1, 2, 3}, {"x", 4.5, Null}})");
  const SafeArray& m = matrix.AsArray();
  ASSERT_EQ(m.dims(), 2);
  EXPECT_EQ(m.UBound(2), 2);
  EXPECT_EQ(m.At(1, 0), Variant("x"));
  // Rows without columns: what they print back is in the round trip below.
  EXPECT_EQ(ParseValue("{{}, {}}").AsArray().dims(), 2);
}

// The forms a text reads back to are pinned by the round trip below.
TEST(ScriptValue, EveryTypeHasItsOutputForm) {
  SafeArray based(VarType::Long, {{1, 3}});  // other lower bounds print the same elements
  based.Set(3, Variant(7));
  const std::pair<Variant, const char*> cases[] = {
      {Variant::Byte(200), "200"},
      {Variant::Single(0.1f), "0.1"},
      {Variant::Double(-0.0), "0"},
      {Variant::Double(std::nan("")), "NaN"},
      {Variant::Double(-HUGE_VAL), "-Inf"},
      {Variant::CurrencyScaled(125000), "12.5"},
      {Variant::CurrencyScaled(30000), "3"},
      {Variant::CurrencyScaled(-1), "-0.0001"},
      {Variant::CurrencyScaled(std::numeric_limits<int64_t>::min()), "-922337203685477.5808"},
      {Variant::Date(platform::DateSerial(2026, 1, 5) + platform::TimeSerial(8, 5, 9)),
       "#2026-01-05 08:05:09#"},
      {Variant::Date(-1e9), "Date(-1e+09)"},
      {Variant::Error(static_cast<int32_t>(0x80020004)), "Error(-2147352572)"},
      {Variant(std::shared_ptr<platform::Dispatch>(platform::StdFont::Create())),
       "Object(StdFont)"},
      {Variant(based), "{0, 0, 7}"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatValue(value), text);
}

TEST(ScriptValue, OutputFormsReadBackToThemselvesAndDoublesExactly) {
  for (const char* text :
       {R"("Grüße ""日本""\r\n\t\\ # x")", "{{1, 2.5}, {\"x\", Null}}", "{True, False, Empty}",
        "0.1", "1e+308", "5e-324", "-2147483648", "2147483648", "{}", "{{}, {}}", "Nothing",
        "-0.3333333333333333", R"({"}", "{", ", "})"}) {
    EXPECT_EQ(FormatValue(ParseValue(text)), text);
  }
  for (double d : {0.1, 1e308, 5e-324, 1.0 / 3, -2.5e-10, 123456789.125, 2.2250738585072014e-308,
                   1.7976931348623157e308}) {
    Variant back = ParseValue(FormatValue(Variant::Double(d)));
    ASSERT_EQ(back.type(), VarType::Double) << d;
    EXPECT_EQ(back.AsDouble(), d);
  }
}

// Control characters are printed as escapes that read back as the same text (a malformed
// escape: the refusals above).
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
}

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
