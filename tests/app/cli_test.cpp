// tavelin-cli info, convert and pam, run as a user would.
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "imagefile/imagefile_support.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

int Cli(const std::string& args, std::string* out = nullptr) {
  return RunCommand(std::string("'") + TAVELIN_CLI + "' " + args + " 2>&1", out);
}

TEST(CliTest, InfoPrintsOneLinePerFileAndFailsOnAnyBadOne) {
  std::string out;
  const std::string tif = Fixture("rgb8_icc.tif"), jpg = Fixture("exif_thumb.jpg"), rle = Fixture("bmp8_rle.bmp");
  ASSERT_EQ(Cli("info '" + tif + "' '" + jpg + "'", &out), 0) << out;
  EXPECT_EQ(out, tif + ": format=tiff width=13 height=7 channels=3 colortype=rgb max=255 dpi=300 profile=2576 exif=0\n" +
                     jpg + ": format=jpeg width=13 height=7 channels=3 colortype=rgb max=255 dpi=-1 profile=0 exif=480\n");
  EXPECT_NE(Cli("info '" + tif + "' '" + rle + "'", &out), 0);
  EXPECT_NE(out.find(rle + ": error -9: An unsupported feature was encountered while reading image file " + rle),
            std::string::npos)
      << out;
}

TEST(CliTest, ConvertCarriesPixelsAndProfile) {
  const std::string dir = FreshDir("cli");
  std::string out;
  // 8-bit TIFF with a profile to 16-bit TIFF and back: same pixels, same profile.
  ASSERT_EQ(Cli("convert '" + Fixture("rgb8_icc.tif") + "' " + dir + "a.tif --format tiff16", &out), 0) << out;
  ASSERT_EQ(Cli("convert " + dir + "a.tif " + dir + "b.bmp --format bmp", &out), 0) << out;
  ASSERT_EQ(Cli("info " + dir + "a.tif", &out), 0);
  EXPECT_NE(out.find("format=tiff16") , std::string::npos) << out;
  EXPECT_NE(out.find("profile=2576"), std::string::npos) << out;
  ASSERT_EQ(Cli("pam " + dir + "b.bmp " + dir + "b.pam", &out), 0) << out;
  Pixels back, source;
  ASSERT_TRUE(ReadPam(dir + "b.pam", back));
  ASSERT_TRUE(ReadPam(Fixture("src_rgb.ppm"), source));
  EXPECT_EQ(back.samples, source.samples);
  // JPEG keeps its EXIF block; a format that cannot hold CMYK refuses and leaves nothing behind.
  ASSERT_EQ(Cli("convert '" + Fixture("exif_thumb.jpg") + "' " + dir + "c.jpg --format jpeg --quality 95", &out), 0);
  ASSERT_EQ(Cli("info " + dir + "c.jpg", &out), 0);
  EXPECT_NE(out.find("exif=480"), std::string::npos) << out;
  EXPECT_NE(Cli("convert '" + Fixture("cmyk.tif") + "' " + dir + "d.bmp --format bmp", &out), 0);
  EXPECT_NE(out.find("BMP files hold RGB or gray images only"), std::string::npos) << out;
  EXPECT_FALSE(FileExists(dir + "d.bmp"));
  EXPECT_EQ(Cli("convert a b --format png", &out), 1);
}

TEST(CliTest, PamWritesTheSamplesWithTheirMaximum) {
  const std::string dir = FreshDir("cli_pam");
  std::string tuple;
  Pixels px, source;
  ASSERT_EQ(Cli("pam '" + Fixture("rgb16_mm.tif") + "' " + dir + "a.pam"), 0);
  ASSERT_TRUE(ReadPam(dir + "a.pam", px, &tuple));
  ASSERT_TRUE(ReadPam(Fixture("src_rgb16.ppm"), source));
  EXPECT_EQ(tuple, "RGB");
  EXPECT_EQ(px.maxValue, 65535);
  EXPECT_EQ(px.samples, source.samples);
  ASSERT_EQ(Cli("pam '" + Fixture("cmyk.jpg") + "' " + dir + "b.pam"), 0);
  ASSERT_TRUE(ReadPam(dir + "b.pam", px, &tuple));
  EXPECT_EQ(tuple, "CMYK");
  ASSERT_EQ(Cli("pam '" + Fixture("gray.jpg") + "' " + dir + "c.pam"), 0);
  ASSERT_TRUE(ReadPam(dir + "c.pam", px, &tuple));
  EXPECT_EQ(tuple, "GRAYSCALE");
}

// "-" is the standard input for info and pam, and the standard output for
// pam; every command has its own --help; "--" ends the options.
TEST(CliTest, StandardStreamsAndHelpOfTheFileCommands) {
  const std::string dir = FreshDir("cli_streams");
  const std::string tif = Fixture("rgb16_mm.tif");
  std::string out;
  ASSERT_EQ(Cli("info - < '" + tif + "'", &out), 0) << out;
  EXPECT_EQ(out, "-: format=tiff16 width=13 height=7 channels=3 colortype=rgb max=65535 dpi=300 profile=0 exif=0\n");
  EXPECT_EQ(Cli("info -- - - < '" + tif + "'", &out), 1);
  EXPECT_NE(out.find("-: error -4: the standard input (-) can be read only once"), std::string::npos) << out;
  EXPECT_EQ(Cli("info -z '" + tif + "'", &out), 2);
  EXPECT_NE(out.find("unknown option -z"), std::string::npos) << out;

  ASSERT_EQ(Cli("pam - - < '" + tif + "' > " + dir + "a.pam"), 0);
  Pixels px, source;
  ASSERT_TRUE(ReadPam(dir + "a.pam", px));
  ASSERT_TRUE(ReadPam(Fixture("src_rgb16.ppm"), source));
  EXPECT_EQ(px.samples, source.samples);
  EXPECT_EQ(Cli("pam - " + dir + "b.pam < /dev/null", &out), 1);
  EXPECT_FALSE(FileExists(dir + "b.pam"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file is left";

  for (const char* command : {"info", "convert", "pam", "job", "job save", "job run", "job unfinished", "correct"}) {
    ASSERT_EQ(Cli(std::string(command) + " --help", &out), 0) << command << "\n" << out;
    EXPECT_EQ(out.rfind(std::string("Usage: tavelin-cli ") + command, 0), 0u) << out;
  }
}

// The legacy formats: converted to and back, samples rescaled between 8 and 10
// bits, a DCS set written beside its main file, the EPS title naming the file.
TEST(CliTest, ConvertsToAndFromTheLegacyFormats) {
  const std::string dir = FreshDir("cli_legacy");
  std::string out;
  Pixels source, back;
  ASSERT_TRUE(ReadPam(Fixture("src_rgb.ppm"), source));
  ASSERT_EQ(Cli("convert '" + Fixture("rgb8_ii.tif") + "' " + dir + "a.cin --format cin", &out), 0) << out;
  ASSERT_EQ(Cli("info " + dir + "a.cin", &out), 0);
  EXPECT_EQ(out, dir + "a.cin: format=cin width=13 height=7 channels=3 colortype=rgb max=1023 dpi=-1 profile=0 exif=0\n");
  ASSERT_EQ(Cli("pam " + dir + "a.cin " + dir + "a.pam"), 0);
  ASSERT_TRUE(ReadPam(dir + "a.pam", back));
  EXPECT_EQ(back.maxValue, 1023);
  for (size_t i = 0; i < source.samples.size(); ++i)
    ASSERT_EQ(back.samples[i], (source.samples[i] * 1023 + 127) / 255) << i;
  for (const char* format : {"sct", "eps", "tiff"}) {
    SCOPED_TRACE(format);
    const std::string file = dir + "b." + format;
    ASSERT_EQ(Cli("convert " + dir + "a.cin " + file + " --format " + format, &out), 0) << out;
    ASSERT_EQ(Cli("pam " + file + " " + dir + "b.pam"), 0);
    ASSERT_TRUE(ReadPam(dir + "b.pam", back));
    EXPECT_EQ(back.samples, source.samples);
  }
  EXPECT_NE(ReadFileText(dir + "b.eps").find("\n%%Title: b\n"), std::string::npos);

  ASSERT_EQ(Cli("convert '" + Fixture("cmyk.tif") + "' " + dir + "c.eps --format dcs", &out), 0) << out;
  for (const char* plate : {".C", ".M", ".Y", ".K"}) EXPECT_TRUE(FileExists(dir + "c.eps" + plate)) << plate;
  ASSERT_EQ(Cli("info " + dir + "c.eps", &out), 0);
  EXPECT_NE(out.find("format=dcs width=13 height=7 channels=4 colortype=cmyk"), std::string::npos) << out;
  Pixels cmyk;
  ASSERT_EQ(Cli("pam '" + Fixture("cmyk.tif") + "' " + dir + "d.pam"), 0);
  ASSERT_EQ(Cli("pam " + dir + "c.eps " + dir + "c.pam"), 0);
  ASSERT_TRUE(ReadPam(dir + "d.pam", cmyk));
  ASSERT_TRUE(ReadPam(dir + "c.pam", back));
  EXPECT_EQ(back.samples, cmyk.samples);
  EXPECT_NE(Cli("convert " + dir + "a.cin " + dir + "e.eps --format dcs", &out), 0);
  EXPECT_NE(out.find("DCS files hold CMYK images only"), std::string::npos) << out;
  EXPECT_FALSE(FileExists(dir + "e.eps"));
  EXPECT_FALSE(FileExists(dir + "e.eps.C"));
}

// Formats that name themselves inside (the EPS title, the Cineon file name,
// the DCS plates) are written under temporary names too: links planted at
// the output's name and at the plates' names are replaced, never written
// through, and the files still name themselves and their plates. The same
// for a PAM file.
TEST(CliTest, OutputsAndPlatesReplaceLinksPlantedAtTheirNames) {
  const std::string dir = FreshDir("cli_planted");
  WriteFileText(dir + "victim", "victim");
  struct Case {
    const char* format;
    const char* input;
    std::vector<std::string> names;  // the output, then its plates
  } cases[] = {{"eps", "rgb8_ii.tif", {"a.eps"}},
               {"cin", "rgb8_ii.tif", {"b.cin"}},
               {"dcs", "cmyk.tif", {"c.eps", "c.eps.C", "c.eps.M", "c.eps.Y", "c.eps.K"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    for (const std::string& name : c.names) ASSERT_EQ(::symlink((dir + "victim").c_str(), (dir + name).c_str()), 0);
    std::string out;
    ASSERT_EQ(Cli("convert '" + Fixture(c.input) + "' " + dir + c.names[0] + " --format " + c.format, &out), 0) << out;
    for (const std::string& name : c.names)
      EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir + name))) << name;
    EXPECT_EQ(Cli("info " + dir + c.names[0], &out), 0) << out;
  }
  // So is the PAM file.
  ASSERT_EQ(::symlink((dir + "victim").c_str(), (dir + "d.pam").c_str()), 0);
  ASSERT_EQ(Cli("pam '" + Fixture("rgb8_ii.tif") + "' " + dir + "d.pam"), 0);
  Pixels pam;
  EXPECT_TRUE(ReadPam(dir + "d.pam", pam));
  EXPECT_EQ(ReadFileText(dir + "victim"), "victim");
  EXPECT_NE(ReadFileText(dir + "a.eps").find("\n%%Title: a\n"), std::string::npos);
  EXPECT_NE(ReadFileText(dir + "c.eps").find("%%CyanPlate: c.eps.C"), std::string::npos);
  for (const auto& e : std::filesystem::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().rfind("Quilo", 0), 0u) << e.path();
}

// A line feed in a file name cannot split the file's line.
TEST(CliTest, InfoKeepsEachFileOnOneLine) {
  const std::string dir = FreshDir("cli_names");
  const std::string path = dir + "two\nlines.tif";
  WriteBytes(path, FileBytes(Fixture("rgb8_ii.tif")));
  std::string out;
  ASSERT_EQ(Cli("info '" + path + "'", &out), 0) << out;
  EXPECT_EQ(out, dir + "two\\nlines.tif: format=tiff width=13 height=7 channels=3 colortype=rgb max=255 dpi=300 "
                       "profile=0 exif=0\n");
}

}  // namespace
