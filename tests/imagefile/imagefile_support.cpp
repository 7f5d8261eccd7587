#include "imagefile/imagefile_support.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

extern "C" {
#include <jpeglib.h>
}

#include "support/scratch.h"

Status ReadThrough(const std::string& path, RasImage& image, Pixels& out, const ReadOptions& options) {
  Status st = RasQuery(path, image, options);
  if (st != kOk) return st;
  if ((st = RasOpenRead(path, image, options)) != kOk) return st;
  out.width = image.width;
  out.height = image.height;
  out.channels = image.channels;
  out.maxValue = image.maxValue;
  out.samples.assign((size_t)image.width * image.height * image.channels, 0);
  RasScanline sl;
  for (uint32_t y = 0; y < image.height; ++y) {
    if ((st = RasReadSl(image, y, sl)) != kOk) {
      RasClose(image);
      return st;
    }
    for (uint32_t x = 0; x < image.width; ++x)
      for (int c = 0; c < image.channels; ++c)
        out.samples[((size_t)y * image.width + x) * image.channels + c] =
            image.Is16() ? sl.plane16[c][x] : sl.plane8[c][x];
  }
  return RasClose(image);
}

Status WriteThrough(const std::string& path, int32_t format, int32_t colorType, const Pixels& px, float resolution,
                    const WriteOptions& options, const ImageMeta& meta) {
  RasImage image;
  Status st = rasInit(image, format, px.width, px.height, px.channels, colorType, resolution);
  if (st != kOk) return st;
  image.meta = meta;
  if ((st = RasCreate(path, image, options)) != kOk) return st;
  RasScanline sl;
  if ((st = RasMakeSl(sl, image)) != kOk) return st;
  for (uint32_t y = 0; y < px.height && st == kOk; ++y) {
    for (uint32_t x = 0; x < px.width; ++x)
      for (int c = 0; c < px.channels; ++c) {
        const uint16_t v = px.At(x, y, c);
        if (image.Is16()) sl.plane16[c][x] = v;
        else sl.plane8[c][x] = (uint8_t)v;
      }
    st = RasWriteSl(image, y, sl);
  }
  Status closed = RasClose(image);
  return st != kOk ? st : closed;
}

int WorstDifference(const Pixels& a, const Pixels& b) {
  if (a.channels != b.channels || a.samples.size() != b.samples.size()) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.samples.size(); ++i) worst = std::max(worst, std::abs(a.samples[i] - b.samples[i]));
  return worst;
}

bool ReadPam(const std::string& path, Pixels& out, std::string* tupleType) {
  std::vector<unsigned char> bytes;
  if (!ReadFileBytes(path, bytes) || bytes.size() < 3) return false;
  std::string text(bytes.begin(), bytes.end());
  size_t pos = 0;
  auto token = [&]() {
    while (pos < text.size()) {
      if (text[pos] == '#') {
        while (pos < text.size() && text[pos] != '\n') ++pos;
      } else if (isspace((unsigned char)text[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    size_t start = pos;
    while (pos < text.size() && !isspace((unsigned char)text[pos])) ++pos;
    return text.substr(start, pos - start);
  };
  std::string magic = token();
  if (magic == "P7") {
    for (;;) {
      std::string key = token();
      if (key == "ENDHDR") break;
      if (key.empty()) return false;
      std::string value = token();
      if (key == "WIDTH") out.width = std::stoul(value);
      else if (key == "HEIGHT") out.height = std::stoul(value);
      else if (key == "DEPTH") out.channels = std::stoi(value);
      else if (key == "MAXVAL") out.maxValue = std::stoi(value);
      else if (key == "TUPLTYPE" && tupleType) *tupleType = value;
    }
  } else if (magic == "P5" || magic == "P6") {
    out.width = std::stoul(token());
    out.height = std::stoul(token());
    out.maxValue = std::stoi(token());
    out.channels = magic == "P5" ? 1 : 3;
  } else {
    return false;
  }
  ++pos;  // the single whitespace byte after the header
  const size_t n = (size_t)out.width * out.height * out.channels;
  const bool wide = out.maxValue > 255;
  if (pos + n * (wide ? 2 : 1) > bytes.size()) return false;
  out.samples.resize(n);
  for (size_t i = 0; i < n; ++i)
    out.samples[i] = wide ? (uint16_t)((bytes[pos + 2 * i] << 8) | bytes[pos + 2 * i + 1]) : bytes[pos + i];
  return true;
}

bool HavePeer(const std::string& tool) { return RunCommand("command -v " + tool + " >/dev/null 2>&1") == 0; }

bool PeerDecode(const std::string& path, const std::string& options, int depth, Pixels& out) {
  const std::string pam = ScratchFile("peer.pam");
  const std::string cmd = "convert '" + path + "' " + options + " -depth " + std::to_string(depth) + " pam:'" + pam + "' 2>/dev/null";
  if (RunCommand(cmd) != 0) return false;
  return ReadPam(pam, out);
}

bool LibjpegDecode(const std::string& path, Pixels& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  out.width = d.output_width;
  out.height = d.output_height;
  out.channels = d.output_components;
  out.maxValue = 255;
  out.samples.clear();
  std::vector<JSAMPLE> row((size_t)d.output_width * d.output_components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&d, rows, 1);
    out.samples.insert(out.samples.end(), row.begin(), row.end());
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return true;
}

bool LibjpegEncode(const std::string& path, const Pixels& px, bool progressive, bool arithmetic) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = px.width;
  c.image_height = px.height;
  c.input_components = px.channels;
  c.in_color_space = px.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  c.arith_code = arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row((size_t)px.width * px.channels);
  for (uint32_t y = 0; y < px.height; ++y) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = (JSAMPLE)px.samples[y * row.size() + i];
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

Pixels MakePixels(uint32_t width, uint32_t height, int channels, int maxValue, uint32_t seed) {
  Pixels px;
  px.width = width;
  px.height = height;
  px.channels = channels;
  px.maxValue = maxValue;
  px.samples.resize((size_t)width * height * channels);
  uint32_t state = seed * 2654435761u + 12345;
  for (auto& v : px.samples) {
    state = state * 1664525u + 1013904223u;
    v = (uint16_t)((state >> 8) % ((uint32_t)maxValue + 1));
  }
  return px;
}

std::vector<uint8_t> MakeProfile(bool large) {
  cmsHPROFILE h = cmsCreate_sRGBProfile();
  if (large) {
    // Three long, different curves make the profile well over one chunk.
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    std::vector<cmsUInt16Number> table(12000);
    for (int t = 0; t < 3; ++t) {
      for (size_t i = 0; i < table.size(); ++i) table[i] = (cmsUInt16Number)((i * 65535 / (table.size() - 1)) ^ t);
      cmsToneCurve* curve = cmsBuildTabulatedToneCurve16(nullptr, (cmsUInt32Number)table.size(), table.data());
      cmsWriteTag(h, tags[t], curve);
      cmsFreeToneCurve(curve);
    }
  }
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(h, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(h, bytes.data(), &size);
  cmsCloseProfile(h);
  return bytes;
}

std::vector<uint8_t> BuildTiff(bool big, const std::vector<uint8_t>& data, const std::vector<TiffEntry>& entries) {
  std::vector<uint8_t> out(8);
  auto put16 = [&](size_t at, uint32_t v) {
    if (big) { out[at] = (uint8_t)(v >> 8); out[at + 1] = (uint8_t)v; }
    else { out[at] = (uint8_t)v; out[at + 1] = (uint8_t)(v >> 8); }
  };
  auto put32 = [&](size_t at, uint32_t v) {
    if (big) { put16(at, v >> 16); put16(at + 2, v & 0xFFFF); }
    else { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); }
  };
  out[0] = out[1] = big ? 'M' : 'I';
  put16(2, 42);
  out.insert(out.end(), data.begin(), data.end());
  if (out.size() & 1) out.push_back(0);
  const size_t dir = out.size();
  put32(4, (uint32_t)dir);
  out.resize(dir + 2 + 12 * entries.size() + 4, 0);
  put16(dir, (uint32_t)entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const TiffEntry& e = entries[i];
    const size_t at = dir + 2 + 12 * i;
    const uint32_t size = e.type == 3 ? 2 : e.type == 4 ? 4 : e.type == 5 ? 8 : 1;
    uint32_t count = e.count >= 0 ? (uint32_t)e.count
                     : e.type == 5 ? (uint32_t)e.values.size() / 2
                     : e.values.empty() ? (uint32_t)e.raw.size() : (uint32_t)e.values.size();
    put16(at, e.tag);
    put16(at + 2, e.type);
    put32(at + 4, count);
    std::vector<uint8_t> payload;
    const size_t before = out.size();
    // Values go into a scratch area at the end, or inline when they fit.
    size_t where = before;
    if (!e.values.empty()) {
      const size_t n = e.values.size();
      const uint32_t itemSize = e.type == 3 ? 2 : 4;
      out.resize(before + n * itemSize);
      for (size_t k = 0; k < n; ++k) {
        if (itemSize == 2) put16(before + 2 * k, e.values[k]);
        else put32(before + 4 * k, e.values[k]);
      }
    } else {
      out.insert(out.end(), e.raw.begin(), e.raw.end());
    }
    const size_t bytes = out.size() - before;
    if (bytes <= 4 && e.type != 5) {
      std::memcpy(&out[at + 8], &out[before], bytes);
      out.resize(before);
    } else {
      if (out.size() & 1) out.push_back(0);
      put32(at + 8, (uint32_t)where);
    }
    (void)size;
  }
  return out;
}

std::vector<TiffEntry> PlainTiffEntries(uint32_t width, uint32_t height, int channels) {
  const uint32_t bytes = width * height * channels;
  std::vector<TiffEntry> e;
  e.push_back({256, 4, {width}});
  e.push_back({257, 4, {height}});
  if (channels == 1) e.push_back({258, 3, {8}});
  else e.push_back({258, 3, {8, 8, 8}});
  e.push_back({259, 3, {1}});
  e.push_back({262, 3, {channels == 1 ? 1u : 2u}});
  e.push_back({273, 4, {8}});
  e.push_back({277, 3, {(uint32_t)channels}});
  e.push_back({278, 4, {height}});
  e.push_back({279, 4, {bytes}});
  return e;
}

std::string ScratchFile(const std::string& name) {
  static const std::string dir = FreshDir("imagefile");
  return dir + name;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) { WriteFileBytes(path, bytes.data(), bytes.size()); }

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<unsigned char> b;
  ReadFileBytes(path, b);
  return std::vector<uint8_t>(b.begin(), b.end());
}

void ExpectEachRefusedWithAReason(const std::vector<BrokenFile>& files, const std::string& leaf) {
  for (const BrokenFile& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = ScratchFile(leaf);
    WriteBytes(path, f.bytes);
    RasImage image;
    Pixels px;
    EXPECT_NE(ReadThrough(path, image, px), kOk);
    EXPECT_FALSE(RasLastFailure().empty());
  }
}

static std::vector<uint8_t> Ascii(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s) + 1); }

std::vector<uint8_t> MakeTestDng(uint32_t width, uint32_t height, uint16_t top, uint16_t bottom, uint16_t orientation,
                                 uint32_t dataRows, uint16_t topRed) {
  std::vector<uint8_t> data;
  const uint32_t rows = dataRows ? dataRows : height;
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool red = y % 2 == 0 && x % 2 == 0;
      const uint16_t v = y < height / 2 ? (red && topRed ? topRed : top) : bottom;
      data.push_back((uint8_t)v);
      data.push_back((uint8_t)(v >> 8));
    }
  const int32_t matrix[9] = {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570};
  std::vector<uint32_t> srational;
  for (int32_t m : matrix) srational.insert(srational.end(), {(uint32_t)m, 10000u});
  std::vector<TiffEntry> e = {
      {254, 4, {0}},
      {256, 4, {width}},
      {257, 4, {height}},
      {258, 3, {16}},
      {259, 3, {1}},
      {262, 3, {32803}},  // colour filter array
      {271, 2, {}, Ascii("Tavelin")},
      {272, 2, {}, Ascii("Test")},
      {273, 4, {8}},
      {274, 3, {orientation}},
      {277, 3, {1}},
      {278, 4, {height}},
      {279, 4, {width * height * 2}},
      {284, 3, {1}},
      {33421, 3, {2, 2}},
      {33422, 1, {}, {0, 1, 1, 2}},  // R G / G B
      {50706, 1, {}, {1, 4, 0, 0}},  // DNG 1.4
      {50708, 2, {}, Ascii("Tavelin Test")},
      {50717, 4, {65535}},
      {50721, 10, srational, {}, 9},
      {50728, 5, {1, 1, 1, 1, 1, 1}},
      {50778, 3, {21}},  // D65
  };
  return BuildTiff(false, data, e);
}
