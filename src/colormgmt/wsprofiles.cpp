#include "colormgmt/wsprofiles.h"

#include <lcms2.h>

#include <cmath>
#include <memory>

#include "colormgmt/workingspaces.h"
#include "base/alert.h"
#include "base/atomicfile.h"
#include "base/bytes.h"
#include "base/debuglog.h"
#include "base/stream.h"
#include "base/strings.h"

namespace {

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct CurveFreer {
  void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
struct MluFreer {
  void operator()(cmsMLU* m) const { cmsMLUfree(m); }
};

// Header creation date and time (offset 24, six 16-bit numbers): fixed, so
// every start-up writes the same bytes.
constexpr uint16_t kCreated[6] = {2000, 1, 1, 0, 0, 0};

bool WriteXYZ(cmsHPROFILE p, cmsTagSignature sig, const std::array<double, 3>& v) {
  const cmsCIEXYZ xyz = {v[0], v[1], v[2]};
  return cmsWriteTag(p, sig, &xyz) != 0;
}

bool WriteText(cmsHPROFILE p, cmsTagSignature sig, const char* text) {
  std::unique_ptr<cmsMLU, MluFreer> mlu(cmsMLUalloc(nullptr, 1));
  return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text) && cmsWriteTag(p, sig, mlu.get());
}

// The profile of one row, built with LittleCMS; null when it cannot be made.
std::unique_ptr<void, ProfileCloser> BuildProfile(const WorkingSpaceRow& row) {
  std::unique_ptr<void, ProfileCloser> p(cmsCreateProfilePlaceholder(nullptr));
  if (!p) return nullptr;
  cmsSetEncodedICCversion(p.get(), row.version);
  cmsSetDeviceClass(p.get(), cmsSigDisplayClass);
  cmsSetColorSpace(p.get(), cmsSigRgbData);
  cmsSetPCS(p.get(), cmsSigXYZData);
  cmsSetHeaderRenderingIntent(p.get(), 0);

  std::unique_ptr<cmsToneCurve, CurveFreer> curve;
  if (row.curveGamma == kToneCurveSRGB) {
    uint16_t entries[1024];
    SRGBCurveEntries(entries);
    curve.reset(cmsBuildTabulatedToneCurve16(nullptr, 1024, entries));
  } else {
    // A single 8.8 entry: LittleCMS writes a plain gamma curve as one u8.8 number.
    curve.reset(cmsBuildGamma(nullptr, row.curveGamma / 256.0));
  }
  if (!curve) return nullptr;

  bool ok = WriteText(p.get(), cmsSigProfileDescriptionTag, row.description) &&
            WriteText(p.get(), cmsSigCopyrightTag, "No copyright, use freely") &&
            WriteXYZ(p.get(), cmsSigMediaWhitePointTag, row.wtpt) &&
            cmsWriteTag(p.get(), cmsSigRedTRCTag, curve.get()) &&
            cmsLinkTag(p.get(), cmsSigGreenTRCTag, cmsSigRedTRCTag) &&
            cmsLinkTag(p.get(), cmsSigBlueTRCTag, cmsSigRedTRCTag) &&
            WriteXYZ(p.get(), cmsSigRedColorantTag, row.rXYZ) &&
            WriteXYZ(p.get(), cmsSigGreenColorantTag, row.gXYZ) &&
            WriteXYZ(p.get(), cmsSigBlueColorantTag, row.bXYZ);
  if (ok && row.blackPoint) {
    const std::array<double, 3> black = {0, 0, 0};
    ok = WriteXYZ(p.get(), cmsSigMediaBlackPointTag, black);
  }
  if (!ok) return nullptr;
  return p;
}

}  // namespace

void SRGBCurveEntries(uint16_t entries[1024]) {
  for (int i = 0; i < 1024; ++i) {
    const double x = i / 1023.0;
    const double y = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    entries[i] = (uint16_t)std::lround(y * 65535.0);
  }
}

Status MakeWorkingSpaceProfile(int32_t index, std::vector<uint8_t>& bytes) {
  const WorkingSpaceRow* row = WorkingSpaceTableRow(index);
  if (!row) return kBadArg;
  auto profile = BuildProfile(*row);
  cmsUInt32Number size = 0;
  if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size < 128) {
    DLog("MakeWorkingSpaceProfile %d: LittleCMS cannot build the profile", (int)index);
    return kReadErr;
  }
  bytes.assign(size, 0);
  if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size) || size != bytes.size()) {
    bytes.clear();
    return kReadErr;
  }
  for (int i = 0; i < 6; ++i) StoreBE16(&bytes[24 + 2 * i], kCreated[i]);
  return kOk;
}

std::string WorkingSpaceProfilePath(const std::string& folder, int32_t index) {
  const char* name = WorkingSpaceFileName(index);
  return name ? folder + name : std::string();
}

Status WriteWorkingSpaceProfiles(const std::string& folder) {
  for (int32_t index = 0; index < kWorkingSpaceCount; ++index) {
    const std::string path = WorkingSpaceProfilePath(folder, index);
    std::vector<uint8_t> bytes;
    Status st = MakeWorkingSpaceProfile(index, bytes);
    if (st == kOk && bytes.empty()) st = kFormatErr;
    if (st == kOk) {
      // Whole or not at all: another instance may be reading the profile.
      // Rebuilt at every start, so no wait for the disk.
      AtomicFile file;
      st = file.Open(path);
      if (st == kOk) st = StreamWriteAll(file.stream(), bytes.data(), bytes.size());
      if (st == kOk) st = file.Commit(false);
    }
    if (st != kOk) return ReportError(st, Phrase(3002, path.c_str()));
  }
  return kOk;
}
