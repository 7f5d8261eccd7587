// Deciding an image's input profile when it is added: the policy's actions,
// the question and its two modes, unusable embedded profiles, the chooser,
// the temporary copies, and converting the thumbnail.
#include <gtest/gtest.h>

#include <filesystem>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/profilepolicy.h"
#include "base/uistate.h"
#include "support/app_fixture.h"

namespace {

using namespace cmtest;
using Kind = ScriptedHost::Kind;

class ProfilePolicy : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ws_ = WorkingSpaceFile(dir_, 13);
    adobe_ = WorkingSpaceFile(dir_, 0);
    plain_ = MakeImage(dir_ + "plain.tif", {});
    embedded_ = MakeImage(dir_ + "embedded.tif", WorkingSpaceBytes(0));
    cmyk_ = MakeImage(dir_ + "cmyk.tif", CmykPrinterProfile());
    add_.answers = &answers_;
    add_.workingSpaceProfile = ws_;
    add_.tempFolder = temp_;
  }
  // The temporary copies left in the temporary folder.
  int TempCopies() const {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(temp_)) n += Ui_Path_IsTempName(temp_, e.path().string());
    return n;
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> out;
    for (const auto& e : host_().Of(Kind::Question)) out.push_back(e.id == 6007 ? e.caption : e.text);
    return out;
  }
  const ScriptedHost& host_() const { return const_cast<ProfilePolicy*>(this)->host(); }

  std::string dir_ = FreshDir("policy");
  std::string temp_ = FreshDir("policy_tmp");
  std::string ws_, adobe_, plain_, embedded_, cmyk_;
  ProfileChoices answers_;
  ProfileAddOperation add_;
};

const char* kUnusable = "The color profile that is embedded in the image cannot be used.";

TEST_F(ProfilePolicy, EmbeddedProfileQueries) {
  bool has = true;
  ASSERT_EQ(Ui_ICC_HasEmbeddedProfile(plain_, has), 0);
  EXPECT_FALSE(has);
  ASSERT_EQ(Ui_ICC_HasEmbeddedProfile(embedded_, has), 0);
  EXPECT_TRUE(has);
  EXPECT_EQ(Ui_ICC_SaveEmbeddedProfile(plain_, dir_ + "out.icc"), kBadArg);
  ASSERT_EQ(Ui_ICC_SaveEmbeddedProfile(embedded_, dir_ + "out.icc"), 0);
  Bytes saved;
  ASSERT_TRUE(ReadFileBytes(dir_ + "out.icc", saved));
  EXPECT_EQ(saved, WorkingSpaceBytes(0));
  EXPECT_EQ(Ui_ICC_HasEmbeddedProfile(dir_ + "missing.tif", has), kOpenErr);
}

// Actions without a question: assign, convert with the case's path, use a
// checked copy of the embedded profile; and an action out of place.
TEST_F(ProfilePolicy, ActionsWithoutQuestion) {
  std::string path = "x";
  add_.actions.missingAction = kProfileAssign;
  ASSERT_EQ(DecideInputProfile(add_, plain_, path), 0);
  EXPECT_EQ(path, "");
  add_.actions.missingAction = kProfileConvert;
  add_.actions.missingPath = adobe_;
  ASSERT_EQ(DecideInputProfile(add_, plain_, path), 0);
  EXPECT_EQ(path, adobe_);

  ASSERT_EQ(DecideInputProfile(add_, embedded_, path), 0);  // embedded action 3
  EXPECT_TRUE(Ui_Path_IsTempName(temp_, path)) << path;
  Bytes copy;
  ASSERT_TRUE(ReadFileBytes(path, copy));
  EXPECT_EQ(copy, WorkingSpaceBytes(0));
  EXPECT_EQ(TempCopies(), 1);

  add_.actions.missingAction = kProfileEmbedded;
  EXPECT_EQ(DecideInputProfile(add_, plain_, path), kUnsupported);
  add_.actions.embeddedAction = 7;
  EXPECT_EQ(DecideInputProfile(add_, embedded_, path), kUnsupported);
  EXPECT_EQ(host().Count(Kind::Question), 0);
  EXPECT_EQ(host().Count(Kind::Alert), 0);
}

// A profile named for conversion that the colour service cannot use (its
// header alone looks right) is an error for the image, never a silent assign.
TEST_F(ProfilePolicy, ConvertingWithAnUnusableProfileIsAnError) {
  const std::string broken = WriteBytes(dir_ + "broken.icc", ProfileBuilder().Add(SigOf("desc"), DescTag("broken")).Build());
  ASSERT_EQ(Ui_ICC_CheckRgbInputProfile(broken), kOk);
  EXPECT_NE(Ui_ICC_CheckUsableInputProfile(broken, ws_), kOk);
  EXPECT_EQ(Ui_ICC_CheckUsableInputProfile(adobe_, ws_), kOk);
  add_.actions.missingAction = add_.actions.embeddedAction = kProfileConvert;
  add_.actions.missingPath = add_.actions.embeddedPath = broken;
  for (const std::string& image : {plain_, embedded_}) {
    host().Clear();
    std::string path = "x";
    EXPECT_EQ(DecideInputProfile(add_, image, path), kFormatErr) << image;
    EXPECT_EQ(path, "");
    ASSERT_EQ(host().Count(Kind::Alert), 1);
    EXPECT_EQ(host().Of(Kind::Alert)[0].detail,
              "broken.icc is not an RGB input or monitor profile that the colour service can use, so the image is not "
              "converted with it.");
  }
}

// A CMYK profile embedded in an RGB image: "cannot be used", then the
// missing-profile question; its answer holds for the rest of the add and
// becomes the default answer for images without a profile.
TEST_F(ProfilePolicy, UnusableEmbeddedProfileThenMissingQuestion) {
  host().answers = {0, 1};  // "Discard it", then "Choose a profile..."
  host().files = {{adobe_}};
  std::string path;
  ASSERT_EQ(DecideInputProfile(add_, cmyk_, path), 0);
  EXPECT_EQ(path, adobe_);
  EXPECT_EQ(Questions(), (std::vector<std::string>{kUnusable, "Missing Profile"}));
  const auto asked = host().Of(Kind::Question)[1];
  EXPECT_EQ(asked.text, "This image does not have an embedded color profile.\nImage name: cmyk.tif");
  EXPECT_EQ(TempCopies(), 0);
  EXPECT_EQ(add_.actions.missingAction, kProfileConvert);
  EXPECT_EQ(add_.actions.missingPath, adobe_);
  EXPECT_EQ(answers_.missingAction, kProfileConvert);
  EXPECT_EQ(add_.actions.embeddedAction, kProfileEmbedded);

  // A later image without a profile is not asked.
  host().Clear();
  ASSERT_EQ(DecideInputProfile(add_, plain_, path), 0);
  EXPECT_EQ(path, adobe_);
  EXPECT_EQ(host().Count(Kind::Question), 0);
}

// Cancel stops adding silently, wherever it is chosen, and leaves no copies.
TEST_F(ProfilePolicy, CancelStopsWithoutAlert) {
  struct Case {
    const char* name;
    std::string image;
    int32_t action;
    std::deque<int> answers;
  };
  const Case cases[] = {
      {"unusable, Cancel", cmyk_, kProfileEmbedded, {1}},
      {"question, Cancel", embedded_, kProfileAsk, {3}},
      {"unusable in the question, Cancel", cmyk_, kProfileAsk, {1}},
      {"missing question, Cancel", plain_, kProfileAsk, {2}},
  };
  for (const Case& c : cases) {
    host().Clear();
    add_.actions.missingAction = add_.actions.embeddedAction = c.action;
    host().answers = c.answers;
    std::string path = "x";
    EXPECT_EQ(DecideInputProfile(add_, c.image, path), kCancelled) << c.name;
    EXPECT_EQ(path, "") << c.name;
    EXPECT_EQ(host().Count(Kind::Alert), 0) << c.name;
    EXPECT_EQ(TempCopies(), 0) << c.name;
  }
}

// "Ask" with an embedded profile: the embedded mode with its description;
// choosing it keeps the copy, and later embedded images are not asked.
TEST_F(ProfilePolicy, EmbeddedQuestion) {
  add_.actions.embeddedAction = kProfileAsk;
  host().answers = {0};
  std::string path;
  ASSERT_EQ(DecideInputProfile(add_, embedded_, path), 0);
  ASSERT_EQ(host().Count(Kind::Question), 1);
  const auto q = host().Of(Kind::Question)[0];
  EXPECT_EQ(q.caption, "Embedded Profile");
  EXPECT_EQ(q.detail, "Use the embedded profile: Adobe RGB (1998)");
  EXPECT_TRUE(Ui_Path_IsTempName(temp_, path));
  EXPECT_EQ(TempCopies(), 1);
  EXPECT_EQ(add_.actions.embeddedAction, kProfileEmbedded);

  host().Clear();
  std::string second;
  ASSERT_EQ(DecideInputProfile(add_, embedded_, second), 0);
  EXPECT_EQ(host().Count(Kind::Question), 0);
  EXPECT_NE(second, path);
  EXPECT_EQ(TempCopies(), 2);

  // Assigning the working space instead deletes the copy.
  add_.actions.embeddedAction = kProfileAsk;
  host().answers = {1};
  ASSERT_EQ(DecideInputProfile(add_, embedded_, second), 0);
  EXPECT_EQ(second, "");
  EXPECT_EQ(TempCopies(), 2);
  EXPECT_EQ(host().Of(Kind::Question).back().detail, "Assign working space RGB: sRGB IEC61966-2.1");
}

// The chooser inside the question: a rejected profile shows the message and
// asks again (then with Cancel as its default), a cancelled chooser asks again.
TEST_F(ProfilePolicy, ChooserInsideTheQuestion) {
  add_.actions.missingAction = kProfileAsk;
  answers_.missingAction = kProfileConvert;
  const std::string cmykProfile = WriteBytes(dir_ + "cmyk.icc", CmykPrinterProfile());
  host().answers = {1, 1, 1};
  host().files = {{cmykProfile}, {}, {adobe_}};
  std::string path;
  ASSERT_EQ(DecideInputProfile(add_, plain_, path), 0);
  EXPECT_EQ(path, adobe_);
  EXPECT_EQ(host().Count(Kind::Question), 3);
  EXPECT_EQ(host().Count(Kind::OpenFiles), 3);
  ASSERT_EQ(host().Count(Kind::Message), 1);
  EXPECT_EQ(host().Of(Kind::Message)[0].text, "You must select an RGB input or monitor profile");

  // A host that answers every question by its default: the preset choose
  // option, a cancelled chooser, then Cancel.
  host().Clear();
  add_.actions.missingAction = kProfileAsk;
  EXPECT_EQ(DecideInputProfile(add_, plain_, path), kCancelled);
  EXPECT_EQ(host().Count(Kind::Question), 2);
}

TEST_F(ProfilePolicy, ChooseProfileKeepsPathOnFailure) {
  std::string path = adobe_;
  host().files = {{}};
  EXPECT_EQ(Ui_ICC_ChooseProfile(path), kCancelled);
  EXPECT_EQ(path, adobe_);
  EXPECT_EQ(host().Of(Kind::OpenFiles)[0].text, "Select an RGB input or monitor profile");
  EXPECT_EQ(host().Of(Kind::OpenFiles)[0].detail, dir_);
  host().files = {{WriteBytes(dir_ + "cmyk.icc", CmykPrinterProfile())}};
  EXPECT_EQ(Ui_ICC_ChooseProfile(path), kUnsupported);
  EXPECT_EQ(path, adobe_);
  path.clear();
  host().files = {{ws_}};
  ASSERT_EQ(Ui_ICC_ChooseProfile(path), 0);
  EXPECT_EQ(path, ws_);
  EXPECT_EQ(host().Of(Kind::OpenFiles)[2].detail, ICCColorFolder());
}

// A failing question (the working-space profile is missing) is reported once.
TEST_F(ProfilePolicy, QuestionFailureIsReported) {
  add_.actions.missingAction = kProfileAsk;
  add_.workingSpaceProfile = dir_ + "gone.icc";
  std::string path;
  EXPECT_EQ(DecideInputProfile(add_, plain_, path), kOpenErr);
  ASSERT_EQ(host().Count(Kind::Alert), 1);
  EXPECT_EQ(host().Of(Kind::Alert)[0].text, "A file open error occurred while choosing an ICC profile.");
}

TEST_F(ProfilePolicy, PreferenceValuesOutOfRange) {
  ProfileChoices c;
  c.missingAction = 3;
  c.embeddedAction = -1;
  EXPECT_EQ(CheckProfilePolicy(c), kUnsupported);
  EXPECT_EQ(c.missingAction, 1);
  EXPECT_EQ(c.embeddedAction, 3);
  c.missingAction = 0;
  c.embeddedAction = 0;
  EXPECT_EQ(CheckProfilePolicy(c), kOk);
  EXPECT_EQ(CheckProfileAnswers(c), kUnsupported);
  EXPECT_EQ(c.missingAction, 1);
  EXPECT_EQ(c.embeddedAction, 3);
}

TEST_F(ProfilePolicy, ThumbnailConversion) {
  uint8_t px[2 * 3] = {255, 0, 0, 128, 128, 128};
  ICCImage im;
  im.width = 2;
  im.height = 1;
  im.rowStep = 6;
  im.chan[0] = px, im.chan[1] = px + 1, im.chan[2] = px + 2;
  ASSERT_EQ(ConvertThumbnailToWorkingSpace(adobe_, ws_, plain_, im), 0);
  EXPECT_EQ(px[0], 255);  // AdobeRGB red lies outside sRGB: clipped
  EXPECT_GT(px[3], 128);  // the same gray encodes higher in sRGB
  EXPECT_EQ(ConvertThumbnailToWorkingSpace(dir_ + "gone.icc", ws_, plain_, im), kSysErr);
  ASSERT_EQ(host().Count(Kind::Alert), 1);
  EXPECT_EQ(host().Of(Kind::Alert)[0].text, "An error occurred while reading image file plain.tif.");
}

}  // namespace
