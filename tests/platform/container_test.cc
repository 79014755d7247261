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

TEST(HeadlessContainer, MessageBoxesTakeQueuedAnswersThenTheDefaultButton) {
  HeadlessContainer c;
  c.QueueAnswer(kIdNo);
  c.QueueAnswer(kIdYes);
  EXPECT_EQ(c.MsgBox("Save changes?", kMbYesNo | kMbQuestion, ""), kIdNo);
  EXPECT_EQ(c.MsgBox("Really?", kMbYesNo, "Confirm"), kIdYes);
  // Nothing queued: each style's default button answers.
  // clang-format off
  const std::pair<int32_t, int> defaults[] = {
      {kMbOkOnly, kIdOk}, {kMbYesNo | kMbCritical, kIdYes},
      {kMbOkCancel | kMbDefaultButton2, kIdCancel}, {kMbYesNoCancel | kMbDefaultButton3, kIdCancel},
      {kMbYesNo | kMbDefaultButton3, kIdYes},  // no third button
      {kMbRetryCancel | kMbExclamation, kIdRetry}, {kMbAbortRetryIgnore | kMbDefaultButton2, kIdRetry}};
  // clang-format on
  for (auto [style, answer] : defaults) EXPECT_EQ(c.MsgBox("x", style, ""), answer) << style;
  // An unknown button set is refused before showing and leaves the queue alone.
  c.QueueAnswer(kIdOk);
  EXPECT_EQ(ErrorOf([&] { c.MsgBox("x", 6, ""); }), 5);
  EXPECT_EQ(c.pending_answers(), 1u);
  ASSERT_EQ(c.message_boxes().size(), 9u);
  const MsgBoxRecord& first = c.message_boxes()[0];
  // The default title, as shown.
  EXPECT_EQ(first.text + "|" + std::to_string(first.style) + "|" + first.title,
            "Save changes?|36|Tabulo");
  EXPECT_EQ(c.message_boxes()[1].title, "Confirm");
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(c.message_boxes()[i].answered, i < 2) << i;
}

TEST(HeadlessContainer, DialogsRaise32755WhenCancelledOrUnansweredAndPickTheColour) {
  HeadlessContainer c;
  c.QueueDialogAnswer(DialogAnswer::Cancel());
  std::vector<Variant> args{Variant("keep")};
  EXPECT_EQ(test_support::ErrorText([&] { c.ShowDialog("PropertyPages", args); }),
            "32755: Cancel was selected.");
  EXPECT_EQ(ErrorOf([&] { c.ShowDialog("PropertyPages", args); }), 32755);  // nothing queued
  EXPECT_EQ(args[0], Variant("keep"));
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant(int32_t{0xFF00})));
  EXPECT_EQ(c.ChooseColor(0xFFFFFF), std::optional<int32_t>(0xFF00));
  EXPECT_EQ(c.ChooseColor(0x123456), std::nullopt);
  ASSERT_EQ(c.dialogs().size(), 4u);
  EXPECT_TRUE(c.dialogs()[0].cancelled && c.dialogs()[1].cancelled);
  EXPECT_EQ(c.dialogs()[2].dialog, "Color");
  EXPECT_EQ(c.dialogs()[2].args,
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
  StdFont unchanged;
  EXPECT_FALSE(c.ChooseFont(unchanged));
  EXPECT_TRUE(unchanged == StdFont());
  c.QueueDialogAnswer(DialogAnswer::Ok(Variant("not a font")));
  EXPECT_EQ(ErrorOf([&] { c.ChooseFont(unchanged); }), 13);
}

TEST(HeadlessContainer, AmbientChangesReachListenersInOrderPastFailingOrRemovedOnes) {
  HeadlessContainer c;
  std::vector<std::string> calls;
  AmbientListenerToken third = 0;
  c.AddAmbientListener([&](std::string_view n) {
    calls.push_back("a:" + std::string(n));
    c.RemoveAmbientListener(third);
    throw ComError(5, "listener failed");
  });
  AmbientListenerToken b =
      c.AddAmbientListener([&](std::string_view n) { calls.push_back("b:" + std::string(n)); });
  third = c.AddAmbientListener([&](std::string_view n) { calls.push_back("c:" + std::string(n)); });
  c.SetAmbientUserMode(false);
  EXPECT_FALSE(c.AmbientUserMode());
  c.SetAmbientDisplayName("Grid1");
  c.RemoveAmbientListener(b);
  auto font = StdFont::Create();
  c.SetAmbientFont(font);
  EXPECT_EQ(c.AmbientFont(), font);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:UserMode", "b:UserMode", "a:DisplayName",
                                             "b:DisplayName", "a:Font"}));
  EXPECT_EQ(ErrorOf([&] { c.SetAmbientFont(nullptr); }), 380);
}

TEST(HeadlessContainer, ScalesMousePointerAndPopupMenus) {
  HeadlessContainer c;
  EXPECT_EQ(c.ScaleX(10, kScaleCharacters, kScaleTwips), 1200.0);
  EXPECT_EQ(c.ScaleX(1260, kScaleTwips, kScaleCharacters), 10.5);
  EXPECT_EQ(c.ScaleY(2, kScaleCharacters, kScaleTwips), 480.0);
  EXPECT_EQ(c.ScaleX(100, kScalePixels, kScaleTwips), 1500.0);
  EXPECT_EQ(c.ScaleY(30, kScaleTwips, kScalePixels), 2.0);
  EXPECT_EQ(c.ScaleX(1, kScaleInches, kScaleTwips), 1440.0);
  EXPECT_EQ(ErrorOf([&] { c.ScaleX(1, 0, kScaleTwips); }), 5);
  EXPECT_EQ(ErrorOf([&] { c.ScaleY(1, kScaleTwips, 8); }), 5);
  EXPECT_EQ(c.MousePointer(), kPointerDefault);
  c.SetMousePointer(kPointerHourglass);
  EXPECT_EQ(c.MousePointer(), 11);
  c.SetMousePointer(kPointerDefault);
  EXPECT_EQ(ErrorOf([&] { c.SetMousePointer(16); }), 380);
  EXPECT_EQ(c.pointer_history(), (std::vector<int16_t>{11, 0}));
  c.QueuePopupChoice(0);
  c.QueuePopupChoice(5);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 100, 200), 0);
  EXPECT_EQ(c.PopupMenu({"Refresh"}, 0, 0), -1);           // out of range
  EXPECT_EQ(c.PopupMenu({"Refresh", "Other"}, 0, 0), -1);  // nothing queued
  ASSERT_EQ(c.popups().size(), 3u);
  EXPECT_EQ(c.popups()[0].x, 100);
}

TEST(DebugOutput, SinksRecordSplitIntoLinesNestOrWriteToStderr) {
  RecordingDebugSink outer, inner;
  ScopedDebugSink outer_scope(&outer);
  {
    ScopedDebugSink inner_scope(&inner);
    EXPECT_EQ(CurrentDebugSink(), &inner);
    OutputDebugString("Tabulo: first\r\n");
    OutputDebugString("Tabulo: sec");
    OutputDebugString("ond\nthird");
    {
      ScopedDebugSink none(nullptr);
      OutputDebugString("nobody listens\r\n");  // discarded
    }
  }
  EXPECT_EQ(CurrentDebugSink(), &outer);
  OutputDebugString("to outer\n");
  EXPECT_EQ(inner.writes(), (Lines{"Tabulo: first\r\n", "Tabulo: sec", "ond\nthird"}));
  EXPECT_EQ(inner.lines(), (Lines{"Tabulo: first", "Tabulo: second"}));
  EXPECT_EQ(inner.pending(), "third");
  EXPECT_EQ(outer.lines(), Lines{"to outer"});
  inner.Clear();
  EXPECT_TRUE(inner.writes().empty() && inner.lines().empty() && inner.pending().empty());
  StderrDebugSink err;
  ScopedDebugSink err_scope(&err);
  testing::internal::CaptureStderr();
  OutputDebugString("Tabulo: to stderr\r\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tabulo: to stderr\r\n");
}

}  // namespace
}  // namespace tabulo::platform
