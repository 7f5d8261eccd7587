// Test support for the image file modules: whole images read through the
// framework, PAM files, peers run as commands, hand-built TIFF files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/ras.h"

// An image as interleaved samples (8-bit values in 0..255 or 16-bit values).
struct Pixels {
  uint32_t width = 0, height = 0;
  int channels = 0;
  int maxValue = 0;
  std::vector<uint16_t> samples;  // row-major, channels interleaved
  uint16_t At(uint32_t x, uint32_t y, int c) const { return samples[((size_t)y * width + x) * channels + c]; }
};

// Reads every row through RasQuery / RasOpenRead / RasReadSl with the
// options; the record stays filled (closed). Returns the first failing status.
Status ReadThrough(const std::string& path, RasImage& image, Pixels& out, const ReadOptions& options = {});

// Writes `px` through rasInit / RasCreate / RasWriteSl / RasClose, with the
// options and the metadata to embed.
Status WriteThrough(const std::string& path, int32_t format, int32_t colorType, const Pixels& px, float resolution,
                    const WriteOptions& options = {}, const ImageMeta& meta = {});

// A PAM (P7) or PNM (P5/P6) file.
bool ReadPam(const std::string& path, Pixels& out, std::string* tupleType = nullptr);

// The largest difference between two images' samples; -1 when their channel
// or sample counts differ.
int WorstDifference(const Pixels& a, const Pixels& b);

// True when a peer command exists on this machine.
bool HavePeer(const std::string& tool);
// ImageMagick's decode of `path` (extra options before the output) at `depth` bits.
bool PeerDecode(const std::string& path, const std::string& options, int depth, Pixels& out);
// libjpeg's own decode of a JPEG file with the module's default settings
// (accurate integer DCT, fancy upsampling); CMYK as stored.
bool LibjpegDecode(const std::string& path, Pixels& out);

// Writes `px` (8-bit gray or RGB) with libjpeg itself, quality 90, sequential
// or progressive, Huffman or arithmetic coding.
bool LibjpegEncode(const std::string& path, const Pixels& px, bool progressive, bool arithmetic = false);

// A test image with distinct values in every channel.
Pixels MakePixels(uint32_t width, uint32_t height, int channels, int maxValue, uint32_t seed = 1);

// A valid ICC profile made by LittleCMS (sRGB); `large` pads it with long
// tabulated curves so it needs several JPEG APP2 chunks.
std::vector<uint8_t> MakeProfile(bool large);

// A hand-built TIFF: header, then `data` at offset 8, then the directory and
// the values that do not fit their entries.
struct TiffEntry {
  TiffEntry(uint16_t tag_, uint16_t type_, std::vector<uint32_t> values_, std::vector<uint8_t> raw_ = {}, int64_t count_ = -1)
      : tag(tag_), type(type_), values(std::move(values_)), raw(std::move(raw_)), count(count_) {}
  uint16_t tag, type;
  std::vector<uint32_t> values;  // SHORT/LONG values; RATIONAL as numerator, denominator pairs
  std::vector<uint8_t> raw;      // UNDEFINED/BYTE payload, used when values is empty
  int64_t count = -1;            // -1: from the values
};
std::vector<uint8_t> BuildTiff(bool big, const std::vector<uint8_t>& data, const std::vector<TiffEntry>& entries);
// A plain 8-bit chunky RGB/gray TIFF description for `px` (one strip), data at offset 8.
std::vector<TiffEntry> PlainTiffEntries(uint32_t width, uint32_t height, int channels);

// A fresh scratch file path.
std::string ScratchFile(const std::string& name);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> FileBytes(const std::string& path);

// A damaged file and what is wrong with it.
struct BrokenFile {
  const char* name;
  std::vector<uint8_t> bytes;
};
// Each file, written as `leaf`, is refused by its reader with a reason.
void ExpectEachRefusedWithAReason(const std::vector<BrokenFile>& files, const std::string& leaf);

// A DNG of one 16-bit RGGB mosaic whose camera is linear sRGB (its colour
// matrix is sRGB's XYZ-to-RGB matrix, its neutral 1, 1, 1): the top half
// holds `top` in every photosite (`topRed`, when set, in its red ones), the
// bottom half `bottom`; `dataRows` (when set) rows of data are stored.
std::vector<uint8_t> MakeTestDng(uint32_t width, uint32_t height, uint16_t top, uint16_t bottom, uint16_t orientation,
                                 uint32_t dataRows = 0, uint16_t topRed = 0);
