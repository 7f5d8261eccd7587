#include "filters/filterstage.h"

#include "filters/noisefilter.h"
#include "filters/rowengine.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/memory.h"
#include "base/strings.h"
#include "transform/tintmesh.h"

namespace {

// Passes rows to the writer and remembers whether it was the one that failed.
struct WriterTap {
  const FilterJob* job;
  bool failed = false;
  static Status Sink(void* context, int32_t row, const IPRow& planes) {
    WriterTap* t = static_cast<WriterTap*>(context);
    Status st = t->job->writer(t->job->writerContext, row, planes);
    if (st != kOk) t->failed = true;
    return st;
  }
};

struct Owned {
  IPRowEngine* engine = nullptr;
  IPNoiseFilter* noise = nullptr;
  ~Owned() {
    IPNoiseFilterFree(&noise);
    IPRowEngineFree(&engine);
  }
};

Status Run(const FilterJob& job) {
  const FilterSettings& fs = job.settings;
  if (job.width < 1 || job.height < 1 || (job.inDepth != 1 && job.inDepth != 2) ||
      (job.outDepth != 1 && job.outDepth != 2) || !job.reader || !job.writer)
    return ReportError(kBadArg, Phrase(3016, 0, job.imageName.c_str()));
  if (job.transform && (job.transform->nIn != 3 || job.transform->nOut != 3))
    return ReportError(kBadArg, Phrase(3016, 0, job.imageName.c_str()));

  const size_t plane = (size_t)job.width * job.inDepth;
  MemPtr<uint8_t[]> rowBuffer = MemNewArray<uint8_t>(plane * 3, false);
  if (!rowBuffer) return ReportError(kNoMem, Phrase(3016, 0, job.imageName.c_str()));

  // The engine keeps its own copy of the correction transform, set to the
  // rows' depths; a transform that is not whole is refused here.
  if (job.transform && QXValidate(job.transform) != kOk) return ReportError(kBadArg, ResString(3021));

  WriterTap tap{&job};
  Owned owned;
  IPRowEngineSetup es;
  es.transform = job.transform;
  es.inLow = 0;
  es.inHigh = job.inDepth == 2 ? 65535 : 255;
  es.outLow = 0;
  es.outHigh = job.outDepth == 2 ? 65535 : 255;
  es.strength = fs.sharpenOn ? fs.strength : 0;
  es.channelMode = fs.channelMode;
  es.order = 2;
  es.width = job.width;
  es.height = job.height;
  es.inDepth = job.inDepth;
  es.outDepth = job.outDepth;
  es.sink = WriterTap::Sink;
  es.sinkContext = &tap;
  Status st = IPRowEngineCreate(es, &owned.engine);
  if (st != kOk) return ReportError(st, Phrase(3016, 0, job.imageName.c_str()));

  if (fs.noiseOn) {
    IPNoiseSetup ns;
    ns.width = job.width;
    ns.height = job.height;
    ns.colorType = 1;
    ns.channels = 3;
    ns.lumaChroma = true;
    for (int c = 0; c < 3; ++c) {
      ns.radius[c] = fs.radius[c];
      ns.threshold[c] = fs.threshold[c];
    }
    ns.shape = kIPShapeSparseDisc;
    ns.depth = job.inDepth;
    ns.sink = IPRowEngineSink;
    ns.sinkContext = owned.engine;
    if ((st = IPNoiseFilterCreate(ns, &owned.noise)) != kOk)
      return ReportError(st, Phrase(3016, 0, job.imageName.c_str()));
  }

  for (int32_t y = 0; y < job.height; ++y) {
    IPRow row;
    for (int c = 0; c < 3; ++c) row.chan[c] = rowBuffer.get() + c * plane;
    if ((st = job.reader(job.readerContext, y, row)) != kOk) return st;  // the reader has reported
    st = owned.noise ? IPNoiseFilterPush(owned.noise, row) : IPRowEnginePush(owned.engine, row);
    if (st != kOk) {
      if (tap.failed) return st;  // the writer has reported
      return ReportError(st, Phrase(3016, y, job.imageName.c_str()));
    }
  }
  return kOk;
}

}  // namespace

Status FilterImageRows(const FilterJob& job) {
  DLog("FilterImage...");
  const Status st = Run(job);
  if (st == kOk) DLog("... FilterImage done");
  else DLog("FilterImage status = %d", (int)st);
  return st;
}

FilterSettings FilterSettingsOf(const TavelinPars& p) {
  FilterSettings fs;
  fs.sharpenOn = p.sharpenOn != 0;
  fs.strength = p.sharpenStrength;
  fs.channelMode = p.sharpenChannelMode;
  fs.noiseOn = p.denoiseOn != 0;
  for (int c = 0; c < 3; ++c) {
    fs.radius[c] = p.noiseRadius[c];
    fs.threshold[c] = p.noiseThreshold[c];
  }
  return fs;
}
