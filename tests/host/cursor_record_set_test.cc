// Navigation, errors and written values of the cursor record set (over an in-memory source).
#include "host/cursor_record_set.h"

#include <gtest/gtest.h>

#include "common/error_of.h"
#include "host/memory_row_source.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::Variant;
using Calls = std::vector<std::function<void()>>;

// N 0..n-1 and S "r0".."r<n-1>".
std::shared_ptr<RecordSet> Numbers(int n) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < n; ++i)
    rows.push_back({Variant(int32_t{i}), Variant(std::string("r").append(std::to_string(i)))});
  return NewCursorRecordSet(
      NewMemoryRowSource({{"N", adInteger, 4}, {"S", adVarChar, 10}}, std::move(rows)));
}

// The error code a call raised, 0 for none.
uint32_t ErrorOf(const std::function<void()>& f) {
  return static_cast<uint32_t>(test_support::ErrorOf(f));
}

// "B" at BOF, "E" at EOF, "BE" for both, else the current N.
std::string Where(RecordSet& rs) {
  if (rs.Bof() || rs.Eof()) return std::string(rs.Bof() ? "B" : "") + (rs.Eof() ? "E" : "");
  return std::to_string(rs.Item(0).Value().AsLong());
}

TEST(CursorRecordSet, OpensOnFirstRecordAndMovesAcrossBothEnds) {
  auto rs = Numbers(10);
  EXPECT_EQ(rs->State(), 1);
  EXPECT_EQ(rs->RecordCount(), 10);
  EXPECT_EQ(Where(*rs) + rs->Item(1).Value().AsString(), "0r0");
  std::string path;
  for (int64_t k : {int64_t{4}, int64_t{9}, int64_t{10}, INT64_MAX}) {
    rs->MoveFirst();
    rs->Move(k);
    path += Where(*rs) + " ";
  }
  rs->Move(INT64_MIN);  // far beyond either end, with no overflow
  path += Where(*rs) + " ";
  rs->Move(6);
  rs->Move(8);  // past the end from the middle
  path += Where(*rs);
  EXPECT_EQ(path, "4 9 E E B E");
  rs->MoveFirst();
  rs->Move(10);
  EXPECT_EQ(ErrorOf([&] { rs->Item(0).Value(); }), kErrNoCurrentRecord);
  rs->MovePrevious();
  EXPECT_EQ(Where(*rs), "9");
}

TEST(CursorRecordSet, StepsAcrossBothEndsAndRaisesBeyondThem) {
  auto rs = Numbers(2);
  std::string path;
  const Calls steps = {[&] { rs->MoveNext(); },     [&] { rs->MoveNext(); },
                       [&] { rs->MovePrevious(); }, [&] { rs->MovePrevious(); },
                       [&] { rs->MovePrevious(); }, [&] { rs->MoveNext(); },
                       [&] { rs->Move(-1); },       [&] { rs->Move(2); }};
  for (const auto& step : steps) {
    step();
    path += Where(*rs) + " ";
  }
  EXPECT_EQ(path, "1 E 1 0 B 0 B 1 ");
  rs->Move(1);
  for (const auto& beyond : Calls{[&] { rs->MoveNext(); }, [&] { rs->Move(0); }})
    EXPECT_EQ(ErrorOf(beyond), kErrNoCurrentRecord);
  rs->MoveFirst();
  rs->MovePrevious();
  for (const auto& beyond : Calls{[&] { rs->MovePrevious(); }, [&] { rs->Move(-1); },
                                  [&] { rs->Item(1).SetValue(Variant("x")); }})
    EXPECT_EQ(ErrorOf(beyond), kErrNoCurrentRecord);
}

TEST(CursorRecordSet, WrittenValueStaysWithItsRecord) {
  auto rs = Numbers(3);
  rs->Move(1);
  rs->Item(1).SetValue(Variant("changed"));
  std::vector<Variant> seen = {rs->Item(1).Value(), rs->Item(0).Value()};
  rs->MoveNext();
  seen.push_back(rs->Item(1).Value());
  rs->MoveFirst();
  seen.push_back(rs->Item(1).Value());
  rs->Move(1);
  seen.push_back(rs->Item(1).Value());
  EXPECT_EQ(seen, (std::vector<Variant>{Variant("changed"), Variant(int32_t{1}), Variant("r2"),
                                        Variant("r0"), Variant("changed")}));
  rs->Item(1).SetValue(Variant::Null());
  EXPECT_TRUE(rs->Item(1).Value().IsNull());
}

// An empty one is both EOF and BOF (its count and fields are the data server's zero-row test);
// a closed one raises everywhere but State; a field index outside the fields raises.
TEST(CursorRecordSet, EmptyClosedAndOutOfRangeRaiseTheirErrors) {
  auto empty = Numbers(0);
  EXPECT_EQ(Where(*empty), "BE");
  for (const auto& move : Calls{[&] { empty->MoveFirst(); }, [&] { empty->MoveNext(); },
                                [&] { empty->MovePrevious(); }, [&] { empty->Move(1); },
                                [&] { empty->Item(0).Value(); }})
    EXPECT_EQ(ErrorOf(move), kErrNoCurrentRecord);
  auto rs = Numbers(3);
  const uint32_t out_of_range = platform::kErrSubscriptOutOfRange;
  EXPECT_EQ(ErrorOf([&] { rs->Item(2); }), out_of_range);
  EXPECT_EQ(ErrorOf([&] { rs->Item(-1); }), out_of_range);
  Field& field = rs->Item(0);
  rs->Close();
  EXPECT_EQ(rs->State(), 0);
  for (const auto& call :
       Calls{[&] { rs->Eof(); }, [&] { rs->Bof(); }, [&] { rs->RecordCount(); },
             [&] { rs->MoveFirst(); }, [&] { rs->Move(1); }, [&] { rs->MoveNext(); },
             [&] { rs->MovePrevious(); }, [&] { rs->Close(); }, [&] { rs->FieldCount(); },
             [&] { rs->Item(0); }, [&] { field.Value(); }, [&] { field.Name(); }})
    EXPECT_EQ(ErrorOf(call), kErrClosed);
  auto closed = NewClosedRecordSet();
  EXPECT_EQ(closed->State(), 0);
  EXPECT_EQ(ErrorOf([&] { closed->RecordCount(); }), kErrClosed);
}

TEST(CursorRecordSet, ErrorTexts) {
  EXPECT_EQ(NoCurrentRecordError().description(),
            "Either BOF or EOF is True, or the current record has been deleted. Requested "
            "operation requires a current record.");
  EXPECT_EQ(NoCurrentRecordError().code(), 0x800A0BCDu);
  EXPECT_EQ(ClosedError().description(), "Operation is not allowed when the object is closed.");
  EXPECT_EQ(ClosedError().code(), 0x800A0E78u);
  // A memory source refuses rows of the wrong width.
  testing::Raised([] {
    NewMemoryRowSource({{"A", 3, 4}}, {{Variant(int32_t{1}), Variant(int32_t{2})}});
  });
}

}  // namespace
}  // namespace tabulo::host
