#include "ui/dlgitems.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QPointer>
#include <QTextEdit>

#include "ui/dlg_internal.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), (qsizetype)s.size()); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

// The control, or the failing status.
Status Find(QWidget* dlg, int item, QWidget** control) {
  if (!dlg) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  QWidget* c = UiDlg::Item(w, item);
  if (!c) return kBadArg;
  *control = c;
  return kOk;
}

// While alive, changes to the dialog's controls produce no item hits.
class Quiet {
 public:
  explicit Quiet(QWidget* control) : w_(UiDlg::OfWidget(control)) {
    if (w_) ++w_->quiet;
  }
  ~Quiet() {
    if (w_) --w_->quiet;
  }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  QPointer<UiDlgWindow> w_;
};

template <typename T>
Status FindAs(QWidget* dlg, int item, T** control) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  *control = qobject_cast<T*>(c);
  return *control ? kOk : kBadArg;
}

}  // namespace

Status Ui_Dlg_GetItem(QWidget* dlg, int item, QWidget** control) {
  if (!control) return kBadArg;
  return Find(dlg, item, control);
}

Status Ui_Dlg_GetItemText(QWidget* dlg, int item, std::string* text) {
  if (!text) return kBadArg;
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  if (auto* l = qobject_cast<QLabel*>(c)) *text = S(l->text());
  else if (auto* b = qobject_cast<QAbstractButton*>(c)) *text = S(b->text());
  else if (auto* e = qobject_cast<QLineEdit*>(c)) *text = S(e->text());
  else if (auto* p = qobject_cast<QPlainTextEdit*>(c)) *text = S(p->toPlainText());
  else if (auto* t = qobject_cast<QTextEdit*>(c)) *text = S(t->toPlainText());
  else if (auto* cb = qobject_cast<QComboBox*>(c)) *text = S(cb->currentText());
  else if (auto* g = qobject_cast<QGroupBox*>(c)) *text = S(g->title());
  else *text = S(c->property("itemText").toString());
  return kOk;
}

Status Ui_Dlg_SetItemText(QWidget* dlg, int item, const std::string& text) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  const Quiet quiet(c);
  const QString q = Q(text);
  if (auto* l = qobject_cast<QLabel*>(c)) l->setText(q);
  else if (auto* b = qobject_cast<QAbstractButton*>(c)) b->setText(q);
  else if (auto* e = qobject_cast<QLineEdit*>(c)) e->setText(q);
  else if (auto* p = qobject_cast<QPlainTextEdit*>(c)) p->setPlainText(q);
  else if (auto* t = qobject_cast<QTextEdit*>(c)) t->setPlainText(q);
  else if (auto* cb = qobject_cast<QComboBox*>(c)) cb->setCurrentText(q);
  else if (auto* g = qobject_cast<QGroupBox*>(c)) g->setTitle(q);
  else {
    c->setProperty("itemText", q);
    c->update();
  }
  return kOk;
}

Status Ui_Dlg_CheckItem(QWidget* dlg, int item, bool checked) {
  QAbstractButton* b = nullptr;
  Status st = FindAs(dlg, item, &b);
  if (st != kOk) return st;
  if (!b->isCheckable()) return kBadArg;
  const Quiet quiet(b);
  b->setChecked(checked);
  return kOk;
}

Status Ui_Dlg_IsItemChecked(QWidget* dlg, int item, bool* checked) {
  if (!checked) return kBadArg;
  QAbstractButton* b = nullptr;
  Status st = FindAs(dlg, item, &b);
  if (st != kOk) return st;
  *checked = b->isChecked();
  return kOk;
}

Status Ui_Dlg_ToggleItem(QWidget* dlg, int item, bool* nowChecked) {
  QAbstractButton* b = nullptr;
  Status st = FindAs(dlg, item, &b);
  if (st != kOk) return st;
  if (!b->isCheckable()) return kBadArg;
  const Quiet quiet(b);
  b->setChecked(!b->isChecked());
  if (nowChecked) *nowChecked = b->isChecked();
  return kOk;
}

Status Ui_Dlg_SelectRadio(QWidget* dlg, int first, int last, int chosen) {
  if (!dlg || first > last || chosen < first || chosen > last) return kBadArg;
  for (int id = first; id <= last; ++id) {
    QAbstractButton* b = nullptr;
    if (FindAs(dlg, id, &b) != kOk || !b->isCheckable()) continue;  // gaps in the range are allowed
    const Quiet quiet(b);
    // Radio buttons of one group are exclusive; lift it while unchecking.
    const bool exclusive = b->autoExclusive();
    b->setAutoExclusive(false);
    b->setChecked(id == chosen);
    b->setAutoExclusive(exclusive);
  }
  return kOk;
}

Status Ui_Dlg_EnableItem(QWidget* dlg, int item, bool enabled) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st == kOk) c->setEnabled(enabled);
  return st;
}

Status Ui_Dlg_ShowItem(QWidget* dlg, int item, bool shown) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st == kOk) c->setVisible(shown);
  return st;
}

Status Ui_Dlg_GetItemBounds(QWidget* dlg, int item, QRect* bounds) {
  if (!bounds) return kBadArg;
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  *bounds = QRect(c->mapTo(c->window(), QPoint(0, 0)), c->size());
  return kOk;
}

Status Ui_Dlg_MoveItem(QWidget* dlg, int item, const QRect& bounds) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  QWidget* parent = c->parentWidget();
  const QPoint topLeft = parent ? parent->mapFrom(c->window(), bounds.topLeft()) : bounds.topLeft();
  c->setGeometry(QRect(topLeft, bounds.size()));
  return kOk;
}

Status Ui_Dlg_InvalidateItem(QWidget* dlg, int item) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st == kOk) c->update();
  return st;
}

Status Ui_Dlg_GetItemValue(QWidget* dlg, int item, int* value) {
  if (!value) return kBadArg;
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  if (auto* s = qobject_cast<QAbstractSlider*>(c)) *value = s->value();
  else if (auto* sp = qobject_cast<QSpinBox*>(c)) *value = sp->value();
  else if (auto* pb = qobject_cast<QProgressBar*>(c)) *value = pb->value();
  else if (auto* tb = qobject_cast<QTabBar*>(c)) *value = tb->currentIndex();
  else if (auto* tw = qobject_cast<QTabWidget*>(c)) *value = tw->currentIndex();
  else return kBadArg;
  return kOk;
}

Status Ui_Dlg_SetItemValue(QWidget* dlg, int item, int value) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  const Quiet quiet(c);
  if (auto* s = qobject_cast<QAbstractSlider*>(c)) s->setValue(value);
  else if (auto* sp = qobject_cast<QSpinBox*>(c)) sp->setValue(value);
  else if (auto* pb = qobject_cast<QProgressBar*>(c)) pb->setValue(value);
  else if (auto* tb = qobject_cast<QTabBar*>(c)) tb->setCurrentIndex(value);
  else if (auto* tw = qobject_cast<QTabWidget*>(c)) {
    tw->setCurrentIndex(value);
  } else return kBadArg;
  return kOk;
}

Status Ui_Dlg_FillList(QWidget* dlg, int item, const std::vector<std::string>& entries) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  const Quiet quiet(c);
  if (auto* cb = qobject_cast<QComboBox*>(c)) {
    cb->clear();
    for (const std::string& e : entries) cb->addItem(Q(e));
  } else if (auto* lw = qobject_cast<QListWidget*>(c)) {
    lw->clear();
    for (const std::string& e : entries) lw->addItem(Q(e));
  } else return kBadArg;
  return kOk;
}

Status Ui_Dlg_GetListCount(QWidget* dlg, int item, int* count) {
  if (!count) return kBadArg;
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  if (auto* cb = qobject_cast<QComboBox*>(c)) *count = cb->count();
  else if (auto* lw = qobject_cast<QListWidget*>(c)) *count = lw->count();
  else return kBadArg;
  return kOk;
}

Status Ui_Dlg_SelectListEntry(QWidget* dlg, int item, int entry) {
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  const Quiet quiet(c);
  if (auto* cb = qobject_cast<QComboBox*>(c)) {
    if (entry < -1 || entry >= cb->count()) return kBadArg;
    cb->setCurrentIndex(entry);
  } else if (auto* lw = qobject_cast<QListWidget*>(c)) {
    if (entry < -1 || entry >= lw->count()) return kBadArg;
        lw->clearSelection();
    lw->setCurrentRow(entry);
    if (entry >= 0) lw->item(entry)->setSelected(true);
  } else return kBadArg;
  return kOk;
}

Status Ui_Dlg_GetListSelection(QWidget* dlg, int item, int* entry) {
  if (!entry) return kBadArg;
  QWidget* c = nullptr;
  Status st = Find(dlg, item, &c);
  if (st != kOk) return st;
  if (auto* cb = qobject_cast<QComboBox*>(c)) *entry = cb->currentIndex();
  else if (auto* lw = qobject_cast<QListWidget*>(c)) {
    const QList<QListWidgetItem*> selected = lw->selectedItems();
    *entry = lw->currentRow();
    if (*entry >= 0 && !lw->item(*entry)->isSelected()) *entry = selected.isEmpty() ? -1 : lw->row(selected.first());
  } else return kBadArg;
  return kOk;
}

Status Ui_Dlg_GetListSelections(QWidget* dlg, int item, std::vector<int>* entries) {
  if (!entries) return kBadArg;
  QListWidget* lw = nullptr;
  Status st = FindAs(dlg, item, &lw);
  if (st != kOk) return st;
  entries->clear();
  for (int row = 0; row < lw->count(); ++row)
    if (lw->item(row)->isSelected()) entries->push_back(row);
  return kOk;
}

Status Ui_Dlg_SetListEntrySelected(QWidget* dlg, int item, int entry, bool selected) {
  QListWidget* lw = nullptr;
  Status st = FindAs(dlg, item, &lw);
  if (st != kOk) return st;
  if (entry < 0 || entry >= lw->count()) return kBadArg;
  const Quiet quiet(lw);
    lw->item(entry)->setSelected(selected);
  return kOk;
}
