// The memory colour definition window (1021, "Memory Color"): the gradient
// of the definition from black to white, its name and button label, "Set
// from Hue Handle", "Clear", "Load..." and "Save...". The window edits a copy
// of the slot; OK stores it into the preferences.
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cmath>

#include "correct/colourbalance.h"
#include "correct/memorycolours.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/helptext.h"
#include "base/strings.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"
#include "ui/useritem.h"

using namespace UiKit;

namespace {

constexpr int kMemoryColorDialog = 1021;
constexpr int kGradientItem = 4;
constexpr int kNameItem = 5;
constexpr int kLabelItem = 6;
constexpr int kSetFromHandleItem = 7;
constexpr int kClearItem = 8;
constexpr int kLoadItem = 9;
constexpr int kSaveItem = 10;
constexpr int kValuesItem = 11;

constexpr int kTextTitle = 9530;
constexpr int kTextUndefined = 9531;
constexpr int kTextClearQuestion = 9532;
constexpr int kTextLoadTitle = 9533;
constexpr int kTextSaveAs = 9521;

struct MemoryState {
  int slot = 0;
  const MemoryColorContext* context = nullptr;
  MemoryColour colour{};
};

Status BuildMemoryColor(QDialog* d) {
  d->setWindowTitle(Q(ResString(kTextTitle)));
  auto* root = new QVBoxLayout(d);
  auto* gradient = new UiUserItem(kGradientItem, d);
  gradient->setAccessibleName(QStringLiteral("Memory colour range"));
  gradient->setFixedSize(320, 44);
  root->addWidget(gradient);
  root->addWidget(Text(d, kValuesItem, QString()));
  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(QStringLiteral("Name:"), d), 0, 0);
  // The memory colour file holds printable characters only.
  const QRegularExpression printable(QStringLiteral("[\\x20-\\x7e]*"));
  auto* name = new QLineEdit(d);
  name->setProperty("itemId", kNameItem);
  name->setMaxLength(kMemoryColourNameMax);
  name->setValidator(new QRegularExpressionValidator(printable, name));
  fields->addWidget(name, 0, 1);
  fields->addWidget(new QLabel(QStringLiteral("Label:"), d), 1, 0);
  auto* label = new QLineEdit(d);
  label->setProperty("itemId", kLabelItem);
  label->setMaxLength(1);
  label->setValidator(new QRegularExpressionValidator(printable, label));
  label->setFixedWidth(32);
  fields->addWidget(label, 1, 1, Qt::AlignLeft);
  root->addLayout(fields);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button(d, kSetFromHandleItem, QStringLiteral("Set from Hue Handle")));
  buttons->addWidget(Button(d, kClearItem, QStringLiteral("Clear")));
  buttons->addWidget(Button(d, kLoadItem, QStringLiteral("Load...")));
  buttons->addWidget(Button(d, kSaveItem, QStringLiteral("Save...")));
  root->addLayout(buttons);
  root->addSpacing(6);
  root->addLayout(BottomRow(d, nullptr));
  return kOk;
}

bool Writable(const MemoryColour& c) { return c.defined && c.name[0] && c.label[0]; }

void ShowMemoryValues(QWidget* dlg, const MemoryState& s, bool texts) {
  const MemoryColour& c = s.colour;
  if (texts) {
    Ui_Dlg_SetItemText(dlg, kNameItem, c.name);
    Ui_Dlg_SetItemText(dlg, kLabelItem, c.label);
  }
  // One decimal of the slope, without a "-0.0".
  double slope = std::round(c.hueSlope * 10.0) / 10.0;
  if (slope == 0.0) slope = 0.0;
  Ui_Dlg_SetItemText(dlg, kValuesItem,
                     c.defined ? Fmt("Chroma %.0f, Hue %.0f\xC2\xB0, Hue Slope %.1f", c.chroma, c.hue, slope)
                               : ResString(kTextUndefined));
  Ui_Dlg_EnableItem(dlg, kSaveItem, Writable(c));
  Ui_Dlg_InvalidateItem(dlg, kGradientItem);
}

// Field text: printable characters only, cut to the field's size.
void CopyText(char* field, size_t size, const std::string& text) {
  size_t n = 0;
  for (char ch : text)
    if (n + 1 < size && ch >= 32 && ch <= 126) field[n++] = ch;
  field[n] = 0;
}

void Load(QWidget* dlg, MemoryState& s) {
  UiFileRequest request;
  request.title = ResString(kTextLoadTitle);
  request.prompt = request.title;
  request.filters = {"All files (*)"};
  std::vector<std::string> paths;
  if (Ui_GetHost().ChooseOpenFiles(request, paths) != kOk || paths.empty()) return;
  MemoryColour loaded = s.colour;
  const Status st = ReadMemoryColourFile(paths.front(), &loaded);
  if (st != kOk) {
    ReportError(st, ResString(3036));
    return;
  }
  s.colour = loaded;
  ShowMemoryValues(dlg, s, true);
}

void Save(MemoryState& s) {
  UiFileRequest request;
  request.title = Phrase(kTextSaveAs, s.colour.name);
  request.prompt = request.title;
  request.name = s.colour.name;
  std::string path;
  Status st = Ui_GetHost().ChooseSaveFile(request, path);
  if (st == kOk) st = WriteMemoryColourFile(path, &s.colour);
  if (st != kOk && st != kCancelled) ReportError(st, ResString(3033));
}

void Clear(QWidget* dlg, MemoryState& s) {
  UiQuestion q;
  q.id = kTextClearQuestion;
  q.caption = ResString(1000);
  q.text = ResString(kTextClearQuestion);
  q.buttons = {"OK", "Cancel"};
  q.defaultButton = 0;
  q.cancelButton = 1;
  if (Ui_GetHost().Ask(q) != 0) return;
  s.colour = MemoryColour{};
  ShowMemoryValues(dlg, s, true);
}

void SetFromHandle(QWidget* dlg, MemoryState& s) {
  const MemoryColorContext& ctx = *s.context;
  if (!ctx.pars || !ctx.handleHasSamples) return;
  MemoryColour c = s.colour;
  const Status st = DefinitionFromHandle(ctx.pars, ctx.activeHandle, &c);
  if (st != kOk) {
    ReportError(st, ResString(3022));
    return;
  }
  c.defined = 1;
  s.colour = c;
  ShowMemoryValues(dlg, s, false);
}

uint8_t MemoryColorHit(QWidget* dlg, int item) {
  auto* s = StateOf<MemoryState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpMemoryColour); break;
    case kNameItem:
    case kLabelItem: {
      std::string text;
      Ui_Dlg_GetItemText(dlg, item, &text);
      if (item == kNameItem) CopyText(s->colour.name, sizeof s->colour.name, text);
      else CopyText(s->colour.label, sizeof s->colour.label, text);
      ShowMemoryValues(dlg, *s, false);
      break;
    }
    case kSetFromHandleItem: SetFromHandle(dlg, *s); break;
    case kClearItem: Clear(dlg, *s); break;
    case kLoadItem: Load(dlg, *s); break;
    case kSaveItem: Save(*s); break;
    default: break;
  }
  return 1;
}

// The definition from black to white: at lightness L* the colour has chroma
// L × chroma × 0.04 × (1 - 0.01 L) and hue hue + (L - 50) × hueSlope, shown in
// the working space.
void DrawGradient(QWidget* dlg, int item, QPainter& painter) {
  auto* s = StateOf<MemoryState>(dlg);
  QRect bounds;
  if (!s || Ui_Dlg_GetItemBounds(dlg, item, &bounds) != kOk) return;
  const QRect r(0, 0, bounds.width(), bounds.height());
  const MemoryColour& c = s->colour;
  const RefRGB& ref = AppPrefs().workingRef;
  double matrix[9];
  if (!c.defined || NativeXyzToRgb(&ref, matrix) != kOk) {
    // Nothing to show: an empty, hatched bar (the text under it says why).
    painter.fillRect(r, dlg->palette().color(QPalette::Window).darker(104));
    painter.fillRect(r, QBrush(dlg->palette().color(QPalette::Mid), Qt::BDiagPattern));
  } else {
    QImage row(r.width(), 1, QImage::Format_RGB32);
    const NeutralPref model{c.chroma, c.hue, c.hueSlope};
    for (int x = 0; x < r.width(); ++x) {
      const double L = r.width() > 1 ? 100.0 * x / (r.width() - 1) : 50.0;
      double rgb[3] = {0, 0, 0};
      NeutralTarget(L, &model, &ref, matrix, rgb);
      row.setPixel(x, 0, qRgb((int)std::lround(rgb[0] * 255.0), (int)std::lround(rgb[1] * 255.0),
                              (int)std::lround(rgb[2] * 255.0)));
    }
    painter.drawImage(r, row);
  }
  painter.setPen(dlg->palette().color(QPalette::Mid));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

Status MemoryColorInit(QWidget* dlg) {
  auto* s = StateOf<MemoryState>(dlg);
  Ui_Dlg_SetItemHitProc(dlg, MemoryColorHit);
  Ui_Dlg_SetUserItemProcs(dlg, DrawGradient, nullptr);
  Ui_Dlg_EnableItem(dlg, kSetFromHandleItem, s->context->pars && s->context->handleHasSamples);
  ShowMemoryValues(dlg, *s, true);
  return kOk;
}

}  // namespace

Status ShowMemoryColor(QWidget* owner, int slot, const MemoryColorContext& context) {
  if (slot < 0 || slot >= kMemoryColourSlots) return kBadArg;
  Ui_Dlg_RegisterTemplate(kMemoryColorDialog, BuildMemoryColor);
  MemoryState s;
  s.slot = slot;
  s.context = &context;
  s.colour = AppPrefs().memoryColours[slot];
  const Status st = RunModal(kMemoryColorDialog, owner, MemoryColorInit, &s);
  if (st != kOk) return st;
  AppPrefs().memoryColours[slot] = s.colour;
  return kOk;
}
