// The save pipeline: writes the loaded entry of an editing context as a
// corrected image. ChooseOutput picks the format and path from the save
// preferences; OpenForSaving opens the input and the output (with the
// working-space profile and the input's EXIF block without its thumbnail);
// FilterImage runs every row from the input through the input transform and
// the filter stage (noise filter, correction transform, unsharp mask) into
// the output; FinishSaving or AbortSaving ends it.
//
// Data safety: the output is always written to a unique locked temporary
// file in its own folder (safefile.h) and renamed over the output path only
// after the last row and both closes succeeded, with its bytes on the disk
// first, so the output path never holds a partial image and an output that
// replaces its input leaves the input untouched until the final rename. The
// rename replaces what has the output's name: a file keeps its mode, owner
// and attributes, a symbolic link is replaced and its target left alone, a
// file with other hard links is refused. A failed or cancelled save removes
// its temporary file; temporary files of killed processes in the output's
// folder are removed before the first save there. An output counts as the
// input when the path is the same or its name is the input file (another
// spelling of the path, another letter case on a file system that ignores
// case), never when it is a link to it.
//
// Memory: one input and one output scanline plus the filter stage's rows;
// never the image, unless the caller hands the save an image decoded already
// (EditContext::held), whose rows are then read instead of the file.
//
// Progress goes to UiHost per percent of rows; a cancel during a batch save
// asks "Are you sure you want to cancel the saving process?" (Cancel ends the
// save with kCancelled, Continue goes on), outside a batch it ends the save
// at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colormgmt/inputcolour.h"
#include "imagefile/imagemeta.h"

#include "base/naming.h"
#include "base/outputplan.h"
#include "base/status.h"
#include "filters/iprow.h"

struct EditContext;
struct Prefs;

// The settings one save works with: a snapshot of the preferences taken when
// the operation that saves starts (SaveSettingsOf), kept by the save state
// while the save runs, so the pipeline never reads the preferences record.
struct SaveSettings {
  int32_t outputFormat = 0;     // preference 88: 0 same as the input, else a RasFormat
  OutputNaming naming;          // 73, 74, 96, 75, 97, 76, 77
  bool embedProfile = false;    // 71: the working-space profile goes into the output
  bool preserveExif = false;    // 72
  int32_t jpegQuality = 100;    // 78 as 0..100
  int32_t tiffCompression = 1;  // 133: 1 none, 5 LZW, 8 Deflate (TIFF outputs only)
  bool removeSaved = false;     // 118: the cancel question says saved images leave
  int32_t gridIndex = 0;        // 51: the correction transform's grid
  bool keepGray = false;        // 136: a gray input is saved as gray where the format holds it
  InputColourDefaults inputDefaults;  // 134, 135: the gray and CMYK profiles of inputs without one
};
SaveSettings SaveSettingsOf(const Prefs& prefs);

// Output format, maximum value and path of the loaded image (the format and
// the naming rules of `settings`). A camera raw input with "Same as original"
// asks "Cannot save as RAW, saving 16-bit TIFF instead." (Save TIFF / Cancel).
Status ChooseOutput(EditContext* ctx, const SaveSettings& settings);
// The same with the format given (Save Image as...): TIFF becomes 16-bit
// TIFF for 16-bit input; the path is `path`.
Status SetOutput(EditContext* ctx, int32_t format, const std::string& path);

// The output path ChooseOutput gives the image at `imagePath`, worked out
// from the file alone (for the output plan of a batch, before any is
// loaded), by `settings`. The file's status when it cannot
// be recognised.
Status PlannedOutputPath(const SaveSettings& settings, const std::string& imagePath, std::string& outputPath);
// The output plan (outputplan.h) of a batch save: the verdict for each of
// `images`, in order, saved by `settings`, against those images and
// `otherInputs` (the rest of the Batchline). An image whose output path
// cannot be worked out (its file cannot be recognised) passes: its add or
// save says why.
std::vector<PlanVerdict> PlanBatchOutputs(const SaveSettings& settings, const std::vector<std::string>& images,
                                          const std::vector<std::string>& otherInputs = {});

// The JPEG quality handed to the writer: preference 78 × 100, rounded half away from zero.
int32_t JpegQualityFromPrefs(float fraction);
// True when `output` names the file `input` names: the same path, or the
// output's own name (a link there not followed) is the input's file.
bool SameFile(const std::string& input, const std::string& output);

// The write options of an output in `format` by `settings`: the JPEG quality;
// for TIFF the compression, with the horizontal predictor when compressed.
WriteOptions WriteOptionsFor(const SaveSettings& settings, int32_t format);
// For a TIFF `format` (8 or 16-bit): `compression` (1 none, 5 LZW, 8 Deflate),
// with the horizontal predictor when compressed. Other formats are left alone.
void SetTiffCompression(WriteOptions& options, int32_t format, int32_t compression);

Status OpenForSaving(EditContext* ctx, const SaveSettings& settings);
// Row `line` of the input, converted by the input transform, as three planes
// at the input depth.
Status ReadScanline(EditContext* ctx, uint32_t line, IPRow* planes);
// Writes row `line` from three planes at the output depth and moves the progress.
Status WriteScanline(EditContext* ctx, uint32_t line, const IPRow& planes);
// Closes both files and puts the output in place.
Status FinishSaving(EditContext* ctx);
// Closes both files and removes the temporary output; reports nothing further.
void AbortSaving(EditContext* ctx, Status status);

// The whole save of the loaded entry to ctx->outputPath: open, rows, finish
// (or abort). Logs "FilterImage..." and "... FilterImage done". The callers
// make the saved record the previous settings.
Status FilterImage(EditContext* ctx, const SaveSettings& settings);
