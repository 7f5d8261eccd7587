// Dialog 6007, the profile question of the Batchline's Add, built from the
// core's question (colormgmt/profilepolicy.h): the caption names the mode
// ("Missing Profile" or "Embedded Profile"), the text's first line says why,
// its second ("Image name: ...") names the image; every button but the
// cancel button is an option, shown as a radio button.
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "colormgmt/profilepolicy.h"
#include "base/strings.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"

using namespace UiKit;

namespace {

constexpr int kReasonItem = 4;
constexpr int kFirstOptionItem = 5;  // 5, 6, 7: the options in the question's order
constexpr int kMaxOptions = 3;
constexpr int kChooseItem = 8;
constexpr int kChosenItem = 9;
constexpr int kImageNameItem = 11;

struct QuestionState {
  const UiQuestion* question = nullptr;
  std::vector<int> options;  // button index of each radio button
  int chooseOption = -1;     // the radio button of "Choose a profile ..."
  int selected = -1;         // the selected radio button
  std::string chosen;        // the profile chosen in the dialog
  int answer = -1;
};

Status BuildQuestion(QDialog* d) {
  auto* root = new QVBoxLayout(d);
  auto* reason = Text(d, kReasonItem, QString());
  QFont bold = reason->font();
  bold.setBold(true);
  reason->setFont(bold);
  root->addWidget(reason);
  root->addSpacing(4);
  for (int i = 0; i < kMaxOptions; ++i) root->addWidget(Radio(d, kFirstOptionItem + i, QString()));
  auto* choose = new QHBoxLayout;
  choose->addSpacing(24);
  choose->addWidget(Button(d, kChooseItem, QStringLiteral("Choose...")));
  auto* chosen = Text(d, kChosenItem, QString());
  chosen->setMinimumWidth(220);
  choose->addWidget(chosen, 1);
  root->addLayout(choose);
  root->addSpacing(8);
  auto* image = new QHBoxLayout;
  image->addWidget(Text(d, 10, Q(ResString(6129))));
  image->addWidget(Text(d, kImageNameItem, QString()), 1);
  root->addLayout(image);
  root->addSpacing(8);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = Button(d, kOkItem, QStringLiteral("OK"));
  ok->setDefault(true);
  ok->setMinimumWidth(80);
  buttons->addWidget(ok);
  auto* cancel = Button(d, kCancelItem, QStringLiteral("Cancel"));
  cancel->setMinimumWidth(80);
  buttons->addWidget(cancel);
  root->addLayout(buttons);
  return kOk;
}

void Select(QWidget* dlg, QuestionState& s, int option) {
  s.selected = option;
  Ui_Dlg_SelectRadio(dlg, kFirstOptionItem, kFirstOptionItem + kMaxOptions - 1, kFirstOptionItem + option);
  Ui_Dlg_EnableItem(dlg, kOkItem, option >= 0 && (option != s.chooseOption || !s.chosen.empty()));
}

void Choose(QWidget* dlg, QuestionState& s) {
  Select(dlg, s, s.chooseOption);
  std::string path = s.chosen;
  const Status st = Ui_ICC_ChooseProfile(path);
  if (st == kOk) {
    s.chosen = path;
    Ui_Dlg_SetItemText(dlg, kChosenItem, LeafName(path));
  } else if (st != kCancelled) {
    Ui_GetHost().ShowMessage(ResString(1000), ResString(6132));
  }
  Select(dlg, s, s.chooseOption);
}

uint8_t QuestionHit(QWidget* dlg, int item) {
  auto* s = StateOf<QuestionState>(dlg);
  if (!s) return 1;
  if (item >= kFirstOptionItem && item < kFirstOptionItem + (int)s->options.size()) {
    Select(dlg, *s, item - kFirstOptionItem);
    return 1;
  }
  switch (item) {
    case kOkItem:
      if (s->selected < 0 || (s->selected == s->chooseOption && s->chosen.empty())) return 1;  // OK is disabled
      s->answer = s->options[s->selected];
      RequestClose(dlg);
      break;
    case kCancelItem:
      s->answer = s->question->cancelButton;
      RequestClose(dlg);
      break;
    case kChooseItem: Choose(dlg, *s); break;
    default: break;
  }
  return 1;
}

Status QuestionInit(QWidget* dlg) {
  auto* s = StateOf<QuestionState>(dlg);
  const UiQuestion& q = *s->question;
  dlg->setWindowTitle(Q(q.caption));
  // "reason\nImage name: leaf"
  const std::string prefix = ResString(6129) + " ";
  std::string reason = q.text, image;
  const size_t newline = q.text.find('\n');
  if (newline != std::string::npos) {
    reason = q.text.substr(0, newline);
    image = q.text.substr(newline + 1);
    if (image.compare(0, prefix.size(), prefix) == 0) image = image.substr(prefix.size());
  }
  Ui_Dlg_SetItemText(dlg, kReasonItem, reason);
  Ui_Dlg_SetItemText(dlg, kImageNameItem, image);
  const std::string chooseText = ResString(6127);
  for (int b = 0; b < (int)q.buttons.size() && (int)s->options.size() < kMaxOptions; ++b) {
    if (b == q.cancelButton) continue;
    if (q.buttons[b] == chooseText) s->chooseOption = (int)s->options.size();
    Ui_Dlg_SetItemText(dlg, kFirstOptionItem + (int)s->options.size(), q.buttons[b]);
    s->options.push_back(b);
  }
  for (int i = (int)s->options.size(); i < kMaxOptions; ++i) Ui_Dlg_ShowItem(dlg, kFirstOptionItem + i, false);
  Ui_Dlg_EnableItem(dlg, kChooseItem, s->chooseOption >= 0);
  int preset = 0;
  for (int i = 0; i < (int)s->options.size(); ++i)
    if (s->options[i] == q.defaultButton) preset = i;
  Select(dlg, *s, s->options.empty() ? -1 : preset);
  return Ui_Dlg_SetItemHitProc(dlg, QuestionHit);
}

}  // namespace

int Ui_ProfileQuestionDialog(const UiQuestion& question, std::string* chosenProfile) {
  Ui_Dlg_RegisterTemplate(kProfileQuestionDialog, BuildQuestion);
  QuestionState s;
  s.question = &question;
  s.answer = question.cancelButton >= 0 ? question.cancelButton : question.defaultButton;
  RunModal(kProfileQuestionDialog, nullptr, QuestionInit, &s);
  if (chosenProfile) {
    const bool chose = s.chooseOption >= 0 && s.answer == s.options[s.chooseOption];
    *chosenProfile = chose ? s.chosen : std::string();
  }
  return s.answer;
}
