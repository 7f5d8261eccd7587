// GUI test support: a fixture with an open state, a stepped clock for the
// progress delay, answering the next modal box from a timer (as a user
// would, while the code under test waits in the box's loop), and where
// screenshots go ($TAVELIN_SCREENSHOTS, else the scratch folder).
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "support/app_fixture.h"
#include "ui/uiapp.h"

class UiFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    now = 0;
    previousClock_ = Ui_SetClock([] { return now; });
  }
  void TearDown() override {
    Ui_SetClock(previousClock_);
    AppFixture::TearDown();
  }
  static inline int64_t now = 0;  // the framework's clock in these tests

 private:
  UiClockFn previousClock_ = nullptr;
};

// Calls `answer` with the next modal window once it is up. The poll stops
// after the first answer. A window the answer left open is a test failure:
// it is closed after 10 s so that the test ends instead of waiting forever.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    QWidget* modal = QApplication::activeModalWidget();
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

// A path for a screenshot named `name` (".png" appended).
std::string ScreenshotPath(const std::string& name);
