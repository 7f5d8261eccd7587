// The GUI's UiHost driven as a user would: boxes answered by clicks and keys
// from a timer while the core waits in them, the progress window with a
// stepped clock, Qt's own file chooser typed into.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "base/alert.h"
#include "ui/dlg.h"
#include "ui/qthost.h"
#include "ui/screenshot.h"
#include "uitest_support.h"

namespace {

constexpr int kMainDialog = 9003;
int gMainHits = 0;

Status BuildMainDialog(QDialog* d) {
  d->resize(300, 120);
  auto* button = new QPushButton(QStringLiteral("Add..."), d);
  button->setProperty("itemId", 92);
  button->setGeometry(10, 10, 100, 28);
  return 0;
}

uint8_t MainHit(QWidget*, int) {
  ++gMainHits;
  return 1;
}

Status InitMain(QWidget* dlg) { return Ui_Dlg_SetItemHitProc(dlg, MainHit); }

class QtHostTest : public UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    host_ = std::make_unique<QtHost>();
    host_->nativeDialogs = false;
    previous_ = Ui_SetHost(host_.get());
  }
  void TearDown() override {
    Ui_SetHost(previous_);
    host_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    UiFixture::TearDown();
  }
  std::unique_ptr<QtHost> host_;

 private:
  UiHost* previous_ = nullptr;
};

TEST_F(QtHostTest, AlertShowsTheStopIconTheTwoTextsAndOneOkButton) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text, explanation;
  QStringList buttons;
  AnswerNextModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    text = box->text();
    explanation = box->informativeText();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    EXPECT_EQ(Ui_SaveScreenshot(box, ScreenshotPath("alert")), 0);
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
  });
  EXPECT_EQ(ReportError(kWriteErr, "writing image data"), kWriteErr);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(text.toStdString(), AlertMessage(kWriteErr, "writing image data"));
  EXPECT_EQ(explanation.toStdString(), DefaultExplanation(kWriteErr));
  EXPECT_EQ(buttons, QStringList{"OK"});
}

TEST_F(QtHostTest, QuestionsAnswerWithTheButtonTheUserChose) {
  struct Case {
    const char* name;
    int cancelButton;
    std::function<void(QMessageBox*)> user;
    int answer;
  } cases[] = {
      {"click", 0, [](QMessageBox* box) { QTest::mouseClick(box->buttons().at(1), Qt::LeftButton); }, 1},
      {"Escape", 0, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, 0},
      {"Enter", 0, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, 1},
      // Without a cancel button Escape does nothing; the user must choose.
      {"Escape, no cancel button", -1,
       [](QMessageBox* box) {
         QTest::keyClick(box, Qt::Key_Escape);
         EXPECT_TRUE(box->isVisible());
         QTest::mouseClick(box->buttons().at(0), Qt::LeftButton);
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UiQuestion q;
    q.text = "Are you sure you want to cancel the saving process?";
    q.buttons = {"Cancel", "Continue"};
    q.defaultButton = 1;
    q.cancelButton = c.cancelButton;
    QStringList labels;
    bool inOrder = false;
    AnswerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      for (QAbstractButton* b : box->buttons()) labels << b->text();
      inOrder = box->buttons().at(0)->x() < box->buttons().at(1)->x();
      EXPECT_EQ(box->text().toStdString(), q.text);
      c.user(box);
    });
    EXPECT_EQ(host_->Ask(q), c.answer);
    EXPECT_EQ(labels, (QStringList{"Cancel", "Continue"}));
    EXPECT_TRUE(inOrder);
  }
}

TEST_F(QtHostTest, ShortOperationNeverShowsTheProgressWindow) {
  now = 0;
  host_->ProgressOpen("Loading images...", 10);
  QWidget* window = host_->ProgressWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  for (int i = 1; i <= 9; ++i) {
    now = i * 200;  // up to 1.8 s
    EXPECT_EQ(host_->ProgressStep(i, ""), 0);
    EXPECT_FALSE(window->isVisible());
  }
  host_->ProgressClose();
  EXPECT_EQ(host_->ProgressWindow(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtHostTest, StopEscapeAndQuestionsDuringALongOperation) {
  Ui_Dlg_RegisterTemplate(kMainDialog, BuildMainDialog);
  QWidget* main = nullptr;
  ASSERT_EQ(Ui_Dlg_OpenModeless(state_, kMainDialog, nullptr, InitMain, nullptr, &main), 0);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
  QWidget* mainButton = main->findChild<QPushButton*>();
  gMainHits = 0;

  now = 0;
  host_->ProgressOpen("Processing 3 images...", 3);
  QWidget* window = host_->ProgressWindow();
  ASSERT_NE(window, nullptr);
  now = 500;
  EXPECT_EQ(host_->ProgressStep(0, ""), 0);
  QTest::mouseClick(mainButton, Qt::LeftButton);  // the application is busy
  EXPECT_EQ(gMainHits, 0);

  // After 2.0 s the window takes over from the wait cursor.
  now = 2000;
  EXPECT_EQ(host_->ProgressStep(1, ""), 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A progress inside it uses the second area.
  host_->ProgressOpen("Saving beach.tif...", 100);
  now = 4500;
  EXPECT_EQ(host_->ProgressStep(50, ""), 0);
  Ui_Dlg_Info* info = nullptr;
  ASSERT_EQ(Ui_Dlg_Info_Get(window, &info), 0);
  EXPECT_EQ(info->progress[0].text, "Processing 3 images...");
  EXPECT_EQ(info->progress[1].text, "Saving beach.tif...");
  EXPECT_EQ(info->progress[1].shown, 1);
  const std::string shot = ScreenshotPath("progress_window");
  ASSERT_EQ(Ui_SaveScreenshot(window, shot), 0);
  EXPECT_EQ(QImage(QString::fromStdString(shot)).size(), window->grab().size());

  // Stop, then Escape anywhere: each stops the operation once.
  auto* stop = window->findChild<QPushButton*>();
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->text(), "Stop");
  QTest::mouseClick(stop, Qt::LeftButton);
  now = 4600;
  EXPECT_EQ(host_->ProgressStep(51, ""), kCancelled);
  // The core asks whether to stop; the box takes input while the gate is up.
  UiQuestion q;
  q.text = "Are you sure you want to cancel the saving process?";
  q.buttons = {"Cancel", "Continue"};
  AnswerNextModal([](QWidget* w) { QTest::mouseClick(static_cast<QMessageBox*>(w)->buttons().at(1), Qt::LeftButton); });
  EXPECT_EQ(host_->Ask(q), 1);
  now = 4700;
  EXPECT_EQ(host_->ProgressStep(52, ""), 0);  // continued
  QTest::keyClick(mainButton, Qt::Key_Escape);
  now = 4800;
  EXPECT_EQ(host_->ProgressStep(53, ""), kCancelled);
  QTest::keyClick(window, Qt::Key_Escape);
  now = 4900;
  EXPECT_EQ(host_->ProgressStep(54, ""), kCancelled);
  now = 5000;
  EXPECT_EQ(host_->ProgressStep(55, ""), 0);
  EXPECT_EQ(gMainHits, 0);

  host_->ProgressClose();
  EXPECT_NE(host_->ProgressWindow(), nullptr);  // the outer progress goes on
  host_->ProgressClose();
  EXPECT_EQ(host_->ProgressWindow(), nullptr);
  QTest::mouseClick(mainButton, Qt::LeftButton);
  EXPECT_EQ(gMainHits, 1);
  Ui_Dlg_Close(main);
}

TEST_F(QtHostTest, SaveChooserSwapsTheExtensionWithTheTypeAndAppendsAMissingOne) {
  const std::string folder = FreshDir("save");
  UiFileRequest request;
  request.title = "Save Image as";
  request.prompt = "Save Image as:";
  request.folder = folder;
  request.name = "beach-zV.tif";
  request.filters = {"TIFF (*.tif)", "JPEG (*.jpg)", "BMP (*.bmp)"};
  state_->lowerCaseExtension = 0;
  QString proposed, swapped;
  AnswerNextModal([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(name && types);
    proposed = name->text();
    QTest::keyClick(types, Qt::Key_Down);  // JPEG
    swapped = name->text();
    QTest::keyClick(name, Qt::Key_Return);
  });
  std::string path;
  ASSERT_EQ(host_->ChooseSaveFile(request, path), 0);
  EXPECT_EQ(proposed, "beach-zV.tif");
  EXPECT_EQ(swapped, "beach-zV.JPG");
  EXPECT_EQ(path, folder + "beach-zV.JPG");

  // A name typed without extension gets the type's one.
  state_->lowerCaseExtension = 1;
  AnswerNextModal([](QWidget* w) {
    auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText("sunset");  // set, not typed: the completer's popup would race the Return
    QTest::keyClick(name, Qt::Key_Return);
  });
  ASSERT_EQ(host_->ChooseSaveFile(request, path), 0);
  EXPECT_EQ(path, folder + "sunset.tif");

  // Escape cancels.
  AnswerNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_EQ(host_->ChooseSaveFile(request, path), kCancelled);
}

TEST_F(QtHostTest, FolderAndOpenChoosers) {
  const std::string folder = FreshDir("choose");
  WriteFileText(folder + "a.tif", "x");
  WriteFileText(folder + "b.tif", "x");
  UiFileRequest request;
  request.title = "Choose a folder";
  request.folder = ScratchDir();
  AnswerNextModal([&](QWidget* w) {
    auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QString::fromStdString(folder));
    QTest::keyClick(name, Qt::Key_Return);
  });
  std::string chosen;
  ASSERT_EQ(host_->ChooseFolder(request, chosen), 0);
  EXPECT_EQ(chosen, folder);  // ends in '/'

  UiFileRequest open;
  open.title = "Select RGB images.";
  open.folder = folder;
  open.multiple = true;
  AnswerNextModal([](QWidget* w) {
    auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText("\"a.tif\" \"b.tif\"");
    QTest::keyClick(name, Qt::Key_Return);
  });
  std::vector<std::string> paths;
  ASSERT_EQ(host_->ChooseOpenFiles(open, paths), 0);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{folder + "a.tif", folder + "b.tif"}));
}

TEST(Screenshot, RefusesWhatItCannotWrite) {
  QWidget widget;
  widget.resize(40, 30);
  EXPECT_EQ(Ui_SaveScreenshot(nullptr, "x.png"), kBadArg);
  EXPECT_EQ(Ui_SaveScreenshot(&widget, ""), kBadArg);
  EXPECT_EQ(Ui_SaveScreenshot(&widget, "/nonexistent-folder/x.png"), kWriteErr);
}

}  // namespace
