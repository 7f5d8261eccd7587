// The correction transform: ApplyTavelinPars runs the selected tools of a
// record on one colour in the one fixed order that defines the result
//   linear, balance, levels (black/gray/white), brightness, contrast,
//   shadow, highlight, saturation, hue step + toning;
// MakeCorrectionTransform samples that function into a Tintmesh: 1-D tables
// when only per-channel tools act on 8-bit data, otherwise an RGB lattice
// whose grid points sit where the gray-axis response bends most.
//
// Colours are channels 0..1 (clamped on entry). ApplyTavelinPars brings the
// record's curve caches up to date as a side effect, so it takes a non-const
// record; it does not validate (ApplyValidatedTavelinPars does).
// A transform is a snapshot of the record: later edits do not change it.
// The handle returned by MakeCorrectionTransform owns its Tintmesh; free it
// with FreeCorrectionTransform.
#pragma once

#include <cstdint>

#include "colormgmt/icctintmesh.h"
#include "base/pixelview.h"
#include "correct/tavelinpars.h"
#include "base/memory.h"
#include "base/status.h"
#include "transform/tintmesh.h"

// Runs the tools named by `mask` on one colour. A mask of exactly 0x0001
// stops after the linear step, exactly 0x0002 or 0x0003 after the balance.
// Fails with the status of a curve build.
Status ApplyTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]);
// The chain in two parts, ApplyTavelinPars = channel steps then colour
// steps on the clamped input: the steps that act on each channel alone
// (linear curve, balance, levels, brightness, contrast, shadow, highlight)
// and those that mix them (saturation, hue, toning). `c` is changed in place.
Status ApplyChannelSteps(TavelinPars* pars, ToolMask mask, float c[3]);
Status ApplyColourSteps(TavelinPars* pars, ToolMask mask, float c[3]);
// The same after ValidateTavelinPars; null colours give kBadArg. For pixel readouts.
Status ApplyValidatedTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]);

// Lattice points per channel by grid index 0..7: kGridSizes, the one table
// the colour conversions use too (colormgmt/icctintmesh.h).
// kBadArg for an index outside 0..7.
Status GridSize(int gridIndex, int* points);

// Builds the correction transform of `mask` (pruned first) for pixels of
// `depth` (1: 8-bit codes 0..255, 2: 16-bit codes 0..65535; the transform reads
// and writes that depth). kBadArg for a null record or handle, a grid index
// outside 0..7 or another depth; the validator's status; a Tintmesh status;
// kNoMem. On success *handle owns a new Tintmesh; on failure nothing is allocated.
Status MakeCorrectionTransform(TavelinPars* pars, ToolMask mask, int gridIndex, int depth, TintmeshHandle** handle);
// Frees the handle and its Tintmesh and clears *handle (null does nothing).
Status FreeCorrectionTransform(TintmeshHandle** handle);

// How lattice grid positions are chosen: kAdaptive where the gray-axis
// response bends (the transform's own rule), kEven evenly spaced (for
// comparison). `threads` lattice workers (1 or 2; 0 = HelperThreads()).
enum class NodePlacement { kAdaptive, kEven };
Status MakeCorrectionTransformWith(TavelinPars* pars, ToolMask mask, int gridIndex, int depth,
                                   NodePlacement placement, int threads, TintmeshHandle** handle);

// Node placement for one input channel: `response` is that channel's output
// at the 256 gray levels k/255. Writes at most n strictly increasing code
// positions (first 0, last 255 or 65535 by depth) and their count.
Status PlaceNodes(const float response[kCurveSize], int n, int depth, uint16_t* positions, int* count);

// The masks of the editing window's two preview transforms for tool panel
// 1..4, small or expanded: "after" (the corrected view) and "before" (the
// comparison view). kBadArg for another panel.
struct PreviewMaskPair {
  ToolMask after;
  ToolMask before;
};
Status GetPreviewMasks(int panel, bool expanded, PreviewMaskPair* masks);

// Reads pixels of an RGB raster through a correction transform of the
// record (none when the pruned mask is 0: raw values), as channels 0..1.
// Used by the marking tools and the analysis passes. Owns its transform.
class CorrectedRaster {
 public:
  CorrectedRaster() = default;
  CorrectedRaster(const CorrectedRaster&) = delete;
  CorrectedRaster& operator=(const CorrectedRaster&) = delete;
  ~CorrectedRaster();
  // kBadArg for a raster that is not 3-channel 8/16-bit; the transform's status.
  Status Open(TavelinPars* pars, ToolMask mask, int gridIndex, const RasterView* image);
  // One pixel, (x, y) inside the image.
  void Read(int x, int y, float rgb[3]) const;
  // Every stepX-th pixel of row y from x = 0, as codes of the image's depth
  // reduced to 8 bits (16-bit values / 257) into rgb8 (3 per pixel); the count.
  int ReadRow8(int y, int stepX, uint8_t* rgb8);
  const RasterView& Image() const { return image_; }

 private:
  RasterView image_;
  // Gathers every stepX-th pixel of row y into row_ and transforms it there; the count.
  int GatherRow(int y, int stepX);

  TintmeshHandle* transform_ = nullptr;
  MemPtr<uint16_t[]> row_;  // gathered samples of one row, then their transformed values
};
