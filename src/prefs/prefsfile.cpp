#include "prefs/prefsfile.h"

#include <algorithm>
#include <cstring>

#include "base/atomicfile.h"
#include "base/bytes.h"
#include "base/debuglog.h"
#include "base/elements.h"
#include "base/uistate.h"

namespace {
constexpr uint32_t kElementSize[5] = {1, 2, 4, 4, 4};

int Diag(const UiState* state) { return state ? state->diagnostics : 0; }
}  // namespace

int16_t PrefsData::Int16(size_t i) const {
  int16_t v;
  std::memcpy(&v, block.data() + i * 2, 2);
  return v;
}
int32_t PrefsData::Int32(size_t i) const {
  int32_t v;
  std::memcpy(&v, block.data() + i * 4, 4);
  return v;
}
float PrefsData::Float(size_t i) const {
  float v;
  std::memcpy(&v, block.data() + i * 4, 4);
  return v;
}

Status Ui_Prefs_WriteEntry(UiState*, Stream& s, uint16_t id, uint16_t type, uint32_t count, const void* data) {
  if (type > kPrefsDecimalFloat || (count && !data)) return kBadArg;
  uint8_t header[8];
  StoreBE16(header, id);
  StoreBE16(header + 2, type);
  StoreBE32(header + 4, count);
  Status st = StreamWriteAll(s, header, sizeof header);
  if (st != kOk || count == 0) return st;
  std::vector<uint8_t> out((size_t)count * kElementSize[type]);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* o = out.data() + (size_t)i * kElementSize[type];
    switch (type) {
      case kPrefsByte: o[0] = static_cast<const uint8_t*>(data)[i]; break;
      case kPrefsInt16: StoreBE16(o, (uint16_t) static_cast<const int16_t*>(data)[i]); break;
      case kPrefsInt32: StoreBE32(o, (uint32_t) static_cast<const int32_t*>(data)[i]); break;
      case kPrefsBinaryFloat: StoreBE32(o, EncodeBinaryFloat(static_cast<const float*>(data)[i])); break;
      case kPrefsDecimalFloat: StoreBE32(o, EncodeDecimalFloat(static_cast<const float*>(data)[i])); break;
    }
  }
  return StreamWriteAll(s, out.data(), out.size());
}

Status Ui_Prefs_ReadEntry(Stream& s, uint16_t& id, uint16_t& type, uint32_t& count, PrefsData* data) {
  uint8_t header[8];
  Status st = StreamReadExact(s, header, sizeof header);
  if (st != kOk) return st;
  id = LoadBE16(header);
  type = LoadBE16(header + 2);
  count = LoadBE32(header + 4);
  if (type > kPrefsDecimalFloat || count > kPrefsMaxCount) return kFormatErr;
  const size_t fileBytes = (size_t)count * kElementSize[type];
  if (!data) return fileBytes ? StreamSeek(s, (int64_t)fileBytes, 1) : kOk;

  std::vector<uint8_t> in(fileBytes);
  if (fileBytes && (st = StreamReadExact(s, in.data(), fileBytes)) != kOk) return st;
  data->type = type;
  data->count = count;
  data->block.assign(std::max<size_t>((size_t)count * 4, 4), 0);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = in.data() + (size_t)i * kElementSize[type];
    switch (type) {
      case kPrefsByte: data->block[i] = p[0]; break;
      case kPrefsInt16: {
        int16_t v = (int16_t)LoadBE16(p);
        std::memcpy(data->block.data() + (size_t)i * 2, &v, 2);
        break;
      }
      case kPrefsInt32: {
        int32_t v = (int32_t)LoadBE32(p);
        std::memcpy(data->block.data() + (size_t)i * 4, &v, 4);
        break;
      }
      case kPrefsBinaryFloat:
      case kPrefsDecimalFloat: {
        float v = type == kPrefsBinaryFloat ? DecodeBinaryFloat(LoadBE32(p)) : DecodeDecimalFloat(LoadBE32(p));
        std::memcpy(data->block.data() + (size_t)i * 4, &v, 4);
        break;
      }
    }
  }
  return kOk;
}

Status Ui_Prefs_ReadAll(UiState* state, const std::string& path, int32_t fileInfo, const PrefsReadCallback& read,
                        const PrefsWriteCallback& write) {
  const int diag = Diag(state);
  Stream s;
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_ReadAll: FLOpen error %d", (int)st);
    Ui_Debug_Log(diag, path.c_str());
    Ui_Debug_Log(diag, "Write out defaults instead.");
    if (!write) return st;
    st = Ui_Prefs_WriteAll(state, path, fileInfo, write);
    if (st != kOk) Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll error %d", (int)st);
    return st;
  }
  Ui_Debug_Log(diag, "Ui_Prefs_ReadAll: FLOpen success");
  for (;;) {
    uint16_t id = 0, type = 0;
    uint32_t count = 0;
    PrefsData data;
    if ((st = Ui_Prefs_ReadEntry(s, id, type, count, &data)) != kOk) break;
    if (id == kPrefsEntryVersion && count != 1) {
      st = kFormatErr;
      break;
    }
    if ((st = read(state, id, data)) != kOk) break;
    if (id == kPrefsEntryEnd) break;
  }
  StreamClose(s);
  return st;
}

Status Ui_Prefs_WriteAll(UiState* state, const std::string& path, int32_t fileInfo, const PrefsWriteCallback& write) {
  const int diag = Diag(state);
  if (!write) return kBadArg;
  // The new file replaces the old one only once complete: a full disk or a
  // crash while writing leaves the previous preferences readable.
  AtomicFile file;
  Status st = file.Open(path);
  if (st != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: FLOpen error %d", (int)st);
    Ui_Debug_Log(diag, path.c_str());
    return st == kSysErr ? kOpenErr : st;
  }
  Stream& s = file.stream();
  Ui_Debug_Log(diag, "Ui_Prefs_WriteAll: FLOpen success");
  const int32_t version = 1;
  if ((st = Ui_Prefs_WriteEntry(state, s, kPrefsEntryVersion, kPrefsInt32, 1, &version)) != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: Ui_Prefs_WriteEntry 1 returned %d", (int)st);
    return st;
  }
  if ((st = write(state, s)) != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: writePrefsCallback returned %d", (int)st);
    return st;
  }
  if ((st = Ui_Prefs_WriteEntry(state, s, kPrefsEntryEnd, kPrefsByte, 0, nullptr)) != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: Ui_Prefs_WriteEntry 3 returned %d", (int)st);
    return st;
  }
  if ((st = file.Commit()) != kOk) {
    Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: closing returned %d", (int)st);
    return st;
  }
  Status info = Ui_File_SetInfo(state, path, fileInfo);
  if (info != kOk) Ui_Debug_LogF(diag, "Ui_Prefs_WriteAll: Ui_File_SetInfo returned %d", (int)info);
  return kOk;
}

Status Ui_File_SetInfo(UiState*, const std::string&, int32_t) { return kOk; }

Status Ui_Prefs_WriteByte(UiState* state, Stream& s, uint16_t id, uint8_t value) {
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsByte, 1, &value);
}
Status Ui_Prefs_WriteInt16(UiState* state, Stream& s, uint16_t id, int16_t value) {
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsInt16, 1, &value);
}
Status Ui_Prefs_WriteFloat(UiState* state, Stream& s, uint16_t id, float value) {
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsBinaryFloat, 1, &value);
}
Status Ui_Prefs_WriteText(UiState* state, Stream& s, uint16_t id, const std::string& text, uint32_t count) {
  std::vector<uint8_t> bytes(count, 0);
  std::memcpy(bytes.data(), text.data(), std::min<size_t>(text.size(), count ? count - 1 : 0));
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsByte, count, bytes.data());
}
