// Progress areas with a stepped clock: nothing drawn for 2.0 s, then text and
// bar; Escape stops the operation; user input waits until the end.
#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include "ui/dlg.h"
#include "ui/progressarea.h"
#include "ui/uiapp.h"
#include "uitest_support.h"

namespace {

constexpr int kAreaDialog = 9002;
int gHits = 0;

Status BuildAreaDialog(QDialog* d) {
  d->resize(340, 140);
  auto* button = new QPushButton(QStringLiteral("Preferences..."), d);
  button->setProperty("itemId", 8);
  button->setGeometry(10, 100, 120, 28);
  return 0;
}

uint8_t CountHit(QWidget*, int) {
  ++gHits;
  return 1;
}

Status InitArea(QWidget* dlg) { return Ui_Dlg_SetItemHitProc(dlg, CountHit); }

class ProgressAreaTest : public UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    gHits = 0;
    Ui_Dlg_RegisterTemplate(kAreaDialog, BuildAreaDialog);
    ASSERT_EQ(Ui_Dlg_OpenModeless(state_, kAreaDialog, nullptr, InitArea, nullptr, &dlg_), 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg_));
    ASSERT_EQ(Ui_Dlg_Info_Get(dlg_, &info_), 0);
    button_ = dlg_->findChild<QPushButton*>();
  }
  void TearDown() override {
    if (Ui_Dlg_Info_Get(dlg_, &info_) == 0) Ui_Dlg_Close(dlg_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    UiFixture::TearDown();
  }
  QWidget* dlg_ = nullptr;
  Ui_Dlg_Info* info_ = nullptr;
  QPushButton* button_ = nullptr;
};

TEST_F(ProgressAreaTest, ShortOperationNeverDrawsAndHoldsOffInput) {
  now = 5000;
  ASSERT_EQ(Ui_Dlg_ProgressBegin(dlg_, 0, QRect(10, 10, 300, 40), "Reading beach.tif...", 100), 0);
  for (int64_t t : {5000, 6000, 6999}) {
    now = t;
    EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 0, (t - 5000) / 20), 0);
    EXPECT_EQ(info_->progress[0].shown, 0);
    EXPECT_TRUE(info_->progress[0].view.isNull());
  }
  QTest::mouseClick(button_, Qt::LeftButton);  // the user clicks while the operation runs
  EXPECT_EQ(gHits, 0);
  EXPECT_EQ(Ui_Dlg_ProgressEnd(dlg_, 0), 0);
  EXPECT_FALSE(Ui_Busy_Active());
  QTest::mouseClick(button_, Qt::LeftButton);
  EXPECT_EQ(gHits, 1);
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 0, 1), kBadArg);  // ended
}

TEST_F(ProgressAreaTest, EscapeDuringALongOperationStopsIt) {
  now = 0;
  ASSERT_EQ(Ui_Dlg_ProgressBegin(dlg_, 1, QRect(10, 10, 300, 40), "Saving beach.tif...", 100), 0);
  now = 1000;
  QTest::keyClick(button_, Qt::Key_Escape);  // pressed while nothing is drawn yet
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 10), 0);
  now = 2000;
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 20), kCancelled);
  EXPECT_EQ(info_->progress[1].shown, 1);
  now = 2100;
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 30), 0);  // the press was used up
  QTest::keyPress(button_, Qt::Key_Escape);       // held
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 40), kCancelled);
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 50), kCancelled);
  QTest::keyRelease(button_, Qt::Key_Escape);
  EXPECT_EQ(Ui_Dlg_ProgressSet(dlg_, 1, 60), 0);
  EXPECT_EQ(Ui_Dlg_ProgressEnd(dlg_, 1), 0);
}

TEST_F(ProgressAreaTest, BarPlacementAndFill) {
  struct Case {
    QRect rect;
    int barRow;    // a row through the bar
    int aboveRow;  // a row above it
  } cases[] = {
      {QRect(10, 10, 300, 40), 20, 12},  // tall: bar 16 below the top
      {QRect(10, 60, 300, 20), 10, 1},   // low: bar in the middle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rect.height());
    for (int64_t value : {int64_t{0}, int64_t{100}}) {
      now = 0;
      ASSERT_EQ(Ui_Dlg_ProgressBegin(dlg_, 0, c.rect, "Loading images...", 100), 0);
      now = 2500;
      ASSERT_EQ(Ui_Dlg_ProgressSet(dlg_, 0, value), 0);
      QWidget* view = info_->progress[0].view;
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(view->geometry(), c.rect);
      const QImage image = view->grab().toImage();
      const QColor bar = image.pixelColor(c.rect.width() - 5, c.barRow);
      EXPECT_EQ(bar, value == 100 ? view->palette().color(QPalette::Highlight) : view->palette().color(QPalette::Base));
      EXPECT_EQ(image.pixelColor(c.rect.width() - 5, c.aboveRow), view->palette().color(QPalette::Window));
      EXPECT_EQ(Ui_Dlg_ProgressEnd(dlg_, 0), 0);
      EXPECT_TRUE(info_->progress[0].view.isNull());
    }
  }
}

}  // namespace
