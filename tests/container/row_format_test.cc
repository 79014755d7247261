// What the command line writes: the rows of `tabulo export` and `tabulo audit` (CSV and JSON
// text of each kind of value, the record layout of both formats), and the progress of long
// loads (the text shown, reports reaching the sink in place).
#include "container/row_format.h"
#include "container/load_progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

using platform::Variant;

struct ValueCase {
  Variant value;
  std::string csv, json;
};

TEST(RowFormatTest, EachValueIsWrittenAsOtherProgramsReadIt) {
  // clang-format off
  const ValueCase cases[] = {
      {Variant(int16_t{-7}), "-7", "-7"},
      {Variant(int32_t{2000000000}), "2000000000", "2000000000"},
      {Variant(0.1), "0.1", "0.1"}, {Variant(1e21), "1e+21", "1e+21"},
      {Variant(std::nan("")), "NaN", "\"NaN\""}, {Variant::CurrencyScaled(-5000), "-0.5", "-0.5"},
      {Variant(HUGE_VAL), "Infinity", "\"Infinity\""},
      {Variant(-HUGE_VAL), "-Infinity", "\"-Infinity\""}, {Variant(1.5f), "1.5", "1.5"},
      {Variant::CurrencyScaled(123400), "12.34", "12.34"}, {Variant(true), "true", "true"},
      {Variant::CurrencyScaled(0), "0", "0"}, {Variant::CurrencyScaled(-10000), "-1", "-1"},
      {Variant::CurrencyScaled(-9999), "-0.9999", "-0.9999"},
      {Variant::CurrencyScaled(10001), "1.0001", "1.0001"},
      {Variant::CurrencyScaled(-1234567895000), "-123456789.5", "-123456789.5"},
      {Variant::Date(43831.0), "2020-01-01", "\"2020-01-01\""},
      {Variant::Date(43831.5 + 1.5 / 86400), "2020-01-01 12:00:01.500",
       "\"2020-01-01 12:00:01.500\""},
      {Variant::Date(-1.25), "1899-12-28 18:00:00", "\"1899-12-28 18:00:00\""},
      {Variant::Date(-1.0), "1899-12-29", "\"1899-12-29\""},
      {Variant::Date(43831.0 + 86399999.0 / 86400000), "2020-01-01 23:59:59.999",
       "\"2020-01-01 23:59:59.999\""},
      {Variant::Date(-693899.0), "0000-03-01", "\"0000-03-01\""},
      {Variant::Date(-694265.0), "-0001-03-01", "\"-0001-03-01\""},
      {Variant::Null(), "", "null"}, {Variant(), "", "null"},
      {Variant("plain"), "plain", "\"plain\""},
      {Variant("a,b"), "\"a,b\"", "\"a,b\""},
      {Variant("say \"hi\""), "\"say \"\"hi\"\"\"", "\"say \\\"hi\\\"\""},
      {Variant("two\r\nlines\t\x01"), "\"two\r\nlines\t\x01\"", "\"two\\r\\nlines\\t\\u0001\""},
      {Variant("cr\ronly"), "\"cr\ronly\"", "\"cr\\ronly\""},
      {Variant("lf\nonly"), "\"lf\nonly\"", "\"lf\\nonly\""},
      {Variant("\x1f\x7f "), "\x1f\x7f ", "\"\\u001f\x7f \""},
      {Variant("back\\slash é"), "back\\slash é", "\"back\\\\slash é\""}};
  // clang-format on
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.csv);
    std::ostringstream csv, json;
    RowWriter(csv, RowFormat::Csv, {"v"}).Write({c.value});
    RowWriter(json, RowFormat::Json, {"v"}).Write({c.value});
    EXPECT_EQ(csv.str(), "v\r\n" + c.csv + "\r\n");
    EXPECT_EQ(json.str(), "{\"v\":" + c.json + "}\n");
  }
}

// JSON text holds no raw control character: each of 0x00 to 0x1F is escaped (the table above
// has 0x1F written escaped next to 0x7F, which JSON allows raw).
TEST(RowFormatTest, JsonEscapesEveryControlCharacter) {
  for (char c = 0; c < 0x20; ++c) {
    const std::string json = JsonString(std::string(1, c));
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_EQ(json.find(c), std::string::npos) << json;
    EXPECT_EQ(json.substr(0, 2), "\"\\");
  }
}

// Header names are quoted as values are. (Many records under one header: the command-line
// test's export and audit.)
TEST(RowFormatTest, RecordsFollowTheHeaderInColumnOrder) {
  std::ostringstream csv, json;
  const std::vector<Variant> record{Variant(int32_t{2}), Variant(""), Variant(3.5)};
  RowWriter(csv, RowFormat::Csv, {"Id", "Note, long", "Qty \"kg\""}).Write(record);
  RowWriter(json, RowFormat::Json, {"Id", "Note, long", "Qty \"kg\""}).Write(record);
  EXPECT_EQ(csv.str(), "Id,\"Note, long\",\"Qty \"\"kg\"\"\"\r\n2,\"\",3.5\r\n");
  EXPECT_EQ(json.str(), "{\"Id\":2,\"Note, long\":\"\",\"Qty \\\"kg\\\"\":3.5}\n");
  // A short record is filled with nulls, a long one cut to the header.
  std::ostringstream cut;
  RowWriter writer(cut, RowFormat::Json, {"a", "b"});
  writer.Write({Variant(int32_t{1})});
  writer.Write({Variant(int32_t{1}), Variant(int32_t{2}), Variant(int32_t{3})});
  EXPECT_EQ(cut.str(), "{\"a\":1,\"b\":null}\n{\"a\":1,\"b\":2}\n");
}

// A byte array: the bytes of `text`.
Variant Bytes(std::string_view text) {
  platform::SafeArray array(platform::VarType::Byte, {{0, static_cast<int32_t>(text.size())}});
  for (size_t i = 0; i < text.size(); ++i)
    array.Set(static_cast<int32_t>(i), Variant::Byte(static_cast<uint8_t>(text[i])));
  return Variant(std::move(array));
}

// Binary columns: named for their encoding, every byte kept (base64 padding at one, two and
// three bytes), empty apart from NULL; a binary value outside them, or another value in one,
// is refused before any of its record is written.
TEST(RowFormatTest, BinaryColumnsAreHexInCsvAndBase64InJson) {
  struct Case {
    Variant value;
    std::string csv, json;
  };
  const Case cases[] = {{Bytes(std::string("\0\xFF\"\r\n,", 6)), "0x00FF220D0A2C", "\"AP8iDQos\""},
                        {Bytes("a"), "0x61", "\"YQ==\""},
                        {Bytes("ab"), "0x6162", "\"YWI=\""},
                        {Bytes("abc"), "0x616263", "\"YWJj\""},
                        {Bytes(""), "0x", "\"\""},
                        {Variant::Null(), "", "null"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.csv);
    std::ostringstream csv, json;
    RowWriter(csv, RowFormat::Csv, {"Id", "Data"}, {false, true})
        .Write({Variant(int32_t{1}), c.value});
    RowWriter(json, RowFormat::Json, {"Id", "Data"}, {false, true})
        .Write({Variant(int32_t{1}), c.value});
    EXPECT_EQ(csv.str(), "Id,Data (hex)\r\n1," + c.csv + "\r\n");
    EXPECT_EQ(json.str(), "{\"Id\":1,\"Data (base64)\":" + c.json + "}\n");
  }
  for (RowFormat format : {RowFormat::Csv, RowFormat::Json}) {
    std::ostringstream out;
    RowWriter writer(out, format, {"Data", "Name"}, {true, false});
    const std::string header = out.str();
    platform::SafeArray longs(platform::VarType::Long, {{0, 1}});  // an array, but not of bytes
    longs.Set(0, Variant(int32_t{7}));
    const std::pair<std::vector<Variant>, std::string> refused[] = {
        {{Bytes("x"), Variant(std::move(longs))}, " value cannot be written as text"},
        {{Bytes("x"), Bytes("y")}, "the column \"Name\" holds binary data but is not declared"},
        {{Variant("x"), Variant("y")}, " holds a value of type String; convert the column"},
        {{Variant(int32_t{7}), Variant("y")}, " holds a value of type Integer;"},
        {{Variant(0.5), Variant("y")}, " holds a value of type Double;"},
        {{Variant::Date(2.0), Variant("y")}, " holds a value of type Date;"}};
    for (const auto& [record, why] : refused) {
      try {
        writer.Write(record);
        ADD_FAILURE() << why;
      } catch (const platform::ComError& e) {
        EXPECT_EQ(e.number(), 13);
        EXPECT_NE(e.description().find(why), std::string::npos) << e.description();
      }
    }
    EXPECT_EQ(out.str(), header);
  }
}

// Streamed records: whole numbers with every digit at the edges of the exact double range and
// of 64 bits, a decimal with all its digits, an empty text told from NULL in both formats.
TEST(RowFormatTest, StreamedValuesKeepEveryDigitAndTellEmptyFromNull) {
  using host::StreamValue;
  constexpr int64_t k53 = int64_t{1} << 53;
  const int64_t integers[] = {k53 - 1, k53, k53 + 1, -k53 - 1, INT64_MAX, INT64_MIN};
  for (int64_t i : integers) {
    StreamValue v;
    v.kind = StreamValue::Integer;
    v.i = i;
    std::ostringstream csv, json;
    RowWriter(csv, RowFormat::Csv, {"v"}).Append(&v);
    RowWriter(json, RowFormat::Json, {"v"}).Append(&v);
    EXPECT_EQ(csv.str(), "v\r\n" + std::to_string(i) + "\r\n");
    EXPECT_EQ(json.str(), "{\"v\":" + std::to_string(i) + "}\n");
  }
  StreamValue row[4];
  row[1].kind = StreamValue::Text;  // empty
  row[2].kind = StreamValue::Real;
  row[2].d = -0.25;
  row[3].kind = StreamValue::Decimal;
  row[3].bytes = "-12345678901234567890.10";
  std::ostringstream csv, json;
  RowWriter(csv, RowFormat::Csv, {"n", "e", "r", "d"}).Append(row);
  RowWriter(json, RowFormat::Json, {"n", "e", "r", "d"}).Append(row);
  EXPECT_EQ(csv.str(), "n,e,r,d\r\n,\"\",-0.25,-12345678901234567890.10\r\n");
  EXPECT_EQ(json.str(), "{\"n\":null,\"e\":\"\",\"r\":-0.25,\"d\":-12345678901234567890.10}\n");
}

// Appended records go out together; one refused among them leaves nothing of itself behind.
TEST(RowFormatTest, ARefusedStreamedRecordLeavesNoPartBehind) {
  using host::StreamValue;
  std::ostringstream out;
  StreamValue good[2], bad[2];
  good[0].kind = bad[0].kind = StreamValue::Integer;
  good[0].i = 1;
  bad[0].i = 2;
  good[1].kind = StreamValue::Bytes;
  good[1].bytes = "\x01";
  bad[1].kind = StreamValue::Decimal;  // a number in a binary column
  bad[1].bytes = "1.5";
  {
    RowWriter writer(out, RowFormat::Csv, {"Id", "Data"}, {false, true});
    writer.Append(good);
    try {
      writer.Append(bad);
      ADD_FAILURE() << "a decimal in a binary column was written";
    } catch (const platform::ComError& e) {
      EXPECT_NE(e.description().find("holds a value of type Decimal;"), std::string::npos);
    }
    writer.Append(good);
    writer.Flush();
    EXPECT_EQ(out.str(), "Id,Data (hex)\r\n1,0x01\r\n1,0x01\r\n");
  }
}

TEST(RowFormatTest, FormatNamesAreExact) {
  EXPECT_EQ(ParseRowFormat("csv"), RowFormat::Csv);
  EXPECT_EQ(ParseRowFormat("json"), RowFormat::Json);
  for (const char* bad : {"CSV", "jsonl", ""}) EXPECT_FALSE(ParseRowFormat(bad)) << bad;
}

TEST(LoadProgress, TextGroupsThousands) {
  // clang-format off
  const std::pair<int64_t, const char*> cases[] = {
      {0, "Loading: 0 rows so far"}, {999, "Loading: 999 rows so far"},
      {65536, "Loading: 65,536 rows so far"}, {1234567, "Loading: 1,234,567 rows so far"}};
  // clang-format on
  for (const auto& [rows, text] : cases) EXPECT_EQ(LoadProgressText(rows), text);
}

TEST(LoadProgress, ReportsGoToTheSinkInPlaceOfTheirStateAndNowhereWithout) {
  platform::ProcessState state, other;
  std::vector<int64_t> first, second;
  SetLoadProgressSink(state, [&](int64_t rows) { first.push_back(rows); });
  ReportLoadProgress(state, 10);
  ReportLoadProgress(other, 15);  // another session's state has a sink of its own
  LoadProgressSink replaced =
      SetLoadProgressSink(state, [&](int64_t rows) { second.push_back(rows); });
  ReportLoadProgress(state, 20);
  replaced(30);
  SetLoadProgressSink(state, nullptr);
  ReportLoadProgress(state, 40);
  EXPECT_EQ(first, (std::vector<int64_t>{10, 30}));
  EXPECT_EQ(second, (std::vector<int64_t>{20}));
}

}  // namespace
}  // namespace tabulo::container
