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
