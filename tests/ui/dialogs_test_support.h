// Support for the tests of the application's dialogs (ui/dialogs.h): a
// fixture with the preferences at their defaults, the help file in the
// temporary folder and the scripted host answering messages and choosers;
// item access by id and user actions on controls; the preference record
// encoded as the file's entries, to compare whole records.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "prefs/prefs.h"
#include "session/helptext.h"
#include "base/strings.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"
#include "ui/screenshot.h"
#include "uitest_support.h"

class DialogsFixture : public UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    ResetPrefs(&AppPrefs());
    std::string temp;
    Ui_Path_SetToTempFolder(temp);
    helpPath = temp + ResString(1004);
    WriteFileText(helpPath, std::string(BuiltInHelpText()));
  }
  void TearDown() override {
    ResetPrefs(&AppPrefs());
    UiFixture::TearDown();
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& e : host().Of(ScriptedHost::Kind::Message)) out.push_back(e.text);
    return out;
  }
  std::vector<std::string> Alerts() {
    std::vector<std::string> out;
    for (const auto& e : host().Of(ScriptedHost::Kind::Alert)) out.push_back(e.text);
    return out;
  }
  std::string helpPath;
};

// Like AnswerNextModal, for the next modal window of class T only: a window
// of another class that is up meanwhile (the one that opens it) is left alone.
template <class T>
void AnswerNextModalOf(std::function<void(T*)> answer) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    QPointer<QDialog> dialog = qobject_cast<QDialog*>(modal);
    answer(modal);
    QTimer::singleShot(10000, qApp, [dialog] {
      if (!dialog || !dialog->isVisible()) return;
      ADD_FAILURE() << "a modal window stayed open after its answer";
      dialog->done(QDialog::Rejected);
    });
  });
  timer->start();
}

inline QWidget* ItemOf(QWidget* dlg, int id) {
  QWidget* w = nullptr;
  Ui_Dlg_GetItem(dlg, id, &w);
  return w;
}
template <class T>
T* ItemAs(QWidget* dlg, int id) {
  return qobject_cast<T*>(ItemOf(dlg, id));
}
// A click on a button or check box, as the user would (on a check box's
// mark: a box wider than its caption does not take clicks past the caption).
inline void Click(QWidget* dlg, int id) {
  QWidget* w = ItemOf(dlg, id);
  ASSERT_NE(w, nullptr) << "no item " << id;
  const bool mark = w->inherits("QCheckBox") || w->inherits("QRadioButton");
  QTest::mouseClick(w, Qt::LeftButton, {}, mark ? QPoint(8, w->height() / 2) : QPoint());
}
// The user picks entry `entry` of a list.
inline void Choose(QWidget* dlg, int id, int entry) {
  auto* combo = ItemAs<QComboBox>(dlg, id);
  ASSERT_NE(combo, nullptr) << "no list " << id;
  combo->setCurrentIndex(entry);
  emit combo->activated(entry);
}
inline int Entry(QWidget* dlg, int id) {
  auto* combo = ItemAs<QComboBox>(dlg, id);
  return combo ? combo->currentIndex() : -2;
}
inline bool Checked(QWidget* dlg, int id) {
  auto* b = ItemAs<QAbstractButton>(dlg, id);
  return b && b->isChecked();
}
inline std::string TextOf(QWidget* dlg, int id) {
  std::string text;
  Ui_Dlg_GetItemText(dlg, id, &text);
  return text;
}
inline void Shot(QWidget* w, const std::string& name) { EXPECT_EQ(Ui_SaveScreenshot(w, ScreenshotPath(name)), 0) << name; }

// Every stored entry of a record, as the preferences file holds them.
std::vector<uint8_t> Encoded(const Prefs& prefs);
