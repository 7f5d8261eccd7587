// The batch commands' options, in one table: the parser (getopt_long), the
// help text, the man page and the bash completion are all made from it, so
// they cannot disagree. Ranges and defaults that are preferences come from
// the preferences table (prefs.h), the one owner of each setting.
#pragma once

#include <cstdio>
#include <string>

// Which commands take an option.
enum CliCommand : unsigned {
  kCmdCorrect = 1,   // correct IN...
  kCmdJobSave = 2,   // job save JOBFILE IN...
  kCmdJobRun = 4,    // job run JOBFILE, job unfinished --resume
};

struct CliOption {
  const char* name;      // long name, without "--"
  int key;               // the short letter, or a number >= 256 for long-only options
  int argument;          // no_argument, required_argument, optional_argument
  const char* argName;   // "DIR", "N", ... (nullptr without one)
  unsigned commands;     // CliCommand bits
  const char* help;      // what it does (may hold %d for the default, see `defaultOf`)
  const char* example;   // "correct --out done/ *.jpg" (after "tavelin-cli ")
};

const CliOption* CliOptions();
int CliOptionCount();

// The JPEG quality's default and range in percent, from the preferences table.
int CliQualityDefault();
constexpr int kCliQualityMin = 0, kCliQualityMax = 100;
// The one parser of --quality (correct, job run, convert): false unless a
// whole number in range.
bool ParseCliQuality(const char* text, int* quality);
// The one parser of --compress (correct, job run, convert): "none", "lzw" or
// "deflate" to the TIFF compression code 1, 5 or 8; false for anything else.
bool ParseCliCompression(const char* text, int* compression);

// The help of the batch commands (the options of `commands`, or all for 0).
void PrintBatchOptions(FILE* out, unsigned commands);
// The man page (roff) and the bash completion script.
void PrintManPage(FILE* out);
void PrintBashCompletion(FILE* out);
