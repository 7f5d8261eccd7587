#include "transform/tintmesh.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "transform/tintmesh_internal.h"

using qx::Clamp;
using qx::MaxCode;
using qx::Narrow;
using qx::Scale8;
using qx::Widen;

namespace {

constexpr int64_t kI32Max = INT32_MAX;

int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

// Whether a colour-space code matches a channel count (and is a valid code).
bool SpaceMatches(int32_t space, int32_t channels) {
  switch (space) {
    case kQXSpaceRGB:
    case kQXSpaceLab:
    case kQXSpaceYCC: return channels == 3;
    case kQXSpaceCMYK: return channels == 4;
    case kQXSpaceGray: return channels == 1;
    default: return false;
  }
}

// What the version allows: -9 for codes or form, -1 for precision, else 0.
Status VersionAllows(int32_t version, int32_t inSpace, int32_t outSpace, int32_t lattice, int32_t precision) {
  switch (version) {
    case 0:
      if (inSpace == kQXSpaceGray || inSpace == kQXSpaceLab || inSpace == kQXSpaceYCC ||
          outSpace == kQXSpaceLab || outSpace == kQXSpaceYCC)
        return kUnsupported;
      if (outSpace == kQXSpaceGray || lattice != 1) return kUnsupported;
      return precision == kQX8Bit ? kOk : kBadArg;
    case 1:
      if (inSpace == kQXSpaceGray) return kUnsupported;
      if (outSpace == kQXSpaceGray || lattice != 1) return kUnsupported;
      return precision == kQX8Bit ? kOk : kBadArg;
    case 2: return precision == kQX8Bit || precision == kQX16Bit ? kOk : kBadArg;
    default: return kBadArg;
  }
}

bool IsOldGridCount(int32_t count) {
  return count == 2 || count == 3 || count == 5 || count == 9 || count == 17;
}

template <class T>
bool AllocArray(QXArray<T>& a, int32_t count) {
  a.data = MemNewArray<T>((size_t)count, false);
  a.count = a.data ? count : 0;
  return (bool)a.data;
}

int32_t PositionMax(const Tintmesh* tm) { return tm->precision == kQX16Bit ? 65535 : 255; }
// Grid position k of channel c in 16-bit units.
int32_t P16(const Tintmesh* tm, const QXInChannel& ch, int32_t k) {
  return tm->precision == kQX16Bit ? ch.positions[k] : ch.positions[k] * 257;
}

// Fraction of mapped value t inside cell k, 0..32768. The clamp only matters
// for an 8-bit table searched by Narrow(t), where t may lie a little below
// the cell's first point: a weight must never leave 0..32768.
int32_t CellFraction(int32_t t, int32_t p, int32_t next) {
  int64_t w = next - p;
  return Clamp(((int64_t)(t - p) * 32768 + w / 2) / w, 0, kQXFractionOne);
}

// Lattice input side of one channel: cell offsets, cell lookup, fractions.
Status RebuildLatticeInput(Tintmesh* tm, int32_t c) {
  QXInChannel& ch = tm->in[c];
  if (ch.samples < 2) return kSysErr;
  ch.cellLookup.reset();
  ch.fraction.reset();
  ch.cellFrac.reset();
  const int32_t n = ch.samples;
  const int32_t lastCell = n - 2;
  const uint32_t stride = (uint32_t)ch.stride;
  int32_t p16[kQXMaxSamples];
  for (int32_t k = 0; k < n; ++k) p16[k] = P16(tm, ch, k);

  if (tm->inPath == kQX8Bit) {
    QXArray<uint16_t> frac;
    QXArray<uint32_t> packed;
    if (!AllocArray(frac, 256) || !AllocArray(packed, 256)) return kNoMem;
    for (int32_t i = 0; i < 256; ++i) {
      const int32_t t = QXInterpolate16(ch.rangeLow * 257, ch.rangeHigh * 257, QXNormalize16(0, i, 255));
      int32_t k;
      if (tm->precision == kQX8Bit) {
        // The 8-bit grid is searched with the narrowed value.
        const uint16_t key = (uint16_t)Narrow(t);
        k = (int32_t)(std::upper_bound(ch.positions, ch.positions + n - 1, key) - ch.positions) - 1;
      } else {
        k = (int32_t)(std::upper_bound(p16, p16 + n - 1, t) - p16) - 1;
      }
      k = std::clamp(k, 0, lastCell);
      ch.cellOffsets[i] = stride * (uint32_t)k;
      frac.data[i] = (uint16_t)CellFraction(t, p16[k], p16[k + 1]);
      packed.data[i] = (uint32_t)k | (uint32_t)frac.data[i] << 16;
    }
    ch.fraction = std::move(frac);
    ch.cellFrac = std::move(packed);
    return kOk;
  }

  for (int32_t k = 0; k < 256; ++k) ch.cellOffsets[k] = stride * (uint32_t)std::min(k, lastCell);
  QXArray<uint8_t> cells;
  QXArray<uint16_t> frac;
  QXArray<uint32_t> packed;
  if (!AllocArray(cells, 65536) || !AllocArray(frac, 65536) || !AllocArray(packed, 65536)) return kNoMem;
  // One walk over x; the cell moves either way, so an inverted range works too.
  int32_t k = 0;
  for (int32_t x = 0; x < 65536; ++x) {
    const int32_t t = std::max(0, QXNormalize16(ch.rangeLow, x, ch.rangeHigh));
    while (k < lastCell && p16[k + 1] <= t) ++k;
    while (k > 0 && p16[k] > t) --k;
    cells.data[x] = (uint8_t)k;
    frac.data[x] = (uint16_t)CellFraction(t, p16[k], p16[k + 1]);
    packed.data[x] = (uint32_t)k | (uint32_t)frac.data[x] << 16;
  }
  ch.cellLookup = std::move(cells);
  ch.fraction = std::move(frac);
  ch.cellFrac = std::move(packed);
  return kOk;
}

// Lattice output curve of one channel.
Status RebuildOutputCurve(Tintmesh* tm, int32_t c) {
  QXOutChannel& ch = tm->out[c];
  ch.curve8.reset();
  ch.curve16.reset();
  if (tm->outPath == kQX8Bit) {
    if (!AllocArray(ch.curve8, 256)) return kNoMem;
    for (int32_t i = 0; i < 256; ++i) ch.curve8.data[i] = (uint8_t)Scale8(ch.rangeLow, ch.rangeHigh, i);
    return kOk;
  }
  if (ch.rangeLow == 0 && ch.rangeHigh == 65535) return kOk;  // identity: no curve
  if (!AllocArray(ch.curve16, 65536)) return kNoMem;
  for (int32_t x = 0; x < 65536; ++x) ch.curve16.data[x] = (uint16_t)QXInterpolate16(ch.rangeLow, ch.rangeHigh, x);
  return kOk;
}

// Composed curve of channel c (curve and single-input forms): input range,
// table and output range folded into one lookup, or two for 16-bit input,
// 8-bit table and 16-bit output. Without a table only the ranges are kept.
Status RebuildComposed(Tintmesh* tm, int32_t c) {
  QXInChannel& slot = tm->in[c];
  slot.cellLookup.reset();
  slot.fraction.reset();
  if (!qx::HasTable(tm)) return kOk;
  const bool single = tm->lattice == 1;
  // The single-input form has one input: its range applies to every output.
  const QXInChannel& src = single ? tm->in[0] : tm->in[c];
  const int32_t low = src.rangeLow, high = src.rangeHigh;
  const int32_t oLow = tm->out[c].rangeLow, oHigh = tm->out[c].rangeHigh;
  const int32_t full = QXFull(tm);
  const int32_t nOut = tm->nOut;
  const uint8_t* t8 = tm->table8.get();
  const uint16_t* t16 = tm->table16.get();
  auto T = [&](int32_t m) -> int32_t {
    const int32_t e = single ? m * nOut + c : c * full + m;
    return t16 ? t16[e] : t8[e];
  };
  auto In8 = [&](int32_t i) { return Scale8(low, high, i); };
  auto In16 = [&](int32_t x) { return QXInterpolate16(low, high, x); };
  auto Out8 = [&](int32_t y) { return Scale8(oLow, oHigh, y); };
  auto Out16 = [&](int32_t y) { return QXInterpolate16(oLow, oHigh, y); };

  const bool in16 = tm->inPath == kQX16Bit, p16 = tm->precision == kQX16Bit, o16 = tm->outPath == kQX16Bit;
  const int32_t n = in16 ? 65536 : 256;
  if (!o16) {
    QXArray<uint8_t> curve;
    if (!AllocArray(curve, n)) return kNoMem;
    for (int32_t i = 0; i < n; ++i) {
      int32_t y;
      if (!in16 && !p16) y = T(In8(i));
      else if (in16 && !p16) y = T(Narrow(In16(i)));
      else if (!in16) y = Narrow(T(Widen(In8(i))));
      else y = Narrow(T(In16(i)));
      curve.data[i] = (uint8_t)Out8(y);
    }
    slot.cellLookup = std::move(curve);
    return kOk;
  }
  if (in16 && !p16) {
    QXArray<uint8_t> stage1;
    QXArray<uint16_t> stage2;
    if (!AllocArray(stage1, 65536) || !AllocArray(stage2, 256)) return kNoMem;
    for (int32_t x = 0; x < 65536; ++x) stage1.data[x] = (uint8_t)T(Narrow(In16(x)));
    for (int32_t y = 0; y < 256; ++y) stage2.data[y] = (uint16_t)Out16(Widen(y));
    slot.cellLookup = std::move(stage1);
    slot.fraction = std::move(stage2);
    return kOk;
  }
  QXArray<uint16_t> curve;
  if (!AllocArray(curve, n)) return kNoMem;
  for (int32_t i = 0; i < n; ++i) {
    int32_t y;
    if (!in16 && !p16) y = Widen(T(In8(i)));
    else if (!in16) y = T(Widen(In8(i)));
    else y = T(In16(i));
    curve.data[i] = (uint16_t)Out16(y);
  }
  slot.fraction = std::move(curve);
  return kOk;
}

void SetInterpolation(Tintmesh* tm) {
  const bool p16 = tm->precision == kQX16Bit, o16 = tm->outPath == kQX16Bit;
  tm->interpShift = p16 ? (o16 ? 15 : 23) : (o16 ? 7 : 15);
  tm->interpRound = p16 ? (o16 ? 16384 : 0) : (o16 ? 127 : 16384);
}

}  // namespace

// ---- the two maps ------------------------------------------------------------

// Both maps are computed exactly with 64-bit intermediates, which cannot
// overflow for 32-bit arguments. (Halving the operands to stay within 32 bits
// would lift even codes above 32768 by one: QXNormalize16(0, 40000, 65535)
// would give 40001 and a 16-bit lattice would be two codes off.)
int32_t QXNormalize16(int32_t low, int32_t x, int32_t high) {
  if (x == low) return 0;
  if (x == high) return 65535;
  const int64_t lo = std::min(low, high), hi = std::max(low, high);
  const int64_t xc = std::clamp<int64_t>(x, lo, hi);
  const int64_t n = Abs64(xc - low), d = Abs64((int64_t)high - low);
  if (d == 0) return -1;
  return Clamp((n * 65535 + d / 2) / d, 0, 65535);
}

int32_t QXInterpolate16(int32_t low, int32_t high, int32_t t) {
  if (t <= 0) return Clamp(low, 0, 65535);
  if (t >= 65535) return Clamp(high, 0, 65535);
  const int64_t num = (int64_t)low * 65535 + ((int64_t)high - low) * t;
  const int64_t q = num >= 0 ? (num + 32767) / 65535 : -((-num + 32767) / 65535);  // half away from zero
  return Clamp(q, 0, 65535);
}

// ---- sizes ---------------------------------------------------------------------

int32_t QXFull(const Tintmesh* tm) { return tm && tm->precision == kQX16Bit ? 65536 : 256; }

bool QXIsLattice(const Tintmesh* tm) { return tm && tm->lattice == 1 && tm->nIn > 1; }

int64_t QXTableCount(const Tintmesh* tm) {
  if (!tm || tm->nOut < 1 || tm->nOut > kQXMaxChannels || tm->nIn < 1 || tm->nIn > kQXMaxChannels) return 0;
  int64_t count = tm->nOut;
  if (QXIsLattice(tm)) {
    for (int32_t c = 0; c < tm->nIn; ++c) count *= std::max(1, tm->in[c].samples);
  } else {
    count *= QXFull(tm);
  }
  return count > kI32Max ? 0 : count;
}

Status qx::AllocTable(Tintmesh* tm, int32_t count) {
  tm->table8.reset();
  tm->table16.reset();
  if (count <= 0) return kBadArg;
  if (tm->precision == kQX16Bit) {
    tm->table16.data = MemNewArray<uint16_t>((size_t)count + kTablePad);
    if (!tm->table16.data) return kNoMem;
    tm->table16.count = count;
  } else {
    tm->table8.data = MemNewArray<uint8_t>((size_t)count + kTablePad);
    if (!tm->table8.data) return kNoMem;
    tm->table8.count = count;
  }
  return kOk;
}

// ---- construction ------------------------------------------------------------------

Status QXInit(Tintmesh** result, int32_t nIn, int32_t nOut, int32_t inSpace, int32_t outSpace, int32_t lattice,
              TintmeshVersion version, int32_t precision) {
  if (!result || (lattice != 0 && lattice != 1) || version < 0 || version > 2) return kBadArg;
  if (lattice == 0 && (nIn != nOut || inSpace != outSpace)) return kBadArg;
  Status st = VersionAllows(version, inSpace, outSpace, lattice, precision);
  if (st != kOk) return st;
  if (!SpaceMatches(inSpace, nIn) || !SpaceMatches(outSpace, nOut)) return kBadArg;

  Tintmesh* tm = new (std::nothrow) Tintmesh;
  if (!tm) return kNoMem;
  tm->version = version;
  tm->nIn = nIn;
  tm->nOut = nOut;
  tm->inSpace = inSpace;
  tm->outSpace = outSpace;
  tm->lattice = lattice;
  tm->precision = precision;
  tm->inPath = tm->outPath = kQX8Bit;
  SetInterpolation(tm);
  if (QXIsLattice(tm)) {
    for (int32_t c = 0; c < kQXMaxChannels; ++c) {
      if ((st = RebuildOutputCurve(tm, c)) != kOk) {
        QXFree(&tm);
        return st;
      }
    }
  }
  *result = tm;
  return kOk;
}

Status QXFree(Tintmesh** tintmesh) {
  if (!tintmesh || !*tintmesh) return kOk;
  delete *tintmesh;
  *tintmesh = nullptr;
  return kOk;
}

Status QXSetChanSamples(Tintmesh* tm, int32_t channel, int32_t count, uint16_t* positions) {
  if (!tm) return kBadArg;
  if (!QXIsLattice(tm)) {
    if (channel < 0 || channel >= tm->nIn) return kBadArg;
    tm->in[channel].samples = QXFull(tm);
    return kOk;
  }
  if (tm->version <= 1) {
    if (!IsOldGridCount(count)) return kUnsupported;
    if (!positions) return kBadArg;
    for (int32_t c = 0; c < tm->nIn; ++c) {
      if (c != channel && tm->in[c].samples != 1 && tm->in[c].samples != count) return kUnsupported;
    }
    const int32_t step = 256 / (count - 1);
    for (int32_t k = 0; k < count - 1; ++k) positions[k] = (uint16_t)(k * step);
    positions[count - 1] = 255;
  }
  if (!positions || count < 2 || count > kQXMaxSamples || channel < 0 || channel >= tm->nIn) return kBadArg;
  if (positions[0] != 0 || positions[count - 1] != PositionMax(tm)) return kBadArg;
  for (int32_t k = 1; k < count; ++k) {
    if (positions[k] <= positions[k - 1]) return kBadArg;
  }
  QXInChannel& ch = tm->in[channel];
  // The table is sized by the grid: once it exists the grid cannot grow or shrink.
  if (qx::HasTable(tm) && count != ch.samples) return kBadArg;
  int64_t entries = tm->nOut;
  for (int32_t c = 0; c < tm->nIn; ++c) entries *= c == channel ? count : std::max(1, tm->in[c].samples);
  if (entries > kI32Max) return kNoMem;

  for (int32_t k = 0; k < count; ++k) ch.positions[k] = positions[k];
  ch.samples = count;
  ch.stride = channel == 0 ? tm->nOut : tm->in[channel - 1].stride * tm->in[channel - 1].samples;
  return RebuildLatticeInput(tm, channel);
}

Status QXSetChanRange(Tintmesh* tm, int32_t side, int32_t channel, int32_t low, int32_t high) {
  if (!tm || channel < 0 || low == high || (side != kQXInputSide && side != kQXOutputSide)) return kBadArg;
  if (channel >= (side == kQXInputSide ? tm->nIn : tm->nOut)) return kBadArg;
  const int32_t max = MaxCode(side == kQXInputSide ? tm->inPath : tm->outPath);
  if (low < 0 || high < 0 || low > max || high > max) return kBadArg;
  if (side == kQXInputSide) {
    tm->in[channel].rangeLow = low;
    tm->in[channel].rangeHigh = high;
  } else {
    tm->out[channel].rangeLow = low;
    tm->out[channel].rangeHigh = high;
  }
  if (QXIsLattice(tm)) {
    return side == kQXInputSide ? RebuildLatticeInput(tm, channel) : RebuildOutputCurve(tm, channel);
  }
  if (tm->lattice == 1 && side == kQXInputSide) {
    // Single-input form: the one input range feeds every output channel's curve.
    Status first = kOk;
    for (int32_t c = 0; c < tm->nOut; ++c) {
      Status st = RebuildComposed(tm, c);
      if (first == kOk) first = st;
    }
    return first;
  }
  return RebuildComposed(tm, channel);
}

Status QXSetPhysicalDataPath(Tintmesh* tm, int32_t side, int32_t depth) {
  if (!tm || (depth != kQX8Bit && depth != kQX16Bit) || (side != kQXInputSide && side != kQXOutputSide)) return kBadArg;
  if (side == kQXInputSide) {
    tm->inPath = depth;
  } else {
    tm->outPath = depth;
    SetInterpolation(tm);
  }
  const int32_t n = side == kQXInputSide ? tm->nIn : tm->nOut;
  Status first = kOk;
  for (int32_t c = 0; c < n; ++c) {
    Status st = QXSetChanRange(tm, side, c, 0, MaxCode(depth));
    if (first == kOk) first = st;
  }
  return first;
}

namespace {
Status FinaliseTable(Tintmesh* tm);
}  // namespace

Status QXSetDataTableValue(Tintmesh* tm, int32_t index, const uint16_t* values) {
  if (!tm || !values || index < 0 || (tm->lattice != 0 && tm->lattice != 1)) return kBadArg;
  const int64_t entries = QXTableCount(tm);
  if (entries == 0) return kBadArg;
  const int64_t indexes = entries / tm->nOut;
  if (index >= indexes) return kBadArg;
  const int32_t nOut = tm->nOut;
  if (tm->precision == kQX8Bit) {
    for (int32_t k = 0; k < nOut; ++k) {
      if (values[k] > 255) return kBadArg;
    }
  }
  if (!qx::HasTable(tm)) {
    Status st = qx::AllocTable(tm, (int32_t)entries);
    if (st != kOk) return st;
  } else if (qx::TableCountHeld(tm) != entries) {
    return kBadArg;
  }
  const int32_t full = QXFull(tm);
  for (int32_t k = 0; k < nOut; ++k) {
    int64_t e;
    if (tm->lattice == 1) e = (int64_t)index * nOut + k;  // by grid point / input code
    else e = (int64_t)k * full + index;                   // channel after channel
    if (tm->precision == kQX16Bit) tm->table16.data[e] = values[k];
    else tm->table8.data[e] = (uint8_t)values[k];
  }
  if (index != indexes - 1) return kOk;
  return FinaliseTable(tm);
}

Status QXSetDataTableValues(Tintmesh* tm, int64_t count, const uint16_t* values) {
  if (!tm || !values || (tm->lattice != 0 && tm->lattice != 1)) return kBadArg;
  const int64_t entries = QXTableCount(tm);
  if (entries == 0 || count != entries / tm->nOut) return kBadArg;
  if (tm->precision == kQX8Bit)
    for (int64_t e = 0; e < entries; ++e)
      if (values[e] > 255) return kBadArg;
  if (!qx::HasTable(tm)) {
    if (Status st = qx::AllocTable(tm, (int32_t)entries); st != kOk) return st;
  } else if (qx::TableCountHeld(tm) != entries) {
    return kBadArg;
  }
  const int32_t nOut = tm->nOut, full = QXFull(tm);
  if (tm->lattice == 1 && tm->precision == kQX16Bit) {  // the same layout
    std::memcpy(tm->table16.data.get(), values, (size_t)entries * sizeof(uint16_t));
  } else if (tm->lattice == 1) {
    for (int64_t e = 0; e < entries; ++e) tm->table8.data[e] = (uint8_t)values[e];
  } else {  // curve form: channel after channel
    for (int64_t index = 0; index < count; ++index)
      for (int32_t k = 0; k < nOut; ++k) {
        const int64_t e = (int64_t)k * full + index;
        if (tm->precision == kQX16Bit) tm->table16.data[e] = values[index * nOut + k];
        else tm->table8.data[e] = (uint8_t)values[index * nOut + k];
      }
  }
  return FinaliseTable(tm);
}

namespace {

// Once the last table entry is in: both data paths applied again (every
// range becomes full) and every range rebuilt; the first failure is returned.
Status FinaliseTable(Tintmesh* tm) {
  Status first = QXSetPhysicalDataPath(tm, kQXInputSide, tm->inPath);
  Status st = QXSetPhysicalDataPath(tm, kQXOutputSide, tm->outPath);
  if (first == kOk) first = st;
  for (int32_t c = 0; c < tm->nIn; ++c) {
    st = QXSetChanRange(tm, kQXInputSide, c, tm->in[c].rangeLow, tm->in[c].rangeHigh);
    if (first == kOk) first = st;
  }
  for (int32_t c = 0; c < tm->nOut; ++c) {
    st = QXSetChanRange(tm, kQXOutputSide, c, tm->out[c].rangeLow, tm->out[c].rangeHigh);
    if (first == kOk) first = st;
  }
  return first;
}

}  // namespace

// ---- validation ------------------------------------------------------------------------

Status QXValidate(const Tintmesh* tm) {
  if (!tm) return kBadArg;
  if (tm->lattice != 0 && tm->lattice != 1) return kBadArg;
  if (tm->lattice == 0 && (tm->nIn != tm->nOut || tm->inSpace != tm->outSpace)) return kBadArg;
  if (tm->version < 0 || tm->version > 2) return kBadArg;
  if (VersionAllows(tm->version, tm->inSpace, tm->outSpace, tm->lattice, tm->precision) != kOk) return kBadArg;
  if (tm->precision != kQX8Bit && tm->precision != kQX16Bit) return kBadArg;
  if ((tm->inPath != kQX8Bit && tm->inPath != kQX16Bit) || (tm->outPath != kQX8Bit && tm->outPath != kQX16Bit))
    return kBadArg;
  if (!SpaceMatches(tm->inSpace, tm->nIn) || !SpaceMatches(tm->outSpace, tm->nOut)) return kBadArg;
  Tintmesh probe;  // the shift and rounding the paths call for
  probe.precision = tm->precision;
  probe.outPath = tm->outPath;
  SetInterpolation(&probe);
  if (tm->interpShift != probe.interpShift || tm->interpRound != probe.interpRound) return kBadArg;

  // The table: present, of the precision's type, as large as the grid needs.
  const int64_t entries = QXTableCount(tm);
  if (entries == 0 || !qx::HasTable(tm) || qx::TableCountHeld(tm) != entries) return kBadArg;
  if (tm->precision == kQX16Bit ? (bool)tm->table8 : (bool)tm->table16) return kBadArg;

  const int32_t inMax = MaxCode(tm->inPath), outMax = MaxCode(tm->outPath);
  for (int32_t c = 0; c < tm->nIn; ++c) {
    const QXInChannel& ch = tm->in[c];
    if (ch.rangeLow == ch.rangeHigh || ch.rangeLow < 0 || ch.rangeHigh < 0 || ch.rangeLow > inMax || ch.rangeHigh > inMax)
      return kBadArg;
  }
  for (int32_t c = 0; c < tm->nOut; ++c) {
    const QXOutChannel& ch = tm->out[c];
    if (ch.rangeLow == ch.rangeHigh || ch.rangeLow < 0 || ch.rangeHigh < 0 || ch.rangeLow > outMax ||
        ch.rangeHigh > outMax)
      return kBadArg;
  }

  if (QXIsLattice(tm)) {
    const int32_t frames = tm->inPath == kQX16Bit ? 65536 : 256;
    int32_t expectStride = tm->nOut;
    for (int32_t c = 0; c < tm->nIn; ++c) {
      const QXInChannel& ch = tm->in[c];
      const int32_t n = ch.samples;
      if (n < 2 || n > kQXMaxSamples) return kBadArg;
      if (ch.positions[0] != 0 || ch.positions[n - 1] != PositionMax(tm)) return kBadArg;
      for (int32_t k = 1; k < n; ++k) {
        if (ch.positions[k] <= ch.positions[k - 1]) return kBadArg;
      }
      if (tm->version <= 1) {
        if (!IsOldGridCount(n) || n != tm->in[0].samples) return kBadArg;
        for (int32_t k = 0; k < n - 1; ++k) {
          if (ch.positions[k] != k * (256 / (n - 1))) return kBadArg;
        }
      }
      if (ch.stride != expectStride) return kBadArg;
      expectStride *= n;
      if (!ch.fraction || ch.fraction.count != frames || ch.cellFrac.count != frames) return kBadArg;
      if (tm->inPath == kQX16Bit ? !ch.cellLookup || ch.cellLookup.count != 65536 : (bool)ch.cellLookup) return kBadArg;
    }
    for (int32_t c = 0; c < tm->nOut; ++c) {
      const QXOutChannel& ch = tm->out[c];
      if (tm->outPath == kQX8Bit) {
        if (!ch.curve8 || ch.curve8.count != 256 || ch.curve16) return kBadArg;
      } else {
        const bool identity = ch.rangeLow == 0 && ch.rangeHigh == 65535;
        if (ch.curve8 || (identity ? (bool)ch.curve16 : !ch.curve16 || ch.curve16.count != 65536)) return kBadArg;
      }
    }
    return kOk;
  }

  const int32_t full = QXFull(tm);
  for (int32_t c = 0; c < tm->nIn; ++c) {
    if (tm->in[c].samples != full) return kBadArg;
  }
  // The composed curves the path combination needs, and no others.
  const bool in16 = tm->inPath == kQX16Bit, o16 = tm->outPath == kQX16Bit, p16 = tm->precision == kQX16Bit;
  const int32_t n = in16 ? 65536 : 256;
  int32_t want8 = 0, want16 = 0;
  if (!o16) want8 = n;
  else if (in16 && !p16) want8 = 65536, want16 = 256;
  else want16 = n;
  const int32_t curves = tm->lattice == 1 ? tm->nOut : tm->nIn;
  for (int32_t c = 0; c < curves; ++c) {
    const QXInChannel& ch = tm->in[c];
    if (ch.cellLookup.count != want8 || (bool)ch.cellLookup != (want8 != 0)) return kBadArg;
    if (ch.fraction.count != want16 || (bool)ch.fraction != (want16 != 0)) return kBadArg;
  }
  return kOk;
}

namespace {
template <class T>
Status CopyArray(const QXArray<T>& from, QXArray<T>& to, size_t extra = 0) {
  to.reset();
  if (!from) return kOk;
  to.data = MemNewArray<T>((size_t)from.count + extra, false);
  if (!to.data) return kNoMem;
  std::memcpy(to.data.get(), from.data.get(), ((size_t)from.count + extra) * sizeof(T));
  to.count = from.count;
  return kOk;
}
}  // namespace

Status QXCopy(const Tintmesh* from, Tintmesh** copy) {
  if (!from || !copy) return kBadArg;
  Tintmesh* tm = nullptr;
  Status st = QXInit(&tm, from->nIn, from->nOut, from->inSpace, from->outSpace, from->lattice, from->version,
                     from->precision);
  if (st != kOk) return st;
  struct Guard {
    Tintmesh*& tm;
    ~Guard() { QXFree(&tm); }
  } guard{tm};
  tm->inPath = from->inPath;
  tm->outPath = from->outPath;
  tm->interpShift = from->interpShift;
  tm->interpRound = from->interpRound;
  for (int32_t c = 0; c < kQXMaxChannels; ++c) {
    const QXInChannel& f = from->in[c];
    QXInChannel& t = tm->in[c];
    t.rangeLow = f.rangeLow;
    t.rangeHigh = f.rangeHigh;
    t.samples = f.samples;
    t.stride = f.stride;
    std::memcpy(t.positions, f.positions, sizeof t.positions);
    std::memcpy(t.cellOffsets, f.cellOffsets, sizeof t.cellOffsets);
    if (CopyArray(f.cellLookup, t.cellLookup) != kOk || CopyArray(f.fraction, t.fraction) != kOk) return kNoMem;
    const QXOutChannel& fo = from->out[c];
    QXOutChannel& to = tm->out[c];
    to.rangeLow = fo.rangeLow;
    to.rangeHigh = fo.rangeHigh;
    if (CopyArray(fo.curve8, to.curve8) != kOk || CopyArray(fo.curve16, to.curve16) != kOk) return kNoMem;
  }
  // The table keeps its zeroed padding (tintmesh_internal.h).
  if (CopyArray(from->table8, tm->table8, from->table8 ? qx::kTablePad : 0) != kOk ||
      CopyArray(from->table16, tm->table16, from->table16 ? qx::kTablePad : 0) != kOk)
    return kNoMem;
  *copy = tm;
  tm = nullptr;
  return kOk;
}
