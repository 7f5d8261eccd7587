// Estimates of the colour of a picture's light from a grid of 8-bit
// samples in linear light: several classic witnesses (gray world, shades of
// gray, gray edge of first and second order, white patch percentiles,
// bright pixels, gray pixels) and the colour of the highlight plateau, each
// as ln(R/G), ln(B/G). The Adaptive analysis decides on four witnesses and
// the plateau; the benchmark's tool (tavelin-autoq witnesses) measures all
// of them, to compare them on the same pixels.
//
// Every witness is measured on the pixels whose three channels stay below
// the clip code (the white patches count all pixels). A witness that has
// nothing to measure (no edges, no gray pixels) takes the gray world's
// value, so that the set is always complete. Deterministic; no state; no
// allocation.
#pragma once

#include <cstddef>
#include <cstdint>

enum IlluminantWitness {
  kWitnessGrayWorld,
  kWitnessShades2,
  kWitnessShades4,
  kWitnessShades8,
  kWitnessEdge1,
  kWitnessEdge2,
  kWitnessPatch995,
  kWitnessPatch98,
  kWitnessBright,
  kWitnessGrayPixels,
  kWitnessCount
};

struct IlluminantWitnesses {
  double uv[kWitnessCount][2] = {};  // ln(R/G), ln(B/G) of each witness
  double patch[3] = {0, 0, 0};       // 99.5 % level of each channel (linear, all pixels)
  double clippedShare = 0.0;         // share of samples with a channel at the clip code
  // The highlight plateau: the pixels whose every channel is within
  // kPlateauCodes of that channel's largest code (a white or a clipped
  // highlight keeps one colour there, the light's, at any exposure).
  double plateauShare = 0.0;
  double plateauUv[2] = {0.0, 0.0};
};

// Samples: `columns` x `rows` RGB triples of 8-bit codes, row after row;
// `lin` maps a code to linear light (any haze already taken away), `lumaW`
// the luminance weights; a channel at `clipCode` or above counts as clipped.
// Without `all`, the two costly witnesses the analysis does not decide on
// (second-order gray edge, gray pixels) are not measured and take the gray
// world's value; every other result is the same either way.
void MeasureWitnesses(const uint8_t* rgb, int columns, int rows, const double lin[256], const double lumaW[3],
                      int clipCode, bool all, IlluminantWitnesses* out);
