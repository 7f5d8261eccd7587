// The system colour transforms: conversions between two ICC profiles, done by
// LittleCMS in place of the platform's colour service. A transform is made
// from two profiles (source first) with the relative colorimetric intent and
// 16-bit RGB on both sides, and LittleCMS evaluates its whole pipeline for
// every colour (no precalculated lattice: the callers sample the transform
// into a Tintmesh themselves, icctintmesh.h, and want the exact colours).
//
// The monitor profile comes from a hook the GUI fills (on X11 the root
// window's _ICC_PROFILE property); without a hook, or when the hook finds no
// profile, the monitor is taken to be sRGB (working space 13's profile).
//
// Ownership: an ICCXform is created by Ui_ICC_XformMake... and released by
// its owner with Ui_ICC_XformDispose. Profiles are opened only while a
// transform is made. 16-bit colours are RGB triples 0..65535. 8-bit values
// travel as v × 257 (255 is 65535), so that an identity conversion returns
// every 8-bit value unchanged. Failures are logged in one diagnostics line
// naming the failing call; nothing here alerts the user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

struct ICCXform;

// Fills `profile` with the monitor's ICC profile bytes, or leaves it empty
// when the monitor has none; a negative status when the lookup fails.
using MonitorProfileHook = std::function<Status(std::vector<uint8_t>& profile)>;
// Installs the hook (an empty function removes it). Returns nothing; the
// hook is called at every Ui_ICC_XformMakeSrcToMon.
void Ui_ICC_SetMonitorProfileHook(MonitorProfileHook hook);

// Opens and validates both profiles and creates the transform. kBadArg for a
// missing path or result; kSysErr when a profile file cannot be opened
// ("OpenColorProfile (%s): GetLastError() = %d", leaf name) or the transform
// cannot be made ("CreateMultiProfileTransform: GetLastError() = %d", e.g. a
// profile that is not RGB); kFormatErr when LittleCMS cannot parse a profile
// ("IsColorProfileValid: GetLastError() = %d") or it cannot serve its side
// ("Invalid source profile" / "Invalid destination profile").
Status Ui_ICC_XformMakeSrcToDst(const std::string& source, const std::string& destination, ICCXform** xform);

// The same with the monitor profile as destination. The hook's failure is
// kSysErr ("GetICMProfile failure getting nameLen"); the profile used is
// logged; a failure of the transform is logged as
// "Ui_ICC_XformMakeSrcToDst status = %d" and returned.
Status Ui_ICC_XformMakeSrcToMon(const std::string& source, ICCXform** xform);

// Translates `count` 16-bit RGB triples (3 × count values) from `in` to
// `out`; the two may be the same array. kBadArg for a missing transform or
// array, or a count below 1.
Status Ui_ICC_XformRgbColors(const ICCXform* xform, const uint16_t* in, uint16_t* out, int32_t count);

// An 8-bit, 3-channel image given by its channel base pointers and steps in
// bytes (pixel step between neighbours, row step between rows; either may be
// negative). Thumbnails are blue-green-red: chan = {p + 2, p + 1, p}.
struct ICCImage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits = 8;      // bits per channel: only 8 is accepted
  int32_t channels = 3;  // only 3 is accepted
  int32_t pixelStep = 3;
  int32_t rowStep = 0;
  uint8_t* chan[3] = {};  // R, G, B of the first pixel of the first row
};

// Converts `src` into `dst` row by row (one call of the service per row). Both
// must be 8-bit, 3-channel, with equal width and height and all pointers
// set (else kBadArg); they may be the same image. kNoMem when the row
// buffers cannot be allocated.
Status Ui_ICC_XformRgbImage(const ICCXform* xform, const ICCImage& src, const ICCImage& dst);

// Releases the transform and clears *xform; null does nothing.
void Ui_ICC_XformDispose(ICCXform** xform);

// 8-bit value ↔ 16-bit value as the transforms exchange them: v × 257, and
// round(v / 257) (exact for every 16-bit value, no division).
inline uint16_t ICCExpand8(uint32_t v) { return (uint16_t)(v * 257u); }
inline uint8_t ICCReduce16(uint32_t v) { return (uint8_t)((v * 255u + 32895u) >> 16); }
