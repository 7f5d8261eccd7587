#include "correct/definitions.h"

#include <gtest/gtest.h>

#include "base/strings.h"
#include "support/scratch.h"

TEST(Definitions, KindsAndDefaults) {
  DefinitionKindInfo info;
  ASSERT_EQ(GetDefinitionKind(kDefinitionSepia, &info), kOk);
  EXPECT_EQ(info.defaultColour[0], 0.625f);
  EXPECT_EQ(info.defaultColour[2], 0.4f);
  EXPECT_STREQ(ResText(info.titleId), "Sepia Tone");
  EXPECT_STREQ(ResText(info.fileNameId), "MySepiaTone");
  EXPECT_STREQ(ResText(info.loadPromptId), "Load Sepia Tone Definition");
  ASSERT_EQ(GetDefinitionKind(kDefinitionNeutral, &info), kOk);
  EXPECT_STREQ(ResText(info.fileNameId), "MyNeutral");
  EXPECT_EQ(GetDefinitionKind(4, &info), kBadArg);
  struct Case {
    float v;
    int p;
  };
  for (Case c : {Case{0.0f, -100}, Case{1.0f, 100}, Case{0.5f, 0}, Case{0.625f, 25}, Case{0.4f, -20},
                 Case{0.503f, 1}, Case{0.497f, -1}}) {
    EXPECT_EQ(DefinitionPosition(c.v), c.p) << c.v;
    EXPECT_FLOAT_EQ(DefinitionValue(c.p), (c.p + 100) / 200.0f);
  }
}

TEST(Definitions, FileRoundTripAndRefusals) {
  const std::string path = FreshDir("definitions") + "MySepiaTone";
  const float sepia[3] = {0.625f, 0.5f, 0.4f};
  ASSERT_EQ(WriteDefinitionFile(path, sepia), kOk);
  EXPECT_EQ(ReadFileText(path), "25 0 -20\n");
  float rgb[3] = {0, 0, 0};
  ASSERT_EQ(ReadDefinitionFile(path, rgb), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(rgb[c], sepia[c]);

  struct Case {
    const char* text;
    Status status;
  };
  const Case cases[] = {{"101 0 0\n", kFormatErr}, {"0 -101 0\n", kFormatErr}, {"1 2\n", kFormatErr},
                        {"a b c\n", kFormatErr},    {"", kFormatErr},          {"99999999999 0 0", kFormatErr},
                        {"-100 100 7 extra\nmore\n", kOk}};
  for (const Case& c : cases) {
    WriteFileText(path, c.text);
    float v[3] = {0.25f, 0.25f, 0.25f};
    EXPECT_EQ(ReadDefinitionFile(path, v), c.status) << c.text;
    if (c.status != kOk) {
      EXPECT_EQ(v[0], 0.25f) << c.text;
    }
  }
  const float bad[3] = {0.5f, 1.5f, 0.5f};
  EXPECT_EQ(WriteDefinitionFile(path, bad), kBadArg);
  EXPECT_EQ(ReadDefinitionFile(path + "-missing", rgb), kOpenErr);
}
