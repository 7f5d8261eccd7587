// Colour definitions: the four colours that shape what neutral and toned
// mean, each an RGB triple 0..1 in the working space, (0.5, 0.5, 0.5) = no
// cast. Kind 0 the preferred neutral (preferences; turned into the record's
// neutralPref), 1 the grayscale definition and 2 the sepia definition
// (preferences; used by 'B/W' and 'Sepia'), 3 the toning colour (the
// record's toneColor). The "Define Color" window comes with the GUI; this
// module owns the kinds' defaults and texts and the definition file.
//
// Definition file: one line "%d %d %d\n", the slider positions (-100..100)
// for R, G and B; value = (p + 100) / 200, position = trunc(200 v + 0.5) - 100.
#pragma once

#include "base/status.h"
#include "base/stream.h"

enum DefinitionKind : int {
  kDefinitionNeutral = 0,
  kDefinitionGrayscale = 1,
  kDefinitionSepia = 2,
  kDefinitionToning = 3,
};
constexpr int kDefinitionKinds = 4;

struct DefinitionKindInfo {
  float defaultColour[3];
  int titleId;       // string-table id of the window title
  int fileNameId;    // the default file name
  int loadPromptId;  // the Load chooser's prompt
};
// kBadArg for a kind outside 0..3.
Status GetDefinitionKind(int kind, DefinitionKindInfo* info);

// Slider position <-> channel value.
float DefinitionValue(int position);     // (p + 100) / 200 clamped to 0..1
int DefinitionPosition(float value);     // trunc(200 v ± 0.5) - 100, half away from zero

// Reads the first line: three integers in -100..100, else kFormatErr (rgb unchanged).
Status ReadDefinitionFile(const StreamLocation& where, float rgb[3]);
// Writes the three positions; kBadArg for values outside 0..1.
Status WriteDefinitionFile(const StreamLocation& where, const float rgb[3]);
