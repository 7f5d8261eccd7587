#include "correct/correctiontransform.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "correct/tonetools.h"
#include "base/cpus.h"
#include "base/debuglog.h"
#include "transform/tintmesh_eval.h"

namespace {
float Clamp01f(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }
}  // namespace

Status ApplyChannelSteps(TavelinPars* pars, ToolMask mask, float c[3]) {
  if ((mask & TOOL_LINEAR) && pars->linear == 1)
    for (int k = 0; k < 3; ++k) c[k] = (float)CurveLookup(c[k], pars->linearCurve, kCurveSize);
  if (mask & TOOL_BALANCE)
    if (Status st = ApplyBalance(pars, c, c); st != kOk) return st;
  if (mask & TOOL_POINTS) ApplyLevels(pars, mask, c, c);
  if (mask & TOOL_BRIGHTNESS) ApplyBrightness(pars, c, c);
  if (mask & TOOL_CONTRAST) ApplyContrast(pars, c, c);
  if (mask & TOOL_SHADOW) ApplyShadow(pars, c, c);
  if (mask & TOOL_HIGHLIGHT) ApplyHighlight(pars, c, c);
  return kOk;
}

Status ApplyColourSteps(TavelinPars* pars, ToolMask mask, float c[3]) {
  if (mask & TOOL_SATURATION) ApplySaturation(pars, c, c);
  if (mask & TOOL_HUE_ALL) {
    bool neutral = true;
    for (const HueEntry& e : pars->hue)
      neutral = neutral && e.hueShift == 0.0f && e.brightness == 0.5f && e.saturation == 0.5f;
    if (!neutral) {  // the conversions are skipped when the hue step is the identity
      const double rgb[3] = {c[0], c[1], c[2]};
      double hsy[3];
      RgbToHslD(rgb, kModelLuma, hsy);
      float h[3] = {(float)(hsy[0] * 360.0), (float)hsy[1], (float)hsy[2]};
      ApplyHueSelective(pars, h, h);
      const double back[3] = {h[0] / 360.0, h[1], h[2]};
      double res[3];
      HslToRgbD(back, kModelLuma, res);
      for (int k = 0; k < 3; ++k) c[k] = (float)res[k];
    }
    if (Status st = ApplyToning(pars, c, c); st != kOk) return st;
  }
  return kOk;
}

Status ApplyTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]) {
  if (!pars || !rgbIn || !rgbOut) return kBadArg;
  float c[3] = {Clamp01f(rgbIn[0]), Clamp01f(rgbIn[1]), Clamp01f(rgbIn[2])};
  Status st = ApplyChannelSteps(pars, mask, c);
  if (st == kOk) st = ApplyColourSteps(pars, mask, c);
  if (st != kOk) return st;
  rgbOut[0] = c[0];
  rgbOut[1] = c[1];
  rgbOut[2] = c[2];
  return kOk;
}

Status ApplyValidatedTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]) {
  if (!pars || !rgbIn || !rgbOut) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  return ApplyTavelinPars(pars, mask, rgbIn, rgbOut);
}

// ---- building the transform ------------------------------------------------

namespace {

int MaxCodeOf(int depth) { return depth == 1 ? 255 : 65535; }

uint16_t ToCode(float v, int maxCode) {
  const double d = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
  return (uint16_t)(d * maxCode + 0.5);
}

Status Logged(const char* step, Status st) {
  if (st != kOk) DLog("%s status = %d", step, st);
  return st;
}

// 1-D tables: every active step works on each channel alone (8-bit only).
Status BuildCurves(TavelinPars* pars, ToolMask m, Tintmesh** out) {
  Tintmesh* t = nullptr;
  if (Status st = Logged("QXInit", QXInit(&t, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 0, 2, kQX8Bit)); st != kOk) return st;
  *out = t;
  for (int c = 0; c < 3; ++c)
    if (Status st = Logged("QXSetChanSamples", QXSetChanSamples(t, c, 256, nullptr)); st != kOk) return st;
  for (int i = 0; i < 256; ++i) {
    const float g = (float)(i / 255.0);
    const float in[3] = {g, g, g};
    float o[3];
    if (Status st = ApplyTavelinPars(pars, m, in, o); st != kOk) return st;
    const uint16_t v[3] = {ToCode(o[0], 255), ToCode(o[1], 255), ToCode(o[2], 255)};
    if (Status st = Logged("QXSetDataTableValue", QXSetDataTableValue(t, i, v)); st != kOk) return st;
  }
  return kOk;
}

// Samples the tool chain at lattice points [first, last) of the third channel.
struct LatticeJob {
  TavelinPars pars;  // a private copy: the chain only reads its up-to-date caches
  ToolMask mask;
  const uint16_t* pos[3];
  int count[3];
  int maxCode;
  int first, last;
  uint16_t* values;  // 3 per grid point, in table order
  Status status = kOk;

  void Run() {
    // The steps that act on each channel alone depend only on that channel's
    // node position: they are evaluated once per position of each axis, and
    // only the steps that mix the channels once per grid point.
    const double scale = 1.0 / maxCode;
    float axis[3][kQXMaxSamples];
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < count[c]; ++i) {
        const float x = (float)(pos[c][i] * scale);
        float v[3] = {x, x, x};
        if (Status st = ApplyChannelSteps(&pars, mask, v); st != kOk) {
          status = st;
          return;
        }
        axis[c][i] = v[c];
      }
    }
    size_t k = (size_t)first * count[1] * count[0];
    for (int i2 = first; i2 < last; ++i2)
      for (int i1 = 0; i1 < count[1]; ++i1)
        for (int i0 = 0; i0 < count[0]; ++i0, ++k) {
          float o[3] = {axis[0][i0], axis[1][i1], axis[2][i2]};
          if (Status st = ApplyColourSteps(&pars, mask, o); st != kOk) {
            status = st;
            return;
          }
          for (int c = 0; c < 3; ++c) values[3 * k + c] = ToCode(o[c], maxCode);
        }
  }
};

Status EvenNodes(int n, int depth, uint16_t* positions, int* count) {
  const int maxCode = MaxCodeOf(depth);
  for (int i = 0; i < n; ++i) positions[i] = (uint16_t)((double)i * maxCode / (n - 1) + 0.5);
  *count = n;
  return kOk;
}

Status BuildLattice(TavelinPars* pars, ToolMask m, int n, int depth, NodePlacement placement, int threads,
                    Tintmesh** out) {
  // Grid positions per channel from the gray-axis response.
  float response[3][kCurveSize];
  for (int k = 0; k < kCurveSize; ++k) {
    const float g = (float)(k / 255.0);
    const float in[3] = {g, g, g};
    float o[3];
    if (Status st = ApplyTavelinPars(pars, m, in, o); st != kOk) return st;
    for (int c = 0; c < 3; ++c) response[c][k] = o[c];
  }
  uint16_t positions[3][kQXMaxSamples];
  int count[3];
  for (int c = 0; c < 3; ++c) {
    const Status st = placement == NodePlacement::kEven ? EvenNodes(n, depth, positions[c], &count[c])
                                                        : PlaceNodes(response[c], n, depth, positions[c], &count[c]);
    if (st != kOk) return st;
  }
  Tintmesh* t = nullptr;
  if (Status st = Logged("QXInit", QXInit(&t, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 1, 2, depth)); st != kOk) return st;
  *out = t;
  for (int c = 0; c < 3; ++c)
    if (Status st = Logged("QXSetChanSamples", QXSetChanSamples(t, c, count[c], positions[c])); st != kOk) return st;

  const size_t points = (size_t)count[0] * count[1] * count[2];
  MemPtr<uint16_t[]> values = MemNewArray<uint16_t>(points * 3, false);
  if (!values) return kNoMem;
  LatticeJob base;
  base.pars = *pars;
  base.mask = m;
  for (int c = 0; c < 3; ++c) {
    base.pos[c] = positions[c];
    base.count[c] = count[c];
  }
  base.maxCode = MaxCodeOf(depth);
  base.values = values.get();
  // Two workers split the outer channel; if the second cannot start, the
  // first does everything.
  const int workers = (threads == 1 || count[2] < 2 || (threads == 0 && HelperThreads() < 2)) ? 1 : 2;
  LatticeJob jobs[2] = {base, base};
  const int split = workers == 2 ? count[2] / 2 : count[2];
  jobs[0].first = 0, jobs[0].last = split;
  jobs[1].first = split, jobs[1].last = count[2];
  std::thread helper;
  bool helped = false;
  if (workers == 2) {
    try {
      helper = std::thread([&jobs] { jobs[1].Run(); });
      helped = true;
    } catch (...) {
      helped = false;
    }
  }
  jobs[0].Run();
  if (helped)
    helper.join();
  else if (workers == 2)
    jobs[1].Run();
  for (const LatticeJob& j : jobs)
    if (j.status != kOk) return j.status;

  return Logged("QXSetDataTableValues", QXSetDataTableValues(t, (int64_t)points, values.get()));
}

Status Finish(Tintmesh* t, int depth) {
  const int maxCode = MaxCodeOf(depth);
  for (int side : {kQXInputSide, kQXOutputSide})
    if (Status st = Logged("QXSetPhysicalDataPath", QXSetPhysicalDataPath(t, side, depth)); st != kOk) return st;
  for (int side : {kQXInputSide, kQXOutputSide})
    for (int c = 0; c < 3; ++c)
      if (Status st = Logged("QXSetChanRange", QXSetChanRange(t, side, c, 0, maxCode)); st != kOk) return st;
  return kOk;
}

}  // namespace

Status GridSize(int gridIndex, int* points) {
  if (!points || !IsGridIndex(gridIndex)) return kBadArg;
  *points = kGridSizes[gridIndex];
  return kOk;
}

Status PlaceNodes(const float r[kCurveSize], int n, int depth, uint16_t* positions, int* count) {
  if (!r || !positions || !count || n < 2 || n > kQXMaxSamples || (depth != 1 && depth != 2)) return kBadArg;
  struct Node {
    double x, v;
  };
  Node nodes[kQXMaxSamples + 4];
  int size = 0;
  auto add = [&](double x, double v) {
    // Keep the list sorted; a node joins after any it shares its position with.
    int i = size;
    while (i > 0 && nodes[i - 1].x > x) {
      nodes[i] = nodes[i - 1];
      --i;
    }
    nodes[i] = Node{x, v};
    ++size;
  };
  add(0.0, 0.0);
  if (r[1] == 0.0f)
    for (int k = 2; k < kCurveSize; ++k)
      if (r[k] != 0.0f) {
        add((k - 1) / 255.0, 0.0);
        break;
      }
  if (r[254] == 1.0f)
    for (int k = 253; k >= 0; --k)
      if (r[k] != 1.0f) {
        add((k + 1) / 255.0, 1.0);
        break;
      }
  add(1.0, r[255]);

  // The node list as a piecewise-linear function; where nodes share a
  // position the segment starting at the later one is used.
  auto interpolate = [&](double x) {
    int seg = -1;
    for (int i = 0; i + 1 < size; ++i)
      if (nodes[i].x <= x && nodes[i + 1].x > nodes[i].x) seg = i;
    if (seg < 0) return nodes[size - 1].v;
    const Node& a = nodes[seg];
    const Node& b = nodes[seg + 1];
    if (x >= b.x) return b.v;
    return a.v + (b.v - a.v) * (x - a.x) / (b.x - a.x);
  };
  bool gapFilling = false;
  while (size < n) {
    if (!gapFilling) {
      int worst = 0;
      double worstErr = -1.0;
      for (int k = 0; k < kCurveSize; ++k) {
        const double e = std::fabs(interpolate(k / 255.0) - r[k]);
        if (e > worstErr) {
          worstErr = e;
          worst = k;
        }
      }
      if (worstErr > 0.005) {
        add(worst / 255.0, r[worst]);
        continue;
      }
      gapFilling = true;
    }
    // Fill the widest gap between the last black-clipped and the first
    // white-clipped node.
    int lo = 0, hi = size - 1;
    while (lo + 1 < size && nodes[lo].v == 0.0 && nodes[lo + 1].v == 0.0) ++lo;
    while (hi - 1 >= lo && nodes[hi].v == 1.0 && nodes[hi - 1].v == 1.0) --hi;
    if (hi <= lo) lo = 0, hi = size - 1;  // everything clipped: spread over the whole axis
    int gap = lo;
    double widest = -1.0;
    for (int i = lo; i < hi; ++i)
      if (nodes[i + 1].x - nodes[i].x > widest) {
        widest = nodes[i + 1].x - nodes[i].x;
        gap = i;
      }
    const double mid = (nodes[gap].x + nodes[gap + 1].x) / 2.0;
    int k = (int)(255.0 * mid + 0.5);
    k = std::clamp(k, 0, kCurveSize - 1);
    add(k / 255.0, r[k]);
  }

  // Code positions: rounded, duplicates dropped, then strictly increasing.
  const int maxCode = MaxCodeOf(depth);
  int m = 0;
  for (int i = 0; i < size; ++i) {
    const double x = std::clamp(nodes[i].x, 0.0, 1.0);
    const uint16_t code = (uint16_t)(x * maxCode + 0.5);
    if (m > 0 && positions[m - 1] == code) continue;
    positions[m++] = code;
  }
  for (int i = 1; i < m; ++i)
    if (positions[i] == positions[i - 1] && positions[i] != maxCode) positions[i] = positions[i - 1] + 1;
  for (int i = m - 2; i >= 0; --i)
    if (positions[i] == positions[i + 1] && positions[i] != 0) positions[i] = positions[i + 1] - 1;
  *count = m;
  return kOk;
}

Status MakeCorrectionTransformWith(TavelinPars* pars, ToolMask mask, int gridIndex, int depth,
                                   NodePlacement placement, int threads, TintmeshHandle** handle) {
  if (!pars || !handle) return kBadArg;
  int n;
  if (GridSize(gridIndex, &n) != kOk || (depth != 1 && depth != 2)) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  ToolMask m = mask;
  PruneToolMask(pars, &m);
  // One colour through the chain brings every curve cache up to date, so
  // that sampling only reads the record.
  const float probe[3] = {0.5f, 0.5f, 0.5f};
  float o[3];
  if (Status st = ApplyTavelinPars(pars, m, probe, o); st != kOk) return st;

  Tintmesh* t = nullptr;
  const bool perChannel = (m == TOOL_LINEAR || m == TOOL_BALANCE || m == TOOL_LINEAR_BALANCE) && depth == 1;
  Status st = perChannel ? BuildCurves(pars, m, &t) : BuildLattice(pars, m, n, depth, placement, threads, &t);
  if (st == kOk) st = Finish(t, depth);
  if (st == kOk) st = QXHandleCreate(&t, handle);
  if (st != kOk) QXFree(&t);
  return st;
}

Status MakeCorrectionTransform(TavelinPars* pars, ToolMask mask, int gridIndex, int depth, TintmeshHandle** handle) {
  return MakeCorrectionTransformWith(pars, mask, gridIndex, depth, NodePlacement::kAdaptive, 0, handle);
}

Status FreeCorrectionTransform(TintmeshHandle** handle) { return QXHandleFree(handle); }

Status GetPreviewMasks(int panel, bool expanded, PreviewMaskPair* masks) {
  if (!masks || panel < 1 || panel > 4) return kBadArg;
  static constexpr PreviewMaskPair kExpanded[4] = {
      {0x0003, 0x0001}, {0x001F, 0x0003}, {0x03FF, 0x001F}, {0xFFFF, 0x03FF}};
  *masks = expanded ? kExpanded[panel - 1] : PreviewMaskPair{0xFFFF, 0x0000};
  return kOk;
}

// ---- reading pixels through a transform ------------------------------------

CorrectedRaster::~CorrectedRaster() { FreeCorrectionTransform(&transform_); }

Status CorrectedRaster::Open(TavelinPars* pars, ToolMask mask, int gridIndex, const RasterView* image) {
  FreeCorrectionTransform(&transform_);
  if (!pars || CheckRgbRaster(image) != kOk) return kBadArg;
  int n;
  if (GridSize(gridIndex, &n) != kOk) return kBadArg;
  image_ = *image;
  row_ = MemNewArray<uint16_t>((size_t)image->width * 3, false);
  if (!row_) return kNoMem;
  ToolMask m = mask;
  if (Status st = PruneToolMask(pars, &m); st != kOk) return st;
  if (m == 0) return kOk;  // raw values
  return MakeCorrectionTransform(pars, m, gridIndex, image->bytesPerSample, &transform_);
}

void CorrectedRaster::Read(int x, int y, float rgb[3]) const {
  const double scale = 1.0 / image_.MaxCode();
  if (!transform_) {
    for (int c = 0; c < 3; ++c) rgb[c] = (float)(image_.Sample(c, x, y) * scale);
    return;
  }
  uint16_t in16[3], out16[3];
  uint8_t in8[3], out8[3];
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) {
    const uint32_t v = image_.Sample(c, x, y);
    in16[c] = (uint16_t)v;
    in8[c] = (uint8_t)v;
    ip.chan[c] = image_.bytesPerSample == 1 ? (void*)&in8[c] : (void*)&in16[c];
    op.chan[c] = image_.bytesPerSample == 1 ? (void*)&out8[c] : (void*)&out16[c];
  }
  QXHandleEvaluate(transform_, 1, ip, 1, op, 1);
  for (int c = 0; c < 3; ++c) rgb[c] = (float)((image_.bytesPerSample == 1 ? out8[c] : out16[c]) * scale);
}

namespace {
// Copies every stepX-th pixel of one row (samples of type T) into rgb, 3 per pixel.
template <class T>
int GatherSamples(const RasterView& image, int y, int stepX, T* rgb) {
  const int64_t base = (int64_t)y * image.rowStep, step = image.pixelStep * stepX;
  const T* p[3];
  for (int c = 0; c < 3; ++c) p[c] = static_cast<const T*>(image.chan[c]) + base;
  int n = 0;
  for (int64_t i = 0, x = 0; x < image.width; x += stepX, i += step, ++n)
    for (int c = 0; c < 3; ++c) rgb[3 * n + c] = p[c][i];
  return n;
}
}  // namespace

int CorrectedRaster::GatherRow(int y, int stepX) {
  const bool wide = image_.bytesPerSample == 2;
  uint16_t* s16 = row_.get();
  uint8_t* s8 = reinterpret_cast<uint8_t*>(row_.get());
  const int64_t step = image_.pixelStep * stepX;
  if (transform_ && step <= INT32_MAX) {
    // Straight from the image into the row buffer.
    const int n = (image_.width + stepX - 1) / stepX;
    const int64_t base = (int64_t)y * image_.rowStep;
    QXChannelPtrs in, out;
    for (int c = 0; c < 3; ++c) {
      in.chan[c] = wide ? (void*)(static_cast<const uint16_t*>(image_.chan[c]) + base)
                        : (void*)(static_cast<const uint8_t*>(image_.chan[c]) + base);
      out.chan[c] = wide ? (void*)(s16 + c) : (void*)(s8 + c);
    }
    QXHandleEvaluate(transform_, n, in, (int32_t)step, out, 3);
    return n;
  }
  const int n = wide ? GatherSamples(image_, y, stepX, s16) : GatherSamples(image_, y, stepX, s8);
  if (transform_ && n > 0) {
    QXChannelPtrs p;
    for (int c = 0; c < 3; ++c) p.chan[c] = wide ? (void*)(s16 + c) : (void*)(s8 + c);
    QXHandleEvaluate(transform_, n, p, 3, p, 3);
  }
  return n;
}

int CorrectedRaster::ReadRow8(int y, int stepX, uint8_t* rgb8) {
  const int n = GatherRow(y, stepX);
  const uint16_t* s16 = row_.get();
  const uint8_t* s8 = reinterpret_cast<const uint8_t*>(row_.get());
  if (image_.bytesPerSample == 2)
    for (int i = 0; i < 3 * n; ++i) rgb8[i] = (uint8_t)(s16[i] / 257);
  else
    for (int i = 0; i < 3 * n; ++i) rgb8[i] = s8[i];
  return n;
}
