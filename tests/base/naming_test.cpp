#include <gtest/gtest.h>

#include "base/naming.h"

TEST(NamingTest, OutputPaths) {
  struct Case {
    const char* input;
    int format;
    int naming;
    bool useExtensions;
    bool lowerCase;
    const char* output;
  };
  const Case cases[] = {
      {"/p/photo.jpg", 1, kNamingSuffix, true, true, "/p/photo-zV.tif"},
      {"/p/photo.jpg", 9, kNamingSame, true, true, "/p/photo.jpg"},          // replaces the input
      {"/p/photo.jpg", 1, kNamingSuffix, false, true, "/p/photo.jpg-zV"},    // extensions off
      {"/a/b.tif", 7, kNamingPrefix, true, false, "/a/zV-b.BMP"},
      {"/a/noext", 9, kNamingSuffix, true, true, "/a/noext-zV.jpg"},         // nothing removed
      {"/p/photo.jpeg", 1, kNamingSuffix, true, true, "/p/photo.jpeg-zV.tif"},  // jpeg is not known
      {"/p/photo.Tif", 10, kNamingSuffix, true, true, "/p/photo.Tif-zV.tif"},   // nor is Tif
      {"/p/scan.SCT", 1, kNamingSuffix, true, true, "/p/scan-zV.tif"},
      {"/p/a.b.tga", 7, kNamingSame, true, true, "/p/a.b.bmp"},
      {"relative.bmp", 9, kNamingSuffix, true, true, "relative-zV.jpg"},
  };
  for (const Case& c : cases) {
    OutputNaming n;
    n.naming = c.naming;
    n.useExtensions = c.useExtensions;
    n.lowerCase = c.lowerCase;
    EXPECT_EQ(OutputPathFor(n, c.input, c.format), c.output) << c.input;
  }
  OutputNaming other;
  other.sameFolder = false;
  other.folder = "/out/";
  EXPECT_EQ(OutputPathFor(other, "/in/x.tif", 1), "/out/x-zV.tif");
}

TEST(NamingTest, JpegQuality) {
  struct Case {
    float quality;
    const char* label;
  };
  const Case cases[] = {{0.8f, " 80 (PS: 8)"}, {0.2f, " 20 (PS:n/a)"}, {1.0f, "100 (PS:12)"},
                        {0.25f, " 25 (PS: 0)"}, {0.0f, "  0 (PS:n/a)"}, {0.5f, " 50 (PS: 4)"},
                        {0.93f, " 93 (PS:10)"}};
  for (const Case& c : cases) EXPECT_EQ(JpegQualityLabel(c.quality), c.label) << c.quality;

  // A bar from 10 to 111: x = 10 → 0, 110 → 1, halves round away from zero, ends limited.
  EXPECT_FLOAT_EQ(QualityFromBar(10, 10, 111), 0.0f);
  EXPECT_FLOAT_EQ(QualityFromBar(110, 10, 111), 1.0f);
  EXPECT_FLOAT_EQ(QualityFromBar(500, 10, 111), 1.0f);
  EXPECT_FLOAT_EQ(QualityFromBar(-5, 10, 111), 0.0f);
  EXPECT_FLOAT_EQ(QualityFromBar(60, 10, 111), 0.5f);
  EXPECT_FLOAT_EQ(QualityFromBar(11, 10, 13), 0.5f);  // 1/2 → 50
}

TEST(NamingTest, AffixFilter) {
  EXPECT_EQ(FilterNameAffix("a\\b/c"), "abc");
  EXPECT_EQ(FilterNameAffix(std::string("x\x01y\x7fz\tw")), "xyzw");
  EXPECT_EQ(FilterNameAffix(std::string(30, 'q')), std::string(19, 'q'));
}
