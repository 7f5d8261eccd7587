// The custom settings file: a plain text form of a correction record written
// by "Save Custom..." and read by "Load Custom Settings...". Lines end in a
// line feed; numbers are written with six decimals ("%f") and as integers
// ("%d"), always with '.' as the decimal point.
//
//   "v5"                                  version mark (absent in old files)
//   linear
//   20 × "sumR sumG sumB count"           balBin
//   "black gray white"
//   "brightness shadow highlight contrast saturation"
//   6 × ("baseHue hueShift brightness saturation handleId", 20 × hueBin)
//   "gamma whiteX whiteY whiteZ"
//   "xR yR xG yG xB yB"
//   "chroma hue hueSlope"                 neutralPref (v5 only)
//   "toneR toneG toneB"                   toneColor (v5 only)
//
// The filter fields are not part of the file. Reading replaces the record
// only when the whole file was read and the result is valid; otherwise the
// record is left as it was.
#pragma once

#include "correct/tavelinpars.h"
#include "base/status.h"
#include "base/stream.h"

// Writes the record's file; the status of a failing open or write.
Status WriteCustomSettings(const TavelinPars* pars, const StreamLocation& where);
// Reads a file of either form into the record: everything but the filter
// fields is reset, then read; old files keep neutralPref and toneColor at
// their reset values. kFormatErr for a short or malformed line, the read or
// open status otherwise, kBadArg when what was read fails ValidateTavelinPars
// or its working space cannot be formed; the record is unchanged on any failure.
Status ReadCustomSettings(TavelinPars* pars, const StreamLocation& where);
