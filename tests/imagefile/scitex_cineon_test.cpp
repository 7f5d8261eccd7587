// Scitex CT and Cineon modules: round trips, the written layouts read by the
// peer, the peer's Cineon read by us, refusals of malformed headers; and
// recognition by content of every legacy writer's file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace {

class LegacyTest : public ::testing::Test {
 protected:
};

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

Status OpenAs(int32_t format, const std::string& path, RasImage& image) {
  image.format = format;
  return RasOpen(path, 'r', image);
}

TEST_F(LegacyTest, RecognisesEveryLegacyWriterByContent) {
  struct Case {
    int32_t format, colorType;
    int channels;
    int32_t maxValue;
  } cases[] = {{kRasScitexCT, kRasCMYK, 4, 255}, {kRasEps, kRasGray, 1, 255}, {kRasDcs, kRasCMYK, 4, 255},
               {kRasCineon, kRasRGB, 3, 1023}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string path = FreshDir("recognise" + std::to_string(c.format)) + "no_extension";
    ASSERT_EQ(WriteThrough(path, c.format, c.colorType, MakePixels(5, 3, c.channels, c.maxValue), 72), kOk);
    RasImage image;
    ASSERT_EQ(RasQuery(path, image), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.maxValue, c.maxValue);
    EXPECT_EQ(image.colorType, c.colorType);
  }
}

TEST_F(LegacyTest, ScitexRoundTripsAndThePeerReadsIt) {
  struct Case {
    int32_t colorType;
    int channels;
    float dpi;
    const char* peerOptions;
  } cases[] = {{kRasGray, 1, 300, "-colorspace gray"},
               {kRasRGB, 3, 72, ""},
               {kRasCMYK, 4, 123.45f, ""},
               {kRasPhotoCDColor, 3, -1, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colorType);
    const Pixels px = MakePixels(13, 7, c.channels, 255, 9);  // odd width: separations padded
    const std::string path = ScratchFile("rt.sct");
    ASSERT_EQ(WriteThrough(path, kRasScitexCT, c.colorType, px, c.dpi), kOk) << RasLastFailure();
    EXPECT_EQ(FileBytes(path).size(), 2048u + 7 * c.channels * 14);
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasScitexCT);
    EXPECT_EQ(image.colorType, c.colorType == kRasPhotoCDColor ? kRasRGB : c.colorType);
    EXPECT_FLOAT_EQ(image.resolution, c.dpi > 0 ? c.dpi : 300);
    EXPECT_EQ(back.samples, px.samples);
    if (c.peerOptions && HavePeer("convert")) {
      Pixels peer;
      ASSERT_TRUE(PeerDecode(path, c.peerOptions, 8, peer));
      EXPECT_EQ(peer.samples, px.samples);
    }
  }
  EXPECT_EQ(WriteThrough(ScratchFile("lab.sct"), kRasScitexCT, kRasLab, MakePixels(2, 2, 3, 255), 72), kBadArg);
  // CMYK is stored inverted; the sizes in millimetres, then in pixels.
  const std::string path = ScratchFile("ink.sct");
  Pixels ink = MakePixels(2, 1, 4, 255);
  ink.samples = {10, 20, 30, 40, 50, 60, 70, 80};
  ASSERT_EQ(WriteThrough(path, kRasScitexCT, kRasCMYK, ink, 300), kOk);
  const std::vector<uint8_t> bytes = FileBytes(path);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2048, bytes.end()),
            (std::vector<uint8_t>{245, 205, 235, 195, 225, 185, 215, 175}));
  EXPECT_EQ(std::string(bytes.begin() + 80, bytes.begin() + 82), "CT");
  EXPECT_EQ(std::string(bytes.begin() + 1024, bytes.begin() + 1028), std::string("\0\4\0\17", 4));
  EXPECT_EQ(std::string(bytes.begin() + 1028, bytes.begin() + 1080),
            "+.84666667E-01+.16933333E+00+00000000001+00000000002");
}

// A hand-made 3 × 2 gray file, 0.03 × 0.02 inches (100 dpi), rows unpadded;
// `edit` changes it.
std::vector<uint8_t> ScitexFile(const std::function<void(std::vector<uint8_t>&)>& edit = {}) {
  std::vector<uint8_t> f(2048, 0);
  f[80] = 'C';
  f[81] = 'T';
  f[1024] = 1;
  f[1025] = 1;
  f[1027] = 8;
  std::memcpy(&f[1028], "+.20000000E-01+.30000000E-01+00000000002+00000000003", 52);
  for (int i = 0; i < 6; ++i) f.push_back((uint8_t)(i * 40));
  if (edit) edit(f);
  return f;
}

TEST_F(LegacyTest, ScitexHeadersAreCheckedFieldByField) {
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> edit;
    Status want;
  } cases[] = {
      {"good", {}, kOk},
      {"signature", [](auto& f) { f[81] = 'X'; }, kFormatErr},
      {"units", [](auto& f) { f[1024] = 2; }, kFormatErr},
      {"separations", [](auto& f) { f[1025] = 2; }, kFormatErr},
      {"byte 1026", [](auto& f) { f[1026] = 1; }, kFormatErr},
      {"mask", [](auto& f) { f[1027] = 3; }, kFormatErr},
      {"mask of 3 separations", [](auto& f) { f[1025] = 3; f[1027] = 15; }, kFormatErr},
      {"size point", [](auto& f) { f[1029] = ','; }, kFormatErr},
      {"size exponent sign", [](auto& f) { f[1039] = '*'; }, kFormatErr},
      {"size digit", [](auto& f) { f[1045] = 'x'; }, kFormatErr},
      {"pixel sign", [](auto& f) { f[1056] = '-'; }, kFormatErr},
      {"pixel digit", [](auto& f) { f[1070] = ' '; }, kFormatErr},
      {"zero width", [](auto& f) { std::memcpy(&f[1068], "+00000000000", 12); }, kFormatErr},
      {"rows past the end", [](auto& f) { f.pop_back(); }, kFormatErr},
      {"too short", [](auto& f) { f.resize(2000); }, kFormatErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = ScratchFile("hand.sct");
    WriteBytes(path, ScitexFile(c.edit));
    RasImage image;
    EXPECT_EQ(OpenAs(kRasScitexCT, path, image), c.want) << RasLastFailure();
  }
  // The good file: unpadded rows, 100 dpi from inches; padded rows; millimetres.
  RasImage image;
  Pixels px;
  WriteBytes(ScratchFile("hand.sct"), ScitexFile());
  ASSERT_EQ(ReadThrough(ScratchFile("hand.sct"), image, px), kOk);
  EXPECT_EQ(px.samples, (std::vector<uint16_t>{0, 40, 80, 120, 160, 200}));
  EXPECT_FLOAT_EQ(image.resolution, 100);
  WriteBytes(ScratchFile("hand.sct"), ScitexFile([](auto& f) {
               f.resize(2048);
               for (int v : {0, 40, 80, 99, 120, 160, 200, 99}) f.push_back((uint8_t)v);
               f[1024] = 0;  // 0.762 mm wide: 3 px at 100 dpi
               std::memcpy(&f[1042], "+.76200000E+00", 14);
             }));
  ASSERT_EQ(ReadThrough(ScratchFile("hand.sct"), image, px), kOk);
  EXPECT_EQ(px.samples, (std::vector<uint16_t>{0, 40, 80, 120, 160, 200}));
  EXPECT_FLOAT_EQ(image.resolution, 100);
  // Sizes of zero or next to nothing state no resolution.
  for (const char* size : {"+.00000000E+00", "+.10000000E-99"}) {
    WriteBytes(ScratchFile("hand.sct"), ScitexFile([&](auto& f) {
                 std::memcpy(&f[1028], size, 14);
                 std::memcpy(&f[1042], size, 14);
               }));
    ASSERT_EQ(RasQuery(ScratchFile("hand.sct"), image), kOk);
    EXPECT_EQ(image.resolution, -1) << size;
  }
}

TEST_F(LegacyTest, CineonRoundTripsTenBitSamples) {
  for (int32_t colorType : {kRasRGB, kRasPhotoCDColor}) {
    Pixels px = MakePixels(9, 4, 3, 1023, 4);
    px.samples[0] = 0;
    px.samples[1] = 1023;
    const std::string path = ScratchFile("rt.cin");
    ASSERT_EQ(WriteThrough(path, kRasCineon, colorType, px, 300), kOk) << RasLastFailure();
    EXPECT_EQ(FileBytes(path).size(), 2048u + 9 * 4 * 4);
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
    EXPECT_EQ(image.maxValue, 1023);
    EXPECT_EQ(image.colorType, kRasRGB);
    EXPECT_EQ(image.resolution, -1);
    EXPECT_EQ(back.samples, px.samples);
    // The peer reads our file as the same 10-bit samples.
    if (HavePeer("convert")) {
      Pixels peer;
      ASSERT_TRUE(PeerDecode(path, "-set colorspace sRGB", 16, peer));
      for (size_t i = 0; i < px.samples.size(); ++i)
        ASSERT_EQ(peer.samples[i], (px.samples[i] * 65535 + 511) / 1023) << i;
    }
  }
  // Samples above 1023 are written as 1023; the words hold red, green, blue from bit 31 down.
  Pixels loud = MakePixels(1, 1, 3, 1023);
  loud.samples = {4000, 1, 2};
  const std::string path = ScratchFile("loud.cin");
  ASSERT_EQ(WriteThrough(path, kRasCineon, kRasRGB, loud, 300), kOk);
  EXPECT_EQ(LoadBE32(FileBytes(path).data() + 2048), 1023u << 22 | 1u << 12 | 2u << 2);
  EXPECT_EQ(WriteThrough(ScratchFile("gray.cin"), kRasCineon, kRasGray, MakePixels(2, 2, 1, 1023), 72), kBadArg);
}

TEST_F(LegacyTest, CineonWritesThePublishedHeader) {
  const std::string path = ScratchFile("head.cin");
  ASSERT_EQ(WriteThrough(path, kRasCineon, kRasRGB, MakePixels(5, 3, 3, 1023), 300), kOk);
  const std::vector<uint8_t> f = FileBytes(path);
  ASSERT_EQ(f.size(), 2048u + 60);
  const uint8_t* h = f.data();
  auto text = [&](size_t at, size_t n) { return std::string(reinterpret_cast<const char*>(h + at), strnlen(reinterpret_cast<const char*>(h + at), n)); };
  EXPECT_EQ(LoadBE32(h), 0x802A5FD7u);
  EXPECT_EQ(LoadBE32(h + 4), 2048u);
  EXPECT_EQ(LoadBE32(h + 8), 1024u);
  EXPECT_EQ(LoadBE32(h + 12), 1024u);
  EXPECT_EQ(LoadBE32(h + 20), 2048u + 60);
  EXPECT_EQ(text(24, 8), "V4.5");
  EXPECT_EQ(text(32, 100), "head.cin");
  const std::string date = text(132, 12), time = text(144, 12);
  ASSERT_EQ(date.size(), 10u);
  EXPECT_TRUE(date[4] == ':' && date[7] == ':') << date;
  EXPECT_TRUE(time.size() >= 8 && time[2] == ':' && time[5] == ':') << time;
  EXPECT_EQ(h[192], 0);  // orientation: left to right, top to bottom
  EXPECT_EQ(h[193], 3);
  for (int k = 0; k < 8; ++k) {
    const uint8_t* c = h + 196 + 28 * k;
    if (k < 3) {
      EXPECT_EQ(c[0], 0);
      EXPECT_EQ(c[1], k + 1);
      EXPECT_EQ(c[2], 10);
      EXPECT_EQ(LoadBE32(c + 4), 5u);
      EXPECT_EQ(LoadBE32(c + 8), 3u);
      EXPECT_EQ(LoadBE32(c + 12), 0u);
      EXPECT_EQ(LoadBE32(c + 16), 0u);
      EXPECT_EQ(LoadBE32(c + 20), 0x447FC000u);  // 1023.0
      EXPECT_EQ(LoadBE32(c + 24), 0x4003020Cu);  // 2.047
    } else {
      EXPECT_EQ(LoadBE32(c), 0xFFFFFFFFu);
      EXPECT_EQ(LoadBE32(c + 4), 0xFFFFFFFFu);
      for (int f4 = 12; f4 < 28; f4 += 4) EXPECT_EQ(LoadBE32(c + f4), 0x7F800000u);
    }
  }
  EXPECT_EQ(LoadBE32(h + 420), 0x7F800000u);  // white point undefined
  EXPECT_EQ(h[680], 0);                       // pixel interleave
  EXPECT_EQ(h[681], 5);                       // 32-bit words, left-justified
  EXPECT_EQ(LoadBE32(h + 684), 0u);           // no end-of-line padding
  EXPECT_EQ(LoadBE32(h + 712), 0xFFFFFFFFu);  // origination undefined
  EXPECT_EQ(LoadBE32(h + 980), 0x7F800000u);
  EXPECT_EQ(h[1024], 0xFF);                   // film information undefined
  EXPECT_EQ(LoadBE32(h + 1072), 0x7F800000u);
}

TEST_F(LegacyTest, CineonReadsThePeersFileAndRefusesBadHeaders) {
  RasImage image;
  Pixels ours;
  ASSERT_EQ(ReadThrough(Fixture("cineon.cin"), image, ours), kOk) << RasLastFailure();
  EXPECT_EQ(image.format, kRasCineon);
  EXPECT_EQ(image.width, 13u);
  if (HavePeer("convert")) {
    Pixels peer;
    ASSERT_TRUE(PeerDecode(Fixture("cineon.cin"), "-set colorspace sRGB", 16, peer));
    for (size_t i = 0; i < ours.samples.size(); ++i)
      ASSERT_EQ(peer.samples[i], (ours.samples[i] * 65535 + 511) / 1023) << i;
  }
  const std::vector<uint8_t> good = FileBytes(Fixture("cineon.cin"));
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> edit;
    Status want;
  } cases[] = {
      {"magic", [](auto& f) { f[3] = 0xD8; }, kFormatErr},
      {"too short", [](auto& f) { f.resize(1000); }, kFormatErr},
      {"one channel", [](auto& f) { f[193] = 1; }, kUnsupported},
      {"8 bits", [](auto& f) { f[198] = 8; }, kUnsupported},
      {"data inside the header", [](auto& f) { StoreBE32(&f[4], 16); }, kFormatErr},
      {"zero width", [](auto& f) { StoreBE32(&f[200], 0); }, kFormatErr},
      {"rows past the end", [](auto& f) { StoreBE32(&f[204], 0x40000000); }, kFormatErr},
      {"cut short", [](auto& f) { f.pop_back(); }, kFormatErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> f = good;
    c.edit(f);
    const std::string path = ScratchFile("bad.cin");
    WriteBytes(path, f);
    RasImage bad;
    EXPECT_EQ(OpenAs(kRasCineon, path, bad), c.want) << RasLastFailure();
  }
}

}  // namespace
