// Editor: what the editing window does to the open image, without the
// widgets. Every user action on the image or in a tool panel comes here as
// one call that edits the live correction record of the editing context
// (EditContext::pars) through the correction engine, in this order:
//   1. the Undo snapshot (a copy of the whole record, the active tab, the
//      balance method and the three balance slider values);
//   2. the edit itself (MarkNeutral, MarkHueColour, a slider, a panel or
//      master button, a check box of the record ...);
//   3. with "Brivio Mode" on, Brivio for the tools after the edited one
//      (BrivioMask of the occasion);
//   4. both preview transforms rebuilt with the masks of the active tab and
//      panel state (GetPreviewMasks), and the screen map redrawn (Render).
// A failing edit is reported with its status's alert and puts the record
// back as it was; a failing preview build is reported ("creating Tintmesh")
// and leaves the previous picture in the map.
//
// The editor also keeps the view state of the window: the active tab 0..3,
// small or expanded panel, Preview (after) or before, the two sample points
// and the readout model, the active hue handle (in the BrivioContext, with
// the pending placement of the hue handles), the balance method and slider
// values, the zoom and pan (ViewGeometry), the clipping display, the
// red-eye request and the sampled-region overlay, and the comparison (one
// picture, a split with a divider the user drags, or side by side).
//
// Pictures: at fit the context's drawing map (SetUpImages) holds the picture
// shown (after or before by Preview; in a comparison the after view, with
// the before view in the editor's own fit map). Zoomed, the pane's part of
// the full-resolution image (fullres.h, decoded as the pan needs it) goes
// through the same transforms into the editor's zoom maps, at one map pixel
// per file pixel; with Sharpen or Remove Noise previewed the after view runs
// through the save stage's engines there, as saving will.
//
// Ownership: the editor belongs to the window and points at the window's
// EditContext (which outlives it). It owns the "before" preview transform
// (the context owns the "after" one, previewQX), the full-resolution image
// and the maps named above. No Qt here: the window turns the maps into
// images and the user's gestures into these calls.
#pragma once

#include <cstdint>
#include <string>

#include "correct/brivio.h"
#include "base/pixelview.h"
#include "correct/tavelinpars.h"
#include "filters/redeye.h"
#include "base/status.h"
#include "transform/tintmesh.h"
#include "ui/fullres.h"
#include "ui/readouts.h"
#include "ui/viewgeometry.h"
#include "ui/viewrender.h"

struct EditContext;

constexpr int kToolTabs = 4;
constexpr int kSamplePoints = 2;

enum BalanceMethod : int { kBalanceNeutrals = 0, kBalanceSliders = 1 };
// The five sliders of the brightness/contrast panel, in panel order.
enum ToneSlider : int { kToneBrightness = 0, kToneShadows, kToneHighlights, kToneContrast, kToneSaturation };
// The two sliders of the active hue handle.
enum HueSlider : int { kHueBrightness = 0, kHueSaturation = 1 };

struct SamplePoint {
  bool set = false;
  int32_t x = 0, y = 0;  // display-image pixels
};

struct UndoSnapshot {
  bool valid = false;
  TavelinPars pars{};
  int tab = 0;
  int balanceMethod = kBalanceNeutrals;
  float balanceSliders[3] = {0.5f, 0.5f, 0.5f};
};

// What a click in the image did, for the window's message and cursor.
enum class ClickResult { kNothing, kEdited, kTooNeutral };

// How the view compares before and after: one picture (Preview chooses
// which), a vertical divider (before left of it, after right), or two panes
// side by side (before left, after right), all following zoom and pan.
enum CompareMode : int { kCompareOff = 0, kCompareSplit = 1, kCompareSideBySide = 2 };
constexpr int32_t kSideBySideGap = 4;  // device pixels between the two panes

// A rendered picture: 8-bit RGB rows (3 bytes a pixel) on the monitor. Fit
// maps cover the display image (origin 0, 0); zoom maps a region of the
// file, from file pixel (x0, y0).
struct ViewMap {
  const uint8_t* pixels = nullptr;
  int32_t rowBytes = 0;
  int32_t x0 = 0, y0 = 0, width = 0, height = 0;
};

class Editor {
 public:
  explicit Editor(EditContext* ctx);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  EditContext* Context() const { return ctx_; }
  bool ImageOpen() const;
  TavelinPars& Pars();

  // ---- the image ---------------------------------------------------------------
  // After the context loaded an entry: view state reset (sample points,
  // active handle, zoom, red-eye), the tab of "Always start at", the
  // balance method from the record, the first snapshot, previews rebuilt.
  Status ImageLoaded();
  // The context closed its image: transforms freed, view state cleared.
  void ImageClosed();
  // The view's size changed (after SetUpImages and a new display image).
  void ViewResized(int32_t viewWidth, int32_t viewHeight);

  // ---- view state ----------------------------------------------------------------
  int Tab() const { return tab_; }
  bool Expanded() const { return expanded_; }
  bool Preview() const { return preview_; }
  int BalanceMethodNow() const { return balanceMethod_; }
  float BalanceSlider(int i) const { return balanceSliders_[i]; }
  bool BrivioMode() const { return brivioMode_; }
  void SetBrivioMode(bool on) { brivioMode_ = on; }
  int ActiveHandleIndex() const;  // 0..5
  int ActiveHandleId() const { return brivio_.activeHandle; }
  bool ActiveHandleMarked() const { return brivio_.activeHandleMarked; }
  bool HuePlacementPending() const { return brivio_.huePlacementPending; }
  const CastSwatch* CastWedgeSwatches() const { return brivio_.castWedge; }
  bool CanUndo() const { return undo_.valid; }
  ViewGeometry& Geometry() { return geometry_; }
  const ViewGeometry& Geometry() const { return geometry_; }
  const SamplePoint& Sample(int i) const { return samples_[i]; }
  int ReadoutModelNow() const { return readoutModel_; }
  void SetReadoutModel(int model);
  int Clip() const { return clip_; }
  const RedEyeRequest& RedEye() const { return redEye_; }
  // Shows the marked region (the last MarkNeutral, MarkHueColour or
  // brightness analysis) over the image until HideRegion.
  bool RegionShown() const { return regionShown_; }
  void HideRegion() { regionShown_ = false; }

  // ---- drawing ---------------------------------------------------------------------
  // Both preview transforms from the record with the current masks.
  Status RebuildPreviews();
  // The screen map (the context's drawing map) from the display image; a
  // preview build that failed leaves the last picture. Also draws the
  // sampled-region overlay in blue when shown.
  Status Render();
  // The display image as the tools read it.
  RasterView ImageView() const;
  // The picture of the after (or before) view as last rendered: the fit map
  // or, zoomed, the zoom map. Empty when none was rendered.
  ViewMap Picture(bool before) const;
  // Drops the full-resolution image (the input transform changed).
  void ForgetFullResolution() { full_.Clear(); }
  const FullResImage& FullResolution() const { return full_; }

  // ---- comparison ------------------------------------------------------------------
  int Compare() const { return compare_; }
  // Sets the comparison; side by side halves the geometry's pane.
  Status SetCompare(int mode);
  // The divider of the split, a fraction 0..1 of the view's width.
  double SplitPosition() const { return split_; }
  Status SetSplitPosition(double fraction);
  // The view's size, device pixels (the panes are parts of it).
  int32_t ViewWidth() const { return viewWidth_; }
  int32_t ViewHeight() const { return viewHeight_; }

  // ---- edits (each takes the Undo snapshot first) --------------------------------
  // A plain click at display pixel (x, y): by tab, a neutral mark (Neutrals
  // method), a black/gray/white point from the brightness there, a hue mark.
  Status ClickImage(int32_t x, int32_t y, ClickResult* result);
  // The brightness 0..1 the black/white point panel measures at a pixel (the
  // Rec. 601 luma after the linear step and the colour balance), and the
  // point a click there would set (LevelsHandle), for the cursor.
  Status BrightnessAt(int32_t x, int32_t y, double* v, int* point);

  Status SetToneSlider(int slider, float value);
  Status SetBalanceSlider(int slider, float value);
  Status SetBalanceMethod(int method);
  Status SetHueSlider(int slider, float value);
  // A drag of a levels handle to x (0..1); `first` takes the snapshot (the
  // start of the drag); Brivio Mode reruns at the end (`last`).
  Status DragLevelsHandle(int handle, double x, bool first, bool last);
  // Makes an entry (index 0..5) the active handle (a click on it).
  void ChooseHandle(int index);
  // A drag of a hue knob; `first` takes the snapshot.
  Status DragHueKnob(int index, int knob, double hue, bool first);

  // Panel buttons act on the groups of the active tab, master buttons on all.
  Status Reset(bool panel);
  Status RunBrivioButton(bool panel);
  // "Prev" (previous settings) and "Custom" (custom settings) of the preferences.
  Status ApplyStored(bool custom, bool panel);
  Status SetLinear(bool on);
  Status SetSharpen(bool on);
  Status SetNoise(bool on);
  // Sharpen and noise settings from the "Setup..." window (one edit).
  Status SetFilterSettings(const TavelinPars& from);
  // Memory colour of slot 0..5 on the active handle; nothing unless colours
  // were marked for it.
  Status ApplyMemoryColourSlot(int slot);
  // 'B/W' (grayscale definition) and 'Sepia' (sepia definition).
  Status ApplyToning(bool sepia);
  // The toning colour (a non-neutral colour from the definition window) or
  // none (0.5, 0.5, 0.5).
  Status SetToneColour(const float rgb[3]);
  bool ToningOn() const;
  Status Undo();

  // Takes the snapshot for an edit made elsewhere (the definition windows);
  // Changed rebuilds after it.
  void TakeSnapshot();
  // While held (a slider drag that took its snapshot at the press), the
  // edits take none of their own.
  void HoldSnapshot(bool hold) { snapshotHeld_ = hold; }
  // After an edit made elsewhere: Brivio Mode for `occasion` (when given),
  // then the previews.
  Status Changed(bool balanceEdit);

  // ---- view changes (no snapshot) ---------------------------------------------------
  // Shows another tab: previews rebuilt with its masks; the hue tab places
  // pending handles.
  Status SetTab(int tab);
  Status SetExpanded(bool expanded);
  Status SetPreview(bool preview);
  Status SetClip(int clip);
  Status SetRedEye(int32_t x, int32_t y, int32_t radius);
  void ClearRedEye() { redEye_ = RedEyeRequest{}; }
  // Sample points: -1 when both are taken (Only two ...), else the index.
  int AddSample(int32_t x, int32_t y);
  // The sample point near display pixel (x, y) within `reach` pixels, or -1.
  int SampleAt(int32_t x, int32_t y, int32_t reach) const;
  void MoveSample(int i, int32_t x, int32_t y);
  void RemoveSample(int i);
  // The readout of sample point i: before and after the edits.
  Status Readout(int i, std::string* before, std::string* after);

 private:
  void Snapshot() {
    if (!snapshotHeld_) TakeSnapshot();
  }
  Status FinishEdit(const TavelinPars& before, Status st, BrivioOccasion occasion, bool brivio);
  Status RunBrivioMask(ToolMask mask);
  Status BrivioFor(BrivioOccasion occasion);
  void ResetPanelState(ToolMask mask);
  void SyncBrivioSettings();
  bool FilterPreviewOn() const;
  void PlacePanes();
  Status RenderFit();
  Status RenderZoomed();
  void ShowRegion(uint8_t* map, int32_t rowBytes, int32_t x0, int32_t y0, int32_t width, int32_t height, bool zoomed);

  // A map the editor renders into, grown as needed.
  struct OwnMap {
    MemPtr<uint8_t[]> pixels;
    size_t capacity = 0;
    int32_t rowBytes = 0, x0 = 0, y0 = 0, width = 0, height = 0;
    bool valid = false;
    Status Prepare(int32_t x0, int32_t y0, int32_t width, int32_t height);
    ViewMap View() const;
  };

  EditContext* ctx_;
  BrivioContext brivio_;
  TintmeshHandle* beforeQX_ = nullptr;
  int beforeMask_ = -1, beforeDepth_ = 0, beforeGrid_ = -1;  // what beforeQX_ was built for
  bool previewsValid_ = false;
  int tab_ = 0;
  bool expanded_ = false;
  bool preview_ = true;
  bool brivioMode_ = true;
  int balanceMethod_ = kBalanceNeutrals;
  float balanceSliders_[3] = {0.5f, 0.5f, 0.5f};
  bool handleChosen_ = false;  // the user picked the active handle (a mark goes to it)
  SamplePoint samples_[kSamplePoints];
  int readoutModel_ = kReadoutRGB;
  UndoSnapshot undo_;
  ViewGeometry geometry_;
  int clip_ = kClipNone;
  RedEyeRequest redEye_;
  bool regionShown_ = false;
  bool snapshotHeld_ = false;
  int compare_ = kCompareOff;
  double split_ = 0.5;
  int32_t viewWidth_ = 0, viewHeight_ = 0;
  FullResImage full_;
  bool fitShowsBefore_ = false;  // the drawing map holds the before view
  OwnMap fitBefore_;             // the before view at fit, in a comparison
  OwnMap zoomAfter_, zoomBefore_;
};

// The masks of the window's edits that Brivio Mode follows, for the tests
// and the window: the occasion of a tone slider.
BrivioOccasion ToneSliderOccasion(int slider);
// Tool groups of a panel's Reset (tab 0..3): 0x0002, 0x001C, 0x03E0, 0xFC00.
ToolMask PanelToolMask(int tab);
