#include "filters/noisefilter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/memory.h"

namespace {

constexpr int32_t kMaxCells = kIPNoiseMaskSide * kIPNoiseMaskSide;
constexpr int32_t kRandomPicks = 10000;

// The element of rank k (0-based, ascending) of a[0..n-1]; reorders a.
inline int32_t SelectRank(int32_t* a, int32_t n, int32_t k) {
  int32_t lo = 0, hi = n - 1;
  while (lo < hi) {
    const int32_t pivot = a[k];
    int32_t i = lo, j = hi;
    do {
      while (a[i] < pivot) ++i;
      while (pivot < a[j]) --j;
      if (i <= j) {
        std::swap(a[i], a[j]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j < k) lo = i;
    if (k < i) hi = j;
  }
  return a[k];
}

inline int32_t Pick(int32_t* a, int32_t n) {
  if (n == 1) return a[0];
  if (n == 2) return (int32_t)(((int64_t)a[0] + a[1]) >> 1);
  return SelectRank(a, n, n >> 1);
}

// The inclusive range [v − T, v + T], kept inside 32 bits (every sample is).
inline void RangeOf(int32_t v, int64_t T, uint32_t& lo, uint32_t& span) {
  const int64_t l = std::max<int64_t>((int64_t)v - T, INT32_MIN), h = std::min<int64_t>((int64_t)v + T, INT32_MAX);
  lo = (uint32_t)(int32_t)l;
  span = (uint32_t)(h - l);
}

// ---- The vector median ------------------------------------------------------
// Eight samples of one channel at a time. The cells out of range become
// sentinels, alternately −∞ and +∞ (starting with −∞ when the cell count c is
// even, with +∞ when it is odd), which puts the in-range element of rank
// ⌊n/2⌋ (n in range) at position ⌊c/2⌋ of all c whatever n is; a selection
// network (Batcher's merge sort, pruned to the positions wanted) finds it
// without branches. With two values in range, positions ⌊c/2⌋ − 1 and ⌊c/2⌋
// hold them both, and their mean is taken.
constexpr int32_t kMaxNetCells = 128;

// A selection network for one cell count: compare-exchanges of storage slots
// (the smaller value to the first), and the slots that end with ranks ⌊c/2⌋
// and ⌊c/2⌋ − 1.
struct MedianNet {
  int32_t cells = 0;
  std::vector<uint8_t> pairs;  // lo, hi, lo, hi, ...
  int32_t result = 0;
  int32_t below = 0;
};

void BuildNet(int32_t cells, MedianNet& net) {
  int32_t n = 1;
  while (n < cells) n <<= 1;
  std::vector<int32_t> slot(n);
  std::vector<bool> pad(n);
  for (int32_t w = 0; w < n; ++w) slot[w] = w, pad[w] = w >= cells;
  std::vector<std::pair<int32_t, int32_t>> ops;
  for (int32_t p = 1; p < n; p <<= 1)
    for (int32_t k = p; k >= 1; k >>= 1)
      for (int32_t j = k % p; j + k < n; j += 2 * k)
        for (int32_t i = 0; i < std::min(k, n - j - k); ++i) {
          if ((i + j) / (2 * p) != (i + j + k) / (2 * p)) continue;
          const int32_t a = i + j, b = i + j + k;
          if (pad[b]) continue;  // +∞ already on the high side
          if (pad[a]) {          // the real value moves down: relabel, no work
            std::swap(slot[a], slot[b]);
            pad[a] = false;
            pad[b] = true;
            continue;
          }
          ops.push_back({slot[a], slot[b]});
        }
  net.cells = cells;
  net.result = slot[cells >> 1];
  net.below = slot[std::max(0, (cells >> 1) - 1)];
  // Keep only what the two results depend on.
  std::vector<bool> needed(n);
  needed[net.result] = needed[net.below] = true;
  std::vector<std::pair<int32_t, int32_t>> kept;
  for (auto it = ops.rbegin(); it != ops.rend(); ++it) {
    if (!needed[it->first] && !needed[it->second]) continue;
    needed[it->first] = needed[it->second] = true;
    kept.push_back(*it);
  }
  net.pairs.clear();
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    net.pairs.push_back((uint8_t)it->first);
    net.pairs.push_back((uint8_t)it->second);
  }
}

constexpr int32_t kLanes = 8;
typedef int32_t VI __attribute__((vector_size(4 * kLanes)));

// Filters `width` samples (rounded up to kLanes: the rows and `out` have
// room) of one channel: centre samples at centre[x], cell k at cell[k][x].
// |v| + T stays below 2^31 (the caller caps T), and no sample reaches a
// sentinel.
__attribute__((target_clones("avx2", "default")))
void MedianRow(const int32_t* const* cell, const int32_t* centre, int32_t T, int32_t width, const MedianNet& net,
               int32_t* out) {
  VI v[kMaxNetCells];
  const int32_t cells = net.cells;
  const uint8_t* pairs = net.pairs.data();
  const int32_t npairs = (int32_t)net.pairs.size() / 2;
  const VI zero = {}, one = zero + 1, top = zero + INT32_MAX, bottom = zero + INT32_MIN;
  const VI startLow = zero + ((cells & 1) ? 1 : 0);  // parity of the out-of-range count that gets −∞
  for (int32_t x = 0; x < width; x += kLanes) {
    VI c;
    std::memcpy(&c, centre + x, sizeof c);
    const VI lo = c - T, hi = c + T;
    VI n = zero, outside = zero;
    for (int32_t k = 0; k < cells; ++k) {
      VI u;
      std::memcpy(&u, cell[k] + x, sizeof u);
      const VI in = (u >= lo) & (u <= hi);
      n -= in;
      v[k] = in ? u : ((outside & one) == startLow ? bottom : top);
      outside += ~in & one;
    }
    for (int32_t i = 0; i < npairs; ++i) {
      const VI a = v[pairs[2 * i]], b = v[pairs[2 * i + 1]];
      v[pairs[2 * i]] = a < b ? a : b;
      v[pairs[2 * i + 1]] = a < b ? b : a;
    }
    const VI p = v[net.below], q = v[net.result];
    const VI mean = (p >> 1) + (q >> 1) + (p & q & one);
    const VI r = n == 2 ? mean : q;
    std::memcpy(out + x, &r, sizeof r);
  }
}

// ---- Row conversions ---------------------------------------------------------
// The vectoriser needs its full cost model for these loops (GCC's -O2 keeps a
// cheaper one) and unaliased rows; each kernel also has an AVX2 clone chosen
// at load time. The divisions by constants become vector multiplies.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")
#endif

template <class S>
inline void ToYuvBody(const S* __restrict r, const S* __restrict g, const S* __restrict b, int32_t* __restrict y,
                      int32_t* __restrict u, int32_t* __restrict v, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t R = r[x], G = g[x], B = b[x];
    y[x] = 4899 * R + 9617 * G + 1868 * B;
    u[x] = -2425 * R - 4735 * G + 7160 * B;
    v[x] = 10076 * R - 8438 * G - 1638 * B;
  }
}

// Every numerator fits 32 bits (|U|, |V| < 2^30 even for 16-bit samples).
template <class S>
inline void FromYuvBody(const int32_t* __restrict y, const int32_t* __restrict u, const int32_t* __restrict v,
                        S* __restrict r, S* __restrict g, S* __restrict b, int32_t width, int32_t top) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t Y = (y[x] + 8192) >> 14, U = u[x], V = v[x];
    r[x] = (S)std::clamp(Y - (U + 58551594) / 117103188 + (2 * V + 14374) / 28749, 0, top);
    g[x] = (S)std::clamp(Y - (4 * U + 83208) / 166417 - (2 * V + 28200) / 56401, 0, top);
    b[x] = (S)std::clamp(Y + (3 * U + 12119) / 24239 + (V + 4487105) / 8974210, 0, top);
  }
}

template <class S>
inline void ToFixedBody(const S* __restrict s, int32_t* __restrict d, int32_t width) {
  for (int32_t x = 0; x < width; ++x) d[x] = (int32_t)s[x] << 14;
}

template <class S>
inline void FromFixedBody(const int32_t* __restrict v, S* __restrict d, int32_t width, int32_t top) {
  for (int32_t x = 0; x < width; ++x) d[x] = (S)std::clamp((v[x] + 8192) >> 14, 0, top);
}

__attribute__((target_clones("avx2", "default")))
void ToYuv8(const uint8_t* r, const uint8_t* g, const uint8_t* b, int32_t* y, int32_t* u, int32_t* v, int32_t w) {
  ToYuvBody(r, g, b, y, u, v, w);
}
__attribute__((target_clones("avx2", "default")))
void ToYuv16(const uint16_t* r, const uint16_t* g, const uint16_t* b, int32_t* y, int32_t* u, int32_t* v, int32_t w) {
  ToYuvBody(r, g, b, y, u, v, w);
}
__attribute__((target_clones("avx2", "default")))
void FromYuv8(const int32_t* y, const int32_t* u, const int32_t* v, uint8_t* r, uint8_t* g, uint8_t* b, int32_t w) {
  FromYuvBody(y, u, v, r, g, b, w, 255);
}
__attribute__((target_clones("avx2", "default")))
void FromYuv16(const int32_t* y, const int32_t* u, const int32_t* v, uint16_t* r, uint16_t* g, uint16_t* b, int32_t w) {
  FromYuvBody(y, u, v, r, g, b, w, 65535);
}
void ToFixed(const uint8_t* s, int32_t* d, int32_t w) { ToFixedBody(s, d, w); }
void ToFixed(const uint16_t* s, int32_t* d, int32_t w) { ToFixedBody(s, d, w); }
void FromFixed(const int32_t* v, uint8_t* d, int32_t w) { FromFixedBody(v, d, w, 255); }
void FromFixed(const int32_t* v, uint16_t* d, int32_t w) { FromFixedBody(v, d, w, 65535); }
inline void ToYuv(const uint8_t* r, const uint8_t* g, const uint8_t* b, int32_t* y, int32_t* u, int32_t* v, int32_t w) {
  ToYuv8(r, g, b, y, u, v, w);
}
inline void ToYuv(const uint16_t* r, const uint16_t* g, const uint16_t* b, int32_t* y, int32_t* u, int32_t* v, int32_t w) {
  ToYuv16(r, g, b, y, u, v, w);
}
inline void FromYuv(const int32_t* y, const int32_t* u, const int32_t* v, uint8_t* r, uint8_t* g, uint8_t* b, int32_t w) {
  FromYuv8(y, u, v, r, g, b, w);
}
inline void FromYuv(const int32_t* y, const int32_t* u, const int32_t* v, uint16_t* r, uint16_t* g, uint16_t* b,
                    int32_t w) {
  FromYuv16(y, u, v, r, g, b, w);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

void SparseDisc(int32_t r, int32_t& state, IPNoiseMask& mask) {
  const int32_t n = 2 * r + 1;
  uint8_t cand[kIPNoiseMaskSide][kIPNoiseMaskSide] = {};
  int32_t left = 0;
  for (int32_t y = 0; y < n; ++y)
    for (int32_t x = 0; x < n; ++x)
      if ((x - r) * (x - r) + (y - r) * (y - r) <= r * r) {
        cand[y][x] = 1;
        ++left;
      }
  auto pick = [&](int32_t x, int32_t y) {
    if (!cand[y][x]) return;
    mask.cell[y][x] = 1;
    cand[y][x] = 0;
    --left;
    for (int32_t dy = -2; dy <= 2; ++dy)
      for (int32_t dx = -2; dx <= 2; ++dx) {
        if ((dx == -2 || dx == 2) && (dy == -2 || dy == 2)) continue;
        const int32_t xx = x + dx, yy = y + dy;
        if (xx < 0 || yy < 0 || xx >= n || yy >= n || mask.cell[yy][xx] || !cand[yy][xx]) continue;
        cand[yy][xx] = 0;
        --left;
      }
  };
  pick(r, r);
  for (int32_t k = 0; k < kRandomPicks && left > 0; ++k) {
    const int32_t x = (IPNoiseNext(state) >> 11) % n;
    const int32_t y = (IPNoiseNext(state) >> 11) % n;
    pick(x, y);
  }
  for (int32_t y = 0; y < n && left > 0; ++y)
    for (int32_t x = 0; x < n && left > 0; ++x) pick(x, y);
}

}  // namespace

int32_t IPNoiseNext(int32_t& state) {
  const int32_t hi = state / 127773, lo = state % 127773;
  int32_t t = 16807 * lo - 2836 * hi;
  if (t <= 0) t += 2147483647;
  state = t;
  return t;
}

Status IPNoiseMakeMask(int32_t shape, int32_t radius, int32_t& state, IPNoiseMask& mask) {
  if (shape < 0 || shape > 5 || radius < 0 || radius > kIPNoiseMaxRadius) return kBadArg;
  mask = IPNoiseMask{};
  const int32_t r = radius, n = 2 * r + 1;
  mask.radius = r;
  mask.side = n;
  if (r == 0) {
    mask.cell[0][0] = 1;
    return kOk;
  }
  switch (shape) {
    case kIPShapeSquare:
      for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) mask.cell[y][x] = 1;
      break;
    case kIPShapeDisc:
      for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) mask.cell[y][x] = (x - r) * (x - r) + (y - r) * (y - r) <= r * r;
      break;
    case kIPShapeDiamond:
      for (int32_t y = 0; y < n; ++y) {
        const int32_t d = y <= r ? y : 2 * r - y;
        for (int32_t x = r - d; x <= r + d; ++x) mask.cell[y][x] = 1;
      }
      break;
    case kIPShapeCross:
      for (int32_t k = 0; k < n; ++k) mask.cell[r][k] = mask.cell[k][r] = 1;
      break;
    case kIPShapeSparseDisc: SparseDisc(r, state, mask); break;
    default: break;  // the walk uses no mask
  }
  return kOk;
}

void IPNoiseTurnMask(IPNoiseMask& mask, int32_t symmetry) {
  const int32_t n = mask.side, m = n - 1;
  IPNoiseMask out = mask;
  for (int32_t y = 0; y < n; ++y)
    for (int32_t x = 0; x < n; ++x) {
      int32_t nx, ny;
      switch (symmetry) {
        case 0: nx = y, ny = x; break;
        case 1: nx = m - y, ny = x; break;
        case 2: nx = m - x, ny = y; break;
        case 3: nx = y, ny = m - x; break;
        case 4: nx = x, ny = m - y; break;
        case 5: nx = m - y, ny = m - x; break;
        default: nx = m - x, ny = m - y; break;
      }
      out.cell[ny][nx] = mask.cell[y][x];
    }
  mask = out;
}

struct IPNoiseFilter {
  IPNoiseSetup setup;
  int32_t R = 0;       // the largest radius
  int32_t slots = 1;   // 2R + 1
  int32_t stride = 0;  // width + 2R
  bool yuv = false;
  int64_t T[kIPMaxChannels] = {};
  // The largest threshold that keeps v ± T inside 32 bits for every sample v
  // of the channel; it still spans the channel's whole range of values.
  int64_t cap[kIPMaxChannels] = {};
  IPNoiseMask mask[kIPMaxChannels];
  // Cells of each mask relative to the centre, in row order.
  int32_t cellCount[kIPMaxChannels] = {};
  int8_t cellDy[kIPMaxChannels][kMaxCells];
  int8_t cellDx[kIPMaxChannels][kMaxCells];
  MedianNet net[kIPMaxChannels];  // per channel with at most kMaxNetCells cells
  MemPtr<int32_t[]> ring;    // channels × slots × stride (stride: width + 2R + kLanes slack)
  MemPtr<int32_t[]> values;  // channels × (width + kLanes): the filtered row before conversion
  MemPtr<uint8_t[]> outRow;  // channels × width samples
  int32_t state = kIPNoiseSeed;
  int32_t received = 0, produced = 0;
  Status failed = kOk;

  int32_t* RingRow(int32_t c, int32_t row) const {
    return ring.get() + ((size_t)c * slots + (size_t)(row % slots)) * stride;
  }

  void ListCells(int32_t c) {
    const IPNoiseMask& m = mask[c];
    int32_t k = 0;
    for (int32_t y = 0; y < m.side; ++y)
      for (int32_t x = 0; x < m.side; ++x)
        if (m.cell[y][x]) {
          cellDy[c][k] = (int8_t)(y - m.radius);
          cellDx[c][k] = (int8_t)(x - m.radius);
          ++k;
        }
    cellCount[c] = k;
  }

  template <class S>
  void Store(const IPRow& row) {
    const int32_t W = setup.width, r = received;
    int32_t* dst[kIPMaxChannels];
    for (int32_t c = 0; c < setup.channels; ++c) dst[c] = RingRow(c, r) + R;
    if (yuv) {
      ToYuv(static_cast<const S*>(row.chan[0]), static_cast<const S*>(row.chan[1]), static_cast<const S*>(row.chan[2]),
            dst[0], dst[1], dst[2], W);
    } else {
      for (int32_t c = 0; c < setup.channels; ++c) ToFixed(static_cast<const S*>(row.chan[c]), dst[c], W);
    }
    for (int32_t c = 0; c < setup.channels; ++c)
      for (int32_t k = 1; k <= R; ++k) {
        dst[c][-k] = dst[c][0];
        dst[c][W - 1 + k] = dst[c][W - 1];
      }
  }

  // Filters channel c of output row y into values.
  void FilterChannel(int32_t c, int32_t y) {
    const int32_t W = setup.width, r = setup.radius[c], H = setup.height;
    int32_t* out = values.get() + (size_t)c * (W + kLanes);
    const int32_t* rows[2 * kIPNoiseMaxRadius + 1];
    for (int32_t d = -r; d <= r; ++d) rows[d + r] = RingRow(c, std::clamp(y + d, 0, H - 1)) + R;
    const int32_t* centre = rows[r];
    if (r == 0) {
      std::memcpy(out, centre, sizeof(int32_t) * W);
      return;
    }
    int32_t buf[kMaxCells];
    const int64_t T_ = T[c];
    if (setup.shape == kIPShapeWalk) {
      static const int32_t kDir[8][2] = {{1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}};
      for (int32_t x = 0; x < W; ++x) {
        const int32_t v = centre[x];
        uint32_t lo, span;
        RangeOf(v, T_, lo, span);
        int32_t n = 0;
        buf[n++] = v;
        for (const auto& d : kDir)
          for (int32_t s = 1; s <= r; ++s) {
            const int32_t u = rows[r + d[1] * s][x + d[0] * s];
            if ((uint32_t)u - lo > span) break;
            buf[n++] = u;
          }
        out[x] = Pick(buf, n);
      }
      return;
    }
    const int32_t cells = cellCount[c];
    const int32_t* ptr[kMaxCells];
    for (int32_t k = 0; k < cells; ++k) ptr[k] = rows[r + cellDy[c][k]] + cellDx[c][k];
    if (net[c].cells == cells) {
      MedianRow(ptr, centre, (int32_t)std::min<int64_t>(T_, cap[c]), W, net[c], out);
      return;
    }
    for (int32_t x = 0; x < W; ++x) {
      const int32_t v = centre[x];
      uint32_t lo, span;
      RangeOf(v, T_, lo, span);
      int32_t n = 0;
      for (int32_t k = 0; k < cells; ++k) {
        const int32_t u = ptr[k][x];
        buf[n] = u;
        n += ((uint32_t)u - lo) <= span;
      }
      out[x] = Pick(buf, n);
    }
  }

  template <class S>
  void Convert() {
    const int32_t W = setup.width;
    S* o[kIPMaxChannels];
    const int32_t* v[kIPMaxChannels];
    for (int32_t c = 0; c < setup.channels; ++c) {
      o[c] = reinterpret_cast<S*>(outRow.get()) + (size_t)c * W;
      v[c] = values.get() + (size_t)c * (W + kLanes);
    }
    if (yuv) {
      FromYuv(v[0], v[1], v[2], o[0], o[1], o[2], W);
    } else {
      for (int32_t c = 0; c < setup.channels; ++c) FromFixed(v[c], o[c], W);
    }
  }

  Status Produce(int32_t y) {
    for (int32_t c = 0; c < setup.channels; ++c) FilterChannel(c, y);
    if (setup.depth == 2) Convert<uint16_t>();
    else Convert<uint8_t>();
    IPRow out;
    const size_t plane = (size_t)setup.width * setup.depth;
    for (int32_t c = 0; c < setup.channels; ++c) out.chan[c] = outRow.get() + c * plane;
    Status st = setup.sink(setup.sinkContext, y, out);
    if (st != kOk) return failed = st;
    if (setup.shape == kIPShapeSparseDisc) {
      for (int32_t c = 0; c < setup.channels; ++c) {
        IPNoiseTurnMask(mask[c], IPNoiseNext(state) % 7);
        ListCells(c);
      }
    }
    return kOk;
  }

  Status Push(const IPRow& row) {
    if (failed != kOk) return failed;
    if (received >= setup.height) return kBadArg;
    for (int32_t c = 0; c < setup.channels; ++c)
      if (!row.chan[c]) return kBadArg;
    if (setup.depth == 2) Store<uint16_t>(row);
    else Store<uint8_t>(row);
    const int32_t i = received++;
    const int32_t last = i == setup.height - 1 ? i : i - R;
    while (produced <= last) {
      Status st = Produce(produced);
      if (st != kOk) return st;
      ++produced;
    }
    return kOk;
  }
};

Status IPNoiseFilterCreate(const IPNoiseSetup& setup, IPNoiseFilter** filter) {
  if (!filter) return kBadArg;
  const IPNoiseSetup& s = setup;
  if (s.width < 1 || s.height < 1 || s.channels < 1 || s.channels > kIPMaxChannels || !s.sink) return kBadArg;
  if (s.depth != 1 && s.depth != 2) return kBadArg;
  const int32_t need = s.colorType == 1 || s.colorType == 7 ? 3 : s.colorType == 4 ? 4 : s.colorType == 5 ? 1 : 0;
  if (need != s.channels) return kBadArg;
  if (s.shape < 0 || s.shape > 5) return kBadArg;
  int32_t R = 0;
  for (int32_t c = 0; c < s.channels; ++c) {
    const int32_t r = s.radius[c];
    if (r < 0 || r > kIPNoiseMaxRadius || (s.shape == kIPShapeSparseDisc && r != 0 && r < 3)) return kBadArg;
    if (s.threshold[c] < 0 || s.threshold[c] > 65535) return kBadArg;
    R = std::max(R, r);
  }
  if ((int64_t)s.width + 2 * R > INT32_MAX / 4) return kBadArg;
  auto f = std::make_unique<IPNoiseFilter>();
  f->setup = setup;
  f->R = R;
  f->slots = 2 * R + 1;
  f->stride = s.width + 2 * R + kLanes;
  f->yuv = s.lumaChroma && s.colorType == 1;
  for (int32_t c = 0; c < s.channels; ++c) {
    const int64_t top = s.depth == 2 ? 65535 : 255;
    f->T[c] = (int64_t)s.threshold[c] * 16384 * (s.depth == 2 ? 257 : 1);
    const int64_t largest = !f->yuv || c == 0 ? 16384 * top : c == 1 ? 7160 * top : 10076 * top;
    f->cap[c] = INT32_MAX - largest;
    Status st = IPNoiseMakeMask(s.shape, s.radius[c], f->state, f->mask[c]);
    if (st != kOk) return st;
    f->ListCells(c);
    if (s.radius[c] > 0 && s.shape != kIPShapeWalk && f->cellCount[c] <= kMaxNetCells) BuildNet(f->cellCount[c], f->net[c]);
  }
  f->ring = MemNewArray<int32_t>((size_t)s.channels * f->slots * f->stride, true);
  f->values = MemNewArray<int32_t>((size_t)s.channels * (s.width + kLanes), true);
  f->outRow = MemNewArray<uint8_t>((size_t)s.channels * s.width * s.depth, false);
  if (!f->ring || !f->values || !f->outRow) return kNoMem;
  *filter = f.release();
  return kOk;
}

Status IPNoiseFilterPush(IPNoiseFilter* filter, const IPRow& row) {
  if (!filter) return kBadArg;
  return filter->Push(row);
}

Status IPNoiseFilterFree(IPNoiseFilter** filter) {
  if (filter) {
    delete *filter;
    *filter = nullptr;
  }
  return kOk;
}
