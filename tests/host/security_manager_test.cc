#include "host/security_manager.h"

#include <gtest/gtest.h>

#include "host/password_hash.h"
#include "platform/runtime/headless_container.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

using platform::DialogAnswer;
using platform::Variant;

// Users with a low hash cost, so that the suite stays fast.
SecurityConfig TestSecurity() {
  SecurityConfig s;
  s.users = {{"alice", 50, HashPassword("alice-pw", 1000)},
             {"bob", 20, HashPassword("bob-pw", 1000)},
             {"zero", 0, HashPassword("zero-pw", 1000)}};
  s.reason_categories = {"Correction", "Maintenance", "Calibration"};
  return s;
}

class SecurityManagerTest : public ::testing::Test {
 protected:
  SecurityManagerTest() {
    SecurityManagerOptions options;
    options.security = TestSecurity();
    manager_ = std::make_shared<SecurityManager>(container_, std::move(options));
  }

  void Sign(const std::string& user, const std::string& password, const std::string& reason = "") {
    container_.QueueDialogAnswer(
        DialogAnswer::Ok(Variant(true), {Variant(user), Variant(password), Variant(reason)}));
  }

  // RequestESignature by name, as the control calls it; the three ByRef texts come back in
  // args[7..9].
  std::vector<Variant> Request(bool dual, bool reason_required, bool allow_user_reason,
                               const std::string& category, Variant level1, Variant level2) {
    std::vector<Variant> args = {Variant("Sign the change"),
                                 Variant(dual),
                                 Variant(reason_required),
                                 Variant(allow_user_reason),
                                 Variant(category),
                                 std::move(level1),
                                 std::move(level2),
                                 Variant("in1"),
                                 Variant("in2"),
                                 Variant("in3")};
    manager_->InvokeByName("RequestESignature", platform::InvokeKind::Method, args);
    return args;
  }

  // The error a request raises (number and description), or fails the test.
  platform::ComError RequestError(bool dual, bool reason_required, bool allow_user_reason,
                                  const std::string& category, int32_t level1, int32_t level2) {
    std::vector<Variant> args = {
        Variant("p"),      Variant(dual),   Variant(reason_required), Variant(allow_user_reason),
        Variant(category), Variant(level1), Variant(level2),          Variant("in1"),
        Variant("in2"),    Variant("in3")};
    try {
      manager_->InvokeByName("RequestESignature", platform::InvokeKind::Method, args);
    } catch (const platform::ComError& e) {
      // A failed request leaves the caller's texts alone.
      EXPECT_EQ(args[7], Variant("in1"));
      EXPECT_EQ(args[9], Variant("in3"));
      return e;
    }
    ADD_FAILURE() << "the request succeeded";
    return platform::ComError(0, "");
  }

  platform::HeadlessContainer container_;
  std::shared_ptr<SecurityManager> manager_;
};

std::vector<std::string> Texts(const Variant& array) {
  std::vector<std::string> out;
  const platform::SafeArray& a = array.AsArray();
  for (int32_t i = a.LBound(); i <= a.UBound(); ++i) out.push_back(a.At(i).AsString());
  return out;
}

TEST_F(SecurityManagerTest, SingleSignatureReturnsUserAndReason) {
  Sign("alice", "alice-pw", "Correction");
  std::vector<Variant> args =
      Request(false, true, false, "", Variant(int32_t{50}), Variant(int32_t{99}));
  EXPECT_EQ(args[7], Variant("alice"));
  EXPECT_EQ(args[8], Variant(""));
  EXPECT_EQ(args[9], Variant("Correction"));
  EXPECT_EQ(container_.dialogs().size(), 1u);
}

TEST_F(SecurityManagerTest, DialogArgumentsFollowTheFixedLayout) {
  Sign("alice", "alice-pw", "Maintenance");
  Sign("bob", "bob-pw", "ignored");
  Request(true, true, false, "Maintenance", Variant(int32_t{40}), Variant(int32_t{15}));
  ASSERT_EQ(container_.dialogs().size(), 2u);
  for (int signer = 1; signer <= 2; ++signer) {
    const platform::DialogRecord& d = container_.dialogs()[signer - 1];
    SCOPED_TRACE(signer);
    EXPECT_EQ(d.dialog, "ESignature");
    ASSERT_EQ(d.args.size(), 10u);
    EXPECT_EQ(d.args[0], Variant(""));
    EXPECT_EQ(d.args[1], Variant(""));
    EXPECT_EQ(d.args[2], Variant(""));
    EXPECT_EQ(d.args[3], Variant("Sign the change"));
    EXPECT_EQ(d.args[4], Variant(int32_t{signer}));
    EXPECT_EQ(d.args[5], Variant(int32_t{signer == 1 ? 40 : 15}));
    // Only the first signer gives the reason.
    EXPECT_EQ(d.args[6], Variant(signer == 1));
    EXPECT_EQ(d.args[7], Variant(false));
    EXPECT_EQ(d.args[8], Variant("Maintenance"));
    EXPECT_EQ(Texts(d.args[9]),
              (std::vector<std::string>{"Correction", "Maintenance", "Calibration"}));
  }
}

TEST_F(SecurityManagerTest, DualSignatureNamesBothUsersAndKeepsTheFirstReason) {
  Sign("alice", "alice-pw", "Calibration");
  Sign("bob", "bob-pw", "something else");
  std::vector<Variant> args =
      Request(true, false, true, "", Variant(int32_t{50}), Variant(int32_t{20}));
  EXPECT_EQ(args[7], Variant("alice"));
  EXPECT_EQ(args[8], Variant("bob"));
  EXPECT_EQ(args[9], Variant("Calibration"));
}

TEST_F(SecurityManagerTest, CancelledOrUnansweredDialogRaisesCancel) {
  container_.QueueDialogAnswer(DialogAnswer::Cancel());
  platform::ComError e = RequestError(false, false, true, "", -1, -1);
  EXPECT_EQ(e.number(), platform::kErrDialogCancelled);
  EXPECT_EQ(e.description(), "The signature was cancelled.");
  // Nothing queued: the headless dialog cancels.
  EXPECT_EQ(RequestError(false, false, true, "", -1, -1).number(), platform::kErrDialogCancelled);
  // A dialog that answers False did not sign either.
  container_.QueueDialogAnswer(
      DialogAnswer::Ok(Variant(false), {Variant("alice"), Variant("alice-pw")}));
  EXPECT_EQ(RequestError(false, false, true, "", -1, -1).number(), platform::kErrDialogCancelled);
  // The second signer cancelling fails the whole request.
  Sign("alice", "alice-pw");
  container_.QueueDialogAnswer(DialogAnswer::Cancel());
  EXPECT_EQ(RequestError(true, false, true, "", -1, -1).number(), platform::kErrDialogCancelled);
}

TEST_F(SecurityManagerTest, WrongPasswordAndUnknownUserLookTheSame) {
  Sign("alice", "bob-pw");
  platform::ComError wrong = RequestError(false, false, true, "", -1, -1);
  Sign("mallory", "alice-pw");
  platform::ComError unknown = RequestError(false, false, true, "", -1, -1);
  Sign("Alice", "alice-pw");  // names are exact
  platform::ComError other_case = RequestError(false, false, true, "", -1, -1);
  for (const auto* e : {&wrong, &unknown, &other_case}) {
    EXPECT_EQ(e->code(), 0x80040201u);
    EXPECT_EQ(e->description(), "The user name or password is not correct.");
  }
}

TEST_F(SecurityManagerTest, OneAttemptPerSignerNoRetry) {
  Sign("alice", "wrong");
  Sign("alice", "alice-pw");
  EXPECT_EQ(RequestError(false, false, true, "", -1, -1).code(), 0x80040201u);
  EXPECT_EQ(container_.dialogs().size(), 1u);
  EXPECT_EQ(container_.pending_dialog_answers(), 1u);
}

TEST_F(SecurityManagerTest, SignerNeedsTheRequestedCommandLevel) {
  Sign("bob", "bob-pw");
  platform::ComError e = RequestError(false, false, true, "", 21, -1);
  EXPECT_EQ(e.code(), 0x80040202u);
  EXPECT_EQ(e.description(), "The user \"bob\" does not hold command level 21.");
  // Exactly the level is enough; a negative level requires none.
  Sign("bob", "bob-pw");
  EXPECT_EQ(Request(false, false, true, "", Variant(int32_t{20}), Variant(int32_t{0}))[7],
            Variant("bob"));
  Sign("zero", "zero-pw");
  EXPECT_EQ(Request(false, false, true, "", Variant(int32_t{-1}), Variant(int32_t{0}))[7],
            Variant("zero"));
  // The second signer is held to level2.
  Sign("alice", "alice-pw");
  Sign("bob", "bob-pw");
  EXPECT_EQ(RequestError(true, false, true, "", 50, 30).code(), 0x80040202u);
}

TEST_F(SecurityManagerTest, SecondSignerMustBeSomeoneElse) {
  Sign("alice", "alice-pw");
  Sign("alice", "alice-pw");
  platform::ComError e = RequestError(true, false, true, "", -1, -1);
  EXPECT_EQ(e.code(), 0x80040203u);
  EXPECT_EQ(e.description(), "The second signature must come from a different user.");
}

TEST_F(SecurityManagerTest, RequiredReasonMustBeGivenByTheFirstSigner) {
  Sign("alice", "alice-pw", "   ");
  Sign("bob", "bob-pw", "Correction");
  platform::ComError e = RequestError(true, true, true, "", -1, -1);
  EXPECT_EQ(e.code(), 0x80040204u);
  EXPECT_EQ(e.description(), "A reason is required.");
  // Refused before the second signer is asked: bob's answer is still queued.
  EXPECT_EQ(container_.dialogs().size(), 1u);
  EXPECT_EQ(container_.pending_dialog_answers(), 1u);
  EXPECT_EQ(Request(false, true, true, "", Variant(int32_t{-1}), Variant(int32_t{-1}))[7],
            Variant("bob"));
  // Not required: no reason is fine, even when only categories are allowed.
  Sign("alice", "alice-pw", "");
  EXPECT_EQ(Request(false, false, false, "", Variant(int32_t{-1}), Variant(int32_t{-1}))[9],
            Variant(""));
}

TEST_F(SecurityManagerTest, ReasonNotTypedByTheUserMustBeAnOfferedCategory) {
  Sign("alice", "alice-pw", "Because");
  platform::ComError e = RequestError(false, false, false, "", -1, -1);
  EXPECT_EQ(e.code(), 0x80040205u);
  EXPECT_EQ(e.description(), "The reason \"Because\" is not one of the offered reason categories.");
  // A configured category passes, blanks around it trimmed.
  Sign("alice", "alice-pw", " Calibration ");
  EXPECT_EQ(Request(false, false, false, "", Variant(int32_t{-1}), Variant(int32_t{-1}))[9],
            Variant("Calibration"));
  // With a category given, only that one is offered.
  Sign("alice", "alice-pw", "Calibration");
  EXPECT_EQ(RequestError(false, false, false, "Correction", -1, -1).code(), 0x80040205u);
  Sign("alice", "alice-pw", "Correction");
  EXPECT_EQ(
      Request(false, false, false, "Correction", Variant(int32_t{-1}), Variant(int32_t{-1}))[9],
      Variant("Correction"));
  // The user may type any reason when allowed.
  Sign("alice", "alice-pw", "Because");
  EXPECT_EQ(Request(false, true, true, "Correction", Variant(int32_t{-1}), Variant(int32_t{-1}))[9],
            Variant("Because"));
}

TEST_F(SecurityManagerTest, ArgumentsAreCheckedByTheDispatchLayer) {
  std::vector<Variant> too_few = {Variant("p"), Variant(false)};
  try {
    manager_->InvokeByName("RequestESignature", platform::InvokeKind::Method, too_few);
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrWrongArguments);
  }
  std::vector<Variant> bad_level = {
      Variant("p"),    Variant(false),      Variant(false), Variant(true), Variant(""),
      Variant("high"), Variant(int32_t{1}), Variant(""),    Variant(""),   Variant("")};
  try {
    manager_->Invoke(kDispRequestESignature, platform::InvokeKind::Method, bad_level);
    FAIL();
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.number(), platform::kErrTypeMismatch);
  }
  EXPECT_TRUE(container_.dialogs().empty());
  EXPECT_EQ(manager_->GetIdOfName("requestesignature"), kDispRequestESignature);
  EXPECT_EQ(manager_->GetIdOfName("GETREASONCATEGORIES"), kDispGetReasonCategories);
  EXPECT_EQ(manager_->GetIdOfName("WriteOperatorEvent"), kDispWriteOperatorEvent);
  EXPECT_THROW(manager_->GetIdOfName("Logon"), platform::ComError);
  EXPECT_EQ(manager_->ClassName(), "SecurityManager");
}

TEST_F(SecurityManagerTest, LevelsArriveAsVariantsOfAnyNumericType) {
  Sign("bob", "bob-pw");
  // A 16-bit level and a Double are converted as the dispatch layer converts.
  std::vector<Variant> args = Request(false, false, true, "", Variant(int16_t{20}), Variant(3.0));
  EXPECT_EQ(args[7], Variant("bob"));
  EXPECT_EQ(container_.dialogs()[0].args[5], Variant(int32_t{20}));
}

TEST_F(SecurityManagerTest, ReasonCategoriesByNameAsAZeroBasedStringArray) {
  Variant v = manager_->Call("GetReasonCategories");
  ASSERT_TRUE(v.IsArray());
  const platform::SafeArray& a = v.AsArray();
  EXPECT_EQ(a.dims(), 1);
  EXPECT_EQ(a.element_type(), platform::VarType::String);
  EXPECT_EQ(a.LBound(), 0);
  EXPECT_EQ(a.UBound(), 2);
  EXPECT_EQ(Texts(v), (std::vector<std::string>{"Correction", "Maintenance", "Calibration"}));
  std::vector<Variant> extra = {Variant(1)};
  EXPECT_THROW(manager_->InvokeByName("GetReasonCategories", platform::InvokeKind::Method, extra),
               platform::ComError);
}

TEST(SecurityManager, NoCategoriesGiveAnEmptyArray) {
  platform::HeadlessContainer container;
  SecurityManager manager(container, SecurityManagerOptions{});
  std::vector<Variant> args;
  Variant v = manager.Invoke(kDispGetReasonCategories, platform::InvokeKind::Method, args);
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.AsArray().LBound(), 0);
  EXPECT_EQ(v.AsArray().UBound(), -1);
}

TEST(SecurityManager, DemoUserOfTheDefaultConfigurationSigns) {
  // The embedded default's hash has the full cost; this one check pays for it.
  platform::HeadlessContainer container;
  HostConfig config = DefaultHostConfig("PLANT-PC");
  auto manager = NewSecurityManager(config, container, "op");
  container.QueueDialogAnswer(
      DialogAnswer::Ok(Variant(true), {Variant("demo"), Variant("demo"), Variant("Correction")}));
  ESignatureRequest request;
  request.level1 = 10;
  ESignature s = manager->RequestESignature(request);
  EXPECT_EQ(s.user1, "demo");
  EXPECT_EQ(s.reason, "Correction");
  EXPECT_EQ(Texts(manager->Call("GetReasonCategories")),
            (std::vector<std::string>{"Correction", "Maintenance"}));
  EXPECT_EQ(ParsePasswordHash(config.security.users[0].password_hash).iterations,
            kDefaultPasswordIterations);
}

}  // namespace
}  // namespace tabulo::host
