// The property sheet: the control's four pages from the library's class factories, in the
// control's order, initialised, painted when shown, applied when changed, ended on close.
#include <gtest/gtest.h>

#include "library/classes.h"
#include "page_fixture.h"

namespace tabulo::pages::testing {
namespace {

using PropertySheetTest = PageTest;

TEST_F(PropertySheetTest, CreatesTheControlsPagesInOrderThroughTheLibrary) {
  Show<platform::PropertyPage>();
  const std::pair<const char*, const char*> pages[] = {{"UsrControlProperties", "General"},
                                                       {"DSNSelection", "Data Source Properties"},
                                                       {"ColumnProperties", "Column Properties"},
                                                       {"eSignature", "1210 Not Found"}};
  ASSERT_EQ(sheet().page_count(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(pages[i].first);
    platform::PropertyPage& page = sheet().page(i);
    EXPECT_EQ(page.ClassName(), pages[i].first);
    EXPECT_EQ(page.caption(), pages[i].second);
    EXPECT_EQ(page.SelectedControls().front().get(), &ctl());
    library::ClassFactory* factory = library::FindClass(std::string("VELTRA.") + pages[i].first);
    ASSERT_NE(factory, nullptr);
    auto made = factory->CreateInstance(box());
    EXPECT_EQ(made->ClassName(), pages[i].first);
    EXPECT_EQ(factory->QueryInterface(made, std::string("_") + pages[i].first), made);
  }
  // Changed is the page's automation property; Apply reaches only changed pages.
  platform::PropertyPage& general = sheet().page(0);
  general.Put("Changed", platform::Variant(true));
  ctl().SetAllowUpdates(true);  // the page still shows it unticked
  Debug();
  sheet().Apply();
  EXPECT_EQ(Debug(), (std::vector<std::string>{"UsrControlProperties.ApplyChanges()"}));
  EXPECT_FALSE(ctl().AllowUpdates());
  sheet().Close();
  EXPECT_TRUE(sheet().closed());
  EXPECT_EQ(sheet().current(), nullptr);
}

}  // namespace
}  // namespace tabulo::pages::testing
