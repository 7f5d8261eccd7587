// The dialog framework driven as a user would: QTest mouse and key events,
// the window system's close, drops and resizes, and timers that act inside
// the modal loops.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <string>
#include <vector>

#include "base/uistate.h"
#include "ui/dlg.h"
#include "ui/dlgitems.h"
#include "ui/useritem.h"
#include "uitest_support.h"

namespace {

constexpr int kTestDialog = 9001;
enum : int { kItemOk = 1, kItemCancel = 2, kItemCheck = 3, kItemEdit = 4, kItemCombo = 5, kItemList = 6, kItemArea = 7 };

Status BuildTestDialog(QDialog* d) {
  d->resize(360, 260);
  auto place = [](QWidget* w, int id, const QRect& r) {
    w->setProperty("itemId", id);
    w->setGeometry(r);
  };
  place(new QPushButton(QStringLiteral("OK"), d), kItemOk, {250, 220, 90, 28});
  place(new QPushButton(QStringLiteral("Cancel"), d), kItemCancel, {150, 220, 90, 28});
  place(new QCheckBox(QStringLiteral("Sharpen"), d), kItemCheck, {10, 10, 120, 24});
  place(new QLineEdit(d), kItemEdit, {10, 40, 120, 24});
  place(new QComboBox(d), kItemCombo, {10, 70, 120, 24});
  auto* list = new QListWidget(d);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  place(list, kItemList, {10, 100, 120, 80});
  place(new UiUserItem(d), kItemArea, {150, 10, 200, 150});
  return 0;
}

// What the procedures saw, and how they answer. The dialog's user data.
struct Recorder {
  std::vector<std::string> events;
  Status initStatus = 0;
  int closeOn = -1;  // item hit that sets the close flag
  bool idle = false;
  bool closeProc = false;
  bool closeProcSetsFlag = false;
  bool tracking = false;
  uint8_t answerPhase0 = 0;
  uint8_t answerPhase2 = 0;
  std::vector<int> mouseDownByPhase;
  std::vector<QPoint> mouseByPhase;  // (h, v) in the dialog
  int handledKey = -1;
  std::vector<std::string> drops;
  std::vector<QRect> resizes;
  std::vector<int> cursorShift;
};

Ui_Dlg_Info* Info(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  return Ui_Dlg_Info_Get(dlg, &info) == 0 ? info : nullptr;
}
Recorder& Rec(QWidget* dlg) { return *static_cast<Recorder*>(Info(dlg)->userData); }

uint8_t Hit(QWidget* dlg, int item) {
  Recorder& r = Rec(dlg);
  r.events.push_back("hit " + std::to_string(item));
  if (item == r.closeOn) Info(dlg)->closeRequested = 1;
  return 1;
}
uint8_t Idle(QWidget* dlg) {
  Rec(dlg).events.push_back("idle");
  return 0;
}
void CloseBox(QWidget* dlg) {
  Rec(dlg).events.push_back("close box");
  if (Rec(dlg).closeProcSetsFlag) Info(dlg)->closeRequested = 1;
}
void Draw(QWidget*, int, QPainter& painter) { painter.fillRect(QRect(0, 0, 200, 150), Qt::darkCyan); }
uint8_t Track(QWidget* dlg, int item, int phase) {
  Recorder& r = Rec(dlg);
  Ui_Dlg_Info* info = Info(dlg);
  r.events.push_back("track " + std::to_string(item) + " phase " + std::to_string(phase));
  r.mouseDownByPhase.push_back(info->mouseDown);
  r.mouseByPhase.emplace_back(info->mouseH, info->mouseV);
  return phase == 0 ? r.answerPhase0 : phase == 2 ? r.answerPhase2 : 0;
}
uint8_t Key(QWidget* dlg, int key, uint8_t ctrl) {
  Recorder& r = Rec(dlg);
  r.events.push_back("key " + std::to_string(key) + (ctrl ? " ctrl" : ""));
  return key == r.handledKey ? 1 : 0;
}
Status Drop(QWidget* dlg, int count, const std::vector<std::string>& paths) {
  Recorder& r = Rec(dlg);
  r.events.push_back("drop " + std::to_string(count));
  r.drops = paths;
  return 0;
}
Status Resize(QWidget* dlg, const QRect& bounds) {
  Rec(dlg).resizes.push_back(bounds);
  return 0;
}
Status FirstPaint(QWidget* dlg) {
  Rec(dlg).events.push_back("first paint");
  return 0;
}
uint8_t Cursor(QWidget* dlg) {
  Rec(dlg).cursorShift.push_back(Info(dlg)->shift);
  return 1;
}

Status Init(QWidget* dlg) {
  Recorder& r = *static_cast<Recorder*>(Info(dlg)->userData);
  r.events.push_back("init");
  if (r.initStatus != 0) return r.initStatus;
  Ui_Dlg_SetItemHitProc(dlg, Hit);
  if (r.idle) Ui_Dlg_SetIdleProc(dlg, Idle);
  if (r.closeProc) Ui_Dlg_SetCloseProc(dlg, CloseBox);
  if (r.tracking) Ui_Dlg_SetUserItemProcs(dlg, Draw, Track);
  Ui_Dlg_SetKeyProc(dlg, Key);
  Ui_Dlg_SetDropProc(dlg, Drop);
  Ui_Dlg_SetResizeProc(dlg, Resize);
  Ui_Dlg_SetFirstPaintProc(dlg, FirstPaint);
  Ui_Dlg_SetCursorProc(dlg, Cursor);
  // What the program sets gives no item hits.
  Ui_Dlg_CheckItem(dlg, kItemCheck, true);
  Ui_Dlg_SetItemText(dlg, kItemEdit, "abc");
  Ui_Dlg_FillList(dlg, kItemCombo, {"Neutrals", "Sliders"});
  Ui_Dlg_SelectListEntry(dlg, kItemCombo, 0);
  Ui_Dlg_FillList(dlg, kItemList, {"a.tif", "b.tif", "c.tif"});
  Ui_Dlg_SelectListEntry(dlg, kItemList, 2);
  return 0;
}

QWidget* Item(QWidget* dlg, int item) {
  QWidget* w = nullptr;
  Ui_Dlg_GetItem(dlg, item, &w);
  return w;
}

int UsedSlots(const UiState* state) {
  int used = 0;
  for (const void* slot : state->windows) used += slot != nullptr;
  return used;
}

class DlgTest : public UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    Ui_Dlg_RegisterTemplate(kTestDialog, BuildTestDialog);
  }
  // Opens a modeless test dialog and waits until it is on screen.
  QWidget* OpenModeless(Recorder& r) {
    QWidget* dlg = nullptr;
    EXPECT_EQ(Ui_Dlg_OpenModeless(state_, kTestDialog, nullptr, Init, &r, &dlg), 0);
    if (dlg) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg));
    }
    return dlg;
  }
  void CloseAndFlush(QWidget* dlg) {
    QPointer<QWidget> guard(dlg);
    if (Info(dlg)) Ui_Dlg_Close(dlg);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
  }
};

TEST_F(DlgTest, FailingInitEndsAModalDialogWithItemTwoBeforeItIsShown) {
  Recorder r;
  r.initStatus = kOpenErr;
  int16_t result = 0;
  ASSERT_EQ(Ui_Dlg_OpenModal(state_, kTestDialog, nullptr, Init, &r, &result), 0);
  EXPECT_EQ(result, kUiDlgCancelItem);
  EXPECT_EQ(r.events, std::vector<std::string>{"init"});  // never painted
  EXPECT_EQ(UsedSlots(state_), 0);
  EXPECT_EQ(Ui_Dlg_OwnerWindow(), nullptr);
}

TEST_F(DlgTest, ModalDialogReportsWhatTheUserDoesAndEndsWithTheItemThatClosedIt) {
  OpenState(1);
  ClearLog();
  Recorder r;
  r.closeOn = kItemOk;
  bool checkedAtStart = false;
  AnswerNextModal([&](QWidget* dlg) {
    EXPECT_EQ(UsedSlots(state_), 1);
    EXPECT_EQ(Ui_Dlg_OwnerWindow(), dlg);
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
    Ui_Dlg_IsItemChecked(dlg, kItemCheck, &checkedAtStart);
    QTest::mouseClick(Item(dlg, kItemEdit), Qt::LeftButton);  // focus only
    QTest::keyClicks(Item(dlg, kItemEdit), "x");              // change
    QTest::mouseClick(Item(dlg, kItemCheck), Qt::LeftButton);  // focus leaves the edit, then the click
    QTest::keyClick(Item(dlg, kItemCombo), Qt::Key_Down);      // selection change
    QTest::mouseClick(Item(dlg, kItemOk), Qt::LeftButton);
  });
  int16_t result = 0;
  ASSERT_EQ(Ui_Dlg_OpenModal(state_, kTestDialog, nullptr, Init, &r, &result), 0);
  EXPECT_EQ(result, kItemOk);
  EXPECT_TRUE(checkedAtStart);
  // "first paint" may come anywhere after init; the hits come in the user's order.
  std::vector<std::string> hits;
  for (const std::string& e : r.events)
    if (e.rfind("hit", 0) == 0) hits.push_back(e);
  EXPECT_EQ(hits, (std::vector<std::string>{"hit 4", "hit 4", "hit 3", "hit 5", "hit 1"}));
  EXPECT_EQ(r.events.front(), "init");
  EXPECT_EQ(UsedSlots(state_), 0);
  const std::string log = LogText();
  EXPECT_NE(log.find("WM_COMMAND : EN_CHANGE\nmodal 9001 item = 4, ("), std::string::npos) << log;
  EXPECT_NE(log.find("WM_COMMAND : EN_KILLFOCUS\nmodal 9001 item = 4, ("), std::string::npos);
  EXPECT_NE(log.find("WM_COMMAND : CBN_SELCHANGE\nmodal 9001 item = 5, ("), std::string::npos);
  EXPECT_NE(log.find("WM_COMMAND : BN_CLICKED\nmodal 9001 item = 1, ("), std::string::npos);
}

TEST_F(DlgTest, EscapeIsAHitOnItemTwo) {
  Recorder r;
  r.closeOn = kItemCancel;
  AnswerNextModal([](QWidget* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
  int16_t result = 0;
  ASSERT_EQ(Ui_Dlg_OpenModal(state_, kTestDialog, nullptr, Init, &r, &result), 0);
  EXPECT_EQ(result, kItemCancel);
}

TEST_F(DlgTest, IdleTimerExistsOnlyWithAnIdleProcedureAndIdleRunsBeforeEachEvent) {
  Recorder quiet;
  QWidget* a = OpenModeless(quiet);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Info(a)->idleTimer, nullptr);

  Recorder busy;
  busy.idle = true;
  QWidget* b = OpenModeless(busy);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(Info(b)->idleTimer, nullptr);
  EXPECT_TRUE(Info(b)->idleTimer->isActive());
  EXPECT_EQ(Info(b)->idleTimer->interval(), 100);
  QTest::mouseClick(Item(b, kItemCheck), Qt::LeftButton);
  ASSERT_GE(busy.events.size(), 2u);
  EXPECT_EQ(busy.events[busy.events.size() - 2], "idle");
  EXPECT_EQ(busy.events.back(), "hit 3");
  // The timer keeps calling it.
  const size_t before = busy.events.size();
  QTRY_VERIFY(busy.events.size() > before && busy.events.back() == "idle");

  CloseAndFlush(a);
  CloseAndFlush(b);
  EXPECT_EQ(UsedSlots(state_), 0);
}

TEST_F(DlgTest, CloseBoxClosesOnlyWhenTheCloseProcedureSetsTheFlag) {
  struct Case {
    bool closeProc;
    bool setsFlag;
    bool closes;
  } cases[] = {{false, false, true}, {true, false, false}, {true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "close procedure " << c.closeProc << ", sets flag " << c.setsFlag);
    Recorder r;
    r.closeProc = c.closeProc;
    r.closeProcSetsFlag = c.setsFlag;
    QPointer<QWidget> dlg = OpenModeless(r);
    ASSERT_TRUE(dlg);
    dlg->windowHandle()->close();  // what the window system sends for the close box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dlg.isNull(), c.closes);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "close box"), c.closeProc ? 1 : 0);
    if (dlg) {
      EXPECT_TRUE(dlg->isVisible());
      EXPECT_EQ(UsedSlots(state_), 1);
      CloseAndFlush(dlg);
    }
    EXPECT_EQ(UsedSlots(state_), 0);
  }
}

TEST_F(DlgTest, UserItemClicksAndTrackedDrags) {
  struct Case {
    uint8_t phase0, phase2;
    std::vector<std::string> events;
  } cases[] = {
      // Not tracked: one item hit at the press.
      {0, 0, {"track 7 phase 0", "hit 7"}},
      // Tracked and handled: no item hit.
      {1, 1, {"track 7 phase 0", "track 7 phase 1", "track 7 phase 1", "track 7 phase 2"}},
      // Tracked, not handled: the hit follows the release.
      {1, 0, {"track 7 phase 0", "track 7 phase 1", "track 7 phase 1", "track 7 phase 2", "hit 7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "answers " << (int)c.phase0 << ", " << (int)c.phase2);
    Recorder r;
    r.tracking = true;
    r.answerPhase0 = c.phase0;
    r.answerPhase2 = c.phase2;
    QWidget* dlg = OpenModeless(r);
    ASSERT_NE(dlg, nullptr);
    QWidget* area = Item(dlg, kItemArea);
    r.events.clear();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mouseMove(area, QPoint(30, 40));
    QTest::mouseMove(area, QPoint(50, 60));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(50, 60));
    std::vector<std::string> events;
    for (const std::string& e : r.events)
      if (e != "first paint") events.push_back(e);
    EXPECT_EQ(events, c.events);
    // The mouse-down flag is up from the press to the release; positions are
    // in the dialog's client area.
    ASSERT_FALSE(r.mouseDownByPhase.empty());
    EXPECT_EQ(r.mouseDownByPhase.front(), 1);
    EXPECT_EQ(r.mouseByPhase.front(), area->mapTo(dlg, QPoint(10, 20)));
    if (c.phase0 == 1) {
      EXPECT_EQ(r.mouseDownByPhase, (std::vector<int>{1, 1, 1, 0}));
      EXPECT_EQ(r.mouseByPhase[1], area->mapTo(dlg, QPoint(30, 40)));
    }
    EXPECT_EQ(Info(dlg)->mouseDown, 0);
    CloseAndFlush(dlg);
  }
}

TEST_F(DlgTest, KeysModifiersDropsResizeAndFirstPaint) {
  Recorder r;
  r.handledKey = Qt::Key_A;
  QWidget* dlg = OpenModeless(r);
  ASSERT_NE(dlg, nullptr);
  QTRY_COMPARE(std::count(r.events.begin(), r.events.end(), "first paint"), 1);

  // Keys: every key-down reaches the key procedure; a handled one goes no further.
  auto* edit = static_cast<QLineEdit*>(Item(dlg, kItemEdit));
  r.events.clear();
  QTest::keyClick(edit, Qt::Key_A);
  QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(edit->text(), "abc");  // 'a' was handled; Ctrl+B moves the cursor only
  EXPECT_EQ(r.events[0], "key " + std::to_string(Qt::Key_A));
  EXPECT_NE(std::find(r.events.begin(), r.events.end(), "key " + std::to_string(Qt::Key_B) + " ctrl"), r.events.end());

  // A modifier change over a user item asks the cursor procedure again.
  QWidget* area = Item(dlg, kItemArea);
  QEnterEvent enter(QPointF(5, 5), area->mapTo(dlg, QPointF(5, 5)), area->mapToGlobal(QPointF(5, 5)));
  QCoreApplication::sendEvent(area, &enter);
  QTest::keyPress(dlg, Qt::Key_Shift);
  QTest::keyRelease(dlg, Qt::Key_Shift);
  EXPECT_EQ(r.cursorShift, (std::vector<int>{1, 0}));

  // Files dropped from the desktop.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/photos/a.tif"), QUrl::fromLocalFile("/photos/b c.jpg")});
  QDragEnterEvent dragEnter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dlg, &dragEnter);
  EXPECT_TRUE(dragEnter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dlg, &drop);
  EXPECT_EQ(r.drops, (std::vector<std::string>{"/photos/a.tif", "/photos/b c.jpg"}));

  // A move changes no size; a new size calls the resize procedure once, when it settled.
  const QSize size = dlg->size();
  dlg->move(dlg->pos() + QPoint(15, 15));
  dlg->resize(size + QSize(20, 10));
  dlg->resize(size + QSize(40, 30));
  QTRY_COMPARE(r.resizes.size(), 1u);
  EXPECT_EQ(r.resizes[0].size(), size + QSize(40, 30));
  CloseAndFlush(dlg);
}

TEST_F(DlgTest, WindowTableAndOwnerWindow) {
  Recorder ra, rb;
  QWidget* a = OpenModeless(ra);
  QWidget* b = OpenModeless(rb);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(state_->windows[0], a);
  EXPECT_EQ(state_->windows[1], b);
  EXPECT_EQ(Ui_Dlg_OwnerWindow(), b);  // the last initialised
  CloseAndFlush(b);
  EXPECT_EQ(state_->windows[1], nullptr);
  EXPECT_EQ(Ui_Dlg_OwnerWindow(), a);

  // All 500 slots taken: the dialog is refused before its init runs.
  for (int i = 1; i < kWindowSlots; ++i) state_->windows[i] = &state_->windows[i];
  Recorder rc;
  QWidget* c = nullptr;
  EXPECT_EQ(Ui_Dlg_OpenModeless(state_, kTestDialog, nullptr, Init, &rc, &c), kSysErr);
  EXPECT_EQ(c, nullptr);
  EXPECT_TRUE(rc.events.empty());
  for (int i = 1; i < kWindowSlots; ++i) state_->windows[i] = nullptr;
  CloseAndFlush(a);
  EXPECT_EQ(UsedSlots(state_), 0);

  // Records: foreign windows and closed dialogs have none.
  Ui_Dlg_Info* info = nullptr;
  QWidget plain;
  EXPECT_EQ(Ui_Dlg_Info_Get(nullptr, &info), kBadArg);
  EXPECT_EQ(Ui_Dlg_Info_Get(&plain, &info), kSysErr);
  EXPECT_EQ(Ui_Dlg_SetIdleProc(&plain, Idle), kSysErr);
  EXPECT_EQ(Ui_Dlg_OpenModeless(state_, 4242, nullptr, Init, &rc, &c), kSysErr);  // no such template
}

TEST_F(DlgTest, ItemServicesWorkByIdAndRefuseUnknownIds) {
  Recorder r;
  QWidget* dlg = OpenModeless(r);
  ASSERT_NE(dlg, nullptr);
  std::string text;
  EXPECT_EQ(Ui_Dlg_GetItemText(dlg, kItemEdit, &text), 0);
  EXPECT_EQ(text, "abc");
  bool checked = false;
  EXPECT_EQ(Ui_Dlg_ToggleItem(dlg, kItemCheck, &checked), 0);
  EXPECT_FALSE(checked);
  int entry = -2;
  EXPECT_EQ(Ui_Dlg_GetListSelection(dlg, kItemList, &entry), 0);
  EXPECT_EQ(entry, 2);
  EXPECT_EQ(Ui_Dlg_SetListEntrySelected(dlg, kItemList, 0, true), 0);
  std::vector<int> selected;
  EXPECT_EQ(Ui_Dlg_GetListSelections(dlg, kItemList, &selected), 0);
  EXPECT_EQ(selected, (std::vector<int>{0, 2}));
  EXPECT_EQ(Ui_Dlg_EnableItem(dlg, kItemOk, false), 0);
  EXPECT_FALSE(Item(dlg, kItemOk)->isEnabled());
  EXPECT_EQ(Ui_Dlg_MoveItem(dlg, kItemOk, QRect(20, 200, 80, 30)), 0);
  QRect bounds;
  EXPECT_EQ(Ui_Dlg_GetItemBounds(dlg, kItemOk, &bounds), 0);
  EXPECT_EQ(bounds, QRect(20, 200, 80, 30));
  EXPECT_EQ(Ui_Dlg_SetItemText(dlg, 99, "x"), kBadArg);
  EXPECT_EQ(Ui_Dlg_CheckItem(dlg, kItemEdit, true), kBadArg);  // not a check box
  // None of it was an item hit.
  EXPECT_EQ(std::count_if(r.events.begin(), r.events.end(), [](const std::string& e) { return e.rfind("hit", 0) == 0; }),
            0);
  // Per-item arrays are sized by the largest id.
  EXPECT_EQ(Info(dlg)->itemCount, kItemArea + 1);
  EXPECT_EQ(Info(dlg)->itemPairs[kItemArea], (std::pair<int32_t, int32_t>(-1, 0)));
  CloseAndFlush(dlg);
}

}  // namespace
