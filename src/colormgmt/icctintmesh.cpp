#include "colormgmt/icctintmesh.h"

#include <memory>

#include "colormgmt/iccxform.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/memory.h"
#include "base/strings.h"

namespace {

struct XformOwner {
  ICCXform* xform = nullptr;
  ~XformOwner() { Ui_ICC_XformDispose(&xform); }
};

struct TintmeshFreer {
  void operator()(Tintmesh* tm) const { QXFree(&tm); }
};
using TintmeshOwner = std::unique_ptr<Tintmesh, TintmeshFreer>;

Status Logged(Status st, const char* step) {
  if (st != kOk) DLog("%s status = %d", step, (int)st);
  return st;
}

// Samples `xform` on the grid of `gridIndex` into a new lattice.
Status Sample(const ICCXform* xform, int32_t precision, int32_t gridIndex, Tintmesh** result) {
  uint16_t pos[kMaxGridSize];
  int32_t n = 0;
  Status st = ICCGridPositions(gridIndex, precision, pos, &n);
  if (st != kOk) return st;

  Tintmesh* raw = nullptr;
  st = Logged(QXInit(&raw, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 1, 2, precision), "QXInit");
  if (st != kOk) return st;
  TintmeshOwner tm(raw);
  for (int32_t c = 0; c < 3; ++c) {
    uint16_t copy[kMaxGridSize];
    for (int32_t k = 0; k < n; ++k) copy[k] = pos[k];
    st = Logged(QXSetChanSamples(tm.get(), c, n, copy), "QXSetChanSamples");
    if (st != kOk) return st;
  }

  // One plane of the blue channel per service call: channel 0 fastest, so the
  // running table index is r + n × (g + n × b).
  const int32_t plane = n * n;
  MemPtr<uint16_t[]> in = MemNewArray<uint16_t>((size_t)plane * 3, false);
  MemPtr<uint16_t[]> out = MemNewArray<uint16_t>((size_t)plane * 3, false);
  if (!in || !out) return Logged(kNoMem, "Ui_ICC_XformRgbColors");
  uint16_t level[kMaxGridSize];
  for (int32_t k = 0; k < n; ++k) level[k] = precision == kQX16Bit ? pos[k] : ICCExpand8(pos[k]);
  int32_t index = 0;
  for (int32_t b = 0; b < n; ++b) {
    uint16_t* p = in.get();
    for (int32_t g = 0; g < n; ++g) {
      for (int32_t r = 0; r < n; ++r) {
        *p++ = level[r];
        *p++ = level[g];
        *p++ = level[b];
      }
    }
    if (Logged(Ui_ICC_XformRgbColors(xform, in.get(), out.get(), plane), "Ui_ICC_XformRgbColors") != kOk)
      return kSysErr;
    const uint16_t* v = out.get();
    for (int32_t i = 0; i < plane; ++i, v += 3) {
      uint16_t values[3] = {v[0], v[1], v[2]};
      if (precision == kQX8Bit) {
        for (uint16_t& x : values) x = ICCReduce16(x);
      }
      st = Logged(QXSetDataTableValue(tm.get(), index++, values), "QXSetDataTableValue");
      if (st != kOk) return st;
    }
  }

  const int32_t max = precision == kQX16Bit ? 65535 : 255;
  for (int32_t side : {kQXInputSide, kQXOutputSide}) {
    st = Logged(QXSetPhysicalDataPath(tm.get(), side, precision), "QXSetPhysicalDataPath");
    if (st != kOk) return st;
  }
  // Full ranges on every channel. Setting the paths has just made them full,
  // so only a range that is not yet full is set (each setting rebuilds the
  // channel's 65536-entry arrays on a 16-bit path).
  for (int32_t side : {kQXInputSide, kQXOutputSide}) {
    for (int32_t c = 0; c < 3; ++c) {
      const bool full = side == kQXInputSide ? tm->in[c].rangeLow == 0 && tm->in[c].rangeHigh == max
                                             : tm->out[c].rangeLow == 0 && tm->out[c].rangeHigh == max;
      if (full) continue;
      st = Logged(QXSetChanRange(tm.get(), side, c, 0, max), "QXSetChanRange");
      if (st != kOk) return st;
    }
  }
  *result = tm.release();
  return kOk;
}

}  // namespace

Status ICCGridPositions(int32_t gridIndex, int32_t precision, uint16_t positions[kMaxGridSize], int32_t* count) {
  if (!IsGridIndex(gridIndex) || !positions || !count) return kBadArg;
  if (precision != kQX8Bit && precision != kQX16Bit) return kBadArg;
  const int32_t n = kGridSizes[gridIndex];
  const double max = precision == kQX16Bit ? 65535.0 : 255.0;
  for (int32_t k = 0; k < n; ++k) {
    // The ratio as a 32-bit float, the product in double: this is what puts
    // 5/6 of 255 at 212 instead of 213.
    const float ratio = (float)k / (float)(n - 1);
    positions[k] = (uint16_t)(ratio * max + 0.5);
  }
  *count = n;
  return kOk;
}

Status CheckGridIndex(int32_t& gridIndex) {
  if (gridIndex >= 0 && gridIndex < kGridSizeCount) return kOk;
  gridIndex = kDefaultGridIndex;
  return kUnsupported;
}

Status Ui_ICC_MakeTintmeshSrcToDst(const std::string& source, const std::string& destination, int32_t precision,
                                   int32_t gridIndex, Tintmesh** result) {
  if (!result || source.empty() || destination.empty()) return kBadArg;
  if ((precision != kQX8Bit && precision != kQX16Bit) || !IsGridIndex(gridIndex))
    return kBadArg;
  XformOwner x;
  Status st = Logged(Ui_ICC_XformMakeSrcToDst(source, destination, &x.xform), "Ui_ICC_XformMakeSrcToDst");
  if (st != kOk) return st;
  return Sample(x.xform, precision, gridIndex, result);
}

Status Ui_ICC_MakeTintmeshSrcToMon(const std::string& source, int32_t gridIndex, Tintmesh** result) {
  if (!result || source.empty() || !IsGridIndex(gridIndex)) return kBadArg;
  XformOwner x;
  Status st = Logged(Ui_ICC_XformMakeSrcToMon(source, &x.xform), "Ui_ICC_XformMakeSrcToMon");
  if (st != kOk) return st;
  return Sample(x.xform, kQX8Bit, gridIndex, result);
}

Status MakeInputTransform(const std::string& inputProfile, const std::string& workingSpaceProfile, int32_t maxValue,
                          int32_t gridIndex, Tintmesh** inputQX) {
  if (!inputQX) return kBadArg;
  QXFree(inputQX);
  if (inputProfile.empty() || inputProfile == workingSpaceProfile) return kOk;
  const int32_t precision = maxValue < 256 ? kQX8Bit : kQX16Bit;
  Status st = Ui_ICC_MakeTintmeshSrcToDst(inputProfile, workingSpaceProfile, precision, gridIndex, inputQX);
  if (st != kOk) return ReportError(st, ResString(3042));
  return kOk;
}
