// The working-space table and its profiles: refRGB comparison with its log
// line, the fifteen generated profiles read back by our reader and by
// LittleCMS against the table, and writing them into a folder.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <filesystem>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/iccprofile.h"
#include "colormgmt/workingspaces.h"
#include "colormgmt/wsprofiles.h"
#include "support/app_fixture.h"

namespace {

using namespace cmtest;

// Half a unit of the s15.16 encoding, and a little for the double arithmetic.
constexpr double kFixedTolerance = 0.5 / 65536 + 1e-9;

class WorkingSpaces : public AppFixture {};

TEST_F(WorkingSpaces, RefRgbMatchToleranceAndLogLine) {
  OpenState(1);
  RefRGB base;
  ASSERT_EQ(FillRefRGB(13, &base), 0);
  struct Case {
    int field;  // 0 gamma, 1..3 white, 4..9 primaries
    double delta;
    bool match;
    const char* line;
  };
  const Case cases[] = {
      {7, 0.00001, true, nullptr},
      {4, -0.00001, true, nullptr},
      {3, 0.000004, true, nullptr},
      {0, 0.00002, false, "RefRgbMatch: gamma1: 2.200000  gamma2: 2.200020"},
      {3, 0.0001, false, "RefRgbMatch: xyzWhite1[2]: 1.088969  xyzWhite2[2]: 1.089069"},
      {9, 0.00002, false, "RefRgbMatch: primaries1[5]: 0.060000  primaries2[5]: 0.060020"},
  };
  for (const Case& c : cases) {
    ClearLog();
    RefRGB other = base;
    float* f = c.field == 0 ? &other.gamma : c.field <= 3 ? &other.xyzWhite[c.field - 1] : &other.primaries[c.field - 4];
    *f = (float)(*f + c.delta);
    EXPECT_EQ(RefRgbMatch(base, other), c.match) << "field " << c.field << " delta " << c.delta;
    const std::string log = LogText();
    if (c.line) {
      EXPECT_NE(log.find(c.line), std::string::npos) << log;
    } else {
      EXPECT_EQ(log.find("RefRgbMatch"), std::string::npos) << log;
    }
  }
  // Only the first differing value is logged.
  ClearLog();
  RefRGB other = base;
  other.xyzWhite[0] += 0.01f;
  other.primaries[0] += 0.01f;
  EXPECT_FALSE(RefRgbMatch(base, other));
  EXPECT_NE(LogText().find("xyzWhite1[0]"), std::string::npos);
  EXPECT_EQ(LogText().find("primaries1"), std::string::npos);
}

TEST_F(WorkingSpaces, FillRefRGBRefusesIndexOutsideTable) {
  RefRGB r{};
  r.gamma = 9;
  EXPECT_EQ(FillRefRGB(-1, &r), kBadArg);
  EXPECT_EQ(FillRefRGB(15, &r), kBadArg);
  EXPECT_EQ(r.gamma, 9);
  EXPECT_EQ(FillRefRGB(0, nullptr), kBadArg);
  int32_t index = 15;
  EXPECT_EQ(CheckWorkingSpaceIndex(index), kUnsupported);
  EXPECT_STREQ(WorkingSpaceName(index), "sRGB IEC61966-2.1");
}

// Decodes one XYZ tag with our reader.
void ExpectXYZ(Stream& s, const ICCTagDirectory& dir, const char* sig, const std::array<double, 3>& want, int row) {
  const int32_t e = ICCFindTag(dir, SigOf(sig));
  ASSERT_GE(e, 0) << sig << " row " << row;
  ICCTag tag;
  ASSERT_EQ(ICCReadTag(s, dir, (uint32_t)e, tag), 0);
  ASSERT_EQ(tag.type, kICCTypeXYZ);
  ASSERT_EQ(tag.xyz.count, 1u);
  EXPECT_NEAR(ICCFixed(tag.xyz[0].X), want[0], kFixedTolerance) << sig << " row " << row;
  EXPECT_NEAR(ICCFixed(tag.xyz[0].Y), want[1], kFixedTolerance) << sig << " row " << row;
  EXPECT_NEAR(ICCFixed(tag.xyz[0].Z), want[2], kFixedTolerance) << sig << " row " << row;
}

// Every profile read back by our own reader gives the table: header, the
// description, the XYZ tags, the tone curves and the black point.
TEST_F(WorkingSpaces, ProfilesReadBackByOurReader) {
  for (int i = 0; i < kWorkingSpaceCount; ++i) {
    const WorkingSpaceRow& row = *WorkingSpaceTableRow(i);
    Bytes bytes = WorkingSpaceBytes(i);
    MemStreamDesc mem;
    mem.buffer = bytes.data();
    mem.size = (int64_t)bytes.size();
    Stream s;
    ASSERT_EQ(StreamOpen(s, mem, kStreamRead), 0);
    ICCProfileHeader h;
    ASSERT_EQ(ICCReadHeader(s, h), 0);
    EXPECT_EQ(h.size, bytes.size());
    EXPECT_EQ(h.version, i == 8 ? 0x02000000u : 0x02100000u);
    EXPECT_EQ(h.deviceClass, kICCClassDisplay);
    EXPECT_EQ(h.colorSpace, kICCSpaceRGB);
    EXPECT_EQ(h.connectionSpace, kICCSpaceXYZ);
    EXPECT_EQ(h.intent, 0u);
    const double d50[3] = {0.9642, 1.0, 0.8249};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(ICCFixed(h.illuminant[k]), d50[k], 1.0 / 65536);
    ICCTagDirectory dir;
    ASSERT_EQ(ICCReadTagTable(s, dir), 0);

    ICCTag tag;
    ASSERT_EQ(ICCReadTag(s, dir, (uint32_t)ICCFindTag(dir, ICCSig("desc")), tag), 0);
    EXPECT_EQ(tag.type, kICCTypeDesc);
    EXPECT_EQ(tag.ascii, row.description);
    EXPECT_GE(ICCFindTag(dir, ICCSig("cprt")), 0);
    ExpectXYZ(s, dir, "wtpt", row.wtpt, i);
    ExpectXYZ(s, dir, "rXYZ", row.rXYZ, i);
    ExpectXYZ(s, dir, "gXYZ", row.gXYZ, i);
    ExpectXYZ(s, dir, "bXYZ", row.bXYZ, i);
    const std::array<double, 3> black = {0, 0, 0};
    if (row.blackPoint) ExpectXYZ(s, dir, "bkpt", black, i);
    else EXPECT_LT(ICCFindTag(dir, ICCSig("bkpt")), 0) << i;

    for (const char* trc : {"rTRC", "gTRC", "bTRC"}) {
      ICCTag curve;
      ASSERT_EQ(ICCReadTag(s, dir, (uint32_t)ICCFindTag(dir, SigOf(trc)), curve),
                0);
      ASSERT_EQ(curve.type, kICCTypeCurve);
      if (row.curveGamma != kToneCurveSRGB) {
        ASSERT_EQ(curve.curve.count, 1u) << i;
        EXPECT_EQ(curve.curve[0], i == 1 || i == 5 || i == 7 || i == 11 ? 461 : 563) << i;
      } else {
        ASSERT_EQ(curve.curve.count, 1024u);
        for (uint32_t k = 0; k < 1024; ++k) {
          const double x = k / 1023.0;
          const double y = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
          EXPECT_NEAR(curve.curve[k], y * 65535, 0.5) << k;
        }
      }
    }
  }
}

// LittleCMS reads the same values, and converting the primaries and white
// through it into XYZ gives the colorants and their sum.
TEST_F(WorkingSpaces, ProfilesThroughLittleCMS) {
  cmsHPROFILE xyz = cmsCreateXYZProfile();
  for (int i = 0; i < kWorkingSpaceCount; ++i) {
    const WorkingSpaceRow& row = *WorkingSpaceTableRow(i);
    Bytes bytes = WorkingSpaceBytes(i);
    cmsHPROFILE p = cmsOpenProfileFromMem(bytes.data(), (cmsUInt32Number)bytes.size());
    ASSERT_TRUE(p) << i;
    EXPECT_EQ(cmsGetDeviceClass(p), cmsSigDisplayClass);
    char desc[128] = {};
    cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", desc, sizeof desc);
    EXPECT_STREQ(desc, row.description);
    const cmsCIEXYZ* wtpt = (const cmsCIEXYZ*)cmsReadTag(p, cmsSigMediaWhitePointTag);
    ASSERT_TRUE(wtpt);
    EXPECT_NEAR(wtpt->X, row.wtpt[0], kFixedTolerance);
    EXPECT_NEAR(wtpt->Z, row.wtpt[2], kFixedTolerance);
    const cmsToneCurve* curve = (const cmsToneCurve*)cmsReadTag(p, cmsSigGreenTRCTag);
    ASSERT_TRUE(curve);
    for (float x : {0.0f, 0.02f, 0.2f, 0.5f, 0.9f, 1.0f}) {
      const double want = row.curveGamma == kToneCurveSRGB
                              ? (x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4))
                              : std::pow(x, row.curveGamma / 256.0);
      EXPECT_NEAR(cmsEvalToneCurveFloat(curve, x), want, 2e-5) << i << " at " << x;
    }

    cmsHTRANSFORM t = cmsCreateTransform(p, TYPE_RGB_16, xyz, TYPE_XYZ_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                         cmsFLAGS_NOOPTIMIZE);
    ASSERT_TRUE(t) << i;
    const uint16_t rgb[4][3] = {{65535, 0, 0}, {0, 65535, 0}, {0, 0, 65535}, {65535, 65535, 65535}};
    cmsCIEXYZ out[4];
    cmsDoTransform(t, rgb, out, 4);
    const double* colorant[3] = {row.rXYZ.data(), row.gXYZ.data(), row.bXYZ.data()};
    for (int c = 0; c < 4; ++c) {
      double want[3];
      for (int k = 0; k < 3; ++k) want[k] = c < 3 ? colorant[c][k] : row.rXYZ[k] + row.gXYZ[k] + row.bXYZ[k];
      EXPECT_NEAR(out[c].X, want[0], 1e-4) << i << " colour " << c;
      EXPECT_NEAR(out[c].Y, want[1], 1e-4) << i << " colour " << c;
      EXPECT_NEAR(out[c].Z, want[2], 1e-4) << i << " colour " << c;
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(p);
  }
  cmsCloseProfile(xyz);
}

TEST_F(WorkingSpaces, WritesAllFifteenUnderTheirNames) {
  const std::string dir = FreshDir("ws_write");
  WriteFileText(dir + "ColorMatchRGB.icc", "old contents");
  ASSERT_EQ(WriteWorkingSpaceProfiles(dir), 0);
  EXPECT_EQ(WorkingSpaceProfilePath(dir, 3), dir + "MARLOW_RGB");
  for (int i = 0; i < kWorkingSpaceCount; ++i) {
    Bytes file;
    ASSERT_TRUE(ReadFileBytes(WorkingSpaceProfilePath(dir, i), file)) << i;
    EXPECT_EQ(file, WorkingSpaceBytes(i)) << i;
  }
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 0);
}

// The first file that cannot be put in place is reported with its full path,
// the rest are not written and no temporary file is left behind.
TEST_F(WorkingSpaces, WriteStopsAtFirstFailure) {
  const std::string dir = FreshDir("ws_write_fail");
  std::filesystem::create_directory(dir + "BestRGB.icm");  // index 2 cannot be a file
  EXPECT_EQ(WriteWorkingSpaceProfiles(dir), kSysErr);
  ASSERT_EQ(host().Count(ScriptedHost::Kind::Alert), 1);
  EXPECT_EQ(host().Of(ScriptedHost::Kind::Alert)[0].text, "An error occurred while creating file " + dir + "BestRGB.icm.");
  EXPECT_TRUE(FileExists(dir + "AppleRGB.icc"));
  EXPECT_FALSE(FileExists(dir + "MARLOW_RGB"));
  EXPECT_FALSE(FileExists(dir + "WideGamutRGB.icc"));
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

}  // namespace
