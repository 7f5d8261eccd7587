#include "transform/tintmesh_file.h"

#include <algorithm>
#include <cstring>

#include "base/atomicfile.h"
#include "base/bytes.h"
#include "transform/tintmesh_internal.h"

void QXKeystream::Apply(uint8_t* bytes, size_t count) {
  // Schrage's decomposition of 16807 × s mod (2^31 − 1): q = 127773, r = 2836.
  int32_t s = state;
  for (size_t i = 0; i < count; ++i) {
    s = 16807 * (s % 127773) - 2836 * (s / 127773);
    if (s < 1) s += 2147483647;
    bytes[i] ^= (uint8_t)s;
  }
  state = s;
}

namespace {

constexpr size_t kChunk = 4096;

// Exponent e of a sample count 2^e + 1 (versions 0 and 1).
uint8_t GridExponent(int32_t count) {
  uint8_t e = 0;
  while ((1 << e) + 1 < count) ++e;
  return e;
}

// Writes `count` table or position values of `width` bytes, big-endian, scrambled.
template <class T>
Status WriteValues(Stream& s, QXKeystream& ks, const T* values, size_t count, int width) {
  uint8_t buf[kChunk];
  const size_t per = kChunk / (size_t)width;
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(per, count - done);
    for (size_t i = 0; i < n; ++i) {
      if (width == 2) StoreBE16(buf + 2 * i, (uint16_t)values[done + i]);
      else buf[i] = (uint8_t)values[done + i];
    }
    ks.Apply(buf, n * (size_t)width);
    Status st = StreamWriteAll(s, buf, n * (size_t)width);
    if (st != kOk) return st;
    done += n;
  }
  return kOk;
}

Status WriteBody(Stream& s, const Tintmesh* tm) {
  uint8_t h[kQXHeaderSize] = {};
  h[0] = 0x13;
  h[1] = 0x35;
  h[2] = (uint8_t)tm->nIn;
  h[3] = (uint8_t)tm->nOut;
  for (int32_t c = 0; c < kQXMaxChannels; ++c) {
    if (tm->version <= 1) h[4 + c] = c < tm->nIn ? GridExponent(tm->in[0].samples) : 0;
    else h[4 + c] = c < tm->nIn ? (uint8_t)(tm->in[c].samples & 0xFF) : 1;
  }
  h[8] = (uint8_t)tm->version;
  if (tm->version >= 1) {
    h[9] = (uint8_t)tm->inSpace;
    h[10] = (uint8_t)tm->outSpace;
  }
  if (tm->version == 2) h[11] = (uint8_t)tm->lattice;
  h[12] = h[13] = tm->precision == kQX16Bit ? 1 : 0;
  QXKeystream ks;
  ks.Apply(h, sizeof h);
  if (StreamWriteAll(s, h, sizeof h) != kOk) return kWriteErr;

  const int width = tm->precision == kQX16Bit ? 2 : 1;
  if (tm->version == 2 && QXIsLattice(tm)) {
    for (int32_t c = 0; c < tm->nIn; ++c) {
      Status st = WriteValues(s, ks, tm->in[c].positions, (size_t)tm->in[c].samples, width);
      if (st != kOk) return st;
    }
  }
  if (width == 2) return WriteValues(s, ks, tm->table16.get(), (size_t)tm->table16.count, 2);
  return WriteValues(s, ks, tm->table8.get(), (size_t)tm->table8.count, 1);
}

// Bytes left between the stream's position and its end.
Status Remaining(Stream& s, int64_t& left) {
  int64_t pos = 0, end = 0;
  Status st = StreamTell(s, pos);
  if (st == kOk) st = StreamSeek(s, 0, 2);
  if (st == kOk) st = StreamTell(s, end);
  if (st == kOk) st = StreamSeek(s, pos, 0);
  if (st != kOk) return kReadErr;
  left = end - pos;
  return kOk;
}

struct Header {
  int32_t nIn = 0, nOut = 0, inSpace = 0, outSpace = 0, lattice = 1, version = 0, precision = kQX8Bit;
  int32_t counts[kQXMaxChannels] = {};
};

bool OldSpace(int32_t code) {
  return code == kQXSpaceRGB || code == kQXSpaceCMYK || code == kQXSpaceLab || code == kQXSpaceYCC;
}

// The header checks; -8 on any failure.
Status ParseHeader(const uint8_t* h, Header& hd) {
  if (h[0] != 0x13 || h[1] != 0x35 || h[8] > 2) return kFormatErr;
  hd.version = h[8];
  hd.nIn = h[2];
  hd.nOut = h[3];
  if (hd.version <= 1) {
    if ((hd.nIn != 3 && hd.nIn != 4) || (hd.nOut != 3 && hd.nOut != 4)) return kFormatErr;
    if (hd.version == 0) {
      hd.inSpace = hd.nIn == 3 ? kQXSpaceRGB : kQXSpaceCMYK;
      hd.outSpace = hd.nOut == 3 ? kQXSpaceRGB : kQXSpaceCMYK;
    } else {
      hd.inSpace = h[9];
      hd.outSpace = h[10];
      if (!OldSpace(hd.inSpace) || !OldSpace(hd.outSpace)) return kFormatErr;
    }
    hd.lattice = 1;
    hd.precision = kQX8Bit;
    for (int32_t c = 0; c < hd.nIn; ++c) {
      if (h[4 + c] > 4) return kFormatErr;
      hd.counts[c] = (1 << h[4 + c]) + 1;
    }
    return kOk;
  }
  auto count = [](int32_t n) { return n == 1 || n == 3 || n == 4; };
  if (!count(hd.nIn) || !count(hd.nOut)) return kFormatErr;
  if (h[11] > 1 || h[12] > 1 || h[13] > 1 || h[12] != h[13]) return kFormatErr;
  hd.inSpace = h[9];
  hd.outSpace = h[10];
  if ((!OldSpace(hd.inSpace) && hd.inSpace != kQXSpaceGray) || (!OldSpace(hd.outSpace) && hd.outSpace != kQXSpaceGray))
    return kFormatErr;
  for (int32_t i = 14; i < kQXHeaderSize; ++i) {
    if (h[i] != 0) return kFormatErr;
  }
  for (int32_t c = 0; c < hd.nIn; ++c) {
    if (h[4 + c] == 1) return kFormatErr;
    hd.counts[c] = h[4 + c] == 0 ? 256 : h[4 + c];
  }
  hd.lattice = h[11];
  hd.precision = h[12] ? kQX16Bit : kQX8Bit;
  return kOk;
}

Status ReadBody(Stream& s, Tintmesh** result) {
  uint8_t h[kQXHeaderSize];
  if (StreamReadExact(s, h, sizeof h) != kOk) return kReadErr;
  QXKeystream ks;
  ks.Apply(h, sizeof h);
  Header hd;
  Status st = ParseHeader(h, hd);
  if (st != kOk) return st;

  Tintmesh* tm = nullptr;
  st = QXInit(&tm, hd.nIn, hd.nOut, hd.inSpace, hd.outSpace, hd.lattice, hd.version, hd.precision);
  if (st != kOk) return st;
  struct Guard {
    Tintmesh*& tm;
    ~Guard() { QXFree(&tm); }
  } guard{tm};

  // The stream must hold the positions and the table before anything is
  // allocated for them.
  const int64_t width = hd.precision == kQX16Bit ? 2 : 1;
  const bool lattice = QXIsLattice(tm);
  int64_t entries = hd.nOut, positionBytes = 0;
  if (lattice) {
    for (int32_t c = 0; c < hd.nIn; ++c) {
      entries *= hd.counts[c];
      if (hd.version == 2) positionBytes += hd.counts[c] * width;
    }
  } else {
    entries *= QXFull(tm);
  }
  int64_t left = 0;
  if ((st = Remaining(s, left)) != kOk) return st;
  if (left < positionBytes + entries * width) return kReadErr;

  if (lattice) {
    for (int32_t c = 0; c < hd.nIn; ++c) {
      const int32_t n = hd.counts[c];
      uint16_t positions[kQXMaxSamples];
      if (hd.version <= 1) {
        for (int32_t k = 0; k < n; ++k) positions[k] = (uint16_t)(k * 256 / (n - 1));
        positions[0] = 0;
        positions[n - 1] = 255;
      } else {
        uint8_t raw[2 * kQXMaxSamples];
        if (StreamReadExact(s, raw, (size_t)(n * width)) != kOk) return kReadErr;
        ks.Apply(raw, (size_t)(n * width));
        for (int32_t k = 0; k < n; ++k) positions[k] = width == 2 ? LoadBE16(raw + 2 * k) : raw[k];
      }
      if ((st = QXSetChanSamples(tm, c, n, positions)) != kOk) return st;
    }
  } else {
    for (int32_t c = 0; c < hd.nIn; ++c) {
      if ((st = QXSetChanSamples(tm, c, QXFull(tm), nullptr)) != kOk) return st;
    }
  }
  if (entries > INT32_MAX) return kFormatErr;
  if ((st = qx::AllocTable(tm, (int32_t)entries)) != kOk) return st;
  // Read the raw bytes into the table's own storage, unscramble, then turn
  // 16-bit entries from big-endian in place (entry i reads bytes 2i, 2i+1).
  uint8_t* raw = width == 2 ? reinterpret_cast<uint8_t*>(tm->table16.get()) : tm->table8.get();
  const size_t bytes = (size_t)(entries * width);
  if (StreamReadExact(s, raw, bytes) != kOk) return kReadErr;
  ks.Apply(raw, bytes);
  if (width == 2) {
    uint16_t* t = tm->table16.get();
    for (int64_t i = 0; i < entries; ++i) t[i] = LoadBE16(raw + 2 * i);
  }

  if ((st = QXSetPhysicalDataPath(tm, kQXInputSide, tm->inPath)) != kOk) return st;
  if ((st = QXSetPhysicalDataPath(tm, kQXOutputSide, tm->outPath)) != kOk) return st;
  if (QXValidate(tm) != kOk) return kBadArg;
  *result = tm;
  tm = nullptr;  // handed over: the guard frees nothing
  return kOk;
}

}  // namespace

Status QXWriteFile(const Tintmesh* tm, const StreamLocation& where) {
  if (!tm || QXValidate(tm) != kOk) return kBadArg;
  return WriteWhole(where, [tm](Stream& s) { return WriteBody(s, tm); });
}

Status QXReadFile(Tintmesh** result, const StreamLocation& where) {
  if (!result) return kBadArg;
  Stream s;
  Status st = StreamOpen(s, where, kStreamRead);
  if (st != kOk) return st;
  return ReadBody(s, result);
}
