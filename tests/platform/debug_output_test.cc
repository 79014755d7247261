// Debug output: the sink in force, recording and line splitting, and standard error.
#include "platform/runtime/debug_output.h"

#include <gtest/gtest.h>

namespace tabulo::platform {
namespace {

using Lines = std::vector<std::string>;

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
  EXPECT_EQ(sink.writes(), (Lines{"Tabulo: first\r\n", "Tabulo: sec", "ond\nthird"}));
  EXPECT_EQ(sink.lines(), (Lines{"Tabulo: first", "Tabulo: second"}));
  EXPECT_EQ(sink.pending(), "third");
  sink.Clear();
  EXPECT_TRUE(sink.writes().empty() && sink.lines().empty() && sink.pending().empty());
}

TEST(DebugOutput, ScopedSinkRestoresThePreviousOne) {
  RecordingDebugSink outer, inner;
  ScopedDebugSink outer_scope(&outer);
  {
    ScopedDebugSink inner_scope(&inner);
    EXPECT_EQ(CurrentDebugSink(), &inner);
    OutputDebugString("to inner\n");
  }
  EXPECT_EQ(CurrentDebugSink(), &outer);
  OutputDebugString("to outer\n");
  EXPECT_EQ(inner.lines(), Lines{"to inner"});
  EXPECT_EQ(outer.lines(), Lines{"to outer"});
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
