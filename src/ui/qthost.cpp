#include "ui/qthost.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "base/strings.h"
#include "base/uistate.h"
#include "ui/dialogs.h"
#include "ui/dlg.h"
#include "ui/progressarea.h"
#include "ui/uiapp.h"

namespace {

constexpr int kStopItem = 2;
const QRect kAreaRects[kUiProgressAreas] = {QRect(12, 12, 376, 32), QRect(12, 50, 376, 32)};

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), (qsizetype)s.size()); }
QString QPath(const std::string& s) { return QFile::decodeName(QByteArray(s.data(), (qsizetype)s.size())); }
std::string SPath(const QString& s) { return QFile::encodeName(s).toStdString(); }

QString AppTitle() {
  const UiState* state = AppState();
  return Q(state && !state->appName.empty() ? state->appName : ResString(1000));
}

// The progress window: two progress areas and a Stop button (item 2).
Status BuildProgressWindow(QDialog* dialog) {
  dialog->setWindowTitle(AppTitle());
  dialog->setFixedSize(400, 130);
  auto* stop = new QPushButton(QStringLiteral("Stop"), dialog);
  stop->setProperty("itemId", kStopItem);
  stop->setAutoDefault(false);
  stop->setGeometry(400 - 12 - 90, 90, 90, 28);
  return kOk;
}

uint8_t ProgressItemHit(QWidget* dlg, int item) {
  Ui_Dlg_Info* info = nullptr;
  // Stop and Escape ask to stop; the window stays until the operation ends.
  if (item == kStopItem && Ui_Dlg_Info_Get(dlg, &info) == kOk) static_cast<QtHost*>(info->userData)->RequestCancel();
  return 1;
}

void ProgressCloseBox(QWidget* dlg) { ProgressItemHit(dlg, kStopItem); }

Status ProgressInit(QWidget* dlg) {
  Ui_Dlg_SetItemHitProc(dlg, ProgressItemHit);
  Ui_Dlg_SetCloseProc(dlg, ProgressCloseBox);
  return kOk;
}

// The box's parent: the framework's owner window when it is on screen.
QWidget* BoxOwner() {
  QWidget* owner = Ui_Dlg_OwnerWindow();
  return (owner && owner->isVisible()) ? owner : nullptr;
}

// "TIFF (*.tif *.tiff)" -> "tif"; empty when the filter names no extension.
QString FirstExtension(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
  const QRegularExpressionMatch m = pattern.match(filter);
  return m.hasMatch() ? m.captured(1) : QString();
}

QString CasedExtension(const QString& ext) {
  const UiState* state = AppState();
  const bool lower = !state || state->lowerCaseExtension;
  return lower ? ext.toLower() : ext.toUpper();
}

// Replaces the extension of a file name (appends one when it has none).
QString WithExtension(const QString& name, const QString& ext) {
  if (ext.isEmpty()) return name;
  const qsizetype dot = name.lastIndexOf('.');
  const qsizetype slash = name.lastIndexOf('/');
  const QString stem = (dot > slash && dot > 0) ? name.left(dot) : name;
  return stem + '.' + ext;
}

bool HasExtension(const QString& path) {
  const qsizetype dot = path.lastIndexOf('.');
  const qsizetype slash = path.lastIndexOf('/');
  return dot > slash + 1;
}

void Prepare(QFileDialog& dialog, const UiFileRequest& request, bool native) {
  dialog.setWindowTitle(Q(request.title.empty() ? request.prompt : request.title));
  if (!native) dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  if (!request.prompt.empty()) dialog.setLabelText(QFileDialog::FileName, Q(request.prompt));
  if (!request.folder.empty()) dialog.setDirectory(QPath(request.folder));
  if (!request.filters.empty()) {
    QStringList filters;
    for (const std::string& f : request.filters) filters << Q(f);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
  }
}

// Hands the wait cursor back to the arrow while a box is up.
class CursorPause {
 public:
  explicit CursorPause(bool waiting) : waiting_(waiting) {
    if (waiting_) QApplication::restoreOverrideCursor();
  }
  ~CursorPause() {
    if (waiting_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  CursorPause(const CursorPause&) = delete;
  CursorPause& operator=(const CursorPause&) = delete;

 private:
  bool waiting_;
};

void RunBox(QMessageBox& box, bool waitCursor) {
  const UiBusyPause pause;
  const CursorPause cursor(waitCursor);
  box.exec();
}

}  // namespace

QtHost::QtHost() { Ui_Dlg_RegisterTemplate(kUiProgressDialogId, BuildProgressWindow); }

QtHost::~QtHost() {
  while (progressDepth_ > 0) ProgressClose();
}

void QtHost::ShowAlert(const std::string& message, const std::string& explanation) {
  QMessageBox box(BoxOwner());
  box.setIcon(QMessageBox::Critical);
  box.setWindowTitle(AppTitle());
  box.setTextFormat(Qt::PlainText);
  box.setText(Q(message));
  if (!explanation.empty()) box.setInformativeText(Q(explanation));
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  RunBox(box, waitCursor_);
}

void QtHost::ShowMessage(const std::string& caption, const std::string& text) {
  QMessageBox box(BoxOwner());
  box.setIcon(QMessageBox::NoIcon);
  box.setWindowTitle(Q(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(Q(text));
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  RunBox(box, waitCursor_);
}

int QtHost::Ask(const UiQuestion& question) {
  chosenProfile_.clear();
  if (question.id == kProfileQuestionDialog) {
    const UiBusyPause pause;
    const CursorPause cursor(waitCursor_);
    return Ui_ProfileQuestionDialog(question, &chosenProfile_);
  }
  QMessageBox box(BoxOwner());
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(question.caption.empty() ? AppTitle() : Q(question.caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(Q(question.text));
  std::vector<QPushButton*> buttons;
  // One role for all keeps the buttons in the core's order.
  for (const std::string& label : question.buttons) buttons.push_back(box.addButton(Q(label), QMessageBox::ActionRole));
  if (buttons.empty()) buttons.push_back(box.addButton(QStringLiteral("OK"), QMessageBox::ActionRole));
  const int count = (int)buttons.size();
  if (question.defaultButton >= 0 && question.defaultButton < count) box.setDefaultButton(buttons[question.defaultButton]);
  if (question.cancelButton >= 0 && question.cancelButton < count) box.setEscapeButton(buttons[question.cancelButton]);
  RunBox(box, waitCursor_);
  for (int i = 0; i < count; ++i)
    if (box.clickedButton() == buttons[i]) return i;
  return (question.cancelButton >= 0 && question.cancelButton < count) ? question.cancelButton : question.defaultButton;
}

Status QtHost::ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) {
  // The profile chooser right after dialog 6007: the user chose in the dialog.
  const std::string chosen = std::move(chosenProfile_);
  chosenProfile_.clear();
  if (!chosen.empty() && request.title == ResString(6131)) {
    paths = {chosen};
    return kOk;
  }
  QFileDialog dialog(BoxOwner());
  Prepare(dialog, request, nativeDialogs);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  const UiBusyPause pause;
  const CursorPause cursor(waitCursor_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return kCancelled;
  paths.clear();
  for (const QString& file : dialog.selectedFiles()) paths.push_back(SPath(file));
  return kOk;
}

Status QtHost::ChooseSaveFile(const UiFileRequest& request, std::string& path) {
  QFileDialog dialog(BoxOwner());
  Prepare(dialog, request, nativeDialogs);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!request.name.empty()) dialog.selectFile(QPath(request.name));
  const UiState* state = AppState();
  const bool appendExtension = !state || state->appendExtension;
  QString ext = request.filters.empty() ? QString() : CasedExtension(FirstExtension(Q(request.filters.front())));
  // Picking another type swaps the extension in the name field.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &ext](const QString& filter) {
    ext = CasedExtension(FirstExtension(filter));
    auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (nameField && !ext.isEmpty() && !nameField->text().isEmpty())
      nameField->setText(WithExtension(nameField->text(), ext));
    dialog.setDefaultSuffix(ext);
  });
  if (appendExtension) dialog.setDefaultSuffix(ext);
  const UiBusyPause pause;
  const CursorPause cursor(waitCursor_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return kCancelled;
  QString chosen = dialog.selectedFiles().first();
  if (appendExtension && !ext.isEmpty() && !HasExtension(chosen)) chosen = WithExtension(chosen, ext);
  path = SPath(chosen);
  return kOk;
}

Status QtHost::ChooseFolder(const UiFileRequest& request, std::string& path) {
  QFileDialog dialog(BoxOwner());
  Prepare(dialog, request, nativeDialogs);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  const UiBusyPause pause;
  const CursorPause cursor(waitCursor_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return kCancelled;
  path = SPath(dialog.selectedFiles().first());
  if (path.empty() || path.back() != '/') path += '/';
  return kOk;
}

void QtHost::SetWaitCursor(bool on) {
  if (on == waitCursor_) return;
  waitCursor_ = on;
  if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
  else QApplication::restoreOverrideCursor();
}

void QtHost::ProgressOpen(const std::string& text, int64_t total) {
  if (progressDepth_ == 0) {
    cancel_ = false;
    QWidget* window = nullptr;
    if (UiState* state = AppState())
      Ui_Dlg_OpenModeless(state, kUiProgressDialogId, BoxOwner(), ProgressInit, this, &window, false);
    progressWindow_ = window;
    Ui_Busy_Enter(window);  // the progress window alone takes input
    SetWaitCursor(true);
  }
  const int area = std::min(progressDepth_, kUiProgressAreas - 1);
  ++progressDepth_;
  if (progressWindow_) Ui_Dlg_ProgressBegin(progressWindow_, area, kAreaRects[area], text, std::max<int64_t>(total, 0));
}

Status QtHost::ProgressStep(int64_t done, const std::string& text) {
  if (progressDepth_ == 0 || !progressWindow_) return kOk;
  QWidget* window = progressWindow_;
  const int area = std::min(progressDepth_ - 1, kUiProgressAreas - 1);
  if (!text.empty()) Ui_Dlg_ProgressSetText(window, area, text);
  Status st = Ui_Dlg_ProgressSet(window, area, done);
  Ui_Dlg_Info* info = nullptr;
  if (progressWindow_ && !window->isVisible() && Ui_Dlg_Info_Get(window, &info) == kOk &&
      (info->progress[0].shown || info->progress[1].shown)) {
    // The operation has run for 2.0 s: the window takes over from the wait cursor.
    SetWaitCursor(false);
    window->show();
    window->raise();
    QCoreApplication::processEvents();
  }
  if (cancel_) {
    cancel_ = false;
    Ui_Key_EscapeDown(true);
    return kCancelled;
  }
  return st;
}

void QtHost::ProgressClose() {
  if (progressDepth_ == 0) return;
  --progressDepth_;
  const int area = std::min(progressDepth_, kUiProgressAreas - 1);
  if (progressWindow_) Ui_Dlg_ProgressEnd(progressWindow_, area);
  if (progressDepth_ > 0) return;
  Ui_Busy_Leave();
  SetWaitCursor(false);
  if (progressWindow_) Ui_Dlg_Close(progressWindow_);
  progressWindow_ = nullptr;
  cancel_ = false;
}
