// The "Define Color" window (1020): the preferred neutral, the grayscale and
// sepia definitions and the toning colour, edited with three sliders, the
// system colour picker, "Restore Default" and definition files. Every change
// goes through SetDefinition at once; Cancel puts back what was saved when
// the window opened.
#include <QColorDialog>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cstring>
#include <memory>

#include "correct/colourbalance.h"
#include "correct/definitions.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/helptext.h"
#include "base/strings.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"
#include "ui/uiapp.h"
#include "ui/useritem.h"

using namespace UiKit;

namespace {

constexpr int kDefineColorDialog = 1020;
constexpr int kSliderItem = 4;   // 4, 5, 6: C-R, M-G, Y-B
constexpr int kReadoutItem = 7;  // 7, 8, 9
constexpr int kSwatchItem = 10;
constexpr int kPickerItem = 11;
constexpr int kRestoreItem = 12;
constexpr int kLoadItem = 13;
constexpr int kSaveItem = 14;
constexpr int kTextLoadTitle = 9520;
constexpr int kTextSaveAs = 9521;

struct DefineState {
  int kind = 0;
  DefineColorContext* context = nullptr;
  DefinitionKindInfo info{};
  float rgb[3] = {};
  // What Cancel puts back.
  TavelinPars savedPars{};
  float savedNeutral[3] = {}, savedGray[3] = {}, savedSepia[3] = {};
};

const char* const kSliderEnds[3][2] = {{"C", "R"}, {"M", "G"}, {"Y", "B"}};

Status BuildDefineColor(QDialog* d) {
  auto* root = new QVBoxLayout(d);
  auto* grid = new QGridLayout;
  for (int c = 0; c < 3; ++c) {
    grid->addWidget(new QLabel(QString::fromUtf8(kSliderEnds[c][0]), d), c, 0);
    auto* slider = new QSlider(Qt::Horizontal, d);
    slider->setProperty("itemId", kSliderItem + c);
    slider->setRange(-100, 100);
    slider->setPageStep(10);
    slider->setMinimumWidth(240);
    grid->addWidget(slider, c, 1);
    grid->addWidget(new QLabel(QString::fromUtf8(kSliderEnds[c][1]), d), c, 2);
    auto* readout = Text(d, kReadoutItem + c, QString());
    readout->setMinimumWidth(36);
    readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(readout, c, 3);
  }
  root->addLayout(grid);
  auto* row = new QHBoxLayout;
  auto* swatch = new UiUserItem(kSwatchItem, d);
  swatch->setAccessibleName(QStringLiteral("Colour"));
  swatch->setFixedSize(56, 56);
  row->addWidget(swatch);
  auto* buttons = new QGridLayout;
  buttons->addWidget(Button(d, kPickerItem, QStringLiteral("Color Picker...")), 0, 0);
  buttons->addWidget(Button(d, kRestoreItem, QStringLiteral("Restore Default")), 0, 1);
  buttons->addWidget(Button(d, kLoadItem, QStringLiteral("Load...")), 1, 0);
  buttons->addWidget(Button(d, kSaveItem, QStringLiteral("Save...")), 1, 1);
  row->addLayout(buttons);
  row->addStretch(1);
  root->addLayout(row);
  root->addSpacing(6);
  root->addLayout(BottomRow(d, nullptr));
  return kOk;
}

// The balance sliders' readout: "+%d" from 1 up, "%d" otherwise.
std::string Readout(float value) {
  const int n = DefinitionPosition(value);
  return n >= 1 ? Fmt("+%d", n) : Fmt("%d", n);
}

void ShowColour(QWidget* dlg, const DefineState& s, bool sliders) {
  for (int c = 0; c < 3; ++c) {
    if (sliders) Ui_Dlg_SetItemValue(dlg, kSliderItem + c, DefinitionPosition(s.rgb[c]));
    Ui_Dlg_SetItemText(dlg, kReadoutItem + c, Readout(s.rgb[c]));
  }
  Ui_Dlg_InvalidateItem(dlg, kSwatchItem);
}

// A new colour: stored at once, shown; `committed` also runs the window's
// follow-up (Brivio for the neutral, the preview).
void NewColour(QWidget* dlg, DefineState& s, const float rgb[3], bool sliders, bool committed) {
  std::memcpy(s.rgb, rgb, sizeof s.rgb);
  SetDefinition(*s.context, s.kind, s.rgb);
  ShowColour(dlg, s, sliders);
  if (committed && s.context->changed) s.context->changed();
}

void SliderMoved(QWidget* dlg, DefineState& s, bool committed) {
  float rgb[3];
  for (int c = 0; c < 3; ++c) {
    int p = 0;
    Ui_Dlg_GetItemValue(dlg, kSliderItem + c, &p);
    rgb[c] = DefinitionValue(p);
  }
  NewColour(dlg, s, rgb, false, committed);
}

bool SliderHeld(QWidget* dlg, int item) {
  QWidget* w = nullptr;
  auto* slider = Ui_Dlg_GetItem(dlg, item, &w) == kOk ? qobject_cast<QSlider*>(w) : nullptr;
  return slider && slider->isSliderDown();
}

void PickColour(QWidget* dlg, DefineState& s) {
  QColorDialog picker(QColor::fromRgbF(s.rgb[0], s.rgb[1], s.rgb[2]), dlg);
  picker.setWindowTitle(Q(ResString(s.info.titleId)));
  if (!NativeChoosers()) picker.setOption(QColorDialog::DontUseNativeDialog, true);
  const UiBusyPause pause;
  if (picker.exec() != QDialog::Accepted) return;
  const QColor c = picker.selectedColor();
  if (!c.isValid()) return;
  const float rgb[3] = {(float)c.redF(), (float)c.greenF(), (float)c.blueF()};
  NewColour(dlg, s, rgb, true, true);
}

void LoadColour(QWidget* dlg, DefineState& s) {
  UiFileRequest request;
  request.title = ResString(kTextLoadTitle);
  request.prompt = ResString(s.info.loadPromptId);
  request.filters = {"All files (*)"};
  std::vector<std::string> paths;
  if (Ui_GetHost().ChooseOpenFiles(request, paths) != kOk || paths.empty()) return;
  float rgb[3];
  const Status st = ReadDefinitionFile(paths.front(), rgb);
  if (st != kOk) {
    ReportError(st, ResString(3036));
    return;
  }
  NewColour(dlg, s, rgb, true, true);
}

void SaveColour(DefineState& s) {
  UiFileRequest request;
  request.title = Phrase(kTextSaveAs, ResString(s.info.titleId).c_str());
  request.prompt = request.title;
  request.name = ResString(s.info.fileNameId);
  std::string path;
  Status st = Ui_GetHost().ChooseSaveFile(request, path);
  if (st == kOk) st = WriteDefinitionFile(path, s.rgb);
  if (st != kOk && st != kCancelled) ReportError(st, ResString(3033));
}

uint8_t DefineColorHit(QWidget* dlg, int item) {
  auto* s = StateOf<DefineState>(dlg);
  if (!s) return 1;
  if (item >= kSliderItem && item < kSliderItem + 3) {
    // While the slider is held the move is live; a move that is not a drag
    // (keys, clicks beside the handle, the release without Live Sliders) is final.
    SliderMoved(dlg, *s, !SliderHeld(dlg, item));
    return 1;
  }
  switch (item) {
    case kOkItem:
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpNeutralPreference + s->kind); break;
    case kPickerItem: PickColour(dlg, *s); break;
    case kRestoreItem: NewColour(dlg, *s, s->info.defaultColour, true, true); break;
    case kLoadItem: LoadColour(dlg, *s); break;
    case kSaveItem: SaveColour(*s); break;
    default: break;
  }
  return 1;
}

void DrawSwatch(QWidget* dlg, int item, QPainter& painter) {
  auto* s = StateOf<DefineState>(dlg);
  QRect bounds;
  if (!s || Ui_Dlg_GetItemBounds(dlg, item, &bounds) != kOk) return;
  const QRect r(0, 0, bounds.width(), bounds.height());
  painter.fillRect(r, QColor::fromRgbF(s->rgb[0], s->rgb[1], s->rgb[2]));
  painter.setPen(dlg->palette().color(QPalette::Mid));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

Status DefineColorInit(QWidget* dlg) {
  auto* s = StateOf<DefineState>(dlg);
  dlg->setWindowTitle(Q(ResString(s->info.titleId)));
  Ui_Dlg_SetItemHitProc(dlg, DefineColorHit);
  Ui_Dlg_SetUserItemProcs(dlg, DrawSwatch, nullptr);
  const bool live = AppPrefs().liveSliders != 0;
  for (int c = 0; c < 3; ++c) {
    QWidget* w = nullptr;
    auto* slider = Ui_Dlg_GetItem(dlg, kSliderItem + c, &w) == kOk ? qobject_cast<QSlider*>(w) : nullptr;
    if (!slider) continue;
    slider->setTracking(live);
    // With Live Sliders the colour follows the drag; its release is the final change.
    if (live) {
      QPointer<QWidget> window(dlg);
      QObject::connect(slider, &QSlider::sliderReleased, dlg, [window] {
        if (auto* state = window ? StateOf<DefineState>(window) : nullptr) SliderMoved(window, *state, true);
      });
    }
  }
  ShowColour(dlg, *s, true);
  return kOk;
}

// The definition of a kind as it is now.
Status CurrentColour(const DefineColorContext& context, int kind, float rgb[3]) {
  const Prefs& prefs = AppPrefs();
  const float* from = nullptr;
  switch (kind) {
    case kDefinitionNeutral: from = prefs.neutral; break;
    case kDefinitionGrayscale: from = prefs.grayscale; break;
    case kDefinitionSepia: from = prefs.sepia; break;
    case kDefinitionToning:
      if (!context.pars) return kBadArg;
      from = context.pars->toneColor;
      break;
    default: return kBadArg;
  }
  std::memcpy(rgb, from, 3 * sizeof(float));
  return kOk;
}

}  // namespace

Status SetDefinition(DefineColorContext& context, int kind, const float rgb[3]) {
  if (!rgb) return kBadArg;
  for (int c = 0; c < 3; ++c)
    if (!(rgb[c] >= 0.0f && rgb[c] <= 1.0f)) return kBadArg;
  Prefs& prefs = AppPrefs();
  switch (kind) {
    case kDefinitionNeutral:
      std::memcpy(prefs.neutral, rgb, sizeof prefs.neutral);
      return context.pars ? SetNeutralPref(context.pars, rgb) : kOk;
    case kDefinitionGrayscale: std::memcpy(prefs.grayscale, rgb, sizeof prefs.grayscale); return kOk;
    case kDefinitionSepia: std::memcpy(prefs.sepia, rgb, sizeof prefs.sepia); return kOk;
    case kDefinitionToning:
      if (!context.pars) return kBadArg;
      std::memcpy(context.pars->toneColor, rgb, sizeof context.pars->toneColor);
      return kOk;
    default: return kBadArg;
  }
}

Status ShowDefineColor(QWidget* owner, int kind, DefineColorContext& context) {
  Ui_Dlg_RegisterTemplate(kDefineColorDialog, BuildDefineColor);
  auto s = std::make_unique<DefineState>();
  s->kind = kind;
  s->context = &context;
  if (GetDefinitionKind(kind, &s->info) != kOk || CurrentColour(context, kind, s->rgb) != kOk) return kBadArg;
  Prefs& prefs = AppPrefs();
  if (context.pars) s->savedPars = *context.pars;
  std::memcpy(s->savedNeutral, prefs.neutral, sizeof s->savedNeutral);
  std::memcpy(s->savedGray, prefs.grayscale, sizeof s->savedGray);
  std::memcpy(s->savedSepia, prefs.sepia, sizeof s->savedSepia);

  const Status st = RunModal(kDefineColorDialog, owner, DefineColorInit, s.get());
  if (st != kCancelled) return st;
  // Cancel: everything back as it was, the balance refitted.
  std::memcpy(prefs.neutral, s->savedNeutral, sizeof prefs.neutral);
  std::memcpy(prefs.grayscale, s->savedGray, sizeof prefs.grayscale);
  std::memcpy(prefs.sepia, s->savedSepia, sizeof prefs.sepia);
  if (context.pars) {
    *context.pars = s->savedPars;
    context.pars->balanceValid = 0;
    BuildBalanceCurves(context.pars);
  }
  if (context.cancelled) context.cancelled();
  return kCancelled;
}
