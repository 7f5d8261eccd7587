// EditContext: the editing context, one per editing window (and one per run
// of the command-line tool). It owns the Batchline list, the loaded image's
// display copies, its input transform, the preview and full correction
// transforms and the live correction record, and, during a save, the save
// state. It lives from the window's creation to the end of the run and is
// freed with FreeTavelinPars.
//
// This module brings one Batchline entry into the context: for editing
// (record, file query, input transform, display image, transforms) or for
// saving (the same without the display image), applies a correction record
// to the context, and keeps the transforms. Saving is pipeline.h; the list
// operations are batchline.h.
//
// Depths: image0 holds the image as read, after the input conversion, at 1
// byte per sample when the file's maximum value is below 256, else 2;
// image1 the preview transform's result (8-bit, for the screen). Transforms
// belong to the context (freed when rebuilt and by FreeTavelinPars).
// Everything here runs on the one user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "colormgmt/inputcolour.h"
#include "correct/regionfill.h"
#include "correct/tavelinpars.h"
#include "filters/decodeonce.h"
#include "filters/pixelbuffer.h"
#include "imagefile/ras.h"
#include "imagefile/imagesave.h"
#include "base/status.h"
#include "session/batchline.h"
#include "session/pipeline.h"
#include "transform/tintmesh.h"

struct AppSession;

// What a file query says about an image (or what the output will be).
struct ImageInfo {
  int32_t format = 0;     // RasFormat
  int32_t colorType = 0;  // RasColorType
  int32_t channels = 0;
  int32_t maxValue = 0;   // 255, 65535 (16-bit TIFF)
  float resolution = -1;
  uint32_t width = 0, height = 0;
  int32_t fileColorType = 0;  // gray or CMYK: what the file holds, read as RGB; 0: as colorType
  int32_t Depth() const { return maxValue < 256 ? 1 : 2; }  // bytes per sample
};

// One save in progress (pipeline.h). Freed when the save ends.
struct SaveState {
  bool replaceOriginal = false;  // the output name is the input file itself
  std::string outputPath;        // where the finished image goes
  ImageSave save;                // the output's one save path: a locked temporary file beside it
  SaveSettings settings;         // the save's snapshot of the preferences
  RasImage in, out;
  RasScanline inSl, outSl;
  HeldImage* held = nullptr;     // the input's rows read from memory instead of the file (decodeonce.h)
  std::unique_ptr<RgbToGray> toGray;  // a gray input saved as gray: the corrected rows back to its gray
  int32_t inBytes = 1, outBytes = 1;
  int32_t lastPercent = -1;
  bool cancelled = false;
};

struct EditContext {
  AppSession* app = nullptr;
  Batchline batch;
  BatchlineHooks hooks;

  // The loaded entry.
  bool imageOpen = false;
  int32_t loadedIndex = -1;   // the entry the image fields describe
  std::string imagePath;      // of the loaded entry
  std::string displayName;    // shown in questions
  std::string outputPath;     // chosen by ChooseOutput
  ImageInfo input, output;
  int32_t orientation = 0;    // the file's EXIF orientation (ReadDisplayImage); the views show it upright
  std::string inputProfilePath;  // empty: the image is in the working space
  Tintmesh* inputQX = nullptr;   // input profile to working space, at the image's depth

  TavelinPars pars;           // the live record (with its filter settings)
  TintmeshHandle* previewQX = nullptr;  // display image's depth in, 8-bit out
  TintmeshHandle* fullQX = nullptr;     // the image's depth in and out
  ToolMask previewMask = TOOL_ALL;      // the window's "after" mask

  // Display (SetUpImages).
  int32_t viewWidth = 0, viewHeight = 0;  // the display size limit
  PixelBuffer image0, image1;
  MemPtr<uint8_t[]> drawMap;              // 3 bytes per pixel, rows padded to 4 bytes
  int32_t drawRowBytes = 0;
  RegionMask selectionMask;
  bool scaled = false;                    // image0 smaller than the file
  int32_t zoom = 0;

  // Saving.
  std::unique_ptr<SaveState> save;
  bool batchSaving = false;          // a batch save runs: a cancel asks first
  // Each saved file's folder is synced with it (the window); false: the
  // caller syncs the output folders itself, once for a batch (the command line).
  bool syncOutputFolder = true;
  // The next save's input rows, decoded already (decodeonce.h): the save reads
  // them instead of the file and may change them. Set by the caller for one save.
  HeldImage* held = nullptr;
  int64_t progressBase = 0;          // batch progress: where this image's 0..100 starts
  bool progressOwned = false;        // this save opened the progress window itself

  EditContext() = default;
  EditContext(const EditContext&) = delete;
  EditContext& operator=(const EditContext&) = delete;
  ~EditContext();
};

// The grid index of colour conversions and correction transforms, by the
// session's preferences (preference 51).
int32_t ContextGridIndex(const EditContext* ctx);

// Prepares a new context on the session (one with its preferences record): empty Batchline (its files in the
// preferences folder, not yet opened), a reset record in the current working
// space.
Status InitEditContext(EditContext* ctx, AppSession* app);
// Frees everything the context holds (image, transforms, save state, list)
// and releases the Batchline's lock. The Batchline's files stay on disk.
Status FreeTavelinPars(EditContext* ctx);

// Allocates image0 and image1 (3 channels, 2 bytes, width × height), the
// drawing pixel map and the selection mask; the display size limit becomes
// the view's size. On failure everything is freed. Logs "SetUpImages..." and
// "...SetUpImages".
Status SetUpImages(EditContext* ctx, int32_t width, int32_t height);

// The working space of preference 70 made live (profile path, refRGB,
// monitor transform with the grid of preference 51); with an image open its
// input transform and display image are rebuilt. kBadArg outside 0..14.
// A null context sets up the application's working space only.
Status SetUpWorkingSpaceFor(EditContext* ctx);

// "making input QX": the transform from the context's input profile to the
// working space, at the loaded image's depth; none when the profile path is
// empty or the working space's own. A failure is reported and the image is
// used unconverted.
Status MakeInputTransformFor(EditContext* ctx);

// Copies the groups of `mask` (and, with `withFilters`, the sharpening and
// noise settings) from `source` into the live record. With `checkWorkingSpace`
// a record made in another working space asks "The RGB working space has
// changed. ..." (Use Anyway / Cancel: kCancelled, nothing copied). The linear
// flag is copied only for a 16-bit image.
Status ApplyParsToContext(EditContext* ctx, const TavelinPars& source, bool checkWorkingSpace, ToolMask mask,
                          bool withFilters);

// Loads the current entry for editing: record, file query, the record applied
// (working-space question), input transform, display image, preview and full
// transforms, with the progress "Reading %s...". imageOpen becomes true only
// when every step succeeded.
Status LoadEntryForEditing(EditContext* ctx);
// The same for saving entry `index`: record, file query, record applied,
// input transform; no display image, no preview. The display name is set.
// An input profile whose transform cannot be made fails the load
// (kFormatErr): the image is not saved unconverted.
Status LoadEntryForSaving(EditContext* ctx, int32_t index);
// The same for a record made for `path` (MakeImageRecord's bytes) that is
// not in the list (the command line's add and save of one image).
Status LoadRecordForSaving(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record);
// Reads the display image of the loaded file into image0 (two steps for a
// file more than twice the view in both directions), through the input
// transform, turned upright as the file's EXIF orientation says (noted in
// `orientation`; the saved pixels are not turned, the tag goes with them).
// Failures other than kCancelled are reported ("reading image file %s").
Status ReadDisplayImage(EditContext* ctx);
// The loaded image's size as shown: the file's, width and height swapped
// when its orientation turns it a quarter.
void UprightFileSize(const EditContext* ctx, int32_t* width, int32_t* height);
// How an image is read for correction: a gray or CMYK file as RGB in
// `rgbProfile` (its entry's input profile: the working space's at the time it
// was added), through the profile it embeds, else the defaults of the Color
// Management preferences of `prefs` (the session's record); a camera raw
// file rendered linear in the primaries of that working space (sRGB's when
// `rgbProfile` is no working space's), so adding and saving read the same pixels.
ReadOptions CorrectionReadOptions(const std::string& rgbProfile, const Prefs& prefs);
// The same for the loaded entry, with the session's record.
ReadOptions CorrectionReadOptions(const EditContext* ctx);
// Forgets the loaded image (transforms, display copies' contents); the list stays.
void CloseImage(EditContext* ctx);

// Rebuilds the preview transform from the live record with `mask`, reading
// `inputDepth` and writing `outputDepth` (1 or 2). Reported as "creating Tintmesh".
Status MakePreviewTransform(EditContext* ctx, ToolMask mask, int32_t inputDepth, int32_t outputDepth);
// Rebuilds the full transform from the live record at the loaded image's depth.
Status MakeFullTransform(EditContext* ctx);
// image1 := image0 through the preview transform (8-bit).
Status RenderCorrectedImage(EditContext* ctx);

// True when two records differ by more than 0.00001 in any value or flag of
// the parameter vector (filter settings included).
bool ParsDiffer(const TavelinPars& a, const TavelinPars& b);
// True when the record's tools are all neutral (filters not looked at).
bool ParsAtDefaults(const TavelinPars& pars);
// A new record: reset, in the current working space, filter defaults.
Status NewRecordInWorkingSpace(const EditContext* ctx, TavelinPars* pars);
