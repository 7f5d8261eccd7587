// Brivio: the one-button automatic correction. It analyses an RGB raster (the
// display image of the open image, or a thumbnail) and sets, in tool order,
// the linear flag (16-bit images only), the colour balance, the black, gray
// and white points, the global brightness, the saturation and the six hue
// handles. It never sets contrast, shadow or highlight, nor hue shifts, hue
// brightness or hue saturation (the hue step resets those to neutral).
//
// Every step reads the image through a correction transform of the tools
// ahead of the one it sets (grid index 0..7), visiting every stepX-th pixel
// of every stepY-th row by the analysis index 0..7 (tonetools.h
// AnalysisSteps), and works on 8-bit values (16-bit codes / 257). Steps write
// record fields only; the caller rebuilds its previews afterwards.
//
// A step either succeeds or leaves the record as it was: it works on a copy
// and stores it on success. The image is only read and must outlive the call;
// large images are read in two bands of rows on two threads, with results
// that do not depend on the split. Brivio keeps no state of its own besides
// what BrivioContext holds for the editing context.
#pragma once

#include <cstdint>

#include "correct/colourbalance.h"
#include "base/pixelview.h"
#include "correct/regionfill.h"
#include "correct/tavelinpars.h"
#include "base/status.h"

// ---- preferences ---------------------------------------------------------------
// "Brivio Sets These": linear, colour balance, black point, white point,
// global brightness, saturation and hue handles (not the gray point).
inline constexpr ToolMask kBrivioSetMaskDefault = 0xFE37;
// "Preferred Saturation", 0.0..1.0 (the menu's percent / 100).
inline constexpr float kPreferredSaturationDefault = 0.8f;

// The constants RunBrivio passes to the steps.
inline constexpr double kBrivioLinearLimit = 1.3;      // AutoLinear: largest exponent of linear data
inline constexpr double kBrivioBalanceDark = 0.004;    // AutoBalance: darkest fraction
inline constexpr double kBrivioBalanceLight = 0.004;   // AutoBalance: lightest fraction
inline constexpr double kBrivioBalanceChroma = 0.35;   // AutoBalance: largest chroma of a neutral
inline constexpr double kBrivioLevelsLow = 0.002;      // AutoLevels: clipped fraction at black
inline constexpr double kBrivioLevelsHigh = 0.002;     // AutoLevels: clipped fraction at white
inline constexpr double kBrivioKeyLow = 0.4;           // AutoBrightness: brightness key band
inline constexpr double kBrivioKeyHigh = 0.6;
inline constexpr double kBrivioSaturationTop = 0.002;  // AutoSaturation: fraction brought to the preference

// ---- the steps -------------------------------------------------------------------
// Each step returns kBadArg (record unchanged) for a null record, an analysis
// or grid index outside 0..7, a fraction outside 0.0..1.0, or a raster that is
// not 3-channel 8/16-bit; the record check's status; a transform build's
// status; kNoMem.

// Linear detection: `linear` becomes 1 when the exponent that maps the median
// luma of the raw image to 18.4 % gray is at most `exponentLimit` (> 0).
// An 8-bit image is never linear: `linear` becomes 0.
Status AutoLinear(TavelinPars* pars, const RasterView* image, int analysisIndex, double exponentLimit, int gridIndex);

// Colour balance: resets TOOL_BALANCE, then marks as neutral (MarkNeutral)
// the darkest pixel when the darkest `darkFraction` of the pixels are on
// average grayer than `chromaLimit` (model-1 chroma), and the same for the
// brightest pixel with `lightFraction`. Reads through the linear step only.
Status AutoBalance(TavelinPars* pars, const RasterView* image, int analysisIndex, double darkFraction,
                   double lightFraction, double chromaLimit, int gridIndex);

// Black, gray and white points from the luma histogram after linear and
// balance: each point whose bit is in `mask` (TOOL_BLACK, TOOL_GRAY,
// TOOL_WHITE). Black and white clip `lowFraction` / `highFraction` of the
// pixels part of the way; the gray point moves halfway toward the median.
Status AutoLevels(TavelinPars* pars, const RasterView* image, int analysisIndex, double lowFraction,
                  double highFraction, ToolMask mask, int gridIndex);

// The brightness key: the mean luma (0..1) after tools 0x001F, weighted
// toward the image centre and toward moderately colourful pixels; 0.5 when
// the weights sum to less than one pixel. `regionMask` (may be null) is
// prepared for the image and receives the pixels that weigh at least 65/256.
Status BrightnessKey(TavelinPars* pars, const RasterView* image, int analysisIndex, int gridIndex,
                     RegionMask* regionMask, double* key);
// The brightness for a key: 0.5 when the key lies in low..high, otherwise
// the value a (to 0.005) for which Bias(key, a) reaches the nearer end of
// the band, found by bisection.
double BrightnessForKey(double key, double low, double high);
// Global brightness: BrightnessForKey of the image's brightness key.
Status AutoBrightness(TavelinPars* pars, const RasterView* image, int analysisIndex, double low, double high,
                      int gridIndex, RegionMask* regionMask);

// Saturation: the HSL saturation that the most saturated `topFraction` of the
// mid-tone pixels reach after tools 0x01FF is brought to `preferred`.
Status AutoSaturation(TavelinPars* pars, const RasterView* image, int analysisIndex, double topFraction,
                      double preferred, int gridIndex);

// Hue handles at the peaks of the chroma-weighted hue histogram after tools
// 0x03FF (at most six, at least 10 degrees apart), the rest filling the
// widest gaps; the six default hues when there is no peak. Every entry gets
// shift 0, brightness 0.5 and saturation 0.5; sample bins and handle
// identities stay where they are.
Status AutoHueHandles(TavelinPars* pars, const RasterView* image, int analysisIndex, int gridIndex);

// The handle placement from a 360-bin hue histogram (bin weights >= 0,
// at most 2^40 each): the six hues, ascending, 0..359.
constexpr int kHueBins = 360;
Status PlaceHueHandles(const int64_t histogram[kHueBins], int hues[kHueEntries]);
// The second half of the placement, from the peaks found (at most six, hue
// 0..359, any order): sorted by hue, a peak less than 10 degrees after the
// one before it merged away (the smaller mass goes, the later on a tie),
// the six default hues when none is left, otherwise the widest gaps filled
// and the added handles spread evenly between the peaks around them.
struct HuePeak {
  int32_t hue;
  int64_t mass;
};
Status HandlesFromPeaks(const HuePeak* peaks, int count, int hues[kHueEntries]);

// ---- the master sequence -----------------------------------------------------------
// Which analysis decides the settings: Classic is the sequence of steps
// above; Adaptive (brivio_adaptive.h) models the picture's cast, exposure and
// haze in linear light and fills the same record fields.
enum class BrivioAnalysis : int32_t { kClassic = 0, kAdaptive = 1 };

struct BrivioSettings {
  BrivioAnalysis analysis = BrivioAnalysis::kClassic;
  ToolMask setMask = kBrivioSetMaskDefault;
  float preferredSaturation = kPreferredSaturationDefault;  // 0.0..1.0
  int32_t analysisIndex = 7;                                // 0..7
  int32_t gridIndex = 7;                                    // 0..7
};

// What RunBrivio reads and writes besides the image. The editing context
// owns one for the open image; `pars` points at that image's record and
// `regionMask` (may be null) at the sampled-region overlay.
struct BrivioContext {
  TavelinPars* pars = nullptr;
  BrivioSettings settings;
  bool hueTabActive = false;  // the hue-selective panel is the one shown
  // Pending placement: the hue handles wait until the hue panel is next
  // shown (PlacePendingHueHandles); cleared whenever the handles are placed.
  bool huePlacementPending = false;
  // The active hue handle (identity 6..11) and whether colours were marked
  // for it since it became active; Brivio's placement makes handle 0 active.
  int32_t activeHandle = kHandleIdFirst;
  bool activeHandleMarked = false;
  // The Color Cast wedge of the balance panel, refreshed after the balance step.
  CastSwatch castWedge[kCastWedgeSteps] = {};
  RegionMask* regionMask = nullptr;
};

// The groups Brivio may set: the set mask; for the Adaptive analysis the
// Global Brightness box also covers contrast, shadow and highlight.
ToolMask BrivioEffectiveSetMask(const BrivioSettings& settings);

// The hue step: toning reset, then the handles placed (AutoHueHandles, handle
// 0 made active) or, when no entry was edited and the hue panel is not the
// one shown, marked as pending placement.
Status BrivioHueStep(BrivioContext* context, const RasterView* image);

// Runs the steps for the groups in `mask` AND the set mask, in tool order.
// A failure is reported with "calculating auto settings" and ends the run;
// the steps already done keep their results.
Status RunBrivio(BrivioContext* context, ToolMask mask, const RasterView* image);

// When the hue panel is shown: marks it active, then places the handles
// when they are pending (Brivio with 0xFC00).
Status PlacePendingHueHandles(BrivioContext* context, const RasterView* image);

// The masks RunBrivio is called with. A "Brivio" button first resets the
// same groups (ResetTavelinPars, and the balance sliders) and then runs.
enum class BrivioOccasion {
  kMasterButton,      // also the Add Image preference "Brivio"
  kPanelButton,       // a panel's "Brivio" button; panel 1..4
  kModeLinear,        // "Brivio Mode" on, after the 'Linear' check box changes
  kModeBalance,       // after a colour-balance edit or a panel 1 Reset
  kModePoints,        // after a black, gray or white point edit or a panel 2 Reset
  kModeBrightness,    // after moving Global Brightness
  kModeShadow,        // ... Shadows
  kModeHighlight,     // ... Highlights
  kModeContrast,      // ... Contrast
  kModeSaturation,    // ... Saturation
  kModePanel3Reset,   // after a panel 3 Reset
  kHuePanelPending,   // the hue panel is shown while its handles are pending
};
// `panel` (1..4) and `brivioMode` matter only for kPanelButton. kBadArg for
// another panel or an unknown occasion.
Status BrivioMask(BrivioOccasion occasion, int panel, bool brivioMode, ToolMask* mask);
