#include "ui/editor.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct/marking.h"
#include "correct/hueselective.h"
#include "correct/memorycolours.h"
#include "prefs/prefs.h"
#include "transform/tintmesh_eval.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/strings.h"
#include "filters/filterstage.h"
#include "ui/huering.h"
#include "ui/levelscontrol.h"

namespace {

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// The colour of display pixel (x, y), channels 0..1.
void PixelColour(const PixelBuffer& image, int32_t x, int32_t y, float rgb[3]) {
  for (int c = 0; c < 3; ++c) {
    if (image.bytesPerSample == 1)
      rgb[c] = image.Row<uint8_t>(c, y)[(int64_t)x * image.pixelStep] / 255.0f;
    else
      rgb[c] = image.Row<uint16_t>(c, y)[(int64_t)x * image.pixelStep] / 65535.0f;
  }
}

// The filter settings of the record as the view previews them (the User
// Interface preferences choose which filters are previewed).
FilterSettings PreviewedFilters(const TavelinPars& pars) {
  FilterSettings f = FilterSettingsOf(pars);
  f.sharpenOn = f.sharpenOn && AppPrefs().previewSharpening;
  f.noiseOn = f.noiseOn && AppPrefs().previewNoise;
  return f;
}

// Every hue entry where a reset puts it: Before hues 0, 60, ..., 300, no
// shift, brightness and saturation 0.5, no samples.
bool HueHandlesAtReset(const TavelinPars& p) {
  for (int h = 0; h < kHueEntries; ++h) {
    const HueEntry& e = p.hue[h];
    if (e.baseHue != h * 60.0f || e.hueShift != 0.0f || e.brightness != 0.5f || e.saturation != 0.5f) return false;
    for (const SampleBin& b : e.hueBin)
      if (b.count != 0) return false;
  }
  return true;
}

}  // namespace

BrivioOccasion ToneSliderOccasion(int slider) {
  switch (slider) {
    case kToneBrightness: return BrivioOccasion::kModeBrightness;
    case kToneShadows: return BrivioOccasion::kModeShadow;
    case kToneHighlights: return BrivioOccasion::kModeHighlight;
    case kToneContrast: return BrivioOccasion::kModeContrast;
    default: return BrivioOccasion::kModeSaturation;
  }
}

ToolMask PanelToolMask(int tab) {
  switch (tab) {
    case 0: return TOOL_BALANCE;
    case 1: return TOOL_POINTS;
    case 2: return 0x03E0;
    default: return TOOL_HUE_ALL;
  }
}

Editor::Editor(EditContext* ctx) : ctx_(ctx) {
  brivio_.pars = &ctx_->pars;
  brivioMode_ = AppPrefs().brivioMode != 0;
  SyncBrivioSettings();
}

Editor::~Editor() { FreeCorrectionTransform(&beforeQX_); }

bool Editor::ImageOpen() const { return ctx_->imageOpen; }

TavelinPars& Editor::Pars() { return ctx_->pars; }

void Editor::SyncBrivioSettings() {
  const Prefs& prefs = AppPrefs();
  brivio_.pars = &ctx_->pars;
  brivio_.settings.analysis = (BrivioAnalysis)prefs.brivioAnalysis;
  brivio_.settings.setMask = (ToolMask)prefs.brivioMask;
  brivio_.settings.preferredSaturation = prefs.brivioSaturation;
  brivio_.settings.analysisIndex = PrefsGridIndex(AppPrefs());
  brivio_.settings.gridIndex = PrefsGridIndex(AppPrefs());
  brivio_.hueTabActive = tab_ == 3;
  brivio_.regionMask = &ctx_->selectionMask;
}

RasterView Editor::ImageView() const {
  RasterView v = ctx_->image0;
  v.channels = 3;
  return v;
}

int Editor::ActiveHandleIndex() const {
  int index = 0;
  if (HandleIdToIndex(&ctx_->pars, brivio_.activeHandle, &index) != kOk) index = 0;
  return index;
}

void Editor::SetReadoutModel(int model) {
  if (model >= 0 && model < kReadoutModels) readoutModel_ = model;
}

// ---- the image -----------------------------------------------------------------------

Status Editor::ImageLoaded() {
  if (!ImageOpen()) return kBadArg;
  for (SamplePoint& s : samples_) s = SamplePoint{};
  brivio_.activeHandle = ctx_->pars.hue[0].handleId;
  brivio_.activeHandleMarked = false;
  // An image that Brivio started (the Add Image preference) got its hue
  // handles left for the hue panel, as Brivio leaves them while another
  // panel is shown: they are placed when the hue panel is next shown.
  brivio_.huePlacementPending = AppPrefs().colourStartWith == 0 && HueHandlesAtReset(ctx_->pars);
  handleChosen_ = false;
  balanceMethod_ = kBalanceNeutrals;
  for (float& v : balanceSliders_) v = 0.5f;
  clip_ = kClipNone;
  redEye_ = RedEyeRequest{};
  regionShown_ = false;
  const Prefs& prefs = AppPrefs();
  // "Always start at": the stored tab + 1, or 0 for the last used tab.
  int tab = prefs.startTab >= 1 && prefs.startTab <= kToolTabs ? prefs.startTab - 1 : prefs.toolTab;
  tab_ = std::clamp(tab, 0, kToolTabs - 1);
  viewWidth_ = ctx_->viewWidth;
  viewHeight_ = ctx_->viewHeight;
  int32_t fileW = 0, fileH = 0;
  UprightFileSize(ctx_, &fileW, &fileH);
  geometry_.Reset(ctx_->viewWidth, ctx_->viewHeight, ctx_->image0.width, ctx_->image0.height, fileW, fileH);
  PlacePanes();
  full_.Clear();
  SyncBrivioSettings();
  if (tab_ == 3 && brivio_.huePlacementPending) {
    const RasterView view = ImageView();
    PlacePendingHueHandles(&brivio_, &view);  // reported there
  }
  TakeSnapshot();
  Status st = RebuildPreviews();
  Render();
  return st;
}

void Editor::ImageClosed() {
  FreeCorrectionTransform(&beforeQX_);
  beforeMask_ = -1;
  previewsValid_ = false;
  undo_.valid = false;
  for (SamplePoint& s : samples_) s = SamplePoint{};
  redEye_ = RedEyeRequest{};
  regionShown_ = false;
  clip_ = kClipNone;
  full_.Clear();
  fitBefore_.valid = zoomAfter_.valid = zoomBefore_.valid = false;
  viewWidth_ = ctx_->viewWidth;
  viewHeight_ = ctx_->viewHeight;
  geometry_.Reset(ctx_->viewWidth, ctx_->viewHeight, 0, 0);
  PlacePanes();
}

void Editor::ViewResized(int32_t viewWidth, int32_t viewHeight) {
  viewWidth_ = viewWidth;
  viewHeight_ = viewHeight;
  const bool open = ImageOpen();
  int32_t fileW = 0, fileH = 0;
  if (open) UprightFileSize(ctx_, &fileW, &fileH);
  geometry_.Reset(viewWidth, viewHeight, open ? ctx_->image0.width : 0, open ? ctx_->image0.height : 0, fileW, fileH);
  PlacePanes();
  for (SamplePoint& s : samples_) s = SamplePoint{};  // display pixels changed meaning
  redEye_ = RedEyeRequest{};
  regionShown_ = false;
}

// ---- drawing ----------------------------------------------------------------------------

Status Editor::RebuildPreviews() {
  previewsValid_ = false;
  if (!ImageOpen() || PixelBufferCheck(ctx_->image0) != kOk) return kBadArg;
  PreviewMaskPair masks;
  Status st = GetPreviewMasks(tab_ + 1, expanded_, &masks);
  if (st != kOk) return st;
  const int32_t depth = ctx_->image0.bytesPerSample;
  ctx_->previewMask = masks.after;
  if ((st = MakePreviewTransform(ctx_, masks.after, depth, 1)) != kOk) return st;  // reported
  // The uncorrected view (mask 0) does not depend on the record: kept while
  // the depth and the grid stay.
  const bool keep = beforeQX_ && masks.before == 0 && beforeMask_ == 0 && beforeDepth_ == depth &&
                    beforeGrid_ == PrefsGridIndex(AppPrefs());
  if (!keep) {
    FreeCorrectionTransform(&beforeQX_);
    beforeMask_ = -1;
    st = MakeCorrectionTransform(&ctx_->pars, masks.before, PrefsGridIndex(AppPrefs()), depth, &beforeQX_);
    if (st == kOk && depth != 1) st = QXHandleSetDataPath(beforeQX_, kQXOutputSide, kQX8Bit);
    if (st != kOk) {
      FreeCorrectionTransform(&beforeQX_);
      return ReportError(st, ResString(3019));
    }
    beforeMask_ = masks.before;
    beforeDepth_ = depth;
    beforeGrid_ = PrefsGridIndex(AppPrefs());
  }
  if (tab_ == 0) CastWedge(&ctx_->pars, brivio_.castWedge);
  previewsValid_ = true;
  return kOk;
}

bool Editor::FilterPreviewOn() const {
  const Prefs& prefs = AppPrefs();
  const TavelinPars& p = ctx_->pars;
  const bool sharpen = prefs.previewSharpening && p.sharpenOn && p.sharpenStrength >= 1;
  const bool noise = prefs.previewNoise && p.denoiseOn;
  if (!sharpen && !noise) return false;
  // The after view of all tools, no clipping display, and the file's own
  // pixels: zoomed in, or the whole image unscaled.
  return !expanded_ && clip_ == kClipNone && (geometry_.Zoomed() || !ctx_->scaled);
}

void Editor::PlacePanes() {
  if (compare_ == kCompareSideBySide)
    geometry_.SetPane(std::max<int32_t>(1, (viewWidth_ - kSideBySideGap) / 2), viewHeight_);
  else
    geometry_.SetPane(viewWidth_, viewHeight_);
}

Status Editor::SetCompare(int mode) {
  if (mode < kCompareOff || mode > kCompareSideBySide) return kBadArg;
  compare_ = mode;
  PlacePanes();
  return Render();
}

Status Editor::SetSplitPosition(double fraction) {
  if (!std::isfinite(fraction)) return kBadArg;
  split_ = std::clamp(fraction, 0.0, 1.0);
  return kOk;
}

Status Editor::OwnMap::Prepare(int32_t left, int32_t top, int32_t w, int32_t h) {
  valid = false;
  if (w < 1 || h < 1) return kBadArg;
  const int32_t bytes = (w * 3 + 3) & ~3;
  const size_t need = (size_t)bytes * h;
  if (need > capacity) {
    pixels = MemNewArray<uint8_t>(need, false);
    capacity = pixels ? need : 0;
    if (!pixels) return kNoMem;
  }
  rowBytes = bytes;
  x0 = left;
  y0 = top;
  width = w;
  height = h;
  return kOk;
}

ViewMap Editor::OwnMap::View() const {
  ViewMap v;
  if (!valid) return v;
  v.pixels = pixels.get();
  v.rowBytes = rowBytes;
  v.x0 = x0;
  v.y0 = y0;
  v.width = width;
  v.height = height;
  return v;
}

ViewMap Editor::Picture(bool before) const {
  if (!ImageOpen()) return ViewMap{};
  if (geometry_.Zoomed()) {
    // One picture: the after map holds whichever Preview shows.
    if (compare_ == kCompareOff) return zoomAfter_.View();
    return (before ? zoomBefore_ : zoomAfter_).View();
  }
  if (compare_ != kCompareOff && before) return fitBefore_.View();
  if (!ctx_->drawMap) return ViewMap{};
  ViewMap v;
  v.pixels = ctx_->drawMap.get();
  v.rowBytes = ctx_->drawRowBytes;
  v.width = ctx_->image0.width;
  v.height = ctx_->image0.height;
  return v;
}

Status Editor::Render() {
  if (!ImageOpen() || !previewsValid_ || !ctx_->drawMap) return kOk;  // the last picture stays
  if (geometry_.Zoomed()) {
    const Status st = RenderZoomed();
    if (st == kOk) return kOk;
    // The file's pixels could not be had (reported): back to the fit.
    geometry_.SetZoom(kZoomFit, 0, 0);
    ctx_->zoom = 1;
  }
  return RenderFit();
}

// The sampled region in blue over a map (display pixels; zoomed, each map
// pixel takes the display pixel its file pixel stands for).
void Editor::ShowRegion(uint8_t* map, int32_t rowBytes, int32_t x0, int32_t y0, int32_t width, int32_t height,
                        bool zoomed) {
  const RegionMask& mask = ctx_->selectionMask;
  const PixelBuffer& im = ctx_->image0;
  if (!regionShown_ || !mask.bits || mask.width != im.width || mask.height != im.height || mask.minX > mask.maxX) return;
  std::vector<int32_t> column((size_t)width);
  for (int32_t x = 0; x < width; ++x) column[(size_t)x] = zoomed ? geometry_.ImageX(x0 + x) : x0 + x;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t iy = zoomed ? geometry_.ImageY(y0 + y) : y0 + y;
    if (iy < mask.minY || iy > mask.maxY) continue;
    uint8_t* row = map + (int64_t)y * rowBytes;
    for (int32_t x = 0; x < width; ++x) {
      const int32_t ix = column[(size_t)x];
      if (ix < mask.minX || ix > mask.maxX || !mask.Get(ix, iy)) continue;
      row[3 * x] = 0;
      row[3 * x + 1] = 0;
      row[3 * x + 2] = 255;
    }
  }
}

Status Editor::RenderFit() {
  const PixelBuffer& im = ctx_->image0;
  if (im.width > ctx_->viewWidth || im.height > ctx_->viewHeight) return kBadArg;
  const Tintmesh* monitor = ctx_->app ? ctx_->app->workingSpace.monitorQX.get() : nullptr;
  ViewRenderJob job;
  job.source = &im;
  fitShowsBefore_ = compare_ == kCompareOff && !preview_;
  job.transform = fitShowsBefore_ ? beforeQX_ : ctx_->previewQX;
  job.monitor = monitor;
  job.clip = clip_;
  job.filterPreview = !fitShowsBefore_ && FilterPreviewOn();
  job.filters = PreviewedFilters(ctx_->pars);
  job.redEye = redEye_;
  job.map = ctx_->drawMap.get();
  job.rowBytes = ctx_->drawRowBytes;
  Status st = RenderView(job);
  if (st != kOk) return ReportError(st, ResString(3019));
  ShowRegion(job.map, job.rowBytes, 0, 0, im.width, im.height, false);
  if (compare_ == kCompareOff) return kOk;
  if ((st = fitBefore_.Prepare(0, 0, im.width, im.height)) != kOk) return ReportError(st, ResString(3019));
  ViewRenderJob before;
  before.source = &im;
  before.transform = beforeQX_;
  before.monitor = monitor;
  before.map = fitBefore_.pixels.get();
  before.rowBytes = fitBefore_.rowBytes;
  if ((st = RenderView(before)) != kOk) return ReportError(st, ResString(3019));
  fitBefore_.valid = true;
  return kOk;
}

Status Editor::RenderZoomed() {
  int32_t x0, y0, x1, y1;
  geometry_.VisibleFileRect(&x0, &y0, &x1, &y1);
  if (x0 >= x1 || y0 >= y1) return kOk;
  const bool filtered = (compare_ != kCompareOff || preview_) && FilterPreviewOn();
  const FilterSettings filters = PreviewedFilters(ctx_->pars);
  const int32_t margin = filtered ? FilterContextPixels(filters) : 0;
  const int32_t depth = ctx_->image0.bytesPerSample;
  if (!full_.Named())
    full_.Reset(ctx_->imagePath, ctx_->inputQX, geometry_.fileWidth, geometry_.fileHeight, depth,
                CorrectionReadOptions(ctx_), ctx_->orientation);
  Status st = full_.Ensure(y0 - margin, y1 + margin, Phrase(1016, ctx_->displayName.c_str()));
  if (st != kOk) {
    if (st != kCancelled) ReportError(st, Phrase(3012, ctx_->displayName.c_str()));
    return st;
  }
  const Tintmesh* monitor = ctx_->app ? ctx_->app->workingSpace.monitorQX.get() : nullptr;
  // The red-eye point in file pixels.
  const double fx = geometry_.FileX(1.0), fy = geometry_.FileY(1.0);
  auto render = [&](OwnMap& map, const TintmeshHandle* transform, bool main, bool withFilters) -> Status {
    const int32_t m = withFilters ? margin : 0;
    PixelBuffer source;
    Status r = full_.Region(x0 - m, y0 - m, x1 + m, y1 + m, &source);
    if (r == kOk) r = map.Prepare(std::max(x0 - m, 0), std::max(y0 - m, 0), source.width, source.height);
    if (r != kOk) return ReportError(r, ResString(3019));
    ViewRenderJob job;
    job.source = &source;
    job.transform = transform;
    job.monitor = monitor;
    job.filterPreview = withFilters;
    job.filters = filters;
    if (main) {
      job.clip = clip_;
      if (redEye_.radius > 0) {
        job.redEye.x = (int32_t)std::lround(geometry_.FileX(redEye_.x)) - map.x0;
        job.redEye.y = (int32_t)std::lround(geometry_.FileY(redEye_.y)) - map.y0;
        job.redEye.radius = std::max<int32_t>(1, (int32_t)std::lround(redEye_.radius * std::max(fx, fy)));
      }
    }
    job.map = map.pixels.get();
    job.rowBytes = map.rowBytes;
    if ((r = RenderView(job)) != kOk) return ReportError(r, ResString(3019));
    if (main) ShowRegion(job.map, job.rowBytes, map.x0, map.y0, map.width, map.height, true);
    map.valid = true;
    return kOk;
  };
  if (compare_ == kCompareOff) return render(zoomAfter_, preview_ ? ctx_->previewQX : beforeQX_, true, filtered);
  if ((st = render(zoomAfter_, ctx_->previewQX, true, filtered)) != kOk) return st;
  return render(zoomBefore_, beforeQX_, false, false);
}

// ---- edits ------------------------------------------------------------------------------

void Editor::TakeSnapshot() {
  undo_.valid = true;
  undo_.pars = ctx_->pars;
  undo_.tab = tab_;
  undo_.balanceMethod = balanceMethod_;
  for (int i = 0; i < 3; ++i) undo_.balanceSliders[i] = balanceSliders_[i];
}

Status Editor::RunBrivioMask(ToolMask mask) {
  SyncBrivioSettings();
  const RasterView view = ImageView();
  const Status st = RunBrivio(&brivio_, mask, &view);  // reported there
  if (brivio_.regionMask && AppPrefs().showSampledRegion && (mask & TOOL_BRIGHTNESS)) regionShown_ = true;
  return st;
}

Status Editor::BrivioFor(BrivioOccasion occasion) {
  ToolMask mask = 0;
  Status st = BrivioMask(occasion, tab_ + 1, true, &mask);
  if (st != kOk) return st;
  return RunBrivioMask(mask);
}

Status Editor::FinishEdit(const TavelinPars& before, Status st, BrivioOccasion occasion, bool brivio) {
  if (st != kOk) {
    ctx_->pars = before;
    if (st != kCancelled) ReportError(st);
    return st;
  }
  if (brivio && brivioMode_) BrivioFor(occasion);  // a failure is reported; the steps done stay
  st = RebuildPreviews();
  Render();
  return st;
}

Status Editor::Changed(bool balanceEdit) {
  return FinishEdit(ctx_->pars, kOk, BrivioOccasion::kModeBalance, balanceEdit);
}

Status Editor::BrightnessAt(int32_t x, int32_t y, double* v, int* point) {
  if (!v || !point) return kBadArg;
  const PixelBuffer& im = ctx_->image0;
  if (!ImageOpen() || x < 0 || y < 0 || x >= im.width || y >= im.height) return kBadArg;
  float in[3], out[3];
  PixelColour(im, x, y, in);
  Status st = ApplyValidatedTavelinPars(&ctx_->pars, TOOL_LINEAR_BALANCE, in, out);
  if (st != kOk) return st;
  *v = std::clamp(Luma601(out[0], out[1], out[2]), 0.0, 1.0);
  TavelinPars trial = ctx_->pars;
  bool changed = false;
  LevelsClick(&trial, *v, point, &changed);
  return kOk;
}

Status Editor::ClickImage(int32_t x, int32_t y, ClickResult* result) {
  if (!result) return kBadArg;
  *result = ClickResult::kNothing;
  const PixelBuffer& im = ctx_->image0;
  if (!ImageOpen() || x < 0 || y < 0 || x >= im.width || y >= im.height) return kOk;
  TavelinPars& pars = ctx_->pars;
  const TavelinPars before = pars;
  const RasterView view = ImageView();
  switch (tab_) {
    case 0: {
      if (balanceMethod_ != kBalanceNeutrals) return kOk;
      Snapshot();
      Status st = MarkNeutral(&pars, &view, PrefsGridIndex(AppPrefs()), x, y, &ctx_->selectionMask);
      if (st == kOk) {
        regionShown_ = AppPrefs().showSampledRegion != 0;
        *result = ClickResult::kEdited;
      }
      return FinishEdit(before, st, BrivioOccasion::kModeBalance, true);
    }
    case 1: {
      double v = 0.0;
      int point = -1;
      Status st = BrightnessAt(x, y, &v, &point);
      if (st != kOk) return ReportError(st);
      TavelinPars trial = pars;
      bool changed = false;
      if ((st = LevelsClick(&trial, v, &point, &changed)) != kOk || !changed) return st;
      Snapshot();
      pars = trial;
      *result = ClickResult::kEdited;
      return FinishEdit(before, kOk, BrivioOccasion::kModePoints, true);
    }
    case 3: {
      int handle = (handleChosen_ || brivio_.activeHandleMarked) ? brivio_.activeHandle : -1;
      Status st = MarkHueColour(&pars, &view, PrefsGridIndex(AppPrefs()), x, y, &handle, &ctx_->selectionMask);
      if (st == kBadArg) {
        pars = before;
        *result = ClickResult::kTooNeutral;
        return kOk;  // the window says so
      }
      if (st != kOk) return FinishEdit(before, st, BrivioOccasion::kModeBalance, false);
      // The snapshot is of the record before the mark.
      const TavelinPars after = pars;
      pars = before;
      Snapshot();
      pars = after;
      brivio_.activeHandle = handle;
      brivio_.activeHandleMarked = true;
      handleChosen_ = true;
      regionShown_ = AppPrefs().showSampledRegion != 0;
      *result = ClickResult::kEdited;
      return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
    }
    default:
      return kOk;  // the brightness/contrast panel: clicks change nothing
  }
}

Status Editor::SetToneSlider(int slider, float value) {
  if (slider < 0 || slider > kToneSaturation) return kBadArg;
  TavelinPars& p = ctx_->pars;
  float* fields[5] = {&p.brightness, &p.shadow, &p.highlight, &p.contrast, &p.saturation};
  value = Clamp01(value);
  if (*fields[slider] == value) return kOk;
  Snapshot();
  const TavelinPars before = p;
  *fields[slider] = value;
  return FinishEdit(before, kOk, ToneSliderOccasion(slider), true);
}

Status Editor::SetBalanceSlider(int slider, float value) {
  if (slider < 0 || slider > 2) return kBadArg;
  value = Clamp01(value);
  if (balanceSliders_[slider] == value) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  balanceSliders_[slider] = value;
  Status st = SetBalanceSliders(&ctx_->pars, balanceSliders_);
  if (st != kOk) balanceSliders_[slider] = undo_.balanceSliders[slider];
  return FinishEdit(before, st, BrivioOccasion::kModeBalance, true);
}

Status Editor::SetBalanceMethod(int method) {
  if (method != kBalanceNeutrals && method != kBalanceSliders) return kBadArg;
  if (method == balanceMethod_) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  balanceMethod_ = method;
  for (float& v : balanceSliders_) v = 0.5f;
  return FinishEdit(before, ResetTavelinPars(&ctx_->pars, TOOL_BALANCE), BrivioOccasion::kModeBalance, true);
}

Status Editor::SetHueSlider(int slider, float value) {
  if (slider != kHueBrightness && slider != kHueSaturation) return kBadArg;
  HueEntry& e = ctx_->pars.hue[ActiveHandleIndex()];
  float& field = slider == kHueBrightness ? e.brightness : e.saturation;
  value = Clamp01(value);
  if (field == value) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  field = value;
  return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
}

Status Editor::DragLevelsHandle(int handle, double x, bool first, bool last) {
  if (!ImageOpen()) return kOk;
  if (first) TakeSnapshot();
  const TavelinPars before = ctx_->pars;
  bool changed = false;
  Status st = LevelsDragHandle(&ctx_->pars, handle, x, &changed);
  if (st != kOk) return FinishEdit(before, st, BrivioOccasion::kModePoints, false);
  if (!changed && !last) return kOk;
  return FinishEdit(before, kOk, BrivioOccasion::kModePoints, last);
}

void Editor::ChooseHandle(int index) {
  if (index < 0 || index >= kHueEntries) return;
  const int id = ctx_->pars.hue[index].handleId;
  if (id != brivio_.activeHandle) {
    brivio_.activeHandle = id;
    brivio_.activeHandleMarked = false;
  }
  handleChosen_ = true;
}

Status Editor::DragHueKnob(int index, int knob, double hue, bool first) {
  if (!ImageOpen()) return kOk;
  if (first) TakeSnapshot();
  const TavelinPars before = ctx_->pars;
  int id = 0;
  Status st = ::DragHueKnob(&ctx_->pars, index, knob, hue, &id);
  if (st == kOk) {
    int newIndex = 0;
    HandleIdToIndex(&ctx_->pars, id, &newIndex);
    ChooseHandle(newIndex);
  }
  return FinishEdit(before, st, BrivioOccasion::kModeBalance, false);
}

void Editor::ResetPanelState(ToolMask mask) {
  if (mask & TOOL_BALANCE)
    for (float& v : balanceSliders_) v = 0.5f;
  if ((mask & TOOL_HUE_ALL) == TOOL_HUE_ALL) {
    brivio_.activeHandle = ctx_->pars.hue[0].handleId;
    brivio_.activeHandleMarked = false;
    handleChosen_ = false;
  }
}

Status Editor::Reset(bool panel) {
  if (!ImageOpen()) return kOk;
  const ToolMask mask = panel ? PanelToolMask(tab_) : (ToolMask)TOOL_ALL;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  Status st = ResetTavelinPars(&ctx_->pars, mask);
  ResetPanelState(mask);
  BrivioOccasion occasion = BrivioOccasion::kModeBalance;
  bool brivio = panel && tab_ < 3;
  if (tab_ == 1) occasion = BrivioOccasion::kModePoints;
  if (tab_ == 2) occasion = BrivioOccasion::kModePanel3Reset;
  return FinishEdit(before, st, occasion, brivio);
}

Status Editor::RunBrivioButton(bool panel) {
  if (!ImageOpen()) return kOk;
  ToolMask mask = 0;
  Status st = BrivioMask(panel ? BrivioOccasion::kPanelButton : BrivioOccasion::kMasterButton, tab_ + 1, brivioMode_,
                         &mask);
  if (st != kOk) return ReportError(st);
  Snapshot();
  const TavelinPars before = ctx_->pars;
  if ((st = ResetTavelinPars(&ctx_->pars, mask)) != kOk) return FinishEdit(before, st, BrivioOccasion::kModeBalance, false);
  ResetPanelState(mask);
  RunBrivioMask(mask);  // reported there; the steps done stay
  st = RebuildPreviews();
  Render();
  return st;
}

Status Editor::ApplyStored(bool custom, bool panel) {
  if (!ImageOpen()) return kOk;
  const ToolMask mask = panel ? PanelToolMask(tab_) : (ToolMask)TOOL_ALL;
  const TavelinPars source = custom ? AppPrefs().custom : AppPrefs().previous;
  const UndoSnapshot keep = undo_;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  Status st = ApplyParsToContext(ctx_, source, true, mask, false);
  if (st == kCancelled) {
    undo_ = keep;
    ctx_->pars = before;
    return st;
  }
  if (st == kOk) ResetPanelState(mask);
  return FinishEdit(before, st, BrivioOccasion::kModeBalance, false);
}

Status Editor::SetLinear(bool on) {
  if (!ImageOpen() || ctx_->input.maxValue < 256) return kOk;  // 16-bit images only
  if ((ctx_->pars.linear != 0) == on) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  ctx_->pars.linear = on ? 1 : 0;
  return FinishEdit(before, kOk, BrivioOccasion::kModeLinear, true);
}

Status Editor::SetSharpen(bool on) {
  if ((ctx_->pars.sharpenOn != 0) == on) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  ctx_->pars.sharpenOn = on ? 1 : 0;
  if (!ImageOpen()) return kOk;
  return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
}

Status Editor::SetNoise(bool on) {
  if ((ctx_->pars.denoiseOn != 0) == on) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  ctx_->pars.denoiseOn = on ? 1 : 0;
  if (!ImageOpen()) return kOk;
  return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
}

Status Editor::SetFilterSettings(const TavelinPars& from) {
  Status st = ValidateFilterSettings(&from);
  if (st != kOk) return ReportError(st);
  Snapshot();
  const TavelinPars before = ctx_->pars;
  CopyFilterSettings(from, &ctx_->pars);
  if (!ImageOpen()) return kOk;
  return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
}

Status Editor::ApplyMemoryColourSlot(int slot) {
  if (!ImageOpen() || slot < 0 || slot >= kMemoryColourSlots || !brivio_.activeHandleMarked) return kOk;
  const MemoryColour def = AppPrefs().memoryColours[slot];
  if (!def.defined) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  const int id = brivio_.activeHandle;
  Status st = ApplyMemoryColour(&ctx_->pars, id, &def);
  if (st == kOk) st = RestrictMemoryColourEdit(&ctx_->pars, id, &before, (ToolMask)AppPrefs().brivioPrefsMask);
  return FinishEdit(before, st, BrivioOccasion::kModeBalance, false);
}

Status Editor::ApplyToning(bool sepia) {
  if (!ImageOpen()) return kOk;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  const Prefs& prefs = AppPrefs();
  return FinishEdit(before, ApplyToningPreset(&ctx_->pars, sepia ? prefs.sepia : prefs.grayscale),
                    BrivioOccasion::kModeBalance, false);
}

Status Editor::SetToneColour(const float rgb[3]) {
  if (!rgb) return kBadArg;
  Snapshot();
  const TavelinPars before = ctx_->pars;
  for (int c = 0; c < 3; ++c) ctx_->pars.toneColor[c] = Clamp01(rgb[c]);
  if (!ImageOpen()) return kOk;
  return FinishEdit(before, kOk, BrivioOccasion::kModeBalance, false);
}

bool Editor::ToningOn() const {
  for (float v : ctx_->pars.toneColor)
    if (std::fabs(v - 0.5f) >= 1e-8f) return true;
  return false;
}

Status Editor::Undo() {
  if (!undo_.valid) return kOk;
  ctx_->pars = undo_.pars;
  ctx_->pars.balanceValid = 0;  // the curves follow the restored samples
  balanceMethod_ = undo_.balanceMethod;
  for (int i = 0; i < 3; ++i) balanceSliders_[i] = undo_.balanceSliders[i];
  tab_ = undo_.tab;
  undo_.valid = false;
  int index = 0;
  if (HandleIdToIndex(&ctx_->pars, brivio_.activeHandle, &index) != kOk) brivio_.activeHandle = ctx_->pars.hue[0].handleId;
  SyncBrivioSettings();
  if (!ImageOpen()) return kOk;
  Status st = RebuildPreviews();
  Render();
  return st;
}

// ---- view changes -------------------------------------------------------------------------

Status Editor::SetTab(int tab) {
  if (tab < 0 || tab >= kToolTabs) return kBadArg;
  tab_ = tab;
  AppPrefs().toolTab = tab;
  SyncBrivioSettings();
  if (!ImageOpen()) return kOk;
  if (tab == 3 && brivio_.huePlacementPending) {
    const RasterView view = ImageView();
    PlacePendingHueHandles(&brivio_, &view);  // reported there
    handleChosen_ = false;
  }
  Status st = RebuildPreviews();
  Render();
  return st;
}

Status Editor::SetExpanded(bool expanded) {
  expanded_ = expanded;
  if (!ImageOpen()) return kOk;
  Status st = RebuildPreviews();
  Render();
  return st;
}

Status Editor::SetPreview(bool preview) {
  preview_ = preview;
  return Render();
}

Status Editor::SetClip(int clip) {
  if (clip < kClipNone || clip > kClipShadows) return kBadArg;
  if (clip == clip_) return kOk;
  clip_ = clip;
  return Render();
}

Status Editor::SetRedEye(int32_t x, int32_t y, int32_t radius) {
  redEye_.x = x;
  redEye_.y = y;
  redEye_.radius = radius;
  return Render();
}

int Editor::AddSample(int32_t x, int32_t y) {
  for (int i = 0; i < kSamplePoints; ++i) {
    if (samples_[i].set) continue;
    samples_[i].set = true;
    samples_[i].x = x;
    samples_[i].y = y;
    return i;
  }
  return -1;
}

int Editor::SampleAt(int32_t x, int32_t y, int32_t reach) const {
  int best = -1;
  int64_t bestD = (int64_t)reach * reach;
  for (int i = 0; i < kSamplePoints; ++i) {
    if (!samples_[i].set) continue;
    const int64_t dx = samples_[i].x - x, dy = samples_[i].y - y;
    const int64_t d = dx * dx + dy * dy;
    if (d <= bestD) {
      best = i;
      bestD = d;
    }
  }
  return best;
}

void Editor::MoveSample(int i, int32_t x, int32_t y) {
  if (i < 0 || i >= kSamplePoints || !samples_[i].set) return;
  samples_[i].x = std::clamp(x, 0, std::max(0, ctx_->image0.width - 1));
  samples_[i].y = std::clamp(y, 0, std::max(0, ctx_->image0.height - 1));
}

void Editor::RemoveSample(int i) {
  if (i >= 0 && i < kSamplePoints) samples_[i] = SamplePoint{};
}

Status Editor::Readout(int i, std::string* before, std::string* after) {
  if (i < 0 || i >= kSamplePoints || !before || !after) return kBadArg;
  before->clear();
  after->clear();
  const SamplePoint& s = samples_[i];
  const PixelBuffer& im = ctx_->image0;
  if (!s.set || !ImageOpen() || s.x >= im.width || s.y >= im.height) return kOk;
  PreviewMaskPair masks;
  Status st = GetPreviewMasks(tab_ + 1, expanded_, &masks);
  float in[3], outBefore[3], outAfter[3];
  PixelColour(im, s.x, s.y, in);
  if (st == kOk) st = ApplyValidatedTavelinPars(&ctx_->pars, masks.before, in, outBefore);
  if (st == kOk) st = ApplyValidatedTavelinPars(&ctx_->pars, masks.after, in, outAfter);
  if (st != kOk) return st;
  ReadoutValues v;
  ReadoutFromColour(outBefore, readoutModel_, &v);
  *before = FormatReadout(v);
  ReadoutFromColour(outAfter, readoutModel_, &v);
  *after = FormatReadout(v);
  return kOk;
}
