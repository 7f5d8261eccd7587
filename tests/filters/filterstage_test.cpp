// The filter stage's row flow: rows stream through every combination of the
// filters, exactly height rows in and out, in order (1 to 6 rows and 10,000
// rows); the flow equals the engines chained by hand; rows pass straight when
// nothing is on; failures are reported once, by whoever meets them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "base/alert.h"
#include "filters/filters_testutil.h"
#include "filters/filterstage.h"
#include "filters/noisefilter.h"
#include "filters/rowengine.h"
#include "support/app_fixture.h"
#include "transform/tintmesh.h"
#include "transform/tintmesh_testutil.h"

namespace {

using Kind = ScriptedHost::Kind;

// Hands out the rows of an image, in the image's depth, and checks their order.
struct Reader {
  const Image& im;
  RowFeeder feed;
  int32_t next = 0;
  bool inOrder = true;
  bool ownRows = false;       // point the planes at our rows instead of filling the stage's
  int32_t failAt = -1;
  Status failWith = kReadErr;
  bool reports = false;  // report the failure, as the save pipeline's reader does
  explicit Reader(const Image& image) : im(image), feed(image) {}
  static Status Read(void* context, int32_t row, IPRow& planes) {
    Reader* r = static_cast<Reader*>(context);
    if (row == r->failAt) return r->reports ? ReportError(r->failWith, "reading scanline") : r->failWith;
    if (row != r->next++) r->inOrder = false;
    const IPRow mine = r->feed.Row(row);
    const size_t bytes = (size_t)r->im.width * r->im.depth;
    for (int c = 0; c < 3; ++c) {
      if (r->ownRows) planes.chan[c] = mine.chan[c];
      else std::memcpy(const_cast<void*>(planes.chan[c]), mine.chan[c], bytes);
    }
    return kOk;
  }
};

TintmeshPtr Curve() {
  return MakeCurves(3, 3, kQX8Bit, [](int m, int k) { return (uint16_t)std::min(255, m * (10 + k) / 11); });
}

class FilterStageTest : public AppFixture {};

// Every mode of the engine (order 0 and 1 around a transform), with and
// without noise removal, 8- and 16-bit: exactly height rows out, in order.
TEST_F(FilterStageTest, EnginesStreamExactlyHeightRows) {
  TintmeshPtr curve = Curve();
  std::vector<int32_t> heights = {1, 2, 3, 4, 5, 6, 10000};
  for (int32_t h : heights)
    for (int32_t depth : {1, 2})
      for (bool transform : {false, true})
        for (int32_t strength : {0, 6})
          for (int32_t order : {0, 1})
            for (bool noise : {false, true}) {
              if (!transform && order == 1) continue;
              SCOPED_TRACE(testing::Message() << "height " << h << " depth " << depth << " transform " << transform
                                              << " strength " << strength << " order " << order << " noise " << noise);
              const Image in = RandomImage(7, h, 3, depth, (uint32_t)h);
              Collector out(7, h, 3, depth);
              IPRowEngineSetup es;
              es.transform = transform ? curve.get() : nullptr;
              es.inHigh = es.outHigh = depth == 2 ? 65535 : 255;
              es.strength = strength;
              es.order = order;
              es.width = 7;
              es.height = h;
              es.inDepth = es.outDepth = depth;
              es.sink = Collector::Sink;
              es.sinkContext = &out;
              IPRowEngine* engine = nullptr;
              ASSERT_EQ(IPRowEngineCreate(es, &engine), kOk);
              IPNoiseFilter* filter = nullptr;
              if (noise) {
                IPNoiseSetup ns;
                ns.width = 7;
                ns.height = h;
                ns.depth = depth;
                ns.radius[0] = 3;
                ns.sink = IPRowEngineSink;
                ns.sinkContext = engine;
                ASSERT_EQ(IPNoiseFilterCreate(ns, &filter), kOk);
              }
              RowFeeder feed(in);
              Status st = kOk;
              for (int32_t y = 0; y < h && st == kOk; ++y)
                st = noise ? IPNoiseFilterPush(filter, feed.Row(y)) : IPRowEnginePush(engine, feed.Row(y));
              EXPECT_EQ(st, kOk);
              EXPECT_EQ(out.rows, h);
              EXPECT_TRUE(out.inOrder);
              IPNoiseFilterFree(&filter);
              IPRowEngineFree(&engine);
            }
}

// The whole flow, reader to writer, for every combination of its settings.
TEST_F(FilterStageTest, FlowStreamsExactlyHeightRows) {
  TintmeshPtr curve = Curve();
  for (int32_t h : {1, 2, 3, 4, 5, 6, 10000})
    for (int32_t inDepth : {1, 2})
      for (int32_t outDepth : {1, 2})
        for (bool transform : {false, true})
          for (bool sharpen : {false, true})
            for (bool noise : {false, true}) {
              SCOPED_TRACE(testing::Message() << "height " << h << " depths " << inDepth << outDepth << " transform "
                                              << transform << " sharpen " << sharpen << " noise " << noise);
              const Image in = RandomImage(6, h, 3, inDepth, 3);
              Reader reader(in);
              reader.ownRows = h % 2 == 0;
              Collector writer(6, h, 3, outDepth);
              FilterJob job;
              job.width = 6;
              job.height = h;
              job.inDepth = inDepth;
              job.outDepth = outDepth;
              job.transform = transform ? curve.get() : nullptr;
              job.settings.sharpenOn = sharpen;
              job.settings.noiseOn = noise;
              job.reader = Reader::Read;
              job.readerContext = &reader;
              job.writer = Collector::Sink;
              job.writerContext = &writer;
              job.imageName = "x.tif";
              EXPECT_EQ(FilterImageRows(job), kOk);
              EXPECT_EQ(reader.next, h);
              EXPECT_TRUE(reader.inOrder);
              EXPECT_EQ(writer.rows, h);
              EXPECT_TRUE(writer.inOrder);
            }
  EXPECT_EQ(host().Count(Kind::Alert), 0);
}

// Noise filter, then the transform, then the unsharp mask: the same as the
// engines chained by hand with the stage's settings.
TEST_F(FilterStageTest, FlowChainsNoiseTransformAndSharpening) {
  TintmeshPtr curve = Curve();
  for (int32_t depth : {1, 2}) {
    const Image in = RandomImage(41, 23, 3, depth, 17);
    FilterJob job;
    job.width = 41;
    job.height = 23;
    job.inDepth = job.outDepth = depth;
    job.transform = curve.get();
    job.settings.sharpenOn = true;
    job.settings.strength = 11;
    job.settings.noiseOn = true;
    job.settings.radius[0] = 3;
    job.settings.threshold[0] = 20;
    Reader reader(in);
    Collector flow(41, 23, 3, depth);
    job.reader = Reader::Read;
    job.readerContext = &reader;
    job.writer = Collector::Sink;
    job.writerContext = &flow;
    ASSERT_EQ(FilterImageRows(job), kOk);

    // By hand: the noise filter alone, then the engine alone.
    IPNoiseSetup ns;
    ns.width = 41;
    ns.height = 23;
    ns.depth = depth;
    ns.radius[0] = 3;
    ns.threshold[0] = 20;
    Collector denoised(41, 23, 3, depth);
    ns.sink = Collector::Sink;
    ns.sinkContext = &denoised;
    IPNoiseFilter* f = nullptr;
    ASSERT_EQ(IPNoiseFilterCreate(ns, &f), kOk);
    RowFeeder feed(in);
    for (int32_t y = 0; y < 23; ++y) ASSERT_EQ(IPNoiseFilterPush(f, feed.Row(y)), kOk);
    IPNoiseFilterFree(&f);
    Collector want(41, 23, 3, depth);
    IPRowEngineSetup es;
    es.transform = curve.get();
    es.inHigh = es.outHigh = depth == 2 ? 65535 : 255;
    es.strength = 11;
    es.width = 41;
    es.height = 23;
    es.inDepth = es.outDepth = depth;
    es.sink = Collector::Sink;
    es.sinkContext = &want;
    IPRowEngine* e = nullptr;
    ASSERT_EQ(IPRowEngineCreate(es, &e), kOk);
    EXPECT_EQ(IPRowEngineMode(e), kIPModeTransformSharpen);
    RowFeeder feed2(denoised.out);
    for (int32_t y = 0; y < 23; ++y) ASSERT_EQ(IPRowEnginePush(e, feed2.Row(y)), kOk);
    IPRowEngineFree(&e);
    EXPECT_TRUE(flow.out == want.out);
    EXPECT_FALSE(flow.out == in);
  }
}

// Nothing on: each row goes straight from the reader to the writer (through
// the depth table when the depths differ).
TEST_F(FilterStageTest, RowsPassStraightWithNothingOn) {
  const Image in = RandomImage(13, 9, 3, 1, 4);
  for (int32_t outDepth : {1, 2}) {
    Reader reader(in);
    Collector writer(13, 9, 3, outDepth);
    FilterJob job;
    job.width = 13;
    job.height = 9;
    job.outDepth = outDepth;
    job.settings.strength = 24;  // ignored while sharpening is off
    job.reader = Reader::Read;
    job.readerContext = &reader;
    job.writer = Collector::Sink;
    job.writerContext = &writer;
    ASSERT_EQ(FilterImageRows(job), kOk);
    Image want = in;
    if (outDepth == 2) {
      want.depth = 2;
      for (auto& v : want.v) v *= 257;
    }
    EXPECT_TRUE(writer.out == want);
  }
}

TEST_F(FilterStageTest, FailuresAreReportedOnceWhereTheyHappen) {
  const Image in = RandomImage(8, 12, 3, 1, 5);
  TintmeshPtr curve = Curve();
  auto job = [&](Reader& reader, Collector& writer) {
    FilterJob j;
    j.width = 8;
    j.height = 12;
    j.transform = curve.get();
    j.settings.sharpenOn = true;
    j.settings.noiseOn = true;
    j.reader = Reader::Read;
    j.readerContext = &reader;
    j.writer = Collector::Sink;
    j.writerContext = &writer;
    j.imageName = "beach.tif";
    return j;
  };
  {  // The writer fails: its status comes back; the writer reports, the stage does not.
    Reader reader(in);
    Collector writer(8, 12, 3, 1);
    writer.failAt = 4;
    EXPECT_EQ(FilterImageRows(job(reader, writer)), kWriteErr);
    EXPECT_EQ(host().Count(Kind::Alert), 0);
  }
  {  // The reader fails, or the user cancels: returned, not reported here.
    for (Status s : {kReadErr, kCancelled}) {
      Reader reader(in);
      reader.failAt = 7;
      reader.failWith = s;
      Collector writer(8, 12, 3, 1);
      EXPECT_EQ(FilterImageRows(job(reader, writer)), s);
    }
    EXPECT_EQ(host().Count(Kind::Alert), 0);
  }
  {  // A job that describes no image: reported by the stage.
    Reader reader(in);
    Collector writer(8, 12, 3, 1);
    FilterJob j = job(reader, writer);
    j.inDepth = 3;
    EXPECT_EQ(FilterImageRows(j), kBadArg);
    j = job(reader, writer);
    j.settings.radius[1] = 2;  // the sparse disc needs 3 or more
    EXPECT_EQ(FilterImageRows(j), kBadArg);
    auto alerts = host().Of(Kind::Alert);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[1].text.find("processing scanline 0 from image file beach.tif"), std::string::npos);
    host().Clear();
  }
  {  // A transform that is not whole (no table yet): refused before any row.
    Tintmesh* half = nullptr;
    ASSERT_EQ(QXInit(&half, 3, 3, 1, 1, 1, 2, kQX8Bit), kOk);
    Reader reader(in);
    Collector writer(8, 12, 3, 1);
    FilterJob j = job(reader, writer);
    j.transform = half;
    EXPECT_EQ(FilterImageRows(j), kBadArg);
    QXFree(&half);
    auto alerts = host().Of(Kind::Alert);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].text.find("writing Tintmesh"), std::string::npos);
    EXPECT_EQ(writer.rows, 0);
    host().Clear();
  }
  {  // A lattice larger than a correction transform ever is (48 points, 16-bit) goes through whole.
    std::vector<uint16_t> pos(48);
    for (int k = 0; k < 48; ++k) pos[k] = (uint16_t)(k * 65535 / 47);
    TintmeshPtr big = MakeLattice(3, 3, kQX16Bit, pos, [](const uint16_t* p, int k) { return p[k]; });
    Reader reader(in);
    Collector writer(8, 12, 3, 1);
    FilterJob j = job(reader, writer);
    j.transform = big.get();
    EXPECT_EQ(FilterImageRows(j), kOk);
    EXPECT_EQ(writer.rows, 12);
  }
}

TEST_F(FilterStageTest, LogsAroundTheWork) {
  OpenState(1);
  ClearLog();
  const Image in = RandomImage(5, 5, 3, 1, 6);
  Reader reader(in);
  Collector writer(5, 5, 3, 1);
  FilterJob job;
  job.width = job.height = 5;
  job.reader = Reader::Read;
  job.readerContext = &reader;
  job.writer = Collector::Sink;
  job.writerContext = &writer;
  ASSERT_EQ(FilterImageRows(job), kOk);
  const std::string log = LogText();
  const size_t a = log.find("FilterImage..."), b = log.find("... FilterImage done");
  EXPECT_NE(a, std::string::npos);
  EXPECT_NE(b, std::string::npos);
  EXPECT_LT(a, b);
}

// The reader on a helper thread, a few rows ahead: the same rows come out
// as on one thread, whether the reader fills the stage's rows or points at
// its own; a reader's failure is reported once, on the calling thread; when
// the writer fails first, rows the helper read past it do not count.
TEST_F(FilterStageTest, ReadingAheadOnAHelperThreadGivesTheSameRows) {
  TintmeshPtr curve = Curve();
  auto job = [&](Reader& reader, Collector& writer, const Image& in, int threads) {
    FilterJob j;
    j.width = in.width;
    j.height = in.height;
    j.inDepth = j.outDepth = in.depth;
    j.transform = curve.get();
    j.settings.sharpenOn = true;
    j.settings.noiseOn = true;
    j.reader = Reader::Read;
    j.readerContext = &reader;
    j.writer = Collector::Sink;
    j.writerContext = &writer;
    j.imageName = "beach.tif";
    j.threads = threads;
    return j;
  };
  for (int32_t h : {5, 9, 1000})
    for (int32_t depth : {1, 2})
      for (bool ownRows : {false, true}) {
        SCOPED_TRACE(testing::Message() << "height " << h << " depth " << depth << " own rows " << ownRows);
        const Image in = RandomImage(17, h, 3, depth, 8);
        Collector one(17, h, 3, depth), two(17, h, 3, depth);
        Reader r1(in), r2(in);
        r1.ownRows = r2.ownRows = ownRows;
        ASSERT_EQ(FilterImageRows(job(r1, one, in, 1)), kOk);
        ASSERT_EQ(FilterImageRows(job(r2, two, in, 2)), kOk);
        EXPECT_TRUE(r2.inOrder);
        EXPECT_EQ(two.rows, h);
        EXPECT_TRUE(one.out == two.out);
      }
  const Image in = RandomImage(8, 300, 3, 1, 5);
  {
    Reader reader(in);
    reader.failAt = 200;
    reader.reports = true;
    Collector writer(8, 300, 3, 1);
    EXPECT_EQ(FilterImageRows(job(reader, writer, in, 2)), kReadErr);
    EXPECT_EQ(host().Count(Kind::Alert), 1);
    EXPECT_LE(writer.rows, 200);
    host().Clear();
  }
  {
    // How far one thread reads before the writer fails at row 100; the
    // helper may read a few rows further, into a row that fails.
    Reader alone(in);
    Collector writer1(8, 300, 3, 1);
    writer1.failAt = 100;
    ASSERT_EQ(FilterImageRows(job(alone, writer1, in, 1)), kWriteErr);
    Reader reader(in);
    reader.failAt = alone.next + 3;
    reader.reports = true;
    Collector writer(8, 300, 3, 1);
    writer.failAt = 100;
    EXPECT_EQ(FilterImageRows(job(reader, writer, in, 2)), kWriteErr);
    EXPECT_EQ(host().Count(Kind::Alert), 0);
  }
}

}  // namespace
