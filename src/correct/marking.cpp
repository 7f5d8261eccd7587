#include "correct/marking.h"

#include <algorithm>
#include <cstdint>

#include "correct/colourbalance.h"
#include "correct/correctiontransform.h"
#include "correct/hueselective.h"
#include "correct/tonetools.h"

Status MarkNeutral(TavelinPars* pars, const RasterView* image, int gridIndex, int x, int y, RegionMask* regionMask) {
  if (!pars || CheckRgbRaster(image) != kOk || !IsGridIndex(gridIndex)) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return kBadArg;
  RegionMask own;
  RegionMask* mask = regionMask ? regionMask : &own;
  if (Status st = mask->Prepare(image->width, image->height); st != kOk) return st;
  // Pixels are read after the linear step only (nothing for non-linear data).
  CorrectedRaster reader;
  if (Status st = reader.Open(pars, TOOL_LINEAR, gridIndex, image); st != kOk) return st;
  pars->balanceValid = 0;
  return GrowRegion(
      image->width, image->height, x, y, [&reader](int px, int py, float rgb[3]) { reader.Read(px, py, rgb); },
      pars->balBin, mask);
}

Status MarkHueColour(TavelinPars* pars, const RasterView* image, int gridIndex, int x, int y, int* activeHandle,
                     RegionMask* regionMask) {
  if (!pars || !activeHandle || CheckRgbRaster(image) != kOk || !IsGridIndex(gridIndex)) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return kBadArg;
  int k = -1;
  if (*activeHandle >= 0 && HandleIdToIndex(pars, *activeHandle, &k) != kOk) return kBadArg;
  RegionMask own;
  RegionMask* mask = regionMask ? regionMask : &own;
  if (Status st = mask->Prepare(image->width, image->height); st != kOk) return st;
  // The colours as the hue tool sees them: after every earlier tool.
  CorrectedRaster reader;
  if (Status st = reader.Open(pars, TOOL_BEFORE_HUE, gridIndex, image); st != kOk) return st;
  SampleBin marked[kSampleBins] = {};
  if (Status st = GrowRegion(
          image->width, image->height, x, y, [&reader](int px, int py, float rgb[3]) { reader.Read(px, py, rgb); },
          marked, mask);
      st != kOk)
    return st;
  double hue;
  if (Status st = MeanHue(marked, kHueChromaLimit, &hue); st != kOk) return st;  // too neutral
  if (k < 0) NearestHandle(pars, hue, &k);
  HueEntry& e = pars->hue[k];
  for (int i = 0; i < kSampleBins; ++i) {
    for (int c = 0; c < 3; ++c) e.hueBin[i].sum[c] += marked[i].sum[c];
    e.hueBin[i].count = (int32_t)std::min<int64_t>((int64_t)e.hueBin[i].count + marked[i].count, INT32_MAX);
  }
  double base;
  if (MeanHue(e.hueBin, kHueChromaLimit, &base) == kOk) e.baseHue = (float)base;
  const int id = e.handleId;
  if (Status st = NormalizeHandles(pars, k); st != kOk) return st;
  *activeHandle = id;
  return kOk;
}

Status LevelsHistogram(const RasterView* image, int analysisIndex, TavelinPars* pars, int gridIndex,
                       uint32_t histogram[256], uint32_t (*channels)[256]) {
  int stepX, stepY;
  if (!pars || !histogram || CheckRgbRaster(image) != kOk || AnalysisSteps(analysisIndex, &stepX, &stepY) != kOk ||
      !IsGridIndex(gridIndex))
    return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  CorrectedRaster reader;
  if (Status st = reader.Open(pars, TOOL_LINEAR_BALANCE, gridIndex, image); st != kOk) return st;
  MemPtr<uint8_t[]> row = MemNewArray<uint8_t>((size_t)image->width * 3, false);
  if (!row) return kNoMem;
  for (int i = 0; i < 256; ++i) histogram[i] = 0;
  if (channels)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) channels[c][i] = 0;
  for (int y = 0; y < image->height; y += stepY) {
    const int n = reader.ReadRow8(y, stepX, row.get());
    for (int i = 0; i < n; ++i) ++histogram[Luma8(row[3 * i], row[3 * i + 1], row[3 * i + 2])];
    if (channels)
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) ++channels[c][row[3 * i + c]];
  }
  return kOk;
}
