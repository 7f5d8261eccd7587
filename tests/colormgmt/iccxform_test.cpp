// The system colour transforms on LittleCMS: refusals with their log lines,
// colours against LittleCMS's own exact conversion, images with any layout,
// and the monitor profile hook.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <random>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/iccxform.h"
#include "support/app_fixture.h"

namespace {

using namespace cmtest;

class IccXform : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    srgb_ = WorkingSpaceFile(dir_, 13);
    adobe_ = WorkingSpaceFile(dir_, 0);
  }
  void TearDown() override {
    Ui_ICC_SetMonitorProfileHook({});
    AppFixture::TearDown();
  }
  std::string dir_ = FreshDir("icc_xform");
  std::string srgb_, adobe_;
};

TEST_F(IccXform, RefusalsAndTheirLogLines) {
  OpenState(1);
  const std::string cmyk = WriteBytes(dir_ + "cmyk.icc", CmykPrinterProfile());
  const std::string junk = WriteBytes(dir_ + "junk.icc", Bytes(300, 7));
  // A display profile with a description only: no matrix, curves or lattice.
  const std::string bare = WriteBytes(dir_ + "bare.icc", ProfileBuilder().Add(kICCTagDesc, DescTag("bare")).Build());
  struct Case {
    std::string src, dst;
    Status status;
    const char* line;
  };
  const Case cases[] = {
      {dir_ + "none.icc", adobe_, kSysErr, "OpenColorProfile (none.icc): GetLastError() = 2"},
      {srgb_, dir_ + "none.icc", kSysErr, "OpenColorProfile (none.icc): GetLastError() = 2"},
      {junk, adobe_, kFormatErr, "IsColorProfileValid: GetLastError() = "},
      {bare, adobe_, kFormatErr, "Invalid source profile"},
      {srgb_, bare, kFormatErr, "Invalid destination profile"},
      {cmyk, adobe_, kSysErr, "CreateMultiProfileTransform: GetLastError() = "},
      {"", adobe_, kBadArg, nullptr},
  };
  for (const Case& c : cases) {
    ClearLog();
    ICCXform* x = reinterpret_cast<ICCXform*>(&x);
    EXPECT_EQ(Ui_ICC_XformMakeSrcToDst(c.src, c.dst, &x), c.status) << c.src << " -> " << c.dst;
    if (c.line) {
      EXPECT_EQ(x, nullptr);
      EXPECT_NE(LogText().find(c.line), std::string::npos) << LogText();
    }
  }
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 0);
}

// 16-bit colours and 8-bit images agree with LittleCMS's exact conversion
// (8-bit: v × 257 in, round(v / 257) out, as LittleCMS itself does).
TEST_F(IccXform, ColoursAndImagesMatchLittleCMS) {
  ICCXform* x = nullptr;
  ASSERT_EQ(Ui_ICC_XformMakeSrcToDst(srgb_, adobe_, &x), 0);
  cmsHPROFILE s = cmsOpenProfileFromFile(srgb_.c_str(), "r"), d = cmsOpenProfileFromFile(adobe_.c_str(), "r");
  cmsHTRANSFORM t16 = cmsCreateTransform(s, TYPE_RGB_16, d, TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  cmsHTRANSFORM t8 = cmsCreateTransform(s, TYPE_RGB_8, d, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  std::mt19937 rng(7);
  std::vector<uint16_t> in(3 * 1000), ours(in.size()), theirs(in.size());
  for (uint16_t& v : in) v = (uint16_t)rng();
  ASSERT_EQ(Ui_ICC_XformRgbColors(x, in.data(), ours.data(), 1000), 0);
  cmsDoTransform(t16, in.data(), theirs.data(), 1000);
  EXPECT_EQ(ours, theirs);
  ASSERT_EQ(Ui_ICC_XformRgbColors(x, in.data(), in.data(), 1000), 0);  // in place
  EXPECT_EQ(in, theirs);
  EXPECT_EQ(Ui_ICC_XformRgbColors(x, in.data(), ours.data(), 0), kBadArg);
  EXPECT_EQ(Ui_ICC_XformRgbColors(x, nullptr, ours.data(), 1), kBadArg);

  // A 5 × 4 thumbnail stored blue-green-red with rows padded to 16 bytes,
  // converted in place; the reference is LittleCMS on packed RGB.
  const int w = 5, h = 4, stride = 16;
  std::vector<uint8_t> bgr(stride * h), packed(3 * w * h), want(3 * w * h);
  for (int y = 0; y < h; ++y)
    for (int px = 0; px < w; ++px)
      for (int c = 0; c < 3; ++c) packed[3 * (y * w + px) + c] = bgr[y * stride + 3 * px + 2 - c] = (uint8_t)rng();
  cmsDoTransform(t8, packed.data(), want.data(), w * h);
  ICCImage im;
  im.width = w;
  im.height = h;
  im.rowStep = stride;
  im.chan[0] = &bgr[2], im.chan[1] = &bgr[1], im.chan[2] = &bgr[0];
  ASSERT_EQ(Ui_ICC_XformRgbImage(x, im, im), 0);
  for (int y = 0; y < h; ++y)
    for (int px = 0; px < w; ++px)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(bgr[y * stride + 3 * px + 2 - c], want[3 * (y * w + px) + c]);

  ICCImage other = im;
  other.height = 3;
  EXPECT_EQ(Ui_ICC_XformRgbImage(x, im, other), kBadArg);
  other = im;
  other.bits = 16;
  EXPECT_EQ(Ui_ICC_XformRgbImage(x, other, im), kBadArg);
  other = im;
  other.chan[1] = nullptr;
  EXPECT_EQ(Ui_ICC_XformRgbImage(x, im, other), kBadArg);

  cmsDeleteTransform(t16);
  cmsDeleteTransform(t8);
  cmsCloseProfile(s);
  cmsCloseProfile(d);
  Ui_ICC_XformDispose(&x);
  EXPECT_EQ(x, nullptr);
  Ui_ICC_XformDispose(&x);
}

// An input profile with nothing but an AToB0 lattice is a valid source.
TEST_F(IccXform, LatticeOnlyInputProfile) {
  const std::string lattice = WriteBytes(dir_ + "lattice.icc", RgbLatticeInputProfile());
  ICCXform* x = nullptr;
  ASSERT_EQ(Ui_ICC_XformMakeSrcToDst(lattice, srgb_, &x), 0);
  const uint16_t in[6] = {0, 0, 0, 65535, 65535, 65535};
  uint16_t out[6];
  ASSERT_EQ(Ui_ICC_XformRgbColors(x, in, out, 2), 0);
  for (int k = 0; k < 3; ++k) {
    EXPECT_LE(out[k], 300);
    EXPECT_GE(out[3 + k], 65235);
  }
  Ui_ICC_XformDispose(&x);
}

// Identity conversions keep every 8-bit value: 255 travels as 65535.
TEST_F(IccXform, IdentityKeepsEveryEightBitValue) {
  ICCXform* x = nullptr;
  ASSERT_EQ(Ui_ICC_XformMakeSrcToDst(adobe_, adobe_, &x), 0);
  std::vector<uint8_t> plane(256);
  for (int i = 0; i < 256; ++i) plane[i] = (uint8_t)i;
  std::vector<uint8_t> out(256 * 3);
  ICCImage src, dst;
  src.width = dst.width = 256;
  src.height = dst.height = 1;
  src.pixelStep = 1;
  src.chan[0] = src.chan[1] = src.chan[2] = plane.data();
  dst.chan[0] = &out[0], dst.chan[1] = &out[1], dst.chan[2] = &out[2];
  ASSERT_EQ(Ui_ICC_XformRgbImage(x, src, dst), 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(out[3 * i], i);
  Ui_ICC_XformDispose(&x);
}

// The monitor: sRGB without a hook (identity from the sRGB working space),
// the hook's profile when it has one, failures as the service's.
TEST_F(IccXform, MonitorProfileHook) {
  OpenState(1);
  const uint16_t gray[3] = {30000, 30000, 30000};
  auto convert = [&](const std::string& src, uint16_t out[3]) {
    ICCXform* x = nullptr;
    const Status st = Ui_ICC_XformMakeSrcToMon(src, &x);
    if (st == kOk) Ui_ICC_XformRgbColors(x, gray, out, 1);
    Ui_ICC_XformDispose(&x);
    return st;
  };
  uint16_t out[3];
  ASSERT_EQ(convert(srgb_, out), 0);
  EXPECT_NEAR(out[0], 30000, 2);
  EXPECT_NE(LogText().find("no monitor profile"), std::string::npos);

  Ui_ICC_SetMonitorProfileHook([](std::vector<uint8_t>& p) {
    p = WorkingSpaceBytes(0);
    return kOk;
  });
  ASSERT_EQ(convert(srgb_, out), 0);
  uint16_t viaFile[3];
  ICCXform* x = nullptr;
  ASSERT_EQ(Ui_ICC_XformMakeSrcToDst(srgb_, adobe_, &x), 0);
  Ui_ICC_XformRgbColors(x, gray, viaFile, 1);
  Ui_ICC_XformDispose(&x);
  EXPECT_EQ(out[0], viaFile[0]);
  EXPECT_LT(out[0], 29900);  // AdobeRGB encodes the same gray lower

  ClearLog();
  Ui_ICC_SetMonitorProfileHook([](std::vector<uint8_t>&) { return kSysErr; });
  EXPECT_EQ(convert(srgb_, out), kSysErr);
  EXPECT_NE(LogText().find("GetICMProfile failure getting nameLen"), std::string::npos);

  ClearLog();
  Ui_ICC_SetMonitorProfileHook([](std::vector<uint8_t>& p) {
    p.assign(200, 1);
    return kOk;
  });
  EXPECT_EQ(convert(srgb_, out), kFormatErr);
  EXPECT_NE(LogText().find("Ui_ICC_XformMakeSrcToDst status = -8"), std::string::npos) << LogText();
}

}  // namespace
