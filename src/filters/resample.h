// The resampler: IPScaleImage makes every reduced copy the user sees (the
// editing view's image, Batchline thumbnails, the navigation thumbnail) from
// an image file, read row by row through the framework (imagefile/ras.h), or
// from a PixelBuffer already in memory. The result fits a box, keeps the
// aspect ratio and is never larger than the source.
//
// Modes: fast (0) takes the nearest source sample; filtered (1) applies a tent
// filter whose width follows the reduction ratio, with 16 sub-pixel phases and
// 16-bit weights (each phase's weights sum to 65536). Positions and steps are
// 16.16 fixed point; per sample only integer arithmetic (32-bit sums). One
// step (the smaller of the two directions') serves both directions. A step of
// exactly 1.0 makes the filtered mode the fast mode.
//
// Memory: the fast mode holds one source row; the filtered mode one source
// row and as many filtered rows of the output's width as the filter has taps
// (about twice the ratio). Nothing holds the whole source.
//
// Nothing here reports: callers report with their own context phrase
// ("reading image file %s"). Depth: samples come to the destination's depth;
// 16-bit sources keep their high byte for 8-bit destinations and 8-bit
// sources are widened (× 257) for 16-bit destinations.
#pragma once

#include <cstdint>

#include "filters/pixelbuffer.h"
#include "imagefile/imagemeta.h"
#include "base/status.h"

enum : int32_t { kIPScaleFast = 0, kIPScaleFiltered = 1 };

// Flags of IPScaleImage.
enum : uint32_t {
  // Fast mode from a JPEG file: the file may be decoded at 1/2 or 1/4 of its
  // size (libjpeg's reduced DCT scale), the smaller scale whose image still
  // has at least twice the output's size in both directions. The output size
  // and the sample positions are those of the full image; each output sample
  // takes the reduced sample (an average over d × d pixels) whose area is
  // centred nearest its position. Ignored in filtered mode.
  kIPScaleReducedDecode = 1,
};

// Called after each output row with the fraction done ((row + 1) ÷ height);
// a non-zero result stops the scaling and is returned as its status.
using IPProgressFn = Status (*)(void* context, float fraction);

struct IPProgress {
  IPProgressFn fn = nullptr;
  void* context = nullptr;
  Status Report(float fraction) const { return fn ? fn(context, fraction) : kOk; }
};

// The output-size rule: the largest size of the source's aspect ratio that
// fits the box (sides rounded), never larger than the source; sides at least 1.
void IPScaleOutputSize(int64_t srcWidth, int64_t srcHeight, int32_t boxWidth, int32_t boxHeight, int32_t& width,
                       int32_t& height);

// The 16.16 step shared by both directions: the smaller of ((W − 1) << 16) ÷
// (w − 1) and ((H − 1) << 16) ÷ (h − 1); a side of 1 in the output takes the
// other side's step. `fromWidth` tells which direction it came from.
int64_t IPScaleStep(int64_t srcWidth, int64_t srcHeight, int32_t width, int32_t height, bool* fromWidth = nullptr);

// The decode reduction of kIPScaleReducedDecode for a file of `format` and
// W × H scaled fast to w × h: 4 or 2 for a JPEG whose reduced image keeps at
// least twice the output's size in both directions (blocks of at most 4 × 4:
// the nearest pick then stays within a few codes of the full-size pick), else 1.
int32_t IPReducedDecodeScale(int32_t format, int64_t W, int64_t H, int32_t w, int32_t h);

// The fast mode's source index of output position i (the 16.16 `step`): the
// sample nearest i·step; with a source reduced by `denom` (`size` samples)
// the reduced sample whose d × d area is centred nearest that position.
inline int64_t IPFastIndex(int64_t i, int64_t step, int32_t denom, int64_t size) {
  if (denom == 1) return (i * step + 32768) >> 16;
  const int64_t pos = i * step - (int64_t)(denom - 1) * 32768;
  const int64_t index = (pos / denom + 32768) >> 16;
  return index < 0 ? 0 : index > size - 1 ? size - 1 : index;
}

// The tent filter of one reduction ratio r = (source size − 1) ÷ (output size
// − 1): taps kMin..kMax relative to a position's integer part and, for each
// phase p = 0..15, the weights of t((k − p/16) ÷ r), t(x) = 1 − |x| inside
// (−1, 1), normalised to sum to 65536 (rounding remainder on the middle tap).
struct IPFilterTable {
  double ratio = 1;
  int32_t kMin = 0;
  int32_t kMax = 0;
  int32_t taps = 0;
  MemPtr<uint32_t[]> weights;  // 16 × taps; phase p's row at p × taps

  const uint32_t* Phase(int32_t p) const { return weights.get() + (int64_t)p * taps; }
};
Status IPBuildFilterTable(double ratio, IPFilterTable& table);

// Scales the file at `path` or the buffer `source` (exactly one of the two)
// into `dest`, whose width and height are the box (each at least 2) and whose
// block must hold them. On success dest.width and dest.height become the size
// written, also returned in outWidth and outHeight.
//   kBadArg: both or neither source, mode not 0 or 1, a box side below 2, a
//     destination that fails PixelBufferCheck, a source whose channel count
//     or colour type differs from the destination's;
//   kNoMem; the framework's status for a file that cannot be queried, opened
//     or read (the file is closed first); the progress callback's status.
Status IPScaleImage(const char* path, const PixelBuffer* source, int32_t mode, PixelBuffer& dest, int32_t& outWidth,
                    int32_t& outHeight, const IPProgress& progress = {}, uint32_t flags = 0,
                    const ReadOptions& read = {});
