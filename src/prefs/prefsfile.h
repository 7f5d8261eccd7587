// The preferences file container: a list of typed, numbered entries, each an
// 8-byte big-endian header (id u16, element type u16, count u32) followed by
// the elements. Entry 0 (one 32-bit integer, the version 1) comes first,
// entry 1 (no elements) last. Element types: 0 byte, 1 16-bit integer, 2
// 32-bit integer, 3 binary float, 4 decimal float. This layer knows entries
// and element types only; the application maps ids to its record through two
// callbacks. Counts above kPrefsMaxCount are refused as a format error, so a
// damaged file can never cause a huge allocation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/stream.h"

struct UiState;

enum PrefsElementType : uint16_t { kPrefsByte = 0, kPrefsInt16 = 1, kPrefsInt32 = 2, kPrefsBinaryFloat = 3, kPrefsDecimalFloat = 4 };
constexpr uint16_t kPrefsEntryVersion = 0;
constexpr uint16_t kPrefsEntryEnd = 1;
constexpr uint32_t kPrefsMaxCount = 1u << 20;

// One entry's elements in memory form: bytes (uint8_t), int16_t, int32_t or
// float, by type. The block is zero-padded to at least 4 bytes per element, so
// a reader that takes the first value in another form stays inside it.
struct PrefsData {
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> block;

  const uint8_t* Bytes() const { return block.data(); }
  int16_t Int16(size_t i) const;
  int32_t Int32(size_t i) const;
  float Float(size_t i) const;
};

using PrefsReadCallback = std::function<Status(UiState* state, uint16_t id, const PrefsData& data)>;
using PrefsWriteCallback = std::function<Status(UiState* state, Stream& stream)>;

// Writes the header and, when count > 0, the elements (memory form → file form).
// `data` points at count elements of the type's memory form.
Status Ui_Prefs_WriteEntry(UiState* state, Stream& stream, uint16_t id, uint16_t type, uint32_t count, const void* data);
// Reads one entry's header; with `data` it reads the elements too, else it skips them.
// A type above 4 or a count above kPrefsMaxCount is kFormatErr.
Status Ui_Prefs_ReadEntry(Stream& stream, uint16_t& id, uint16_t& type, uint32_t& count, PrefsData* data);

// Reads every entry through `read`; a missing file is written from the current
// record with `write` instead. Returns the last status.
Status Ui_Prefs_ReadAll(UiState* state, const std::string& path, int32_t fileInfo, const PrefsReadCallback& read,
                        const PrefsWriteCallback& write);
// Writes entry 0, the application entries through `write`, entry 1, into a
// temporary file beside `path` that replaces it only once complete, so a
// failed write leaves the previous file as it was.
Status Ui_Prefs_WriteAll(UiState* state, const std::string& path, int32_t fileInfo, const PrefsWriteCallback& write);
// Hands the file's type information to the platform; nothing to do here.
Status Ui_File_SetInfo(UiState* state, const std::string& path, int32_t fileInfo);

// Convenience writers for the application's callback.
Status Ui_Prefs_WriteByte(UiState* state, Stream& s, uint16_t id, uint8_t value);
Status Ui_Prefs_WriteInt16(UiState* state, Stream& s, uint16_t id, int16_t value);
Status Ui_Prefs_WriteFloat(UiState* state, Stream& s, uint16_t id, float value);  // binary float form
// A text as a byte entry of fixed count, zero-terminated, the last byte zero.
Status Ui_Prefs_WriteText(UiState* state, Stream& s, uint16_t id, const std::string& text, uint32_t count);
