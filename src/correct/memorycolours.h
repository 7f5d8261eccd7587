// Memory colours: stored definitions of how a familiar colour (skin,
// foliage, blue sky) should look, as an LCh model of lightness: at L* = L the
// colour has chroma L × chroma × 0.04 × (1 - 0.01 L) and hue
// hue + (L - 50) × hueSlope. Six slots live in the preferences; slots 0..2
// default to the built-in colours, 3..5 to undefined.
//
// This module owns the definition record and its defaults, applying a
// definition to a hue handle (ApplyMemoryColour), deriving one from a handle
// ("Set from Hue Handle"), the memory colour file, and the numbers of the
// preferences entry. A MemoryColour is a plain value; names are at most 20
// printable characters, labels one.
#pragma once

#include <cstdint>

#include "correct/tavelinpars.h"
#include "base/status.h"
#include "base/stream.h"

constexpr int kMemoryColourSlots = 6;
constexpr int kMemoryColourBuiltIn = 3;
constexpr int kMemoryColourNameMax = 20;
// Ranges accepted from the preferences and from files.
inline constexpr ParRange kMemChromaPrefs{0.0f, 180.0f, 0.0f};
inline constexpr ParRange kMemChromaFile{0.0f, 100.0f, 0.0f};
inline constexpr ParRange kMemHue{0.0f, 360.0f, 0.0f};  // preferences: 0 <= hue < 360
inline constexpr ParRange kMemHueSlope{-1.0f, 1.0f, 0.0f};
// "Memory Colors Set These" default: hue shift (0xFC00), brightness (0x0020), saturation (0x0200).
inline constexpr ToolMask kMemorySetMaskDefault = 0xFE20;

struct MemoryColour {
  uint8_t defined;
  float chroma;    // CIE LCh chroma at L* 50
  float hue;       // degrees at L* 50
  float hueSlope;  // degrees per L* unit
  char name[kMemoryColourNameMax + 1];
  char label[2];   // one character, or empty
};

// The default of a slot (0..5): "Skin" S 32 45 0, "Foliage" F 40 120 -0.5,
// "Blue Sky" B 40 258 -0.7, then undefined. kBadArg for another slot.
Status DefaultMemoryColour(int slot, MemoryColour* colour);

// Sets the handle `handleId` (identity 6..11 or index 0..5) so that its
// marked samples (bins 1..18) move halfway toward the definition: Before hue,
// shift, brightness and saturation from the samples' luma model, then the
// handles are normalised. kBadArg for an invalid record, an unknown handle or
// a handle without samples in bins 1..18 (record unchanged).
Status ApplyMemoryColour(TavelinPars* pars, int handleId, const MemoryColour* definition);
// What the editing window does after ApplyMemoryColour: clamps the handle's
// saturation to 0.3..0.7 and puts back, from `before`, the fields `setMask`
// excludes (hueShift without 0xFC00, brightness without 0x0020, saturation
// without 0x0200).
Status RestrictMemoryColourEdit(TavelinPars* pars, int handleId, const TavelinPars* before, ToolMask setMask);
// "Set from Hue Handle": the definition (chroma, hue, hueSlope) that fits the
// handle's samples after the hue step. kBadArg for an invalid record, an
// unknown handle or no samples in bins 1..18. Name, label and defined are untouched.
Status DefinitionFromHandle(TavelinPars* pars, int handleId, MemoryColour* definition);

// The memory colour file: "%d %3d %3d %4.1f %s\n" (1, chroma, hue, hueSlope,
// name) and "%c\n" (label). Writing needs a defined slot with a name and a
// label (kBadArg). Reading clamps chroma to 0..100, hue to 0..360, hueSlope to
// -1..1, cuts the name to 20 characters and blanks unprintable characters; a
// malformed first line gives kFormatErr and leaves *colour unchanged.
Status WriteMemoryColourFile(const StreamLocation& where, const MemoryColour* colour);
Status ReadMemoryColourFile(const StreamLocation& where, MemoryColour* colour);

// The preferences entry: 24 floats, per slot (defined, chroma, hue, hueSlope),
// or the older 12 (chroma, hue, hueSlope of slots 0..2, all defined).
// Numbers only; names and labels stay. A defined slot out of range is logged,
// reset to its default and ends the decode with kUnsupported. kFormatErr for
// null arguments or another count.
constexpr int kMemoryColourVectorCount = 24;
constexpr int kMemoryColourVectorCountOld = 12;
Status DecodeMemoryColours(const float* vector, int count, MemoryColour slots[kMemoryColourSlots]);
Status EncodeMemoryColours(const MemoryColour slots[kMemoryColourSlots], float* vector, int count);
