// The marking tools: what the editing window's clicks and Brivio's analysis
// read from an image through the correction of the tools before the one they
// set (a neutral for the colour balance, a colour for a hue handle, the
// levels histogram). They read pixels with a CorrectedRaster, so they sit
// above the correction transform, which itself runs the tools.
#pragma once

#include <cstdint>

#include "base/pixelview.h"
#include "base/status.h"
#include "correct/regionfill.h"
#include "correct/tavelinpars.h"

// Marks the neutral at display pixel (x, y): grows a region of similar pixels
// (read through the record's linear step, as a transform at grid `gridIndex`
// when the image is linear) and adds it to balBin (balanceValid becomes 0).
// `regionMask` (may be null) is prepared for the image and receives the
// sampled pixels. kBadArg for a point outside the image, a raster that is not
// 3-channel 8/16-bit, a bad grid index or an invalid record; kNoMem.
Status MarkNeutral(TavelinPars* pars, const RasterView* image, int gridIndex, int x, int y, RegionMask* regionMask);

// Marks a colour for a handle: grows a region at display pixel (x, y), read
// through the transform of every tool before the hue tool (mask 0x03FF,
// pruned) at grid `gridIndex`, into temporary bins; the receiving handle is
// *activeHandle (an identity 6..11, or an index 0..5) when it is >= 0,
// otherwise the handle nearest the marked hue. Its bins gain the samples,
// its baseHue becomes their mean hue and the handles are normalised. On
// success *activeHandle holds the receiving handle's identity.
// kBadArg for a point outside the image, a non-RGB raster, an invalid record,
// or a region too neutral to specify a hue (chroma below 0.075; nothing added).
Status MarkHueColour(TavelinPars* pars, const RasterView* image, int gridIndex, int x, int y, int* activeHandle,
                     RegionMask* regionMask);

// The 256-bin luma histogram of the image after the linear step and the
// colour balance (a transform of the record restricted to TOOL_LINEAR |
// TOOL_BALANCE at the given grid), sampled by the analysis index. 16-bit
// values are reduced to 8 bits by dividing by 257. The record's balance
// curves are brought up to date. With `channels`, the same samples also fill
// one 256-bin histogram per channel (R, G, B). kBadArg for bad indices or a
// non-RGB raster.
Status LevelsHistogram(const RasterView* image, int analysisIndex, TavelinPars* pars, int gridIndex,
                       uint32_t histogram[256], uint32_t (*channels)[256] = nullptr);
