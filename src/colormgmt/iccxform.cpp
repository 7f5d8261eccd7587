#include "colormgmt/iccxform.h"

#include <lcms2.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "colormgmt/workingspaces.h"
#include "colormgmt/wsprofiles.h"
#include "base/debuglog.h"
#include "base/memory.h"
#include "base/strings.h"

struct ICCXform {
  cmsHTRANSFORM transform = nullptr;
};

namespace {

// One LittleCMS context for the colour service, so that its error handler
// (which keeps the last error code, our "last error") stays ours.
thread_local int tLastError = 0;  // per thread, as errno

void OnLcmsError(cmsContext, cmsUInt32Number code, const char* text) {
  tLastError = (int)code;
  DLog("LittleCMS error %u: %s", (unsigned)code, text ? text : "");
}

cmsContext Context() {
  static cmsContext context = [] {
    cmsContext c = cmsCreateContext(nullptr, nullptr);
    if (c) cmsSetLogErrorHandlerTHR(c, OnLcmsError);
    return c;
  }();
  return context;
}

MonitorProfileHook& Hook() {
  static MonitorProfileHook hook;
  return hook;
}

struct ProfileCloser {
  void operator()(void* p) const {
    if (p) cmsCloseProfile(p);
  }
};
using ProfileOwner = std::unique_ptr<void, ProfileCloser>;

// A profile given by path or by its bytes.
struct ProfileSource {
  std::string path;
  const std::vector<uint8_t>* bytes = nullptr;
};

// Opens a profile and checks that it can serve its side of the transform.
Status OpenProfile(const ProfileSource& src, bool isSource, ProfileOwner& out) {
  tLastError = 0;
  cmsHPROFILE h = nullptr;
  if (src.bytes) {
    h = cmsOpenProfileFromMemTHR(Context(), src.bytes->data(), (cmsUInt32Number)src.bytes->size());
  } else {
    FILE* f = std::fopen(src.path.c_str(), "rb");
    if (!f) {
      DLog("OpenColorProfile (%s): GetLastError() = %d", LeafName(src.path).c_str(), errno);
      return kSysErr;
    }
    std::fclose(f);
    h = cmsOpenProfileFromFileTHR(Context(), src.path.c_str(), "r");
  }
  if (!h) {
    DLog("IsColorProfileValid: GetLastError() = %d", tLastError);
    return kFormatErr;
  }
  out.reset(h);
  // Valid for its side: a matrix with tone curves, or a lattice table for the
  // intent or for the perceptual intent (LittleCMS falls back to the latter,
  // and many input profiles carry nothing else).
  const cmsUInt32Number direction = isSource ? LCMS_USED_AS_INPUT : LCMS_USED_AS_OUTPUT;
  if (!cmsIsMatrixShaper(h) && !cmsIsCLUT(h, INTENT_RELATIVE_COLORIMETRIC, direction) &&
      !cmsIsCLUT(h, INTENT_PERCEPTUAL, direction)) {
    DLog(isSource ? "Invalid source profile" : "Invalid destination profile");
    return kFormatErr;
  }
  return kOk;
}

Status MakeTransform(const ProfileSource& source, const ProfileSource& destination, ICCXform** xform) {
  ProfileOwner src, dst;
  Status st = OpenProfile(source, true, src);
  if (st == kOk) st = OpenProfile(destination, false, dst);
  if (st != kOk) return st;
  tLastError = 0;
  // Relative colorimetric, 16-bit RGB both sides, the whole pipeline per
  // colour: the transform is sampled, so precalculating would only add error.
  cmsHTRANSFORM t = cmsCreateTransformTHR(Context(), src.get(), TYPE_RGB_16, dst.get(), TYPE_RGB_16,
                                          INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  if (!t) {
    DLog("CreateMultiProfileTransform: GetLastError() = %d", tLastError);
    return kSysErr;
  }
  ICCXform* x = new (std::nothrow) ICCXform;
  if (!x) {
    cmsDeleteTransform(t);
    return kNoMem;
  }
  x->transform = t;
  *xform = x;
  return kOk;
}

}  // namespace

void Ui_ICC_SetMonitorProfileHook(MonitorProfileHook hook) { Hook() = std::move(hook); }

Status Ui_ICC_XformMakeSrcToDst(const std::string& source, const std::string& destination, ICCXform** xform) {
  if (!xform || source.empty() || destination.empty()) return kBadArg;
  *xform = nullptr;
  ProfileSource src, dst;
  src.path = source;
  dst.path = destination;
  return MakeTransform(src, dst, xform);
}

Status Ui_ICC_XformMakeSrcToMon(const std::string& source, ICCXform** xform) {
  if (!xform || source.empty()) return kBadArg;
  *xform = nullptr;
  std::vector<uint8_t> monitor;
  if (Hook()) {
    const Status found = Hook()(monitor);
    if (found != kOk) {
      DLog("GetICMProfile failure getting nameLen");
      return kSysErr;
    }
  }
  if (monitor.empty()) {
    const Status st = MakeWorkingSpaceProfile(kDefaultWorkingSpace, monitor);
    if (st != kOk) {
      DLog("GetICMProfile: namelen = %ld, GetLastError() = %d", 0L, (int)st);
      return kSysErr;
    }
    DLog("Ui_ICC_XformMakeSrcToMon: no monitor profile, using %s", WorkingSpaceFileName(kDefaultWorkingSpace));
  } else {
    DLog("Ui_ICC_XformMakeSrcToMon: the display's profile (%zu bytes)", monitor.size());
  }
  ProfileSource src, dst;
  src.path = source;
  dst.bytes = &monitor;
  const Status st = MakeTransform(src, dst, xform);
  if (st != kOk) DLog("Ui_ICC_XformMakeSrcToDst status = %d", (int)st);
  return st;
}

Status Ui_ICC_XformRgbColors(const ICCXform* xform, const uint16_t* in, uint16_t* out, int32_t count) {
  if (!xform || !xform->transform || !in || !out || count < 1) return kBadArg;
  cmsDoTransform(xform->transform, in, out, (cmsUInt32Number)count);
  return kOk;
}

Status Ui_ICC_XformRgbImage(const ICCXform* xform, const ICCImage& src, const ICCImage& dst) {
  if (!xform || !xform->transform) return kBadArg;
  for (const ICCImage* im : {&src, &dst}) {
    if (im->bits != 8 || im->channels != 3 || !im->chan[0] || !im->chan[1] || !im->chan[2]) return kBadArg;
  }
  if (src.width != dst.width || src.height != dst.height || src.width < 1 || src.height < 1) return kBadArg;
  const int32_t width = src.width;
  MemPtr<uint16_t[]> row = MemNewArray<uint16_t>((size_t)width * 3, false);
  if (!row) return kNoMem;
  uint16_t* buf = row.get();
  for (int32_t y = 0; y < src.height; ++y) {
    const ptrdiff_t sRow = (ptrdiff_t)y * src.rowStep, dRow = (ptrdiff_t)y * dst.rowStep;
    for (int c = 0; c < 3; ++c) {
      const uint8_t* p = src.chan[c] + sRow;
      for (int32_t x = 0; x < width; ++x) buf[3 * x + c] = ICCExpand8(p[(ptrdiff_t)x * src.pixelStep]);
    }
    Status st = Ui_ICC_XformRgbColors(xform, buf, buf, width);
    if (st != kOk) {
      DLog("TranslateColors: GetLastError() = %d", (int)st);
      return kSysErr;
    }
    for (int c = 0; c < 3; ++c) {
      uint8_t* q = dst.chan[c] + dRow;
      for (int32_t x = 0; x < width; ++x) q[(ptrdiff_t)x * dst.pixelStep] = ICCReduce16(buf[3 * x + c]);
    }
  }
  return kOk;
}

void Ui_ICC_XformDispose(ICCXform** xform) {
  if (!xform || !*xform) return;
  if ((*xform)->transform) cmsDeleteTransform((*xform)->transform);
  delete *xform;
  *xform = nullptr;
}
