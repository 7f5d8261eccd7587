#include "filters/filterstage.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

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

// The reader on a helper thread, up to kAhead rows ahead of the thread that
// filters and writes: each row is copied into its slot of a ring, which the
// consumer hands back once the row has been pushed on (the noise filter and
// the row engine copy what they keep). The reader's reports are kept and
// made by the consumer.
class ReadAhead {
 public:
  static constexpr int32_t kAhead = 8;
  ReadAhead(const FilterJob& job, size_t plane) : job_(job), plane_(plane) {}
  ~ReadAhead() { Finish(false); }

  // False when the ring or the thread cannot be had (then read on one thread).
  bool Start() {
    slots_ = MemNewArray<uint8_t>(plane_ * 3 * kAhead, false);
    if (!slots_) return false;
    try {
      thread_ = std::thread([this] { Produce(); });
    } catch (...) {
      return false;
    }
    return true;
  }
  // Row y's planes once read; false when the reader failed (see Failed).
  bool Wait(int32_t y, IPRow& row) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return produced_ > y || failed_ != kOk; });
    if (produced_ <= y) return false;
    for (int c = 0; c < 3; ++c) row.chan[c] = Slot(y) + c * plane_;
    return true;
  }
  // Row y has been pushed on: its slot may be filled again.
  void Done(int32_t y) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      consumed_ = y + 1;
    }
    changed_.notify_all();
  }
  // Stops the reader (if still reading) and waits for it; then the reader's
  // report is made here (with `report`: not when the rest failed first, as
  // one thread would never have read those rows) and its status returned
  // (kOk when it did not fail).
  Status Finish(bool report = true) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (report) ReplayKeptReport(kept_);
    kept_.have = false;
    return failed_;
  }

 private:
  uint8_t* Slot(int32_t y) { return slots_.get() + (size_t)(y % kAhead) * plane_ * 3; }
  void Produce() {
    KeepReports keep(&kept_);
    for (int32_t y = 0; y < job_.height; ++y) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || y - consumed_ < kAhead; });
        if (stop_) return;
      }
      uint8_t* slot = Slot(y);
      IPRow row;
      for (int c = 0; c < 3; ++c) row.chan[c] = slot + c * plane_;
      const Status st = job_.reader(job_.readerContext, y, row);
      if (st == kOk)
        for (int c = 0; c < 3; ++c)
          if (row.chan[c] != slot + c * plane_) std::memcpy(slot + c * plane_, row.chan[c], plane_);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (st != kOk) failed_ = st;
        else produced_ = y + 1;
      }
      changed_.notify_all();
      if (st != kOk) return;
    }
  }

  const FilterJob& job_;
  const size_t plane_;
  MemPtr<uint8_t[]> slots_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int32_t produced_ = 0, consumed_ = 0;  // rows [consumed_, produced_) are in the ring
  bool stop_ = false;
  Status failed_ = kOk;
  KeptReport kept_;
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

  ReadAhead ahead(job, plane);
  const bool threaded = job.threads == 2 && job.height > ReadAhead::kAhead && ahead.Start();
  for (int32_t y = 0; y < job.height; ++y) {
    IPRow row;
    if (threaded) {
      if (!ahead.Wait(y, row)) return ahead.Finish();  // the reader's report is made there
    } else {
      for (int c = 0; c < 3; ++c) row.chan[c] = rowBuffer.get() + c * plane;
      if ((st = job.reader(job.readerContext, y, row)) != kOk) return st;  // the reader has reported
    }
    st = owned.noise ? IPNoiseFilterPush(owned.noise, row) : IPRowEnginePush(owned.engine, row);
    if (threaded) ahead.Done(y);
    if (st != kOk) {
      if (threaded) ahead.Finish(false);  // the reader stops; rows it read past this one do not count
      if (tap.failed) return st;  // the writer has reported
      return ReportError(st, Phrase(3016, y, job.imageName.c_str()));
    }
  }
  return threaded ? ahead.Finish() : kOk;
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
