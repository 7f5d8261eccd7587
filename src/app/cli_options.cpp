#include "app/cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "prefs/prefs.h"

namespace {

constexpr unsigned kAll = kCmdCorrect | kCmdJobSave | kCmdJobRun;
constexpr unsigned kStart = kCmdCorrect | kCmdJobSave;
constexpr unsigned kSave = kCmdCorrect | kCmdJobRun;

const CliOption kOptions[] = {
    {"help", 'h', no_argument, nullptr, kAll, "show the help of the command and exit", "correct --help"},
    {"auto", 'a', optional_argument, "adaptive|classic", kStart,
     "start every image with Brivio, the automatic correction (the default), with the chosen analysis "
     "(default: the preference)",
     "correct --auto=classic photo.jpg"},
    {"settings", 256, required_argument, "FILE", kStart, "start with a custom settings file (\"Save Custom...\")",
     "correct --settings warm.txt a.jpg b.jpg"},
    {"reset", 257, no_argument, nullptr, kStart, "start with every tool neutral (only filters and conversions apply)",
     "correct --reset --sharpen 8 scan.tif"},
    {"sharpen", 258, required_argument, "N", kStart, "sharpen with strength N (1..24)", "correct --sharpen 6 photo.jpg"},
    {"denoise", 259, no_argument, nullptr, kStart, "remove noise (chrominance, the default radii and thresholds)",
     "correct --denoise night.jpg"},
    {"working-space", 260, required_argument, "N", kAll,
     "working space 0..14 (13 sRGB, the default; 0 Adobe RGB (1998))", "correct --working-space 0 photo.tif"},
    {"missing-profile", 261, required_argument, "assign|PROFILE", kStart,
     "an image without a profile is assigned the working space (default) or converted from PROFILE",
     "correct --missing-profile camera.icc raw.tif"},
    {"embedded-profile", 262, required_argument, "use|assign|PROFILE", kStart,
     "an embedded profile is used to convert (default), discarded, or replaced by PROFILE",
     "correct --embedded-profile assign photo.jpg"},
    {"out", 'o', required_argument, "DIR", kSave, "save into DIR (default: beside each image)",
     "correct -o corrected/ *.jpg"},
    {"keep-tree", 275, no_argument, nullptr, kCmdCorrect,
     "below --out, save each image in the folders of its path: relative to the folder given (-r), or as "
     "given when relative (an absolute path, or one with .., saves at the top)",
     "correct -r --keep-tree -o done/ scans/"},
    {"format", 263, required_argument, "same|tiff|jpeg|bmp", kSave,
     "output format (default same; tiff is 16-bit for 16-bit images)", "correct --format tiff photo.jpg"},
    {"naming", 264, required_argument, "suffix|prefix|same", kSave,
     "the name: NAME-zV.EXT (default), zV-NAME.EXT, or NAME.EXT, which replaces the image itself when saved "
     "beside it in its format",
     "correct --naming same --out done/ photo.jpg"},
    {"suffix", 265, required_argument, "S", kSave, "the suffix (at most 19 characters; default -zV)",
     "correct --suffix _fixed photo.jpg"},
    {"prefix", 266, required_argument, "P", kSave, "the prefix (at most 19 characters; default zV-)",
     "correct --naming prefix --prefix new- photo.jpg"},
    {"quality", 267, required_argument, "Q", kSave, "JPEG quality 0..100 (default %d)",
     "correct --format jpeg --quality 90 scan.tif"},
    {"compress", 276, required_argument, "none|lzw|deflate", kSave,
     "compression of TIFF outputs (default none); other formats are written as ever",
     "correct --format tiff --compress deflate photo.jpg"},
    {"no-exif", 268, no_argument, nullptr, kSave, "do not carry the EXIF data over (default: carried, without thumbnail)",
     "correct --no-exif photo.jpg"},
    {"keep-gray", 277, no_argument, nullptr, kSave,
     "save a grayscale image as grayscale, through its gray profile (default: as RGB in the working space)",
     "correct --keep-gray scan.tif"},
    {"no-embed-profile", 269, no_argument, nullptr, kSave,
     "do not embed the working-space profile (default: embedded)", "correct --no-embed-profile photo.jpg"},
    {"jobs", 'j', required_argument, "N", kAll,
     "work with N processes, an image on one CPU each (on two when the run has at most N / 2 images) "
     "(default: the CPUs this process may use, by its affinity and cgroup quota)",
     "correct -j 2 *.jpg"},
    {"recursive", 'r', no_argument, nullptr, kStart,
     "take the images in the folders given, and in their folders (files named .tif, .tiff, .jpg, .jpeg, .bmp, "
     ".tga, .png; hidden ones left out)",
     "correct -r -o done/ scans/"},
    {"files-from", 270, required_argument, "FILE|-", kStart, "read the images' paths from FILE (- standard input), one a line",
     "find scans -name '*.tif' | tavelin-cli correct --files-from - -o done/"},
    {"null", '0', no_argument, nullptr, kStart, "the paths of --files-from end with a NUL byte, not a line feed",
     "find scans -name '*.tif' -print0 | tavelin-cli correct -0 --files-from - -o done/"},
    {"skip-existing", 271, no_argument, nullptr, kCmdCorrect, "leave out an image whose output exists already",
     "correct --skip-existing -o done/ *.jpg"},
    {"dry-run", 'n', no_argument, nullptr, kCmdCorrect, "print IN -> OUT for each image and write nothing",
     "correct -n -o done/ *.jpg"},
    {"quiet", 'q', no_argument, nullptr, kAll, "print only failures (no line per saved image, no summary, no progress)",
     "correct -q -o done/ *.jpg"},
    {"verbose", 'v', no_argument, nullptr, kAll, "print the run folder and each skipped image too",
     "correct -v -o done/ *.jpg"},
    {"report", 272, required_argument, "FILE|-", kCmdCorrect,
     "write a JSON Lines report (- standard output): one object per image with input, output, status, reason, "
     "settings, sizes, seconds and the output's SHA-256",
     "correct --report run.jsonl -o done/ *.jpg"},
    {"shard", 273, required_argument, "K/N", kStart,
     "take only share K of N (0 <= K < N) of the images, chosen by a hash of each path as given (relative to "
     "its folder with -r), the same on every machine",
     "correct -r --shard 0/4 -o done/ scans/"},
    {"resume", 274, required_argument, "RUNDIR", kCmdCorrect,
     "go on with an interrupted run: save the images of its run folder not saved yet (and the images given)",
     "correct --resume ~/.local/state/tavelin-marvet/runs/20260101-120000-42/"},
};

std::string Flags(const CliOption& o) {
  std::string s;
  if (o.key < 256) s = std::string("-") + (char)o.key + ", ";
  s += std::string("--") + o.name;
  if (o.argName) s += o.argument == optional_argument ? std::string("[=") + o.argName + "]" : std::string(" ") + o.argName;
  return s;
}

std::string HelpText(const CliOption& o) {
  std::string h = o.help;
  const size_t at = h.find("%d");
  if (at != std::string::npos) h.replace(at, 2, std::to_string(CliQualityDefault()));
  return h;
}

// `text` wrapped at `width` columns, every line after the first indented by `indent`.
std::string Wrap(const std::string& text, size_t indent, size_t width) {
  std::string out, line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
      out += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  return out + line;
}

std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

}  // namespace

const CliOption* CliOptions() { return kOptions; }
int CliOptionCount() { return (int)(sizeof kOptions / sizeof kOptions[0]); }

int CliQualityDefault() {
  ParRange r{};
  PrefsFloatRange(78, &r);
  return (int)std::lround(r.reset * 100.0f);
}

bool ParseCliQuality(const char* text, int* quality) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < kCliQualityMin || v > kCliQualityMax) return false;
  *quality = (int)v;
  return true;
}

bool ParseCliCompression(const char* text, int* compression) {
  static const struct {
    const char* name;
    int code;
  } kNames[] = {{"none", 1}, {"lzw", 5}, {"deflate", 8}};
  for (const auto& n : kNames)
    if (std::strcmp(text, n.name) == 0) return *compression = n.code, true;
  return false;
}

void PrintBatchOptions(FILE* out, unsigned commands) {
  for (int i = 0; i < CliOptionCount(); ++i) {
    const CliOption& o = kOptions[i];
    if (commands && !(o.commands & commands)) continue;
    std::string flags = "  " + Flags(o);
    flags += flags.size() < 31 ? std::string(31 - flags.size(), ' ') : "\n" + std::string(31, ' ');
    std::fprintf(out, "%s%s\n%*se.g. tavelin-cli %s\n", flags.c_str(), Wrap(HelpText(o), 31, 100).c_str(), 33, "",
                 o.example);
  }
}

void PrintManPage(FILE* out) {
  std::fprintf(out,
               ".TH TAVELIN-CLI 1 \"\" \"tavelin-cli " TAVELIN_VERSION "\" \"User Commands\"\n"
               ".SH NAME\ntavelin\\-cli \\- colour correction of photographs without a window\n"
               ".SH SYNOPSIS\n"
               ".B tavelin\\-cli correct\n[\\fIOPTIONS\\fR] [\\fB\\-\\-\\fR] \\fIIN\\fR...\n.br\n"
               ".B tavelin\\-cli job save\n\\fIJOBFILE\\fR [\\fIOPTIONS\\fR] \\fIIN\\fR...\n.br\n"
               ".B tavelin\\-cli job run\n\\fIJOBFILE\\fR [\\fIOPTIONS\\fR]\n.br\n"
               ".B tavelin\\-cli job unfinished\n[\\fB\\-\\-resume\\fR|\\fB\\-\\-discard\\fR [\\fIRUNDIR\\fR]]\n.br\n"
               ".B tavelin\\-cli info\n[\\fB\\-\\-\\fR] \\fIFILE\\fR...\n.br\n"
               ".B tavelin\\-cli convert\n\\fIIN\\fR \\fIOUT\\fR \\fB\\-\\-format\\fR \\fIF\\fR [\\fB\\-\\-quality\\fR \\fIQ\\fR] [\\fB\\-\\-compress\\fR \\fIC\\fR]\n.br\n"
               ".B tavelin\\-cli pam\n\\fIIN\\fR \\fIOUT\\fR\n"
               ".SH DESCRIPTION\n"
               "\\fBcorrect\\fR adds each image (thumbnail, profile decision, start\\-with settings) and saves it "
               "corrected through the save pipeline: an output is written under a temporary name and renamed "
               "into place, so it is complete or absent. Each run keeps its state in a run folder of its own "
               "under \\fI$XDG_STATE_HOME/tavelin\\-marvet/runs/\\fR; any number of runs may work at once. "
               "An interrupted run keeps its folder, and \\fB\\-\\-resume\\fR \\fIRUNDIR\\fR saves the images it "
               "had not saved. \\fBjob unfinished\\fR lists the run folders left by interrupted runs.\n"
               ".PP\nOne line per saved image goes to standard output; one line per image that fails goes "
               "to standard error, naming the file and the reason.\n"
               ".PP\n\\fBinfo\\fR, \\fBconvert\\fR and \\fBpam\\fR read the standard input for an \\fIIN\\fR or "
               "\\fIFILE\\fR given as \\fB\\-\\fR; \\fBconvert\\fR and \\fBpam\\fR write the standard output for an "
               "\\fIOUT\\fR given as \\fB\\-\\fR. Every command shows its own options with \\fB\\-\\-help\\fR.\n"
               ".SH OPTIONS\n");
  for (int i = 0; i < CliOptionCount(); ++i) {
    const CliOption& o = kOptions[i];
    std::fprintf(out, ".TP\n.B %s\n%s\n.br\ne.g. \\fBtavelin\\-cli %s\\fR\n", Roff(Flags(o)).c_str(),
                 Roff(HelpText(o)).c_str(), Roff(o.example).c_str());
  }
  std::fprintf(out,
               ".SH EXIT STATUS\n"
               ".TP\n.B 0\nevery image saved\n"
               ".TP\n.B 1\nsome images refused or failed (each named on standard error)\n"
               ".TP\n.B 2\na usage error\n"
               ".TP\n.B 3\nnothing saved\n"
               ".TP\n.B 130\ninterrupted (SIGINT, SIGTERM, SIGHUP, or SIGPIPE from a closed reader); the run "
               "folder is kept for \\fB\\-\\-resume\\fR\n"
               ".SH ENVIRONMENT\n.TP\n.B XDG_STATE_HOME\nwhere the run folders are (default ~/.local/state)\n"
               ".TP\n.B TMPDIR\nthe temporary folder\n");
}

void PrintBashCompletion(FILE* out) {
  std::string words, values;
  for (int i = 0; i < CliOptionCount(); ++i) {
    const CliOption& o = kOptions[i];
    if (!words.empty()) words += ' ';
    words += std::string("--") + o.name;
    // A required argument that is one of a few lower-case words: those words
    // (--format has its own line, with every format convert writes too).
    const std::string arg = o.argName ? o.argName : "";
    if (o.argument != required_argument || arg.find('|') == std::string::npos || std::string(o.name) == "format" ||
        arg.find_first_not_of("abcdefghijklmnopqrstuvwxyz|") != std::string::npos)
      continue;
    std::string list = arg;
    for (char& c : list) c = c == '|' ? ' ' : c;
    values += std::string("    --") + o.name + ") COMPREPLY=($(compgen -W '" + list + "' -- \"$cur\")); return;;\n";
  }
  std::fprintf(out,
               "# bash completion for tavelin-cli\n"
               "_tavelin_cli() {\n"
               "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
               "    COMPREPLY=($(compgen -W 'correct job info convert pam --help --version' -- \"$cur\")); return\n"
               "  fi\n"
               "  case $prev in\n"
               "    -o|--out|--resume) COMPREPLY=($(compgen -d -- \"$cur\")); return;;\n"
               "    --format) COMPREPLY=($(compgen -W 'same tiff tiff16 jpeg bmp tga eps dcs sct cin' -- \"$cur\")); return;;\n"
               "%s"
               "  esac\n"
               "  if [ \"${COMP_WORDS[1]}\" = job ] && [ \"$COMP_CWORD\" -eq 2 ]; then\n"
               "    COMPREPLY=($(compgen -W 'save run unfinished' -- \"$cur\")); return\n"
               "  fi\n"
               "  case $cur in\n"
               "    -*) COMPREPLY=($(compgen -W '%s --resume --discard' -- \"$cur\"));;\n"
               "    *) COMPREPLY=($(compgen -f -- \"$cur\"));;\n"
               "  esac\n"
               "}\n"
               "complete -o filenames -F _tavelin_cli tavelin-cli\n",
               values.c_str(), words.c_str());
}
