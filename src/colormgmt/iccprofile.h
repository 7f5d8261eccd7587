// Reading ICC profile files: the 128-byte header, the tag directory and the
// few tag types the application looks at, plus the two questions asked of a
// profile file (its description, and whether it can be an RGB input profile).
// Profiles come from outside (embedded in images, chosen by the user), so
// every count and offset is checked against the bytes really there: a tag
// must lie inside the stream, its contents inside the tag; nothing is
// allocated beyond the size of the stream.
//
// All numbers in a profile are big-endian. XYZ numbers stay in their s15.16
// form (ICCFixed turns one into a double). A decoded tag owns its arrays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/status.h"
#include "base/stream.h"

// Four-character signatures as big-endian numbers.
constexpr uint32_t ICCSig(const char (&s)[5]) {
  return ((uint32_t)(uint8_t)s[0] << 24) | ((uint32_t)(uint8_t)s[1] << 16) | ((uint32_t)(uint8_t)s[2] << 8) |
         (uint32_t)(uint8_t)s[3];
}
constexpr uint32_t kICCFileSignature = ICCSig("acsp");
constexpr uint32_t kICCClassInput = ICCSig("scnr");
constexpr uint32_t kICCClassDisplay = ICCSig("mntr");
constexpr uint32_t kICCClassOutput = ICCSig("prtr");
constexpr uint32_t kICCClassLink = ICCSig("link");
constexpr uint32_t kICCSpaceRGB = ICCSig("RGB ");
constexpr uint32_t kICCSpaceXYZ = ICCSig("XYZ ");
constexpr uint32_t kICCSpaceLab = ICCSig("Lab ");
constexpr uint32_t kICCTypeXYZ = ICCSig("XYZ ");
constexpr uint32_t kICCTypeCurve = ICCSig("curv");
constexpr uint32_t kICCTypeDesc = ICCSig("desc");
constexpr uint32_t kICCTypeMft1 = ICCSig("mft1");
constexpr uint32_t kICCTypeMft2 = ICCSig("mft2");
constexpr uint32_t kICCTypeMluc = ICCSig("mluc");
constexpr uint32_t kICCTagDesc = ICCSig("desc");

constexpr int32_t kICCHeaderSize = 128;

// An s15.16 number as a double.
inline double ICCFixed(int32_t v) { return v / 65536.0; }

struct ICCProfileHeader {
  uint32_t size = 0;
  uint32_t cmmType = 0;
  uint32_t version = 0;
  uint32_t deviceClass = 0;
  uint32_t colorSpace = 0;
  uint32_t connectionSpace = 0;
  uint16_t created[6] = {};  // year, month, day, hours, minutes, seconds
  uint32_t fileSignature = 0;  // 'acsp'
  uint32_t platform = 0;
  uint32_t flags = 0;
  uint32_t manufacturer = 0;
  uint32_t model = 0;
  uint32_t attributes[2] = {};
  uint32_t intent = 0;
  int32_t illuminant[3] = {};  // s15.16 X, Y, Z
  uint32_t creator = 0;
  uint8_t reserved[44] = {};
};

struct ICCTagEntry {
  uint32_t signature = 0;
  uint32_t offset = 0;  // from the start of the profile
  uint32_t size = 0;
};

struct ICCTagDirectory {
  std::vector<ICCTagEntry> entries;
};

// An owned array with its element count.
template <class T>
struct ICCArray {
  MemPtr<T[]> data;
  uint32_t count = 0;
  T* get() const { return data.get(); }
  T& operator[](size_t i) const { return data.get()[i]; }
};

struct ICCXYZNumber {
  int32_t X = 0, Y = 0, Z = 0;  // s15.16
};

// A decoded tag. `type` says which fields are filled:
//   'XYZ ': xyz ((size − 8) / 12 numbers);
//   'curv': curve (the entries; count 0 is the identity, 1 a u8.8 gamma);
//   'desc': ascii (without its terminating zero), unicodeLanguage, unicode,
//           scriptCode, scriptCount, script (the parts after the ASCII text
//           are optional: a tag that ends after it leaves them empty);
//   'mft1' / 'mft2': inputChannels, outputChannels, gridPoints, matrix,
//           inputEntries / outputEntries (256 for mft1), inputTables
//           (entries × inputs), grid (points^inputs × outputs), outputTables
//           (entries × outputs); mft1's byte values are held in the same
//           16-bit arrays (0..255);
//   anything else: raw (the bytes after the type signature).
struct ICCTag {
  uint32_t signature = 0;  // of the directory entry
  uint32_t type = 0;
  ICCArray<ICCXYZNumber> xyz;
  ICCArray<uint16_t> curve;
  std::string ascii;
  uint32_t unicodeLanguage = 0;
  std::vector<uint16_t> unicode;
  uint16_t scriptCode = 0;
  uint8_t scriptCount = 0;
  uint8_t script[67] = {};
  uint8_t inputChannels = 0, outputChannels = 0, gridPoints = 0;
  int32_t matrix[9] = {};
  uint16_t inputEntries = 0, outputEntries = 0;
  ICCArray<uint16_t> inputTables, grid, outputTables;
  ICCArray<uint8_t> raw;
};

// Reads and decodes the 128-byte header at the stream's position. kFormatErr
// for a file signature other than 'acsp', a device class other than scnr,
// mntr, prtr or link, or (except for link) a connection space other than
// XYZ or Lab; a short read gives the read status.
Status ICCReadHeader(Stream& s, ICCProfileHeader& header);

// Reads the tag directory (the stream positioned after the header). A count
// that cannot fit in the stream is kFormatErr; a short read the read status.
Status ICCReadTagTable(Stream& s, ICCTagDirectory& directory);

// Seeks to entry `entry` of the directory and decodes its tag. kBadArg for an
// entry outside the directory; kFormatErr for a tag that lies outside the
// stream, is shorter than its type needs or declares more than it holds;
// kNoMem when memory runs out.
Status ICCReadTag(Stream& s, const ICCTagDirectory& directory, uint32_t entry, ICCTag& tag);

// The index of the first directory entry with `signature`, or -1.
int32_t ICCFindTag(const ICCTagDirectory& directory, uint32_t signature);

// The description of the profile in an open stream (header, directory and
// the `desc` tag read from it), as Ui_ICC_GetProfileDesc below.
Status ICCReadProfileDesc(Stream& s, std::string& text);

// The profile's description: the ASCII text of its `desc` tag. Version 4
// profiles describe themselves with a multi-localised `mluc` tag instead; its
// first record is taken (characters outside ASCII become '?'). kFormatErr
// when there is no `desc` tag or it has another type; open and read errors
// as they come.
Status Ui_ICC_GetProfileDesc(const std::string& path, std::string& text);

// 0 when the header is valid, the class is scnr or mntr and the data colour
// space is RGB; kUnsupported for another class or colour space; header and
// file errors as returned.
Status Ui_ICC_CheckRgbInputProfile(const std::string& path);
