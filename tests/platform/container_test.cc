// The container the tests run in (message boxes, dialogs, ambient properties, scales, mouse
// pointer and popup menus) and the debug output sinks.
#include "platform/runtime/headless_container.h"

#include <gtest/gtest.h>

#include "common/error_of.h"
#include "platform/runtime/debug_output.h"
#include "platform/values/com_error.h"
#include "test_support.h"

namespace tabulo::platform {
using test_support::ErrorOf;
namespace {

using Lines = std::vector<std::string>;

TEST(HeadlessContainer, MessageBoxesTakeQueuedAnswersInOrder) {
  HeadlessContainer c;
  c.QueueAnswer(kIdNo);
  c.QueueAnswer(kIdYes);
  EXPECT_EQ(c.MsgBox("Save changes?", kMbYesNo | kMbQuestion, ""), kIdNo);
  EXPECT_EQ(c.MsgBox("Really?", kMbYesNo, "Confirm"), kIdYes);
  EXPECT_EQ(c.pending_answers(), 0u);
  ASSERT_EQ(c.message_boxes().size(), 2u);
  const MsgBoxRecord& first = c.message_boxes()[0];
  // The default title, as shown.
  EXPECT_EQ(first.text + "|" + std::to_string(first.style) + "|" + first.title,
            "Save changes?|36|Tabulo");
  EXPECT_EQ(first.answer, kIdNo);
  EXPECT_TRUE(first.answered);
  EXPECT_EQ(c.message_boxes()[1].title, "Confirm");
}

TEST(HeadlessContainer, UnansweredBoxesAnswerTheDefaultButton) {
  HeadlessContainer c;
  EXPECT_EQ(c.MsgBox("a", kMbOkOnly, ""), kIdOk);
  EXPECT_EQ(c.MsgBox("b", kMbYesNo | kMbCritical, ""), kIdYes);
  EXPECT_EQ(c.MsgBox("c", kMbOkCancel | kMbDefaultButton2, ""), kIdCancel);
  EXPECT_EQ(c.MsgBox("d", kMbYesNoCancel | kMbDefaultButton3, ""), kIdCancel);
  EXPECT_EQ(c.MsgBox("e", kMbYesNo | kMbDefaultButton3, ""), kIdYes);  // no third button
  EXPECT_EQ(c.MsgBox("f", kMbRetryCancel | kMbExclamation, ""), kIdRetry);
  EXPECT_EQ(c.MsgBox("g", kMbAbortRetryIgnore | kMbDefaultButton2, ""), kIdRetry);
  ASSERT_EQ(c.message_boxes().size(), 7u);
  for (const MsgBoxRecord& r : c.message_boxes()) EXPECT_FALSE(r.answered) << r.text;
}

TEST(HeadlessContainer, UnknownButtonSetIsRefusedBeforeShowing) {
  HeadlessContainer c;
  c.QueueAnswer(kIdOk);
  EXPECT_EQ(ErrorOf([&] { c.MsgBox("x", 6, ""); }), 5);
  EXPECT_TRUE(c.message_boxes().empty());
  EXPECT_EQ(c.pending_answers(), 1u);
}

TEST(HeadlessContainer, CancelledOrUnansweredDialogsRaise32755) {
  HeadlessContainer c;
  c.QueueDialogAnswer(DialogAnswer::Cancel());
  std::vector<Variant> args{Variant("keep")};
  EXPECT_EQ(test_support::ErrorText([&] { c.ShowDialog("PropertyPages", args); }),
            "32755: Cancel was selected.");
  EXPECT_EQ(ErrorOf([&] { c.ShowDialog("PropertyPages", args); }), 32755);  // nothing queued
  EXPECT_EQ(args[0], Variant("keep"));
  ASSERT_EQ(c.dialogs().size(), 2u);
  EXPECT_TRUE(c.dialogs()[0].cancelled);
  EXPECT_TRUE(c.dialogs()[1].cancelled);
}

TEST(HeadlessContainer, ColourPickerReturnsTheChoiceOrNothing) {
  HeadlessContainer c;
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant(int32_t{0xFF00})));
  EXPECT_EQ(c.ChooseColor(0xFFFFFF), std::optional<int32_t>(0xFF00));
  EXPECT_EQ(c.ChooseColor(0x123456), std::nullopt);
  ASSERT_EQ(c.dialogs().size(), 2u);
  EXPECT_EQ(c.dialogs()[0].dialog, "Color");
  EXPECT_EQ(c.dialogs()[0].args,
            (std::vector<Variant>{Variant(int32_t{0xFFFFFF}), Variant(int32_t{3})}));
}

TEST(HeadlessContainer, FontChooserChangesTheFontInPlace) {
  HeadlessContainer c;
  StdFont font;
  auto chosen = StdFont::Create();
  chosen->SetName("Arial");
  chosen->SetSize(12);
  chosen->SetWeight(800);
  chosen->SetUnderline(true);
  chosen->SetCharset(238);
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant(chosen)));
  EXPECT_TRUE(c.ChooseFont(font));
  // Bold is applied after Weight, as the font page does: 800 becomes 700.
  EXPECT_EQ(test_support::FontText(font), "Arial 120000 700 238 underline");
  auto shown = std::dynamic_pointer_cast<StdFont>(c.dialogs()[0].args[0].AsObject());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->name(), "MS Sans Serif");  // the dialog started from the font's state

  StdFont before = StdFont();
  StdFont unchanged;
  EXPECT_FALSE(c.ChooseFont(unchanged));
  EXPECT_TRUE(unchanged == before);

  c.QueueDialogAnswer(DialogAnswer::Ok(Variant("not a font")));
  EXPECT_EQ(ErrorOf([&] { c.ChooseFont(unchanged); }), 13);
}

TEST(HeadlessContainer, AmbientChangesReachListenersInOrder) {
  HeadlessContainer c;
  std::vector<std::string> calls;
  c.AddAmbientListener([&](std::string_view n) { calls.push_back("a:" + std::string(n)); });
  AmbientListenerToken b =
      c.AddAmbientListener([&](std::string_view n) { calls.push_back("b:" + std::string(n)); });
  c.SetAmbientUserMode(false);
  EXPECT_FALSE(c.AmbientUserMode());
  c.SetAmbientDisplayName("Grid1");
  EXPECT_EQ(calls, (std::vector<std::string>{"a:UserMode", "b:UserMode", "a:DisplayName",
                                             "b:DisplayName"}));
  c.RemoveAmbientListener(b);
  calls.clear();
  auto font = StdFont::Create();
  c.SetAmbientFont(font);
  EXPECT_EQ(c.AmbientFont(), font);
  EXPECT_EQ(calls, std::vector<std::string>{"a:Font"});
  EXPECT_EQ(ErrorOf([&] { c.SetAmbientFont(nullptr); }), 380);
}

TEST(HeadlessContainer, FailingOrRemovedListenersDoNotStopTheOthers) {
  HeadlessContainer c;
  std::vector<std::string> calls;
  AmbientListenerToken third = 0;
  c.AddAmbientListener([&](std::string_view) {
    calls.push_back("first");
    c.RemoveAmbientListener(third);
    throw ComError(5, "listener failed");
  });
  c.AddAmbientListener([&](std::string_view) { calls.push_back("second"); });
  third = c.AddAmbientListener([&](std::string_view) { calls.push_back("third"); });
  c.SetAmbientUserMode(true);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
}

TEST(Container, ScaleConversions) {
  HeadlessContainer c;
  EXPECT_EQ(c.ScaleX(10, kScaleCharacters, kScaleTwips), 1200.0);
  EXPECT_EQ(c.ScaleX(1260, kScaleTwips, kScaleCharacters), 10.5);
  EXPECT_EQ(c.ScaleY(2, kScaleCharacters, kScaleTwips), 480.0);
  EXPECT_EQ(c.ScaleX(100, kScalePixels, kScaleTwips), 1500.0);
  EXPECT_EQ(c.ScaleY(30, kScaleTwips, kScalePixels), 2.0);
  EXPECT_EQ(c.ScaleX(1, kScaleInches, kScaleTwips), 1440.0);
  EXPECT_EQ(ErrorOf([&] { c.ScaleX(1, 0, kScaleTwips); }), 5);
  EXPECT_EQ(ErrorOf([&] { c.ScaleY(1, kScaleTwips, 8); }), 5);
}

TEST(HeadlessContainer, MousePointerHistory) {
  HeadlessContainer c;
  EXPECT_EQ(c.MousePointer(), kPointerDefault);
  c.SetMousePointer(kPointerHourglass);
  EXPECT_EQ(c.MousePointer(), 11);
  c.SetMousePointer(kPointerDefault);
  EXPECT_EQ(ErrorOf([&] { c.SetMousePointer(16); }), 380);
  EXPECT_EQ(c.pointer_history(), (std::vector<int16_t>{11, 0}));
}

TEST(HeadlessContainer, PopupMenusAnswerFromTheQueue) {
  HeadlessContainer c;
  c.QueuePopupChoice(0);
  c.QueuePopupChoice(5);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 100, 200), 0);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 0, 0), -1);           // out of range
  EXPECT_EQ(c.PopupMenu({"Refresh", "Other"}, 0, 0), -1);  // nothing queued
  ASSERT_EQ(c.popups().size(), 3u);
  EXPECT_EQ(c.popups()[0].x, 100);
}

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
