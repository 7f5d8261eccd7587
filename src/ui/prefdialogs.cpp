// The preference hub (1001) and the preference dialogs Brivio (1006), Add
// Image (1013), Sync (1015), User Interface (1012) and Color Management
// (1011). Save Image (1014) is in saveimage.cpp. Each dialog keeps its
// values in its controls and in a small state record while it is open and
// stores them into AppPrefs only when it ends with OK.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <memory>

#include "colormgmt/profilepolicy.h"
#include "colormgmt/workingspaces.h"
#include "colormgmt/workspace.h"
#include "correct/brivio.h"
#include "correct/customsettings.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/helptext.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"

using namespace UiKit;

namespace {

constexpr int kHubDialog = 1001;
constexpr int kBrivioDialog = 1006;
constexpr int kColourManagementDialog = 1011;
constexpr int kUserInterfaceDialog = 1012;
constexpr int kAddImageDialog = 1013;
constexpr int kSyncDialog = 1015;

constexpr int kTextMustLoadCustom = 9500;
constexpr int kTextLoadCustomTitle = 9501;

// The defaults of the preference table (prefs.cpp), for Restore Defaults.
const Prefs& Defaults() { return PrefsDefaults(); }

// Index of `value` in `values` (`fallback` when absent).
template <size_t N>
int IndexOf(const int32_t (&values)[N], int32_t value, int fallback) {
  for (size_t i = 0; i < N; ++i)
    if (values[i] == value) return (int)i;
  return fallback;
}

void Explain(int textId) { Ui_GetHost().ShowMessage(ResString(1000), ResString(textId)); }

// A titled group of controls laid out in a column.
QGroupBox* Group(QWidget* parent, const char* title, QLayout* content) {
  auto* g = new QGroupBox(QString::fromUtf8(title), parent);
  g->setLayout(content);
  return g;
}

// ---- Brivio Preferences (1006) -----------------------------------------------------

struct BrivioGroup {
  int item;
  const char* caption;
  ToolMask bits;
};
const BrivioGroup kBrivioSets[] = {
    {4, "Linear", TOOL_LINEAR},
    {5, "Color Balance", TOOL_BALANCE},
    {6, "Black Point", TOOL_BLACK},
    {7, "Gray Point", TOOL_GRAY},
    {8, "White Point", TOOL_WHITE},
    {9, "Global Brightness", TOOL_BRIGHTNESS},
    {10, "Saturation", TOOL_SATURATION},
    {11, "Hue Handles", TOOL_HUE_ALL},
};
const BrivioGroup kMemorySets[] = {
    {12, "Hue Shift", TOOL_HUE_ALL},
    {13, "Brightness", TOOL_BRIGHTNESS},
    {14, "Saturation", TOOL_SATURATION},
};
constexpr int kSaturationItem = 15;
constexpr int kBrivioRestoreItem = 16;
constexpr int kAnalysisItem = 17;
constexpr int kSaturationSteps = 11;  // 0, 10, ..., 100 percent
// "Analysis:" list entries and the preference (BrivioAnalysis) each stores.
constexpr int32_t kAnalysisValues[] = {(int32_t)BrivioAnalysis::kAdaptive, (int32_t)BrivioAnalysis::kClassic};

struct BrivioState {
  int32_t setMask = 0;
  int32_t memoryMask = 0;
  float saturation = 0;
  int32_t analysis = 0;
};

Status BuildBrivio(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Brivio Preferences"));
  auto* root = new QVBoxLayout(d);
  auto* analysis = new QHBoxLayout;
  analysis->addWidget(new QLabel(QStringLiteral("Analysis:"), d));
  analysis->addWidget(Combo(d, kAnalysisItem, {"Adaptive", "Classic"}));
  analysis->addStretch(1);
  root->addLayout(analysis);
  auto* columns = new QHBoxLayout;
  auto* sets = new QVBoxLayout;
  for (const BrivioGroup& g : kBrivioSets) sets->addWidget(Check(d, g.item, QString::fromUtf8(g.caption)));
  columns->addWidget(Group(d, "Brivio Sets These", sets));
  auto* right = new QVBoxLayout;
  auto* memory = new QVBoxLayout;
  for (const BrivioGroup& g : kMemorySets) memory->addWidget(Check(d, g.item, QString::fromUtf8(g.caption)));
  right->addWidget(Group(d, "Memory Colors Set These", memory));
  auto* sat = new QVBoxLayout;
  sat->addWidget(Combo(d, kSaturationItem,
                       {"0 (None)", "10", "20", "30", "40", "50", "60", "70", "80 (Default)", "90", "100 (Maximum)"}));
  right->addWidget(Group(d, "Preferred Saturation", sat));
  right->addStretch(1);
  columns->addLayout(right);
  root->addLayout(columns);
  root->addLayout(BottomRow(d, Button(d, kBrivioRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

void ShowBrivioValues(QWidget* dlg, const BrivioState& s) {
  for (const BrivioGroup& g : kBrivioSets) Ui_Dlg_CheckItem(dlg, g.item, (s.setMask & g.bits) == g.bits);
  for (const BrivioGroup& g : kMemorySets) Ui_Dlg_CheckItem(dlg, g.item, (s.memoryMask & g.bits) == g.bits);
  const int step = std::clamp((int)(s.saturation * 10.0f + 0.5f), 0, kSaturationSteps - 1);
  Ui_Dlg_SelectListEntry(dlg, kSaturationItem, step);
  Ui_Dlg_SelectListEntry(dlg, kAnalysisItem, IndexOf(kAnalysisValues, s.analysis, 0));
}

uint8_t BrivioHit(QWidget* dlg, int item) {
  auto* s = StateOf<BrivioState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem: {
      // Bits outside the boxes' groups stay as they were.
      for (const BrivioGroup& g : kBrivioSets)
        s->setMask = IsChecked(dlg, g.item) ? (s->setMask | g.bits) : (s->setMask & ~g.bits);
      for (const BrivioGroup& g : kMemorySets)
        s->memoryMask = IsChecked(dlg, g.item) ? (s->memoryMask | g.bits) : (s->memoryMask & ~g.bits);
      RequestClose(dlg);
      break;
    }
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpBrivioPreferences); break;
    case kSaturationItem: s->saturation = (float)Selection(dlg, kSaturationItem) / 10.0f; break;
    case kAnalysisItem: s->analysis = kAnalysisValues[std::clamp(Selection(dlg, kAnalysisItem), 0, 1)]; break;
    case kBrivioRestoreItem:
      s->setMask = Defaults().brivioMask;
      s->memoryMask = Defaults().brivioPrefsMask;
      s->saturation = Defaults().brivioSaturation;
      s->analysis = Defaults().brivioAnalysis;
      ShowBrivioValues(dlg, *s);
      break;
    default: break;
  }
  return 1;
}

Status BrivioInit(QWidget* dlg) {
  ShowBrivioValues(dlg, *StateOf<BrivioState>(dlg));
  return Ui_Dlg_SetItemHitProc(dlg, BrivioHit);
}

// ---- Add Image Preferences (1013) ---------------------------------------------------

constexpr int kColourStartItem = 4;
constexpr int kFilterStartItem = 5;
constexpr int kLoadCustomItem = 6;
constexpr int kCustomNameItem = 7;
constexpr int kShowAddItem = 8;
constexpr int kAddRestoreItem = 9;
constexpr int kAddNoteItem = 10;
constexpr int32_t kColourStartValues[] = {0, 1, 3, 2};  // Brivio, Previous, Custom, Reset
constexpr int32_t kFilterStartValues[] = {1, 3, 2};     // Previous, Custom, Reset
constexpr int32_t kStartCustom = 3;
constexpr int32_t kStartReset = 2;

struct AddImageState {
  int32_t colourStart = 0;
  int32_t filterStart = 0;
  uint8_t show = 0;
  TavelinPars custom{};
  std::string customPath, customName;
};

Status BuildAddImage(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Add Image Preferences"));
  auto* root = new QVBoxLayout(d);
  auto* note = Text(d, kAddNoteItem,
                    QStringLiteral("These settings will be applied to each image as it is added to the Batchline."));
  note->setWordWrap(true);
  root->addWidget(note);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Color Correction:"), d), 0, 0);
  grid->addWidget(Combo(d, kColourStartItem, {"Brivio", "Previous Settings", "Custom Settings", "Reset"}), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Sharpen/Noise:"), d), 1, 0);
  grid->addWidget(Combo(d, kFilterStartItem, {"Previous Settings", "Custom Settings", "Reset"}), 1, 1);
  grid->setColumnStretch(1, 1);
  root->addLayout(grid);
  auto* custom = new QHBoxLayout;
  custom->addWidget(Button(d, kLoadCustomItem, QStringLiteral("Load Custom Settings...")));
  auto* name = Text(d, kCustomNameItem, QString());
  name->setMinimumWidth(180);
  custom->addWidget(name, 1);
  root->addLayout(custom);
  root->addWidget(
      Check(d, kShowAddItem, QStringLiteral("Show these Preferences every time images are added to the Batchline")));
  root->addSpacing(6);
  root->addLayout(BottomRow(d, Button(d, kAddRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

void ShowAddImageValues(QWidget* dlg, const AddImageState& s) {
  Ui_Dlg_SelectListEntry(dlg, kColourStartItem, IndexOf(kColourStartValues, s.colourStart, 3));
  Ui_Dlg_SelectListEntry(dlg, kFilterStartItem, IndexOf(kFilterStartValues, s.filterStart, 2));
  Ui_Dlg_SetItemText(dlg, kCustomNameItem, s.customName);
  Ui_Dlg_CheckItem(dlg, kShowAddItem, s.show != 0);
}

// A start-with list choice: "Custom Settings" needs a loaded file, else the
// list returns to its previous choice.
template <size_t N>
void ChooseStart(QWidget* dlg, int item, const int32_t (&values)[N], int32_t* field, const AddImageState& s) {
  const int entry = Selection(dlg, item);
  const int32_t value = (entry >= 0 && entry < (int)N) ? values[entry] : kStartReset;
  if (value == kStartCustom && s.customPath.empty()) {
    Explain(kTextMustLoadCustom);
    Ui_Dlg_SelectListEntry(dlg, item, IndexOf(values, *field, (int)N - 1));
    return;
  }
  *field = value;
}

void LoadCustomSettings(QWidget* dlg, AddImageState& s) {
  UiFileRequest request;
  request.title = ResString(kTextLoadCustomTitle);
  const size_t slash = s.customPath.rfind('/');
  if (slash != std::string::npos) request.folder = s.customPath.substr(0, slash + 1);
  request.filters = {"All files (*)"};
  std::vector<std::string> paths;
  Status st = Ui_GetHost().ChooseOpenFiles(request, paths);
  if (st != kOk || paths.empty()) return;
  const std::string& path = paths.front();
  std::string stored;
  if (SetPrefsPath(stored, path) != kOk) return;  // refused with a message
  TavelinPars custom = s.custom;
  st = ReadCustomSettings(&custom, path);
  if (st != kOk) {
    if (st != kCancelled) ReportError(st, Phrase(3041, LeafName(path).c_str()));
    return;
  }
  s.custom = custom;
  s.customPath = stored;
  s.customName = LeafName(path);
  Ui_Dlg_SetItemText(dlg, kCustomNameItem, s.customName);
}

uint8_t AddImageHit(QWidget* dlg, int item) {
  auto* s = StateOf<AddImageState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
      s->show = IsChecked(dlg, kShowAddItem) ? 1 : 0;
      RequestClose(dlg);
      break;
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpAddImagePrefs); break;
    case kColourStartItem: ChooseStart(dlg, item, kColourStartValues, &s->colourStart, *s); break;
    case kFilterStartItem: ChooseStart(dlg, item, kFilterStartValues, &s->filterStart, *s); break;
    case kLoadCustomItem: LoadCustomSettings(dlg, *s); break;
    case kAddRestoreItem: {
      const Prefs& d = Defaults();
      *s = AddImageState{d.colourStartWith, d.filterStartWith, d.showAddPrefs, d.custom, d.customPath, d.customName};
      ShowAddImageValues(dlg, *s);
      break;
    }
    default: break;
  }
  return 1;
}

Status AddImageInit(QWidget* dlg) {
  ShowAddImageValues(dlg, *StateOf<AddImageState>(dlg));
  return Ui_Dlg_SetItemHitProc(dlg, AddImageHit);
}

// ---- Sync Preferences (1015) -----------------------------------------------------------

constexpr int kSyncColourItem = 4;
constexpr int kSyncFiltersItem = 5;
constexpr int kShowSyncItem = 6;
constexpr int kSyncRestoreItem = 7;

struct SyncState {
  uint8_t colour = 0, filters = 0, show = 0;
};

Status BuildSync(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Sync Preferences"));
  auto* root = new QVBoxLayout(d);
  root->addWidget(Check(d, kSyncColourItem, QStringLiteral("Synchronize Color Settings")));
  root->addWidget(Check(d, kSyncFiltersItem, QStringLiteral("Synchronize Sharpen / Remove Noise Settings")));
  root->addSpacing(6);
  root->addWidget(Check(d, kShowSyncItem, QStringLiteral("Show these Preferences with Every Sync")));
  root->addSpacing(6);
  root->addLayout(BottomRow(d, Button(d, kSyncRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

void ShowSyncValues(QWidget* dlg, const SyncState& s) {
  Ui_Dlg_CheckItem(dlg, kSyncColourItem, s.colour != 0);
  Ui_Dlg_CheckItem(dlg, kSyncFiltersItem, s.filters != 0);
  Ui_Dlg_CheckItem(dlg, kShowSyncItem, s.show != 0);
}

uint8_t SyncHit(QWidget* dlg, int item) {
  auto* s = StateOf<SyncState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
      s->colour = IsChecked(dlg, kSyncColourItem);
      s->filters = IsChecked(dlg, kSyncFiltersItem);
      s->show = IsChecked(dlg, kShowSyncItem);
      RequestClose(dlg);
      break;
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpSyncPrefs); break;
    case kSyncRestoreItem: {
      const Prefs& d = Defaults();
      *s = SyncState{d.syncColour, d.syncFilters, d.showSyncPrefs};
      ShowSyncValues(dlg, *s);
      break;
    }
    default: break;
  }
  return 1;
}

Status SyncInit(QWidget* dlg) {
  ShowSyncValues(dlg, *StateOf<SyncState>(dlg));
  return Ui_Dlg_SetItemHitProc(dlg, SyncHit);
}

// ---- User Interface Preferences (1012) -----------------------------------------------------

struct UiFlag {
  int item;
  const char* caption;
  uint8_t Prefs::*field;
};
const UiFlag kUiFlags[] = {
    {4, "Live Sliders", &Prefs::liveSliders},
    {5, "Sharpening", &Prefs::previewSharpening},
    {6, "Noise Removal", &Prefs::previewNoise},
    {9, "Start Up Guide", &Prefs::showStartUpGuide},
    {10, "Sampled Region", &Prefs::showSampledRegion},
    {11, "Neutrals/Sliders", &Prefs::showNeutralsSliders},
    {12, "Pixel Values", &Prefs::showPixelValues},
    {13, "Brightness/Contrast Curve Control", &Prefs::showCurveControl},
};
constexpr int kPreviewFlagCount = 3;  // the first three, under "Preview These"
constexpr int kStartTabItem = 16;
constexpr int kUiRestoreItem = 17;
constexpr int kStartTabLast = 4;  // list entry "Last Used Tool Tab": stored as 0

// The dialog's values, as fields of a Prefs record.
struct UserInterfaceState {
  Prefs values;
};

Status BuildUserInterface(QDialog* d) {
  d->setWindowTitle(QStringLiteral("User Interface Preferences"));
  auto* root = new QVBoxLayout(d);
  auto* columns = new QHBoxLayout;
  auto* preview = new QVBoxLayout;
  auto* show = new QVBoxLayout;
  for (int i = 0; i < (int)std::size(kUiFlags); ++i)
    (i < kPreviewFlagCount ? preview : show)->addWidget(Check(d, kUiFlags[i].item, QString::fromUtf8(kUiFlags[i].caption)));
  preview->addStretch(1);
  columns->addWidget(Group(d, "Preview These", preview));
  columns->addWidget(Group(d, "Show These", show));
  root->addLayout(columns);
  auto* start = new QHBoxLayout;
  start->addWidget(new QLabel(QStringLiteral("Always start at:"), d));
  start->addWidget(
      Combo(d, kStartTabItem, {"Tool Tab 1", "Tool Tab 2", "Tool Tab 3", "Tool Tab 4", "Last Used Tool Tab"}));
  start->addStretch(1);
  root->addLayout(start);
  root->addSpacing(6);
  root->addLayout(BottomRow(d, Button(d, kUiRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

// Preference 115 holds the tab + 1, 0 for the last used tab.
int StartTabEntry(int32_t stored) { return stored >= 1 && stored <= 4 ? stored - 1 : kStartTabLast; }
int32_t StartTabStored(int entry) { return entry >= 0 && entry < kStartTabLast ? entry + 1 : 0; }

void ShowUserInterfaceValues(QWidget* dlg, const Prefs& p) {
  for (const UiFlag& f : kUiFlags) Ui_Dlg_CheckItem(dlg, f.item, p.*(f.field) != 0);
  Ui_Dlg_SelectListEntry(dlg, kStartTabItem, StartTabEntry(p.startTab));
}

uint8_t UserInterfaceHit(QWidget* dlg, int item) {
  auto* s = StateOf<UserInterfaceState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
      for (const UiFlag& f : kUiFlags) s->values.*(f.field) = IsChecked(dlg, f.item) ? 1 : 0;
      s->values.startTab = StartTabStored(Selection(dlg, kStartTabItem));
      RequestClose(dlg);
      break;
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpUserInterfacePrefs); break;
    case kUiRestoreItem:
      s->values.interfaceFlag58 = Defaults().interfaceFlag58;
      ShowUserInterfaceValues(dlg, Defaults());
      break;
    default: break;
  }
  return 1;
}

Status UserInterfaceInit(QWidget* dlg) {
  ShowUserInterfaceValues(dlg, StateOf<UserInterfaceState>(dlg)->values);
  return Ui_Dlg_SetItemHitProc(dlg, UserInterfaceHit);
}

// ---- Color Management Preferences (1011) ------------------------------------------------------

constexpr int kMissingItem = 4;
constexpr int kEmbeddedItem = 5;
constexpr int kMissingProfileItem = 6;
constexpr int kEmbeddedProfileItem = 7;
constexpr int kWorkingSpaceItem = 8;
constexpr int kCmRestoreItem = 9;
constexpr int kGrayDefaultItem = 10;
constexpr int kGrayProfileItem = 11;
constexpr int kCmykDefaultItem = 12;
constexpr int kCmykProfileItem = 13;
constexpr int32_t kMissingValues[] = {kProfileAsk, kProfileAssign, kProfileConvert};
constexpr int32_t kEmbeddedValues[] = {kProfileAsk, kProfileEmbedded, kProfileAssign, kProfileConvert};

struct ColourManagementState {
  int32_t workingSpace = 0;
  int32_t missing = 0, embedded = 0;
  std::string missingPath, embeddedPath;
  std::string grayPath, cmykPath;  // gray and CMYK inputs without a profile; empty: the built-in defaults
};

Status BuildColourManagement(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Color Management Preferences"));
  auto* root = new QVBoxLayout(d);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Working Space:"), d), 0, 0);
  auto* spaces = Combo(d, kWorkingSpaceItem, {});
  for (int i = 0; i < kWorkingSpaceCount; ++i) spaces->addItem(Q(ResString(kWorkingSpaceNameId + i)));
  grid->addWidget(spaces, 0, 1, Qt::AlignLeft);
  grid->addWidget(new QLabel(QStringLiteral("Missing Profile:"), d), 1, 0);
  grid->addWidget(Combo(d, kMissingItem,
                        {"Ask when adding images to the Batchline", "Assign working space",
                         "Convert to working space with this profile..."}),
                  1, 1);
  grid->addWidget(Text(d, kMissingProfileItem, QString()), 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Embedded Profile:"), d), 3, 0);
  grid->addWidget(Combo(d, kEmbeddedItem,
                        {"Ask when adding images to the Batchline", "Use it to convert to working space",
                         "Discard it and assign working space",
                         "Discard it and convert to working space with this profile..."}),
                  3, 1);
  grid->addWidget(Text(d, kEmbeddedProfileItem, QString()), 4, 1);
  grid->addWidget(new QLabel(QStringLiteral("Gray Without Profile:"), d), 5, 0);
  grid->addWidget(Combo(d, kGrayDefaultItem, {"Built-in gray (sRGB tone curve)", "Convert with this gray profile..."}),
                  5, 1);
  grid->addWidget(Text(d, kGrayProfileItem, QString()), 6, 1);
  grid->addWidget(new QLabel(QStringLiteral("CMYK Without Profile:"), d), 7, 0);
  grid->addWidget(Combo(d, kCmykDefaultItem, {"Installed default CMYK profile", "Convert with this CMYK profile..."}),
                  7, 1);
  grid->addWidget(Text(d, kCmykProfileItem, QString()), 8, 1);
  grid->setColumnStretch(1, 1);
  root->addLayout(grid);
  root->addSpacing(6);
  root->addLayout(BottomRow(d, Button(d, kCmRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

void ShowColourManagementValues(QWidget* dlg, const ColourManagementState& s) {
  Ui_Dlg_SelectListEntry(dlg, kWorkingSpaceItem, s.workingSpace);
  Ui_Dlg_SelectListEntry(dlg, kMissingItem, IndexOf(kMissingValues, s.missing, 1));
  Ui_Dlg_SelectListEntry(dlg, kEmbeddedItem, IndexOf(kEmbeddedValues, s.embedded, 1));
  Ui_Dlg_SetItemText(dlg, kMissingProfileItem, s.missing == kProfileConvert ? LeafName(s.missingPath) : std::string());
  Ui_Dlg_SetItemText(dlg, kEmbeddedProfileItem,
                     s.embedded == kProfileConvert ? LeafName(s.embeddedPath) : std::string());
  Ui_Dlg_SelectListEntry(dlg, kGrayDefaultItem, s.grayPath.empty() ? 0 : 1);
  Ui_Dlg_SetItemText(dlg, kGrayProfileItem, LeafName(s.grayPath));
  Ui_Dlg_SelectListEntry(dlg, kCmykDefaultItem, s.cmykPath.empty() ? 0 : 1);
  Ui_Dlg_SetItemText(dlg, kCmykProfileItem, LeafName(s.cmykPath));
}

// The default profile of gray or CMYK inputs: the built-in one, or a chosen
// file (without one the list goes back to its previous choice).
void ChooseInputDefault(QWidget* dlg, int item, std::string* path, ColourManagementState& s) {
  if (Selection(dlg, item) == 0) {
    path->clear();
  } else {
    std::string chosen = *path;
    const Status st = Ui_ICC_ChooseProfile(chosen);
    if (st != kOk || SetPrefsPath(*path, chosen) != kOk) {
      if (st != kOk && st != kCancelled) Explain(6132);
    }
  }
  ShowColourManagementValues(dlg, s);
}

// A policy list choice: the conversion with a chosen profile asks for the
// profile; without one the list goes back to its previous choice.
template <size_t N>
void ChoosePolicy(QWidget* dlg, int item, const int32_t (&values)[N], int32_t* policy, std::string* path,
                  ColourManagementState& s) {
  const int entry = Selection(dlg, item);
  if (entry < 0 || entry >= (int)N) return;
  const int32_t value = values[entry];
  if (value == kProfileConvert) {
    std::string chosen = *path;
    const Status st = Ui_ICC_ChooseProfile(chosen);
    if (st != kOk || SetPrefsPath(*path, chosen) != kOk) {
      if (st != kOk && st != kCancelled) Explain(6132);
      ShowColourManagementValues(dlg, s);
      return;
    }
  }
  *policy = value;
  ShowColourManagementValues(dlg, s);
}

uint8_t ColourManagementHit(QWidget* dlg, int item) {
  auto* s = StateOf<ColourManagementState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpColourManagementPrefs); break;
    case kWorkingSpaceItem: s->workingSpace = Selection(dlg, kWorkingSpaceItem); break;
    case kMissingItem: ChoosePolicy(dlg, item, kMissingValues, &s->missing, &s->missingPath, *s); break;
    case kEmbeddedItem: ChoosePolicy(dlg, item, kEmbeddedValues, &s->embedded, &s->embeddedPath, *s); break;
    case kGrayDefaultItem: ChooseInputDefault(dlg, item, &s->grayPath, *s); break;
    case kCmykDefaultItem: ChooseInputDefault(dlg, item, &s->cmykPath, *s); break;
    case kCmRestoreItem: {
      const Prefs& d = Defaults();
      *s = ColourManagementState{d.workingSpace,  d.noProfileAction, d.embeddedAction,  d.noProfilePath,
                                 d.embeddedPath, d.grayProfilePath, d.cmykProfilePath};
      ShowColourManagementValues(dlg, *s);
      break;
    }
    default: break;
  }
  return 1;
}

Status ColourManagementInit(QWidget* dlg) {
  ShowColourManagementValues(dlg, *StateOf<ColourManagementState>(dlg));
  return Ui_Dlg_SetItemHitProc(dlg, ColourManagementHit);
}

// Before an operation a confirmed dialog writes the preferences file at once;
// a failed write is reported, and the dialog still counts as confirmed (its
// values are in the record and the operation goes on).
Status Confirmed(PrefsOpening opening) {
  if (opening == PrefsOpening::kBeforeOperation) SavePreferencesFile();
  return kOk;
}

// ---- the hub (1001) ---------------------------------------------------------------------

struct HubButton {
  int item;
  const char* caption;
  Status (*show)(QWidget* owner);
};
Status HubAddImage(QWidget* owner) { return ShowAddImagePrefs(owner); }
Status HubSaveImage(QWidget* owner) { return ShowSaveImagePrefs(owner); }
Status HubSync(QWidget* owner) { return ShowSyncPrefs(owner); }
const HubButton kHubButtons[] = {
    {4, "Brivio Preferences...", ShowBrivioPrefs},
    {5, "Add Image Preferences...", HubAddImage},
    {6, "Save Image Preferences...", HubSaveImage},
    {7, "Sync Preferences...", HubSync},
    {8, "User Interface Preferences...", ShowUserInterfacePrefs},
    {9, "Color Management Preferences...", ShowColorManagementPrefs},
};

Status BuildHub(QDialog* d) {
  d->setWindowTitle(Q(ResString(1000) + " Preferences"));
  auto* root = new QVBoxLayout(d);
  for (const HubButton& b : kHubButtons) {
    auto* button = Button(d, b.item, QString::fromUtf8(b.caption));
    button->setMinimumWidth(260);
    root->addWidget(button);
  }
  root->addSpacing(8);
  root->addLayout(BottomRow(d, nullptr, false));
  return kOk;
}

uint8_t HubHit(QWidget* dlg, int item) {
  switch (item) {
    case kOkItem:
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpPreferences); break;
    default:
      for (const HubButton& b : kHubButtons)
        if (b.item == item) b.show(dlg);
      break;
  }
  return 1;
}

Status HubInit(QWidget* dlg) { return Ui_Dlg_SetItemHitProc(dlg, HubHit); }

}  // namespace

// ---- public ---------------------------------------------------------------------------------

Status ShowBrivioPrefs(QWidget* owner) {
  Ui_Dlg_RegisterTemplate(kBrivioDialog, BuildBrivio);
  Prefs& prefs = AppPrefs();
  BrivioState s{prefs.brivioMask, prefs.brivioPrefsMask, prefs.brivioSaturation, prefs.brivioAnalysis};
  const Status st = RunModal(kBrivioDialog, owner, BrivioInit, &s);
  if (st != kOk) return st;
  prefs.brivioMask = s.setMask;
  prefs.brivioPrefsMask = s.memoryMask;
  prefs.brivioSaturation = s.saturation;
  prefs.brivioAnalysis = s.analysis;
  return kOk;
}

Status ShowAddImagePrefs(QWidget* owner, PrefsOpening opening) {
  Ui_Dlg_RegisterTemplate(kAddImageDialog, BuildAddImage);
  Prefs& prefs = AppPrefs();
  AddImageState s{prefs.colourStartWith, prefs.filterStartWith, prefs.showAddPrefs,
                  prefs.custom,          prefs.customPath,      prefs.customName};
  const Status st = RunModal(kAddImageDialog, owner, AddImageInit, &s);
  if (st != kOk) return st;
  prefs.colourStartWith = s.colourStart;
  prefs.filterStartWith = s.filterStart;
  prefs.showAddPrefs = s.show;
  prefs.custom = s.custom;
  prefs.customPath = s.customPath;
  prefs.customName = s.customName;
  return Confirmed(opening);
}

Status ShowSyncPrefs(QWidget* owner, PrefsOpening opening) {
  Ui_Dlg_RegisterTemplate(kSyncDialog, BuildSync);
  Prefs& prefs = AppPrefs();
  SyncState s{prefs.syncColour, prefs.syncFilters, prefs.showSyncPrefs};
  const Status st = RunModal(kSyncDialog, owner, SyncInit, &s);
  if (st != kOk) return st;
  prefs.syncColour = s.colour;
  prefs.syncFilters = s.filters;
  prefs.showSyncPrefs = s.show;
  return Confirmed(opening);
}

Status ShowUserInterfacePrefs(QWidget* owner) {
  Ui_Dlg_RegisterTemplate(kUserInterfaceDialog, BuildUserInterface);
  Prefs& prefs = AppPrefs();
  auto s = std::make_unique<UserInterfaceState>();
  s->values = prefs;
  const Status st = RunModal(kUserInterfaceDialog, owner, UserInterfaceInit, s.get());
  if (st != kOk) return st;
  for (const UiFlag& f : kUiFlags) prefs.*(f.field) = s->values.*(f.field);
  prefs.startTab = s->values.startTab;
  prefs.interfaceFlag58 = s->values.interfaceFlag58;
  return kOk;
}

Status ShowColorManagementPrefs(QWidget* owner) {
  Ui_Dlg_RegisterTemplate(kColourManagementDialog, BuildColourManagement);
  Prefs& prefs = AppPrefs();
  ColourManagementState s{prefs.workingSpace, prefs.noProfileAction, prefs.embeddedAction, prefs.noProfilePath,
                          prefs.embeddedPath,  prefs.grayProfilePath, prefs.cmykProfilePath};
  CheckWorkingSpaceIndex(s.workingSpace);
  const Status st = RunModal(kColourManagementDialog, owner, ColourManagementInit, &s);
  if (st != kOk) return st;
  prefs.workingSpace = s.workingSpace;
  prefs.noProfileAction = s.missing;
  prefs.embeddedAction = s.embedded;
  prefs.noProfilePath = s.missingPath;
  prefs.embeddedPath = s.embeddedPath;
  prefs.grayProfilePath = s.grayPath;
  prefs.cmykProfilePath = s.cmykPath;
  return kOk;
}
Status ShowPreferencesHub(QWidget* owner, PrefsHubOutcome* outcome) {
  Ui_Dlg_RegisterTemplate(kHubDialog, BuildHub);
  const Prefs& prefs = AppPrefs();
  const uint8_t pixelValues = prefs.showPixelValues;
  const int32_t workingSpace = prefs.workingSpace;
  const Status st = RunModal(kHubDialog, owner, HubInit, nullptr);
  if (st != kOk && st != kCancelled) return st;
  if (outcome) {
    outcome->pixelValuesChanged = prefs.showPixelValues != pixelValues;
    outcome->neutralsSlidersOff = prefs.showNeutralsSliders == 0;
    outcome->workingSpaceChanged = prefs.workingSpace != workingSpace;
  }
  return kOk;
}

Status FinishPreferencesHub(WorkingSpace& ws, WorkingSpaceChange change) {
  Prefs& prefs = AppPrefs();
  Status first = kOk;
  if (prefs.workingSpace != ws.index) {
    change.startWith = prefs.colourStartWith;
    if (!change.resetPreviousSettings) {
      change.resetPreviousSettings = [&ws, &prefs] {
        InitTavelinPars(&prefs.previous);
        SetRefRGB(&prefs.previous, &ws.refRGB);
      };
    }
    const Status st = ChangeWorkingSpace(ws, prefs.workingSpace, change);
    if (st == kCancelled) prefs.workingSpace = ws.index;  // "Undo Working Space Change"
    else if (st != kOk) first = st;
  }
  const Status written = SavePreferencesFile();
  return first != kOk ? first : written;
}

Status SavePreferencesFile() {
  UiState* state = AppState();
  std::string path;
  Status st = PrefsFilePath(state, path);
  if (st == kOk) st = WritePreferences(state, path);
  if (st != kOk) return ReportError(st, Phrase(3011, path.c_str()));
  return kOk;
}
