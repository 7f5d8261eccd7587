#include "prefs/prefs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "colormgmt/workingspaces.h"
#include "correct/brivio.h"
#include "correct/correctiontransform.h"
#include "correct/definitions.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/strings.h"
#include "base/uistate.h"

namespace {

// ---- the table: default, accepted values and fallback of every entry ------------

// Byte flags: accepted values 0 and 1.
struct FlagEntry {
  uint16_t id;
  uint8_t Prefs::*field;
  uint8_t def;
  uint8_t fallback;
};

// 32-bit integers. `any`: every value is accepted. `set`: only the listed values.
struct IntEntry {
  uint16_t id;
  int32_t Prefs::*field;
  IntParRange range;  // min, max, default
  int32_t fallback;
  bool any = false;
  const int32_t* set = nullptr;
  int setCount = 0;
};

struct FloatEntry {
  uint16_t id;
  float Prefs::*field;
  ParRange range;  // min, max, default
  float fallback;
};

struct TextEntry {
  uint16_t id;
  std::string Prefs::*field;
  uint32_t count;  // bytes in the file, the terminator included
};

// Colour definitions, RGB 0..1; out of range: all channels 0.5.
struct ColourEntry {
  uint16_t id;
  float (Prefs::*field)[3];
  int definitionKind;  // definitions.h: where the default comes from
};

const OutputNaming kNamingDefaults{};
constexpr int32_t kOutputFormats[] = {0, 1, 7, 9};
// Entry 133, the TIFF writer's compression: 1 none (what TIFF outputs always
// had), 5 LZW, 8 Deflate.
constexpr int32_t kTiffCompressions[] = {1, 5, 8};
// "Brivio Sets These" default 0xFE37 (65079) leaves out the gray point; the
// dialog's "Gray Point" box may add it, so every value up to 0xFE3F is kept.
constexpr int32_t kBrivioMaskDefault = 65079;
constexpr int32_t kBrivioMaskMax = 0xFE3F;
constexpr int32_t kBrivioPrefsMaskMax = 65056;
// The Brivio analysis (entry 130, beyond the ids older readers know, so they
// skip it). A fresh preferences file gets the default; a file written before
// the choice existed keeps Classic, the only analysis it knew.
constexpr int32_t kBrivioAnalysisDefault = (int32_t)BrivioAnalysis::kClassic;
constexpr int32_t kBrivioAnalysisOlderFiles = (int32_t)BrivioAnalysis::kClassic;
constexpr float kColourFallback = 0.5f;

const FlagEntry kFlags[] = {
    {50, &Prefs::liveSliders, 1, 1},
    {55, &Prefs::brivioMode, 1, 1},
    {58, &Prefs::interfaceFlag58, 0, 0},
    {59, &Prefs::showSampledRegion, 0, 0},
    {66, &Prefs::showNeutralsSliders, 1, 0},
    {67, &Prefs::showCurveControl, 1, 0},
    {69, &Prefs::showPixelValues, 1, 0},
    {71, &Prefs::embedProfile, 1, 1},
    {72, &Prefs::preserveExif, 1, 0},
    {73, &Prefs::sameFolder, kNamingDefaults.sameFolder, 1},
    {76, &Prefs::useExtensions, kNamingDefaults.useExtensions, 1},
    {77, &Prefs::lowerCase, kNamingDefaults.lowerCase, 1},
    {89, &Prefs::showStartUpGuide, 1, 1},
    {106, &Prefs::previewSharpening, 1, 1},
    {107, &Prefs::previewNoise, 1, 1},
    {112, &Prefs::showAddPrefs, 1, 1},
    {113, &Prefs::showSavePrefs, 1, 1},
    {114, &Prefs::showSyncPrefs, 1, 1},
    {116, &Prefs::syncColour, 1, 1},
    {117, &Prefs::syncFilters, 1, 1},
    {118, &Prefs::removeSaved, 1, 0},
    {131, &Prefs::rgbHistogram, 0, 0},
    {136, &Prefs::keepGray, 0, 0},
};

const IntEntry kInts[] = {
    {51, &Prefs::gridIndex, {0, (int32_t)std::size(kGridSizes) - 1, (int32_t)std::size(kGridSizes) - 1}, 7},
    {52, &Prefs::previewLayout, {0, 2, 2}, 0},
    {53, &Prefs::viewControl, {0, 2, 0}, 1},
    {56, &Prefs::imageAreaWidth, {0, 0, 0}, 0, true},
    {57, &Prefs::imageAreaHeight, {0, 0, 0}, 0, true},
    {61, &Prefs::toolTab, {0, 3, 0}, 0},
    {64, &Prefs::colourStartWith, {0, 3, 2}, 0},
    {70, &Prefs::workingSpace, {0, kWorkingSpaceCount - 1, kWorkingSpaceDefault}, kWorkingSpaceDefault},
    {79, &Prefs::noProfileAction, {0, 2, 1}, 1},
    {81, &Prefs::noProfileAnswer, {1, 2, 1}, 1},
    {83, &Prefs::embeddedAction, {0, 3, 3}, 3},
    {85, &Prefs::embeddedAnswer, {1, 3, 3}, 3},
    {88, &Prefs::outputFormat, {0, 9, 0}, 0, false, kOutputFormats, (int)std::size(kOutputFormats)},
    {96, &Prefs::naming, {kNamingSuffix, kNamingSame, kNamingDefaults.naming}, kNamingSuffix},
    {98, &Prefs::brivioMask, {0, kBrivioMaskMax, kBrivioMaskDefault}, kBrivioMaskDefault},
    {99, &Prefs::brivioPrefsMask, {0, kBrivioPrefsMaskMax, kBrivioPrefsMaskMax}, kBrivioPrefsMaskMax},
    {130, &Prefs::brivioAnalysis, {0, 1, kBrivioAnalysisDefault}, kBrivioAnalysisDefault},
    {133, &Prefs::tiffCompression, {1, 8, 1}, 1, false, kTiffCompressions, (int)std::size(kTiffCompressions)},
    {115, &Prefs::startTab, {0, 4, 1}, 1},
    {119, &Prefs::batchlineExtraHeight, {0, 0, 0}, 0, true},
};

const FloatEntry kFloats[] = {
    {54, &Prefs::brivioSaturation, {0.0f, 1.0f, 0.8f}, 0.8f},
    {78, &Prefs::jpegQuality, {0.0f, 1.0f, 1.0f}, 1.0f},
};

const TextEntry kTexts[] = {
    {74, &Prefs::outputFolder, kPrefsPathCount},  {75, &Prefs::suffix, kPrefsAffixCount},
    {80, &Prefs::noProfilePath, kPrefsPathCount}, {82, &Prefs::noProfileAnswerPath, kPrefsPathCount},
    {84, &Prefs::embeddedPath, kPrefsPathCount},  {86, &Prefs::embeddedAnswerPath, kPrefsPathCount},
    {90, &Prefs::saveAsFolder, kPrefsPathCount},  {91, &Prefs::addFolder, kPrefsPathCount},
    {94, &Prefs::customName, kPrefsPathCount},    {95, &Prefs::customPath, kPrefsPathCount},
    {97, &Prefs::prefix, kPrefsAffixCount},       {111, &Prefs::resumeFolder, kPrefsPathCount},
    {134, &Prefs::grayProfilePath, kPrefsPathCount}, {135, &Prefs::cmykProfilePath, kPrefsPathCount},
};

const ColourEntry kColours[] = {
    {104, &Prefs::sepia, kDefinitionSepia},
    {105, &Prefs::toning, kDefinitionToning},
    {108, &Prefs::grayscale, kDefinitionGrayscale},
};

// Entries with their own handling.
enum : uint16_t {
  kIdOldMemoryColours = 60,
  kIdMemoryColours = 62,
  kIdMemoryColourNames = 63,
  kIdInterfaceFlag68 = 68,
  kIdOldCustom = 93,
  kIdOldPrevious = 100,
  kIdSharpen = 102,
  kIdNoise = 103,
  kIdCustom = 109,
  kIdPrevious = 110,
  kIdRecentFiles = 132,
};

template <class T, size_t N>
const T* Find(const T (&table)[N], uint16_t id) {
  for (const T& e : table)
    if (e.id == id) return &e;
  return nullptr;
}

bool IntAccepted(const IntEntry& e, int32_t v) {
  if (e.any) return true;
  if (e.set) {
    for (int i = 0; i < e.setCount; ++i)
      if (e.set[i] == v) return true;
    return false;
  }
  return e.range.Contains(v);
}

Status DefaultColour(int kind, float rgb[3]) {
  DefinitionKindInfo info;
  if (Status st = GetDefinitionKind(kind, &info); st != kOk) return st;
  std::memcpy(rgb, info.defaultColour, sizeof info.defaultColour);
  return kOk;
}

Status DefaultRecord(TavelinPars* pars) { return InitTavelinPars(pars); }

// ---- reading the special entries ------------------------------------------------------

// Fixed-count text: the last byte forced to zero.
std::string TextOf(const PrefsData& d) {
  std::string bytes(reinterpret_cast<const char*>(d.Bytes()), d.count);
  if (!bytes.empty()) bytes.back() = 0;
  return std::string(bytes.c_str());
}

Status ReadRecord(TavelinPars& field, const PrefsData& d, bool olderForms) {
  const int count = (int)d.count;
  if (count != kParVectorCount && !(olderForms && count == kParVectorCountOld)) return kFormatErr;
  std::vector<float> v(count);
  for (int i = 0; i < count; ++i) v[i] = d.Float(i);
  // The 609-value form keeps the filter fields the record has.
  TavelinPars pars = field;
  Status st = DecodeTavelinPars(v.data(), count, &pars);
  if (st != kOk && st != kUnsupported) return st;
  if (ValidateTavelinPars(&pars) != kOk) {
    DLog("editPars prefs record invalid after decoding; using defaults");
    DefaultRecord(&pars);
    st = kUnsupported;
  }
  field = pars;
  return st;
}

Status ReadMemoryColourNames(Prefs& prefs, const PrefsData& d) {
  if (d.count != kMemoryColourNamesCount) return kFormatErr;
  const char* p = reinterpret_cast<const char*>(d.Bytes());
  for (MemoryColour& c : prefs.memoryColours) {
    std::memcpy(c.name, p, sizeof c.name);
    c.name[sizeof c.name - 1] = 0;
    std::memcpy(c.label, p + sizeof c.name, sizeof c.label);
    c.label[sizeof c.label - 1] = 0;
    p += sizeof c.name + sizeof c.label;
  }
  return kOk;
}

Status ReadSharpen(Prefs& prefs, const PrefsData& d) {
  if (d.count != 3) return kFormatErr;
  SharpenPrefs s;
  Status st = kOk;
  s.on = d.Int32(0) != 0;
  s.strength = d.Int32(1);
  s.aux = d.Int32(2);
  if (!kParSharpenStrength.Contains(s.strength)) {
    s.strength = kParSharpenStrength.reset;
    st = kUnsupported;
  }
  if (s.aux != kParSharpenChannelMode.reset) {
    s.aux = kParSharpenChannelMode.reset;
    st = kUnsupported;
  }
  prefs.sharpen = s;
  return st;
}

Status ReadNoise(Prefs& prefs, const PrefsData& d) {
  if (d.count != 9) return kFormatErr;
  const NoisePrefs defaults;
  NoisePrefs n;
  Status st = kOk;
  auto take = [&](bool ok, int32_t value, int32_t fallback) {
    if (ok) return value;
    st = kUnsupported;
    return fallback;
  };
  int32_t v[9];
  for (int i = 0; i < 9; ++i) v[i] = d.Int32(i);
  n.on = v[0] != 0;
  n.aux = take(v[1] == 0 || v[1] == 1, v[1], defaults.aux);
  n.radius[0] = take(v[2] == 0, v[2], 0);
  for (int c = 1; c < 3; ++c) n.radius[c] = take(kPrefsNoiseRadius.Contains(v[2 + c]), v[2 + c], defaults.radius[c]);
  n.threshold[0] = take(v[5] == 0, v[5], 0);
  for (int c = 1; c < 3; ++c)
    n.threshold[c] = take(kPrefsNoiseThreshold.Contains(v[5 + c]), v[5 + c], kPrefsNoiseThreshold.reset);
  n.shape = take(v[8] == kParNoiseShape.reset, v[8], kParNoiseShape.reset);
  prefs.noise = n;
  return st;
}

// Zero-terminated paths one after the other. A list longer than the writer
// makes is refused whole (the list starts empty); a path too long for a path
// field, or an empty one, is left out.
Status ReadRecentFiles(Prefs& prefs, const PrefsData& d) {
  prefs.recentFiles.clear();
  if (d.type != kPrefsByte || d.count > kRecentFilesMax * kPrefsPathCount) return kUnsupported;
  const char* p = reinterpret_cast<const char*>(d.Bytes());
  size_t start = 0;
  for (size_t i = 0; i < d.count; ++i) {
    if (p[i] != 0) continue;
    const std::string path(p + start, i - start);
    start = i + 1;
    if (path.empty() || path.size() >= kPrefsPathCount || prefs.recentFiles.size() >= kRecentFilesMax) continue;
    if (std::find(prefs.recentFiles.begin(), prefs.recentFiles.end(), path) == prefs.recentFiles.end())
      prefs.recentFiles.push_back(path);
  }
  return kOk;
}

Status ReadSpecial(Prefs& prefs, uint16_t id, const PrefsData& d) {
  switch (id) {
    case kIdOldMemoryColours:
    case kIdMemoryColours: {
      const int want = id == kIdMemoryColours ? kMemoryColourVectorCount : kMemoryColourVectorCountOld;
      if ((int)d.count != want) return kFormatErr;
      float v[kMemoryColourVectorCount];
      for (int i = 0; i < want; ++i) v[i] = d.Float(i);
      return DecodeMemoryColours(v, want, prefs.memoryColours);
    }
    case kIdMemoryColourNames: return ReadMemoryColourNames(prefs, d);
    case kIdInterfaceFlag68:
      if (d.count != 1) return kFormatErr;
      prefs.interfaceFlag68 = 1;
      return kOk;
    case kIdOldCustom: return ReadRecord(prefs.custom, d, true);
    case kIdOldPrevious: return ReadRecord(prefs.previous, d, true);
    case kIdCustom: return ReadRecord(prefs.custom, d, false);
    case kIdPrevious: return ReadRecord(prefs.previous, d, false);
    case kIdSharpen: return ReadSharpen(prefs, d);
    case kIdNoise: return ReadNoise(prefs, d);
    case kIdRecentFiles: return ReadRecentFiles(prefs, d);
    default: return kOk;  // not ours
  }
}

// ---- writing --------------------------------------------------------------------------

Status WriteInt32(UiState* state, Stream& s, uint16_t id, const int32_t* values, uint32_t count) {
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsInt32, count, values);
}

Status WriteRecord(UiState* state, Stream& s, uint16_t id, const TavelinPars& pars) {
  float v[kParVectorCount];
  if (Status st = EncodeTavelinPars(&pars, v, kParVectorCount); st != kOk) return st;
  return Ui_Prefs_WriteEntry(state, s, id, kPrefsBinaryFloat, kParVectorCount, v);
}

Status WriteEntry(UiState* state, const Prefs& prefs, Stream& s, uint16_t id) {
  if (const FlagEntry* e = Find(kFlags, id)) return Ui_Prefs_WriteByte(state, s, id, prefs.*(e->field));
  if (const IntEntry* e = Find(kInts, id)) return WriteInt32(state, s, id, &(prefs.*(e->field)), 1);
  if (const FloatEntry* e = Find(kFloats, id)) return Ui_Prefs_WriteFloat(state, s, id, prefs.*(e->field));
  if (const TextEntry* e = Find(kTexts, id)) {
    const std::string& text = prefs.*(e->field);
    if (e->count == kPrefsPathCount && text.size() >= kPrefsPathCount) {
      DLog("preference %d: path too long to store, written empty: %s", id, text.c_str());
      return Ui_Prefs_WriteText(state, s, id, std::string(), e->count);
    }
    return Ui_Prefs_WriteText(state, s, id, text, e->count);
  }
  if (const ColourEntry* e = Find(kColours, id))
    return Ui_Prefs_WriteEntry(state, s, id, kPrefsBinaryFloat, 3, prefs.*(e->field));
  switch (id) {
    case kIdMemoryColours: {
      float v[kMemoryColourVectorCount];
      if (Status st = EncodeMemoryColours(prefs.memoryColours, v, kMemoryColourVectorCount); st != kOk) return st;
      return Ui_Prefs_WriteEntry(state, s, id, kPrefsBinaryFloat, kMemoryColourVectorCount, v);
    }
    case kIdMemoryColourNames: {
      uint8_t bytes[kMemoryColourNamesCount] = {};
      uint8_t* p = bytes;
      for (const MemoryColour& c : prefs.memoryColours) {
        std::memcpy(p, c.name, sizeof c.name);
        p[sizeof c.name - 1] = 0;
        std::memcpy(p + sizeof c.name, c.label, sizeof c.label);
        p[sizeof c.name + sizeof c.label - 1] = 0;
        p += sizeof c.name + sizeof c.label;
      }
      return Ui_Prefs_WriteEntry(state, s, id, kPrefsByte, kMemoryColourNamesCount, bytes);
    }
    case kIdInterfaceFlag68: return Ui_Prefs_WriteByte(state, s, id, prefs.interfaceFlag68);
    case kIdCustom: return WriteRecord(state, s, id, prefs.custom);
    case kIdPrevious: return WriteRecord(state, s, id, prefs.previous);
    case kIdSharpen: {
      const int32_t v[3] = {prefs.sharpen.on, prefs.sharpen.strength, prefs.sharpen.aux};
      return WriteInt32(state, s, id, v, 3);
    }
    case kIdRecentFiles: {
      std::vector<uint8_t> bytes;
      for (const std::string& path : prefs.recentFiles) {
        if (path.empty() || path.size() >= kPrefsPathCount || path.find('\0') != std::string::npos) continue;
        bytes.insert(bytes.end(), path.begin(), path.end());
        bytes.push_back(0);
      }
      return Ui_Prefs_WriteEntry(state, s, id, kPrefsByte, (uint32_t)bytes.size(), bytes.data());
    }
    case kIdNoise: {
      const NoisePrefs& n = prefs.noise;
      const int32_t v[9] = {n.on,           n.aux,          n.radius[0],    n.radius[1], n.radius[2],
                            n.threshold[0], n.threshold[1], n.threshold[2], n.shape};
      return WriteInt32(state, s, id, v, 9);
    }
    default: return kBadArg;  // an id in the writing order without a row: a programming error
  }
}

}  // namespace

const uint16_t kPrefsWriteOrder[] = {55, 52, 95, 94, 58, 56, 57, 119, 61, 109, 110, 83, 85, 84, 86, 71,
                                     115, 53, 64, 111, 78, 72, 77, 99, 63, 62, 79, 81, 80, 82, 107, 106,
                                     50, 91, 51, 103, 118, 105, 108, 104, 54, 90, 74, 73, 88, 96, 97, 75,
                                     102, 66, 67, 68, 69, 59, 112, 113, 114, 89, 98, 130, 116, 117, 76, 131,
                                     132, 133, 134, 135, 136, 70};
const int kPrefsWriteOrderCount = (int)std::size(kPrefsWriteOrder);

Prefs& AppPrefs() {
  static Prefs* prefs = [] {
    static Prefs p;
    ResetPrefs(&p);
    return &p;
  }();
  return *prefs;
}

bool PrefsIntRange(uint16_t id, IntParRange* range) {
  for (const IntEntry& e : kInts)
    if (e.id == id) return *range = e.range, true;
  return false;
}

bool PrefsFloatRange(uint16_t id, ParRange* range) {
  for (const FloatEntry& e : kFloats)
    if (e.id == id) return *range = e.range, true;
  return false;
}

const Prefs& PrefsDefaults() {
  static const Prefs defaults = [] {
    Prefs p;
    ResetPrefs(&p);
    return p;
  }();
  return defaults;
}

Status ResetPrefs(Prefs* prefs) {
  if (!prefs) return kBadArg;
  for (const FlagEntry& e : kFlags) prefs->*(e.field) = e.def;
  for (const IntEntry& e : kInts) prefs->*(e.field) = e.range.reset;
  for (const FloatEntry& e : kFloats) prefs->*(e.field) = e.range.reset;
  for (const TextEntry& e : kTexts) (prefs->*(e.field)).clear();
  prefs->suffix = kNamingDefaults.suffix;
  prefs->prefix = kNamingDefaults.prefix;
  for (const ColourEntry& e : kColours) DefaultColour(e.definitionKind, prefs->*(e.field));
  DefaultColour(kDefinitionNeutral, prefs->neutral);
  for (int slot = 0; slot < kMemoryColourSlots; ++slot) DefaultMemoryColour(slot, &prefs->memoryColours[slot]);
  prefs->interfaceFlag68 = 1;
  prefs->filterStartWith = 2;
  prefs->recentFiles.clear();
  prefs->sharpen = SharpenPrefs{};
  prefs->noise = NoisePrefs{};
  FillRefRGB(kWorkingSpaceDefault, &prefs->workingRef);
  if (Status st = DefaultRecord(&prefs->custom); st != kOk) return st;
  return DefaultRecord(&prefs->previous);
}

Status ReadPrefsEntry(Prefs& prefs, uint16_t id, const PrefsData& d) {
  // The version entry opens every file: from here on the file says which
  // analysis it holds, and one without entry 130 is older than the choice.
  if (id == kPrefsEntryVersion) prefs.brivioAnalysis = kBrivioAnalysisOlderFiles;
  if (const FlagEntry* e = Find(kFlags, id)) {
    if (d.count != 1) return kFormatErr;
    const uint8_t v = d.Bytes()[0];
    prefs.*(e->field) = v <= 1 ? v : e->fallback;
    return v <= 1 ? kOk : kUnsupported;
  }
  if (const IntEntry* e = Find(kInts, id)) {
    if (d.count != 1) return kFormatErr;
    const int32_t v = d.Int32(0);
    const bool ok = IntAccepted(*e, v);
    prefs.*(e->field) = ok ? v : e->fallback;
    return ok ? kOk : kUnsupported;
  }
  if (const FloatEntry* e = Find(kFloats, id)) {
    if (d.count != 1) return kFormatErr;
    const float v = d.Float(0);
    const bool ok = e->range.Contains(v);
    prefs.*(e->field) = ok ? v : e->fallback;
    return ok ? kOk : kUnsupported;
  }
  if (const TextEntry* e = Find(kTexts, id)) {
    if (d.count != e->count) return kFormatErr;
    std::string text = TextOf(d);
    // The suffix and prefix accept what typing accepts.
    if (e->count == kPrefsAffixCount) text = FilterNameAffix(text);
    prefs.*(e->field) = std::move(text);
    return kOk;
  }
  if (const ColourEntry* e = Find(kColours, id)) {
    if (d.count != 3) return kFormatErr;
    const float rgb[3] = {d.Float(0), d.Float(1), d.Float(2)};
    float* field = prefs.*(e->field);
    if (kParToneColor.Contains(rgb[0]) && kParToneColor.Contains(rgb[1]) && kParToneColor.Contains(rgb[2])) {
      std::memcpy(field, rgb, sizeof rgb);
      return kOk;
    }
    DLog("RGB value in the preferences file is invalid: %f %f %f", rgb[0], rgb[1], rgb[2]);
    field[0] = field[1] = field[2] = kColourFallback;
    return kUnsupported;
  }
  return ReadSpecial(prefs, id, d);
}

Status WritePrefsEntries(UiState* state, const Prefs& prefs, Stream& s) {
  for (uint16_t id : kPrefsWriteOrder)
    if (Status st = WriteEntry(state, prefs, s, id); st != kOk) return st;
  return kOk;
}

namespace {

Status ReadIntoRecord(Prefs& prefs, uint16_t id, const PrefsData& data) {
  const Status st = ReadPrefsEntry(prefs, id, data);
  if (st == kUnsupported) {
    ReportError(kUnsupported, Phrase(3027, (int)id));
    return kOk;
  }
  if (st != kOk) ReportError(st, Phrase(3026, (int)id));
  return st;
}

Status WriteRecord(UiState* state, Prefs& prefs, Stream& s) {
  if (Status st = RefreshWorkingSpaceRef(prefs); st != kOk)
    DLog("writePrefsCallback: working space %d reference values not refreshed (%d)", prefs.workingSpace, (int)st);
  return WritePrefsEntries(state, prefs, s);
}

}  // namespace

Status readPrefsCallback(UiState*, uint16_t id, const PrefsData& data) { return ReadIntoRecord(AppPrefs(), id, data); }

Status writePrefsCallback(UiState* state, Stream& s) { return WriteRecord(state, AppPrefs(), s); }

Status PrefsFilePath(const UiState* state, std::string& path) {
  std::string folder;
  if (Ui_Path_SetToPrefFolder(state, folder) != kOk && Ui_Path_SetToCurrentFolder(folder) != kOk) return kSysErr;
  path = folder + ResString(1003);
  return kOk;
}

Status ReadPreferences(UiState* state, const std::string& path, Prefs& prefs) {
  const Status st = Ui_Prefs_ReadAll(
      state, path, kPrefsFileInfo,
      [&prefs](UiState*, uint16_t id, const PrefsData& data) { return ReadIntoRecord(prefs, id, data); },
      [&prefs](UiState* st, Stream& s) { return WriteRecord(st, prefs, s); });
  if (state) {
    state->appendExtension = prefs.useExtensions;
    state->lowerCaseExtension = prefs.lowerCase;
  }
  RefreshWorkingSpaceRef(prefs);
  return st;
}

Status WritePreferences(UiState* state, const std::string& path, Prefs& prefs) {
  return Ui_Prefs_WriteAll(state, path, kPrefsFileInfo,
                           [&prefs](UiState* st, Stream& s) { return WriteRecord(st, prefs, s); });
}

Status ReadPreferences(UiState* state, const std::string& path) { return ReadPreferences(state, path, AppPrefs()); }

Status WritePreferences(UiState* state, const std::string& path) { return WritePreferences(state, path, AppPrefs()); }

Status SetPrefsPath(std::string& field, const std::string& path) {
  if (path.size() < kPrefsPathCount && path.find('\0') == std::string::npos) {
    field = path;
    return kOk;
  }
  ReportError(kBadArg, nullptr, Phrase(9100, LeafName(path).c_str()).c_str());
  return kBadArg;
}

Status GetOutputNaming(const Prefs& prefs, OutputNaming* naming) {
  if (!naming) return kBadArg;
  naming->sameFolder = prefs.sameFolder != 0;
  naming->folder = prefs.outputFolder;
  if (!naming->folder.empty() && naming->folder.back() != '/') naming->folder += '/';
  naming->naming = prefs.naming;
  naming->suffix = prefs.suffix;
  naming->prefix = prefs.prefix;
  naming->useExtensions = prefs.useExtensions != 0;
  naming->lowerCase = prefs.lowerCase != 0;
  return kOk;
}

Status RefreshWorkingSpaceRef(Prefs& prefs) {
  RefRGB ref;
  if (Status st = FillRefRGB(prefs.workingSpace, &ref); st != kOk) return st;
  if (Status st = ValidateRefRGB(&ref); st != kOk) return st;
  prefs.workingRef = ref;
  return kOk;
}

void AddRecentFile(Prefs& prefs, const std::string& path) {
  if (path.empty() || path.size() >= kPrefsPathCount || path.find('\0') != std::string::npos) return;
  std::vector<std::string>& list = prefs.recentFiles;
  list.erase(std::remove(list.begin(), list.end(), path), list.end());
  list.insert(list.begin(), path);
  if (list.size() > kRecentFilesMax) list.resize(kRecentFilesMax);
}

int32_t PrefsGridIndex(const Prefs& prefs) { return UsableGridIndex(prefs.gridIndex); }
