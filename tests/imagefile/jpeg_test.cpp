// JPEG module: peer files read as libjpeg decodes them, our files read by the
// peers, the ICC and EXIF markers, sequential rows, and broken files.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/imagefile_support.h"
#include "imagefile/jpeg.h"
#include "imagefile/ras.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

class JpegTest : public ::testing::Test {};

ImageMeta WithProfile(const std::vector<uint8_t>& profile) {
  ImageMeta meta;
  meta.iccProfile = profile;
  return meta;
}

// libjpeg's decode with the CMYK planes turned into ink values.
Pixels Reference(const std::string& path) {
  Pixels want;
  EXPECT_TRUE(LibjpegDecode(path, want));
  if (want.channels == 4)
    for (auto& v : want.samples) v = (uint16_t)(255 - v);
  return want;
}

// The peer writes gray images as three equal channels.
Pixels OneChannelIfGray(Pixels p, int channels) {
  if (channels != 1 || p.channels != 3) return p;
  std::vector<uint16_t> one;
  for (size_t i = 0; i < p.samples.size(); i += 3) one.push_back(p.samples[i]);
  p.samples = one;
  p.channels = 1;
  return p;
}

// The segments of one marker type in a JPEG file: their data (after the length).
std::vector<std::vector<uint8_t>> Segments(const std::vector<uint8_t>& f, uint8_t marker) {
  std::vector<std::vector<uint8_t>> out;
  size_t i = 2;
  while (i + 4 <= f.size() && f[i] == 0xFF && f[i + 1] != 0xDA) {
    const size_t len = LoadBE16(&f[i + 2]);
    if (f[i + 1] == marker) out.emplace_back(f.begin() + i + 4, f.begin() + i + 2 + len);
    i += 2 + len;
  }
  return out;
}

TEST_F(JpegTest, ReadsPeerFilesAsLibjpegDecodesThem) {
  struct Case {
    const char* file;
    int32_t colorType;
  } cases[] = {{"base.jpg", kRasRGB}, {"prog.jpg", kRasRGB}, {"gray.jpg", kRasGray},
               {"cmyk.jpg", kRasCMYK}, {"exif_thumb.jpg", kRasRGB}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RasImage image;
    Pixels ours;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasJpeg);
    EXPECT_EQ(image.colorType, c.colorType);
    EXPECT_EQ(ours.samples, Reference(Fixture(c.file)).samples);
  }
}

TEST_F(JpegTest, RoundTripsAndPeersReadWhatWeWrite) {
  WriteOptions quality90;
  quality90.quality = 90;
  const std::vector<uint8_t> profile = MakeProfile(true);
  ASSERT_GT(profile.size(), 65519u);  // several chunks
  for (int32_t ct : {kRasRGB, kRasGray, kRasCMYK}) {
    SCOPED_TRACE(ct);
    const int channels = ct == kRasGray ? 1 : ct == kRasCMYK ? 4 : 3;
    const Pixels px = MakePixels(37, 21, channels, 255, 3);
    const std::string path = ScratchFile("round.jpg");
    ASSERT_EQ(WriteThrough(path, kRasJpeg, ct, px, 240, quality90, WithProfile(profile)), kOk) << RasLastFailure();
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk);
    EXPECT_EQ(image.colorType, ct);
    // CMYK files carry no JFIF header, so no density.
    EXPECT_FLOAT_EQ(image.resolution, ct == kRasCMYK ? -1.0f : 240.0f);
    EXPECT_EQ(back.samples, Reference(path).samples);
    EXPECT_EQ(image.meta.iccProfile, profile);
    if (!HavePeer("convert")) continue;
    Pixels peer;
    ASSERT_TRUE(PeerDecode(path, "", 8, peer));
    EXPECT_EQ(OneChannelIfGray(peer, channels).samples, back.samples);
    std::string out;
    RunCommand("identify -format '%x %U %[colorspace]' '" + path + "'", &out);
    EXPECT_EQ(out, ct == kRasGray ? "240 PixelsPerInch Gray" : ct == kRasCMYK ? "72 Undefined CMYK" : "240 PixelsPerInch sRGB");
    const std::string icc = ScratchFile("peer.icc");
    ASSERT_EQ(RunCommand("convert '" + path + "' icc:'" + icc + "' 2>/dev/null"), 0);
    EXPECT_EQ(FileBytes(icc), profile);
  }
}

TEST_F(JpegTest, ReadsAProfileSplitByThePeer) {
  if (!HavePeer("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::vector<uint8_t> profile = MakeProfile(true);
  const std::string icc = ScratchFile("big.icc");
  WriteBytes(icc, profile);
  const std::string path = ScratchFile("peer_profile.jpg");
  ASSERT_EQ(RunCommand("convert '" + Fixture("src_rgb.ppm") + "' -profile '" + icc + "' '" + path + "'"), 0);
  ASSERT_GT(Segments(FileBytes(path), 0xE2).size(), 1u);
  RasImage image;
  ASSERT_EQ(RasQuery(path, image), kOk);
  EXPECT_EQ(image.meta.iccProfile, profile);
}

TEST_F(JpegTest, WritesProfileChunksAndExifSegment) {
  std::vector<uint8_t> profile(140000, 0x5A);
  StoreBE32(profile.data(), 140000);
  ImageMeta meta = WithProfile(profile);
  meta.exif = {'M', 'M', 0, 42, 0, 0, 0, 8};
  const std::string path = ScratchFile("chunks.jpg");
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, MakePixels(8, 8, 3, 255), -1, {}, meta), kOk);
  const std::vector<uint8_t> f = FileBytes(path);
  const auto app2 = Segments(f, 0xE2);
  ASSERT_EQ(app2.size(), 3u);
  const size_t sizes[3] = {65519, 65519, 8962};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(std::memcmp(app2[k].data(), "ICC_PROFILE\0", 12), 0);
    EXPECT_EQ(app2[k][12], k + 1);
    EXPECT_EQ(app2[k][13], 3);
    EXPECT_EQ(app2[k].size() - 14, sizes[k]);
  }
  const auto app1 = Segments(f, 0xE1);
  ASSERT_EQ(app1.size(), 1u);
  EXPECT_EQ(app1[0], std::vector<uint8_t>({'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8}));
  // Resolution -1 leaves the library's default density (no unit): read back as none.
  RasImage image;
  ASSERT_EQ(RasQuery(path, image), kOk);
  EXPECT_EQ(image.resolution, -1.0f);
  EXPECT_EQ(image.meta.iccProfile, profile);
  EXPECT_EQ(image.meta.exif, meta.exif);
  // A profile too small to be one is not embedded, and the file is still written.
  std::vector<uint8_t> tiny(100, 0);
  StoreBE32(tiny.data(), 100);
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, MakePixels(8, 8, 3, 255), -1, {}, WithProfile(tiny)), kOk);
  EXPECT_TRUE(Segments(FileBytes(path), 0xE2).empty());
}

TEST_F(JpegTest, CmykInkIsStoredInverted) {
  Pixels px = MakePixels(16, 16, 4, 255);
  for (size_t i = 0; i < px.samples.size(); ++i) px.samples[i] = i % 4 == 0 ? 255 : 0;  // full cyan, no other ink
  const std::string path = ScratchFile("cmyk.jpg");
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasCMYK, px, 300), kOk);
  Pixels raw;
  ASSERT_TRUE(LibjpegDecode(path, raw));
  EXPECT_EQ(raw.At(3, 3, 0), 0);  // sample 0 in the file ...
  RasImage image;
  Pixels ours;
  ASSERT_EQ(ReadThrough(path, image, ours), kOk);
  EXPECT_EQ(ours.At(3, 3, 0), 255);  // ... reads as full ink
  EXPECT_EQ(ours.At(3, 3, 3), 0);
}

TEST_F(JpegTest, RowsAreSequential) {
  const Pixels px = MakePixels(16, 24, 3, 255);
  const std::string path = ScratchFile("rows.jpg");
  {
    RasImage out;
    ASSERT_EQ(rasInit(out, kRasJpeg, 16, 24, 3, kRasRGB, 300), kOk);
    ASSERT_EQ(RasOpen(path, 'w', out), kOk);
    RasScanline sl;
    ASSERT_EQ(RasMakeSl(sl, out), kOk);
    ASSERT_EQ(RasWriteSl(out, 0, sl), kOk);
    ASSERT_EQ(RasWriteSl(out, 1, sl), kOk);
    EXPECT_EQ(RasWriteSl(out, 1, sl), kOk);  // the last row again: ignored
    EXPECT_EQ(RasWriteSl(out, 3, sl), kBadArg);
    RasClose(out);  // unfinished: aborted
  }
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, px, 300), kOk);
  RasImage image;
  Pixels all;
  ASSERT_EQ(ReadThrough(path, image, all), kOk);
  ASSERT_EQ(RasOpen(path, 'r', image), kOk);
  RasScanline sl;
  for (uint32_t y = 0; y < 10; ++y) ASSERT_EQ(RasReadSl(image, y, sl), kOk);
  ASSERT_EQ(RasReadSl(image, 5, sl), kOk);  // back: the decoder restarts
  for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(sl.plane8[1][x], all.At(x, 5, 1));
  ASSERT_EQ(RasReadSl(image, 5, sl), kOk);  // the same row again
  for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(sl.plane8[1][x], all.At(x, 5, 1));
  EXPECT_EQ(RasClose(image), kOk);
}

// A file that ends before its last scan is refused with the truncation
// message whatever its coding: arithmetic-coded data reads as zeros past the
// end, and a progressive image cut between two scans decodes what it has, so
// both would otherwise pass for whole pictures.
TEST_F(JpegTest, DataEndingBeforeItsLastScanIsTruncatedWhateverTheCoding) {
  const Pixels noise = MakePixels(96, 96, 3, 255, 5);
  struct Coding {
    const char* name;
    bool progressive, arithmetic;
  } codings[] = {{"arithmetic", false, true}, {"progressive", true, false}, {"progressive arithmetic", true, true}};
  for (const Coding& c : codings) {
    SCOPED_TRACE(c.name);
    const std::string whole = ScratchFile("whole.jpg");
    ASSERT_TRUE(LibjpegEncode(whole, noise, c.progressive, c.arithmetic));
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(whole, image, px), kOk) << RasLastFailure();
    const std::vector<uint8_t> f = FileBytes(whole);
    // Cuts at every scan after the first, and through the data down to a stub.
    std::vector<size_t> cuts, scans;
    for (size_t i = 2; i + 1 < f.size(); ++i)
      if (f[i] == 0xFF && f[i + 1] == 0xDA) scans.push_back(i);
    cuts.assign(scans.begin() + 1, scans.end());
    for (size_t at = scans[0] + 40; at < f.size() - 2; at += (f.size() - scans[0]) / 9) cuts.push_back(at);
    cuts.push_back(f.size() - 2);  // everything but the EOI marker
    for (size_t cut : cuts) {
      SCOPED_TRACE(cut);
      const std::string path = ScratchFile("cut.jpg");
      WriteBytes(path, std::vector<uint8_t>(f.begin(), f.begin() + cut));
      RasImage cutImage;
      Pixels cutPx;
      EXPECT_EQ(ReadThrough(path, cutImage, cutPx), kReadErr);
      EXPECT_NE(RasLastFailure().find("JPEG data ends"), std::string::npos) << RasLastFailure();
    }
  }
}

// ICC chunks that do not make one profile (out of order, repeated) leave the
// image without a profile, with a warning; its pixels still read.
TEST_F(JpegTest, IccChunksOutOfOrderDropTheProfileWithAWarning) {
  const std::vector<uint8_t> profile = MakeProfile(true);
  const std::string path = ScratchFile("chunks.jpg");
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, MakePixels(24, 16, 3, 255, 4), 72, {}, WithProfile(profile)), kOk);
  const std::vector<uint8_t> f = FileBytes(path);
  // The APP2 segments, each with its marker and length.
  std::vector<std::pair<size_t, size_t>> app2;
  for (size_t i = 2; i + 4 <= f.size() && f[i + 1] != 0xDA; i += 2 + LoadBE16(&f[i + 2]))
    if (f[i + 1] == 0xE2) app2.emplace_back(i, 2 + LoadBE16(&f[i + 2]));
  ASSERT_EQ(app2.size(), 2u);
  auto segment = [&](int k) { return std::vector<uint8_t>(f.begin() + app2[k].first, f.begin() + app2[k].first + app2[k].second); };
  const std::vector<uint8_t> head(f.begin(), f.begin() + app2[0].first);
  const std::vector<uint8_t> tail(f.begin() + app2[1].first + app2[1].second, f.end());
  auto join = [&](std::vector<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out = head;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t profileSize;
  } cases[] = {{"in order", f, profile.size()},
               {"out of order", join({segment(1), segment(0)}), 0},
               {"repeated", join({segment(0), segment(1), segment(1)}), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(path, c.bytes);
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px), kOk) << RasLastFailure();
    EXPECT_EQ(image.meta.iccProfile.size(), c.profileSize);
    EXPECT_EQ(RasLastWarning().empty(), c.profileSize != 0) << RasLastWarning();
  }
}

// Broken marker structures, cut files and lying headers answer a status.
TEST_F(JpegTest, RefusesBrokenFiles) {
  const std::vector<uint8_t> base = FileBytes(Fixture("base.jpg"));
  const std::vector<uint8_t> prog = FileBytes(Fixture("prog.jpg"));
  // Files large enough that a cut lands in the compressed data.
  const Pixels noise = MakePixels(96, 96, 3, 255, 9);
  const std::string bigBase = ScratchFile("big_base.jpg"), bigProg = ScratchFile("big_prog.jpg");
  ASSERT_TRUE(LibjpegEncode(bigBase, noise, false));
  ASSERT_TRUE(LibjpegEncode(bigProg, noise, true));
  const std::vector<uint8_t> base2 = FileBytes(bigBase), prog2 = FileBytes(bigProg);
  auto sofAt = [](const std::vector<uint8_t>& f) {
    for (size_t i = 2; i + 4 < f.size(); i += 2 + LoadBE16(&f[i + 2]))
      if (f[i + 1] == 0xC0 || f[i + 1] == 0xC2) return i;
    return size_t(0);
  };
  auto huge = [&](std::vector<uint8_t> f) {
    const size_t s = sofAt(f);
    StoreBE16(&f[s + 5], 60000);
    StoreBE16(&f[s + 7], 60000);
    return f;
  };
  auto withApp2 = [&](uint8_t seq, uint8_t count) {
    std::vector<uint8_t> f = base;
    std::vector<uint8_t> seg = {0xFF, 0xE2, 0, 22, 'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0,
                                seq,  count, 0, 0, 0, 0};
    f.insert(f.begin() + 2, seg.begin(), seg.end());
    return f;
  };
  std::vector<uint8_t> cutScan(base2.begin(), base2.begin() + base2.size() / 2);
  std::vector<uint8_t> cutProg(prog2.begin(), prog2.begin() + prog2.size() - 300);
  std::vector<uint8_t> noEoi(base2.begin(), base2.end() - 2);
  std::vector<uint8_t> badMarker = base;
  badMarker.insert(badMarker.begin() + 2, {0xFF, 0x10});
  std::vector<uint8_t> lostSync = base;
  lostSync.insert(lostSync.begin() + 2, 0x00);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status query, read;  // RasQuery, then reading every row
  } cases[] = {
      {"chunk 2 before chunk 1", withApp2(2, 2), kFormatErr, kFormatErr},
      {"chunk count 0", withApp2(1, 0), kFormatErr, kFormatErr},
      {"reserved marker", badMarker, kFormatErr, kFormatErr},
      {"byte between markers", lostSync, kFormatErr, kFormatErr},
      {"cut in the middle of the scan", cutScan, kOk, kReadErr},
      {"progressive cut inside a scan", cutProg, kOk, kReadErr},
      {"missing EOI only", noEoi, kOk, kOk},
      {"baseline claiming 60000 x 60000", huge(base), kOk, kReadErr},
      {"progressive claiming 60000 x 60000", huge(prog), kOk, kFormatErr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile("broken.jpg");
    WriteBytes(path, c.bytes);
    RasImage image;
    EXPECT_EQ(RasQuery(path, image), c.query) << RasLastFailure();
    if (c.query != kOk) continue;
    Pixels px;
    Status st = RasOpen(path, 'r', image);
    RasScanline sl;
    for (uint32_t y = 0; st == kOk && y < image.height; ++y) st = RasReadSl(image, y, sl);
    EXPECT_EQ(st, c.read) << RasLastFailure();
    if (c.read != kOk) {
      EXPECT_FALSE(RasLastFailure().empty());
    }
    RasClose(image);
  }
  // A TIFF fails the first marker pass at its first byte.
  Stream s;
  ASSERT_EQ(StreamOpen(s, Fixture("rgb8_ii.tif"), kStreamRead), kOk);
  ImageMeta meta;
  EXPECT_EQ(JpegScanProfile(s, meta), kFormatErr);
}

// A write failure inside the library (a full disk) comes back as a status, through the row that hit it.
TEST_F(JpegTest, FullDiskIsAWriteError) {
  if (!FileExists("/dev/full")) GTEST_SKIP();
  RasImage out;
  ASSERT_EQ(rasInit(out, kRasJpeg, 512, 512, 3, kRasRGB, 300), kOk);
  ASSERT_EQ(RasOpen("/dev/full", 'w', out), kOk);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, out), kOk);
  const Pixels noise = MakePixels(512, 1, 3, 255);
  Status st = kOk;
  uint32_t y = 0;
  for (; y < 512 && st == kOk; ++y) {
    for (uint32_t x = 0; x < 512; ++x)
      for (int c = 0; c < 3; ++c) sl.plane8[c][x] = (uint8_t)(noise.At(x, 0, c) + y);
    st = RasWriteSl(out, y, sl);
  }
  EXPECT_EQ(st, kWriteErr);
  EXPECT_LT(y, 512u);
  RasClose(out);
}

// A reduced DCT scale (ReadOptions::scale): the size and the pixels are
// libjpeg's own scaled decode (djpeg -scale), and an open file keeps its scale
// when rows are asked again from the top.
TEST_F(JpegTest, ReducedScaleReadsAsLibjpegScales) {
  if (!HavePeer("djpeg")) GTEST_SKIP() << "djpeg missing";
  const std::string path = ScratchFile("scaled.jpg");
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, MakePixels(77, 45, 3, 255), 72), kOk);
  for (int32_t n : {2, 8}) {
    SCOPED_TRACE(n);
    const std::string pnm = ScratchFile("scaled.ppm");
    ASSERT_EQ(RunCommand("djpeg -scale 1/" + std::to_string(n) + " -pnm -outfile '" + pnm + "' '" + path + "'"), 0);
    Pixels want;
    ASSERT_TRUE(ReadPam(pnm, want));
    ReadOptions scaled;
    scaled.scale = n;
    RasImage image;
    Pixels ours;
    ASSERT_EQ(ReadThrough(path, image, ours, scaled), kOk) << RasLastFailure();
    EXPECT_EQ(image.width, (77u + n - 1) / n);
    EXPECT_EQ(image.height, (45u + n - 1) / n);
    EXPECT_EQ(ours.samples, want.samples);
  }
  // Opened at 1/2: rows 3 and then 0 still come at 1/2 (the second read
  // restarts the decoder), and another record of the same file reads whole.
  ReadOptions half;
  half.scale = 2;
  RasImage image, whole;
  ASSERT_EQ(RasQuery(path, image, half), kOk);
  ASSERT_EQ(RasOpenRead(path, image, half), kOk);
  ASSERT_EQ(RasQuery(path, whole), kOk);
  EXPECT_EQ(whole.width, 77u);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, image), kOk);
  EXPECT_EQ(sl.width, 39u);
  EXPECT_EQ(RasReadSl(image, 3, sl), kOk);
  EXPECT_EQ(RasReadSl(image, 0, sl), kOk);
  EXPECT_EQ(RasReadSl(image, 22, sl), kOk);
  EXPECT_EQ(RasClose(image), kOk);
}

TEST_F(JpegTest, OptionsOutOfRangeAreRefused) {
  const std::string path = ScratchFile("range.jpg");
  ASSERT_EQ(WriteThrough(path, kRasJpeg, kRasRGB, MakePixels(8, 8, 3, 255), 72), kOk);
  auto write = [](void (*set)(WriteOptions&)) {
    WriteOptions o;
    set(o);
    return o;
  };
  const WriteOptions badWrites[] = {write([](WriteOptions& o) { o.quality = 101; }),
                                    write([](WriteOptions& o) { o.quality = -1; }),
                                    write([](WriteOptions& o) { o.dctMethod = 3; }),
                                    write([](WriteOptions& o) { o.restartRows = -1; }),
                                    write([](WriteOptions& o) { o.smoothing = 101; })};
  for (const WriteOptions& o : badWrites) {
    EXPECT_EQ(WriteThrough(ScratchFile("bad.jpg"), kRasJpeg, kRasRGB, MakePixels(8, 8, 3, 255), 72, o), kBadArg);
    EXPECT_FALSE(FileExists(ScratchFile("bad.jpg")));
  }
  for (int32_t scale : {0, 3, 16}) {
    ReadOptions o;
    o.scale = scale;
    RasImage image;
    EXPECT_EQ(RasQuery(path, image, o), kBadArg) << scale;
  }
}

}  // namespace
