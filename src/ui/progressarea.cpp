#include "ui/progressarea.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <algorithm>

#include "ui/dlg_internal.h"
#include "ui/uiapp.h"

namespace {

constexpr int64_t kPumpIntervalMs = 50;
constexpr int kShortArea = 26;
constexpr int kBarOffset = 16;

// Cuts UTF-8 text to at most 255 bytes without splitting a character.
std::string CutText(const std::string& text) {
  if (text.size() <= kUiProgressTextMax) return text;
  size_t n = kUiProgressTextMax;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

// Draws one area: its text and its bar.
class ProgressView : public QWidget {
 public:
  explicit ProgressView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

  // Repaints at once when what is drawn changed.
  void Show(const std::string& text, int64_t value, int64_t maximum) {
    const QString q = QString::fromUtf8(text.data(), (qsizetype)text.size());
    const int fill = Fill(value, maximum);
    if (q == text_ && fill == fill_ && isVisible()) return;
    text_ = q;
    fill_ = fill;
    if (!isVisible()) show();
    repaint();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect bar = BarRect();
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(TextRect(bar), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               fontMetrics().elidedText(text_, Qt::ElideRight, TextRect(bar).width()));
    p.fillRect(bar, palette().base());
    p.fillRect(QRect(bar.left(), bar.top(), fill_ * bar.width() / kFillSteps, bar.height()), palette().highlight());
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(bar.adjusted(0, 0, -1, -1));
  }

 private:
  static constexpr int kFillSteps = 1000;

  static int Fill(int64_t value, int64_t maximum) {
    if (maximum <= 0) return 0;
    return (int)(std::clamp<int64_t>(value, 0, maximum) * kFillSteps / maximum);
  }

  QRect BarRect() const {
    const int w = width(), h = height();
    if (h < kShortArea) {
      const int barH = std::min(h, 12);
      const int left = std::min(w / 2, fontMetrics().horizontalAdvance(text_) + 8);
      return QRect(left, (h - barH) / 2, w - left, barH);
    }
    return QRect(0, kBarOffset, w, std::min(h - kBarOffset, 12));
  }

  QRect TextRect(const QRect& bar) const {
    if (height() < kShortArea) return QRect(0, 0, bar.left(), height());
    return QRect(0, 0, width(), kBarOffset);
  }

  QString text_;
  int fill_ = -1;
};

// The area, or the failing status.
Status Area(QWidget* dlg, int index, UiDlgWindow** window, Ui_Dlg_ProgressArea** area) {
  if (!dlg || index < 0 || index >= kUiProgressAreas) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  *window = w;
  *area = &w->info.progress[index];
  return kOk;
}

void EndArea(Ui_Dlg_ProgressArea& a) {
  if (!a.active) return;
  a.active = 0;
  a.shown = 0;
  delete a.view.data();
  a.view = nullptr;
  Ui_Busy_Leave();
}

}  // namespace

namespace UiDlg {
void EndProgressAreas(UiDlgWindow* w) {
  for (Ui_Dlg_ProgressArea& a : w->info.progress) EndArea(a);
}
}  // namespace UiDlg

Status Ui_Dlg_ProgressBegin(QWidget* dlg, int index, const QRect& rect, const std::string& text, int64_t maximum) {
  UiDlgWindow* w = nullptr;
  Ui_Dlg_ProgressArea* a = nullptr;
  Status st = Area(dlg, index, &w, &a);
  if (st != kOk) return st;
  if (maximum < 0) return kBadArg;
  EndArea(*a);
  a->active = 1;
  a->shown = 0;
  a->rect = rect;
  a->text = CutText(text);
  a->maximum = maximum;
  a->value = 0;
  a->startMs = a->lastPumpMs = Ui_ClockMs();
  Ui_Key_ResetEscape();
  Ui_Busy_Enter(nullptr);
  return kOk;
}

Status Ui_Dlg_ProgressSetText(QWidget* dlg, int index, const std::string& text) {
  UiDlgWindow* w = nullptr;
  Ui_Dlg_ProgressArea* a = nullptr;
  Status st = Area(dlg, index, &w, &a);
  if (st != kOk) return st;
  if (!a->active) return kBadArg;
  a->text = CutText(text);
  return kOk;
}

Status Ui_Dlg_ProgressSet(QWidget* dlg, int index, int64_t value) {
  UiDlgWindow* w = nullptr;
  Ui_Dlg_ProgressArea* a = nullptr;
  Status st = Area(dlg, index, &w, &a);
  if (st != kOk) return st;
  if (!a->active) return kBadArg;
  a->value = std::clamp<int64_t>(value, 0, a->maximum);
  const int64_t now = Ui_ClockMs();
  if (now - a->startMs < kUiProgressDelayMs) return kOk;
  if (!a->view) {
    a->view = new ProgressView(w);
    a->view->setGeometry(a->rect);
    a->view->raise();
  }
  a->shown = 1;
  static_cast<ProgressView*>(a->view.data())->Show(a->text, a->value, a->maximum);
  if (now - a->lastPumpMs >= kPumpIntervalMs) {
    a->lastPumpMs = now;
    // Let the window draw and the keyboard report Escape. The busy gate keeps
    // user input away from the application meanwhile.
    QPointer<UiDlgWindow> guard(w);
    QCoreApplication::processEvents();
    if (!guard || w->closed) return kCancelled;
  }
  return Ui_Key_EscapeDown(true) ? kCancelled : kOk;
}

Status Ui_Dlg_ProgressEnd(QWidget* dlg, int index) {
  UiDlgWindow* w = nullptr;
  Ui_Dlg_ProgressArea* a = nullptr;
  Status st = Area(dlg, index, &w, &a);
  if (st != kOk) return st;
  if (!a->active) return kBadArg;
  EndArea(*a);
  return kOk;
}
