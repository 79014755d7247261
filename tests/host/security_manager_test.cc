// The security manager: signatures asked through the container's dialog, the checks of users,
// levels and reasons, its automation members, the default's demo user; password hashes.
#include "host/audit/security_manager.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <sstream>

#include "host/audit/password_hash.h"
#include "platform/runtime/headless_container.h"
#include "test_folder.h"

namespace tabulo::host {
namespace {

using platform::DialogAnswer;
using platform::Variant;
using testing::Raised;
using Texts = std::vector<std::string>;

// RequestESignature's arguments besides the prompt and the three texts it fills.
struct Request {
  bool dual = false, reason_required = false, allow_user_reason = true;
  std::string category = "";
  Variant level1 = -1, level2 = -1;
};

std::string Failed(int64_t number, const std::string& description) {
  return std::to_string(number) + " " + description;
}

Texts TextsOf(const Variant& array) {
  Texts out;
  const platform::SafeArray& a = array.AsArray();
  for (int32_t i = a.LBound(); i <= a.UBound(); ++i) out.push_back(a.At(i).AsString());
  return out;
}

class SecurityManagerTest : public ::testing::Test {
 protected:
  SecurityManagerTest() {
    SecurityManagerOptions options;
    // Users with a low hash cost, so that the suite stays fast.
    options.security.users = {{"alice", 50, HashPassword("alice-pw", 1000)},
                              {"bob", 20, HashPassword("bob-pw", 1000)},
                              {"zero", 0, HashPassword("zero-pw", 1000)}};
    options.security.reason_categories = {"Correction", "Maintenance", "Calibration"};
    manager_ = std::make_shared<SecurityManager>(container_, std::move(options));
  }

  void Sign(const std::string& user, const std::string& password, const std::string& reason = "") {
    container_.QueueDialogAnswer(
        DialogAnswer::Ok(Variant(true), {Variant(user), Variant(password), Variant(reason)}));
  }

  // RequestESignature by name, as the control calls it: "user1|user2|reason" from its ByRef
  // texts, or the error as Failed gives it.
  std::string Outcome(const Request& r) {
    std::vector<Variant> args = {"Sign the change", r.dual, r.reason_required, r.allow_user_reason};
    args.insert(args.end(), {r.category, r.level1, r.level2, "in1", "in2", "in3"});
    try {
      manager_->InvokeByName("RequestESignature", platform::InvokeKind::Method, args);
    } catch (const platform::ComError& e) {
      // A failed request leaves the caller's texts alone.
      EXPECT_EQ(args[7], Variant("in1"));
      EXPECT_EQ(args[9], Variant("in3"));
      return Failed(e.code(), e.description());
    }
    return args[7].AsString() + "|" + args[8].AsString() + "|" + args[9].AsString();
  }

  platform::HeadlessContainer container_;
  std::shared_ptr<SecurityManager> manager_;
  const std::string cancelled_ =
      Failed(platform::kErrDialogCancelled, "The signature was cancelled.");
  const std::string wrong_ = Failed(0x80040201, "The user name or password is not correct.");
};

TEST_F(SecurityManagerTest, DialogArgumentsFollowTheFixedLayout) {
  Sign("alice", "alice-pw", "Maintenance");
  Sign("bob", "bob-pw", "ignored");
  Outcome({.dual = true,
           .reason_required = true,
           .allow_user_reason = false,
           .category = "Maintenance",
           .level1 = 40,
           .level2 = 15});
  ASSERT_EQ(container_.dialogs().size(), 2u);
  for (int32_t signer = 1; signer <= 2; ++signer) {
    const platform::DialogRecord& d = container_.dialogs()[signer - 1];
    EXPECT_EQ(d.dialog, "ESignature");
    ASSERT_EQ(d.args.size(), 10u);
    // Only the first signer gives the reason.
    EXPECT_EQ(
        std::vector<Variant>(d.args.begin(), d.args.begin() + 9),
        (std::vector<Variant>{Variant(""), Variant(""), Variant(""), Variant("Sign the change"),
                              Variant(signer), Variant(int32_t{signer == 1 ? 40 : 15}),
                              Variant(signer == 1), Variant(false), Variant("Maintenance")}))
        << signer;
    EXPECT_EQ(TextsOf(d.args[9]), (Texts{"Correction", "Maintenance", "Calibration"}));
  }
}

TEST_F(SecurityManagerTest, CancelledWrongOrUnauthorisedSignersAreRefused) {
  container_.QueueDialogAnswer(DialogAnswer::Cancel());
  EXPECT_EQ(Outcome({}), cancelled_);
  EXPECT_EQ(Outcome({}), cancelled_);  // nothing queued: the headless dialog cancels
  // A dialog that answers False did not sign either.
  container_.QueueDialogAnswer(
      DialogAnswer::Ok(Variant(false), {Variant("alice"), Variant("alice-pw")}));
  EXPECT_EQ(Outcome({}), cancelled_);
  // The second signer cancelling fails the whole request.
  Sign("alice", "alice-pw");
  container_.QueueDialogAnswer(DialogAnswer::Cancel());
  EXPECT_EQ(Outcome({.dual = true}), cancelled_);
  // A wrong password, an unknown user and a name in another case look the same.
  for (const auto& [user, password] :
       {std::pair{"alice", "bob-pw"}, std::pair{"mallory", "alice-pw"},
        std::pair{"Alice", "alice-pw"}}) {
    Sign(user, password);
    EXPECT_EQ(Outcome({}), wrong_) << user;
  }
  // One attempt per signer, no retry.
  const size_t dialogs = container_.dialogs().size();
  Sign("alice", "wrong");
  Sign("alice", "alice-pw");
  EXPECT_EQ(Outcome({}), wrong_);
  EXPECT_EQ(container_.dialogs().size(), dialogs + 1);
  EXPECT_EQ(container_.pending_dialog_answers(), 1u);
}

TEST_F(SecurityManagerTest, SignersNeedTheirLevelAndTheSecondIsSomeoneElse) {
  Sign("bob", "bob-pw");
  EXPECT_EQ(Outcome({.level1 = 21}),
            Failed(0x80040202, "The user \"bob\" does not hold command level 21."));
  // Exactly the level is enough; a negative level requires none.
  Sign("bob", "bob-pw");
  EXPECT_EQ(Outcome({.level1 = 20, .level2 = 0}), "bob||");
  Sign("zero", "zero-pw");
  EXPECT_EQ(Outcome({.level2 = 0}), "zero||");
  // The second signer is held to level2.
  Sign("alice", "alice-pw");
  Sign("bob", "bob-pw");
  EXPECT_EQ(Outcome({.dual = true, .level1 = 50, .level2 = 30}).substr(0, 10),
            std::to_string(0x80040202u));
  Sign("alice", "alice-pw");
  Sign("alice", "alice-pw");
  EXPECT_EQ(Outcome({.dual = true}),
            Failed(0x80040203, "The second signature must come from a different user."));
  // Levels arrive as variants of any numeric type, converted as the dispatch layer converts.
  Sign("bob", "bob-pw");
  const size_t asked = container_.dialogs().size();
  EXPECT_EQ(Outcome({.level1 = Variant(int16_t{20}), .level2 = Variant(3.0)}), "bob||");
  EXPECT_EQ(container_.dialogs()[asked].args[5], Variant(int32_t{20}));
}

TEST_F(SecurityManagerTest, ReasonsRequiredFromTheFirstSignerAndOfferedCategoriesOnly) {
  Sign("alice", "alice-pw", "   ");
  Sign("bob", "bob-pw", "Correction");
  EXPECT_EQ(Outcome({.dual = true, .reason_required = true}),
            Failed(0x80040204, "A reason is required."));
  // Refused before the second signer is asked: bob's answer is still queued.
  EXPECT_EQ(container_.dialogs().size(), 1u);
  EXPECT_EQ(container_.pending_dialog_answers(), 1u);
  EXPECT_EQ(Outcome({.reason_required = true}), "bob||Correction");
  const struct {
    const char* reason;
    Request request;
    std::string outcome;
  } cases[] = {
      // Not required: no reason is fine, even when only categories are allowed.
      {"", {.allow_user_reason = false}, "alice||"},
      {"Because",
       {.allow_user_reason = false},
       Failed(0x80040205, "The reason \"Because\" is not one of the offered reason categories.")},
      // A configured category passes, blanks around it trimmed.
      {" Calibration ", {.allow_user_reason = false}, "alice||Calibration"},
      // With a category given, only that one is offered.
      {"Calibration",
       {.allow_user_reason = false, .category = "Correction"},
       Failed(0x80040205,
              "The reason \"Calibration\" is not one of the offered reason categories.")},
      {"Correction", {.allow_user_reason = false, .category = "Correction"}, "alice||Correction"},
      // The user may type any reason when allowed.
      {"Because", {.reason_required = true, .category = "Correction"}, "alice||Because"}};
  for (const auto& c : cases) {
    Sign("alice", "alice-pw", c.reason);
    EXPECT_EQ(Outcome(c.request), c.outcome) << c.reason;
  }
}

TEST_F(SecurityManagerTest, MembersAndArgumentsAreCheckedByTheDispatchLayer) {
  std::vector<Variant> too_few = {Variant("p"), Variant(false)};
  EXPECT_EQ(testing::Raised([&] {
              manager_->InvokeByName("RequestESignature", platform::InvokeKind::Method, too_few);
            }).number(),
            platform::kErrWrongArguments);
  std::vector<Variant> bad_level = {
      Variant("p"),    Variant(false),      Variant(false), Variant(true), Variant(""),
      Variant("high"), Variant(int32_t{1}), Variant(""),    Variant(""),   Variant("")};
  EXPECT_EQ(testing::Raised([&] {
              manager_->Invoke(kDispRequestESignature, platform::InvokeKind::Method, bad_level);
            }).number(),
            platform::kErrTypeMismatch);
  EXPECT_TRUE(container_.dialogs().empty());
  EXPECT_EQ(manager_->GetIdOfName("requestesignature"), kDispRequestESignature);
  EXPECT_EQ(manager_->GetIdOfName("GETREASONCATEGORIES"), kDispGetReasonCategories);
  testing::Raised([&] { manager_->GetIdOfName("Logon"); });
  // Reason categories by name, as a zero-based string array.
  Variant v = manager_->Call("GetReasonCategories");
  ASSERT_TRUE(v.IsArray());
  const platform::SafeArray& a = v.AsArray();
  EXPECT_EQ((std::vector<int32_t>{a.dims(), a.LBound(), a.UBound()}),
            (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(a.element_type(), platform::VarType::String);
  EXPECT_EQ(TextsOf(v), (Texts{"Correction", "Maintenance", "Calibration"}));
  std::vector<Variant> extra = {Variant(1)};
  testing::Raised(
      [&] { manager_->InvokeByName("GetReasonCategories", platform::InvokeKind::Method, extra); });
  // No categories give an empty array.
  SecurityManager bare(container_, SecurityManagerOptions{});
  std::vector<Variant> none;
  Variant empty = bare.Invoke(kDispGetReasonCategories, platform::InvokeKind::Method, none);
  ASSERT_TRUE(empty.IsArray());
  EXPECT_EQ(empty.AsArray().LBound(), 0);
  EXPECT_EQ(empty.AsArray().UBound(), -1);
}

// The embedded default: one demo user at level 10 with the full hash cost (this one check
// pays for it), the two reason categories and no audit database of its own.
TEST(SecurityManager, DemoUserOfTheDefaultConfigurationSigns) {
  platform::HeadlessContainer container;
  HostConfig config = DefaultHostConfig("PLANT-PC");
  auto manager = NewSecurityManager(config, container, "op");
  container.QueueDialogAnswer(
      DialogAnswer::Ok(Variant(true), {Variant("demo"), Variant("demo"), Variant("Correction")}));
  ESignatureRequest request;
  request.level1 = 10;
  ESignature s = manager->RequestESignature(request);
  EXPECT_EQ(s.user1 + "|" + s.reason, "demo|Correction");
  EXPECT_EQ(TextsOf(manager->Call("GetReasonCategories")), (Texts{"Correction", "Maintenance"}));
  ASSERT_EQ(config.security.users.size(), 1u);
  EXPECT_EQ(config.security.users[0].level, 10);
  EXPECT_EQ(ParsePasswordHash(config.security.users[0].password_hash).iterations, 600000);
  EXPECT_EQ(config.security.audit_database, "");
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, '$');) parts.push_back(part);
  return parts;
}

TEST(PasswordHash, TextNamesSchemeCostSaltAndKeyAndVerifiesOnlyTheRightPassword) {
  std::string text = HashPassword("s3cret", 1000);
  std::vector<std::string> parts = Split(text);
  ASSERT_EQ(parts.size(), 4u) << text;
  EXPECT_EQ(parts[0] + "$" + parts[1], "pbkdf2-sha256$1000");
  PasswordHash hash = ParsePasswordHash(text);
  EXPECT_EQ(hash.iterations, 1000);
  EXPECT_EQ(hash.salt.size(), 16u);
  // The key is PBKDF2-HMAC-SHA-256 of the password over the stored salt, nothing else.
  std::vector<unsigned char> expected(32);
  ASSERT_EQ(
      PKCS5_PBKDF2_HMAC("s3cret", 6, hash.salt.data(), 16, 1000, EVP_sha256(), 32, expected.data()),
      1);
  EXPECT_EQ(hash.key, expected);
  // Each hash has its own salt.
  std::string again = HashPassword("s3cret", 1000);
  EXPECT_NE(Split(again)[2], parts[2]);
  EXPECT_TRUE(VerifyPassword("s3cret", again) && VerifyPassword("s3cret", text));
  // Only the right password verifies, and only with untampered parts.
  text = HashPassword("Grüße 1", 1000);
  EXPECT_TRUE(VerifyPassword("Grüße 1", text));
  for (const char* wrong : {"Grüße 2", "grüße 1", "", "Grüße 1 "})
    EXPECT_FALSE(VerifyPassword(wrong, text)) << wrong;
  // Made with Python's hashlib.pbkdf2_hmac("sha256", b"demo", salt, 1000).
  EXPECT_TRUE(VerifyPassword(
      "demo",
      "pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY="));
  const std::vector<std::string> p = Split(text);
  auto flip = [](std::string s, size_t i) {
    s[i] = s[i] == 'A' ? 'B' : 'A';
    return s;
  };
  // Another cost over the same salt, another salt, a flipped key character.
  for (const std::string& tampered :
       {p[0] + "$1001$" + p[2] + "$" + p[3], p[0] + "$" + p[1] + "$" + flip(p[2], 0) + "$" + p[3],
        p[0] + "$" + p[1] + "$" + p[2] + "$" + flip(p[3], 5)})
    EXPECT_FALSE(VerifyPassword("Grüße 1", tampered)) << tampered;
}

TEST(PasswordHash, MalformedTextsAreRefusedWithTheReason) {
  const std::string salt = "AAECAwQFBgcICQoLDA0ODw==";
  const std::string key = "60EwrXtmtbJdTV8bfMBG1p+8EQ1oDnkWA/Skda1JhVY=";
  const std::string head = "pbkdf2-sha256$";
  // The host configuration's test reads the whole message of a text that is no hash at all.
  const std::pair<std::string, std::string> cases[] = {
      {"sha256$1000$" + salt + "$" + key, "expected"},
      {head + "1000$" + salt, "expected"},
      {head + "1000$" + salt + "$" + key + "$x", "expected"},
      {head + "1e3$" + salt + "$" + key, "not a number"},
      {head + "$" + salt + "$" + key, "not a number"},
      {head + "-5000$" + salt + "$" + key, "not a number"},
      {head + "999$" + salt + "$" + key, "between 1000"},
      {head + "99999999999$" + salt + "$" + key, "between 1000"},
      {head + "1000$AA*=$" + key, "salt is not base64"},
      {head + "1000$AAAA$" + key, "salt is too short"},
      {head + "1000$" + salt + "$" + salt, "must be 32 bytes"},
      {head + "1000$" + salt + "$" + key.substr(1), "not base64"}};
  for (const auto& [text, why] : cases) {
    const platform::ComError e = Raised([&] { ParsePasswordHash(text); });
    EXPECT_EQ(e.number(), platform::kErrInvalidProcedureCall);
    EXPECT_NE(e.description().find(why), std::string::npos) << text << ": " << e.description();
  }
  Raised([] { VerifyPassword("demo", "plain:demo"); });
  // A cost outside the limits is not hashed.
  for (int32_t cost : {999, 0, kMaxPasswordIterations + 1})
    Raised([&] { HashPassword("pw", cost); });
}

TEST(Base64, RoundTripsEveryTailLengthAndDecodesStrictly) {
  std::vector<unsigned char> bytes;
  for (int n = 0; n < 8; ++n) {
    std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.size() % 4, 0u);
    std::vector<unsigned char> back;
    ASSERT_TRUE(Base64Decode(text, back)) << text;
    EXPECT_EQ(back, bytes);
    bytes.push_back(static_cast<unsigned char>(0xF0 + n * 3));
  }
  EXPECT_EQ(Base64Encode({'M', 'a', 'n'}) + Base64Encode({'M', 'a'}) + Base64Encode({'M'}) +
                Base64Encode({0xFB, 0xFF}),
            "TWFuTWE=TQ==+/8=");
  std::vector<unsigned char> out;
  // Not a multiple of four, data after padding, too much padding, padding before the end,
  // stray bits below the last byte, the URL alphabet, a blank.
  for (const char* bad : {"TWF", "TW=u", "T===", "TQ==TWFu", "TR==", "TW-u", "TW u"})
    EXPECT_FALSE(Base64Decode(bad, out)) << bad;
  EXPECT_TRUE(Base64Decode("", out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace tabulo::host
