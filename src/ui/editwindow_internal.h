// Inside the editing window (editwindow*.cpp): the window's record, its item
// ids and the steps its files share. Not for other modules.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/status.h"
#include "ui/editor.h"

class QAction;
class QMenu;
class QPainter;
class QWidget;
struct EditContext;

namespace editwin {

// Controls of the main window (dialog 1000).
enum Item : int {
  kApply = 1,
  kCancel = 2,
  kView = 4,
  kPreview = 5,
  kExpand = 6,
  kReadouts = 7,
  kPrefs = 8,
  kUndo = 9,
  kBrivio = 10,
  kPrev = 11,
  kCustom = 12,
  kReset = 13,
  kSaveCustom = 14,
  kBrivioMode = 15,
  kLinear = 16,
  kTabs = 17,
  kWedge = 18,
  kReadoutModel = 19,
  kNeutralText = 21,
  kBalanceReadout = 22,  // 22..24
  kBalanceSlider = 25,   // 25..27
  kBalanceCaption = 28,  // 28..30: the slider ends' letters
  kPreviewBox = 31,      // the frame holding Preview and the readouts
  kNeutralPrefs = 34,
  kMethod = 35,
  kHistogram = 36,
  kHandles = 37,
  kLevelsNote = 38,
  kLevelsValues = 39,
  kToneSlider = 40,      // 40, 43, 46, 49, 52 (readout + 2, caption + 1)
  kCurve = 55,
  kCurveCaption = 56,
  kHueRing = 57,
  kHueHandleText = 58,
  kHueCaption = 60,      // 60, 63
  kHueReadout = 61,      // 61, 64
  kHueSlider = 62,       // 62, 65
  kMemory = 66,          // 66..71
  kBW = 72,
  kSepia = 73,
  kToning = 74,
  kSwatch = 75,
  kPanelBrivio = 78,
  kPanelPrev = 79,
  kPanelCustom = 80,
  kPanelReset = 81,
  kPanelTitle = 82,
  kMasterBox = 83,
  kPanel = 84,
  kSharpen = 85,
  kNoise = 86,
  kSetup = 87,
  kStrip = 89,
  kSave = 90,
  kSync = 91,
  kAdd = 92,
  kRemove = 93,
  kCompare = 94,       // Off / Split / Side by Side
  kRgbHistogram = 95,  // the levels panel's RGB histogram
};

// The tool tabs' names (the tab strip and the Window menu).
inline constexpr const char* kToolTabNames[4] = {"Color Balance", "Black/White Point", "Brightness/Contrast",
                                                 "Hue Selective"};

inline int ToneSliderItem(int slider) { return kToneSlider + 3 * slider; }
inline int ToneReadoutItem(int slider) { return kToneSlider + 3 * slider + 2; }
inline int ToneCaptionItem(int slider) { return kToneSlider + 3 * slider + 1; }

// Menu commands (not controls; they reach the window's command procedure).
enum Command : int {
  kCmdAdd = 1100,
  kCmdSaveImages,
  kCmdSaveAs,
  kCmdRemove,
  kCmdResume,
  kCmdSaveJob,
  kCmdExit,
  kCmdUndo,
  kCmdPrefs,
  kCmdSelectAll,
  kCmdRedEye,
  kCmdZoomIn,
  kCmdZoomOut,
  kCmdZoomFit,
  kCmdTab1,  // .. kCmdTab1 + 3
  kCmdHelpTool = kCmdTab1 + 4,
  kCmdHelpOverview,
  kCmdHelpGuide,
  kCmdAbout,
  kCmdZoom100,
  kCmdZoom200,
  kCmdCompareOff,  // .. kCmdCompareOff + 2, by CompareMode
  kCmdCompareSplit,
  kCmdCompareSideBySide,
  kCmdRecentFirst = 1200,  // .. + kRecentFilesMax - 1: File > Open Recent
  kCmdRecentClear = 1220,
};

// What a drag in a user item is doing.
enum class Drag { kNone, kPan, kSample, kClick, kLevels, kHue, kNavigate, kDivider };

struct Window {
  EditContext* ctx = nullptr;
  std::unique_ptr<Editor> editor;
  QPointer<QWidget> dlg;

  // Menu actions whose labels or states follow the Batchline.
  std::map<int, QPointer<QAction>> actions;
  QPointer<QMenu> helpMenu;
  QPointer<QMenu> recentMenu;

  // The image view.
  QImage screen;  // wraps the context's drawing map (image0's size)
  Drag drag = Drag::kNone;
  int dragIndex = -1;    // sample point, levels handle or hue entry
  int dragKnob = 0;      // hue knob
  int lastX = 0, lastY = 0;  // view pixels at the last tracking step
  bool redEyeMode = false;
  int64_t regionUntilMs = 0;  // the sampled region is shown until then

  // The levels histogram of the open image (refreshed after balance edits),
  // and its R, G and B histograms.
  uint32_t histogram[256] = {};
  uint32_t channelHistograms[3][256] = {};
  bool haveHistogram = false;

  // Thumbnails of the Batchline list by record offset.
  std::map<uint32_t, QImage> thumbnails;

  bool refreshing = false;
  double dpr = 0;  // the view's device pixels per pixel when the display images were made
};

// The record of a main window (null for another dialog).
Window* Of(QWidget* dlg);

// editwindow_layout.cpp: the template (controls, layout, menus).
Status BuildTemplate(QDialog* dialog);

// editwindow.cpp: File > Open Recent from the preferences' list.
void FillRecentMenu(QWidget* dlg);
// editwindow.cpp: refreshing the controls from the editor and the Batchline.
void RefreshControls(Window* w);
void RefreshBatchline(Window* w);
void RefreshView(Window* w);
void Command(QWidget* dlg, int command);
// The display images for the view's present size in device pixels (at the
// start, after a resize, on another screen's resolution).
Status SizeImagesToView(Window* w);

// editwindow_view.cpp: user items.
void DrawUserItem(QWidget* dlg, int item, QPainter& painter);
uint8_t TrackUserItem(QWidget* dlg, int item, int phase);
uint8_t ChooseCursor(QWidget* dlg);
void UpdateHistogram(Window* w);
// The screen colour of a working-space colour (through the monitor transform).
QColor ScreenColour(const Window* w, const float rgb[3]);

// batchstrip.cpp: the Batchline list's owner-drawn entries.
void MeasureStripEntry(QWidget* dlg, int item, int entry, QSize& size);
void DrawStripEntry(QWidget* dlg, int item, int entry, QPainter& painter, const QRect& rect, uint8_t selected);
void ForgetThumbnails(Window* w);

// The Batchline's operations start here: runs one, then brings the view in
// line with what the context now holds (an image loaded, closed or kept).
Status RunBatchOp(Window* w, Status (*op)(EditContext*));
void AfterBatchOp(Window* w);

}  // namespace editwin
