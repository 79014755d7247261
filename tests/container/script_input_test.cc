#include "container/script/input.h"

#include <gtest/gtest.h>

#include "container/fake_script_host.h"
#include "container/script/runner.h"

namespace tabulo::container {
namespace {

using test_support::ExpectFault;
using test_support::FakeScriptHost;
using test_support::Ran;

TEST(ScriptInput, TypeReplacesTheOpenEditorsTextAndNumbersAsWritten) {
  FakeScriptHost host;
  Ran(host, "click 3 2\ntype \"abc\"\ntype 007\n");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(host.grid()->Row(), 3);
  EXPECT_EQ(host.grid()->Col(), 2);
  // Shown but without the focus, the editor takes no typing.
  host.grid()->SetFocus();
  ExpectFault(host, "type \"w\"\n", 1, "no editor is open");
  EXPECT_EQ(host.editor()->text(), "007");
  EXPECT_EQ(KeyCodeByName("pageDOWN"), platform::kKeyPageDown);
  EXPECT_EQ(KeyCodeByName("Enter "), std::nullopt);
}

TEST(ScriptInput, AControlWithoutAGridRefusesMouseAndKeys) {
  FakeScriptHost host;
  host.DropWidgets();
  ExpectFault(host, "click 1 1\n", 1, "click: the control has no grid");
  ExpectFault(host, "type \"a\"\n", 1, "no editor is open");
}

}  // namespace
}  // namespace tabulo::container
