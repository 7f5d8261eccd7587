// Byte helpers: big- and little-endian loads and stores on raw bytes.
// The application's own files are big-endian; image formats use both.
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t LoadBE16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return (uint16_t)((b[0] << 8) | b[1]);
}
inline uint32_t LoadBE32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
}
inline uint16_t LoadLE16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return (uint16_t)(b[0] | (b[1] << 8));
}
inline uint32_t LoadLE32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}
inline void StoreBE16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = (uint8_t)(v >> 8);
  b[1] = (uint8_t)v;
}
inline void StoreBE32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = (uint8_t)(v >> 24);
  b[1] = (uint8_t)(v >> 16);
  b[2] = (uint8_t)(v >> 8);
  b[3] = (uint8_t)v;
}
inline void StoreLE16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = (uint8_t)v;
  b[1] = (uint8_t)(v >> 8);
}
inline void StoreLE32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = (uint8_t)v;
  b[1] = (uint8_t)(v >> 8);
  b[2] = (uint8_t)(v >> 16);
  b[3] = (uint8_t)(v >> 24);
}
