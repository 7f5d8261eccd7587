#include "ui/dialogkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "base/strings.h"
#include "base/uistate.h"
#include "ui/dlgitems.h"
#include "ui/qthost.h"

namespace UiKit {

QString QPath(const std::string& path) { return QFile::decodeName(QByteArray(path.data(), (qsizetype)path.size())); }
std::string SPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QPushButton* Button(QWidget* parent, int id, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setProperty("itemId", id);
  b->setAutoDefault(false);
  return b;
}

QCheckBox* Check(QWidget* parent, int id, const QString& text) {
  auto* c = new QCheckBox(text, parent);
  c->setProperty("itemId", id);
  return c;
}

QRadioButton* Radio(QWidget* parent, int id, const QString& text) {
  auto* r = new QRadioButton(text, parent);
  r->setProperty("itemId", id);
  r->setAutoExclusive(false);  // Ui_Dlg_SelectRadio keeps the group
  return r;
}

QComboBox* Combo(QWidget* parent, int id, std::initializer_list<const char*> entries) {
  auto* c = new QComboBox(parent);
  c->setProperty("itemId", id);
  for (const char* e : entries) c->addItem(QString::fromUtf8(e));
  return c;
}

QLabel* Text(QWidget* parent, int id, const QString& text) {
  auto* l = new QLabel(text, parent);
  if (id > 0) l->setProperty("itemId", id);
  return l;
}

QToolButton* HelpButton(QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setText(QStringLiteral("?"));
  b->setToolTip(QStringLiteral("Help"));
  b->setProperty("itemId", kHelpItem);
  b->setFixedSize(24, 24);
  return b;
}

QBoxLayout* BottomRow(QWidget* parent, QPushButton* extra, bool cancel) {
  parent->setMinimumWidth(kMinimumDialogWidth);
  auto* row = new QHBoxLayout;
  row->addWidget(HelpButton(parent));
  if (extra) row->addWidget(extra);
  row->addStretch(1);
  auto* ok = Button(parent, kOkItem, QStringLiteral("OK"));
  ok->setDefault(true);
  ok->setMinimumWidth(80);
  row->addWidget(ok);
  if (cancel) {
    auto* c = Button(parent, kCancelItem, QStringLiteral("Cancel"));
    c->setMinimumWidth(80);
    row->addWidget(c);
  }
  return row;
}

void RequestClose(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  if (Ui_Dlg_Info_Get(dlg, &info) == kOk) info->closeRequested = 1;
}

bool IsChecked(QWidget* dlg, int item) {
  bool checked = false;
  Ui_Dlg_IsItemChecked(dlg, item, &checked);
  return checked;
}

int Selection(QWidget* dlg, int item) {
  int entry = -1;
  Ui_Dlg_GetListSelection(dlg, item, &entry);
  return entry;
}

Status RunModal(int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* state) {
  UiState* app = AppState();
  if (!app) return kBadArg;
  int16_t item = 0;
  Status st = Ui_Dlg_OpenModal(app, templateId, owner, init, state, &item);
  if (st != kOk) return st;
  return item == kOkItem ? kOk : kCancelled;
}

bool NativeChoosers() {
  auto* host = dynamic_cast<QtHost*>(&Ui_GetHost());
  return host ? host->nativeDialogs : false;
}

QString AppTitle() {
  const UiState* state = AppState();
  return Q(state && !state->appName.empty() ? state->appName : ResString(1000));
}

}  // namespace UiKit
