// PixelBuffer: an in-memory image with interleaved samples (display copies,
// thumbnails, previews, the navigation thumbnail): a PixelView (pixelview.h,
// whose layout it keeps) that may own its block. Buffers made by
// PixelBufferCreate are interleaved:
// pixelStep = channels, rowStep = width × channels, chan[k] = first sample + k,
// unused channel pointers null. Samples are 0..255 or 0..65535.
//
// Ownership: a buffer from PixelBufferCreate owns its block (guarded memory)
// and frees it with PixelBufferFree or when destroyed; it moves but does not
// copy. A buffer whose `data` is empty is a view of someone else's pixels:
// the one who set its pointers keeps them alive.
//
// The scaler (resample.h) writes a result smaller than the buffer into its
// top-left corner and sets width and height to the result; the steps and the
// block stay as they were.
#pragma once

#include <cstdint>

#include "base/memory.h"
#include "base/pixelview.h"
#include "base/status.h"

constexpr int32_t kPixelBufferMaxChannels = kPixelViewMaxChannels;

struct PixelBuffer : PixelView {
  int32_t colorType = 1;       // RasColorType; 1 (RGB) for the buffers the system creates
  int32_t reserved = 0;        // always 0
  MemPtr<uint8_t[]> data;      // the owned block, empty for a view

  PixelBuffer() {
    channels = 0;
    pixelStep = 0;
  }
};

// Allocates width × height × channels × bytesPerSample zero bytes and sets
// every field for an interleaved RGB-type buffer (colour type 1). A buffer
// that already holds pixels is freed first. kBadArg: width or height below 1,
// channels outside 1..4, bytesPerSample not 1 or 2, a row step beyond 32 bits;
// kNoMem when the block cannot be had (the buffer is then empty).
Status PixelBufferCreate(PixelBuffer& buffer, int32_t width, int32_t height, int32_t channels,
                         int32_t bytesPerSample);

// Releases the block and clears every field. Always 0.
Status PixelBufferFree(PixelBuffer& buffer);

// kOk when the fields describe usable pixels: channels 1..4, 1 or 2 bytes per
// sample, positive width, height and steps, and the first `channels` pointers
// set; kBadArg otherwise.
Status PixelBufferCheck(const PixelBuffer& buffer);
