// Helpers shared by the correction engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "correct/tavelinpars.h"

// A complete new record: reset, default working space, filter defaults.
inline TavelinPars NewPars() {
  TavelinPars p;
  EXPECT_EQ(InitTavelinPars(&p), kOk);
  return p;
}

// Adds n copies of a colour to bins (as n marked pixels of that colour).
inline void AddSamples(SampleBin* bins, float r, float g, float b, int n = 1) {
  const float rgb[3] = {r, g, b};
  for (int i = 0; i < n; ++i) AddSample(bins, rgb);
}

inline bool SameBytes(const TavelinPars& a, const TavelinPars& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

#include <vector>

#include "base/pixelview.h"

// An interleaved RGB image in memory with its view (8- or 16-bit).
struct TestImage {
  int width, height, bytes;
  std::vector<uint8_t> p8;
  std::vector<uint16_t> p16;
  RasterView view;

  TestImage(int w, int h, int bytesPerSample) : width(w), height(h), bytes(bytesPerSample) {
    if (bytes == 1)
      p8.assign((size_t)w * h * 3, 0);
    else
      p16.assign((size_t)w * h * 3, 0);
    view.width = w;
    view.height = h;
    view.channels = 3;
    view.bytesPerSample = bytes;
    view.pixelStep = 3;
    view.rowStep = (int64_t)w * 3;
    for (int c = 0; c < 3; ++c)
      view.chan[c] = bytes == 1 ? (void*)(p8.data() + c) : (void*)(p16.data() + c);
  }
  // Sets a pixel from channels 0..1.
  void Set(int x, int y, float r, float g, float b) {
    const float v[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
      const size_t i = ((size_t)y * width + x) * 3 + c;
      if (bytes == 1)
        p8[i] = (uint8_t)(v[c] * 255.0f + 0.5f);
      else
        p16[i] = (uint16_t)(v[c] * 65535.0f + 0.5f);
    }
  }
  void Fill(float r, float g, float b) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) Set(x, y, r, g, b);
  }
};
