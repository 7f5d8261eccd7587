// TavelinPars: the per-image correction record, and the tool mask that names
// its field groups. This header is the one place that states every
// parameter's range and neutral (reset) value: the tools, the GUI, the CLI and
// the files read them from here (the kPar* constants below).
//
// The record is a plain value: it owns no memory and is copied whole by
// assignment. Colour values are RGB triples of 32-bit floats 0.0..1.0 in the
// working space. Besides the user-visible values it caches curves derived
// from them (balance, shadow, highlight, toning), rebuilt lazily by the tools
// that use them; `balanceValid` is the only explicit dirty flag. The matrices
// and `linearCurve` follow `refRGB` and are rebuilt only by SetRefRGB.
//
// Invariants: `handleId`s are a permutation of 6..11; `hue[]` is sorted by
// `baseHue` after every handle edit. Filter fields (sharpen/noise) belong to
// the filter stage; no tool mask bit covers them and no reset touches them.
//
// Every operation returns 0 or a negative status (base/status.h) and hands
// results through out-parameters.
#pragma once

#include <cstdint>

#include "colormgmt/workingspaces.h"  // RefRGB
#include "base/status.h"

// ---- tool mask -------------------------------------------------------------
using ToolMask = uint16_t;

enum : ToolMask {
  TOOL_LINEAR = 0x0001,      // linear, and the use of linearCurve
  TOOL_BALANCE = 0x0002,     // balBin, neutralPref, balanceCurve, balanceValid
  TOOL_BLACK = 0x0004,       // blackPoint
  TOOL_GRAY = 0x0008,        // grayPoint
  TOOL_WHITE = 0x0010,       // whitePoint
  TOOL_BRIGHTNESS = 0x0020,  // brightness
  TOOL_SHADOW = 0x0040,      // shadow, shadowCache, shadowCurve
  TOOL_HIGHLIGHT = 0x0080,   // highlight, highlightCache, highlightCurve
  TOOL_CONTRAST = 0x0100,    // contrast
  TOOL_SATURATION = 0x0200,  // saturation
  TOOL_HUE0 = 0x0400,        // hue[0]; TOOL_HUE0 << h names hue[h]
  TOOL_HUE1 = 0x0800,
  TOOL_HUE2 = 0x1000,
  TOOL_HUE3 = 0x2000,
  TOOL_HUE4 = 0x4000,
  TOOL_HUE5 = 0x8000,
  // All six hue bits: the whole hue-selective tool, which together also owns
  // toneColor, toneCache, toneCurve and the handle identities.
  TOOL_HUE_ALL = 0xFC00,
  TOOL_ALL = 0xFFFF,
  TOOL_BEFORE_HUE = 0x03FF,   // every tool ahead of the hue-selective tool
  TOOL_POINTS = 0x001C,       // black, gray and white point
  TOOL_THROUGH_WHITE = 0x001F,
  TOOL_LINEAR_BALANCE = 0x0003,
};

// ---- sizes -------------------------------------------------------------
constexpr int kSampleBins = 20;  // lightness bins of marked colours
constexpr int kHueEntries = 6;   // hue-selective handles
constexpr int kCurveSize = 256;  // every cached curve
constexpr int kHandleIdFirst = 6;
constexpr int kHandleIdLast = 11;

// ---- ranges and reset values (inclusive ranges) ------------------------------
struct ParRange {
  float min;
  float max;
  float reset;  // the neutral value (or, for filter fields, the default)
  constexpr bool Contains(double v) const { return v >= min && v <= max; }  // false for NaN
};
struct IntParRange {
  int32_t min;
  int32_t max;
  int32_t reset;
  constexpr bool Contains(int64_t v) const { return v >= min && v <= max; }
};

inline constexpr ParRange kParNeutralChroma{0.0f, 100.0f, 0.0f};  // CIE LCh chroma at L* 50
inline constexpr ParRange kParNeutralHue{0.0f, 360.0f, 0.0f};     // degrees at L* 50
inline constexpr ParRange kParNeutralHueSlope{-1.0f, 1.0f, 0.0f}; // degrees per L* unit
inline constexpr float kNeutralChromaPlain = 0.001f;  // below this the target is plain gray
inline constexpr ParRange kParBlackPoint{-1.0f, 1.0f, 0.0f};
inline constexpr ParRange kParGrayPoint{0.0f, 1.0f, 0.5f};
inline constexpr ParRange kParWhitePoint{0.0f, 2.0f, 1.0f};
inline constexpr ParRange kParSlider{0.0f, 1.0f, 0.5f};  // brightness, shadow, highlight, contrast, saturation
inline constexpr ParRange kParBaseHue{0.0f, 360.0f, 0.0f};  // reset of entry h is h × 60
inline constexpr ParRange kParHueSlider{0.0f, 1.0f, 0.5f};  // hue entry brightness and saturation
inline constexpr ParRange kParToneColor{0.0f, 1.0f, 0.5f};  // each channel; (0.5, 0.5, 0.5) = no toning
inline constexpr ParRange kParGamma{0.5f, 5.0f, 2.2f};      // reset = default working space
inline constexpr ParRange kParWhiteXyz{0.1f, 2.0f, 1.0f};   // each of xyzWhite
inline constexpr float kPrimarySumMax = 1.000001f;          // x + y of each primary
// Filter fields: defaults a new record gets (no reset touches them).
inline constexpr IntParRange kParSharpenStrength{1, 24, 6};
inline constexpr IntParRange kParSharpenChannelMode{-1, 3, -1};  // -1 each channel; 0..3 that channel to all
inline constexpr IntParRange kParNoiseShape{0, 5, 4};
inline constexpr IntParRange kParNoiseRadius{0, 16, 0};  // 0 (off) or 3..16
inline constexpr int kNoiseRadiusMinOn = 3;
inline constexpr IntParRange kParNoiseThreshold{0, 255, 0};  // 8-bit sample units
inline constexpr int32_t kNoiseRadiusDefault[4] = {0, 8, 4, 0};      // Y, U, V, unused
inline constexpr int32_t kNoiseThresholdDefault[4] = {0, 16, 16, 0};  // Y, U, V, unused
inline constexpr uint8_t kDenoiseAuxDefault = 1;

// ---- the record ------------------------------------------------------------
// One lightness bin of marked colours: sums of R, G, B and the count.
struct SampleBin {
  float sum[3];
  int32_t count;
};

struct NeutralPref {
  float chroma;    // kParNeutralChroma
  float hue;       // kParNeutralHue
  float hueSlope;  // kParNeutralHueSlope
};

struct HueEntry {
  float baseHue;     // "Before" handle, degrees 0..360
  float hueShift;    // "After" minus "Before", degrees, read modulo 360 (must be finite)
  float brightness;  // 0..1, 0.5 neutral
  float saturation;  // 0..1, 0.5 neutral
  int32_t handleId;  // 6..11, stable identity of the handle
  SampleBin hueBin[kSampleBins];
};

struct TavelinPars {
  uint8_t linear;                   // 1: linear data; linearCurve runs first
  SampleBin balBin[kSampleBins];    // neutral samples by lightness
  NeutralPref neutralPref;          // preferred neutral (chroma < 0.001: plain gray)
  float blackPoint;                 // kParBlackPoint
  float grayPoint;                  // kParGrayPoint
  float whitePoint;                 // kParWhitePoint
  float brightness;                 // kParSlider
  float shadow;                     // kParSlider
  float highlight;                  // kParSlider
  float contrast;                   // kParSlider
  float saturation;                 // kParSlider
  HueEntry hue[kHueEntries];        // sorted by baseHue
  float toneColor[3];               // kParToneColor
  RefRGB refRGB;
  uint8_t balanceValid;             // 1: balanceCurve agrees with balBin, neutralPref, refRGB
  float balanceCurve[3][kCurveSize];
  float rgbToXyz[9];                // linear RGB -> XYZ (D50-adapted); element 3i + j: input i to output j
  float xyzToRgb[9];                // its inverse, same layout
  float linearCurve[kCurveSize];    // entry i = (i/255)^(1/gamma)
  float shadowCache;                // the shadow value shadowCurve was built for
  float shadowCurve[kCurveSize];
  float highlightCache;
  float highlightCurve[kCurveSize];
  float toneCache[3];               // the toneColor toneCurve was built for
  float toneCurve[3][kCurveSize];
  // Filter stage settings (read only by the filter stage).
  uint8_t sharpenOn;
  int32_t sharpenStrength;     // kParSharpenStrength
  int32_t sharpenChannelMode;  // kParSharpenChannelMode
  uint8_t denoiseOn;
  uint8_t denoiseAux;
  int32_t noiseRadius[4];      // Y, U, V, unused; 0 or 3..16
  int32_t noiseThreshold[4];   // Y, U, V, unused
  int32_t noiseShape;          // kParNoiseShape
};

// The handle identities must be a permutation of 6..11; a damaged set (from a
// file or a vector) is logged and renumbered h + 6 in index order.
Status RepairHandleIds(TavelinPars* pars, bool* repaired);

// ---- parameter vector ------------------------------------------------------
constexpr int kParVectorCount = 629;     // current form
constexpr int kParVectorCountOld = 609;  // older form: no neutralPref, toneColor, filter fields

// ---- operations --------------------------------------------------------------

// Sets the groups named by `mask` to their reset values. kBadArg for a null record.
Status ResetTavelinPars(TavelinPars* pars, ToolMask mask);
// Sets the filter fields to the defaults a new record gets.
Status SetFilterDefaults(TavelinPars* pars);
// A complete new record: full reset, the default working space, filter defaults.
Status InitTavelinPars(TavelinPars* pars);

// The filter fields' own check, for the filter stage (the record's validator
// does not look at them): 0 or kBadArg.
Status ValidateFilterSettings(const TavelinPars* pars);
// Copies the filter fields (sharpening and noise removal) from one record to another.
void CopyFilterSettings(const TavelinPars& from, TavelinPars* to);

// The default working space: gamma 2.2, the 6500 K daylight white, primaries
// 0.64 0.33, 0.30 0.60, 0.15 0.06.
RefRGB DefaultRefRGB();
// Stores the reference working space (null: the default space) and rebuilds
// rgbToXyz, xyzToRgb and linearCurve; marks the balance curves stale when the
// space changes. ValidateRefRGB's failure is returned unchanged, and kBadArg
// when the matrix cannot be formed or inverted; the record is then unchanged.
Status SetRefRGB(TavelinPars* pars, const RefRGB* workingSpace);

// 0 when every checked field is inside its range, kBadArg otherwise.
Status ValidateTavelinPars(const TavelinPars* pars);
Status ValidateRefRGB(const RefRGB* refRGB);

// Clears from *mask the groups whose current values leave the image unchanged.
Status PruneToolMask(const TavelinPars* pars, ToolMask* mask);

// Adds one colour (channels 0..1) to an array of kSampleBins bins, binned by
// trunc(20 × Rec.601 luma) clamped to 0..19. Callers adding to balBin also set
// balanceValid to 0 (AddBalanceSample does both).
Status AddSample(SampleBin* bins, const float rgb[3]);
Status AddBalanceSample(TavelinPars* pars, const float rgb[3]);
// The bin index a colour goes to.
int SampleBinIndex(const float rgb[3]);

// Handle identity (6..11) -> current index; an index 0..5 passed as id stands
// for itself. kBadArg when nothing matches.
Status HandleIdToIndex(const TavelinPars* pars, int id, int* index);
// Index (0..5) -> identity; 6..11 passed are already identities. kBadArg otherwise.
Status HandleIndexToId(const TavelinPars* pars, int index, int* id);

// Writes the 629-value parameter vector; kBadArg unless count is 629.
Status EncodeTavelinPars(const TavelinPars* pars, float* vector, int count);
// Reads a 629- or 609-value vector into the record: a full reset, the stored
// values, then the group checks. kFormatErr for null arguments or another
// count (record untouched). kUnsupported when a group was out of range: that
// group is logged and reset, the others keep their values (an invalid working
// space resets everything and installs the default space). Derived fields are
// rebuilt; balanceValid is 0 on return.
Status DecodeTavelinPars(const float* vector, int count, TavelinPars* pars);
