// Navigation, errors and written values of the cursor record set (over an in-memory source).
#include "host/cursor_record_set.h"

#include <gtest/gtest.h>

#include "host/memory_row_source.h"

namespace tabulo::host {
namespace {

using platform::ComError;
using platform::Variant;

std::shared_ptr<RecordSet> Numbers(int n) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 0; i < n; ++i) {
    std::string text = "r";
    text += std::to_string(i);
    rows.push_back({Variant(int32_t{i}), Variant(text)});
  }
  return NewCursorRecordSet(NewMemoryRowSource({{"N", 3, 4}, {"S", 200, 10}}, std::move(rows)));
}

uint32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.code();
  }
  return 0;
}

int32_t Current(RecordSet& rs) {
  return rs.Item(0).Value().AsLong();
}

TEST(CursorRecordSet, OpensOnFirstRecord) {
  auto rs = Numbers(5);
  EXPECT_EQ(rs->State(), 1);
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 5);
  EXPECT_EQ(Current(*rs), 0);
  EXPECT_EQ(rs->Item(1).Value(), Variant("r0"));
}

TEST(CursorRecordSet, MoveFromFirstToMiddleLastAndPastTheEnd) {
  auto rs = Numbers(10);
  rs->MoveFirst();
  rs->Move(4);
  EXPECT_EQ(Current(*rs), 4);
  EXPECT_FALSE(rs->Eof() || rs->Bof());
  rs->MoveFirst();
  rs->Move(9);
  EXPECT_EQ(Current(*rs), 9);
  EXPECT_FALSE(rs->Eof());
  rs->MoveFirst();
  rs->Move(10);
  EXPECT_TRUE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(ErrorOf([&] { rs->Item(0).Value(); }), kErrNoCurrentRecord);
  rs->MovePrevious();
  EXPECT_EQ(Current(*rs), 9);
  // Far beyond the end, with no overflow.
  rs->MoveFirst();
  rs->Move(INT64_MAX);
  EXPECT_TRUE(rs->Eof());
  rs->Move(INT64_MIN);
  EXPECT_TRUE(rs->Bof());
  EXPECT_FALSE(rs->Eof());
}

TEST(CursorRecordSet, StepsAcrossBothEnds) {
  auto rs = Numbers(2);
  rs->MoveNext();
  EXPECT_EQ(Current(*rs), 1);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), kErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Move(0); }), kErrNoCurrentRecord);
  rs->MovePrevious();
  rs->MovePrevious();
  EXPECT_EQ(Current(*rs), 0);
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), kErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Move(-1); }), kErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Item(1).SetValue(Variant("x")); }), kErrNoCurrentRecord);
  rs->MoveNext();
  EXPECT_EQ(Current(*rs), 0);
  rs->Move(-1);
  EXPECT_TRUE(rs->Bof());
  rs->Move(2);
  EXPECT_EQ(Current(*rs), 1);
}

TEST(CursorRecordSet, EmptyIsBothEofAndBof) {
  auto rs = Numbers(0);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->Item(1).Name(), "S");
  for (auto move : std::vector<std::function<void()>>{
           [&] { rs->MoveFirst(); }, [&] { rs->MoveNext(); }, [&] { rs->MovePrevious(); },
           [&] { rs->Move(1); }, [&] { rs->Item(0).Value(); }}) {
    EXPECT_EQ(ErrorOf(move), kErrNoCurrentRecord);
  }
}

TEST(CursorRecordSet, WrittenValueStaysWithItsRecord) {
  auto rs = Numbers(3);
  rs->Move(1);
  rs->Item(1).SetValue(Variant("changed"));
  EXPECT_EQ(rs->Item(1).Value(), Variant("changed"));
  EXPECT_EQ(rs->Item(0).Value(), Variant(int32_t{1}));
  rs->MoveNext();
  EXPECT_EQ(rs->Item(1).Value(), Variant("r2"));
  rs->MoveFirst();
  EXPECT_EQ(rs->Item(1).Value(), Variant("r0"));
  rs->Move(1);
  EXPECT_EQ(rs->Item(1).Value(), Variant("changed"));
  rs->Item(1).SetValue(Variant::Null());
  EXPECT_TRUE(rs->Item(1).Value().IsNull());
}

TEST(CursorRecordSet, ClosedRaisesEverywhereButState) {
  auto rs = Numbers(3);
  Field& field = rs->Item(0);
  rs->Close();
  EXPECT_EQ(rs->State(), 0);
  for (auto call : std::vector<std::function<void()>>{
           [&] { rs->Eof(); }, [&] { rs->Bof(); }, [&] { rs->RecordCount(); },
           [&] { rs->MoveFirst(); }, [&] { rs->Move(1); }, [&] { rs->MoveNext(); },
           [&] { rs->MovePrevious(); }, [&] { rs->Close(); }, [&] { rs->FieldCount(); },
           [&] { rs->Item(0); }, [&] { field.Value(); }, [&] { field.Name(); }}) {
    EXPECT_EQ(ErrorOf(call), kErrClosed);
  }
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
}

TEST(CursorRecordSet, FieldIndexOutOfRange) {
  auto rs = Numbers(1);
  EXPECT_EQ(ErrorOf([&] { rs->Item(2); }),
            static_cast<uint32_t>(platform::kErrSubscriptOutOfRange));
  EXPECT_EQ(ErrorOf([&] { rs->Item(-1); }),
            static_cast<uint32_t>(platform::kErrSubscriptOutOfRange));
  EXPECT_EQ(rs->Item(0).Type(), 3);
  EXPECT_EQ(rs->Item(1).DefinedSize(), 10);
}

TEST(MemoryRowSource, RefusesRowsOfTheWrongWidth) {
  EXPECT_THROW(NewMemoryRowSource({{"A", 3, 4}}, {{Variant(int32_t{1}), Variant(int32_t{2})}}),
               ComError);
}

}  // namespace
}  // namespace tabulo::host
