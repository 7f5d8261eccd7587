#include "filters/pixelbuffer.h"

#include <cstddef>

Status PixelBufferCreate(PixelBuffer& buffer, int32_t width, int32_t height, int32_t channels,
                         int32_t bytesPerSample) {
  if (width < 1 || height < 1 || channels < 1 || channels > kPixelBufferMaxChannels ||
      (bytesPerSample != 1 && bytesPerSample != 2))
    return kBadArg;
  const int64_t rowStep = (int64_t)width * channels;
  if (rowStep > INT32_MAX) return kBadArg;
  PixelBufferFree(buffer);
  const size_t bytes = (size_t)rowStep * (size_t)bytesPerSample;
  MemPtr<uint8_t[]> block(static_cast<uint8_t*>(MemAllocArray((size_t)height, bytes)));
  if (!block) return kNoMem;
  uint8_t* p = block.get();
  const size_t total = (size_t)height * bytes;
  for (size_t i = 0; i < total; ++i) p[i] = 0;
  buffer.colorType = 1;
  buffer.channels = channels;
  buffer.bytesPerSample = bytesPerSample;
  buffer.width = width;
  buffer.height = height;
  buffer.reserved = 0;
  buffer.pixelStep = channels;
  buffer.rowStep = (int32_t)rowStep;
  for (int32_t k = 0; k < kPixelBufferMaxChannels; ++k)
    buffer.chan[k] = k < channels ? p + (size_t)k * bytesPerSample : nullptr;
  buffer.data = std::move(block);
  return kOk;
}

Status PixelBufferFree(PixelBuffer& buffer) {
  buffer.data.reset();
  buffer = PixelBuffer{};
  return kOk;
}

Status PixelBufferCheck(const PixelBuffer& buffer) {
  if (buffer.channels < 1 || buffer.channels > kPixelBufferMaxChannels) return kBadArg;
  if (buffer.bytesPerSample != 1 && buffer.bytesPerSample != 2) return kBadArg;
  if (buffer.width < 1 || buffer.height < 1 || buffer.pixelStep < 1 || buffer.rowStep < 1) return kBadArg;
  for (int32_t k = 0; k < buffer.channels; ++k)
    if (!buffer.chan[k]) return kBadArg;
  return kOk;
}
