#include "colormgmt/iccprofile.h"

#include <cstring>
#include <new>

#include "base/bytes.h"
#include "base/debuglog.h"

namespace {

template <class T>
Status Alloc(ICCArray<T>& a, uint64_t count) {
  a.data.reset();
  a.count = 0;
  if (count == 0) return kOk;
  a.data = MemNewArray<T>((size_t)count, false);
  if (!a.data) return kNoMem;
  a.count = (uint32_t)count;
  return kOk;
}

// A bounded reader over one tag's bytes.
class Cursor {
 public:
  Cursor(const uint8_t* p, uint32_t n) : p_(p), n_(n) {}
  uint32_t Left() const { return n_ - at_; }
  bool Has(uint64_t k) const { return k <= Left(); }
  uint8_t U8() { return p_[at_++]; }
  uint16_t U16() {
    uint16_t v = LoadBE16(p_ + at_);
    at_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t v = LoadBE32(p_ + at_);
    at_ += 4;
    return v;
  }
  const uint8_t* Take(uint32_t k) {
    const uint8_t* q = p_ + at_;
    at_ += k;
    return q;
  }

 private:
  const uint8_t* p_;
  uint32_t n_;
  uint32_t at_ = 0;
};

Status DecodeXYZ(Cursor& c, ICCTag& tag) {
  Status st = Alloc(tag.xyz, c.Left() / 12);
  if (st != kOk) return st;
  for (uint32_t i = 0; i < tag.xyz.count; ++i) {
    tag.xyz[i].X = (int32_t)c.U32();
    tag.xyz[i].Y = (int32_t)c.U32();
    tag.xyz[i].Z = (int32_t)c.U32();
  }
  return kOk;
}

Status DecodeCurve(Cursor& c, ICCTag& tag) {
  if (!c.Has(4)) return kFormatErr;
  const uint32_t count = c.U32();
  if (!c.Has((uint64_t)count * 2)) return kFormatErr;
  Status st = Alloc(tag.curve, count);
  if (st != kOk) return st;
  for (uint32_t i = 0; i < count; ++i) tag.curve[i] = c.U16();
  return kOk;
}

Status DecodeDesc(Cursor& c, ICCTag& tag) {
  if (!c.Has(4)) return kFormatErr;
  const uint32_t count = c.U32();
  if (!c.Has(count)) return kFormatErr;
  const char* text = reinterpret_cast<const char*>(c.Take(count));
  tag.ascii.assign(text, strnlen(text, count));
  // The Unicode and ScriptCode parts: optional, a short tag leaves them empty.
  if (!c.Has(8)) return kOk;
  tag.unicodeLanguage = c.U32();
  const uint32_t ucount = c.U32();
  if (!c.Has((uint64_t)ucount * 2)) return kFormatErr;
  tag.unicode.resize(ucount);
  for (uint32_t i = 0; i < ucount; ++i) tag.unicode[i] = c.U16();
  if (!c.Has(3)) return kOk;
  tag.scriptCode = c.U16();
  tag.scriptCount = c.U8();
  const uint32_t script = c.Left() < 67 ? c.Left() : 67;
  std::memcpy(tag.script, c.Take(script), script);
  return kOk;
}

// mft1 (wide = false) and mft2 (wide = true).
Status DecodeLut(Cursor& c, ICCTag& tag, bool wide) {
  if (!c.Has(4 + 36 + (wide ? 4 : 0))) return kFormatErr;
  tag.inputChannels = c.U8();
  tag.outputChannels = c.U8();
  tag.gridPoints = c.U8();
  c.U8();  // pad
  for (int i = 0; i < 9; ++i) tag.matrix[i] = (int32_t)c.U32();
  if (wide) {
    tag.inputEntries = c.U16();
    tag.outputEntries = c.U16();
  } else {
    tag.inputEntries = tag.outputEntries = 256;
  }
  const uint32_t in = tag.inputChannels, out = tag.outputChannels;
  if (in == 0 || out == 0 || in > 15 || out > 15) return kFormatErr;
  if (wide && (tag.inputEntries < 2 || tag.outputEntries < 2)) return kFormatErr;
  // points^in × out, refused as soon as it exceeds what the tag can hold.
  const uint64_t width = wide ? 2 : 1;
  uint64_t gridCount = out;
  for (uint32_t i = 0; i < in && tag.gridPoints > 0; ++i) {
    gridCount *= tag.gridPoints;
    if (gridCount * width > c.Left()) return kFormatErr;
  }
  if (tag.gridPoints == 0) gridCount = 0;
  const uint64_t inCount = (uint64_t)tag.inputEntries * in;
  const uint64_t outCount = (uint64_t)tag.outputEntries * out;
  if (!c.Has((inCount + gridCount + outCount) * width)) return kFormatErr;
  ICCArray<uint16_t>* arrays[3] = {&tag.inputTables, &tag.grid, &tag.outputTables};
  const uint64_t counts[3] = {inCount, gridCount, outCount};
  for (int a = 0; a < 3; ++a) {
    Status st = Alloc(*arrays[a], counts[a]);
    if (st != kOk) return st;
    uint16_t* dst = arrays[a]->get();
    for (uint64_t i = 0; i < counts[a]; ++i) dst[i] = wide ? c.U16() : c.U8();
  }
  return kOk;
}

Status DecodeTag(const uint8_t* bytes, uint32_t size, ICCTag& tag) {
  Cursor c(bytes, size);
  tag.type = c.U32();
  c.U32();  // reserved
  switch (tag.type) {
    case kICCTypeXYZ: return DecodeXYZ(c, tag);
    case kICCTypeCurve: return DecodeCurve(c, tag);
    case kICCTypeDesc: return DecodeDesc(c, tag);
    case kICCTypeMft1: return DecodeLut(c, tag, false);
    case kICCTypeMft2: return DecodeLut(c, tag, true);
    default: {
      // The bytes after the type signature.
      Status st = Alloc(tag.raw, size - 4);
      if (st == kOk && size > 4) std::memcpy(tag.raw.get(), bytes + 4, size - 4);
      return st;
    }
  }
}

// The first record of a multi-localised Unicode tag, as ASCII.
Status MlucText(const ICCTag& tag, std::string& text) {
  // raw: reserved (4), record count, record size, then records of language,
  // country (2 + 2), length and offset; offsets count from the tag's start.
  const uint8_t* p = tag.raw.get();
  const uint32_t n = tag.raw.count;
  if (n < 12) return kFormatErr;
  const uint32_t records = LoadBE32(p + 4), recordSize = LoadBE32(p + 8);
  if (records == 0 || recordSize < 12 || n < 12 + 12) return kFormatErr;
  const uint32_t length = LoadBE32(p + 12 + 4), offset = LoadBE32(p + 12 + 8);
  // Offsets count from the tag's start, 4 bytes before raw.
  if (offset < 4 || (uint64_t)offset - 4 + length > n) return kFormatErr;
  text.clear();
  for (uint32_t i = 0; i + 1 < length; i += 2) {
    const uint16_t ch = LoadBE16(p + offset - 4 + i);
    if (ch == 0) break;
    text.push_back(ch < 128 ? (char)ch : '?');
  }
  return kOk;
}

Status OpenAndReadHeader(const std::string& path, Stream& s, ICCProfileHeader& header) {
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) return st;
  return ICCReadHeader(s, header);
}

}  // namespace

Status ICCReadHeader(Stream& s, ICCProfileHeader& header) {
  uint8_t b[kICCHeaderSize];
  size_t count = sizeof b;
  Status st = StreamRead(s, b, count, true);
  if (st != kOk) return st;
  ICCProfileHeader h;
  h.size = LoadBE32(b + 0);
  h.cmmType = LoadBE32(b + 4);
  h.version = LoadBE32(b + 8);
  h.deviceClass = LoadBE32(b + 12);
  h.colorSpace = LoadBE32(b + 16);
  h.connectionSpace = LoadBE32(b + 20);
  for (int i = 0; i < 6; ++i) h.created[i] = LoadBE16(b + 24 + 2 * i);
  h.fileSignature = LoadBE32(b + 36);
  h.platform = LoadBE32(b + 40);
  h.flags = LoadBE32(b + 44);
  h.manufacturer = LoadBE32(b + 48);
  h.model = LoadBE32(b + 52);
  h.attributes[0] = LoadBE32(b + 56);
  h.attributes[1] = LoadBE32(b + 60);
  h.intent = LoadBE32(b + 64);
  for (int i = 0; i < 3; ++i) h.illuminant[i] = (int32_t)LoadBE32(b + 68 + 4 * i);
  h.creator = LoadBE32(b + 80);
  std::memcpy(h.reserved, b + 84, sizeof h.reserved);
  if (h.fileSignature != kICCFileSignature) return kFormatErr;
  const uint32_t cls = h.deviceClass;
  if (cls != kICCClassInput && cls != kICCClassDisplay && cls != kICCClassOutput && cls != kICCClassLink)
    return kFormatErr;
  if (cls != kICCClassLink && h.connectionSpace != kICCSpaceXYZ && h.connectionSpace != kICCSpaceLab)
    return kFormatErr;
  header = h;
  return kOk;
}

Status ICCReadTagTable(Stream& s, ICCTagDirectory& directory) {
  int64_t size = 0, here = 0;
  Status st = StreamSize(s, size);
  if (st == kOk) st = StreamTell(s, here);
  if (st != kOk) return st;
  uint8_t b[12];
  if ((st = StreamReadExact(s, b, 4)) != kOk) return st;
  const uint32_t count = LoadBE32(b);
  if ((uint64_t)count * 12 > (uint64_t)(size - here - 4)) return kFormatErr;
  std::vector<ICCTagEntry> entries;
  try {
    entries.resize(count);
  } catch (const std::bad_alloc&) {
    return kNoMem;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if ((st = StreamReadExact(s, b, 12)) != kOk) return st;
    entries[i] = {LoadBE32(b), LoadBE32(b + 4), LoadBE32(b + 8)};
  }
  directory.entries = std::move(entries);
  return kOk;
}

Status ICCReadTag(Stream& s, const ICCTagDirectory& directory, uint32_t entry, ICCTag& tag) {
  if (entry >= directory.entries.size()) return kBadArg;
  const ICCTagEntry& e = directory.entries[entry];
  int64_t size = 0;
  Status st = StreamSize(s, size);
  if (st != kOk) return st;
  if (e.size < 8 || (uint64_t)e.offset + e.size > (uint64_t)size) return kFormatErr;
  MemPtr<uint8_t[]> bytes = MemNewArray<uint8_t>(e.size, false);
  if (!bytes) return kNoMem;
  if ((st = StreamSeek(s, e.offset, 0)) != kOk) return st;
  if ((st = StreamReadExact(s, bytes.get(), e.size)) != kOk) return st;
  ICCTag decoded;
  decoded.signature = e.signature;
  try {
    st = DecodeTag(bytes.get(), e.size, decoded);
  } catch (const std::bad_alloc&) {
    st = kNoMem;
  }
  if (st != kOk) return st;
  tag = std::move(decoded);
  return kOk;
}

int32_t ICCFindTag(const ICCTagDirectory& directory, uint32_t signature) {
  for (size_t i = 0; i < directory.entries.size(); ++i)
    if (directory.entries[i].signature == signature) return (int32_t)i;
  return -1;
}

Status ICCReadProfileDesc(Stream& s, std::string& text) {
  ICCProfileHeader header;
  ICCTagDirectory dir;
  Status st = ICCReadHeader(s, header);
  if (st == kOk) st = ICCReadTagTable(s, dir);
  if (st != kOk) return st;
  const int32_t entry = ICCFindTag(dir, kICCTagDesc);
  if (entry < 0) return kFormatErr;
  ICCTag tag;
  if ((st = ICCReadTag(s, dir, (uint32_t)entry, tag)) != kOk) return st;
  if (tag.type == kICCTypeDesc) {
    text = tag.ascii;
    return kOk;
  }
  if (tag.type == kICCTypeMluc) return MlucText(tag, text);
  return kFormatErr;
}

Status Ui_ICC_GetProfileDesc(const std::string& path, std::string& text) {
  Stream s;
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) return st;
  return ICCReadProfileDesc(s, text);
}

Status Ui_ICC_CheckRgbInputProfile(const std::string& path) {
  Stream s;
  ICCProfileHeader header;
  Status st = OpenAndReadHeader(path, s, header);
  if (st != kOk) return st;
  if (header.deviceClass != kICCClassInput && header.deviceClass != kICCClassDisplay) return kUnsupported;
  if (header.colorSpace != kICCSpaceRGB) return kUnsupported;
  return kOk;
}
