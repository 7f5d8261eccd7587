// Fuzzes the job file reader over a memory block: the header, the offset
// table and every record it names (paths, correction record, both
// thumbnails). Any bytes give a status; what is accepted is consistent.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/jobfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return 0;
  uint32_t count = 0;
  std::vector<uint32_t> offsets;
  if (ReadJobHeader(s, count) != kOk || ReadJobOffsetTable(s, count, offsets) != kOk) return 0;
  if (offsets.size() > 32) offsets.resize(32);
  for (uint32_t offset : offsets) {
    JobEntry entry;
    entry.offset = offset;
    std::string image, profile;
    TavelinPars pars;
    Thumbnail original, corrected;
    JobRecordRead r;
    r.imagePath = &image;
    r.profilePath = &profile;
    r.pars = &pars;
    r.original = &original;
    r.corrected = &corrected;
    if (ReadJobRecord(s, entry, r) != kOk) continue;
    if (image.size() >= kJobPathField || profile.size() >= kJobPathField) __builtin_trap();
    if (ValidateTavelinPars(&pars) != kOk) __builtin_trap();
    if (entry.length < kJobOffsetThumbs || entry.length > kJobMaxRecord) __builtin_trap();
    if (!original.Empty() && CheckThumbnail(original) != kOk) __builtin_trap();
    if (!corrected.Empty() && CheckThumbnail(corrected) != kOk) __builtin_trap();
  }
  return 0;
}
