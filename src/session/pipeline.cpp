#include "session/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "correct/correctiontransform.h"
#include "filters/filterstage.h"
#include "imagefile/format.h"
#include "imagefile/jpeg.h"
#include "imagefile/metadata.h"
#include "imagefile/tiff.h"
#include "prefs/prefs.h"
#include "base/cpus.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "session/editcontext.h"
#include "base/naming.h"
#include "base/safefile.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"
#include "transform/tintmesh_eval.h"

namespace {


// The progress text of the save in hand.
std::string SavingText(const EditContext* ctx) {
  return Phrase(1079, LeafName(ctx->save ? ctx->save->outputPath : ctx->outputPath).c_str());
}

// One step of the save's progress (0..100 of this image). A cancel during a
// batch save asks first; "Continue" goes on.
Status ProgressTo(EditContext* ctx, int32_t percent) {
  UiHost& host = Ui_GetHost();
  Status st = host.ProgressStep(ctx->progressBase + percent, SavingText(ctx));
  if (st != kCancelled) return kOk;
  if (!ctx->batchSaving) return kCancelled;
  UiQuestion q;
  q.id = 9211;
  q.text = ResString(9211);
  if (ctx->save && ctx->save->settings.removeSaved) q.text += " " + ResString(1133);
  q.buttons = {ResString(1111), ResString(1112)};
  q.defaultButton = 1;
  q.cancelButton = 1;
  return host.Ask(q) == 0 ? kCancelled : kOk;
}

void CloseFiles(SaveState& s) {
  if (s.in.file) RasClose(s.in);
  if (s.out.file) RasClose(s.out);
  RasFreeSl(s.inSl);
  RasFreeSl(s.outSl);
}

// The end of a save, finished or not: the progress window this save opened
// is closed and the state freed.
void EndSave(EditContext* ctx) {
  if (ctx->progressOwned) Ui_GetHost().ProgressClose();
  ctx->progressOwned = false;
  ctx->save.reset();
}

Status ReadRowForStage(void* context, int32_t row, IPRow& planes) {
  return ReadScanline(static_cast<EditContext*>(context), (uint32_t)row, &planes);
}

Status WriteRowFromStage(void* context, int32_t row, const IPRow& planes) {
  return WriteScanline(static_cast<EditContext*>(context), (uint32_t)row, planes);
}

}  // namespace

namespace {

// The extensions of the formats read through their own libraries (WebP,
// HEIC/AVIF, camera raw), by the registry: an output name drops them as it
// drops the classic ones.
bool LibraryFormatExtension(const std::string& lowerExt) {
  for (int32_t code : {kRasWebp, kRasHeif, kRasHeif16, kRasCameraRaw}) {
    const FormatModule* m = FormatRegistry::Builtin().ByCode(code);
    if (m && std::find(m->traits.extensions.begin(), m->traits.extensions.end(), lowerExt) != m->traits.extensions.end())
      return true;
  }
  return false;
}

}  // namespace

SaveSettings SaveSettingsOf(const Prefs& prefs) {
  SaveSettings s;
  s.outputFormat = prefs.outputFormat;
  GetOutputNaming(prefs, &s.naming);
  s.naming.dropsExtension = LibraryFormatExtension;
  s.embedProfile = prefs.embedProfile != 0;
  s.preserveExif = prefs.preserveExif != 0;
  s.jpegQuality = JpegQualityFromPrefs(prefs.jpegQuality);
  s.tiffCompression = prefs.tiffCompression;
  s.removeSaved = prefs.removeSaved != 0;
  s.gridIndex = PrefsGridIndex(prefs);
  s.keepGray = prefs.keepGray != 0;
  s.inputDefaults = InputColourDefaults{prefs.grayProfilePath, prefs.cmykProfilePath};
  return s;
}

WriteOptions WriteOptionsFor(const SaveSettings& settings, int32_t format) {
  WriteOptions options;
  if (format == kRasJpeg) options.quality = settings.jpegQuality;
  SetTiffCompression(options, format, settings.tiffCompression);
  return options;
}

void SetTiffCompression(WriteOptions& options, int32_t format, int32_t compression) {
  if ((format != kRasTiff && format != kRasTiff16) || compression == 1) return;
  options.compression = compression;
  options.predictor = 2;  // horizontal differencing: what makes LZW and Deflate pay on photographs
}

int32_t JpegQualityFromPrefs(float fraction) {
  long q = std::lround((double)fraction * 100.0);
  return (int32_t)(q < 0 ? 0 : q > 100 ? 100 : q);
}

bool SameFile(const std::string& input, const std::string& output) {
  if (input == output) return true;
  // The output's own name: a link there is replaced by the save, not followed.
  struct stat a, b;
  if (::stat(input.c_str(), &a) != 0 || ::lstat(output.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Status SetOutput(EditContext* ctx, int32_t format, const std::string& path) {
  if (!ctx) return kBadArg;
  ImageInfo& out = ctx->output;
  const ImageInfo& in = ctx->input;
  out.colorType = in.colorType;
  out.channels = in.channels;
  out.resolution = in.resolution;
  out.width = in.width;
  out.height = in.height;
  if (format == kRasTiff && in.maxValue >= 256) format = kRasTiff16;
  out.format = format;
  out.maxValue = format == kRasTiff16 ? 65535 : 255;
  ctx->outputPath = path;
  return kOk;
}

namespace {

// "Same as original" for an input whose format has no writer: HEIC/AVIF as
// JPEG (8-bit) or 16-bit TIFF (10- and 12-bit), camera raw and the rest as
// 16-bit TIFF.
int32_t SameFormatWritten(int32_t inputFormat) {
  if (inputFormat == kRasHeif) return kRasJpeg;
  const FormatModule* m = FormatRegistry::Builtin().ByCode(inputFormat);
  return m && m->writer ? inputFormat : kRasTiff16;
}

}  // namespace

Status ChooseOutput(EditContext* ctx, const SaveSettings& settings) {
  if (!ctx) return kBadArg;
  int32_t format = settings.outputFormat;
  if (format == 0) {
    format = ctx->input.format;
    if (format == kRasCameraRaw && !Ui_AskGoOnOrCancel(9213, 9214)) return kCancelled;
    format = SameFormatWritten(format);
  }
  // The extension follows the format written: TIFF stays TIFF at 16 bits.
  const int32_t written = format == kRasTiff && ctx->input.maxValue >= 256 ? kRasTiff16 : format;
  return SetOutput(ctx, format, OutputPathFor(settings.naming, ctx->imagePath, written));
}

Status PlannedOutputPath(const SaveSettings& settings, const std::string& imagePath, std::string& outputPath) {
  RasImage image;
  if (Status st = RasQuery(imagePath, image); st != kOk) return st;
  int32_t format = settings.outputFormat;
  if (format == 0) format = SameFormatWritten(image.format);
  const int32_t written = format == kRasTiff && image.maxValue >= 256 ? kRasTiff16 : format;
  outputPath = OutputPathFor(settings.naming, imagePath, written);
  return kOk;
}

std::vector<PlanVerdict> PlanBatchOutputs(const SaveSettings& settings, const std::vector<std::string>& images,
                                          const std::vector<std::string>& otherInputs) {
  std::vector<PlannedImage> planned;
  planned.reserve(images.size());
  for (const std::string& image : images) {
    std::string output;
    planned.push_back(PlannedImage{image, {}});
    if (PlannedOutputPath(settings, image, output) == kOk) planned.back().outputs.push_back(output);
  }
  return PlanOutputs(planned, otherInputs);
}

Status OpenForSaving(EditContext* ctx, const SaveSettings& settings) {
  if (!ctx || !ctx->app || ctx->save) return kBadArg;
  ctx->save = std::make_unique<SaveState>();
  SaveState& s = *ctx->save;
  s.outputPath = ctx->outputPath;
  s.settings = settings;
  const std::string inLeaf = LeafName(ctx->imagePath), outLeaf = LeafName(s.outputPath);
  auto fail = [&](Status st, const std::string& context) {
    ReportError(st, context);
    AbortSaving(ctx, st);
    return st;
  };

  Status st;
  if (settings.embedProfile && (st = MetaLoadIcc(s.out.meta, ctx->app->workingSpace.profilePath)) != kOk)
    return fail(st, "setting output profile");
  const WriteOptions options = WriteOptionsFor(settings, ctx->output.format);

  // The output goes to a unique locked name in its own folder; the finished
  // file is renamed over the output path, which replaces whatever has that
  // name (the input itself, when it is the input; a link, never its target).
  s.replaceOriginal = SameFile(ctx->imagePath, s.outputPath);
  std::string why;
  if ((st = s.save.Prepare(s.outputPath, &why)) != kOk) {
    // The reason names the folder (one the user may not write in, say).
    DLog("%s", why.c_str());
    st = st == kBadArg ? kOpenErr : st;
    ReportError(st, Phrase(3003, outLeaf.c_str()).c_str(), why.c_str());
    AbortSaving(ctx, st);
    return st;
  }

  UiHost& host = Ui_GetHost();
  if (!ctx->batchSaving) {
    host.ProgressOpen(SavingText(ctx), 100);
    ctx->progressOwned = true;
    ctx->progressBase = 0;
  }

  const ReadOptions read = CorrectionReadOptions(ctx);
  if (ctx->held && ctx->held->Held()) {
    // The rows were decoded already: the file as that decode described it.
    s.held = ctx->held;
    s.in = std::move(s.held->image);
  } else if ((st = RasQuery(ctx->imagePath, s.in, read)) != kOk ||
             (st = RasOpenRead(ctx->imagePath, s.in, read)) != kOk || (st = RasMakeSl(s.inSl, s.in)) != kOk) {
    return fail(st, RasWithReason(Phrase(3003, inLeaf.c_str())));
  }
  // XMP and IPTC go with the image to every format that holds them; the EXIF
  // (a TIFF input's too) where the settings keep it.
  MetaReadExtras(ctx->imagePath, s.in.format, s.in.meta);
  s.out.meta.iptc = s.in.meta.iptc;
  s.out.meta.xmp = s.in.meta.xmp;
  if (settings.preserveExif) {
    s.out.meta.exif = s.in.meta.exif;
    MetaStripExifThumbnail(s.out.meta);
  } else {
    s.out.meta.exif = MetaOrientationExif(s.in.meta.orientation);  // the pixels stay as stored
  }

  const ImageInfo& o = ctx->output;
  // A gray input saved as gray (where asked and the format holds gray): the
  // corrected rows go back through its gray profile, which is embedded.
  const FormatModule* written = FormatRegistry::Builtin().ByCode(o.format);
  const bool gray = settings.keepGray && s.in.fileColorType == kRasGray && written &&
                    (written->traits.writeColorTypes & ColorTypeBit(kRasGray));
  if ((st = rasInit(s.out, o.format, s.in.width, s.in.height, gray ? 1 : s.in.channels,
                    gray ? kRasGray : s.in.colorType, s.in.resolution)) != kOk)
    return fail(st, "rasInit");
  if (gray) {
    const InputColourDefaults& defaults = settings.inputDefaults;
    std::vector<uint8_t> grayProfile;
    std::string why;
    s.toGray = std::make_unique<RgbToGray>();
    if ((st = GrayProfileOf(s.in.meta, defaults, &grayProfile, &why)) != kOk ||
        (st = s.toGray->Make(ctx->app->workingSpace.profilePath, grayProfile, s.out.Is16(), s.in.width, &why)) != kOk) {
      ReportError(st, Phrase(3003, outLeaf.c_str()).c_str(), why.c_str());
      AbortSaving(ctx, st);
      return st;
    }
    if (settings.embedProfile) s.out.meta.iccProfile = std::move(grayProfile);
  }
  s.out.meta.resolutionUnit = s.in.meta.resolutionUnit;
  if ((st = s.save.Open(s.out, options)) != kOk || (st = RasMakeSl(s.outSl, s.out)) != kOk)
    return fail(st, Phrase(3003, outLeaf.c_str()));
  s.inBytes = s.in.Is16() ? 2 : 1;
  s.outBytes = s.out.Is16() ? 2 : 1;
  return kOk;
}

Status ReadScanline(EditContext* ctx, uint32_t line, IPRow* planes) {
  if (!ctx || !ctx->save || !planes) return kBadArg;
  SaveState& s = *ctx->save;
  QXChannelPtrs row;
  Status st;
  if (s.held) {
    if (line >= s.in.height) return kBadArg;
    for (int c = 0; c < 3; ++c) row.chan[c] = s.held->Row(line, c);
  } else {
    st = RasReadSl(s.in, line, s.inSl);
    if (st != kOk) return ReportError(st, RasWithReason(Phrase(3015, (int)line, LeafName(ctx->imagePath).c_str())));
    for (int c = 0; c < 3; ++c) row.chan[c] = s.inBytes == 1 ? (void*)s.inSl.plane8[c] : (void*)s.inSl.plane16[c];
  }
  for (int c = 0; c < 3; ++c) planes->chan[c] = row.chan[c];
  if (ctx->inputQX && (st = QXEvaluate(ctx->inputQX, (int32_t)s.in.width, row, 1, row, 1)) != kOk)
    return ReportError(st, Phrase(3016, (int)line, LeafName(ctx->imagePath).c_str()));
  return kOk;
}

Status WriteScanline(EditContext* ctx, uint32_t line, const IPRow& planes) {
  if (!ctx || !ctx->save) return kBadArg;
  SaveState& s = *ctx->save;
  Status st;
  if (s.toGray) {
    const void* const rgb[3] = {planes.chan[0], planes.chan[1], planes.chan[2]};
    s.toGray->Convert(rgb, s.outBytes == 1 ? (void*)s.outSl.plane8[0] : (void*)s.outSl.plane16[0], s.out.width);
    st = RasWriteSl(s.out, line, s.outSl);
  } else {
    // Writers only read the row: they are handed the stage's planes as they
    // are, through a scanline that borrows them (and owns nothing to free).
    RasScanline view;
    view.width = s.outSl.width;
    view.channels = 3;
    for (int c = 0; c < 3; ++c) {
      if (s.outBytes == 1) view.plane8[c] = static_cast<uint8_t*>(const_cast<void*>(planes.chan[c]));
      else view.plane16[c] = static_cast<uint16_t*>(const_cast<void*>(planes.chan[c]));
    }
    st = RasWriteSl(s.out, line, view);
    for (int c = 0; c < 3; ++c) view.plane8[c] = nullptr, view.plane16[c] = nullptr;
  }
  if (st != kOk) return ReportError(st, Phrase(3017, (int)line, LeafName(s.outputPath).c_str()));
  const int32_t percent = (int32_t)((double)line / s.out.height * 100.0 + 0.5);
  if (percent != s.lastPercent) {
    s.lastPercent = percent;
    if ((st = ProgressTo(ctx, percent)) != kOk) {
      s.cancelled = true;
      return st;
    }
  }
  return kOk;
}

Status FinishSaving(EditContext* ctx) {
  if (!ctx || !ctx->save) return kBadArg;
  SaveState& s = *ctx->save;
  Status st = RasClose(s.in);
  if (st != kOk) ReportError(st, Phrase(3006, LeafName(ctx->imagePath).c_str()));
  Status closed = RasClose(s.out);
  if (closed != kOk) {
    ReportError(closed, Phrase(3006, LeafName(s.outputPath).c_str()));
    if (st == kOk) st = closed;
  }
  RasFreeSl(s.inSl);
  RasFreeSl(s.outSl);
  // One rename puts the finished image in place, with the bytes on the disk
  // first; a file it replaces hands over its mode, owner and attributes.
  if (st == kOk) {
    std::string why;
    st = MetaWriteExtras(s.save.TempPath(), s.out.format, s.out.meta, &why);
    if (st != kOk) ReportError(st, Phrase(3005, LeafName(s.outputPath).c_str()).c_str(), why.c_str());
  }
  if (st == kOk) {
    const std::string tempLeaf = LeafName(s.save.TempPath());
    std::string why;
    st = s.save.Commit(&why, ctx->syncOutputFolder);
    if (st == kWriteErr) ReportError(st, Phrase(3005, LeafName(s.outputPath).c_str()).c_str(), why.c_str());
    else if (st != kOk)
      ReportError(st, Phrase(3031, tempLeaf.c_str(), LeafName(s.outputPath).c_str()).c_str(), why.c_str());
  }
  s.save.Abort(s.out);
  EndSave(ctx);
  return st;
}

void AbortSaving(EditContext* ctx, Status status) {
  if (!ctx || !ctx->save) return;
  SaveState& s = *ctx->save;
  CloseFiles(s);
  s.save.Abort(s.out);
  DLog("AbortSaving status = %d", (int)status);
  EndSave(ctx);
}

Status FilterImage(EditContext* ctx, const SaveSettings& settings) {
  if (!ctx) return kBadArg;
  DLog("FilterImage...");
  Status st = OpenForSaving(ctx, settings);
  if (st != kOk) return st;
  SaveState& s = *ctx->save;

  // The correction transform at the input's depth (the row engine sets its
  // paths and ranges); none when every tool is neutral.
  TintmeshHandle* handle = nullptr;
  if (!ParsAtDefaults(ctx->pars)) {
    TavelinPars pars = ctx->pars;
    if ((st = MakeCorrectionTransform(&pars, TOOL_ALL, settings.gridIndex, s.inBytes, &handle)) != kOk) {
      ReportError(st, ResString(3019));
      AbortSaving(ctx, st);
      return st;
    }
  }
  FilterJob job;
  job.width = (int32_t)s.in.width;
  job.height = (int32_t)s.in.height;
  job.inDepth = s.inBytes;
  job.outDepth = s.outBytes;
  job.transform = handle ? handle->tintmesh : nullptr;
  job.settings = FilterSettingsOf(ctx->pars);
  job.reader = ReadRowForStage;
  job.readerContext = ctx;
  job.writer = WriteRowFromStage;
  job.writerContext = ctx;
  job.imageName = LeafName(ctx->imagePath);
  job.threads = HelperThreads();  // the input is read on a helper thread while this one corrects and writes
  st = FilterImageRows(job);
  FreeCorrectionTransform(&handle);
  if (st == kOk) st = FinishSaving(ctx);
  else AbortSaving(ctx, st);
  DLog("... FilterImage done");
  return st;
}
