// The Tintmesh stream: keystream, write → read for every form, precision and
// version (memory block and file), header checks, short and hostile streams,
// write failures.
#include "transform/tintmesh_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/memory.h"
#include "support/scratch.h"
#include "transform/tintmesh_testutil.h"

namespace {

template <class T>
void ExpectSameArray(const QXArray<T>& a, const QXArray<T>& b, const std::string& what) {
  ASSERT_EQ(a.count, b.count) << what;
  ASSERT_EQ((bool)a, (bool)b) << what;
  if (a) {
    EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(T) * (size_t)a.count), 0) << what;
  }
}

// Every field, position, table entry and derived array.
void ExpectSameTintmesh(const Tintmesh& a, const Tintmesh& b) {
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.nIn, b.nIn);
  EXPECT_EQ(a.nOut, b.nOut);
  EXPECT_EQ(a.inSpace, b.inSpace);
  EXPECT_EQ(a.outSpace, b.outSpace);
  EXPECT_EQ(a.lattice, b.lattice);
  EXPECT_EQ(a.precision, b.precision);
  EXPECT_EQ(a.inPath, b.inPath);
  EXPECT_EQ(a.outPath, b.outPath);
  EXPECT_EQ(a.interpShift, b.interpShift);
  EXPECT_EQ(a.interpRound, b.interpRound);
  for (int c = 0; c < kQXMaxChannels; ++c) {
    const std::string ch = "input channel " + std::to_string(c);
    EXPECT_EQ(a.in[c].samples, b.in[c].samples) << ch;
    EXPECT_EQ(a.in[c].stride, b.in[c].stride) << ch;
    EXPECT_EQ(a.in[c].rangeLow, b.in[c].rangeLow) << ch;
    EXPECT_EQ(a.in[c].rangeHigh, b.in[c].rangeHigh) << ch;
    if (QXIsLattice(&a)) {
      EXPECT_EQ(std::memcmp(a.in[c].positions, b.in[c].positions, sizeof a.in[c].positions), 0) << ch;
      EXPECT_EQ(std::memcmp(a.in[c].cellOffsets, b.in[c].cellOffsets, sizeof a.in[c].cellOffsets), 0) << ch;
    }
    ExpectSameArray(a.in[c].cellLookup, b.in[c].cellLookup, ch + " cell lookup");
    ExpectSameArray(a.in[c].fraction, b.in[c].fraction, ch + " fractions");
    ExpectSameArray(a.out[c].curve8, b.out[c].curve8, "output curve 8");
    ExpectSameArray(a.out[c].curve16, b.out[c].curve16, "output curve 16");
  }
  ExpectSameArray(a.table8, b.table8, "table");
  ExpectSameArray(a.table16, b.table16, "table");
}

struct Block {
  std::vector<uint8_t> bytes;
  explicit Block(size_t n) : bytes(n, 0xEE) {}
  MemStreamDesc Desc() {
    MemStreamDesc d;
    d.buffer = bytes.data();
    d.size = (int64_t)bytes.size();
    return d;
  }
};

int64_t StreamSize(const Tintmesh* tm) {
  const int64_t width = tm->precision == kQX16Bit ? 2 : 1;
  int64_t size = kQXHeaderSize + QXTableCount(tm) * width;
  if (tm->version == 2 && QXIsLattice(tm)) {
    for (int c = 0; c < tm->nIn; ++c) size += tm->in[c].samples * width;
  }
  return size;
}

TintmeshPtr OldLattice(int version, int nIn, int nOut, int inSpace, int outSpace, int count) {
  Tintmesh* raw = nullptr;
  EXPECT_EQ(QXInit(&raw, nIn, nOut, inSpace, outSpace, 1, version, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  int64_t total = nOut;
  for (int c = 0; c < nIn; ++c) {
    uint16_t p[17];
    EXPECT_EQ(QXSetChanSamples(tm.get(), c, count, p), 0);
    total *= count;
  }
  for (int32_t i = 0; i < total / nOut; ++i) {
    uint16_t v[4] = {(uint16_t)(i & 255), (uint16_t)(i * 7 & 255), (uint16_t)(i * 13 & 255), 9};
    EXPECT_EQ(QXSetDataTableValue(tm.get(), i, v), 0);
  }
  return tm;
}

TEST(TintmeshKeystream, KnownAnswerAndInverse) {
  // The minimal standard generator: from state 1, the 10000th state is 1043618065.
  QXKeystream ks;
  ks.state = 1;
  std::vector<uint8_t> bytes(10000, 0);
  ks.Apply(bytes.data(), bytes.size());
  EXPECT_EQ(ks.state, 1043618065);
  EXPECT_EQ(bytes[0], 16807 & 255);
  // Twice from the same seed restores the bytes, across uneven pieces.
  std::vector<uint8_t> data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)(i * 31);
  std::vector<uint8_t> copy = data;
  QXKeystream a, b;
  a.Apply(copy.data(), 3);
  a.Apply(copy.data() + 3, copy.size() - 3);
  EXPECT_NE(copy, data);
  b.Apply(copy.data(), copy.size());
  EXPECT_EQ(copy, data);
  // Every stream starts from the seed.
  EXPECT_EQ(QXKeystream{}.state, 7319);
}

TEST(TintmeshFile, RoundTripEveryForm) {
  std::mt19937 rng(1);
  struct Case {
    const char* what;
    std::function<TintmeshPtr()> make;
  } cases[] = {
      {"v0 RGB to CMYK, 9 points", [] { return OldLattice(0, 3, 4, 1, 4, 9); }},
      {"v1 Lab to YCC, 17 points", [] { return OldLattice(1, 3, 3, 7, 8, 17); }},
      {"v1 CMYK to RGB, 2 points", [] { return OldLattice(1, 4, 3, 4, 1, 2); }},
      {"v2 8-bit lattice, uneven grids",
       [&] {
         return MakeLattice(3, 3, kQX8Bit, {EvenPositions(256, 255), {0, 1, 255}, {0, 200, 255}},
                            [&](const uint16_t*, int) { return (uint16_t)(rng() & 255); });
       }},
      {"v2 16-bit lattice 33", [&] {
         return MakeLattice(3, 3, kQX16Bit, EvenPositions(33, 65535), [&](const uint16_t*, int) { return (uint16_t)rng(); });
       }},
      {"v2 4-input 16-bit lattice", [&] {
         return MakeLattice(4, 1, kQX16Bit, EvenPositions(5, 65535), [&](const uint16_t*, int) { return (uint16_t)rng(); });
       }},
      {"v2 8-bit curves", [] { return MakeCurves(3, 3, kQX8Bit, [](int m, int k) { return (uint16_t)(255 - m / (k + 1)); }); }},
      {"v2 16-bit curves", [] { return MakeCurves(4, 4, kQX16Bit, [](int m, int k) { return (uint16_t)(m ^ (k * 999)); }); }},
      {"v2 gray to RGB single-input", [] { return MakeCurves(1, 3, kQX16Bit, [](int m, int k) { return (uint16_t)(m >> k); }); }},
  };
  const std::string dir = FreshDir("tintmesh-roundtrip");
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    TintmeshPtr tm = c.make();
    ASSERT_EQ(QXValidate(tm.get()), 0);
    // Written from 16-bit paths: paths are not stored, so the copy read back
    // is compared with the original at 8-bit paths.
    SetPaths(tm.get(), kQX16Bit, kQX16Bit);
    Block block(600000);
    ASSERT_EQ(QXWriteFile(tm.get(), block.Desc()), 0);
    const std::string path = dir + "t.qx";
    ASSERT_EQ(QXWriteFile(tm.get(), path), 0);
    std::vector<uint8_t> file;
    ASSERT_TRUE(ReadFileBytes(path, file));
    ASSERT_EQ((int64_t)file.size(), StreamSize(tm.get()));
    EXPECT_EQ(std::memcmp(file.data(), block.bytes.data(), file.size()), 0);
    EXPECT_EQ(block.bytes[file.size()], 0xEE);  // nothing past the stream
    EXPECT_EQ(file[0], 0x13 ^ ((16807 * 7319) & 255));

    SetPaths(tm.get(), kQX8Bit, kQX8Bit);
    for (int from = 0; from < 2; ++from) {
      Tintmesh* back = nullptr;
      ASSERT_EQ(from == 0 ? QXReadFile(&back, block.Desc()) : QXReadFile(&back, path), 0);
      TintmeshPtr owner(back);
      EXPECT_EQ(back->inPath, kQX8Bit);
      ExpectSameTintmesh(*tm, *back);
    }
  }
}

TEST(TintmeshFile, LayoutOfLargestAndCurveStreams) {
  // 33³ lattice with three 16-bit outputs: 128 + 198 + 215,622 bytes, within
  // the filter stage's 265,000-byte block.
  TintmeshPtr big = MakeLattice(3, 3, kQX16Bit, EvenPositions(33, 65535), [](const uint16_t* p, int k) { return p[k]; });
  EXPECT_EQ(StreamSize(big.get()), 128 + 198 + 215622);
  Block block(265000);
  ASSERT_EQ(QXWriteFile(big.get(), block.Desc()), 0);
  QXKeystream ks;
  std::vector<uint8_t> plain(block.bytes.begin(), block.bytes.begin() + 128 + 198 + 4);
  ks.Apply(plain.data(), plain.size());
  const uint8_t header[14] = {0x13, 0x35, 3, 3, 33, 33, 33, 1, 2, 1, 1, 1, 1, 1};
  EXPECT_EQ(std::memcmp(plain.data(), header, 14), 0);
  EXPECT_EQ(LoadBE16(plain.data() + 128 + 2), 2048);  // second position of channel 0
  EXPECT_EQ(plain[128 + 198 + 1], 0);  // first table entry, low byte (value 0)

  // 16-bit curves: grid bytes 0 for the used channels, 65536 × n_out entries.
  TintmeshPtr curves = MakeCurves(3, 3, kQX16Bit, [](int m, int) { return (uint16_t)m; });
  Block cb(128 + 65536 * 3 * 2);
  ASSERT_EQ(QXWriteFile(curves.get(), cb.Desc()), 0);
  QXKeystream ks2;
  ks2.Apply(cb.bytes.data(), cb.bytes.size());
  const uint8_t curveHeader[14] = {0x13, 0x35, 3, 3, 0, 0, 0, 1, 2, 1, 1, 0, 1, 1};
  EXPECT_EQ(std::memcmp(cb.bytes.data(), curveHeader, 14), 0);
  EXPECT_EQ(LoadBE16(cb.bytes.data() + 128 + 2 * 70000), 70000 - 65536);  // channel 1, entry 4464
}

// A valid stream, unscrambled for editing and scrambled again for reading.
struct Plain {
  std::vector<uint8_t> bytes;
  explicit Plain(const Tintmesh* tm) : bytes((size_t)StreamSize(tm)) {
    MemStreamDesc d;
    d.buffer = bytes.data();
    d.size = (int64_t)bytes.size();
    EXPECT_EQ(QXWriteFile(tm, d), 0);
    QXKeystream ks;
    ks.Apply(bytes.data(), bytes.size());
  }
  Status Read() const {
    std::vector<uint8_t> s = bytes;
    QXKeystream ks;
    ks.Apply(s.data(), s.size());
    MemStreamDesc d;
    d.buffer = s.data();
    d.size = (int64_t)s.size();
    Tintmesh* sentinel = reinterpret_cast<Tintmesh*>(0x99);
    Tintmesh* tm = sentinel;
    const MemCounters before = MemGetCounters();
    Status st = QXReadFile(&tm, d);
    if (st == kOk) {
      QXFree(&tm);
    } else {
      EXPECT_EQ(tm, sentinel) << "a failed read returned something";
      EXPECT_EQ(MemGetCounters().blocks, before.blocks) << "a failed read left memory allocated";
    }
    return st;
  }
};

TEST(TintmeshFile, HeaderChecks) {
  TintmeshPtr v2 = MakeLattice(3, 3, kQX8Bit, EvenPositions(3, 255), [](const uint16_t* p, int k) { return p[k]; });
  TintmeshPtr v2c = MakeCurves(3, 3, kQX8Bit, [](int m, int) { return (uint16_t)m; });
  TintmeshPtr v0 = OldLattice(0, 3, 3, 1, 1, 3);
  TintmeshPtr v1 = OldLattice(1, 3, 3, 7, 1, 3);
  struct Case {
    const char* what;
    const Tintmesh* tm;
    std::vector<std::pair<int, int>> edits;  // (offset, new byte)
    Status expected;
  } cases[] = {
      {"valid v2", v2.get(), {}, kOk},
      {"valid v0", v0.get(), {}, kOk},
      {"first magic byte", v2.get(), {{0, 0x12}}, kFormatErr},
      {"second magic byte", v2.get(), {{1, '6'}}, kFormatErr},
      {"version 3", v2.get(), {{8, 3}}, kFormatErr},
      {"v2 precision bytes differ", v2.get(), {{12, 1}, {13, 0}}, kFormatErr},
      {"v2 precision byte 2", v2.get(), {{12, 2}, {13, 2}}, kFormatErr},
      {"v2 lattice byte 2", v2.get(), {{11, 2}}, kFormatErr},
      {"v2 reserved byte set", v2.get(), {{100, 1}}, kFormatErr},
      {"v2 grid byte 1", v2.get(), {{5, 1}}, kFormatErr},
      {"v2 code 6", v2.get(), {{10, 6}}, kFormatErr},
      {"v2 two channels", v2.get(), {{2, 2}}, kFormatErr},
      {"v0 one channel", v0.get(), {{3, 1}}, kFormatErr},
      {"v0 grid exponent 5", v0.get(), {{6, 5}}, kFormatErr},
      {"v1 gray code", v1.get(), {{9, 5}}, kFormatErr},
      {"v2 RGB with four inputs (QXInit)", v2.get(), {{2, 4}, {7, 3}}, kBadArg},
      {"v2 curves with codes differing (QXInit)", v2c.get(), {{10, 7}}, kBadArg},
      {"v1 RGB code on CMYK counts (QXInit)", v1.get(), {{3, 4}}, kBadArg},
      {"v0 grids differ (QXSetChanSamples)", v0.get(), {{5, 0}}, kUnsupported},
      {"v2 repeated position (QXSetChanSamples)", v2.get(), {{129, 0}}, kBadArg},
      {"v2 hostile grid, stream too short", v2.get(), {{2, 4}, {9, 4}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}, kReadErr},
  };
  for (const Case& c : cases) {
    Plain p(c.tm);
    for (auto [at, value] : c.edits) p.bytes[at] = (uint8_t)value;
    EXPECT_EQ(p.Read(), c.expected) << c.what;
  }
}

TEST(TintmeshFile, ShortStreams) {
  TintmeshPtr tm = MakeLattice(3, 3, kQX16Bit, EvenPositions(5, 65535), [](const uint16_t* p, int k) { return p[k]; });
  Plain p(tm.get());
  for (size_t cut : {(size_t)1, (size_t)127, (size_t)128, (size_t)140, p.bytes.size() - 1}) {
    Plain shorter = p;
    shorter.bytes.resize(cut);
    EXPECT_EQ(shorter.Read(), kReadErr) << cut << " bytes";
  }
  Tintmesh* out = nullptr;
  EXPECT_EQ(QXReadFile(nullptr, std::string("x")), kBadArg);
  EXPECT_EQ(QXReadFile(&out, FreshDir("tintmesh-missing") + "none.qx"), kOpenErr);
  EXPECT_EQ(out, nullptr);
}

TEST(TintmeshFile, WriteFailuresLeaveTintmeshAlone) {
  TintmeshPtr tm = MakeLattice(3, 3, kQX16Bit, EvenPositions(9, 65535), [](const uint16_t* p, int k) { return p[k]; });
  SetPaths(tm.get(), kQX16Bit, kQX8Bit);
  const std::vector<uint16_t> table(tm->table16.get(), tm->table16.get() + tm->table16.count);
  const std::string dir = FreshDir("tintmesh-write");
  // A block too small for the header, then one too small for the table.
  for (size_t size : {(size_t)100, (size_t)1000}) {
    Block small(size);
    EXPECT_EQ(QXWriteFile(tm.get(), small.Desc()), kWriteErr) << size;
  }
  EXPECT_EQ(QXWriteFile(tm.get(), dir + "no/such/folder/t.qx"), kOpenErr);
  // A file write that fails past opening: the file is removed.
  {
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const Status st = QXWriteFile(tm.get(), dir + "big.qx");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(st, kWriteErr);
    EXPECT_FALSE(FileExists(dir + "big.qx"));
  }
  // The Tintmesh is as it was and still writes.
  EXPECT_EQ(std::vector<uint16_t>(tm->table16.get(), tm->table16.get() + tm->table16.count), table);
  EXPECT_EQ(tm->outPath, kQX8Bit);
  EXPECT_EQ(QXValidate(tm.get()), 0);
  // An incomplete Tintmesh is not written at all.
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr unfinished(raw);
  EXPECT_EQ(QXWriteFile(unfinished.get(), dir + "unfinished.qx"), kBadArg);
  EXPECT_FALSE(FileExists(dir + "unfinished.qx"));
  EXPECT_EQ(QXWriteFile(nullptr, dir + "none.qx"), kBadArg);
}

}  // namespace
