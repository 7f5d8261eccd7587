// The filter stage: FilterImage's row flow, which produces a corrected image
// at full resolution, row by row: reader → noise filter (when on) → row
// engine (correction transform and unsharp mask) → writer. The save pipeline
// supplies the reader (input file through the input transform) and the
// writer (output scanline and RasWriteSl); this module owns everything in
// between for the length of one call.
//
// The row engine works on its own copy of the correction transform, prepared
// once for the rows' depths; the caller's Tintmesh is not changed. Memory:
// the noise filter's ring (2R + 1 rows), the engine's five rows and its copy
// of the transform, one planar input row; never the image.
//
// Threads: with job.threads 2 the reader fills a ring of a few rows on a
// helper thread while this thread filters and writes; the rows and the
// result are the same as on one thread.
//
// Reporting: the reader and the writer report their own failures (with
// "reading scanline %d ..." / "writing scanline %d ..."); a failure inside the
// stage is reported here as "processing scanline %d from image file %s"
// (string 3016). -10 is never reported. The diagnostics log gets
// "FilterImage..." and "... FilterImage done" around the work.
#pragma once

#include <cstdint>
#include <string>

#include "filters/iprow.h"
#include "base/status.h"
#include "correct/tavelinpars.h"
#include "transform/tintmesh.h"

// The filter settings of one image (fields 30–37 of its correction record).
struct FilterSettings {
  bool sharpenOn = false;
  int32_t strength = kParSharpenStrength.reset;        // 1..24
  int32_t channelMode = kParSharpenChannelMode.reset;  // -1..3
  bool noiseOn = false;
  int32_t radius[3] = {kNoiseRadiusDefault[0], kNoiseRadiusDefault[1], kNoiseRadiusDefault[2]};  // Y, U, V: 0 or 3..16
  int32_t threshold[3] = {kNoiseThresholdDefault[0], kNoiseThresholdDefault[1], kNoiseThresholdDefault[2]};  // 8-bit units
};

// The filter settings a correction record holds.
FilterSettings FilterSettingsOf(const TavelinPars& pars);

// Fills row `row` (0..height − 1, asked in order) of the input: three planes
// of `width` samples at the input depth. `planes` arrives pointing at the
// stage's own row buffer; the reader may fill it or point the planes at its
// own rows (kept alive until the next call).
using FilterRowReader = Status (*)(void* context, int32_t row, IPRow& planes);

struct FilterJob {
  int32_t width = 0, height = 0;
  int32_t inDepth = 1, outDepth = 1;  // bytes per sample of the input rows and of the written rows
  const Tintmesh* transform = nullptr;  // the correction transform (RGB to RGB), or null
  FilterSettings settings;
  FilterRowReader reader = nullptr;
  void* readerContext = nullptr;
  IPRowSink writer = nullptr;  // receives rows 0..height − 1 in order, at the output depth
  void* writerContext = nullptr;
  std::string imageName;  // for the failure message
  // 2: the reader runs on a helper thread a few rows ahead of the rest (for
  // a reader and a writer that may work at the same time, each on one
  // thread); its reports are made on the calling thread. 1: one thread.
  int threads = 1;
};

// Runs the flow: exactly `height` rows read and `height` rows written, or the
// first failure: kBadArg for a job that does not describe one (sizes,
// depths, callbacks, settings out of range); kNoMem; the Tintmesh stream's
// status; the reader's or writer's status. Releases everything it made.
Status FilterImageRows(const FilterJob& job);
