// EXIF reader: walks the TIFF-structured EXIF data of a JPEG's APP1 segment far
// enough to find the embedded thumbnail and every offset other entries refer
// to, and removes the thumbnail (its length entry set to 0; its bytes cut off
// when they end the data). Nothing else in the data is interpreted or changed.
//
// The data is untrusted: every read is bounds-checked against `length`,
// malformed parts end the affected directory silently, each directory is
// visited once and the walk has a fixed work budget, so any input ends
// quickly. Offsets are relative to the byte order mark ("II" or "MM").
#pragma once

#include <cstdint>

#include "base/status.h"

struct ExifParseResult {
  int64_t thumbDir = -1;        // offset of the directory holding the thumbnail pointers; -1 none
  uint32_t thumbOffset = 0;     // 0 when none
  uint32_t thumbSize = 0;       // cut to the data's end; 0 when none
  uint32_t maxReferred = 0;     // largest offset referred to by a value or a directory link
  bool thumbAtEnd = false;      // no referred offset lies beyond the thumbnail's offset
  bool bigEndian = false;
};

// Walks the data; never fails (a foreign byte order mark leaves the result empty).
void ExifParse(const uint8_t* data, uint32_t length, ExifParseResult& result);

// Zeroes the thumbnail's length entry (which must be LONG) and, when the
// thumbnail ends the data, sets `length` to its offset. kSysErr when there is
// no thumbnail or its length entry is not LONG; the data is then unchanged.
Status ExifRemoveThumbnail(uint8_t* data, uint32_t& length);
