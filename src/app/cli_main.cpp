// tavelin-cli: the command-line tool. Works without a display.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/cli_batch.h"
#include "app/cli_options.h"
#include "filters/filterstage.h"
#include "filters/preview.h"
#include "imagefile/format.h"
#include "imagefile/imagesave.h"
#include "imagefile/metadata.h"
#include "imagefile/ras.h"
#include "base/alert.h"
#include "base/outputplan.h"
#include "base/safefile.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "session/pipeline.h"

namespace {

// `text` with every `from` replaced by `to` (a temporary file's name by "-").
void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The usage of the single-file commands: a synopsis and lines of text.
struct CommandUsage {
  const char* synopsis;
  const char* text;
};
const CommandUsage kInfoUsage{"info [--] FILE...",
                              "one line per file: format, size, channels, colour type,\n"
                              "maximum sample value, resolution, embedded profile and\n"
                              "EXIF sizes; every row is read to check the file; FILE may\n"
                              "be - for the standard input\n"};
const CommandUsage kConvertUsage{"convert IN OUT --format F [--quality Q] [--compress C]",
                                 "rewrite IN as OUT in format F (tiff, tiff16, jpeg, bmp,\n"
                                 "tga, eps, dcs, sct, cin, png, png16, webp), carrying the\n"
                                 "profile and metadata where F holds them; Q is the JPEG\n"
                                 "quality 0..100 (default 100, as correct), for webp lossy\n"
                                 "at 0..99 and lossless at 100; C the compression of a TIFF\n"
                                 "output: none (default), lzw or deflate; dcs also writes\n"
                                 "the plates OUT.C, OUT.M, OUT.Y and OUT.K; IN or OUT may be\n"
                                 "- for the standard input or output\n"};
const CommandUsage kPamUsage{"pam IN OUT",
                             "write the pixels of IN as a binary PAM file; IN or OUT may\n"
                             "be - for the standard input or output\n"};

// A command in the list of commands: the synopsis in the first column (on a
// line of its own when it is long), the text from column 31.
void PrintCommandUsage(FILE* out, const CommandUsage& usage) {
  const int column = 31;
  int at = std::fprintf(out, "  %s", usage.synopsis);
  for (const char* line = usage.text; *line;) {
    const char* end = std::strchr(line, '\n');
    const int length = end ? (int)(end - line) : (int)std::strlen(line);
    if (at >= column - 1) std::fputc('\n', out), at = 0;
    std::fprintf(out, "%*s%.*s\n", column - at, "", length, line);
    at = 0;
    line += length + (end ? 1 : 0);
  }
}

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: tavelin-cli COMMAND [ARGS...]\n"
               "\n"
               "Colour correction of photographs without a window.\n"
               "\n"
               "Commands:\n"
               "");
  PrintBatchUsage(out);
  std::fprintf(out, "\nOther commands ('tavelin-cli info --help' shows one):\n");
  for (const CommandUsage* usage : {&kInfoUsage, &kConvertUsage, &kPamUsage}) PrintCommandUsage(out, *usage);
  std::fprintf(out,
               "\n"
               "Options:\n"
               "  --help       show this help and exit\n"
               "  --version    show the version and exit\n");
}

// "--help" or "-h" among a command's arguments (before a "--"): prints the
// command's usage on the standard output.
bool PrintedCommandHelp(int argc, char** argv, const CommandUsage& usage) {
  for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("Usage: tavelin-cli %s\n\n%s", usage.synopsis, usage.text);
      return true;
    }
  }
  return false;
}

// The folder for private temporary files of the standard streams.
std::string StreamTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/";
}

// The standard input kept in a private temporary file, since the readers
// seek; the file goes with the object.
class SpooledStdin {
 public:
  SpooledStdin() = default;
  SpooledStdin(const SpooledStdin&) = delete;
  SpooledStdin& operator=(const SpooledStdin&) = delete;
  ~SpooledStdin() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  // The temporary file holding all of the standard input; "" with `error`
  // set when it cannot be kept.
  std::string Take(std::string* error);

 private:
  std::string path_;
};

const char* ColorTypeName(int32_t t) {
  switch (t) {
    case kRasRGB: return "rgb";
    case kRasCMYK: return "cmyk";
    case kRasGray: return "gray";
    case kRasLab: return "lab";
    case kRasPhotoCDColor: return "photocd";
    default: return "?";
  }
}

// The alert text for a failure, with the framework's reason when it gave one.
std::string FailureText(Status status, const std::string& context) {
  std::string text = AlertMessage(status, context.c_str());
  if (!RasLastFailure().empty()) text += " (" + RasLastFailure() + ")";
  return text;
}

// An input image open for reading, with its scanline.
struct Input {
  RasImage image;
  RasScanline sl;
  std::string path;
};

Status OpenInput(const std::string& path, Input& in, std::string& error) {
  in.path = path;
  Status st = RasQuery(path, in.image);
  if (st != kOk) {
    error = FailureText(st, Phrase(3012, path.c_str()));
    return st;
  }
  st = RasOpen(path, 'r', in.image);
  if (st != kOk) {
    error = FailureText(st, Phrase(3013, path.c_str()));
    return st;
  }
  st = RasMakeSl(in.sl, in.image);
  if (st != kOk) {
    error = FailureText(st, Phrase(3014, path.c_str()));
    RasClose(in.image);
  }
  return st;
}

Status ReadRow(Input& in, uint32_t y, std::string& error) {
  Status st = RasReadSl(in.image, y, in.sl);
  if (st != kOk) error = FailureText(st, Phrase(3015, (int)y, in.path.c_str()));
  return st;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "tavelin-cli: %s\n", text.c_str());
  return 1;
}

int Info(int argc, char** argv) {
  if (PrintedCommandHelp(argc, argv, kInfoUsage)) return 0;
  // Every argument after "--" is a file; before it, "-" is the standard
  // input and anything else starting with "-" an unknown option.
  std::vector<std::string> files;
  bool options = true;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && arg == "--") options = false;
    else if (options && arg.size() > 1 && arg[0] == '-') return Fail("unknown option " + arg + " (see 'tavelin-cli info --help')"), 2;
    else files.push_back(arg);
  }
  if (files.empty()) {
    std::fprintf(stderr, "tavelin-cli: info needs at least one file\n");
    return 2;
  }
  SpooledStdin stdinFile;
  int failures = 0;
  for (const std::string& given : files) {
    std::string path = given;
    if (given == "-") {
      std::string why;
      if ((path = stdinFile.Take(&why)).empty()) {
        std::printf("-: error %d: %s\n", (int)kOpenErr, why.c_str());
        ++failures;
        continue;
      }
    }
    Input in;
    std::string error;
    Status st = OpenInput(path, in, error);
    for (uint32_t y = 0; st == kOk && y < in.image.height; ++y) st = ReadRow(in, y, error);
    if (in.image.file) {
      Status closed = RasClose(in.image);
      if (st == kOk && closed != kOk) {
        st = closed;
        error = FailureText(st, Phrase(3006, path.c_str()));
      }
    }
    if (st != kOk) {
      // One line per file, whatever the name holds.
      for (char& c : error)
        if (c == '\n' || c == '\r') c = ' ';
      if (path != given) ReplaceAll(error, path, "-");
      std::printf("%s: error %d: %s\n", PrintablePath(given).c_str(), (int)st, error.c_str());
      ++failures;
      continue;
    }
    if (!RasLastWarning().empty())
      std::fprintf(stderr, "tavelin-cli: %s: warning: %s\n", PrintablePath(given).c_str(), RasLastWarning().c_str());
    std::printf("%s: format=%s width=%u height=%u channels=%d colortype=%s max=%d dpi=%g profile=%u exif=%u\n",
                PrintablePath(given).c_str(), RasFormatName(in.image.format), in.image.width, in.image.height, in.image.channels,
                ColorTypeName(in.image.colorType), in.image.maxValue, (double)in.image.resolution,
                (unsigned)in.image.meta.iccProfile.size(), (unsigned)in.image.meta.exif.size());
  }
  return failures ? 1 : 0;
}

// The code of a writable format by its short name; 0 when none.
int FormatCode(const std::string& name) {
  const FormatModule* m = FormatRegistry::Builtin().ByName(name);
  return m && m->writer ? m->traits.code : 0;
}

int Convert(int argc, char** argv);

// Copies everything from `from` to `to`; false on a read or write error.
bool CopyFd(int from, int to) {
  char block[65536];
  for (;;) {
    const ssize_t n = ::read(from, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, block + done, (size_t)(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

std::string SpooledStdin::Take(std::string* error) {
  if (!path_.empty()) {
    *error = "the standard input (-) can be read only once";
    return "";
  }
  const std::string folder = StreamTempFolder();
  std::string pattern = folder + "tavelin-cli-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd >= 0) path_ = pattern;
  const bool copied = fd >= 0 && CopyFd(0, fd);
  if (fd >= 0) ::close(fd);
  if (!copied) {
    *error = "cannot keep the standard input in a temporary file in " + folder;
    return "";
  }
  return path_;
}

// "convert" with "--opt=value" and "-" for the standard input (IN) or output
// (OUT): the bytes go through a private temporary file, since the readers
// and writers seek.
int ConvertCommand(int argc, char** argv) {
  if (PrintedCommandHelp(argc, argv, kConvertUsage)) return 0;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    const size_t eq = a.find('=');
    if (i >= 2 && a.rfind("--", 0) == 0 && eq != std::string::npos) {
      args.push_back(a.substr(0, eq));
      args.push_back(a.substr(eq + 1));
    } else {
      args.push_back(a);
    }
  }
  SpooledStdin stdinFile;
  std::string tempOut;
  int positional = 0;
  bool dcs = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--format" || args[i] == "--quality" || args[i] == "--compress") {
      if (args[i] == "--format" && i + 1 < args.size()) dcs = args[i + 1] == "dcs";
      ++i;
      continue;
    }
    if (args[i] != "-") {
      ++positional;
      continue;
    }
    if (positional == 0) {
      std::string why;
      args[i] = stdinFile.Take(&why);
      if (args[i].empty()) return Fail(why);
    } else if (positional == 1) {
      if (dcs) return Fail("a DCS set (a file and four plates) cannot go to the standard output"), 2;
      std::string pattern = StreamTempFolder() + "tavelin-cli-XXXXXX";
      const int fd = ::mkstemp(pattern.data());
      if (fd < 0) return Fail("cannot make a temporary file in " + StreamTempFolder());
      ::close(fd);
      args[i] = tempOut = pattern;
    }
    ++positional;
  }
  std::vector<char*> argvs;
  for (std::string& a : args) argvs.push_back(a.data());
  argvs.push_back(nullptr);
  int result = Convert((int)args.size(), argvs.data());
  if (!tempOut.empty()) {
    const int fd = ::open(tempOut.c_str(), O_RDONLY | O_CLOEXEC);
    if (result == 0 && (fd < 0 || !CopyFd(fd, 1))) result = Fail("cannot write the standard output");
    if (fd >= 0) ::close(fd);
    ::unlink(tempOut.c_str());
  }
  return result;
}

int Convert(int argc, char** argv) {
  std::vector<std::string> paths;
  int format = 0;
  int quality = -1;
  int compression = 1;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--format" && i + 1 < argc) {
      format = FormatCode(argv[++i]);
      if (!format)
        return Fail(std::string("unknown format '") + argv[i] + "' (" + FormatRegistry::Builtin().WritableNames(", ") + ")");
    } else if (arg == "--quality" && i + 1 < argc) {
      if (!ParseCliQuality(argv[++i], &quality)) return Fail("the quality is a number from 0 to 100"), 2;
    } else if (arg == "--compress" && i + 1 < argc) {
      ++i;
      if (!ParseCliCompression(argv[i], &compression))
        return Fail(std::string("unknown compression '") + argv[i] + "' (none, lzw, deflate)"), 2;
    } else if (arg.rfind("--", 0) == 0) {
      Fail("unknown option " + arg);
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() != 2 || !format) {
    std::fprintf(stderr,
                 "Usage: tavelin-cli convert IN OUT --format %s [--quality 0..100] [--compress none|lzw|deflate]\n",
                 FormatRegistry::Builtin().WritableNames("|").c_str());
    return 2;
  }
  const std::string& inPath = paths[0];
  const std::string& outPath = paths[1];
  // One default for every writer of JPEG files: the preferences table's.
  WriteOptions options;
  options.quality = quality >= 0 ? quality : CliQualityDefault();
  SetTiffCompression(options, format, compression);

  Input in;
  std::string error;
  if (OpenInput(inPath, in, error) != kOk) return Fail(error);
  // Output attachments: what the input embeds, where the output format holds it.
  RasImage out;
  const uint32_t holds = FormatRegistry::Builtin().ByCode(format)->traits.writeMeta;
  if (holds & kMetaIcc) out.meta.iccProfile = in.image.meta.iccProfile;
  if (holds & kMetaExif) out.meta.exif = in.image.meta.exif;
  if (holds & kMetaXmp) out.meta.xmp = in.image.meta.xmp;
  if ((format == kRasTiff || format == kRasTiff16) && (in.image.format == kRasTiff || in.image.format == kRasTiff16))
    out.meta.iptc = in.image.meta.iptc;
  // XMP and IPTC go to every output that holds them (added by exiv2 at the end).
  {
    ImageMeta extras;
    MetaReadExtras(inPath, in.image.format == kRasCameraRaw ? kRasCameraRaw : 0, extras);
    if (!extras.xmp.empty()) out.meta.xmp = extras.xmp;
    if ((holds & kMetaExif) && out.meta.exif.empty()) out.meta.exif = extras.exif;  // a camera raw file's
    if (out.meta.iptc.empty()) out.meta.iptc = extras.iptc;
  }

  // The output goes through the one save path (imagesave.h): a locked
  // temporary file beside OUT, renamed over OUT once complete (so OUT may be
  // IN), a DCS set's plates renamed first. No output may land on the input,
  // except OUT itself, which then replaces it.
  const FormatModule& module = *FormatRegistry::Builtin().ByCode(format);
  std::vector<std::string> outputs{outPath};
  for (const std::string& suffix : module.traits.companionSuffixes) outputs.push_back(outPath + suffix);
  const PlanVerdict verdict = PlanOutputs({PlannedImage{inPath, outputs}})[0];
  if (!verdict.ok) return Fail(inPath + ": not converted: " + verdict.message);
  if (!module.traits.companionSuffixes.empty() && SameFile(inPath, outPath))
    return Fail("a DCS set cannot replace its own input");  // its plates would outlive it
  ImageSave save;
  std::string why;
  if (save.Prepare(outPath, &why) != kOk) return Fail(why);

  Status st = rasInit(out, format, in.image.width, in.image.height, in.image.channels, in.image.colorType,
                      in.image.resolution);
  if (st != kOk) return Fail(FailureText(st, "rasInit"));
  if ((st = save.Open(out, options)) != kOk) {
    save.Abort(out);
    return Fail(FailureText(st, Phrase(3013, outPath.c_str())));
  }
  RasScanline osl;
  if ((st = RasMakeSl(osl, out)) != kOk) {
    save.Abort(out);
    return Fail(FailureText(st, Phrase(3014, outPath.c_str())));
  }
  const bool in16 = in.image.Is16(), out16 = out.Is16();
  const uint32_t w = in.image.width;
  // Samples between different maxima (255, 1023, 65535) go through a table,
  // v × outMax ÷ inMax rounded.
  const uint32_t inMax = (uint32_t)in.image.maxValue, outMax = (uint32_t)out.maxValue;
  std::vector<uint16_t> rescale;
  if (inMax != outMax) {
    rescale.resize(inMax + 1);
    for (uint32_t v = 0; v <= inMax; ++v) rescale[v] = (uint16_t)(((uint64_t)v * outMax + inMax / 2) / inMax);
  }
  for (uint32_t y = 0; y < in.image.height && st == kOk; ++y) {
    if ((st = ReadRow(in, y, error)) != kOk) break;
    for (int c = 0; c < in.image.channels; ++c) {
      if (inMax == outMax) {
        if (in16) std::memcpy(osl.plane16[c], in.sl.plane16[c], 2ull * w);
        else std::memcpy(osl.plane8[c], in.sl.plane8[c], w);
      } else if (in16 && out16) {
        for (uint32_t x = 0; x < w; ++x) osl.plane16[c][x] = rescale[in.sl.plane16[c][x] <= inMax ? in.sl.plane16[c][x] : inMax];
      } else if (out16) {
        for (uint32_t x = 0; x < w; ++x) osl.plane16[c][x] = rescale[in.sl.plane8[c][x]];
      } else {
        for (uint32_t x = 0; x < w; ++x) osl.plane8[c][x] = (uint8_t)rescale[in.sl.plane16[c][x] <= inMax ? in.sl.plane16[c][x] : inMax];
      }
    }
    st = RasWriteSl(out, y, osl);
    if (st != kOk) error = FailureText(st, Phrase(3017, (int)y, outPath.c_str()));
  }
  RasClose(in.image);
  Status closed = RasClose(out);
  if (st == kOk && closed != kOk) {
    st = closed;
    error = FailureText(st, Phrase(3006, outPath.c_str()));
  }
  if (st == kOk && (st = MetaWriteExtras(save.TempPath(), format, out.meta, &why)) != kOk) error = why;
  if (st == kOk && (st = save.Commit(&why)) != kOk) error = why;
  if (st != kOk) {
    save.Abort(out);
    return Fail(error);
  }
  return 0;
}

int Pam(int argc, char** argv) {
  if (PrintedCommandHelp(argc, argv, kPamUsage)) return 0;
  std::vector<std::string> paths;
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--") != 0 || !paths.empty()) paths.push_back(argv[i]);
  if (paths.size() != 2) {
    std::fprintf(stderr, "Usage: tavelin-cli pam IN OUT\n");
    return 2;
  }
  SpooledStdin stdinFile;
  std::string inPath = paths[0], why;
  if (inPath == "-" && (inPath = stdinFile.Take(&why)).empty()) return Fail(why);
  Input in;
  std::string error;
  if (OpenInput(inPath, in, error) != kOk) {
    if (paths[0] == "-") ReplaceAll(error, inPath, "-");
    return Fail(error);
  }
  const char* tuple = in.image.colorType == kRasGray ? "GRAYSCALE"
                      : in.image.colorType == kRasCMYK ? "CMYK"
                      : in.image.colorType == kRasLab  ? "LAB"
                                                       : "RGB";
  // Written beside OUT under a temporary name and renamed over it at the
  // end; to the standard output as it comes (a reader of a pipe sees the
  // whole file or a failure status).
  const std::string& outPath = paths[1];
  const bool toStdout = outPath == "-";
  TempFile temp;
  FILE* f = toStdout ? stdout : nullptr;
  if (!toStdout) {
    const int fd = temp.Create(FolderOf(outPath, "./"), &why) == kOk ? ::dup(temp.Fd()) : -1;
    f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
      if (fd >= 0) ::close(fd);
      return Fail(AlertMessage(kOpenErr, Phrase(3002, outPath.c_str()).c_str()) + (why.empty() ? "" : " (" + why + ")"));
    }
  }
  std::fprintf(f, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %s\nENDHDR\n", in.image.width,
               in.image.height, in.image.channels, in.image.maxValue, tuple);
  const uint32_t w = in.image.width;
  const int ch = in.image.channels;
  const bool wide = in.image.Is16();
  std::vector<uint8_t> row((size_t)w * ch * (wide ? 2 : 1));
  Status st = kOk;
  for (uint32_t y = 0; y < in.image.height; ++y) {
    if ((st = ReadRow(in, y, error)) != kOk) break;
    for (uint32_t x = 0; x < w; ++x) {
      for (int c = 0; c < ch; ++c) {
        if (wide) {
          const uint16_t v = in.sl.plane16[c][x];
          row[2 * (x * ch + c)] = (uint8_t)(v >> 8);
          row[2 * (x * ch + c) + 1] = (uint8_t)v;
        } else {
          row[x * ch + c] = in.sl.plane8[c][x];
        }
      }
    }
    if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) {
      st = kWriteErr;
      error = AlertMessage(st, Phrase(3005, outPath.c_str()).c_str());
      break;
    }
  }
  RasClose(in.image);
  if ((toStdout ? std::fflush(f) : std::fclose(f)) != 0 && st == kOk) {
    st = kWriteErr;
    error = AlertMessage(st, Phrase(3005, outPath.c_str()).c_str());
  }
  if (st == kOk && !toStdout && (st = temp.CommitTo(outPath, false, &why)) != kOk) error = why;
  if (st != kOk) return Fail(error);
  return 0;
}

// ---- Hidden commands for the benchmarks (not in the usage) --------------------
// _filter IN OUT [--sharpen S] [--noise]: the filter stage from file to file
// (no correction), the output in IN's format family and depth.
// _scale IN OUT (--thumbnail | --view W H): the Batchline thumbnail or the
// editing view's image of IN, written as a JPEG file.

struct RasRows {
  Input* in = nullptr;
  RasImage* out = nullptr;
  RasScanline* osl = nullptr;
  std::string outPath;
  std::string error;
};

Status ReadRasRow(void* context, int32_t row, IPRow& planes) {
  RasRows* r = static_cast<RasRows*>(context);
  Status st = ReadRow(*r->in, (uint32_t)row, r->error);
  if (st != kOk) return st;
  for (int c = 0; c < 3; ++c)
    planes.chan[c] = r->in->image.Is16() ? (const void*)r->in->sl.plane16[c] : (const void*)r->in->sl.plane8[c];
  return kOk;
}

Status WriteRasRow(void* context, int32_t row, const IPRow& planes) {
  RasRows* r = static_cast<RasRows*>(context);
  const bool wide = r->out->Is16();
  for (int c = 0; c < 3; ++c) {
    if (wide) std::memcpy(r->osl->plane16[c], planes.chan[c], 2ull * r->out->width);
    else std::memcpy(r->osl->plane8[c], planes.chan[c], r->out->width);
  }
  Status st = RasWriteSl(*r->out, (uint32_t)row, *r->osl);
  if (st != kOk) r->error = FailureText(st, Phrase(3017, (int)row, r->outPath.c_str()));
  return st;
}

int FilterFiles(int argc, char** argv) {
  if (argc < 4) return Fail("_filter IN OUT [--sharpen S] [--noise]");
  FilterJob job;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sharpen" && i + 1 < argc) {
      job.settings.sharpenOn = true;
      job.settings.strength = std::atoi(argv[++i]);
    } else if (arg == "--noise") {
      job.settings.noiseOn = true;
    } else {
      return Fail("unknown option " + arg);
    }
  }
  Input in;
  std::string error;
  if (OpenInput(argv[2], in, error) != kOk) return Fail(error);
  if (in.image.channels != 3 || in.image.colorType != kRasRGB) return Fail("_filter takes RGB images");
  RasImage out;
  const int32_t format = in.image.Is16() ? kRasTiff16 : in.image.format == kRasJpeg ? kRasJpeg : kRasTiff;
  Status st = rasInit(out, format, in.image.width, in.image.height, 3, kRasRGB, in.image.resolution);
  if (st == kOk) st = RasOpen(argv[3], 'w', out);
  if (st != kOk) return Fail(FailureText(st, Phrase(3013, argv[3])));
  RasScanline osl;
  if ((st = RasMakeSl(osl, out)) != kOk) return Fail(FailureText(st, Phrase(3014, argv[3])));
  RasRows rows{&in, &out, &osl, argv[3], {}};
  job.width = (int32_t)in.image.width;
  job.height = (int32_t)in.image.height;
  job.inDepth = job.outDepth = in.image.Is16() ? 2 : 1;
  job.reader = ReadRasRow;
  job.readerContext = &rows;
  job.writer = WriteRasRow;
  job.writerContext = &rows;
  job.imageName = argv[2];
  st = FilterImageRows(job);
  RasClose(in.image);
  const Status closed = RasClose(out);
  if (st == kOk) st = closed;
  if (st != kOk) {
    StreamDelete(argv[3]);
    return Fail(rows.error.empty() ? AlertMessage(st, Phrase(3016, 0, argv[2]).c_str()) : rows.error);
  }
  return 0;
}

int ScaleFile(int argc, char** argv) {
  if (argc < 5) return Fail("_scale IN OUT (--thumbnail | --view W H)");
  PixelBuffer px;
  Status st;
  const std::string mode = argv[4];
  if (mode == "--thumbnail") st = IPMakeThumbnail(argv[2], px);
  else if (mode == "--view" && argc >= 7) st = IPMakeViewImage(argv[2], std::atoi(argv[5]), std::atoi(argv[6]), 1, px);
  else return Fail("_scale IN OUT (--thumbnail | --view W H)");
  if (st != kOk) return Fail(FailureText(st, Phrase(3012, argv[2])));
  RasImage out;
  st = rasInit(out, kRasJpeg, (uint32_t)px.width, (uint32_t)px.height, px.channels, px.colorType, -1);
  if (st == kOk) st = RasOpen(argv[3], 'w', out);
  if (st != kOk) return Fail(FailureText(st, Phrase(3013, argv[3])));
  RasScanline sl;
  if ((st = RasMakeSl(sl, out)) != kOk) return Fail(FailureText(st, Phrase(3014, argv[3])));
  for (int32_t y = 0; y < px.height && st == kOk; ++y) {
    for (int32_t c = 0; c < px.channels; ++c)
      for (int32_t x = 0; x < px.width; ++x) sl.plane8[c][x] = px.Row<uint8_t>(c, y)[x * px.pixelStep];
    st = RasWriteSl(out, (uint32_t)y, sl);
  }
  const Status closed = RasClose(out);
  if (st == kOk) st = closed;
  if (st != kOk) return Fail(FailureText(st, Phrase(3005, argv[3])));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) makes the write fail with a message
  // instead of ending the process without one.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tavelin-cli %s (%s)\n", TAVELIN_VERSION, ResText(1000));
    return 0;
  }
  int result;
  // The man page and the bash completion, made from the option table at build time.
  if (command == "_man") return PrintManPage(stdout), 0;
  if (command == "_bash_completion") return PrintBashCompletion(stdout), 0;
  if (command == "correct") return RunCorrect(argc, argv);
  if (command == "job") return RunJob(argc, argv);
  if (command == "info") result = Info(argc, argv);
  else if (command == "convert") result = ConvertCommand(argc, argv);
  else if (command == "pam") result = Pam(argc, argv);
  else if (command == "_filter") result = FilterFiles(argc, argv);
  else if (command == "_scale") result = ScaleFile(argc, argv);
  else {
    std::fprintf(stderr, "tavelin-cli: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
  }
  return result;
}
