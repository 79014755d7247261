// The eSignature page: enabling step by step, the level check and applying the eight
// properties. Its first paint (the categories, what starts disabled) and applying every
// property ticked are in the design_esignature acceptance script.
#include <gtest/gtest.h>

#include "page_fixture.h"
#include "pages/esignature.h"

namespace tabulo::pages::testing {
namespace {

using ESignatureTest = PageTest;

// Without a security manager the first paint still loads the rest of the page and says why
// the list is empty; the stored category is kept by applying.
TEST_F(ESignatureTest, WithoutASecurityManagerTheRestOfThePageLoads) {
  ctl().PutRef("m_SecMgr", platform::Variant(std::shared_ptr<platform::Dispatch>()));
  ctl().ESignatureRequired = true;
  ctl().ESignatureReasonCategory = "Maintenance";
  eSignature& page = Show<eSignature>();
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(page.cboReasonCategory.list_count(), 0);
  EXPECT_EQ(page.chkESignatureRequired.value(), 1);
  EXPECT_TRUE(page.txtCommandLevel1.enabled());
  page.SetChanged(true);
  sheet().Apply();
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Maintenance");
}

TEST_F(ESignatureTest, TickingEnablesStepByStep) {
  eSignature& page = Show<eSignature>();
  EXPECT_FALSE(page.Changed());
  EXPECT_EQ(page.txtESignaturePrompt.back_color(), kSysInactiveCaptionText);
  struct Step {
    platform::CheckBox* box;
    bool level2, category;
  };
  for (const Step& s : {Step{&page.chkESignatureRequired, false, false},
                        Step{&page.chkDualSignatureRequired, true, false},
                        Step{&page.chkESignatureReasonCodeRequired, true, true}}) {
    SCOPED_TRACE(s.box->name());
    s.box->UserClick();
    EXPECT_TRUE(page.txtCommandLevel1.enabled());
    EXPECT_EQ(page.txtCommandLevel2.enabled(), s.level2);
    EXPECT_EQ(page.cboReasonCategory.enabled(), s.category);
    EXPECT_EQ(page.cboReasonCategory.back_color(), FieldColor(s.category));
  }
  EXPECT_TRUE(page.Changed());
}

TEST_F(ESignatureTest, LevelsOutOfRangeAreSaidButKeptAsTyped) {
  eSignature& page = Show<eSignature>();
  const std::pair<const char*, size_t> rows[] = {{"6", 0},  {"64", 1}, {"63", 0},
                                                 {"-1", 1}, {"-", 0},  {"", 0}};
  for (const auto& [typed, boxes] : rows) {
    SCOPED_TRACE(typed);
    page.txtCommandLevel1.set_text(typed);
    EXPECT_EQ(Boxes().size(), boxes);
    EXPECT_EQ(page.txtCommandLevel1.text(), typed);
  }
}

TEST_F(ESignatureTest, ApplyWritesTheEightProperties) {
  ctl().ESignatureReasonCategory = "Retired";  // not offered: kept when nothing is chosen
  eSignature& page = Show<eSignature>();
  page.chkESignatureRequired.UserClick();
  page.txtCommandLevel1.set_text("64");
  page.txtCommandLevel2.set_text("x");  // not a number: the level stays
  sheet().Apply();
  EXPECT_TRUE(ctl().ESignatureRequired);
  EXPECT_FALSE(ctl().ESignatureReasonCodeRequired);
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Retired");
  EXPECT_EQ(ctl().ESignature1CommandLevel, 64);
  EXPECT_EQ(ctl().ESignature2CommandLevel, -1);
  page.cboReasonCategory.set_list_index(0);
  page.txtCommandLevel1.set_text("");
  sheet().Apply();
  EXPECT_EQ(ctl().ESignatureReasonCategory, "Correction");
  EXPECT_EQ(ctl().ESignature1CommandLevel, -1);
}

}  // namespace
}  // namespace tabulo::pages::testing
