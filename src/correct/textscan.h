// Small helpers for the engine's text files (custom settings, memory
// colours, colour definitions): scanning numbers the way the C library's
// scan of "%d %f ..." does, without its undefined cases (out-of-range
// integers saturate), reading and writing lines on streams.
#pragma once

#include <string>

#include "base/status.h"
#include "base/stream.h"

namespace textscan {

// Longest line the readers accept (longer lines are split by the stream).
constexpr size_t kLineCapacity = 1024;

// Scans numbers from `line` by `kinds`, one letter per item: 'd' a decimal
// integer (saturated to 32 bits), 'f' a floating-point number. Leading
// blanks, tabs and line ends before each item are skipped. Returns the number
// of items read before the first that does not parse.
int ScanNumbers(const char* line, const char* kinds, double* out);

// Reads the next line into `line` without its terminator; kReadErr at the end.
Status ReadLine(Stream& s, std::string& line);
// A number as "%*.*f" writes it, but with '.' as the decimal point whatever
// the locale: `decimals` after the point, padded on the left to `width`.
std::string Fixed(double v, int decimals, int width = 0);
// Writes text as it stands (line feeds stay line feeds).
Status WriteText(Stream& s, const std::string& text);

}  // namespace textscan
