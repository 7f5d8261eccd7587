// The preference record: every user preference of the application in one
// process-wide record (AppPrefs), its defaults, the accepted values and the
// fallbacks of every entry of the preferences file, and the two callbacks
// that map entry ids (50..119 and 130..136) onto the record for the container of
// prefsfile.h (50..119 as the file has always held them; 130 the Brivio analysis,
// 131 and 132 the editing window's own, 133 the TIFF writer's compression,
// 134..136 gray and CMYK inputs). The table in prefs.cpp is the one place for each entry's
// default, range and fallback; where an entry is a field of the correction
// engine (filter settings, colour definitions, memory colours, correction
// records) its constants come from there.
//
// Start-up calls ResetPrefs, then ReadPreferences; the end of the run and
// every confirmed preference dialog call WritePreferences. Reading a value
// out of range stores the entry's fallback and shows one warning (status -9,
// "reading preference %d, using default value"); reading goes on. A wrong
// element count, or any other failure, is reported ("reading preference %d")
// and ends the reading. Unknown ids are skipped without a message.
//
// Texts are std::string; the file holds paths in 256-byte fields and the
// suffix and prefix in 20-byte fields. A path that does not fit is refused by
// SetPrefsPath with a message and never cut; should one reach the writer
// anyway it is stored empty (and logged).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "correct/memorycolours.h"
#include "correct/tavelinpars.h"
#include "prefs/prefsfile.h"
#include "base/naming.h"
#include "base/status.h"

struct UiState;

constexpr int32_t kPrefsFileInfo = 131;  // handed to Ui_File_SetInfo
constexpr uint32_t kPrefsPathCount = 256;
constexpr uint32_t kPrefsAffixCount = 20;
constexpr int kWorkingSpaceDefault = kDefaultWorkingSpace;  // "sRGB IEC61966-2.1"
constexpr uint32_t kMemoryColourNamesCount = 138;  // entry 63: six × (20 + zero, 1 + zero)

// Entry 102: the editing window's sharpening settings.
struct SharpenPrefs {
  uint8_t on = 0;
  int32_t strength = kParSharpenStrength.reset;  // 1..24
  int32_t aux = kParSharpenChannelMode.reset;    // must be -1
};
// Entry 103: the editing window's noise-removal settings, as stored:
// on, aux (0/1), radius Y (0), U, V (3..16), threshold Y (0), U, V (1..50), shape (4).
inline constexpr IntParRange kPrefsNoiseRadius{kNoiseRadiusMinOn, kParNoiseRadius.max, 0};
inline constexpr IntParRange kPrefsNoiseThreshold{1, 50, 16};
struct NoisePrefs {
  uint8_t on = 0;
  int32_t aux = kDenoiseAuxDefault;
  int32_t radius[3] = {kNoiseRadiusDefault[0], kNoiseRadiusDefault[1], kNoiseRadiusDefault[2]};
  int32_t threshold[3] = {kNoiseThresholdDefault[0], kNoiseThresholdDefault[1], kNoiseThresholdDefault[2]};
  int32_t shape = kParNoiseShape.reset;
};

// Field defaults are placeholders: ResetPrefs sets every field from the table.
struct Prefs {
  uint8_t liveSliders = 0;            // 50
  int32_t gridIndex = 0;              // 51: colour conversions and Brivio analysis, 0..7
  int32_t previewLayout = 0;          // 52: 0..2
  int32_t viewControl = 0;            // 53: 0, 1, 2
  float brivioSaturation = 0;         // 54: 0..1
  uint8_t brivioMode = 0;             // 55
  int32_t imageAreaWidth = 0;         // 56
  int32_t imageAreaHeight = 0;        // 57
  uint8_t interfaceFlag58 = 0;        // 58: cleared by the dialog's Restore Defaults
  uint8_t showSampledRegion = 0;      // 59
  int32_t toolTab = 0;                // 61: 0..3
  MemoryColour memoryColours[kMemoryColourSlots] = {};  // 62 numbers, 63 names and labels (60: older numbers)
  int32_t colourStartWith = 0;        // 64: 0 Brivio, 1 previous, 2 reset, 3 custom
  int32_t filterStartWith = 0;        // not stored: 1 previous, 3 custom, otherwise defaults
  uint8_t showNeutralsSliders = 0;    // 66
  uint8_t showCurveControl = 0;       // 67
  uint8_t interfaceFlag68 = 0;        // 68: always 1 after reading
  uint8_t showPixelValues = 0;        // 69
  int32_t workingSpace = 0;           // 70: 0..14
  RefRGB workingRef = {};             // the current working space's reference values (not stored)
  uint8_t embedProfile = 0;           // 71
  uint8_t preserveExif = 0;           // 72
  uint8_t sameFolder = 0;             // 73
  std::string outputFolder;           // 74
  std::string suffix;                 // 75
  uint8_t useExtensions = 0;          // 76
  uint8_t lowerCase = 0;              // 77
  float jpegQuality = 0;              // 78: 0..1
  int32_t noProfileAction = 0;        // 79: 0 ask, 1 assign, 2 convert with 80
  std::string noProfilePath;          // 80
  int32_t noProfileAnswer = 0;        // 81: 1..2
  std::string noProfileAnswerPath;    // 82
  int32_t embeddedAction = 0;         // 83: 0 ask, 1 assign, 2 convert with 84, 3 use it
  std::string embeddedPath;           // 84
  int32_t embeddedAnswer = 0;         // 85: 1..3
  std::string embeddedAnswerPath;     // 86
  int32_t outputFormat = 0;           // 88: 0 same, 1 TIFF, 7 BMP, 9 JPEG
  uint8_t showStartUpGuide = 0;       // 89
  std::string saveAsFolder;           // 90
  std::string addFolder;              // 91
  std::string customName;             // 94
  std::string customPath;             // 95
  int32_t naming = 0;                 // 96: OutputNamingMode
  std::string prefix;                 // 97
  int32_t brivioMask = 0;             // 98: at most 0xFE3F (default 65079, gray point off)
  int32_t brivioPrefsMask = 0;        // 99: at most 65056
  int32_t brivioAnalysis = 0;         // 130: BrivioAnalysis, 0 Classic, 1 Adaptive
  SharpenPrefs sharpen;               // 102
  NoisePrefs noise;                   // 103
  float sepia[3] = {};                // 104
  float toning[3] = {};               // 105
  uint8_t previewSharpening = 0;      // 106
  uint8_t previewNoise = 0;           // 107
  float grayscale[3] = {};            // 108
  float neutral[3] = {};              // not stored: the preferred neutral as edited (record's neutralPref)
  TavelinPars custom = {};            // 109 (93 older)
  TavelinPars previous = {};          // 110 (100 older)
  std::string resumeFolder;           // 111
  uint8_t showAddPrefs = 0;           // 112
  uint8_t showSavePrefs = 0;          // 113
  uint8_t showSyncPrefs = 0;          // 114
  int32_t startTab = 0;               // 115: stored tab + 1, 0 = the last used tab
  uint8_t syncColour = 0;             // 116
  uint8_t syncFilters = 0;            // 117
  uint8_t removeSaved = 0;            // 118
  int32_t batchlineExtraHeight = 0;   // 119
  uint8_t rgbHistogram = 0;           // 131: the levels panel shows the R, G and B histograms too
  int32_t tiffCompression = 0;        // 133: TIFF outputs: 1 none, 5 LZW, 8 Deflate
  // 132: File > Open Recent, newest first: at most kRecentFilesMax paths
  // (images and job files), each shorter than a path field; stored as one
  // byte entry, every path followed by a zero byte.
  std::vector<std::string> recentFiles;
  // Gray and CMYK inputs are converted into the working space through the
  // profile they embed, else these (colormgmt/inputcolour.h).
  std::string grayProfilePath;        // 134: empty: the built-in gray (sRGB tone curve)
  std::string cmykProfilePath;        // 135: empty: the installed default CMYK profile
  uint8_t keepGray = 0;               // 136: a gray input is saved as gray (where the format holds it)
};

constexpr size_t kRecentFilesMax = 10;
// Puts `path` first in the recent files (once; the oldest falls off past
// kRecentFilesMax). A path the file could not hold is left out.
void AddRecentFile(Prefs& prefs, const std::string& path);

// The process-wide record.
Prefs& AppPrefs();
// The grid index the preferences give for colour conversions, correction
// transforms and Brivio: the stored one, or the default when out of 0..7.
int32_t PrefsGridIndex(const Prefs& prefs);
// Every preference to its default.
Status ResetPrefs(Prefs* prefs);
// A record holding every default (for Restore Defaults and comparisons).
const Prefs& PrefsDefaults();
// The range and default of a number entry of the table (the command line's
// options take theirs from here); false for an id that is not one.
bool PrefsIntRange(uint16_t id, IntParRange* range);
bool PrefsFloatRange(uint16_t id, ParRange* range);

// One entry into the record: kOk; kUnsupported when a value was out of range
// and its fallback stored; kFormatErr for a wrong element count. Ids outside
// the table are ignored (kOk).
Status ReadPrefsEntry(Prefs& prefs, uint16_t id, const PrefsData& data);
// Every application entry in the writing order, stopping at the first failure.
Status WritePrefsEntries(UiState* state, const Prefs& prefs, Stream& s);
// The ids in the order the writer writes them (67 entries).
extern const uint16_t kPrefsWriteOrder[];
extern const int kPrefsWriteOrderCount;

// The callbacks of Ui_Prefs_ReadAll / Ui_Prefs_WriteAll, on AppPrefs().
// readPrefsCallback turns kUnsupported into the warning and returns 0; any
// other failure is reported and returned. writePrefsCallback refreshes the
// working-space reference values first.
Status readPrefsCallback(UiState* state, uint16_t id, const PrefsData& data);
Status writePrefsCallback(UiState* state, Stream& s);

// The preferences file: the preferences folder followed by "TavelinMarvet Prefs".
Status PrefsFilePath(const UiState* state, std::string& path);
// Ui_Prefs_ReadAll with the callbacks (a missing file is written from the
// record), then preferences 76 and 77 into the state. Reports nothing itself
// beyond the callbacks' reports: start-up reports a failure.
// The forms without a record work on AppPrefs().
Status ReadPreferences(UiState* state, const std::string& path, Prefs& prefs);
Status WritePreferences(UiState* state, const std::string& path, Prefs& prefs);
Status ReadPreferences(UiState* state, const std::string& path);
Status WritePreferences(UiState* state, const std::string& path);

// Stores a path into a field of the record; a path that the 256-byte field
// cannot hold is refused with a message (kBadArg), the field unchanged.
Status SetPrefsPath(std::string& field, const std::string& path);

// The save-naming preferences (73, 74, 96, 75, 97, 76, 77) for the naming rules.
Status GetOutputNaming(const Prefs& prefs, OutputNaming* naming);

// Refreshes prefs.workingRef from the working-space table row of the current
// index. An index outside 0..14 keeps the stored values and answers kBadArg.
Status RefreshWorkingSpaceRef(Prefs& prefs);
