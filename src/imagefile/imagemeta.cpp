#include "imagefile/imagemeta.h"

#include "base/bytes.h"
#include "base/stream.h"
#include "imagefile/exif.h"
#include "imagefile/rasmodule.h"

uint32_t ImageMeta::IccLength() const {
  const uint32_t stored = (uint32_t)iccProfile.size();
  if (stored < 4) return stored;
  const uint32_t declared = LoadBE32(iccProfile.data());
  return declared < stored ? declared : stored;
}

Status MetaLoadIcc(ImageMeta& meta, const std::string& path) {
  Stream s;
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) return st;
  int64_t length = 0;
  if ((st = StreamSize(s, length)) != kOk) return st;
  if (length > 0x7FFFFFFF) return RasFail(kFormatErr, "%s is too large to embed", path.c_str());
  std::vector<uint8_t> bytes((size_t)length);
  if ((st = StreamReadExact(s, bytes.data(), bytes.size())) != kOk) return st;
  meta.iccProfile = std::move(bytes);
  return kOk;
}

Status MetaSaveIcc(const ImageMeta& meta, const std::string& path) {
  if (!meta.HasIcc()) return kSysErr;
  Stream s;
  Status st = StreamOpen(s, path, kStreamWrite);
  if (st != kOk) return st;
  if ((st = StreamWriteAll(s, meta.iccProfile.data(), meta.IccLength())) != kOk) return st;
  return StreamClose(s);
}

void MetaStripExifThumbnail(ImageMeta& meta) {
  if (meta.exif.empty()) return;
  uint32_t length = (uint32_t)meta.exif.size();
  if (ExifRemoveThumbnail(meta.exif.data(), length) == kOk) meta.exif.resize(length);
}

Status ReadOptions::Check() const {
  if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return kBadArg;
  if (dctMethod < 0 || dctMethod > 2) return kBadArg;
  for (const double* xy : {rawSpace.white, rawSpace.red, rawSpace.green, rawSpace.blue})
    if (!(xy[0] >= 0 && xy[0] <= 1 && xy[1] > 0 && xy[1] <= 1)) return kBadArg;
  return kOk;
}

Status WriteOptions::Check() const {
  if (quality < 0 || quality > 100 || dctMethod < 0 || dctMethod > 2) return kBadArg;
  if (smoothing < 0 || smoothing > 100 || restartRows < 0) return kBadArg;
  if (compression != 1 && compression != 5 && compression != 8) return kBadArg;  // none, LZW, Deflate
  if (predictor != 1 && predictor != 2) return kBadArg;
  if (planar != 1 && planar != 2) return kBadArg;
  if (byteOrder != 0x4949 && byteOrder != 0x4D4D) return kBadArg;
  if (epsEncoding != 1 && epsEncoding != 2) return kBadArg;
  return kOk;
}
