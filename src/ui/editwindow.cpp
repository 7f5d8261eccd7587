#include "ui/editwindow.h"

#include <QAbstractSlider>
#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMenu>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "correct/customsettings.h"
#include "correct/definitions.h"
#include "correct/tonetools.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/batchline.h"
#include "base/debuglog.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"
#include "ui/dialogs.h"
#include "ui/dlg.h"
#include "ui/dlgitems.h"
#include "ui/editwindow_internal.h"
#include "ui/sharpensetup.h"
#include "ui/uiapp.h"

namespace editwin {
namespace {

constexpr int kRegionShownMs = 700;
constexpr int kHelpOverview = 2000;
constexpr int kHelpToolFirst = 2001;  // 2001..2004 by tab
constexpr int kHelpStartUpGuide = 2007;

// What the window keeps between the template and the record: its options.
struct Pending {
  EditWindowOptions options;
  bool started = false;
};

std::map<const QWidget*, Pending>& PendingOptions() {
  static std::map<const QWidget*, Pending> pending;
  return pending;
}

QWidget* ItemW(Window* w, int item) {
  QWidget* c = nullptr;
  Ui_Dlg_GetItem(w->dlg, item, &c);
  return c;
}

int SliderPosition(float value) { return (int)std::lround(std::clamp(value, 0.0f, 1.0f) * 200.0f) - 100; }
float SliderValue(int position) { return SliderPositionToValue(position); }

bool Checked(Window* w, int item) {
  bool on = false;
  Ui_Dlg_IsItemChecked(w->dlg, item, &on);
  return on;
}

int Value(Window* w, int item) {
  int v = 0;
  Ui_Dlg_GetItemValue(w->dlg, item, &v);
  return v;
}

QString Qs(const std::string& s) { return QString::fromUtf8(s.c_str()); }

void SetText(Window* w, int item, const std::string& text) { Ui_Dlg_SetItemText(w->dlg, item, text); }

bool AltHeld(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  return Ui_Dlg_Info_Get(dlg, &info) == kOk && info->alt;
}

void Invalidate(Window* w, std::initializer_list<int> items) {
  for (int item : items) Ui_Dlg_InvalidateItem(w->dlg, item);
}

// ---- the window's own steps -------------------------------------------------------

void MoveReadoutsForPanel(Window* w) {
  QWidget* box = ItemW(w, kPreviewBox);
  QWidget* panel = ItemW(w, kPanel);
  QWidget* master = ItemW(w, kMasterBox);
  if (!box || !panel || !master) return;
  const bool expanded = w->editor->Expanded();
  QBoxLayout* slot = panel->findChild<QBoxLayout*>(QStringLiteral("panelPreviewSlot"));
  QBoxLayout* column = qobject_cast<QBoxLayout*>(master->parentWidget()->layout());
  if (!slot || !column) return;
  if (expanded && box->parentWidget() != panel) {
    column->removeWidget(box);
    box->setParent(panel);
    slot->addWidget(box);
  } else if (!expanded && box->parentWidget() == panel) {
    slot->removeWidget(box);
    box->setParent(master->parentWidget());
    column->addWidget(box);
  }
  box->show();
  master->setVisible(!expanded);
  if (auto* arrow = qobject_cast<QToolButton*>(ItemW(w, kExpand))) {
    arrow->setArrowType(expanded ? Qt::UpArrow : Qt::DownArrow);
    arrow->setToolTip(expanded ? QStringLiteral("Collapse the panel: compare the original with all tools")
                               : QStringLiteral("Expand the panel: compare before and after this tool only"));
  }
}

void SetLiveSliders(Window* w) {
  const bool live = AppPrefs().liveSliders != 0;
  for (QSlider* s : w->dlg->findChildren<QSlider*>()) s->setTracking(live);
}

// Shows a slider's readout while it is dragged (also when the sliders are
// not live and the value arrives only at the release).
void SliderMoved(Window* w, int item, int position) {
  const float v = SliderValue(position);
  if (item >= kBalanceSlider && item < kBalanceSlider + 3)
    SetText(w, kBalanceReadout + item - kBalanceSlider, BalanceSliderReadout(v));
  else if (item == kHueSlider || item == kHueSlider + 3)
    SetText(w, item - 1, SliderReadout(v));
  else
    SetText(w, item + 2, SliderReadout(v));
}

void HookSliders(Window* w) {
  for (QSlider* s : w->dlg->findChildren<QSlider*>()) {
    const int item = s->property("itemId").toInt();
    QPointer<QWidget> dlg(w->dlg);
    QObject::connect(s, &QAbstractSlider::sliderPressed, w->dlg, [dlg] {
      if (Window* win = Of(dlg)) {
        win->editor->TakeSnapshot();
        win->editor->HoldSnapshot(true);
      }
    });
    QObject::connect(s, &QAbstractSlider::sliderReleased, w->dlg, [dlg] {
      if (Window* win = Of(dlg)) win->editor->HoldSnapshot(false);
    });
    QObject::connect(s, &QAbstractSlider::sliderMoved, w->dlg, [dlg, item](int p) {
      if (Window* win = Of(dlg)) SliderMoved(win, item, p);
    });
  }
}

Status DefineColour(Window* w, int kind) {
  DefineColorContext dc;
  dc.pars = &w->ctx->pars;
  w->editor->TakeSnapshot();
  Window* win = w;
  dc.changed = [win, kind] { return win->editor->Changed(kind == 0); };
  dc.cancelled = dc.changed;
  const Status st = ShowDefineColor(w->dlg, kind, dc);
  UpdateHistogram(w);
  return st;
}

Status SaveCustom(Window* w) {
  UiFileRequest r;
  r.title = "Save Custom Settings as:";
  r.folder = AppPrefs().customPath.empty() ? std::string() : AppPrefs().customPath.substr(0, AppPrefs().customPath.rfind('/') + 1);
  r.name = "Custom Settings";
  std::string path;
  Status st = Ui_GetHost().ChooseSaveFile(r, path);
  if (st != kOk) return st;
  if ((st = WriteCustomSettings(&w->ctx->pars, path)) != kOk) return ReportError(st, Phrase(3005, path.c_str()));
  return kOk;
}

Status Preferences(Window* w) {
  PrefsHubOutcome outcome;
  ShowPreferencesHub(w->dlg, &outcome);
  EditContext* ctx = w->ctx;
  WorkingSpaceChange change;
  change.imageOpen = ctx->imageOpen;
  Editor* editor = w->editor.get();
  change.rebuildImage = [ctx, editor] {
    MakeInputTransformFor(ctx);
    editor->ForgetFullResolution();  // read through the old input transform
    return ReadDisplayImage(ctx);
  };
  change.retargetImage = [ctx](const RefRGB& ref) {
    Status st = SetRefRGB(&ctx->pars, &ref);
    if (st == kOk) st = MakeFullTransform(ctx);
    return st;
  };
  if (ctx->app) FinishPreferencesHub(ctx->app->workingSpace, change);
  // The window's own copies of the preferences.
  Editor& e = *w->editor;
  SetLiveSliders(w);
  if (outcome.neutralsSlidersOff && e.BalanceMethodNow() != kBalanceNeutrals) e.SetBalanceMethod(kBalanceNeutrals);
  if (ctx->imageOpen) {
    e.RebuildPreviews();
    e.Render();
  }
  RefreshBatchline(w);
  return kOk;
}

Status SetupFilters(Window* w) {
  TavelinPars settings = w->ctx->pars;
  Status st = ShowSharpenNoiseSetup(w->dlg, w->ctx, &settings);
  if (st != kOk) return st;
  return w->editor->SetFilterSettings(settings);
}

Status ToningBox(Window* w) {
  Editor& e = *w->editor;
  if (Checked(w, kToning)) {
    DefineColour(w, kDefinitionToning);
  } else {
    const float neutral[3] = {0.5f, 0.5f, 0.5f};
    e.SetToneColour(neutral);
  }
  Ui_Dlg_CheckItem(w->dlg, kToning, e.ToningOn());
  return kOk;
}

Status MemoryButton(Window* w, int slot) {
  const MemoryColour& def = AppPrefs().memoryColours[slot];
  if (AltHeld(w->dlg) || !def.defined) {
    MemoryColorContext mc;
    mc.pars = &w->ctx->pars;
    mc.activeHandle = w->editor->ActiveHandleId();
    mc.handleHasSamples = w->editor->ActiveHandleMarked();
    return ShowMemoryColor(w->dlg, slot, mc);
  }
  return w->editor->ApplyMemoryColourSlot(slot);
}

void StripSelection(Window* w) {
  auto* list = qobject_cast<QListWidget*>(ItemW(w, kStrip));
  if (!list) return;
  const int n = BatchlineCount(w->ctx);
  if (list->count() != n || n == 0) {
    RefreshBatchline(w);
    return;
  }
  std::vector<uint8_t> selected(n, 0);
  for (int i = 0; i < n; ++i) selected[i] = list->item(i)->isSelected() ? 1 : 0;
  int current = list->currentRow();
  if (current < 0 || current >= n) current = std::max(0, BatchlineCurrent(w->ctx));
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  SelectEntries(w->ctx, selected, current);
  AfterBatchOp(w);
}

void ShowHelp(int topic) { ShowHelpTopic(topic); }

// File > Open Recent: the image is added to the Batchline, a job file
// resumed. A file that is gone is said so and leaves the list.
void OpenRecent(Window* w, int index) {
  std::vector<std::string>& recent = AppPrefs().recentFiles;
  if (index < 0 || index >= (int)recent.size()) return;
  const std::string path = recent[(size_t)index];
  if (!QFileInfo::exists(Qs(path))) {
    recent.erase(recent.begin() + index);
    FillRecentMenu(w->dlg);
    Ui_GetHost().ShowMessage(ResString(1000), "\"" + path + "\" cannot be found. It was moved, renamed or deleted.");
    return;
  }
  AddImagesRequest request;
  request.paths = {path};
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  AddImages(w->ctx, request);
  if (Of(w->dlg)) AfterBatchOp(w);
}

uint8_t Hit(QWidget* dlg, int item) {
  Window* w = Of(dlg);
  if (!w || w->refreshing) return 0;
  Editor& e = *w->editor;
  switch (item) {
    case kApply: RunBatchOp(w, ApplyAndAdvance); break;
    case kCancel: RunBatchOp(w, CancelAndAdvance); break;
    case kPreview: e.SetPreview(Checked(w, kPreview)); break;
    case kCompare: {
      int mode = 0;
      Ui_Dlg_GetListSelection(dlg, kCompare, &mode);
      e.SetCompare(mode);
      break;
    }
    case kRgbHistogram:
      AppPrefs().rgbHistogram = Checked(w, kRgbHistogram) ? 1 : 0;
      UpdateHistogram(w);
      break;
    case kExpand:
      e.SetExpanded(!e.Expanded());
      MoveReadoutsForPanel(w);
      break;
    case kPrefs: Preferences(w); break;
    case kUndo: e.Undo(); break;
    case kBrivio: e.RunBrivioButton(false); break;
    case kPrev: e.ApplyStored(false, false); break;
    case kCustom: e.ApplyStored(true, false); break;
    case kReset: e.Reset(false); break;
    case kSaveCustom: SaveCustom(w); break;
    case kBrivioMode:
      e.SetBrivioMode(Checked(w, kBrivioMode));
      AppPrefs().brivioMode = e.BrivioMode() ? 1 : 0;
      break;
    case kLinear: e.SetLinear(Checked(w, kLinear)); break;
    case kTabs: e.SetTab(Value(w, kTabs)); break;
    case kReadoutModel: {
      int model = 0;
      Ui_Dlg_GetListSelection(dlg, kReadoutModel, &model);
      e.SetReadoutModel(model);
      break;
    }
    case kMethod: {
      int method = 0;
      Ui_Dlg_GetListSelection(dlg, kMethod, &method);
      e.SetBalanceMethod(method);
      break;
    }
    case kNeutralPrefs: DefineColour(w, kDefinitionNeutral); break;
    case kBW:
    case kSepia:
      if (AltHeld(dlg)) DefineColour(w, item == kBW ? kDefinitionGrayscale : kDefinitionSepia);
      else e.ApplyToning(item == kSepia);
      break;
    case kToning: ToningBox(w); break;
    case kSwatch: DefineColour(w, kDefinitionToning); break;
    case kPanelBrivio: e.RunBrivioButton(true); break;
    case kPanelPrev: e.ApplyStored(false, true); break;
    case kPanelCustom: e.ApplyStored(true, true); break;
    case kPanelReset: e.Reset(true); break;
    case kSharpen: e.SetSharpen(Checked(w, kSharpen)); break;
    case kNoise: e.SetNoise(Checked(w, kNoise)); break;
    case kSetup: SetupFilters(w); break;
    case kStrip: StripSelection(w); break;
    case kSave: RunBatchOp(w, [](EditContext* c) { return SaveSelected(c); }); break;
    case kSync: RunBatchOp(w, SyncSelected); break;
    case kAdd: RunBatchOp(w, [](EditContext* c) { return AddImages(c); }); break;
    case kRemove: RunBatchOp(w, RemoveSelected); break;
    default:
      if (item >= kBalanceSlider && item < kBalanceSlider + 3) {
        e.SetBalanceSlider(item - kBalanceSlider, SliderValue(Value(w, item)));
      } else if (item >= kToneSlider && item <= ToneSliderItem(kToneSaturation) && (item - kToneSlider) % 3 == 0) {
        e.SetToneSlider((item - kToneSlider) / 3, SliderValue(Value(w, item)));
      } else if (item == kHueSlider || item == kHueSlider + 3) {
        e.SetHueSlider(item == kHueSlider ? kHueBrightness : kHueSaturation, SliderValue(Value(w, item)));
      } else if (item >= kMemory && item < kMemory + 6) {
        MemoryButton(w, item - kMemory);
      } else {
        return 0;
      }
  }
  if (Of(dlg)) RefreshControls(w);
  return 1;
}

uint8_t Key(QWidget* dlg, int key, uint8_t ctrl) {
  // The main window has no OK or Cancel: Escape and Enter do not reach its
  // Apply and Cancel buttons (which move to another image).
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) return 1;
  return 0;
}

Status Drop(QWidget* dlg, int count, const std::vector<std::string>& paths) {
  Window* w = Of(dlg);
  if (!w || paths.empty()) return kBadArg;
  AddImagesRequest request;
  request.paths = paths;
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  Status st = AddImages(w->ctx, request);
  AfterBatchOp(w);
  return st == kCancelled ? kOk : st;
}

void Close(QWidget* dlg) {
  Window* w = Of(dlg);
  if (!w) return;
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  const Status st = ExitEditing(w->ctx);
  if (st == kOk) {
    Ui_Dlg_Info* info = nullptr;
    if (Ui_Dlg_Info_Get(dlg, &info) == kOk) info->closeRequested = 1;
    return;
  }
  AfterBatchOp(w);
}

Status Resize(QWidget* dlg, const QRect&) {
  Window* w = Of(dlg);
  if (!w) return kBadArg;
  return SizeImagesToView(w);
}

uint8_t Idle(QWidget* dlg) {
  Window* w = Of(dlg);
  if (!w) return 0;
  if (w->regionUntilMs && Ui_ClockMs() >= w->regionUntilMs) {
    w->regionUntilMs = 0;
    w->editor->HideRegion();
    w->editor->Render();
    RefreshView(w);
  }
  return 0;
}

Status FirstPaint(QWidget* dlg) {
  auto it = PendingOptions().find(dlg);
  if (it == PendingOptions().end() || !it->second.options.startOnFirstPaint) {
    if (Window* w = Of(dlg)) SizeImagesToView(w);
    return kOk;
  }
  EditWindowStart(dlg);
  return kOk;
}

Status Init(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  Status st = Ui_Dlg_Info_Get(dlg, &info);
  if (st != kOk) return st;
  Window* w = static_cast<Window*>(info->userData);
  if (!w) return kBadArg;
  w->dlg = dlg;
  QObject::connect(dlg, &QObject::destroyed, [w, dlg] {
    PendingOptions().erase(dlg);
    w->ctx->hooks = BatchlineHooks{};
    delete w;
  });
  Ui_Dlg_SetItemHitProc(dlg, Hit);
  Ui_Dlg_SetKeyProc(dlg, Key);
  Ui_Dlg_SetDropProc(dlg, Drop);
  Ui_Dlg_SetCloseProc(dlg, Close);
  Ui_Dlg_SetResizeProc(dlg, Resize);
  Ui_Dlg_SetIdleProc(dlg, Idle);
  Ui_Dlg_SetFirstPaintProc(dlg, FirstPaint);
  Ui_Dlg_SetCursorProc(dlg, ChooseCursor);
  Ui_Dlg_SetUserItemProcs(dlg, DrawUserItem, TrackUserItem);
  Ui_Dlg_SetListItemProcs(dlg, kStrip, MeasureStripEntry, DrawStripEntry);

  QPointer<QWidget> owner(dlg);
  BatchlineHooks& hooks = w->ctx->hooks;
  hooks.showAddPrefs = [owner] { return ShowAddImagePrefs(owner, PrefsOpening::kBeforeOperation); };
  hooks.showSavePrefs = [owner] { return ShowSaveImagePrefs(owner, PrefsOpening::kBeforeOperation); };
  hooks.showSyncPrefs = [owner] { return ShowSyncPrefs(owner, PrefsOpening::kBeforeOperation); };
  hooks.fileOpened = [](const std::string& path) { AddRecentFile(AppPrefs(), path); };
  hooks.listChanged = [owner] {
    if (Window* win = Of(owner)) {
      ForgetThumbnails(win);  // a rewritten record may keep its place in the file
      RefreshBatchline(win);
    }
  };

  for (QAction* a : dlg->findChildren<QAction*>()) {
    const int command = a->property("command").toInt();
    if (command) w->actions[command] = a;
  }
  w->recentMenu = dlg->findChild<QMenu*>(QStringLiteral("recentMenu"));
  FillRecentMenu(dlg);
  HookSliders(w);
  SetLiveSliders(w);
  // The Batchline list's extra height (preference 119).
  if (QWidget* strip = ItemW(w, kStrip)) strip->setFixedHeight(strip->height() + std::clamp(AppPrefs().batchlineExtraHeight, 0, 400));
  Ui_Dlg_CheckItem(dlg, kPreview, true);
  RefreshBatchline(w);
  RefreshControls(w);
  return kOk;
}

}  // namespace

Window* Of(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  if (!dlg || Ui_Dlg_Info_Get(dlg, &info) != kOk || info->templateId != kEditWindowDialog) return nullptr;
  return static_cast<Window*>(info->userData);
}

// The display images for the view's present size in device pixels, so that
// the fitted picture is drawn one image pixel per screen pixel; the image,
// when one is open, read again at the new size.
Status SizeImagesToView(Window* w) {
  QWidget* view = ItemW(w, kView);
  if (!view) return kBadArg;
  EditContext* ctx = w->ctx;
  const double dpr = view->devicePixelRatioF();
  w->dpr = dpr;
  const int32_t vw = std::max((int32_t)std::lround(view->width() * dpr), 2);
  const int32_t vh = std::max((int32_t)std::lround(view->height() * dpr), 2);
  if (vw == ctx->viewWidth && vh == ctx->viewHeight && ctx->drawMap) return kOk;
  const int32_t oldW = ctx->viewWidth, oldH = ctx->viewHeight;
  Status st = SetUpImages(ctx, vw, vh);
  if (st != kOk && oldW >= 2 && oldH >= 2) {
    DLog("SetUpImages failed, trying old size");
    const Status second = SetUpImages(ctx, oldW, oldH);
    if (second != kOk) {
      DLog("old size failed too");
      st = second;
    }
    ReportError(st, ResString(3023));
  } else if (st != kOk) {
    ReportError(st, ResString(3023));
  }
  if (ctx->drawMap) {
    // The preferences keep the area in the window's own units.
    Prefs& prefs = AppPrefs();
    prefs.imageAreaWidth = view->width();
    prefs.imageAreaHeight = view->height();
  }
  if (ctx->imageOpen) {
    if (ctx->drawMap && ReadDisplayImage(ctx) == kOk) {
      w->editor->ViewResized(ctx->viewWidth, ctx->viewHeight);
      w->editor->RebuildPreviews();
      w->editor->Render();
      ctx->zoom = 1;
    } else {
      CloseImage(ctx);
      w->editor->ImageClosed();
    }
  } else {
    w->editor->ViewResized(ctx->viewWidth, ctx->viewHeight);
  }
  RefreshView(w);
  return st;
}


Status RunBatchOp(Window* w, Status (*op)(EditContext*)) {
  // CloseImage clears the context's zoom state: a non-zero value tells,
  // afterwards, that the image shown is the one the operation found.
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  const Status st = op(w->ctx);
  if (Of(w->dlg)) AfterBatchOp(w);
  return st;
}

void AfterBatchOp(Window* w) {
  EditContext* ctx = w->ctx;
  if (ctx->imageOpen && ctx->zoom == 0) {
    w->editor->ImageLoaded();
    ctx->zoom = 1;
  } else if (!ctx->imageOpen) {
    w->editor->ImageClosed();
  }
  const std::string title = ResString(1000) + (ctx->imageOpen ? " - " + ctx->displayName : std::string());
  w->dlg->setWindowTitle(Qs(title));
  RefreshBatchline(w);
  RefreshControls(w);
  RefreshView(w);
}

void RefreshView(Window* w) { Invalidate(w, {kView, kReadouts}); }

void RefreshControls(Window* w) {
  if (!w->dlg) return;
  w->refreshing = true;
  QWidget* dlg = w->dlg;
  Editor& e = *w->editor;
  EditContext* ctx = w->ctx;
  const Prefs& prefs = AppPrefs();
  const bool open = ctx->imageOpen;
  const TavelinPars& p = ctx->pars;
  const int tab = e.Tab();

  for (int item : {kApply, kCancel, kBrivio, kPrev, kCustom, kReset, kSaveCustom, kPanelBrivio, kPanelPrev,
                   kPanelCustom, kPanelReset, kMethod, kNeutralPrefs, kBW, kSepia, kToning, kExpand, kTabs, kSharpen,
                   kNoise, kSetup})
    Ui_Dlg_EnableItem(dlg, item, open);
  Ui_Dlg_EnableItem(dlg, kUndo, open && e.CanUndo());
  if (auto it = w->actions.find(kCmdUndo); it != w->actions.end() && it->second) it->second->setEnabled(open && e.CanUndo());
  Ui_Dlg_CheckItem(dlg, kPreview, e.Preview());
  Ui_Dlg_EnableItem(dlg, kPreview, open && e.Compare() == kCompareOff);  // a comparison shows both
  Ui_Dlg_EnableItem(dlg, kCompare, open);
  Ui_Dlg_SelectListEntry(dlg, kCompare, e.Compare());
  for (int c = kCompareOff; c <= kCompareSideBySide; ++c)
    if (auto it = w->actions.find(kCmdCompareOff + c); it != w->actions.end() && it->second)
      it->second->setChecked(e.Compare() == c);
  Ui_Dlg_CheckItem(dlg, kRgbHistogram, prefs.rgbHistogram != 0);
  Ui_Dlg_CheckItem(dlg, kBrivioMode, e.BrivioMode());
  const bool sixteen = open && ctx->input.maxValue >= 256;
  Ui_Dlg_ShowItem(dlg, kLinear, sixteen);
  Ui_Dlg_EnableItem(dlg, kLinear, sixteen);
  Ui_Dlg_CheckItem(dlg, kLinear, p.linear != 0);
  Ui_Dlg_CheckItem(dlg, kSharpen, p.sharpenOn != 0);
  Ui_Dlg_CheckItem(dlg, kNoise, p.denoiseOn != 0);
  const bool pixelValues = prefs.showPixelValues != 0;
  Ui_Dlg_ShowItem(dlg, kReadouts, pixelValues);
  Ui_Dlg_ShowItem(dlg, kReadoutModel, pixelValues);
  Ui_Dlg_SelectListEntry(dlg, kReadoutModel, e.ReadoutModelNow());

  // The tab strip and the panel.
  Ui_Dlg_SetItemValue(dlg, kTabs, tab);
  if (auto* stack = dlg->findChild<QStackedWidget*>(QStringLiteral("panelStack"))) stack->setCurrentIndex(tab);
  const char* titles[4] = {"Color Balance", "Black/White Point", "Brightness/Contrast", "Hue Selective"};
  SetText(w, kPanelTitle, std::string(titles[tab]) + (e.Expanded() ? "  (this tool: before / after)" : ""));

  // Panel 1.
  std::vector<std::string> methods = {"Neutrals"};
  if (prefs.showNeutralsSliders) methods.push_back("Sliders");
  int count = 0;
  Ui_Dlg_GetListCount(dlg, kMethod, &count);
  if (count != (int)methods.size()) Ui_Dlg_FillList(dlg, kMethod, methods);
  Ui_Dlg_SelectListEntry(dlg, kMethod, std::min(e.BalanceMethodNow(), (int)methods.size() - 1));
  const bool sliders = e.BalanceMethodNow() == kBalanceSliders;
  if (auto* box = dlg->findChild<QWidget*>(QStringLiteral("neutralsBox"))) box->setVisible(!sliders);
  if (auto* box = dlg->findChild<QWidget*>(QStringLiteral("slidersBox"))) box->setVisible(sliders);
  for (int i = 0; i < 3; ++i) {
    Ui_Dlg_SetItemValue(dlg, kBalanceSlider + i, SliderPosition(e.BalanceSlider(i)));
    SetText(w, kBalanceReadout + i, BalanceSliderReadout(e.BalanceSlider(i)));
    Ui_Dlg_EnableItem(dlg, kBalanceSlider + i, open);
  }

  // Panel 2.
  SetText(w, kLevelsValues,
          Fmt("Black %d   Gray %d   White %d", (int)std::lround(p.blackPoint * 100.0f),
              (int)std::lround(p.grayPoint * 100.0f), (int)std::lround(p.whitePoint * 100.0f)));
  if (tab == 1) UpdateHistogram(w);

  // Panel 3.
  const float tones[5] = {p.brightness, p.shadow, p.highlight, p.contrast, p.saturation};
  for (int i = 0; i < 5; ++i) {
    Ui_Dlg_SetItemValue(dlg, ToneSliderItem(i), SliderPosition(tones[i]));
    SetText(w, ToneReadoutItem(i), SliderReadout(tones[i]));
    Ui_Dlg_EnableItem(dlg, ToneSliderItem(i), open);
  }
  Ui_Dlg_ShowItem(dlg, kCurve, prefs.showCurveControl != 0);
  Ui_Dlg_ShowItem(dlg, kCurveCaption, prefs.showCurveControl != 0);

  // Panel 4.
  const int active = e.ActiveHandleIndex();
  const HueEntry& h = p.hue[active];
  const int after = (int)std::lround(std::fmod(std::fmod(h.baseHue + h.hueShift, 360.0f) + 360.0f, 360.0f)) % 360;
  SetText(w, kHueHandleText,
          Fmt("Handle %d:  Before %d°  After %d°%s", active + 1, (int)std::lround(h.baseHue) % 360, after,
              e.ActiveHandleMarked() ? "  (marked)" : ""));
  const float hueValues[2] = {h.brightness, h.saturation};
  for (int i = 0; i < 2; ++i) {
    Ui_Dlg_SetItemValue(dlg, kHueSlider + 3 * i, SliderPosition(hueValues[i]));
    SetText(w, kHueReadout + 3 * i, SliderReadout(hueValues[i]));
    Ui_Dlg_EnableItem(dlg, kHueSlider + 3 * i, open);
  }
  for (int slot = 0; slot < kMemoryColourSlots; ++slot) {
    const MemoryColour& m = prefs.memoryColours[slot];
    SetText(w, kMemory + slot, m.defined && m.label[0] ? std::string(m.label) : std::string("_"));
    Ui_Dlg_EnableItem(dlg, kMemory + slot, open && e.ActiveHandleMarked());
    if (QWidget* b = ItemW(w, kMemory + slot))
      b->setToolTip(m.defined ? QStringLiteral("%1 (Alt-click to define it)").arg(QString::fromUtf8(m.name))
                              : QStringLiteral("Undefined (Alt-click to define it)"));
  }
  Ui_Dlg_CheckItem(dlg, kToning, e.ToningOn());

  MoveReadoutsForPanel(w);
  if (auto it = w->actions.find(kCmdRedEye); it != w->actions.end() && it->second) it->second->setChecked(w->redEyeMode);
  w->refreshing = false;
  Invalidate(w, {kView, kReadouts, kHistogram, kHandles, kWedge, kHueRing, kSwatch, kCurve});
}

void RefreshBatchline(Window* w) {
  if (!w->dlg) return;
  QWidget* dlg = w->dlg;
  EditContext* ctx = w->ctx;
  const BatchlineLabels labels = GetBatchlineLabels(ctx);
  auto button = [&](int item, const ControlLabel& l) {
    SetText(w, item, l.text);
    Ui_Dlg_EnableItem(dlg, item, l.enabled);
  };
  button(kSync, labels.syncButton);
  button(kSave, labels.saveButton);
  button(kRemove, labels.removeButton);
  auto action = [&](int command, const ControlLabel& l) {
    auto it = w->actions.find(command);
    if (it == w->actions.end() || !it->second) return;
    it->second->setText(Qs(l.text));
    it->second->setEnabled(l.enabled);
  };
  action(kCmdSaveImages, labels.saveMenu);
  action(kCmdRemove, labels.removeMenu);
  action(kCmdAdd, labels.addMenu);
  action(kCmdSaveJob, labels.saveJobMenu);
  action(kCmdResume, labels.resumeJobMenu);
  action(kCmdSaveAs, labels.saveAsMenu);
  action(kCmdExit, labels.exitMenu);

  auto* list = qobject_cast<QListWidget*>(ItemW(w, kStrip));
  if (!list) return;
  const QSignalBlocker block(list);
  const int n = BatchlineCount(ctx);
  while (list->count() > n) delete list->takeItem(list->count() - 1);
  while (list->count() < n) list->addItem(QString());
  for (int i = 0; i < n; ++i) {
    QListWidgetItem* item = list->item(i);
    item->setText(Qs(LeafName(BatchlineImagePath(ctx, i))));
    item->setToolTip(Qs(BatchlineImagePath(ctx, i)));
    item->setSelected(BatchlineIsSelected(ctx, i));
  }
  const int current = BatchlineCurrent(ctx);
  if (current >= 0 && current < n) {
    list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    list->scrollToItem(list->item(current));
  }
  list->viewport()->update();
  FillRecentMenu(dlg);
}

void Command(QWidget* dlg, int command) {
  Window* w = Of(dlg);
  if (!w) return;
  Editor& e = *w->editor;
  DLog("modeless %d menu = %d", kEditWindowDialog, command);
  switch (command) {
    case kCmdAdd: Hit(dlg, kAdd); return;
    case kCmdSaveImages: Hit(dlg, kSave); return;
    case kCmdRemove: Hit(dlg, kRemove); return;
    case kCmdSaveAs: RunBatchOp(w, SaveCurrentAs); break;
    case kCmdResume: RunBatchOp(w, [](EditContext* c) { return ResumeJob(c); }); break;
    case kCmdSaveJob: RunBatchOp(w, [](EditContext* c) { return SaveJob(c); }); break;
    case kCmdExit:
      Close(dlg);
      if (Ui_Dlg_Info* info = nullptr; Ui_Dlg_Info_Get(dlg, &info) == kOk && info->closeRequested) Ui_Dlg_Close(dlg);
      return;
    case kCmdUndo: Hit(dlg, kUndo); return;
    case kCmdPrefs: Hit(dlg, kPrefs); return;
    case kCmdSelectAll: RunBatchOp(w, SelectAll); break;
    case kCmdRedEye:
      w->redEyeMode = !w->redEyeMode;
      if (!w->redEyeMode) {
        e.ClearRedEye();
        e.Render();
      }
      break;
    case kCmdZoomIn:
    case kCmdZoomOut:
    case kCmdZoomFit:
    case kCmdZoom100:
    case kCmdZoom200: {
      if (!w->ctx->imageOpen) break;
      ViewGeometry& g = e.Geometry();
      const int32_t next = command == kCmdZoomIn    ? std::min(g.zoom + 1, kViewMaxZoom)
                           : command == kCmdZoomOut ? std::max(g.zoom - 1, (int32_t)kZoomFit)
                           : command == kCmdZoomFit ? (int32_t)kZoomFit
                           : command == kCmdZoom100 ? (int32_t)kZoom100
                                                    : (int32_t)kZoom200;
      // About the pane's centre.
      if (g.SetZoom(next, g.viewWidth / 2, g.viewHeight / 2)) {
        w->ctx->zoom = g.zoom + 1;
        e.Render();
      }
      break;
    }
    case kCmdCompareOff:
    case kCmdCompareSplit:
    case kCmdCompareSideBySide:
      e.SetCompare(command - kCmdCompareOff);
      break;
    case kCmdRecentClear:
      AppPrefs().recentFiles.clear();
      FillRecentMenu(dlg);
      return;
    case kCmdHelpTool: ShowHelp(kHelpToolFirst + e.Tab()); break;
    case kCmdHelpOverview: ShowHelp(kHelpOverview); break;
    case kCmdHelpGuide: ShowHelp(kHelpStartUpGuide); break;
    case kCmdAbout:
      Ui_GetHost().ShowMessage(ResString(1000), ResString(1000) + " " TAVELIN_VERSION
                                                    "\nColour correction of photographs, one image or a whole batch.");
      break;
    default:
      if (command >= kCmdTab1 && command < kCmdTab1 + 4) {
        if (w->ctx->imageOpen) e.SetTab(command - kCmdTab1);
        break;
      }
      if (command >= kCmdRecentFirst && command < kCmdRecentFirst + (int)kRecentFilesMax) {
        OpenRecent(w, command - kCmdRecentFirst);
        return;
      }
      return;
  }
  if (Of(dlg)) RefreshControls(w);
}

void FillRecentMenu(QWidget* dlg) {
  Window* w = Of(dlg);
  if (!w || !w->recentMenu) return;
  QMenu* menu = w->recentMenu;
  menu->clear();
  const std::vector<std::string>& recent = AppPrefs().recentFiles;
  for (size_t i = 0; i < recent.size() && i < kRecentFilesMax; ++i) {
    // "1 photo.jpg", the whole path as the tip; & shown as itself.
    QString leaf = Qs(LeafName(recent[i]));
    leaf.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* a = menu->addAction(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(leaf) : leaf);
    a->setToolTip(Qs(recent[i]));
    a->setStatusTip(Qs(recent[i]));
    a->setProperty("command", kCmdRecentFirst + (int)i);
    const int command = kCmdRecentFirst + (int)i;
    QObject::connect(a, &QAction::triggered, dlg, [dlg, command] { Command(dlg, command); });
  }
  menu->setToolTipsVisible(true);
  if (!recent.empty()) menu->addSeparator();
  QAction* clear = menu->addAction(QStringLiteral("&Clear Menu"));
  clear->setEnabled(!recent.empty());
  QObject::connect(clear, &QAction::triggered, dlg, [dlg] { Command(dlg, kCmdRecentClear); });
  menu->setEnabled(true);
}

}  // namespace editwin

using namespace editwin;

Status OpenEditWindow(EditContext* ctx, const EditWindowOptions& options, QWidget** window) {
  if (!ctx || !window || !AppState()) return kBadArg;
  *window = nullptr;
  Ui_Dlg_RegisterTemplate(kEditWindowDialog, BuildTemplate);
  auto* w = new Window;
  w->ctx = ctx;
  w->editor = std::make_unique<Editor>(ctx);
  QWidget* dlg = nullptr;
  Status st = Ui_Dlg_OpenModeless(AppState(), kEditWindowDialog, nullptr, Init, w, &dlg, false);
  if (st != kOk || !dlg) {
    if (!w->dlg) delete w;  // Init never ran: the window record is still ours
    return st != kOk ? st : kSysErr;
  }
  PendingOptions()[dlg].options = options;
  // The image area of the last run (preferences 56 and 57), within reason.
  const Prefs& prefs = AppPrefs();
  QWidget* view = nullptr;
  if (prefs.imageAreaWidth > 0 && prefs.imageAreaHeight > 0 && Ui_Dlg_GetItem(dlg, kView, &view) == kOk && dlg->layout()) {
    dlg->layout()->activate();
    const int dw = std::clamp(prefs.imageAreaWidth, 320, 3000) - view->width();
    const int dh = std::clamp(prefs.imageAreaHeight, 240, 2000) - view->height();
    dlg->resize(std::max(dlg->width() + dw, 800), std::max(dlg->height() + dh, 600));
  }
  dlg->show();
  *window = dlg;
  return kOk;
}

Status EditWindowStart(QWidget* window) {
  Window* w = Of(window);
  if (!w) return kBadArg;
  Pending& pending = PendingOptions()[window];
  if (pending.started) return kOk;
  pending.started = true;
  SizeImagesToView(w);
  EditContext* ctx = w->ctx;
  if (AppPrefs().showStartUpGuide) ShowHelpTopic(kHelpStartUpGuide);
  RunBatchOp(w, OfferUnfinishedJob);
  if (!Of(window)) return kOk;
  if (ctx->app && !ctx->app->commandLineFiles.empty()) RunBatchOp(w, [](EditContext* c) { return AddImages(c); });
  if (!Of(window)) return kOk;
  if (BatchlineCount(ctx) == 0 && !pending.options.samples.empty()) {
    // The samples are the application's own: no Add Image preferences first.
    AddImagesRequest request;
    request.paths = pending.options.samples;
    request.keepGoing = true;
    const BatchlineHooks hooks = ctx->hooks;
    ctx->hooks.showAddPrefs = nullptr;
    ctx->zoom = ctx->imageOpen ? 1 : 0;
    AddImages(ctx, request);
    ctx->hooks = hooks;
    if (Of(window)) AfterBatchOp(w);
  }
  return kOk;
}

Editor* EditWindowEditor(QWidget* window) {
  Window* w = Of(window);
  return w ? w->editor.get() : nullptr;
}

void EditWindowCommand(QWidget* window, int command) { Command(window, command); }

void EditWindowOpenFiles(QWidget* window, const std::vector<std::string>& paths) {
  Window* w = Of(window);
  if (!w) return;
  window->showNormal();
  window->raise();
  window->activateWindow();
  if (paths.empty()) return;
  if (QApplication::activeModalWidget() || Ui_Busy_Active() || w->drag != Drag::kNone) {
    // Not in the middle of another dialog or a drag: a little later.
    QPointer<QWidget> guard(window);
    QTimer::singleShot(250, window, [guard, paths] {
      if (guard) EditWindowOpenFiles(guard, paths);
    });
    return;
  }
  AddImagesRequest request;
  request.paths = paths;
  w->ctx->zoom = w->ctx->imageOpen ? 1 : 0;
  AddImages(w->ctx, request);
  if (Of(window)) AfterBatchOp(w);
}
