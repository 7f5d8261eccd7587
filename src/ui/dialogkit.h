// Building blocks shared by the application's dialogs (dialogs.h): controls
// made with their item ids, the OK / Cancel / help row, access to a dialog's
// own state through the framework record, and running a template modally.
// Internal to src/ui.
#pragma once

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QToolButton>
#include <initializer_list>
#include <string>

#include "base/status.h"
#include "ui/dlg.h"

class QDialog;
class QWidget;

namespace UiKit {

constexpr int kOkItem = 1;
constexpr int kCancelItem = 2;
constexpr int kHelpItem = 3;
constexpr int kMinimumDialogWidth = 400;  // dialogs with a bottom row

inline QString Q(const std::string& s) { return QString::fromUtf8(s.data(), (qsizetype)s.size()); }
inline std::string S(const QString& s) { return s.toUtf8().toStdString(); }
// Paths go through the file system's encoding.
QString QPath(const std::string& path);
std::string SPath(const QString& path);

QPushButton* Button(QWidget* parent, int id, const QString& text);
QCheckBox* Check(QWidget* parent, int id, const QString& text);
QRadioButton* Radio(QWidget* parent, int id, const QString& text);
QComboBox* Combo(QWidget* parent, int id, std::initializer_list<const char*> entries);
QLabel* Text(QWidget* parent, int id, const QString& text);
// The small help button (item 3).
QToolButton* HelpButton(QWidget* parent);
// The bottom row: the help button at the left, then `extra` (may be null,
// e.g. "Restore Defaults"), then OK (the default button) and, unless
// `cancel` is false, Cancel.
QBoxLayout* BottomRow(QWidget* parent, QPushButton* extra, bool cancel = true);

// The dialog's state (the user data handed to Ui_Dlg_OpenModal).
template <class T>
T* StateOf(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  return Ui_Dlg_Info_Get(dlg, &info) == kOk ? static_cast<T*>(info->userData) : nullptr;
}
void RequestClose(QWidget* dlg);

bool IsChecked(QWidget* dlg, int item);
int Selection(QWidget* dlg, int item);

// Opens a template modally with the current state. 0 when it ended with OK
// (item 1), kCancelled otherwise; framework failures as returned.
Status RunModal(int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* state);

// Whether the system's own file and colour choosers are wanted (the Qt
// host's setting; tests turn them off).
bool NativeChoosers();

// The window title of the application's boxes.
QString AppTitle();

}  // namespace UiKit
