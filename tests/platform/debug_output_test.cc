#include "platform/runtime/debug_output.h"

#include <gtest/gtest.h>

namespace tabulo::platform {
namespace {

TEST(DebugOutput, WithoutSinkTextIsDiscarded) {
  ScopedDebugSink none(nullptr);
  OutputDebugString("nobody listens\r\n");
  EXPECT_EQ(CurrentDebugSink(), nullptr);
}

TEST(DebugOutput, RecordingSinkKeepsWritesAndSplitsLines) {
  RecordingDebugSink sink;
  ScopedDebugSink scope(&sink);
  OutputDebugString("Tabulo: first\r\n");
  OutputDebugString("Tabulo: sec");
  OutputDebugString("ond\nthird");
  ASSERT_EQ(sink.writes().size(), 3u);
  EXPECT_EQ(sink.writes()[0], "Tabulo: first\r\n");
  ASSERT_EQ(sink.lines().size(), 2u);
  EXPECT_EQ(sink.lines()[0], "Tabulo: first");
  EXPECT_EQ(sink.lines()[1], "Tabulo: second");
  EXPECT_EQ(sink.pending(), "third");
  sink.Clear();
  EXPECT_TRUE(sink.writes().empty());
  EXPECT_TRUE(sink.lines().empty());
  EXPECT_TRUE(sink.pending().empty());
}

TEST(DebugOutput, ScopedSinkRestoresThePreviousOne) {
  RecordingDebugSink outer;
  RecordingDebugSink inner;
  ScopedDebugSink outer_scope(&outer);
  {
    ScopedDebugSink inner_scope(&inner);
    EXPECT_EQ(CurrentDebugSink(), &inner);
    OutputDebugString("to inner\n");
  }
  EXPECT_EQ(CurrentDebugSink(), &outer);
  OutputDebugString("to outer\n");
  ASSERT_EQ(inner.lines().size(), 1u);
  EXPECT_EQ(inner.lines()[0], "to inner");
  ASSERT_EQ(outer.lines().size(), 1u);
  EXPECT_EQ(outer.lines()[0], "to outer");
}

TEST(DebugOutput, StderrSinkWritesTheTextUnchanged) {
  StderrDebugSink sink;
  ScopedDebugSink scope(&sink);
  testing::internal::CaptureStderr();
  OutputDebugString("Tabulo: to stderr\r\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tabulo: to stderr\r\n");
}

}  // namespace
}  // namespace tabulo::platform
