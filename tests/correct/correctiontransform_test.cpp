#include "correct/correctiontransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <vector>

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "correct/marking.h"
#include "correct/tonetools.h"
#include "correct_support.h"
#include "base/memory.h"
#include "transform/tintmesh_eval.h"

namespace {

// Colours to push through: every 16-bit gray code and random colours.
std::vector<std::array<float, 3>> ProbeColours() {
  std::vector<std::array<float, 3>> out;
  for (int k = 0; k <= 65535; ++k) {
    const float v = k / 65535.0f;
    out.push_back({v, v, v});
  }
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 20000; ++i) out.push_back({u(rng), u(rng), u(rng)});
  return out;
}

}  // namespace

TEST(CorrectionTransform, EveryToolIsTheIdentityAtItsNeutralValue) {
  const auto colours = ProbeColours();
  std::vector<ToolMask> masks = {TOOL_ALL, TOOL_HUE_ALL, TOOL_POINTS};
  for (int bit = 0; bit < 16; ++bit) masks.push_back((ToolMask)(1u << bit));
  for (ToolMask mask : masks) {
    TavelinPars p = NewPars();
    // Samples, handle positions and a preferred neutral alone change nothing.
    p.hue[2].baseHue = 100.0f;
    AddSamples(p.hue[2].hueBin, 0.2f, 0.9f, 0.3f, 5);
    p.neutralPref.chroma = 30.0f;
    for (const auto& c : colours) {
      float out[3];
      ASSERT_EQ(ApplyTavelinPars(&p, mask, c.data(), out), kOk);
      ASSERT_EQ(out[0], c[0]) << std::hex << mask;
      ASSERT_EQ(out[1], c[1]) << std::hex << mask;
      ASSERT_EQ(out[2], c[2]) << std::hex << mask;
    }
  }
}

TEST(CorrectionTransform, OrderAndEarlyStops) {
  TavelinPars p = NewPars();
  AddSamples(p.balBin, 0.6f, 0.5f, 0.4f);
  p.linear = 1;
  p.contrast = 0.8f;
  p.shadow = 0.3f;
  p.saturation = 0.9f;
  const float in[3] = {0.3f, 0.35f, 0.2f};
  float out[3], expect[3];
  // Mask 0x0001 stops after the linear step, 0x0002/0x0003 after the balance.
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_LINEAR, in, out), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(out[c], (float)CurveLookup(in[c], p.linearCurve, kCurveSize));
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_LINEAR_BALANCE, in, out), kOk);
  float lin[3];
  ApplyTavelinPars(&p, TOOL_LINEAR, in, lin);
  ApplyBalance(&p, lin, expect);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], expect[c]);
  // With more bits the chain runs on: contrast before shadow, saturation after both.
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_CONTRAST | TOOL_SHADOW | TOOL_SATURATION, in, out), kOk);
  ApplyContrast(&p, in, expect);
  ApplyShadow(&p, expect, expect);
  ApplySaturation(&p, expect, expect);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], expect[c]);
  // Inputs outside 0..1 are clamped first.
  const float wild[3] = {-0.5f, 1.5f, NAN};
  ASSERT_EQ(ApplyTavelinPars(&p, 0, wild, out), kOk);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 1.0f);
  EXPECT_EQ(out[2], 0.0f);
  // The validated form refuses a record out of range.
  p.brightness = 1.5f;
  EXPECT_EQ(ApplyValidatedTavelinPars(&p, TOOL_ALL, in, out), kBadArg);
  EXPECT_EQ(ApplyValidatedTavelinPars(&p, TOOL_ALL, nullptr, out), kBadArg);
}

TEST(CorrectionTransform, HueStepLeavesGraysAlone) {
  TavelinPars p = NewPars();
  for (HueEntry& e : p.hue) e.hueShift = 25.0f, e.saturation = 0.8f, e.brightness = 0.7f;
  for (int k = 0; k <= 255; ++k) {
    const float g[3] = {k / 255.0f, k / 255.0f, k / 255.0f};
    float out[3];
    ASSERT_EQ(ApplyTavelinPars(&p, TOOL_HUE_ALL, g, out), kOk);
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(out[c], g[c], 1e-6) << k;
  }
}

// ---- the transform ---------------------------------------------------------

namespace {

// A realistic strong correction with every tool active: balance from two
// marked neutrals, black 0.05, white 0.92, brightness 0.6, shadow 0.6,
// contrast 0.6, saturation 0.65, one hue handle shifted by 20 degrees and a
// light toning colour.
TavelinPars StrongCorrection() {
  TavelinPars p = NewPars();
  TestImage im(16, 8, 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      if (x < 8)
        im.Set(x, y, 0.12f, 0.14f, 0.2f);
      else
        im.Set(x, y, 0.8f, 0.84f, 0.93f);
  EXPECT_EQ(MarkNeutral(&p, &im.view, 7, 2, 2, nullptr), kOk);
  EXPECT_EQ(MarkNeutral(&p, &im.view, 7, 12, 2, nullptr), kOk);
  p.blackPoint = 0.05f, p.whitePoint = 0.92f;
  p.brightness = 0.6f, p.shadow = 0.6f, p.contrast = 0.6f, p.saturation = 0.65f;
  p.hue[2].hueShift = 20.0f;
  p.toneColor[0] = 0.53f, p.toneColor[1] = 0.5f, p.toneColor[2] = 0.46f;
  ToolMask m = TOOL_ALL;
  PruneToolMask(&p, &m);
  EXPECT_EQ(m, TOOL_BALANCE | TOOL_BLACK | TOOL_WHITE | TOOL_BRIGHTNESS | TOOL_SHADOW | TOOL_CONTRAST |
                   TOOL_SATURATION | TOOL_HUE_ALL);
  return p;
}

struct ErrorStats {
  int max = 0;       // largest channel error
  double mean = 0;   // mean channel error
  int p99 = 0;       // 99th percentile of channel errors
  double pixelMean = 0;  // mean and 99th percentile of each pixel's largest channel error
  int pixelP99 = 0;
};

int Percentile99(const std::vector<int64_t>& hist, int64_t total) {
  int64_t acc = 0;
  for (int e = 0; e < (int)hist.size(); ++e) {
    acc += hist[e];
    if (acc >= (int64_t)(0.99 * total)) return e;
  }
  return (int)hist.size() - 1;
}

// Errors in 8-bit codes between the transform and the exact chain (rounded
// like the lattice entries) over `count` random colours.
ErrorStats LatticeError(TavelinPars& p, ToolMask mask, const TintmeshHandle* h, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> in((size_t)count * 3), out((size_t)count * 3);
  for (uint8_t& v : in) v = (uint8_t)(rng() & 255);
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) ip.chan[c] = in.data() + c, op.chan[c] = out.data() + c;
  EXPECT_EQ(QXHandleEvaluate(h, count, ip, 3, op, 3), kOk);
  std::vector<int64_t> channelHist(256, 0), pixelHist(256, 0);
  double sum = 0, pixelSum = 0;
  ErrorStats s;
  for (int i = 0; i < count; ++i) {
    const float c[3] = {in[3 * i] / 255.0f, in[3 * i + 1] / 255.0f, in[3 * i + 2] / 255.0f};
    float e[3];
    ApplyTavelinPars(&p, mask, c, e);
    int worst = 0;
    for (int k = 0; k < 3; ++k) {
      const int ref = (int)(std::fmin(std::fmax(e[k], 0.0f), 1.0f) * 255.0 + 0.5);
      const int d = std::abs(ref - out[3 * i + k]);
      ++channelHist[d];
      sum += d;
      worst = std::max(worst, d);
    }
    ++pixelHist[worst];
    pixelSum += worst;
    s.max = std::max(s.max, worst);
  }
  s.mean = sum / (3.0 * count);
  s.p99 = Percentile99(channelHist, 3LL * count);
  s.pixelMean = pixelSum / count;
  s.pixelP99 = Percentile99(pixelHist, count);
  return s;
}

const Tintmesh& Mesh(const TintmeshHandle* h) { return *h->tintmesh; }

}  // namespace

TEST(CorrectionTransform, LatticeMatchesTheChain) {
  // The strong correction with every tool, and the same without saturation
  // and the hue tool (tone and balance only), at grids 33 and 7, with the
  // grid placed along the gray-axis response and evenly spaced.
  TavelinPars p = StrongCorrection();
  struct Row {
    ToolMask mask;
    int grid;
    NodePlacement placement;
    const char* name;
  };
  const Row rows[] = {{TOOL_ALL, 7, NodePlacement::kAdaptive, "all tools, grid 33, placed"},
                      {TOOL_ALL, 7, NodePlacement::kEven, "all tools, grid 33, even  "},
                      {TOOL_ALL, 0, NodePlacement::kAdaptive, "all tools, grid 7,  placed"},
                      {TOOL_ALL, 0, NodePlacement::kEven, "all tools, grid 7,  even  "},
                      {0x01FF, 7, NodePlacement::kAdaptive, "tone only, grid 33, placed"},
                      {0x01FF, 7, NodePlacement::kEven, "tone only, grid 33, even  "},
                      {0x01FF, 0, NodePlacement::kAdaptive, "tone only, grid 7,  placed"},
                      {0x01FF, 0, NodePlacement::kEven, "tone only, grid 7,  even  "}};
  ErrorStats stats[8];
  for (int i = 0; i < 8; ++i) {
    const Row& r = rows[i];
    TintmeshHandle* h = nullptr;
    ASSERT_EQ(MakeCorrectionTransformWith(&p, r.mask, r.grid, 1, r.placement, 0, &h), kOk);
    const ErrorStats s = stats[i] = LatticeError(p, r.mask, h, 1000000, 21);
    std::printf("LATTICE_ERROR %s: channel max %d, mean %.3f, p99 %d; pixel mean %.3f, p99 %d (codes)\n", r.name,
                s.max, s.mean, s.p99, s.pixelMean, s.pixelP99);
    FreeCorrectionTransform(&h);
    EXPECT_EQ(h, nullptr);
  }
  // Every grid point holds exactly the chain's value at that point (the
  // per-channel steps are evaluated once per axis position, the rest per point).
  for (int depth : {1, 2}) {
    TintmeshHandle* exact = nullptr;
    ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 7, depth, &exact), kOk);
    const Tintmesh& m = Mesh(exact);
    const int maxCode = depth == 1 ? 255 : 65535;
    int64_t wrong = 0;
    for (int i2 = 0; i2 < m.in[2].samples; ++i2)
      for (int i1 = 0; i1 < m.in[1].samples; ++i1)
        for (int i0 = 0; i0 < m.in[0].samples; ++i0) {
          const float in[3] = {(float)(m.in[0].positions[i0] * (1.0 / maxCode)),
                               (float)(m.in[1].positions[i1] * (1.0 / maxCode)),
                               (float)(m.in[2].positions[i2] * (1.0 / maxCode))};
          float e[3];
          ASSERT_EQ(ApplyTavelinPars(&p, TOOL_ALL, in, e), kOk);
          const int64_t at = (int64_t)i0 * m.in[0].stride + (int64_t)i1 * m.in[1].stride + (int64_t)i2 * m.in[2].stride;
          for (int c = 0; c < 3; ++c) {
            const double v = e[c] > 0.0f ? (e[c] < 1.0f ? e[c] : 1.0f) : 0.0f;
            const int want = (int)(v * maxCode + 0.5);
            const int got = depth == 1 ? m.table8.data[at + c] : m.table16.data[at + c];
            wrong += got != want;
          }
        }
    EXPECT_EQ(wrong, 0) << "depth " << depth;
    FreeCorrectionTransform(&exact);
  }
  EXPECT_LT(stats[0].mean, 0.5);
  EXPECT_LE(stats[0].p99, 2);
  // Where the correction bends along the tone axis, placed nodes beat even ones.
  EXPECT_LT(stats[6].mean, stats[7].mean);
  EXPECT_LT(stats[6].max, stats[7].max);
  EXPECT_LE(stats[4].max, stats[5].max);

  // 16-bit: a 16-bit lattice, close to the chain as well.
  TintmeshHandle* h = nullptr;
  ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 7, 2, &h), kOk);
  EXPECT_EQ(Mesh(h).precision, kQX16Bit);
  EXPECT_EQ(h->inPath, kQX16Bit);
  EXPECT_EQ(h->outPath, kQX16Bit);
  std::mt19937 rng(4);
  double sum = 0;
  for (int i = 0; i < 20000; ++i) {
    uint16_t in[3] = {(uint16_t)rng(), (uint16_t)rng(), (uint16_t)rng()}, out[3];
    QXChannelPtrs ip, op;
    for (int c = 0; c < 3; ++c) ip.chan[c] = &in[c], op.chan[c] = &out[c];
    ASSERT_EQ(QXHandleEvaluate(h, 1, ip, 1, op, 1), kOk);
    const float c[3] = {in[0] / 65535.0f, in[1] / 65535.0f, in[2] / 65535.0f};
    float e[3];
    ApplyTavelinPars(&p, TOOL_ALL, c, e);
    for (int k = 0; k < 3; ++k) sum += std::fabs(e[k] * 65535.0 - out[k]) / 257.0;
  }
  EXPECT_LT(sum / 60000, 0.5);  // in 8-bit code units
  FreeCorrectionTransform(&h);
}

TEST(CorrectionTransform, NeutralRecordGivesAnExactIdentity) {
  for (int depth : {1, 2}) {
    TavelinPars p = NewPars();
    TintmeshHandle* h = nullptr;
    ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 0, depth, &h), kOk);
    EXPECT_EQ(Mesh(h).lattice, 1);  // pruned to nothing, still a lattice
    EXPECT_EQ(Mesh(h).in[0].samples, 7);
    const int maxCode = depth == 1 ? 255 : 65535;
    std::vector<uint16_t> v16;
    std::vector<uint8_t> v8;
    for (int k = 0; k <= maxCode; ++k)
      for (int c = 0; c < 3; ++c) depth == 1 ? v8.push_back((uint8_t)k) : v16.push_back((uint16_t)k);
    std::mt19937 rng(depth);
    for (int i = 0; i < 30000; ++i)
      for (int c = 0; c < 3; ++c)
        depth == 1 ? v8.push_back((uint8_t)rng()) : v16.push_back((uint16_t)rng());
    const std::vector<uint8_t> in8 = v8;
    const std::vector<uint16_t> in16 = v16;
    QXChannelPtrs io;
    const int n = depth == 1 ? (int)v8.size() / 3 : (int)v16.size() / 3;
    for (int c = 0; c < 3; ++c) io.chan[c] = depth == 1 ? (void*)(v8.data() + c) : (void*)(v16.data() + c);
    ASSERT_EQ(QXHandleEvaluate(h, n, io, 3, io, 3), kOk);
    // 8-bit: exact. 16-bit: within one code (15-bit cell fractions).
    if (depth == 1) {
      EXPECT_EQ(v8, in8);
    } else {
      int worst = 0;
      for (size_t i = 0; i < v16.size(); ++i) worst = std::max(worst, std::abs(v16[i] - in16[i]));
      EXPECT_LE(worst, 1);
    }
    FreeCorrectionTransform(&h);
  }
}

TEST(CorrectionTransform, OneDimensionalTablesFor8BitLinearAndBalance) {
  TavelinPars p = NewPars();
  AddSamples(p.balBin, 0.6f, 0.5f, 0.4f, 3);
  p.contrast = 0.7f;  // not in the mask below
  TintmeshHandle* h = nullptr;
  ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_LINEAR_BALANCE, 3, 1, &h), kOk);
  EXPECT_EQ(Mesh(h).lattice, 0);
  // The table is exact: every code equals the rounded chain.
  std::vector<uint8_t> v(256 * 3);
  for (int i = 0; i < 256; ++i) v[3 * i] = v[3 * i + 1] = v[3 * i + 2] = (uint8_t)i;
  QXChannelPtrs io;
  for (int c = 0; c < 3; ++c) io.chan[c] = v.data() + c;
  ASSERT_EQ(QXHandleEvaluate(h, 256, io, 3, io, 3), kOk);
  for (int i = 0; i < 256; ++i) {
    const float g[3] = {i / 255.0f, i / 255.0f, i / 255.0f};
    float e[3];
    ApplyTavelinPars(&p, TOOL_LINEAR_BALANCE, g, e);
    for (int c = 0; c < 3; ++c) ASSERT_EQ(v[3 * i + c], (int)(e[c] * 255.0 + 0.5)) << i;
  }
  FreeCorrectionTransform(&h);
  // The same mask on 16-bit data is a lattice.
  ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_LINEAR_BALANCE, 3, 2, &h), kOk);
  EXPECT_EQ(Mesh(h).lattice, 1);
  EXPECT_EQ(Mesh(h).precision, kQX16Bit);
  FreeCorrectionTransform(&h);
}

TEST(CorrectionTransform, NodePlacement) {
  // Black point 0.2: r(k) = 0 up to 51, and the knee is the first node after 0.
  TavelinPars p = NewPars();
  p.blackPoint = 0.2f;
  TintmeshHandle* h = nullptr;
  ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 0, 1, &h), kOk);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(Mesh(h).in[c].positions[0], 0);
    EXPECT_EQ(Mesh(h).in[c].positions[1], 51);
    EXPECT_EQ(Mesh(h).in[c].positions[Mesh(h).in[c].samples - 1], 255);
  }
  FreeCorrectionTransform(&h);

  // An identity response: the ends, then midpoints of the widest gaps.
  float r[kCurveSize];
  for (int k = 0; k < kCurveSize; ++k) r[k] = (float)(k / 255.0);
  uint16_t pos[kQXMaxSamples];
  int n = 0;
  ASSERT_EQ(PlaceNodes(r, 7, 1, pos, &n), kOk);
  const uint16_t even[7] = {0, 32, 64, 96, 128, 192, 255};
  ASSERT_EQ(n, 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(pos[i], even[i]) << i;
  // 16-bit codes of the same positions.
  ASSERT_EQ(PlaceNodes(r, 7, 2, pos, &n), kOk);
  EXPECT_EQ(pos[4], 128 * 257);
  EXPECT_EQ(pos[6], 65535);

  // A hard step: nodes crowd at the same codes and fewer than n are passed.
  for (int k = 0; k < kCurveSize; ++k) r[k] = k < 100 ? 0.0f : 1.0f;
  ASSERT_EQ(PlaceNodes(r, 7, 1, pos, &n), kOk);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(pos[1], 99);
  EXPECT_EQ(pos[2], 100);
  // A strongly curved response at grid 7: uneven steps, concentrated where it bends.
  for (int k = 0; k < kCurveSize; ++k) r[k] = (float)std::pow(k / 255.0, 4.0);
  ASSERT_EQ(PlaceNodes(r, 7, 1, pos, &n), kOk);
  ASSERT_EQ(n, 7);
  int minStep = 255, maxStep = 0;
  for (int i = 1; i < n; ++i) {
    ASSERT_GT(pos[i], pos[i - 1]);
    minStep = std::min(minStep, pos[i] - pos[i - 1]);
    maxStep = std::max(maxStep, pos[i] - pos[i - 1]);
  }
  EXPECT_GT(maxStep, 2 * minStep);
  EXPECT_EQ(PlaceNodes(r, 1, 1, pos, &n), kBadArg);
  EXPECT_EQ(PlaceNodes(r, 7, 3, pos, &n), kBadArg);
}

TEST(CorrectionTransform, GrayThroughAPureHueEditIsUnchangedButStillALattice) {
  TavelinPars p = NewPars();
  p.hue[1].hueShift = 40.0f;
  p.hue[3].saturation = 0.9f;
  TintmeshHandle* h = nullptr;
  ASSERT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 2, 1, &h), kOk);
  EXPECT_EQ(Mesh(h).lattice, 1);
  std::vector<uint8_t> v(256 * 3);
  for (int i = 0; i < 256; ++i) v[3 * i] = v[3 * i + 1] = v[3 * i + 2] = (uint8_t)i;
  const std::vector<uint8_t> in = v;
  QXChannelPtrs io;
  for (int c = 0; c < 3; ++c) io.chan[c] = v.data() + c;
  ASSERT_EQ(QXHandleEvaluate(h, 256, io, 3, io, 3), kOk);
  EXPECT_EQ(v, in);
  FreeCorrectionTransform(&h);
}

TEST(CorrectionTransform, RefusalsAllocateNothing) {
  TavelinPars p = NewPars();
  TintmeshHandle* h = nullptr;
  const MemCounters before = MemGetCounters();
  EXPECT_EQ(MakeCorrectionTransform(nullptr, TOOL_ALL, 0, 1, &h), kBadArg);
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 0, 1, nullptr), kBadArg);
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 8, 1, &h), kBadArg);
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, -1, 1, &h), kBadArg);
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 0, 3, &h), kBadArg);
  p.highlight = -0.1f;
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 0, 1, &h), kBadArg);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(MemGetCounters().blocks, before.blocks);
  EXPECT_EQ(FreeCorrectionTransform(&h), kOk);
  EXPECT_EQ(FreeCorrectionTransform(nullptr), kOk);
}

TEST(CorrectionTransform, PreviewMasks) {
  struct Case {
    int panel;
    bool expanded;
    ToolMask after, before;
  };
  const Case cases[] = {{1, false, 0xFFFF, 0x0000}, {1, true, 0x0003, 0x0001}, {2, true, 0x001F, 0x0003},
                        {3, true, 0x03FF, 0x001F},  {4, true, 0xFFFF, 0x03FF}, {4, false, 0xFFFF, 0x0000}};
  for (const Case& c : cases) {
    PreviewMaskPair m;
    ASSERT_EQ(GetPreviewMasks(c.panel, c.expanded, &m), kOk);
    EXPECT_EQ(m.after, c.after) << c.panel;
    EXPECT_EQ(m.before, c.before) << c.panel;
  }
  PreviewMaskPair m;
  EXPECT_EQ(GetPreviewMasks(5, false, &m), kBadArg);
  EXPECT_EQ(GetPreviewMasks(0, true, &m), kBadArg);
}
