#include "session/editcontext.h"

#include <cmath>
#include <unistd.h>

#include "colormgmt/icctintmesh.h"
#include "colormgmt/inputcolour.h"
#include "colormgmt/workingspaces.h"
#include "correct/correctiontransform.h"
#include "filters/preview.h"
#include "imagefile/metadata.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "session/pipeline.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "transform/tintmesh_eval.h"

namespace {

// Progress of a load: the display image's read maps onto 0..80.
struct LoadProgress {
  std::string text;
  static Status Report(void* context, float fraction) {
    const LoadProgress* p = static_cast<const LoadProgress*>(context);
    return Ui_GetHost().ProgressStep((int64_t)(fraction * 80.0f), p->text);
  }
};

// Record, file query and record applied: the part of a load that editing and
// saving share.
// The record of `entry` from `data` (the Batchline's data file, or a record
// in memory), loaded as entry `index` (-1: a record not in the list).
Status LoadRecord(EditContext* ctx, Stream& data, JobEntry& entry, int32_t index) {
  std::string imagePath, profilePath;
  TavelinPars stored;
  JobRecordRead want;
  want.imagePath = &imagePath;
  want.profilePath = &profilePath;
  want.pars = &stored;
  Status st = ReadJobRecord(data, entry, want);
  if (st != kOk) return st;  // reported by the job file
  if (imagePath == kJobLongPathMark) imagePath = entry.imagePath;  // too long for the record

  // The file first, so that the record is applied knowing the image's depth.
  RasImage image;
  if ((st = RasQuery(imagePath, image,
                     CorrectionReadOptions(profilePath.empty() ? ctx->app->workingSpace.profilePath : profilePath,
                                           *ctx->app->prefs))) != kOk) {
    // The reader's reason, as `info` gives it, after the file's name.
    return ReportError(st, RasWithReason(Phrase(3012, LeafName(imagePath).c_str())));
  }
  ImageInfo& in = ctx->input;
  in.format = image.format;
  in.colorType = image.colorType;
  in.channels = image.channels;
  in.maxValue = image.maxValue;
  in.resolution = image.resolution;
  in.width = image.width;
  in.height = image.height;
  in.fileColorType = image.fileColorType;
  ctx->imagePath = imagePath;
  ctx->displayName = LeafName(imagePath);
  ctx->loadedIndex = index;

  TavelinPars fresh;
  if ((st = NewRecordInWorkingSpace(ctx, &fresh)) != kOk) return ReportError(st, "reading image");
  const TavelinPars before = ctx->pars;
  ctx->pars = fresh;
  if ((st = ApplyParsToContext(ctx, stored, true, TOOL_ALL, true)) != kOk) {
    ctx->pars = before;
    return st;
  }
  ctx->inputProfilePath = profilePath;
  MakeInputTransformFor(ctx);  // a failure leaves the image unconverted (reported)
  return kOk;
}

Status LoadEntryRecord(EditContext* ctx, int32_t index) {
  Batchline& b = ctx->batch;
  if (index < 0 || index >= (int32_t)b.entries.size()) return ReportError(kNoMem, "reading image");
  Stream data;
  if (StreamOpen(data, b.files.data, kStreamRead) != kOk)
    return ReadJobRecord(b.files.data, b.entries[index], JobRecordRead{});  // reports the file it cannot open
  const Status st = LoadRecord(ctx, data, b.entries[index], index);
  StreamClose(data);
  return st;
}

// An image is never saved unconverted because its input profile could not
// be used (the failure is reported where the transform is made).
Status CheckInputTransform(const EditContext* ctx) {
  const std::string& profile = ctx->inputProfilePath;
  return !profile.empty() && profile != ctx->app->workingSpace.profilePath && !ctx->inputQX ? kFormatErr : kOk;
}

}  // namespace

EditContext::~EditContext() { FreeTavelinPars(this); }

Status NewRecordInWorkingSpace(const EditContext* ctx, TavelinPars* pars) {
  if (!pars) return kBadArg;
  Status st = InitTavelinPars(pars);
  if (st == kOk && ctx && ctx->app) st = SetRefRGB(pars, &ctx->app->workingSpace.refRGB);
  return st;
}

int32_t ContextGridIndex(const EditContext* ctx) {
  return ctx && ctx->app && ctx->app->prefs ? PrefsGridIndex(*ctx->app->prefs) : kDefaultGridIndex;
}

Status InitEditContext(EditContext* ctx, AppSession* app) {
  if (!ctx || !app || !app->prefs) return kBadArg;
  ctx->app = app;
  Status st = GetBatchlineFiles(app->state, &ctx->batch.files);
  if (st != kOk) return st;
  return NewRecordInWorkingSpace(ctx, &ctx->pars);
}

Status FreeTavelinPars(EditContext* ctx) {
  if (!ctx) return kBadArg;
  if (ctx->save) AbortSaving(ctx, kCancelled);
  CloseImage(ctx);
  PixelBufferFree(ctx->image0);
  PixelBufferFree(ctx->image1);
  ctx->drawMap.reset();
  ctx->selectionMask = RegionMask{};
  ctx->viewWidth = ctx->viewHeight = 0;
  Batchline& b = ctx->batch;
  b.entries.clear();
  b.selected.clear();
  b.current = -1;
  if (b.lockFd >= 0) {
    ::close(b.lockFd);
    b.lockFd = -1;
  }
  return kOk;
}

Status SetUpImages(EditContext* ctx, int32_t width, int32_t height) {
  if (!ctx) return kBadArg;
  DLog("SetUpImages...");
  auto freeAll = [ctx]() {
    PixelBufferFree(ctx->image0);
    PixelBufferFree(ctx->image1);
    ctx->drawMap.reset();
    ctx->selectionMask = RegionMask{};
  };
  freeAll();
  Status st = PixelBufferCreate(ctx->image0, width, height, 3, 2);
  if (st == kOk) st = PixelBufferCreate(ctx->image1, width, height, 3, 2);
  if (st == kOk) {
    ctx->viewWidth = width;
    ctx->viewHeight = height;
    ctx->drawRowBytes = (width * 3 + 3) & ~3;
    ctx->drawMap = MemNewArray<uint8_t>((size_t)ctx->drawRowBytes * height);
    if (!ctx->drawMap) st = kNoMem;
  }
  if (st == kOk) st = ctx->selectionMask.Prepare(width, height);
  if (st != kOk) freeAll();
  DLog("...SetUpImages");
  return st;
}

Status SetUpWorkingSpaceFor(EditContext* ctx) {
  AppSession* app = ctx ? ctx->app : App();
  if (!app || !app->prefs) return kBadArg;
  Prefs& prefs = *app->prefs;
  if (prefs.workingSpace < 0 || prefs.workingSpace >= kWorkingSpaceCount) return kBadArg;
  WorkingSpace& ws = app->workingSpace;
  ws.index = prefs.workingSpace;
  ws.gridIndex = PrefsGridIndex(prefs);
  std::function<Status()> rebuild;
  if (ctx && ctx->imageOpen)
    rebuild = [ctx]() {
      MakeInputTransformFor(ctx);
      return ReadDisplayImage(ctx);
    };
  Status st = SetUpWorkingSpace(ws, rebuild);
  RefreshWorkingSpaceRef(prefs);
  return st;
}

Status MakeInputTransformFor(EditContext* ctx) {
  if (!ctx || !ctx->app) return kBadArg;
  return MakeInputTransform(ctx->inputProfilePath, ctx->app->workingSpace.profilePath, ctx->input.maxValue,
                            ContextGridIndex(ctx), &ctx->inputQX);
}

Status ApplyParsToContext(EditContext* ctx, const TavelinPars& source, bool checkWorkingSpace, ToolMask mask,
                          bool withFilters) {
  if (!ctx || !ctx->app) return kBadArg;
  if (checkWorkingSpace && !RefRgbMatch(source.refRGB, ctx->app->workingSpace.refRGB)) {
    if (AskTableQuestion(9210, {9212, 1111}, 0, 1) != 0) return kCancelled;
  }
  TavelinPars& to = ctx->pars;
  if ((mask & TOOL_LINEAR) && ctx->input.maxValue >= 256) to.linear = source.linear;
  if (mask & TOOL_BALANCE) {
    for (int i = 0; i < kSampleBins; ++i) to.balBin[i] = source.balBin[i];
    to.neutralPref = source.neutralPref;
    to.balanceValid = 0;
  }
  if (mask & TOOL_BLACK) to.blackPoint = source.blackPoint;
  if (mask & TOOL_GRAY) to.grayPoint = source.grayPoint;
  if (mask & TOOL_WHITE) to.whitePoint = source.whitePoint;
  if (mask & TOOL_BRIGHTNESS) to.brightness = source.brightness;
  if (mask & TOOL_SHADOW) to.shadow = source.shadow;
  if (mask & TOOL_HIGHLIGHT) to.highlight = source.highlight;
  if (mask & TOOL_CONTRAST) to.contrast = source.contrast;
  if (mask & TOOL_SATURATION) to.saturation = source.saturation;
  if (mask & TOOL_HUE_ALL) {
    for (int h = 0; h < kHueEntries; ++h) to.hue[h] = source.hue[h];
    for (int c = 0; c < 3; ++c) to.toneColor[c] = source.toneColor[c];
  }
  if (withFilters) CopyFilterSettings(source, &to);
  return kOk;
}

Status LoadEntryForSaving(EditContext* ctx, int32_t index) {
  if (!ctx) return kBadArg;
  CloseImage(ctx);
  Status st = LoadEntryRecord(ctx, index);
  if (st == kOk) st = CheckInputTransform(ctx);
  return st;
}

Status LoadRecordForSaving(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record) {
  if (!ctx || !ctx->app || record.empty() || record.size() > UINT32_MAX) return kBadArg;
  CloseImage(ctx);
  std::vector<uint8_t> bytes = record;  // the stream wants a writable block
  MemStreamDesc mem;
  mem.buffer = bytes.data();
  mem.size = (int64_t)bytes.size();
  Stream data;
  Status st = StreamOpen(data, mem, kStreamRead);
  if (st != kOk) return ReportError(st, "reading image");
  JobEntry entry;
  entry.offset = 0;
  entry.length = (uint32_t)bytes.size();
  entry.imagePath = path;
  st = LoadRecord(ctx, data, entry, -1);
  StreamClose(data);
  if (st == kOk) st = CheckInputTransform(ctx);
  return st;
}

Status LoadEntryForEditing(EditContext* ctx) {
  if (!ctx) return kBadArg;
  CloseImage(ctx);
  Status st = LoadEntryRecord(ctx, ctx->batch.current);
  if (st != kOk) return st;
  UiHost& host = Ui_GetHost();
  const std::string text = Phrase(1016, ctx->displayName.c_str());
  host.ProgressOpen(text, 100);
  st = ReadDisplayImage(ctx);
  if (st == kOk) st = host.ProgressStep(80, text);
  if (st == kOk) st = MakePreviewTransform(ctx, ctx->previewMask, ctx->input.Depth(), 1);
  if (st == kOk) st = host.ProgressStep(90, text);
  if (st == kOk) st = MakeFullTransform(ctx);
  if (st == kOk) st = host.ProgressStep(100, text);
  if (st == kOk) st = RenderCorrectedImage(ctx);
  host.ProgressClose();
  if (st != kOk) {
    CloseImage(ctx);
    return st;
  }
  ctx->imageOpen = true;
  return kOk;
}

Status ReadDisplayImage(EditContext* ctx) {
  if (!ctx) return kBadArg;
  const int32_t bytes = ctx->input.Depth();
  Status st = ctx->viewWidth >= 2 && ctx->viewHeight >= 2 ? kOk : kBadArg;
  RasImage image;
  const ReadOptions read = CorrectionReadOptions(ctx);
  if (st == kOk) st = RasQuery(ctx->imagePath, image, read);
  ctx->orientation = 0;
  if (st == kOk) {
    MetaReadExtras(ctx->imagePath, image.format, image.meta);
    ctx->orientation = image.meta.orientation;
  }
  // A file shown turned a quarter is reduced into the view's box turned too.
  const bool swap = IPOrientSwaps(ctx->orientation);
  LoadProgress progress{Phrase(1016, ctx->displayName.c_str())};
  if (st == kOk)
    st = IPMakeViewImage(ctx->imagePath.c_str(), swap ? ctx->viewHeight : ctx->viewWidth,
                         swap ? ctx->viewWidth : ctx->viewHeight, bytes, ctx->image0,
                         IPProgress{LoadProgress::Report, &progress}, read);
  if (st == kOk) st = IPOrient(ctx->image0, ctx->orientation);
  PixelBuffer& im = ctx->image0;
  if (st == kOk && ctx->inputQX) {
    QXChannelPtrs row;
    for (int32_t y = 0; y < im.height && st == kOk; ++y) {
      for (int c = 0; c < 3; ++c)
        row.chan[c] = bytes == 1 ? (void*)im.Row<uint8_t>(c, y) : (void*)im.Row<uint16_t>(c, y);
      st = QXEvaluate(ctx->inputQX, im.width, row, im.pixelStep, row, im.pixelStep);
    }
  }
  if (st == kOk) {
    ctx->scaled = (uint32_t)im.width < image.width || (uint32_t)im.height < image.height;
    if (swap) ctx->scaled = (uint32_t)im.width < image.height || (uint32_t)im.height < image.width;
    return kOk;
  }
  if (st != kCancelled) {
    DLog("image0_xSize = %d, image0_ySize = %d, bpc = %d", (int)ctx->viewWidth, (int)ctx->viewHeight, (int)bytes);
    ReportError(st, RasWithReason(Phrase(3012, ctx->displayName.c_str())));
  }
  return st;
}

void UprightFileSize(const EditContext* ctx, int32_t* width, int32_t* height) {
  const bool swap = IPOrientSwaps(ctx->orientation);
  *width = (int32_t)(swap ? ctx->input.height : ctx->input.width);
  *height = (int32_t)(swap ? ctx->input.width : ctx->input.height);
}

namespace {

// The working space whose profile `path` is (by its file name); -1 for another profile.
int32_t WorkingSpaceOfProfile(const std::string& path) {
  const std::string leaf = LeafName(path);
  for (int32_t i = 0; i < kWorkingSpaceCount; ++i)
    if (const char* name = WorkingSpaceFileName(i); name && leaf == name) return i;
  return -1;
}

}  // namespace

ReadOptions CorrectionReadOptions(const std::string& rgbProfile, const Prefs& prefs) {
  ReadOptions read;
  read.asRgb = MakeRgbPresenter(rgbProfile, InputColourDefaults{prefs.grayProfilePath, prefs.cmykProfilePath});
  // Camera raw is rendered in the working space's primaries, linear.
  const int32_t space = WorkingSpaceOfProfile(rgbProfile);
  if (const WorkingSpaceRow* row = WorkingSpaceTableRow(space)) {
    const double sum = (double)row->white[0] + row->white[1] + row->white[2];
    const auto& p = row->primaries;
    read.rawSpace = {{row->white[0] / sum, row->white[1] / sum}, {p[0], p[1]}, {p[2], p[3]}, {p[4], p[5]}};
    read.rawSpaceName = WorkingSpaceName(space);
  }
  return read;
}

ReadOptions CorrectionReadOptions(const EditContext* ctx) {
  const std::string& profile = ctx->inputProfilePath;
  const Prefs defaults = PrefsDefaults();
  const Prefs& prefs = ctx->app && ctx->app->prefs ? *ctx->app->prefs : defaults;
  return CorrectionReadOptions(profile.empty() && ctx->app ? ctx->app->workingSpace.profilePath : profile, prefs);
}

void CloseImage(EditContext* ctx) {
  if (!ctx) return;
  ctx->imageOpen = false;
  ctx->loadedIndex = -1;
  FreeCorrectionTransform(&ctx->previewQX);
  FreeCorrectionTransform(&ctx->fullQX);
  QXFree(&ctx->inputQX);
  ctx->zoom = 0;
}

Status MakePreviewTransform(EditContext* ctx, ToolMask mask, int32_t inputDepth, int32_t outputDepth) {
  if (!ctx || (inputDepth != 1 && inputDepth != 2) || (outputDepth != 1 && outputDepth != 2)) return kBadArg;
  FreeCorrectionTransform(&ctx->previewQX);
  Status st = MakeCorrectionTransform(&ctx->pars, mask, ContextGridIndex(ctx), inputDepth, &ctx->previewQX);
  if (st == kOk && outputDepth != inputDepth) st = QXHandleSetDataPath(ctx->previewQX, kQXOutputSide, outputDepth);
  if (st != kOk) {
    FreeCorrectionTransform(&ctx->previewQX);
    return ReportError(st, ResString(3019));
  }
  return kOk;
}

Status MakeFullTransform(EditContext* ctx) {
  if (!ctx) return kBadArg;
  FreeCorrectionTransform(&ctx->fullQX);
  Status st = MakeCorrectionTransform(&ctx->pars, TOOL_ALL, ContextGridIndex(ctx), ctx->input.Depth(), &ctx->fullQX);
  if (st != kOk) return ReportError(st, ResString(3019));
  return kOk;
}

Status RenderCorrectedImage(EditContext* ctx) {
  if (!ctx || !ctx->previewQX || PixelBufferCheck(ctx->image0) != kOk) return kBadArg;
  const PixelBuffer& src = ctx->image0;
  PixelBuffer& dst = ctx->image1;
  Status st = PixelBufferCreate(dst, src.width, src.height, 3, ctx->previewQX->outPath);
  QXChannelPtrs in, out;
  for (int32_t y = 0; y < src.height && st == kOk; ++y) {
    for (int c = 0; c < 3; ++c) {
      in.chan[c] = src.bytesPerSample == 1 ? (void*)src.Row<uint8_t>(c, y) : (void*)src.Row<uint16_t>(c, y);
      out.chan[c] = dst.bytesPerSample == 1 ? (void*)dst.Row<uint8_t>(c, y) : (void*)dst.Row<uint16_t>(c, y);
    }
    st = QXHandleEvaluate(ctx->previewQX, src.width, in, src.pixelStep, out, dst.pixelStep);
  }
  return st;
}

bool ParsDiffer(const TavelinPars& a, const TavelinPars& b) {
  float va[kParVectorCount], vb[kParVectorCount];
  if (EncodeTavelinPars(&a, va, kParVectorCount) != kOk || EncodeTavelinPars(&b, vb, kParVectorCount) != kOk)
    return true;
  for (int i = 0; i < kParVectorCount; ++i)
    if (!(std::fabs((double)va[i] - (double)vb[i]) <= 0.00001)) return true;
  return false;
}

bool ParsAtDefaults(const TavelinPars& pars) {
  ToolMask mask = TOOL_ALL;
  return PruneToolMask(&pars, &mask) == kOk && mask == 0;
}
