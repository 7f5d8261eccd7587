// IPRow: the planar row handed between the streaming filters (noise filter,
// row engine) and their callers: one pointer per channel, `width` samples
// each, uint8_t for depth 1 and uint16_t (host byte order) for depth 2.
// The one who hands a row keeps it alive until the call returns; a receiver
// that needs the samples later copies them.
#pragma once

#include <cstdint>

#include "base/status.h"

constexpr int32_t kIPMaxChannels = 4;

struct IPRow {
  const void* chan[kIPMaxChannels] = {};
};

// A finished row goes to the next stage: `row` counts from 0 in order. A
// non-zero status stops the stage that called it and is returned by its push.
using IPRowSink = Status (*)(void* context, int32_t row, const IPRow& planes);
