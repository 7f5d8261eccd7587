// Gray and CMYK images in an RGB workflow: the converters that present a gray
// or CMYK file as RGB in a given RGB profile (ReadOptions::asRgb), and the
// converter that turns corrected RGB rows back into gray for a gray output.
//
// Ownership and invariants
// - The source profile of a file is the profile it embeds when that profile
//   describes the file's colour space, else the default of its kind
//   (InputColourDefaults): a gray profile file, or the built-in gray (D50
//   white, the sRGB tone curve, so gray 128 is sRGB's 128 gray); a CMYK
//   profile file, or the CMYK profile Ghostscript installs
//   (kInstalledCmykProfile), or, when there is none, the simple conversion
//   R = (1 − C)(1 − K) (and so on) taken as sRGB.
// - Every conversion goes through LittleCMS with the relative colorimetric
//   intent and black point compensation; rows keep their depth (8 or 16
//   bits). A converter holds its transform and one interleaved row of scratch
//   (allocated when made, never per row); one thread uses it at a time.
// - Nothing here alerts the user: a converter that cannot be made says why.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "imagefile/rasimage.h"

// Where Ghostscript's data package puts its default CMYK profile.
extern const char* const kInstalledCmykProfile;

struct InputColourDefaults {
  std::string grayProfile;  // a gray ICC profile file; empty: the built-in gray
  std::string cmykProfile;  // a CMYK ICC profile file; empty: kInstalledCmykProfile, else the simple conversion
};

// The presenter for ReadOptions::asRgb: gray and CMYK files become RGB rows
// in `rgbProfile` (an RGB ICC profile file, the working space's).
RasRgbPresenter MakeRgbPresenter(const std::string& rgbProfile, const InputColourDefaults& defaults);

// The gray profile that describes a gray file read with these defaults: the
// one it embeds (a gray profile), else the default's bytes. kOpenErr /
// kFormatErr with `why` when the default file cannot be used.
Status GrayProfileOf(const ImageMeta& fileMeta, const InputColourDefaults& defaults, std::vector<uint8_t>* bytes,
                     std::string* why);

// RGB rows in an RGB profile back to gray rows in a gray profile.
class RgbToGray {
 public:
  RgbToGray();
  ~RgbToGray();
  RgbToGray(const RgbToGray&) = delete;
  RgbToGray& operator=(const RgbToGray&) = delete;

  // kOpenErr / kFormatErr with `why` when a profile cannot be used.
  Status Make(const std::string& rgbProfile, const std::vector<uint8_t>& grayProfile, bool sixteenBit, uint32_t width,
              std::string* why);
  // Planes of `width` samples: three in (R, G, B), one out (uint8_t or
  // uint16_t as made).
  Status Convert(const void* const rgb[3], void* gray, uint32_t width);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
