// The profile question (dialog 6007) through the Qt host, in its missing and
// embedded modes, with the profile chooser inside it; and "Save Image as..."
// with its file types and extension switching.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include "colormgmt/profilepolicy.h"
#include "colormgmt/wsprofiles.h"
#include "dialogs_test_support.h"
#include "ui/qthost.h"

namespace {

class ProfileQuestionTest : public DialogsFixture {
 protected:
  void SetUp() override {
    DialogsFixture::SetUp();
    qt_ = std::make_unique<QtHost>();
    qt_->nativeDialogs = false;
    previous_ = Ui_SetHost(qt_.get());
    folder_ = FreshDir("question");
    std::vector<uint8_t> bytes;
    ASSERT_EQ(MakeWorkingSpaceProfile(13, bytes), kOk);
    question_.workingSpaceProfile = folder_ + "sRGB.icm";
    WriteFileBytes(question_.workingSpaceProfile, bytes.data(), bytes.size());
    ASSERT_EQ(MakeWorkingSpaceProfile(0, bytes), kOk);
    cameraProfile_ = folder_ + "camera.icc";
    WriteFileBytes(cameraProfile_, bytes.data(), bytes.size());
    question_.tempFolder = FreshDir("question-temp");
  }
  void TearDown() override {
    Ui_SetHost(previous_);
    qt_.reset();
    DialogsFixture::TearDown();
  }
  // Types a path into Qt's file chooser and accepts it.
  static void TypePath(QFileDialog* chooser, const std::string& path) {
    auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
    QTest::keyClick(name, Qt::Key_Return);
  }

  std::unique_ptr<QtHost> qt_;
  UiHost* previous_ = nullptr;
  std::string folder_, cameraProfile_;
  ProfileQuestion question_;
};

TEST_F(ProfileQuestionTest, MissingModeChoosesAProfileInsideTheDialog) {
  question_.imagePath = TestData("imagefile/rgb8_ii.tif");
  const std::string notProfile = folder_ + "readme.icc";
  WriteFileText(notProfile, "text");
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Missing Profile");
    EXPECT_EQ(TextOf(d, 4), "This image does not have an embedded color profile.");
    EXPECT_EQ(TextOf(d, 5), "Assign working space RGB: sRGB IEC61966-2.1");
    EXPECT_EQ(TextOf(d, 6), "Choose a profile to use to convert to working space RGB");
    EXPECT_FALSE(ItemOf(d, 7)->isVisible());
    EXPECT_EQ(TextOf(d, 11), "rgb8_ii.tif");
    EXPECT_TRUE(Checked(d, 5));
    EXPECT_TRUE(ItemOf(d, 1)->isEnabled());
    Click(d, 6);  // the choose option without a profile: OK is disabled
    EXPECT_FALSE(ItemOf(d, 1)->isEnabled());
    // Choose... with a file that is no profile: the message, still no profile.
    AnswerNextModalOf<QFileDialog>([&](QFileDialog* f) { TypePath(f, notProfile); });
    AnswerNextModalOf<QMessageBox>([](QMessageBox* box) {
      EXPECT_EQ(box->text(), "You must select an RGB input or monitor profile");
      QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    });
    Click(d, 8);
    EXPECT_FALSE(ItemOf(d, 1)->isEnabled());
    AnswerNextModalOf<QFileDialog>([&](QFileDialog* f) { TypePath(f, cameraProfile_); });
    Click(d, 8);
    EXPECT_EQ(TextOf(d, 9), "camera.icc");
    EXPECT_TRUE(ItemOf(d, 1)->isEnabled());
    Shot(d, "profile_question_missing");
    Click(d, 1);
  });
  ASSERT_EQ(Ui_ICC_AskProfileAction(question_), kOk);
  EXPECT_EQ(question_.action, kProfileConvert);
  EXPECT_EQ(question_.profilePath, cameraProfile_);
}

TEST_F(ProfileQuestionTest, EmbeddedModeKeepsTheEmbeddedProfile) {
  question_.imagePath = TestData("imagefile/rgb8_icc.tif");
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Embedded Profile");
    EXPECT_EQ(TextOf(d, 4), "This image has an embedded color profile.");
    EXPECT_EQ(TextOf(d, 5).rfind("Use the embedded profile: ", 0), 0u) << TextOf(d, 5);
    EXPECT_EQ(TextOf(d, 6), "Assign working space RGB: sRGB IEC61966-2.1");
    EXPECT_EQ(TextOf(d, 7), "Choose a profile to use to convert to working space RGB");
    EXPECT_TRUE(Checked(d, 5));  // the preset: use it
    Shot(d, "profile_question_embedded");
    Click(d, 1);
  });
  ASSERT_EQ(Ui_ICC_AskProfileAction(question_), kOk);
  EXPECT_EQ(question_.action, kProfileEmbedded);
  EXPECT_TRUE(Ui_Path_IsTempName(question_.tempFolder, question_.profilePath)) << question_.profilePath;
  EXPECT_TRUE(FileExists(question_.profilePath));

  // Assign instead: no profile, the copy deleted; Cancel: -10.
  AnswerNextModal([](QWidget* d) {
    Click(d, 6);
    Click(d, 1);
  });
  ASSERT_EQ(Ui_ICC_AskProfileAction(question_), kOk);
  EXPECT_EQ(question_.action, kProfileAssign);
  EXPECT_EQ(question_.profilePath, "");
  AnswerNextModal([](QWidget* d) { Click(d, 2); });
  EXPECT_EQ(Ui_ICC_AskProfileAction(question_), kCancelled);
  int copies = 0;
  for (int i = 0; i < 10; ++i)
    if (FileExists(question_.tempFolder + Fmt("Quilo%06d.tmp", i))) ++copies;
  EXPECT_EQ(copies, 1);  // only the one kept by the first answer
}

// ---- Save Image as ---------------------------------------------------------------

class SaveImageAsTest : public DialogsFixture {};

TEST_F(SaveImageAsTest, TypesFollowTheColourTypeAndSwitchTheExtension) {
  struct Case {
    int32_t colorType;
    int32_t format;
    QStringList filters;
    QString preselected;
  } cases[] = {
      {1, 9, {"BMP (*.bmp)", "JPEG (*.jpg)", "TIFF (*.tif)"}, "JPEG (*.jpg)"},
      {5, 7, {"BMP (*.bmp)", "JPEG (*.jpg)", "TIFF (*.tif)"}, "BMP (*.bmp)"},
      {4, 7, {"JPEG (*.jpg)", "TIFF (*.tif)"}, "TIFF (*.tif)"},  // BMP is not offered
      {7, 9, {"TIFF (*.tif)"}, "TIFF (*.tif)"},
  };
  const std::string folder = FreshDir("save-as");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colorType);
    SaveAsRequest request;
    request.outputPath = "/photos/beach-zV.jpg";
    request.outputFormat = c.format;
    request.colorType = c.colorType;
    QStringList filters;
    QString selected;
    AnswerNextModalOf<QFileDialog>([&](QFileDialog* f) {
      filters = f->nameFilters();
      selected = f->selectedNameFilter();
      QTest::keyClick(f, Qt::Key_Escape);
    });
    SaveAsChoice choice;
    EXPECT_EQ(SaveImageAsDialog(nullptr, request, &choice), kCancelled);
    EXPECT_EQ(filters, c.filters);
    EXPECT_EQ(selected, c.preselected);
  }
  EXPECT_TRUE(Alerts().empty());

  // In the last folder of "Save Image as...", another type swaps the
  // extension (upper case here), a TIFF of 16-bit samples is a 16-bit TIFF.
  AppPrefs().saveAsFolder = folder;
  AppPrefs().lowerCase = 0;
  SaveAsRequest request;
  request.outputPath = "/photos/beach-zV.jpg";
  request.outputFormat = 9;
  request.maxValue = 65535;
  QString proposed, swapped, prompt;
  AnswerNextModalOf<QFileDialog>([&](QFileDialog* f) {
    auto* name = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* types = f->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(name && types);
    proposed = QFileInfo(f->directory(), name->text()).filePath();
    prompt = f->labelText(QFileDialog::FileName);
    QTest::keyClick(types, Qt::Key_Down);  // TIFF
    swapped = name->text();
    Shot(f, "save_image_as");
    QTest::keyClick(name, Qt::Key_Return);
  });
  SaveAsChoice choice;
  ASSERT_EQ(SaveImageAsDialog(nullptr, request, &choice), kOk);
  EXPECT_EQ(proposed.toStdString(), folder + "beach-zV.jpg");
  EXPECT_EQ(prompt, "Save Image as:");
  EXPECT_EQ(swapped, "beach-zV.TIF");
  EXPECT_EQ(choice.path, folder + "beach-zV.TIF");
  EXPECT_EQ(choice.format, 10);

  TavelinPars record;
  InitTavelinPars(&record);
  record.contrast = 0.7f;
  ASSERT_EQ(SaveImageAsDone("/elsewhere/out/beach.tif", record), kOk);
  EXPECT_EQ(AppPrefs().saveAsFolder, "/elsewhere/out/");
  EXPECT_FLOAT_EQ(AppPrefs().previous.contrast, 0.7f);
}

}  // namespace
