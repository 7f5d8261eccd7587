// Test helpers for colour management: hand-made profile files (a header and
// a list of tags), a CMYK printer profile made by LittleCMS, the working-space
// profiles as files, and small RGB TIFF images with or without an embedded
// profile, written through the image-file framework.
#pragma once

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "colormgmt/iccprofile.h"
#include "colormgmt/wsprofiles.h"
#include "imagefile/ras.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace cmtest {

using Bytes = std::vector<uint8_t>;

// A four-character signature given at run time.
inline uint32_t SigOf(const char* s) { return LoadBE32(s); }

inline void PutBE32(Bytes& b, uint32_t v) {
  uint8_t q[4];
  StoreBE32(q, v);
  b.insert(b.end(), q, q + 4);
}
inline void PutBE16(Bytes& b, uint16_t v) {
  uint8_t q[2];
  StoreBE16(q, v);
  b.insert(b.end(), q, q + 2);
}

// A profile file assembled from a header and tags; the tag directory follows
// the header, the tags follow the directory in order (4-byte aligned).
struct ProfileBuilder {
  uint32_t deviceClass = kICCClassDisplay;
  uint32_t colorSpace = kICCSpaceRGB;
  uint32_t connectionSpace = kICCSpaceXYZ;
  uint32_t fileSignature = kICCFileSignature;
  struct Tag {
    uint32_t signature;
    Bytes bytes;
  };
  std::vector<Tag> tags;

  ProfileBuilder& Add(uint32_t signature, Bytes bytes) {
    tags.push_back({signature, std::move(bytes)});
    return *this;
  }
  Bytes Build() const {
    Bytes out(128, 0);
    uint32_t offset = 128 + 4 + 12 * (uint32_t)tags.size();
    Bytes dir;
    PutBE32(dir, (uint32_t)tags.size());
    Bytes body;
    for (const Tag& t : tags) {
      PutBE32(dir, t.signature);
      PutBE32(dir, offset + (uint32_t)body.size());
      PutBE32(dir, (uint32_t)t.bytes.size());
      body.insert(body.end(), t.bytes.begin(), t.bytes.end());
      while (body.size() % 4) body.push_back(0);
    }
    out.insert(out.end(), dir.begin(), dir.end());
    out.insert(out.end(), body.begin(), body.end());
    StoreBE32(&out[0], (uint32_t)out.size());
    StoreBE32(&out[8], 0x02100000);
    StoreBE32(&out[12], deviceClass);
    StoreBE32(&out[16], colorSpace);
    StoreBE32(&out[20], connectionSpace);
    StoreBE32(&out[36], fileSignature);
    StoreBE32(&out[68], 0xF6D6);   // D50 X 0.9642
    StoreBE32(&out[72], 0x10000);  // Y 1.0
    StoreBE32(&out[76], 0xD32D);   // Z 0.8249
    return out;
  }
};

// Tag contents.
inline Bytes DescTag(const std::string& text, bool withTail = true) {
  Bytes b;
  PutBE32(b, kICCTypeDesc);
  PutBE32(b, 0);
  PutBE32(b, (uint32_t)text.size() + 1);
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  if (withTail) {
    PutBE32(b, 0);  // Unicode language
    PutBE32(b, 0);  // Unicode count
    PutBE16(b, 0);  // ScriptCode code
    b.push_back(0);
    b.insert(b.end(), 67, 0);
  }
  return b;
}
inline Bytes CurveTag(const std::vector<uint16_t>& entries, uint32_t declared) {
  Bytes b;
  PutBE32(b, kICCTypeCurve);
  PutBE32(b, 0);
  PutBE32(b, declared);
  for (uint16_t e : entries) PutBE16(b, e);
  return b;
}
inline Bytes XYZTag(const std::vector<int32_t>& values) {
  Bytes b;
  PutBE32(b, kICCTypeXYZ);
  PutBE32(b, 0);
  for (int32_t v : values) PutBE32(b, (uint32_t)v);
  return b;
}

inline std::string WriteBytes(const std::string& path, const Bytes& bytes) {
  WriteFileBytes(path, bytes.data(), bytes.size());
  return path;
}

inline Bytes WorkingSpaceBytes(int index) {
  Bytes b;
  EXPECT_EQ(MakeWorkingSpaceProfile(index, b), 0);
  return b;
}

// The working-space profile `index` as a file in `folder`.
inline std::string WorkingSpaceFile(const std::string& folder, int index) {
  return WriteBytes(WorkingSpaceProfilePath(folder, index), WorkingSpaceBytes(index));
}

inline Bytes SaveToBytes(cmsHPROFILE p) {
  cmsUInt32Number size = 0;
  EXPECT_TRUE(cmsSaveProfileToMem(p, nullptr, &size));
  Bytes b(size);
  EXPECT_TRUE(cmsSaveProfileToMem(p, b.data(), &size));
  return b;
}

// A version 2 CMYK printer profile (prtr, CMYK, Lab) whose AToB0 is a 3-point
// lattice LittleCMS stores as 'mft2'; grid value i of the lattice is
// (i × 977) mod 65536.
inline Bytes CmykPrinterProfile() {
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 2.1);
  cmsSetDeviceClass(p, cmsSigOutputClass);
  cmsSetColorSpace(p, cmsSigCmykData);
  cmsSetPCS(p, cmsSigLabData);
  std::vector<cmsUInt16Number> table(81 * 3);
  for (size_t i = 0; i < table.size(); ++i) table[i] = (cmsUInt16Number)((i * 977) % 65536);
  cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
  cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocCLut16bit(nullptr, 3, 4, 3, table.data()));
  cmsWriteTag(p, cmsSigAToB0Tag, lut);
  cmsPipelineFree(lut);
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(mlu, "en", "US", "Test CMYK");
  cmsWriteTag(p, cmsSigProfileDescriptionTag, mlu);
  cmsMLUfree(mlu);
  Bytes b = SaveToBytes(p);
  cmsCloseProfile(p);
  return b;
}

// An RGB input profile (scnr, RGB, XYZ) whose only table is AToB0: a 2-point
// lattice holding the D50 colorants of sRGB, so it maps linear RGB to XYZ.
inline Bytes RgbLatticeInputProfile() {
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 2.1);
  cmsSetDeviceClass(p, cmsSigInputClass);
  cmsSetColorSpace(p, cmsSigRgbData);
  cmsSetPCS(p, cmsSigXYZData);
  const double colorant[3][3] = {{0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
  cmsUInt16Number table[8 * 3];
  for (int i = 0; i < 8; ++i) {  // channel 0 slowest in LittleCMS lattices
    const int on[3] = {i >> 2 & 1, i >> 1 & 1, i & 1};
    for (int k = 0; k < 3; ++k) {
      double v = 0;
      for (int c = 0; c < 3; ++c) v += on[c] * colorant[c][k];
      table[3 * i + k] = (cmsUInt16Number)(v * 32768 + 0.5);  // XYZ: 1.0 is 0x8000
    }
  }
  cmsPipeline* lut = cmsPipelineAlloc(nullptr, 3, 3);
  cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocCLut16bit(nullptr, 2, 3, 3, table));
  cmsWriteTag(p, cmsSigAToB0Tag, lut);
  cmsPipelineFree(lut);
  Bytes b = SaveToBytes(p);
  cmsCloseProfile(p);
  return b;
}

// A 4 × 3 RGB TIFF (8-bit) with `profile` embedded when it is not empty.
inline std::string MakeImage(const std::string& path, const Bytes& profile) {
  RasImage image;
  image.meta.iccProfile.assign(profile.begin(), profile.end());
  EXPECT_EQ(rasInit(image, kRasTiff, 4, 3, 3, kRasRGB, 72), 0);
  EXPECT_EQ(RasOpen(path, 'w', image), 0);
  RasScanline sl;
  EXPECT_EQ(RasMakeSl(sl, image), 0);
  for (uint32_t y = 0; y < 3; ++y) {
    for (int c = 0; c < 3; ++c)
      for (uint32_t x = 0; x < 4; ++x) sl.plane8[c][x] = (uint8_t)(40 * c + 50 * x + 20 * y);
    EXPECT_EQ(RasWriteSl(image, y, sl), 0);
  }
  EXPECT_EQ(RasClose(image), 0);
  return path;
}

}  // namespace cmtest
