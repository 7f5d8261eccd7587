// The ICC reader: header refusals, the RGB input check, truncated and
// overlong tags, the lattice tags against what LittleCMS wrote, and the
// description of a peer-made profile.
#include <gtest/gtest.h>
#include <lcms2.h>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/iccprofile.h"
#include "colormgmt/profilepolicy.h"

namespace {

using namespace cmtest;

class IccReader : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) { return WriteBytes(dir_ + name, bytes); }
  std::string dir_ = FreshDir("icc_reader");
};

// Header decisions and the RGB input check, one row per header.
TEST_F(IccReader, HeaderAndRgbInputCheck) {
  struct Case {
    const char* name;
    uint32_t cls, space, pcs, signature;
    Status header, check;
  };
  const Case cases[] = {
      {"scanner", ICCSig("scnr"), kICCSpaceRGB, kICCSpaceLab, kICCFileSignature, kOk, kOk},
      {"display", ICCSig("mntr"), kICCSpaceRGB, kICCSpaceXYZ, kICCFileSignature, kOk, kOk},
      {"printer", ICCSig("prtr"), ICCSig("CMYK"), kICCSpaceLab, kICCFileSignature, kOk, kUnsupported},
      {"rgb printer", ICCSig("prtr"), kICCSpaceRGB, kICCSpaceLab, kICCFileSignature, kOk, kUnsupported},
      {"cmyk display", ICCSig("mntr"), ICCSig("CMYK"), kICCSpaceXYZ, kICCFileSignature, kOk, kUnsupported},
      {"link, any pcs", ICCSig("link"), kICCSpaceRGB, ICCSig("CMYK"), kICCFileSignature, kOk, kUnsupported},
      {"abstract class", ICCSig("abst"), kICCSpaceLab, kICCSpaceLab, kICCFileSignature, kFormatErr, kFormatErr},
      {"rgb pcs", ICCSig("scnr"), kICCSpaceRGB, kICCSpaceRGB, kICCFileSignature, kFormatErr, kFormatErr},
      {"bad acsp", ICCSig("mntr"), kICCSpaceRGB, kICCSpaceXYZ, ICCSig("ascp"), kFormatErr, kFormatErr},
  };
  for (const Case& c : cases) {
    ProfileBuilder b;
    b.deviceClass = c.cls;
    b.colorSpace = c.space;
    b.connectionSpace = c.pcs;
    b.fileSignature = c.signature;
    const std::string path = Write("header.icc", b.Build());
    Stream s;
    ASSERT_EQ(StreamOpen(s, path, kStreamRead), 0);
    ICCProfileHeader h;
    EXPECT_EQ(ICCReadHeader(s, h), c.header) << c.name;
    EXPECT_EQ(Ui_ICC_CheckRgbInputProfile(path), c.check) << c.name;
  }
  // A short file gives the read status, a missing one the open status.
  EXPECT_EQ(Ui_ICC_CheckRgbInputProfile(Write("short.icc", Bytes(100, 0))), kReadErr);
  EXPECT_EQ(Ui_ICC_CheckRgbInputProfile(dir_ + "missing.icc"), kOpenErr);
}

// Tags that do not fit: every one is refused with a format error, and a
// directory that claims more entries than the file holds as well.
TEST_F(IccReader, TruncatedAndOverlongTags) {
  struct Case {
    const char* name;
    Bytes tag;
    uint32_t cut;  // bytes removed from the end of the file
  };
  Bytes mft2Head = {'m', 'f', 't', '2', 0, 0, 0, 0, 3, 3, 17, 0};
  mft2Head.resize(mft2Head.size() + 36 + 4, 0);
  mft2Head[12 + 36] = 1;  // 256 input entries
  mft2Head[12 + 38] = 1;  // 256 output entries
  const Case cases[] = {
      {"curve count beyond tag", CurveTag({1, 2, 3}, 4), 0},
      {"desc text beyond tag", [] { Bytes b = DescTag("abc", false); StoreBE32(&b[8], 40); return b; }(), 0},
      {"tag beyond file", XYZTag({1, 2, 3}), 8},
      {"mft2 grid beyond tag", mft2Head, 0},
      {"tag shorter than its type", Bytes{'X', 'Y', 'Z', ' '}, 0},
  };
  for (const Case& c : cases) {
    Bytes file = ProfileBuilder().Add(ICCSig("test"), c.tag).Build();
    file.resize(file.size() - c.cut);
    MemStreamDesc mem;
    mem.buffer = file.data();
    mem.size = (int64_t)file.size();
    Stream s;
    ASSERT_EQ(StreamOpen(s, mem, kStreamRead), 0);
    ICCProfileHeader h;
    ICCTagDirectory dir;
    ASSERT_EQ(ICCReadHeader(s, h), 0) << c.name;
    ASSERT_EQ(ICCReadTagTable(s, dir), 0) << c.name;
    ICCTag tag;
    EXPECT_EQ(ICCReadTag(s, dir, 0, tag), kFormatErr) << c.name;
    EXPECT_EQ(ICCReadTag(s, dir, 1, tag), kBadArg) << c.name;
  }
  Bytes file = ProfileBuilder().Add(ICCSig("test"), XYZTag({1, 2, 3})).Build();
  StoreBE32(&file[128], 1000);
  MemStreamDesc mem;
  mem.buffer = file.data();
  mem.size = (int64_t)file.size();
  Stream s;
  ASSERT_EQ(StreamOpen(s, mem, kStreamRead), 0);
  ICCProfileHeader h;
  ICCTagDirectory dir;
  ASSERT_EQ(ICCReadHeader(s, h), 0);
  EXPECT_EQ(ICCReadTagTable(s, dir), kFormatErr);
}

// The printer profile LittleCMS wrote: AToB0 as 'mft2' with the lattice we
// gave it, the description in the version 2 form.
TEST_F(IccReader, LatticeTagAsLittleCMSWroteIt) {
  const std::string path = Write("cmyk.icc", CmykPrinterProfile());
  Stream s;
  ASSERT_EQ(StreamOpen(s, path, kStreamRead), 0);
  ICCProfileHeader h;
  ICCTagDirectory dir;
  ASSERT_EQ(ICCReadHeader(s, h), 0);
  ASSERT_EQ(ICCReadTagTable(s, dir), 0);
  ICCTag lut;
  ASSERT_EQ(ICCReadTag(s, dir, (uint32_t)ICCFindTag(dir, ICCSig("A2B0")), lut), 0);
  ASSERT_EQ(lut.type, kICCTypeMft2);
  EXPECT_EQ(lut.inputChannels, 4);
  EXPECT_EQ(lut.outputChannels, 3);
  EXPECT_EQ(lut.gridPoints, 3);
  EXPECT_EQ(lut.matrix[0], 0x10000);
  EXPECT_EQ(lut.matrix[1], 0);
  ASSERT_EQ(lut.grid.count, 81u * 3);
  for (uint32_t i = 0; i < lut.grid.count; ++i) ASSERT_EQ(lut.grid[i], (i * 977) % 65536) << i;
  ASSERT_EQ(lut.inputTables.count, (uint32_t)lut.inputEntries * 4);
  EXPECT_EQ(lut.inputTables[0], 0);
  EXPECT_EQ(lut.inputTables[lut.inputEntries - 1], 65535);
  std::string text;
  EXPECT_EQ(Ui_ICC_GetProfileDesc(path, text), 0);
  EXPECT_EQ(text, "Test CMYK");
}

// An 8-bit lattice tag written by hand: 2 inputs, 1 output, 2 grid points.
TEST_F(IccReader, EightBitLatticeTag) {
  Bytes b = {'m', 'f', 't', '1', 0, 0, 0, 0, 2, 1, 2, 0};
  for (int i = 0; i < 9; ++i) PutBE32(b, i % 4 == 0 ? 0x10000 : 0);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 256; ++i) b.push_back((uint8_t)(255 - i));
  for (uint8_t g : {10, 20, 30, 40}) b.push_back(g);
  for (int i = 0; i < 256; ++i) b.push_back((uint8_t)i);
  const Bytes file = ProfileBuilder().Add(ICCSig("A2B0"), b).Build();
  const std::string path = Write("mft1.icc", file);
  Stream s;
  ASSERT_EQ(StreamOpen(s, path, kStreamRead), 0);
  ICCProfileHeader h;
  ICCTagDirectory dir;
  ASSERT_EQ(ICCReadHeader(s, h), 0);
  ASSERT_EQ(ICCReadTagTable(s, dir), 0);
  ICCTag lut;
  ASSERT_EQ(ICCReadTag(s, dir, 0, lut), 0);
  EXPECT_EQ(lut.type, kICCTypeMft1);
  ASSERT_EQ(lut.grid.count, 4u);
  EXPECT_EQ(lut.grid[3], 40);
  ASSERT_EQ(lut.inputTables.count, 512u);
  EXPECT_EQ(lut.inputTables[256], 255);
  ASSERT_EQ(lut.outputTables.count, 256u);
  EXPECT_EQ(lut.outputTables[255], 255);
}

// Descriptions: the version 2 form (also without its Unicode and ScriptCode
// parts), the version 4 form, and refusals.
TEST_F(IccReader, ProfileDescription) {
  Bytes mluc = {'m', 'l', 'u', 'c', 0, 0, 0, 0};
  PutBE32(mluc, 1);
  PutBE32(mluc, 12);
  mluc.insert(mluc.end(), {'e', 'n', 'U', 'S'});
  PutBE32(mluc, 10);
  PutBE32(mluc, 28);
  for (char ch : std::string("Wide\xe9")) PutBE16(mluc, (uint8_t)ch);
  struct Case {
    const char* name;
    Bytes file;
    Status status;
    const char* text;
  };
  const Case cases[] = {
      {"desc", ProfileBuilder().Add(kICCTagDesc, DescTag("Studio RGB")).Build(), kOk, "Studio RGB"},
      {"desc without tail", ProfileBuilder().Add(kICCTagDesc, DescTag("Short", false)).Build(), kOk, "Short"},
      {"mluc", ProfileBuilder().Add(kICCTagDesc, mluc).Build(), kOk, "Wide?"},
      {"no desc tag", ProfileBuilder().Add(ICCSig("cprt"), DescTag("x")).Build(), kFormatErr, ""},
      {"desc of type XYZ", ProfileBuilder().Add(kICCTagDesc, XYZTag({1, 2, 3})).Build(), kFormatErr, ""},
  };
  for (const Case& c : cases) {
    std::string text = "";
    EXPECT_EQ(Ui_ICC_GetProfileDesc(Write("desc.icc", c.file), text), c.status) << c.name;
    if (c.status == kOk) {
      EXPECT_EQ(text, c.text) << c.name;
    }
  }
}

// A profile made by a peer (embedded in a TIFF fixture by ImageMagick): our
// description is LittleCMS's, and it passes the RGB input check.
TEST_F(IccReader, PeerProfile) {
  const std::string path = dir_ + "peer.icc";
  ASSERT_EQ(Ui_ICC_SaveEmbeddedProfile(TestData("imagefile/rgb8_icc.tif"), path), 0);
  std::string ours;
  ASSERT_EQ(Ui_ICC_GetProfileDesc(path, ours), 0);
  cmsHPROFILE p = cmsOpenProfileFromFile(path.c_str(), "r");
  ASSERT_TRUE(p);
  char theirs[256] = {};
  cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", theirs, sizeof theirs);
  cmsCloseProfile(p);
  EXPECT_EQ(ours, theirs);
  EXPECT_FALSE(ours.empty());
  EXPECT_EQ(Ui_ICC_CheckRgbInputProfile(path), 0);
}

}  // namespace
